// The open adventure as every window meets it: opening announces itself, the
// two lists change only through it, and a download is taken up by reload.
#include "core/Adventure.h"
#include "core/AdventureWorkspace.h"
#include "core/NewAdventure.h"
#include "support/TestWorkspace.h"

#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace orv;
using orv::test::crlf;
using orv::test::TestWorkspace;

TEST(Adventure, OpeningAnnouncesTheNewFolderAndReadingCreatesTheMissingFiles) {
    TestWorkspace ws(false);
    ws.write("Ilha/Ilha.ini", crlf({"a", "b"}));
    ws.write("Ilha/.Ilha.map.orvtmp", "half a map");
    Adventure adventure(ws.folder());
    EXPECT_FALSE(adventure.isOpen());
    QSignalSpy opened(&adventure, &Adventure::opened);
    QStringList folderSeen;
    QObject::connect(&adventure, &Adventure::opened, [&] { folderSeen << adventure.folder(); });

    adventure.open("Ilha");
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(folderSeen, QStringList{ws.path("Ilha/")});  // already current when announced
    EXPECT_EQ(adventure.file(".map"), ws.path("Ilha/Ilha.map"));
    EXPECT_EQ(adventure.path("sen.txt"), ws.path("Ilha/sen.txt"));

    QStringList passwords;
    adventure.readFiles([&](const QString& p) { passwords << p; });
    EXPECT_EQ(passwords, QStringList{""});
    EXPECT_EQ(adventure.settingsList(), (QStringList{"a", "b"}));
    EXPECT_TRUE(adventure.currentStatusList().isEmpty());
    EXPECT_EQ(ws.read("Ilha/sen.txt"), "\r\n");
    EXPECT_EQ(ws.read("Ilha/Ilha.rgs").count("\r\n"), 251);
    EXPECT_FALSE(ws.exists("Ilha/.Ilha.map.orvtmp"));  // a killed run's leftover is cleared

    ws.write("Ilha/sen.txt", crlf({"segredo"}));
    passwords.clear();
    adventure.readFiles([&](const QString& p) { passwords << p; });
    EXPECT_EQ(passwords, (QStringList{"", "segredo"}));
}

TEST(Adventure, ListsChangeOnlyThroughItAndAReloadTakesUpTheDownloadedFile) {
    TestWorkspace ws(false);
    ws.addAdventure("Ilha");
    Adventure adventure(ws.folder());
    adventure.open("Ilha");
    adventure.readFiles([](const QString&) {});
    QSignalSpy settings(&adventure, &Adventure::settingsChanged);
    QSignalSpy status(&adventure, &Adventure::currentStatusChanged);

    adventure.changeSettings([](QStringList& lines) { lines = {"640", "480"}; });
    adventure.changeCurrentStatus([](QStringList& lines) { lines << "chave"; });
    EXPECT_EQ(settings.count(), 1);
    EXPECT_EQ(status.count(), 1);
    adventure.saveSettings();
    EXPECT_EQ(ws.read("Ilha/Ilha.ini"), crlf({"640", "480"}));

    // A download replaced both files: the lists in memory follow, so the
    // exit saves write the new files back unchanged.
    ws.write("Ilha/Ilha.ini", crlf({"800", "600"}));
    ws.write("Ilha/Ilha.obx", crlf({"corda"}));
    adventure.reload("Ilha.ini");
    adventure.reload("Ilha.obx");
    adventure.reload("Ilha.map");  // not a list held in memory: nothing to do
    EXPECT_EQ(adventure.settingsList(), (QStringList{"800", "600"}));
    EXPECT_EQ(adventure.currentStatusList(), QStringList{"corda"});
    EXPECT_EQ(settings.count(), 2);
    EXPECT_EQ(status.count(), 2);
    adventure.saveSettingsAtExit();
    adventure.saveCurrentStatusAtExit();
    EXPECT_EQ(ws.read("Ilha/Ilha.ini"), crlf({"800", "600"}));
    EXPECT_EQ(ws.read("Ilha/Ilha.obx"), crlf({"corda"}));

    // Empty lists are not written at the end.
    adventure.changeCurrentStatus([](QStringList& lines) { lines.clear(); });
    ws.write("Ilha/Ilha.obx", "kept");
    adventure.saveCurrentStatusAtExit();
    EXPECT_EQ(ws.read("Ilha/Ilha.obx"), "kept");
}

namespace {
QStringList everythingBelow(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}
}  // namespace

TEST(NewAdventure, RefusedNamesCreateNothing) {
    TestWorkspace ws(false);
    ws.write("Ilha/Ilha.ini", "");
    ws.write("nota.txt", "x");
    const QStringList before = everythingBelow(ws.folder());
    const QStringList refused = {"", " Ilha", "Ilha ", "Ilha", "ILHA", "nota.txt", "Nota.TXT", ".", "..", "a/b",
                                 "a\\b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", QString("a") + QChar(9) + "b",
                                 QString("a") + QChar(0x7f), "fim.", "CON", "prn", "Aux", "NUL.txt", "COM1", "lpt9",
                                 "com5.ini"};
    for (const QString& name : refused) {
        const NewAdventure::Result result = NewAdventure::create(ws.folder(), name);
        EXPECT_FALSE(result.created) << name.toStdString();
        EXPECT_FALSE(result.message.isEmpty()) << name.toStdString();
        EXPECT_EQ(result.message, NewAdventure::refusal(ws.folder(), name));
    }
    EXPECT_EQ(everythingBelow(ws.folder()), before);
    // Near misses of the reserved names are ordinary names.
    for (const QString& name : {"CONSOLE", "COM10", "LPT0", "Ilha2", "Mapa.velho", "Ação"})
        EXPECT_TRUE(NewAdventure::refusal(ws.folder(), name).isEmpty()) << name.toStdString();
}

TEST(NewAdventure, MakesWhatOpeningMakesPlusSettingsMapAndDefaultPictureAndIsListed) {
    TestWorkspace ws(false);
    const NewAdventure::Result result = NewAdventure::create(ws.folder(), "Ilha");
    ASSERT_TRUE(result.created) << result.message.toStdString();
    EXPECT_EQ(result.folder, ws.path("Ilha/"));
    EXPECT_EQ(AdventureWorkspace::completeAdventures(ws.folder()), QStringList{"Ilha"});
    EXPECT_EQ(QDir(ws.path("Ilha")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"Ilha.ini", "Ilha.map", "Ilha.obx", "Ilha.obz", "Ilha.rgs", "defobj.gif", "sen.txt"}));
    EXPECT_EQ(ws.read("Ilha/Ilha.obx"), "");
    EXPECT_EQ(ws.read("Ilha/Ilha.obz"), "");
    EXPECT_EQ(ws.read("Ilha/Ilha.rgs"), QByteArray("\r\n").repeated(251));
    EXPECT_EQ(ws.read("Ilha/Ilha.map"), QByteArray("\r\n").repeated(801));
    EXPECT_EQ(ws.read("Ilha/sen.txt"), "\r\n");
    const QByteArray gif = ws.read("Ilha/defobj.gif");
    EXPECT_TRUE(gif.startsWith("GIF89a")) << gif.size();
    EXPECT_EQ(gif.size(), 209);
    const QStringList ini = QString::fromLatin1(ws.read("Ilha/Ilha.ini")).split("\r\n");
    ASSERT_EQ(ini.size(), 99);  // 98 lines, each ended
    EXPECT_EQ(ini[98], "");
    EXPECT_EQ(ini[0], "Ilha");
    EXPECT_EQ(ini[13], "");  // no picture named that is not there
    EXPECT_EQ(ini[14], "");
    EXPECT_EQ(ini[58], "320");
    EXPECT_EQ(ini[59], "200");
    EXPECT_EQ(ini.mid(0, 98), NewAdventure::defaultSettings("Ilha"));

    // Opening it finds everything there and changes nothing.
    const QStringList before = everythingBelow(ws.folder());
    QByteArray bytesBefore;
    for (const QString& f : before)
        bytesBefore += QFileInfo(f).isFile() ? ws.read(QDir(ws.folder()).relativeFilePath(f)) : QByteArray();
    Adventure adventure(ws.folder());
    adventure.open("Ilha");
    adventure.readFiles([](const QString&) {});
    EXPECT_EQ(adventure.settingsList().size(), 98);
    EXPECT_EQ(everythingBelow(ws.folder()), before);
    QByteArray bytesAfter;
    for (const QString& f : before)
        bytesAfter += QFileInfo(f).isFile() ? ws.read(QDir(ws.folder()).relativeFilePath(f)) : QByteArray();
    EXPECT_EQ(bytesAfter, bytesBefore);

    // A second one of the same name is refused and leaves the first alone.
    EXPECT_FALSE(NewAdventure::create(ws.folder(), "Ilha").created);
    EXPECT_EQ(everythingBelow(ws.folder()), before);
}
