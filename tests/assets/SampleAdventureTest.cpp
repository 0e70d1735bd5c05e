// The sample adventure as the build makes it: its files must be what the
// program itself writes, and every window opened on it must come up without
// an error, as a new author meets it.
#include "core/ListFile.h"
#include "app/TForm1.h"
#include "editors/ObjectStore.h"
#include "editors/PanelLayout.h"
#include "editors/Registers.h"
#include "imaging/ImageFiles.h"
#include "map/MapCompiler.h"
#include "map/MapModel.h"
#include "platform/GamePlayer.h"
#include "editors/XStandIn.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"
#include "support/WidgetLookup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

using namespace orv;

namespace {

const QString kSample = QStringLiteral(ORVALIS_SAMPLE_DIR "/");
const QString kWorkspace = QStringLiteral(ORVALIS_WORKSPACE_DIR "/");

QStringList sampleList(const QString& name) {
    return ListFile::read(kSample + name);
}

QByteArray sampleBytes(const QString& name) {
    QFile f(kSample + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The picture a position's script names, whichever format it was made in.
QString pictureExtension(const QString& position) {
    for (const char* ext : {"png", "jpg", "gif"})
        if (QFileInfo::exists(kSample + position + QLatin1Char('.') + QLatin1String(ext)))
            return QString::fromLatin1(ext);
    return QStringLiteral("png");
}

}  // namespace

TEST(SampleAdventure, MapAndScriptsAreWhatTheCompilerWrites) {
    const QStringList map = sampleList(QStringLiteral("Floresta.map"));
    ASSERT_EQ(map.size(), MapModel::LineCount);
    int positions = 0;
    QSet<QString> tiles, pictureFormats, exits;
    for (int cell = 0; cell < MapModel::Cells; ++cell) {
        tiles << map[2 * cell + 1];
        const QString name = map[2 * cell];
        if (name.isEmpty())
            continue;
        ++positions;
        const QString ext = pictureExtension(name);
        if (QFileInfo::exists(kSample + name + QLatin1Char('.') + ext))
            pictureFormats << ext;
        const QStringList block = MapCompiler::buildPositionBlock(map, cell, QStringLiteral("1"), ext, kSample);
        EXPECT_EQ(sampleBytes(name + QStringLiteral(".scp")), ListFile::joinLines(block)) << name.toStdString();
        for (const QString& line : block)
            if (line.startsWith(QStringLiteral("  norte=")) || line.startsWith(QStringLiteral("  leste=")) ||
                line.startsWith(QStringLiteral("  sul=")) || line.startsWith(QStringLiteral("  oeste=")))
                exits << name + QLatin1Char('>') + line.section(QStringLiteral("= "), 1);
    }
    EXPECT_GE(positions, 10);
    EXPECT_LE(positions, 15);
    // Corridors of both directions and a crossing join the rooms.
    for (const char* t : {"17", "18", "19"})
        EXPECT_TRUE(tiles.contains(QString::fromLatin1(t))) << t;
    // All in the format the compiler's default settings name: compiled with
    // those, no position loses its picture line. (The object shapes keep a
    // GIF; JPEG and GIF pictures are covered by the compiler's own tests.)
    EXPECT_EQ(pictureFormats, (QSet<QString>{"png"}));
    // Every way out has a way back: no door leads into a dead end.
    for (const QString& e : exits)
        EXPECT_TRUE(exits.contains(e.section(QLatin1Char('>'), 1) + QLatin1Char('>') + e.section(QLatin1Char('>'), 0, 0)))
            << e.toStdString();
}

TEST(SampleAdventure, PanelLayoutNamesItsOpeningScreenAndPanel) {
    const QStringList ini = sampleList(QStringLiteral("Floresta.ini"));
    ASSERT_GE(ini.size(), PanelLayout::kRequiredLines);
    for (int line : {13, 14}) {
        QImage picture;
        loadImage(kSample, ini[line], picture);
        ASSERT_FALSE(picture.isNull()) << ini[line].toStdString();
        EXPECT_EQ(picture.size(), QSize(PanelLayout::number(ini, 11), PanelLayout::number(ini, 12)));
        // Placed where the editor would not have to pull it back.
        for (const PanelAreaInfo& a : PanelLayout::areas()) {
            const QRect r = PanelLayout::placeRect(ini, a.area, picture.size());
            EXPECT_TRUE(picture.rect().contains(r)) << a.code;
            EXPECT_GT(r.width() * r.height(), 8 * 8) << a.code;
        }
    }
    EXPECT_EQ(ini[14], PanelLayout::imageNameFromTemplate(QStringLiteral("pan-madeira.png")));
    EXPECT_TRUE(QFileInfo::exists(kWorkspace + QStringLiteral("pan-madeira.png")));
    // A new position picture takes the Tela's size: the sample's are that size.
    QImage clearing;
    loadImage(kSample, QStringLiteral("Clareira.png"), clearing);
    EXPECT_EQ(clearing.size(), QSize(PanelLayout::number(ini, 58), PanelLayout::number(ini, 59)));
}

TEST(SampleAdventure, ObjectsHaveFilesRecordsScriptsAndTransparentShapes) {
    const QStringList roster = sampleList(QStringLiteral("Floresta.obz"));
    const QStringList current = sampleList(QStringLiteral("Floresta.obx"));
    ASSERT_GE(roster.size(), 3);
    EXPECT_EQ(current.size(), roster.size() * ObjectStore::RecordLines);
    for (const QString& name : roster) {
        const QStringList record = sampleList(name + QStringLiteral(".obj"));
        ASSERT_EQ(record.size(), ObjectStore::RecordLines) << name.toStdString();
        EXPECT_EQ(record[0], name);
        const QList<int> found = ObjectStore::recordsOf(current, name);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        EXPECT_EQ(current.mid(found.first(), ObjectStore::RecordLines), record);
        EXPECT_EQ(sampleList(name + QStringLiteral(".scp")), ObjectStore::objectBlock(name));
        EXPECT_FALSE(record[2].isEmpty());
        // The shape's corner is the key colour, which the file keeps transparent.
        QImageReader reader(kSample + record[4]);
        const QImage shape = reader.read();
        ASSERT_FALSE(shape.isNull()) << record[4].toStdString();
        EXPECT_EQ(qAlpha(shape.pixel(0, 0)), 0) << record[4].toStdString();
        int opaque = 0;
        for (int y = 0; y < shape.height(); ++y)
            for (int x = 0; x < shape.width(); ++x)
                opaque += qAlpha(shape.pixel(x, y)) == 255;
        EXPECT_GT(opaque, shape.width() * shape.height() / 10) << record[4].toStdString();
    }
}

TEST(SampleAdventure, RegistersAndSoundsAndPlayerAreThere) {
    Registers registers(kSample, QStringLiteral("Floresta"));
    const QStringList text = registers.fill();
    ASSERT_EQ(text.size(), Registers::kCount);
    EXPECT_EQ(Registers::splitLine(text[0]), std::make_pair(QStringLiteral("vidas"), QStringLiteral("3")));
    int named = 0;
    for (int n = 0; n < Registers::kCount; ++n)
        named += Registers::splitLine(text[n]).first != QString::number(n);
    EXPECT_GE(named, 5);

    int wav = 0, mp3 = 0;
    for (const QFileInfo& f : QDir(kSample).entryInfoList({"*.wav", "*.mp3"}, QDir::Files)) {
        const QByteArray head = sampleBytes(f.fileName()).left(12);
        EXPECT_GT(f.size(), 4000) << f.fileName().toStdString();
        if (f.suffix() == QLatin1String("wav")) {
            ++wav;
            EXPECT_TRUE(head.startsWith("RIFF") && head.mid(8) == "WAVE") << f.fileName().toStdString();
        } else {
            ++mp3;
            // An ID3 tag or the frame sync of an MPEG audio frame.
            EXPECT_TRUE(head.startsWith("ID3") ||
                        (static_cast<unsigned char>(head[0]) == 0xFF && (static_cast<unsigned char>(head[1]) & 0xE0) == 0xE0))
                << f.fileName().toStdString();
        }
    }
    EXPECT_EQ(wav, 2);
    EXPECT_EQ(mp3, 2);
    EXPECT_TRUE(QFileInfo(kSample + QStringLiteral("Floresta.exe")).isExecutable());
}

TEST(SampleAdventure, StandInPlayerComesUpAsTheWindowExecLooksFor) {
    test::XStandIn x;
    if (!x.ok())
        GTEST_SKIP() << "Xvfb is not available";
    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    player.setProcessEnvironment(env);
    player.start(kSample + QStringLiteral("Floresta.exe"), {QStringLiteral("atv")});
    ASSERT_TRUE(player.waitForStarted());
    const auto desktop = makeDesktopGamePlayer();
    GamePlayer::WindowId found = 0;
    for (int i = 0; i < 100 && !found; ++i) {
        QTest::qWait(100);
        found = desktop->findWindow(QStringLiteral("Floresta"));
    }
    EXPECT_NE(found, 0u);
    EXPECT_EQ(player.state(), QProcess::Running);
    player.kill();
    player.waitForFinished();
}

// What a new author does first: open the sample and every window on it.
TEST(SampleAdventure, EveryWindowOpensOnItWithoutAnError) {
    test::TestWorkspace ws(false);
    for (const QString& f : QDir(kWorkspace).entryList({"defmap.bmp", "pan-*.png"}, QDir::Files))
        ASSERT_TRUE(QFile::copy(kWorkspace + f, ws.path(f)));
    ASSERT_TRUE(QDir().mkpath(ws.path(QStringLiteral("Floresta"))));
    for (const QString& f : QDir(kSample).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(kSample + f, ws.path(QStringLiteral("Floresta/") + f)));
    auto form = test::startProgram(ws);
    QWidget* root = form.get();
    ASSERT_EQ(test::rows(test::child<QListWidget>(root, "Games")), QStringList{"Floresta"});
    test::click(test::child(root, "btAdv"));
    ASSERT_TRUE(test::doubleClickRow(test::child<QListWidget>(root, "Games"), 0));

    test::click(test::child(root, "btMap"));
    test::click(test::child(root, "Mapa"), QPoint(550, 220));  // Clareira, which has a picture
    EXPECT_TRUE(test::child(root, "JanEdImg")->isVisibleTo(root));
    test::click(test::child(root, "btScp"));
    EXPECT_TRUE(test::clickRow(test::child<QListWidget>(root, "NoScp"), QStringLiteral("Poço.scp")));
    test::click(test::child(root, "btObj"));
    for (const QString& o : {"chave.obj", "lanterna.obj", "moeda.obj", "corda.obj"})
        EXPECT_TRUE(test::clickRow(test::child<QListWidget>(root, "NoObj"), o)) << o.toStdString();
    test::click(test::child(root, "btReg"));
    test::click(test::child(root, "btPan"));
    EXPECT_EQ(test::child<QLabel>(root, "Lb2")->text(), "640 x 400");
    test::click(test::child(root, "bnPanPan"));
    test::click(test::child(root, "Label35"));
    EXPECT_TRUE(test::child(root, "Shp1a")->isVisibleTo(root));
    test::click(test::child(root, "btImg"));
    test::click(test::child(root, "FolhaImg"), QPoint(60, 40));
    test::click(test::child(root, "btSnd"));
    for (const QString& s : {"passos.wav", "vento.mp3"})
        EXPECT_TRUE(test::clickRow(test::child<QListWidget>(root, "ArqSnd"), s)) << s.toStdString();
    test::click(test::child(root, "btOpc"));
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join('\n').toStdString();
}
