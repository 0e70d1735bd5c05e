// A real full disk and a real read-only file system under the program: every
// kind of file it writes is refused with the file's name and the reason, the
// old file stays whole, and nothing is left behind.
#include "core/DurableWrite.h"
#include "core/ListFile.h"
#include "app/TForm1.h"
#include "imaging/ImageFiles.h"
#include "map/MapCompiler.h"
#include "map/MapModel.h"
#include "net/ServerClient.h"
#include "net/TestServers.h"
#include "support/QtTestMain.h"
#include "support/SmallDisk.h"
#include "support/TestWorkspace.h"
#include "support/WidgetLookup.h"
#include "support/WriteChecks.h"

#include <QDir>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace orv;
using orv::test::child;
using orv::test::click;
using orv::test::crlf;
using orv::test::SmallDisk;
using orv::test::TestWorkspace;
using orv::test::filesIn;
using orv::test::textOf;

namespace {

QByteArray mapFileWith(const QString& name, int tile) {
    QStringList lines(801);
    lines[0] = name;
    lines[1] = QString::number(tile);
    return ListFile::joinLines(lines);
}

// Every writer of the program, each over an existing file of the same name.
struct Writer {
    const char* file;
    std::function<void(const QString& folder)> write;
};

std::vector<Writer> everyWriter() {
    QImage picture(64, 40, QImage::Format_RGB32);
    picture.fill(QColor(10, 120, 200));
    return {
        {"Ilha.ini", [](const QString& f) { ListFile::write(f + "Ilha.ini", QStringList(100, "linha")); }},
        {"Ilha.map",
         [](const QString& f) {
             static TestWorkspace background;  // the map background lives off the small disk
             MapModel map(background.path("defmap.bmp"));
             map.reset();
             map.setName(0, "Praia");
             map.setTile(0, 3);
             map.save(f + "Ilha.map");
         }},
        {"Praia.scp",
         [](const QString& f) {
             MapCompiler::compile(ListFile::splitLines(mapFileWith("Praia", 3)), "1", "png", "1", f);
         }},
        {"pos.png", [picture](const QString& f) { saveImage(f, "pos", picture, "png"); }},
        {"pos.jpg", [picture](const QString& f) { saveImage(f, "pos", picture, "jpg"); }},
        {"pos.gif", [picture](const QString& f) { saveImage(f, "pos", picture, "gif"); }},
        {"pos.bmp", [picture](const QString& f) { saveImage(f, "pos", picture, "bmp"); }},
    };
}

}  // namespace

// The portable variant links the same libraries as the default one: it must
// still write the portable way.
TEST(FullDisk, WritesTheWayTheBuildChose) {
    EXPECT_STREQ(durableWritePlatformName(), ORVALIS_EXPECTED_DURABLE_WRITE);
}

TEST(FullDisk, EveryWriterRefusesAndKeepsTheOldFile) {
    SmallDisk disk(256);
    if (!disk.available())
        GTEST_SKIP() << disk.why().toStdString();
    const QString folder = disk.path() + "/Ilha/";
    QDir().mkpath(folder);
    for (const Writer& w : everyWriter()) {
        SCOPED_TRACE(w.file);
        const QByteArray old = QByteArray("o arquivo antigo de ") + w.file;
        {
            QFile f(folder + w.file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        disk.fill();
        const std::string text = textOf([&] { w.write(folder); });
        EXPECT_NE(text.find(w.file), std::string::npos) << text;
        EXPECT_NE(text.find("disco cheio"), std::string::npos) << text;
        disk.freeUp();
        QFile f(folder + w.file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old);
        EXPECT_EQ(filesIn(folder).filter(".orvtmp").size(), 0);
        QFile::remove(folder + w.file);
    }
}

TEST(FullDisk, ADownloadOnAFullDiskFailsAndKeepsTheOldFile) {
    SmallDisk disk(256);
    if (!disk.available())
        GTEST_SKIP() << disk.why().toStdString();
    test::FaultServer server([](const auto&) { return test::FaultServer::ok(QByteArray(20000, 'd')); });
    const QString folder = disk.path() + "/Ilha/";
    QDir().mkpath(folder);
    QFile f(folder + "Ilha.map");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("antigo");
    f.close();
    disk.fill();
    ServerClient client(server.base());
    EXPECT_EQ(client.getFile("Ilha", folder, "Ilha.map"), "Falha download");
    disk.freeUp();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "antigo");
    EXPECT_EQ(filesIn(folder), QStringList{"Ilha.map"});
}

// A batch lets go of the files it replaced after it returns; a write that
// finds the disk full meanwhile waits for that room instead of failing.
TEST(FullDisk, RoomStillHeldByReplacedFilesIsWaitedFor) {
    SmallDisk disk(256);
    if (!disk.available())
        GTEST_SKIP() << disk.why().toStdString();
    const QString folder = disk.path() + "/";
    {
        QFile big(folder + "grande.scp");
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        big.write(QByteArray(150 * 1024, 'g'));
    }
    struct SlowRelease {
        SlowRelease() {
            writeSystemCalls().release = [](int fd) {
                ::usleep(300 * 1000);
                return ::close(fd);
            };
        }
        ~SlowRelease() {
            waitForReleasedOldFiles();
            resetWriteSystemCalls();
        }
    } slow;
    DurableBatch batch;
    batch.add(folder + "grande.scp", QByteArray(10 * 1024, 'p'));
    batch.commit();
    // Without the old 150 KiB freed, these 120 KiB do not fit.
    const QByteArray other(120 * 1024, 'o');
    EXPECT_EQ(textOf([&] { writeFileSafely(folder + "outro.scp", other); }), "(no error)");
    QFile written(folder + "outro.scp");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), other);
    EXPECT_EQ(filesIn(folder), (QStringList{"grande.scp", "outro.scp"}));
}

TEST(FullDisk, AReadOnlyFileSystemIsReportedAsSuchForEveryWriter) {
    SmallDisk disk(256);
    if (!disk.available())
        GTEST_SKIP() << disk.why().toStdString();
    const QString folder = disk.path() + "/Ilha/";
    QDir().mkpath(folder);
    for (const Writer& w : everyWriter()) {
        QFile f(folder + w.file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("antigo");
    }
    ASSERT_TRUE(disk.setReadOnly(true));
    for (const Writer& w : everyWriter()) {
        SCOPED_TRACE(w.file);
        const std::string text = textOf([&] { w.write(folder); });
        EXPECT_NE(text.find(w.file), std::string::npos) << text;
        EXPECT_NE(text.find("o sistema de arquivos é somente leitura"), std::string::npos) << text;
        QFile f(folder + w.file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "antigo");
    }
    disk.setReadOnly(false);
}

// Through the program's own windows: "Gravar mapa" on a full disk does not
// say "Ok, gravado!", and the end of the program reports the map it could not
// write, keeps it whole, and still ends.
TEST(FullDisk, TheMapWindowAndTheExitSavesTellTheTruth) {
    SmallDisk disk(16 * 1024);
    if (!disk.available())
        GTEST_SKIP() << disk.why().toStdString();
    TestWorkspace ws(true, disk.path());
    ws.addAdventure("Ilha");
    const QByteArray original = mapFileWith("Farol", 5);
    ws.write("Ilha/Ilha.map", original);
    ws.write("Ilha/Ilha.ini", crlf({"a", "b"}));

    auto form = startProgram(ws);
    form->OpenAdventure("Ilha");
    test::reportedErrors().clear();
    click(child(form.get(), "btMap"));
    disk.fill();
    click(child(form.get(), "btGrMap"));
    ASSERT_EQ(test::reportedErrors().size(), 1);
    EXPECT_TRUE(test::reportedErrors().first().contains("Ilha.map"));
    EXPECT_TRUE(test::reportedErrors().first().contains("disco cheio"));
    EXPECT_NE(child<QLabel>(form.get(), "Msg1")->text(), "Ok, gravado!");
    EXPECT_EQ(ws.read("Ilha/Ilha.map"), original);

    test::reportedErrors().clear();
    form.reset();  // the end of the program
    ASSERT_EQ(test::reportedErrors().size(), 1);
    const QString report = test::reportedErrors().first();
    EXPECT_TRUE(report.contains("Ilha.map")) << report.toStdString();
    EXPECT_TRUE(report.contains("Ilha.ini")) << report.toStdString();  // every file tried
    disk.freeUp();
    EXPECT_EQ(ws.read("Ilha/Ilha.map"), original);
    EXPECT_EQ(ws.read("Ilha/Ilha.ini"), crlf({"a", "b"}));
    EXPECT_EQ(filesIn(ws.path("Ilha")).filter(".orvtmp").size(), 0);
}
