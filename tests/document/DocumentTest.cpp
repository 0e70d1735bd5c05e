// The document as the windows meet it: opening, reloading after a download,
// the exit saves, the panel read through names, and the pictures' and panel
// areas' histories.
#include "core/OrvalisError.h"
#include "document/AdventureDocument.h"
#include "document/PanelEdits.h"
#include "support/SmallDisk.h"
#include "support/TestWorkspace.h"
#include "document/JournalFile.h"
#include "document/MapEdits.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <csignal>
#include <random>
#include <QTest>

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include "core/ListFile.h"
#include <unistd.h>
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

namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Each test keeps its journals in a state folder of its own.
struct StateFolder {
    QTemporaryDir dir;
    QByteArray before = qgetenv("XDG_STATE_HOME");
    StateFolder() { qputenv("XDG_STATE_HOME", dir.path().toUtf8()); }
    explicit StateFolder(const QString& place) { qputenv("XDG_STATE_HOME", place.toUtf8()); }
    ~StateFolder() { qputenv("XDG_STATE_HOME", before); }
};

JournalState sampleState() {
    JournalState state;
    state.workspaceFolder = "/ws/";
    state.adventure = "Ilha do Ó";
    state.time = QDateTime::fromString("2026-12-09T10:11:12.345Z", Qt::ISODateWithMs);
    state.mapLines = QStringList(801);
    state.mapLines[0] = "praia";
    state.mapLines[1] = "3";
    state.mapImage = QImage(64, 40, QImage::Format_RGB32);
    state.mapImage.fill(QColor(10, 200, 30));
    state.mapImage.setPixel(5, 5, qRgb(255, 0, 255));
    state.settings = panelLines();
    state.currentStatus = {"chave", "", "sala"};
    state.script = JournalState::Text{"Clareira.scp", "linha um\r\nlinha dois\n\tção"};
    state.registers = JournalState::Text{"Ilha.rgs", "0: 5\n1: 6"};
    QImage picture(32, 20, QImage::Format_RGB32);
    picture.fill(Qt::white);
    state.positionPicture = JournalState::Picture{"praia", picture};
    return state;
}

// Waits, as the author would, for the journal to follow the edits.
bool journalShows(AdventureDocument& document, const std::function<bool(const JournalState&)>& wanted) {
    const QString path = JournalFile::pathFor(document.adventure().workspaceFolder(), document.adventure().name());
    return QTest::qWaitFor(
        [&] {
            document.journal().waitForWrites();
            try {
                return wanted(JournalFile::decode(fileBytes(path)));
            } catch (const OrvalisError&) {
                return false;
            }
        },
        1000);
}

}  // namespace

TEST(JournalFile, KeepsEveryPartExactlyAndRefusesAnythingElseWhole) {
    const JournalState state = sampleState();
    const QByteArray bytes = JournalFile::encode(state);
    EXPECT_EQ(JournalFile::decode(bytes), state);
    JournalState bare = state;
    bare.script.reset();
    bare.registers.reset();
    bare.positionPicture.reset();
    bare.mapImage = QImage();
    EXPECT_EQ(JournalFile::decode(JournalFile::encode(bare)), bare);

    // Cut anywhere, one byte changed anywhere, or someone else's file.
    for (qsizetype cut = 0; cut < bytes.size(); cut += 7)
        EXPECT_THROW(JournalFile::decode(bytes.left(cut)), OrvalisError) << cut;
    for (qsizetype at = 0; at < bytes.size(); at += 11) {
        QByteArray changed = bytes;
        changed[at] = char(changed[at] ^ 0x20);
        EXPECT_THROW(JournalFile::decode(changed), OrvalisError) << at;
    }
    EXPECT_THROW(JournalFile::decode("ORVALIS-DIARIO 1\nfim\t00\n"), OrvalisError);
    // The fuzz target's seeds are whole journals.
    const QString seeds = qEnvironmentVariable("ORVALIS_SOURCE_DIR") + "/fuzz/seeds/document_journal/";
    for (const char* seed : {"whole", "bare"}) {
        const JournalState read = JournalFile::decode(fileBytes(seeds + seed));
        EXPECT_EQ(read.adventure, "Ilha do Ó") << seed;
        EXPECT_EQ(read.mapLines.value(0), "praia") << seed;
        EXPECT_EQ(JournalFile::decode(JournalFile::encode(read)), read) << seed;
    }
    EXPECT_THROW(JournalFile::decode(QByteArray(300, 'x')), OrvalisError);
}

TEST(JournalFile, LivesInTheStateFolderOnePerWorkspaceAndAdventure) {
    StateFolder state;
    EXPECT_EQ(JournalFile::folder(), state.dir.path() + "/orvalis/");
    EXPECT_TRUE(JournalFile::pathFor("/a/", "Ilha").startsWith(JournalFile::folder()));
    EXPECT_NE(JournalFile::pathFor("/a/", "Ilha"), JournalFile::pathFor("/b/", "Ilha"));
    EXPECT_NE(JournalFile::pathFor("/a/", "Ilha"), JournalFile::pathFor("/a/", "Vale"));
    EXPECT_FALSE(JournalFile::pathFor("/a/", "../x").contains("../"));
    {
        StateFolder relative("estado");  // not absolute: the home's default
        EXPECT_EQ(JournalFile::folder(), QDir::homePath() + "/.local/state/orvalis/");
    }
}

// The journal follows every edit within a moment, holds the unsaved work
// and nothing of it is in the adventure folder; saved work leaves no journal.
TEST(AdventureDocument, TheJournalFollowsTheEditsAndGoesWhenAllIsSaved) {
    StateFolder stateFolder;
    TestWorkspace ws;
    ws.addAdventure("Ilha");
    ws.write("Ilha/Ilha.ini", listFile(panelLines()));
    AdventureDocument document(ws.folder());
    document.resetMap();
    document.open("Ilha");
    const QStringList filesBefore = QDir(ws.path("Ilha")).entryList(QDir::Files | QDir::Hidden);
    const QString path = JournalFile::pathFor(ws.folder(), "Ilha");
    QTest::qWait(300);
    EXPECT_FALSE(QFile::exists(path));  // nothing unsaved yet

    document.mapHistory().perform(std::make_unique<PaintTile>(document, 43, 6));
    ASSERT_TRUE(journalShows(document, [&](const JournalState& s) { return s.mapLines == document.map().lines(); }));
    JournalState kept = JournalFile::decode(fileBytes(path));
    EXPECT_EQ(kept.mapImage, document.map().image().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(kept.adventure, "Ilha");
    EXPECT_EQ(kept.workspaceFolder, ws.folder());

    document.setScriptDraft(JournalState::Text{"sala.scp", "falar"});
    document.adventure().changeSettings([](QStringList& l) { l[22] = "99"; });
    ASSERT_TRUE(journalShows(document, [](const JournalState& s) {
        return s.script && s.script->text == "falar" && s.settings.value(22) == "99";
    }));
    EXPECT_EQ(QDir(ws.path("Ilha")).entryList(QDir::Files | QDir::Hidden), filesBefore);

    document.saveMap();
    document.adventure().saveSettings();
    document.setScriptDraft(std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        document.journal().waitForWrites();
        return !QFile::exists(path);
    }, 1000));

    // The end of the program, with work unsaved: saved, then no journal.
    document.mapHistory().perform(std::make_unique<PaintTile>(document, 44, 2));
    document.keepJournalNow();
    ASSERT_TRUE(QFile::exists(path));
    document.saveAtExit();
    EXPECT_FALSE(QFile::exists(path));
}

TEST(AdventureDocument, OpeningAnotherAdventureSavesTheFirstAndStartsOnAnEmptyMap) {
    StateFolder stateFolder;
    TestWorkspace ws;
    ws.addAdventure("Ilha");
    ws.addAdventure("Vale");
    AdventureDocument document(ws.folder());
    document.resetMap();
    document.open("Ilha");
    document.mapHistory().perform(std::make_unique<PaintTile>(document, 1, 4));
    document.adventure().changeSettings([](QStringList& l) { l = QStringList{"a", "b"}; });
    const QStringList ilha = document.map().lines();

    document.open("Vale");
    EXPECT_EQ(ListFile::read(ws.path("Ilha/Ilha.map")), ilha);
    EXPECT_EQ(ws.read("Ilha/Ilha.ini"), listFile({"a", "b"}));
    EXPECT_EQ(document.map().lines(), QStringList(801));  // Vale has no map file
    EXPECT_FALSE(document.mapHistory().canUndo());
    EXPECT_FALSE(QFile::exists(JournalFile::pathFor(ws.folder(), "Ilha")));

    // A first adventure that cannot be written: the report names the file,
    // the second opens all the same, and the first's work stays journaled.
    document.mapHistory().perform(std::make_unique<PaintTile>(document, 2, 5));
    QFile::setPermissions(ws.path("Vale"), QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(ws.path("Vale")).isWritable() && geteuid() == 0) {
        // The administrator writes anywhere: a folder in the file's place then.
        QFile::setPermissions(ws.path("Vale"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::remove(ws.path("Vale/Vale.map"));
        QDir().mkdir(ws.path("Vale/Vale.map"));
    }
    try {
        document.open("Ilha");
        ADD_FAILURE() << "no report";
    } catch (const OrvalisError& error) {
        EXPECT_TRUE(error.text().contains("Vale.map")) << error.text().toStdString();
    }
    QFile::setPermissions(ws.path("Vale"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(document.adventure().name(), "Ilha");
    EXPECT_EQ(document.map().lines(), ilha);
    const JournalState vale = JournalFile::decode(fileBytes(JournalFile::pathFor(ws.folder(), "Vale")));
    EXPECT_EQ(vale.mapLines.value(5), "5");
}

// "Recuperar": the journal's work comes back in memory, every file of the
// adventure stays byte for byte until the author saves.
TEST(AdventureDocument, RecoveringPutsBackTheWorkAndWritesNothing) {
    StateFolder stateFolder;
    TestWorkspace ws;
    ws.addAdventure("Ilha");
    ws.write("Ilha/Ilha.ini", listFile(panelLines()));
    JournalState state;
    {
        AdventureDocument before(ws.folder());
        before.resetMap();
        before.open("Ilha");
        before.mapHistory().perform(std::make_unique<PaintTile>(before, 43, 6));
        before.mapHistory().perform(std::make_unique<NamePosition>(before, 43, "sala"));
        before.adventure().changeSettings([](QStringList& l) { l[22] = "77"; });
        before.setScriptDraft(JournalState::Text{"sala.scp", "texto novo"});
        state = before.journalState();
    }
    QMap<QString, QByteArray> files;
    for (const QString& f : QDir(ws.path("Ilha")).entryList(QDir::Files | QDir::Hidden))
        files[f] = ws.read("Ilha/" + f);

    AdventureDocument document(ws.folder());
    document.resetMap();
    QSignalSpy drafts(&document, &AdventureDocument::draftsRecovered);
    document.recover(state);
    EXPECT_EQ(document.map().lines(), state.mapLines);
    EXPECT_EQ(document.map().image(), state.mapImage);
    EXPECT_EQ(document.adventure().settingsList(), state.settings);
    EXPECT_EQ(document.scriptDraft(), state.script);
    EXPECT_EQ(drafts.count(), 1);
    EXPECT_TRUE(document.hasUnsavedWork());
    QMap<QString, QByteArray> after;
    for (const QString& f : QDir(ws.path("Ilha")).entryList(QDir::Files | QDir::Hidden))
        after[f] = ws.read("Ilha/" + f);
    EXPECT_EQ(after, files);
}

// A full disk under the journal: the author is told once, editing goes on,
// and the journal is written again once there is room.
TEST(AdventureDocument, AFullDiskUnderTheJournalIsToldOnceAndEditingGoesOn) {
    test::SmallDisk disk(256);
    if (!disk.available())
        GTEST_SKIP() << disk.why().toStdString();
    StateFolder stateFolder(disk.path());
    TestWorkspace ws;
    ws.addAdventure("Ilha");
    AdventureDocument document(ws.folder());
    document.resetMap();
    document.open("Ilha");
    QStringList told;
    QObject::connect(&document, &AdventureDocument::journalFailed, [&](const QString& t) { told << t; });
    QDir().mkpath(JournalFile::folder());
    disk.fill();
    for (int cell = 0; cell < 5; ++cell) {
        document.mapHistory().perform(std::make_unique<PaintTile>(document, cell, 3));
        document.keepJournalNow();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(told.size(), 1);
    EXPECT_TRUE(told.value(0).contains("disco cheio")) << told.value(0).toStdString();
    EXPECT_EQ(document.map().tile(4), "3");
    disk.freeUp();
    document.mapHistory().perform(std::make_unique<PaintTile>(document, 9, 3));
    ASSERT_TRUE(journalShows(document, [](const JournalState& s) { return s.mapLines.value(19) == "3"; }));
    EXPECT_EQ(told.size(), 1);
}

// Files changed by another program while the adventure is open: read again
// when nothing of them is unsaved, the author asked otherwise, and never
// written over unseen, by a save or by the exit saves.
TEST(AdventureDocument, FilesChangedOutsideAreReadAgainOrAskedAboutNeverWrittenOverUnseen) {
    StateFolder stateFolder;
    TestWorkspace ws;
    ws.addAdventure("Ilha");
    QStringList theirs(801);
    theirs[0] = "deles";
    theirs[1] = "2";
    ws.write("Ilha/Ilha.map", listFile(QStringList(801)));
    ws.write("Ilha/Ilha.ini", listFile({"a", "b"}));
    AdventureDocument document(ws.folder());
    document.resetMap();
    QStringList asked;
    AdventureDocument::OutsideChoice answer = AdventureDocument::OutsideChoice::KeepMine;
    document.setOutsideQuestion([&](const QString& file) {
        asked << file;
        return answer;
    });
    document.open("Ilha");
    document.adventure().changeSettings([](QStringList& l) { l[0] = "a2"; });
    document.adventure().saveSettings();  // the program's own writes are its own

    // Nothing unsaved: the map is read again as the other program left it.
    ws.write("Ilha/Ilha.map", listFile(theirs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return document.map().name(0) == "deles"; }, 3000));
    EXPECT_TRUE(asked.isEmpty());

    // Unsaved edits: asked; "Manter o meu" keeps them and the save writes them.
    document.mapHistory().perform(std::make_unique<PaintTile>(document, 5, 7));
    theirs[2] = "outra";
    ws.write("Ilha/Ilha.map", listFile(theirs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !asked.isEmpty(); }, 3000));
    EXPECT_EQ(asked, QStringList{"Ilha.map"});
    EXPECT_EQ(document.map().tile(5), "7");
    EXPECT_TRUE(document.saveMap());
    EXPECT_EQ(ListFile::read(ws.path("Ilha/Ilha.map")), document.map().lines());

    // A change the watcher has not told of yet is found by the save itself:
    // "Usar o do disco" reads it in and writes nothing.
    document.mapHistory().perform(std::make_unique<PaintTile>(document, 6, 8));
    theirs[4] = "terceira";
    ws.write("Ilha/Ilha.map", listFile(theirs));
    answer = AdventureDocument::OutsideChoice::UseDisk;
    asked.clear();
    EXPECT_FALSE(document.saveMap());
    EXPECT_EQ(asked, QStringList{"Ilha.map"});
    EXPECT_EQ(document.map().lines(), theirs);
    EXPECT_EQ(ListFile::read(ws.path("Ilha/Ilha.map")), theirs);

    // The exit saves: a settings file changed outside over no unsaved edit
    // is read, not written over; the map, unchanged, is written as it is.
    QTest::qWait(400);  // the watcher has told of everything by now
    asked.clear();
    ws.write("Ilha/Ilha.ini", listFile({"deles", "b"}));
    document.saveAtExit();
    EXPECT_EQ(ws.read("Ilha/Ilha.ini"), listFile({"deles", "b"}));
    EXPECT_EQ(document.adventure().settingsList(), (QStringList{"deles", "b"}));
    EXPECT_TRUE(asked.isEmpty());
}

namespace {

// The child of the kill test: edits without end, as an author would, and
// notes the fingerprint of every state it hands to the journal.
int editUntilKilled(const QString& workspace, const QString& log) {
    AdventureDocument document(workspace);
    document.resetMap();
    document.open("Ilha");
    QFile notes(log);
    if (!notes.open(QIODevice::WriteOnly | QIODevice::Append))
        return 3;
    std::mt19937 dice{quint32(QCoreApplication::applicationPid())};
    for (int step = 0;; ++step) {
        const int cell = int(dice() % 400);
        if (dice() % 3)
            document.mapHistory().perform(std::make_unique<PaintTile>(document, cell, int(dice() % 20)));
        else
            document.setScriptDraft(JournalState::Text{"sala.scp", QString("texto %1").arg(step)});
        const QByteArray state = JournalFile::encode(document.journalState());
        notes.write(QCryptographicHash::hash(state, QCryptographicHash::Sha256).toHex() + "\n");
        notes.flush();
        document.keepJournalNow();
    }
}

}  // namespace

// kill -9 at any moment of an editing session: the journal found afterwards
// is always one whole state the session had, and recovering it gives exactly
// that state back.
TEST(AdventureDocument, AKilledSessionLeavesAWholeJournalOfOneOfItsStates) {
    StateFolder stateFolder;
    TestWorkspace ws;
    ws.addAdventure("Ilha");
    std::mt19937 random(11);
    int recovered = 0;
    for (int round = 0; round < 12; ++round) {
        const QString log = ws.path(QString("notas-%1.txt").arg(round));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVALIS_EDIT_UNTIL_KILLED", ws.folder() + "|" + log);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        ASSERT_TRUE(child.waitForStarted());
        QTest::qWait(150 + int(random() % 400));
        ::kill(pid_t(child.processId()), SIGKILL);
        child.waitForFinished();

        const QString path = JournalFile::pathFor(ws.folder(), "Ilha");
        if (!QFile::exists(path))
            continue;  // killed before the first write
        const QByteArray bytes = fileBytes(path);
        JournalState state;
        ASSERT_NO_THROW(state = JournalFile::decode(bytes)) << round;
        const QByteArray fingerprint =
            QCryptographicHash::hash(JournalFile::encode(state), QCryptographicHash::Sha256).toHex();
        EXPECT_TRUE(fileBytes(log).split('\n').contains(fingerprint)) << round;

        AdventureDocument next(ws.folder());
        next.resetMap();
        next.recover(state);
        EXPECT_EQ(next.map().lines(), state.mapLines);
        EXPECT_EQ(next.map().image().convertToFormat(QImage::Format_RGB32), state.mapImage);
        EXPECT_EQ(next.scriptDraft(), state.script);
        next.saveAtExit();  // the next round starts from the saved map
        ++recovered;
    }
    EXPECT_GT(recovered, 6);
    for (const QString& f : QDir(ws.path("Ilha")).entryList(QDir::Files | QDir::Hidden))
        EXPECT_FALSE(f.endsWith(".diario")) << f.toStdString();
}

int main(int argc, char** argv) {
    const QByteArray child = qgetenv("ORVALIS_EDIT_UNTIL_KILLED");
    if (!child.isEmpty()) {
        QGuiApplication app(argc, argv);
        const QList<QByteArray> parts = child.split('|');
        return editUntilKilled(QString::fromUtf8(parts.value(0)), QString::fromUtf8(parts.value(1)));
    }
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
