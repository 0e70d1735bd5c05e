// The open adventure as every window meets it: opening announces itself, the
// two lists change only through it, and a download is taken up by reload.
#include "core/Adventure.h"
#include "support/TestWorkspace.h"

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
