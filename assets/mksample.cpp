// Writes the sample adventure "Floresta" through the program's own code, so
// that every file is exactly what the editors write: the map list, the
// position scripts of the map compiler, pictures through save image, objects
// created and edited as the object editor does, registers saved as the
// registers editor does, and the panel layout lines of the panel editor.
//
//   mksample SAMPLE_PARENT WORKSPACE
//
// SAMPLE_PARENT/Floresta is made anew; WORKSPACE holds the panel templates.
#include "core/ListFile.h"
#include "editors/ObjectStore.h"
#include "editors/PanelLayout.h"
#include "editors/Registers.h"
#include "imaging/ImageFiles.h"
#include "map/MapCompiler.h"
#include "map/MapModel.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <cstdio>
#include <exception>

using namespace orv;

namespace {

const QString kName = QStringLiteral("Floresta");

enum class Scene { Tower, Glade, Well, Cabin, Stream, Lake, Mill, Bridge, Waterfall, Cave, Grotto, None };

struct Position {
    const char* name;  // UTF-8 here; the map file stores it in Windows-1252
    int row, column, tile;
    Scene scene;
    const char* extension;  // of its picture; the compiler's setting when its script was made
};

// Thirteen positions joined by doors, corridors (17 north-south, 18
// east-west) and one crossing (19). Horta and Mina have no picture yet.
const Position kPositions[] = {
    {"Torre", 1, 5, 4, Scene::Tower, "png"},
    {"Clareira", 3, 5, 12, Scene::Glade, "png"},
    {"Poço", 3, 3, 3, Scene::Well, "png"},
    {"Cabana", 3, 8, 15, Scene::Cabin, "png"},
    {"Riacho", 3, 9, 16, Scene::Stream, "png"},
    {"Horta", 4, 8, 2, Scene::None, "png"},
    {"Lago", 5, 3, 3, Scene::Lake, "png"},
    {"Moinho", 5, 7, 14, Scene::Mill, "png"},
    {"Ponte", 5, 9, 11, Scene::Bridge, "png"},
    {"Cachoeira", 8, 9, 2, Scene::Waterfall, "png"},
    {"Caverna", 7, 5, 9, Scene::Cave, "png"},
    {"Gruta", 7, 6, 5, Scene::Grotto, "png"},
    {"Mina", 8, 5, 2, Scene::None, "png"},
};

struct Corridor {
    int row, column, tile;
};

const Corridor kCorridors[] = {
    {2, 5, 17}, {3, 4, 18}, {3, 6, 18}, {3, 7, 18}, {4, 5, 17}, {5, 4, 18}, {5, 5, 19},
    {5, 6, 18}, {5, 8, 18}, {4, 9, 17}, {6, 9, 17}, {7, 9, 17}, {6, 5, 17},
};

int cellOf(int row, int column) {
    return row * MapModel::Columns + column;
}

QStringList mapLines() {
    QStringList lines(MapModel::LineCount);
    for (const Position& p : kPositions) {
        lines[2 * cellOf(p.row, p.column)] = QString::fromUtf8(p.name);
        lines[2 * cellOf(p.row, p.column) + 1] = QString::number(p.tile);
    }
    for (const Corridor& c : kCorridors)
        lines[2 * cellOf(c.row, c.column) + 1] = QString::number(c.tile);
    return lines;
}

// ---- pictures --------------------------------------------------------------

constexpr int kScreenWidth = 320;  // the Tela of the panel layout
constexpr int kScreenHeight = 200;

void sky(QPainter& p, QColor top, QColor bottom) {
    QLinearGradient g(0, 0, 0, 120);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(0, 0, kScreenWidth, kScreenHeight, g);
}

void ground(QPainter& p, int y, QColor colour) {
    QPainterPath path;
    path.moveTo(0, y);
    path.cubicTo(80, y - 12, 200, y + 10, kScreenWidth, y - 6);
    path.lineTo(kScreenWidth, kScreenHeight);
    path.lineTo(0, kScreenHeight);
    path.closeSubpath();
    p.fillPath(path, colour);
}

void tree(QPainter& p, int x, int baseY, int height, QColor leaves) {
    p.fillRect(x - 3, baseY - height / 4, 6, height / 4, QColor(92, 62, 34));
    for (int i = 0; i < 3; ++i) {
        const int top = baseY - height + i * height / 5;
        const int half = height / 5 + i * height / 10;
        QPolygon cone({QPoint(x, top), QPoint(x + half, top + height / 2), QPoint(x - half, top + height / 2)});
        p.setBrush(leaves.darker(100 + 12 * i));
        p.setPen(Qt::NoPen);
        p.drawPolygon(cone);
    }
}

void forestEdge(QPainter& p, int baseY, std::uint32_t seed) {
    QRandomGenerator random(seed);
    for (int x = -10; x < kScreenWidth + 10; x += 22 + random.bounded(10))
        tree(p, x, baseY + random.bounded(8), 55 + random.bounded(30), QColor(38, 104 + random.bounded(30), 46));
}

void water(QPainter& p, QRect area) {
    QLinearGradient g(area.topLeft(), area.bottomLeft());
    g.setColorAt(0, QColor(70, 130, 190));
    g.setColorAt(1, QColor(30, 70, 130));
    p.fillRect(area, g);
    p.setPen(QPen(QColor(200, 225, 245), 1));
    for (int y = area.top() + 6; y < area.bottom(); y += 9)
        for (int x = area.left() + (y % 18); x < area.right() - 14; x += 36)
            p.drawLine(x, y, x + 12, y);
}

QImage scene(Scene kind, std::uint32_t seed) {
    QImage img(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor day(120, 180, 230), haze(215, 232, 240), grass(86, 146, 60);
    switch (kind) {
    case Scene::Tower:
        sky(p, QColor(60, 90, 160), QColor(240, 190, 140));
        forestEdge(p, 170, seed);
        p.fillRect(130, 40, 60, 140, QColor(128, 120, 110));
        for (int x = 126; x < 196; x += 14)
            p.fillRect(x, 28, 9, 14, QColor(128, 120, 110));
        p.fillRect(150, 70, 20, 30, QColor(40, 30, 30));
        p.fillRect(148, 140, 24, 40, QColor(70, 45, 25));
        ground(p, 178, grass.darker(120));
        break;
    case Scene::Glade:
        sky(p, day, haze);
        forestEdge(p, 110, seed);
        ground(p, 115, grass);
        p.setBrush(QColor(250, 230, 90));
        p.setPen(Qt::NoPen);
        p.drawEllipse(250, 18, 34, 34);
        for (int i = 0; i < 12; ++i)
            p.fillRect(20 + i * 25, 150 + (i * 37) % 30, 3, 3, i % 2 ? Qt::white : QColor(240, 120, 160));
        break;
    case Scene::Well:
        sky(p, day, haze);
        forestEdge(p, 105, seed);
        ground(p, 110, grass);
        p.setBrush(QColor(150, 150, 150));
        p.setPen(QPen(QColor(90, 90, 90), 2));
        p.drawRect(120, 120, 80, 45);
        p.setPen(QPen(QColor(92, 62, 34), 5));
        p.drawLine(128, 120, 128, 70);
        p.drawLine(192, 120, 192, 70);
        p.drawLine(120, 70, 200, 70);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(160, 70, 160, 105);
        p.fillRect(152, 105, 16, 12, QColor(110, 80, 50));
        break;
    case Scene::Cabin:
        sky(p, day, haze);
        forestEdge(p, 110, seed);
        ground(p, 115, grass);
        p.fillRect(90, 90, 140, 70, QColor(130, 86, 48));
        for (int y = 96; y < 160; y += 10)
            p.fillRect(90, y, 140, 2, QColor(100, 64, 34));
        p.setBrush(QColor(150, 40, 30));
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygon({QPoint(80, 92), QPoint(160, 45), QPoint(240, 92)}));
        p.fillRect(148, 118, 24, 42, QColor(60, 36, 20));
        p.fillRect(105, 108, 24, 20, QColor(250, 220, 120));
        break;
    case Scene::Stream:
        sky(p, day, haze);
        forestEdge(p, 100, seed);
        ground(p, 105, grass);
        water(p, QRect(0, 135, kScreenWidth, 30));
        for (int i = 0; i < 6; ++i) {
            p.setBrush(QColor(120, 120, 115));
            p.setPen(Qt::NoPen);
            p.drawEllipse(30 + i * 50, 160 + (i % 2) * 8, 26, 12);
        }
        break;
    case Scene::Lake:
        sky(p, QColor(100, 160, 220), haze);
        forestEdge(p, 95, seed);
        water(p, QRect(0, 100, kScreenWidth, 100));
        p.setBrush(QColor(120, 80, 40));
        p.setPen(Qt::NoPen);
        p.drawRect(180, 140, 120, 8);
        break;
    case Scene::Mill:
        sky(p, day, haze);
        ground(p, 140, grass);
        p.fillRect(120, 80, 70, 80, QColor(200, 190, 170));
        p.setBrush(QColor(120, 60, 40));
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygon({QPoint(112, 82), QPoint(155, 50), QPoint(198, 82)}));
        p.setPen(QPen(QColor(90, 60, 40), 6));
        p.drawLine(155, 70, 105, 20);
        p.drawLine(155, 70, 205, 120);
        p.drawLine(155, 70, 205, 20);
        p.drawLine(155, 70, 105, 120);
        break;
    case Scene::Bridge:
        sky(p, day, haze);
        forestEdge(p, 100, seed);
        water(p, QRect(0, 130, kScreenWidth, 70));
        p.setPen(QPen(QColor(110, 72, 40), 8));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRect(40, 100, 240, 80), 0, 180 * 16);
        p.setPen(QPen(QColor(80, 52, 30), 3));
        for (int x = 60; x <= 260; x += 25)
            p.drawLine(x, 108 + std::abs(160 - x) / 5, x, 92 + std::abs(160 - x) / 5);
        break;
    case Scene::Waterfall:
        sky(p, day, haze);
        p.fillRect(0, 30, 110, 170, QColor(110, 105, 100));
        p.fillRect(210, 30, 110, 170, QColor(110, 105, 100));
        water(p, QRect(110, 30, 100, 130));
        water(p, QRect(0, 160, kScreenWidth, 40));
        p.setPen(QPen(QColor(235, 245, 255), 2));
        for (int x = 118; x < 205; x += 12)
            p.drawLine(x, 30, x + 2, 160);
        break;
    case Scene::Cave:
        sky(p, QColor(70, 80, 90), QColor(120, 120, 120));
        p.fillRect(0, 0, kScreenWidth, kScreenHeight, QColor(90, 84, 78));
        p.setBrush(QColor(20, 16, 14));
        p.setPen(Qt::NoPen);
        p.drawEllipse(90, 50, 140, 190);
        p.setBrush(QColor(240, 170, 60));
        p.drawEllipse(140, 120, 10, 14);
        break;
    case Scene::Grotto:
        p.fillRect(0, 0, kScreenWidth, kScreenHeight, QColor(24, 30, 40));
        water(p, QRect(0, 140, kScreenWidth, 60));
        for (int i = 0; i < 9; ++i) {
            p.setBrush(QColor(100, 200, 210));
            p.setPen(Qt::NoPen);
            p.drawPolygon(QPolygon({QPoint(20 + i * 35, 0), QPoint(32 + i * 35, 0), QPoint(26 + i * 35, 30 + (i % 3) * 12)}));
        }
        break;
    case Scene::None:
        break;
    }
    return img;
}

// A shape on the key colour: magenta is what the game leaves transparent.
QImage shape(void (*draw)(QPainter&)) {
    QImage img(64, 64, QImage::Format_RGB32);
    img.fill(QColor(255, 0, 255));
    QPainter p(&img);
    // No antialiasing: edge pixels blended with magenta would show as a pink fringe.
    draw(p);
    return img;
}

void drawKey(QPainter& p) {
    p.setPen(QPen(QColor(120, 90, 30), 3));
    p.setBrush(QColor(210, 170, 60));
    p.drawEllipse(6, 20, 22, 22);
    p.setBrush(QColor(255, 0, 255));
    p.drawEllipse(13, 27, 8, 8);
    p.setBrush(QColor(210, 170, 60));
    p.drawRect(28, 28, 30, 6);
    p.drawRect(46, 34, 5, 9);
    p.drawRect(54, 34, 4, 7);
}

void drawLantern(QPainter& p) {
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(22, 8, 20, 8);
    p.setBrush(QColor(250, 220, 110));
    p.drawRect(18, 16, 28, 34);
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(16, 50, 32, 6);
    p.setBrush(Qt::NoBrush);
    p.drawArc(24, 0, 16, 14, 0, 180 * 16);
}

void drawCoin(QPainter& p) {
    p.setPen(QPen(QColor(150, 110, 20), 3));
    p.setBrush(QColor(240, 200, 60));
    p.drawEllipse(10, 10, 44, 44);
    p.setPen(QPen(QColor(150, 110, 20), 2));
    p.drawEllipse(18, 18, 28, 28);
}

void drawRope(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(QColor(170 - i * 10, 130 - i * 10, 70), 4));
        p.drawEllipse(10 + i * 3, 12 + i * 3, 44 - i * 6, 40 - i * 6);
    }
    p.drawLine(32, 52, 44, 62);
}

// The default picture, shown under every object's own shape: a blank card,
// so that a shape's transparent parts show a plain background.
void drawUnknown(QPainter& p) {
    p.fillRect(0, 0, 64, 64, QColor(244, 244, 240));
    p.setPen(QPen(QColor(150, 150, 150), 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(2, 2, 59, 59);
}

QImage openingScreen(const QImage& panelTemplate, std::uint32_t seed) {
    QImage img(panelTemplate.size(), QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, img.height());
    g.setColorAt(0, QColor(16, 24, 58));
    g.setColorAt(1, QColor(40, 70, 60));
    p.fillRect(img.rect(), g);
    QRandomGenerator random(seed);
    for (int i = 0; i < 80; ++i)
        p.fillRect(random.bounded(img.width()), random.bounded(img.height() / 2), 2, 2, QColor(230, 230, 200));
    p.setBrush(QColor(240, 235, 200));
    p.setPen(Qt::NoPen);
    p.drawEllipse(520, 40, 60, 60);
    for (int x = -10; x < img.width() + 20; x += 26)
        tree(p, x, img.height() - 10 + (x * 7) % 13, 120 + (x * 13) % 60, QColor(20, 60, 40));
    p.setPen(QColor(250, 240, 210));
    p.setFont(QFont(QStringLiteral("Arial"), 54, QFont::Bold));
    p.drawText(QRect(0, 110, img.width(), 90), Qt::AlignCenter, kName);
    p.setFont(QFont(QStringLiteral("Arial"), 16, QFont::Normal, true));
    p.drawText(QRect(0, 190, img.width(), 40), Qt::AlignCenter, QStringLiteral("uma aventura de exemplo"));
    return img;
}

// ---- the adventure ---------------------------------------------------------

struct SampleObject {
    const char* name;
    const char* display;
    const char* description;
    const char* location;
    const char* shapeFile;  // name.ext
    const char* tag;
    void (*draw)(QPainter&);
};

const SampleObject kObjects[] = {
    {"chave", "Chave", "uma chave de ferro, velha e pesada", "Poço", "chave.gif", "-", drawKey},
    {"lanterna", "Lanterna", "uma lanterna a óleo, ainda com pavio", "Cabana", "lanterna.png", "-", drawLantern},
    {"moeda", "Moeda", "uma moeda de ouro gasta pelo tempo", "Riacho", "moeda.png", "-", drawCoin},
    {"corda", "Corda", "um rolo de corda grossa", "Moinho", "corda.png", "-", drawRope},
};

struct SampleRegister {
    int number;
    const char* name;
    const char* value;
};

const SampleRegister kRegisters[] = {
    {0, "vidas", "3"},           {1, "pontos", "0"},           {2, "moedas", "0"},
    {3, "lanterna_acesa", "0"},  {4, "porta_da_torre", "fechada"}, {5, "visitou_caverna", "0"},
    {10, "hora_do_dia", "manhã"}, {11, "clima", "sol"},
};

void splitName(const char* file, QString& base, QString& extension) {
    const QString name = QString::fromUtf8(file);
    base = name.section(QLatin1Char('.'), 0, 0);
    extension = name.section(QLatin1Char('.'), 1);
}

void writeSample(const QString& folder, const QString& workspace) {
    // Pictures first: the compiler names a position's picture only when it exists.
    const QStringList map = mapLines();
    std::uint32_t seed = 1;
    for (const Position& p : kPositions)
        if (p.scene != Scene::None)
            saveImage(folder, QString::fromUtf8(p.name), scene(p.scene, seed++), QString::fromLatin1(p.extension));
    ListFile::write(folder + kName + QStringLiteral(".map"), map);
    // One setting is in force per compile; each script is what the compiler
    // wrote with its position's picture format chosen in the settings.
    for (const Position& p : kPositions)
        ListFile::write(folder + QString::fromUtf8(p.name) + QStringLiteral(".scp"),
                        MapCompiler::buildPositionBlock(map, cellOf(p.row, p.column), QStringLiteral("1"),
                                                        QString::fromLatin1(p.extension), folder));

    // The files opening an adventure makes, then the panel layout.
    ListFile::write(folder + QStringLiteral("sen.txt"), {QStringLiteral("demo")});
    ListFile::write(folder + kName + QStringLiteral(".obx"), {});
    ListFile::write(folder + kName + QStringLiteral(".obz"), {});
    ListFile::write(folder + kName + QStringLiteral(".rgs"), QStringList(Registers::kCount));

    QImage panel;
    loadImage(workspace, QStringLiteral("pan-madeira.png"), panel);
    if (panel.isNull())
        throw std::runtime_error("pan-madeira.png is missing from the workspace");
    const QString panelName = PanelLayout::imageNameFromTemplate(QStringLiteral("pan-madeira.png"));
    saveImage(folder, panelName.section(QLatin1Char('.'), 0, 0), panel, QStringLiteral("png"));
    saveImage(folder, QStringLiteral("abertura"), openingScreen(panel, 7), QStringLiteral("png"));

    QStringList settings(100, QStringLiteral("0"));
    settings[0] = kName;
    PanelLayout::recordSavedImage(settings, false, panelName, panel.size());
    PanelLayout::recordSavedImage(settings, true, QStringLiteral("abertura.png"), panel.size());
    // The areas follow the template's frames: the screen top left, messages
    // below it, functions on the right and the sentence line at the bottom.
    const auto place = [&settings](PanelArea area, QRect r) {
        PanelLayout::recordPosition(settings, area, r);
        PanelLayout::recordSize(settings, area, r.size());
    };
    place(PanelArea::Visor, {10, 10, kScreenWidth, kScreenHeight});
    place(PanelArea::Tela, {10, 10, kScreenWidth, kScreenHeight});
    // Msg1 is recorded relative to the Visor, as a drag would record it.
    place(PanelArea::Msg1, {10, 220, 320, 140});
    place(PanelArea::Func, {340, 10, 290, 350});
    place(PanelArea::Frase, {10, 370, 620, 20});
    ListFile::write(folder + kName + QStringLiteral(".ini"), settings);

    // Objects as "novo obj" creates them, then both statuses saved.
    saveImage(folder, QStringLiteral("defobj"), shape(drawUnknown), QStringLiteral("gif"));
    QStringList currentStatus;
    for (const SampleObject& o : kObjects) {
        const QString name = QString::fromUtf8(o.name);
        if (ObjectStore::create(folder, kName, currentStatus, name) != ObjectStore::CreateOutcome::Created)
            throw std::runtime_error("object not created: " + std::string(o.name));
        QString base, extension;
        splitName(o.shapeFile, base, extension);
        saveImage(folder, base, shape(o.draw), extension);
        const ObjectStatus status{QString::fromUtf8(o.display), QString::fromUtf8(o.description),
                                  QString::fromUtf8(o.location), QString::fromUtf8(o.shapeFile),
                                  QString::fromUtf8(o.tag)};
        ObjectStore::saveInitial(folder, name, status);
        ObjectStore::saveCurrent(folder, kName, currentStatus, name, status);
    }

    // Registers typed into the editor's text and saved.
    Registers registers(folder, kName);
    QStringList text = registers.fill();
    for (const SampleRegister& r : kRegisters)
        text[r.number] = Registers::registerLine(QString::fromUtf8(r.name), QString::fromUtf8(r.value), r.number);
    registers.save(text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "uso: mksample PASTA_DO_EXEMPLO PASTA_DE_TRABALHO\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absoluteFilePath(kName) + QLatin1Char('/');
    const QString workspace = QDir(QString::fromLocal8Bit(argv[2])).absolutePath() + QLatin1Char('/');
    // The sample is made whole each time; the author's copy lives elsewhere.
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "mksample: cannot create %s\n", qPrintable(folder));
        return 1;
    }
    try {
        writeSample(folder, workspace);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mksample: %s\n", e.what());
        return 1;
    }
    return 0;
}
