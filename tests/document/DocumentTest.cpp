// The document as the windows meet it: opening, reloading after a download,
// the exit saves, the panel read through names, and the pictures' and panel
// areas' histories.
#include "core/OrvalisError.h"
#include "document/AdventureDocument.h"
#include "document/PanelEdits.h"
#include "support/TestWorkspace.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace orv;
using orv::test::crlf;
using orv::test::TestWorkspace;

namespace {

QByteArray listFile(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

QStringList panelLines() {
    QStringList lines(98, QStringLiteral("0"));
    lines[13] = QStringLiteral("abertura.png");
    lines[14] = QStringLiteral("painel.png");
    lines[22] = QStringLiteral("10");
    lines[23] = QStringLiteral("20");
    lines[24] = QStringLiteral("300");
    lines[25] = QStringLiteral("200");
    lines[27] = QStringLiteral("5");
    lines[28] = QStringLiteral("6");
    lines[29] = QStringLiteral("50");
    lines[30] = QStringLiteral("40");
    lines[58] = QStringLiteral("320");
    lines[59] = QStringLiteral("200");
    return lines;
}

}  // namespace

TEST(AdventureDocument, OpensReloadsAndSavesAtTheEndAsTheWorkspaceExpects) {
    TestWorkspace ws;
    ws.addAdventure("Ilha");
    QStringList map(801);
    map[0] = "praia";
    map[1] = "3";
    ws.write("Ilha/Ilha.map", listFile(map));
    ws.write("Ilha/sen.txt", crlf({"segredo"}));
    AdventureDocument document(ws.folder());
    document.resetMap();
    QSignalSpy opened(&document, &AdventureDocument::opened);
    QSignalSpy replaced(&document, &AdventureDocument::mapReplaced);
    QStringList passwords;
    QObject::connect(&document, &AdventureDocument::passwordRead, [&](const QString& p) { passwords << p; });

    document.open("Ilha");
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_EQ(document.map().name(0), "praia");
    EXPECT_EQ(passwords, (QStringList{"", "segredo"}));

    // A download replaced the map and the settings: both are read again.
    map[0] = "baia";
    ws.write("Ilha/Ilha.map", listFile(map));
    ws.write("Ilha/Ilha.ini", crlf({"a"}));
    QSignalSpy settings(&document, &AdventureDocument::settingsChanged);
    document.reload("Ilha.map");
    document.reload("Ilha.ini");
    EXPECT_EQ(document.map().name(0), "baia");
    EXPECT_EQ(replaced.count(), 2);
    EXPECT_EQ(document.adventure().settingsList(), QStringList{"a"});
    EXPECT_EQ(settings.count(), 1);

    // The end: the map always, the settings since they hold a line, the
    // current-status list not (it is empty); and only once.
    ws.write("Ilha/Ilha.obx", "keep");
    document.saveAtExit();
    EXPECT_EQ(ws.read("Ilha/Ilha.map"), listFile(map));
    EXPECT_EQ(ws.read("Ilha/Ilha.ini"), crlf({"a"}));
    EXPECT_EQ(ws.read("Ilha/Ilha.obx"), "keep");
    ws.write("Ilha/Ilha.map", "later");
    document.saveAtExit();
    EXPECT_EQ(ws.read("Ilha/Ilha.map"), "later");
}

TEST(AdventureDocument, NothingIsSavedAtTheEndWithNoAdventureOpen) {
    TestWorkspace ws;
    AdventureDocument document(ws.folder());
    document.resetMap();
    document.saveAtExit();
    EXPECT_EQ(QDir(ws.folder()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList{"defmap.bmp"});
}

TEST(PanelSettings, ReadsTheLayoutThroughNamesAndRefusesBadLines) {
    const QStringList lines = panelLines();
    const PanelSettings panel(lines);
    EXPECT_EQ(panel.openingImage(), "abertura.png");
    EXPECT_EQ(panel.panelImage(), "painel.png");
    EXPECT_EQ(panel.area(PanelArea::Visor), QRect(10, 20, 300, 200));
    EXPECT_EQ(panel.area(PanelArea::Msg1), QRect(15, 26, 50, 40));  // relative to the Visor
    EXPECT_EQ(panel.area(PanelArea::Tela), QRect(10, 20, 320, 200));
    EXPECT_EQ(panel.placedArea(PanelArea::Visor, QSize(200, 100)), QRect(-100, -100, 300, 200));
    EXPECT_EQ(panel.text(PanelArea::Msg1, PanelSettings::Left), "5");
    EXPECT_EQ(panel.screenSize(), QSize(320, 200));

    QStringList bad = lines;
    bad[58] = "larga";
    try {
        PanelSettings(bad).screenSize();
        ADD_FAILURE() << "no error";
    } catch (const OrvalisError& e) {
        EXPECT_EQ(e.text(), "A linha 58 (largura da tela) das configurações falta ou não é um número inteiro.");
    }
    const QStringList shortList(10);
    try {
        PanelSettings(shortList).openingImage();
        ADD_FAILURE() << "no error";
    } catch (const OrvalisError& e) {
        EXPECT_EQ(e.text(), "O arquivo de configuração da aventura tem 10 linhas; o painel precisa de 98.");
    }
}

// A drag's step puts back only the lines the drag changed: a line written
// since by something else ("Gravar" writing the picture's name) stays.
TEST(PanelAreaEdit, UndoPutsBackOnlyTheDraggedLinesAndShowsTheArea) {
    TestWorkspace ws;
    ws.addAdventure("Ilha");
    AdventureDocument document(ws.folder());
    document.open("Ilha");
    document.adventure().changeSettings([](QStringList& l) { l = panelLines(); });
    const QStringList before = document.adventure().settingsList();
    document.adventure().changeSettings([](QStringList& l) {
        PanelLayout::recordPosition(l, PanelArea::Visor, QRect(40, 50, 300, 200));
    });
    QList<PanelArea> shown;
    QObject::connect(&document, &AdventureDocument::panelAreaChanged, [&](PanelArea a) { shown << a; });
    EditHistory& history = document.panelHistory();
    history.perform(std::make_unique<PanelAreaEdit>(document, PanelArea::Visor, before,
                                                    document.adventure().settingsList()));
    EXPECT_EQ(history.undoCount(), 1);
    document.adventure().changeSettings([](QStringList& l) { l[14] = "castelo.png"; });

    ASSERT_TRUE(history.undoStep());
    EXPECT_EQ(document.panel().area(PanelArea::Visor), QRect(10, 20, 300, 200));
    EXPECT_EQ(document.panel().panelImage(), "castelo.png");
    EXPECT_EQ(shown, QList<PanelArea>{PanelArea::Visor});
    ASSERT_TRUE(history.redoStep());
    EXPECT_EQ(document.panel().area(PanelArea::Visor), QRect(40, 50, 300, 200));

    // A drag that ends where it began is no step.
    history.perform(std::make_unique<PanelAreaEdit>(document, PanelArea::Visor, document.adventure().settingsList(),
                                                    document.adventure().settingsList()));
    EXPECT_EQ(history.undoCount(), 1);
    // The settings file downloaded anew: the old drags no longer apply.
    ws.write("Ilha/Ilha.ini", listFile(panelLines()));
    document.reload("Ilha.ini");
    EXPECT_FALSE(history.undoStep());
    EXPECT_EQ(document.panel().area(PanelArea::Visor), QRect(10, 20, 300, 200));
}

TEST(EditedPicture, EachStrokeAndFillIsOneStepUntilThePictureIsReplaced) {
    EditHistory history;
    EditedPicture picture(history);
    QImage white(120, 80, QImage::Format_RGB32);
    white.fill(Qt::white);
    picture.replace(white);
    QList<QRect> changed;
    QObject::connect(&picture, &EditedPicture::changed, [&](QRect area) { changed << area; });

    picture.beginStroke();
    picture.drawLine({10, 10}, {30, 10}, QPen(Qt::black, 2));
    picture.drawLine({30, 10}, {30, 40}, QPen(Qt::black, 2));
    picture.endStroke();
    const QImage stroked = picture.image().copy();
    EXPECT_EQ(changed.size(), 2);
    EXPECT_EQ(stroked.pixel(20, 10), qRgb(0, 0, 0));
    picture.fill(QRect(50, 50, 100, 100), Qt::red);  // reaches past the picture
    const QImage filled = picture.image().copy();
    EXPECT_EQ(history.undoCount(), 2);

    ASSERT_TRUE(history.undoStep());
    EXPECT_EQ(picture.image(), stroked);
    ASSERT_TRUE(history.undoStep());
    EXPECT_EQ(picture.image(), white);
    EXPECT_FALSE(history.undoStep());
    ASSERT_TRUE(history.redoStep());
    ASSERT_TRUE(history.redoStep());
    EXPECT_EQ(picture.image(), filled);

    // A stroke that draws nothing new (white on white) is no step.
    picture.beginStroke();
    picture.drawLine({100, 5}, {110, 5}, QPen(Qt::white, 8));
    picture.endStroke();
    EXPECT_EQ(history.undoCount(), 2);

    // Another picture: the strokes of the last one are not put on it.
    QImage grey(120, 80, QImage::Format_RGB32);
    grey.fill(Qt::gray);
    picture.replace(grey);
    EXPECT_FALSE(history.undoStep());
    EXPECT_EQ(picture.image(), grey);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
