// The main window as an author meets it: start-up, the adventure list,
// opening an adventure, moving and closing tool windows, and what is written
// when the program ends.
#include "shell/AdventureWindow.h"
#include "widgets/PictureBox.h"
#include "core/Adventure.h"
#include "widgets/Shape.h"
#include "app/TForm1.h"
#include "map/MapWindow.h"
#include "editors/ScriptWindow.h"
#include "editors/RegistersWindow.h"
#include "editors/ObjectWindow.h"
#include "editors/PanelLayout.h"
#include <QPlainTextEdit>
#include "core/ListFile.h"
#include "document/JournalFile.h"
#include "document/MapEdits.h"
#include "support/Questions.h"
#include "support/WidgetLookup.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <typeinfo>

using namespace orv;
using orv::test::child;
using orv::test::click;
using orv::test::TestWorkspace;
using orv::test::crlf;

namespace {

using test::startProgram;

QStringList listed(TForm1& form) {
    return test::rows(child<QListWidget>(&form, "Games"));
}

void doubleClickRow(TForm1& form, int row) {
    EXPECT_TRUE(test::doubleClickRow(child<QListWidget>(&form, "Games"), row)) << row;
}

bool shown(TForm1& form, const char* name) {
    return child(&form, name)->isVisibleTo(&form);
}

}  // namespace

TEST(MainWindow, StartsWithOnlyTheFirstTwoBarButtonsAndEveryCaptionPainted) {
    TestWorkspace ws;
    auto form = startProgram(ws);
    for (const char* n : {"btAdv", "btCnc"})
        EXPECT_TRUE(shown(*form, n)) << n;
    for (const char* n : {"btMap", "btScp", "btObj", "btReg", "btImg", "btSnd", "btPan"}) {
        EXPECT_FALSE(shown(*form, n)) << n;
        // Hidden buttons already carry their caption: black text on the grey face.
        const QImage& pic = child<PictureBox>(form.get(), n)->picture();
        ASSERT_EQ(pic.size(), QSize(90, 24)) << n;
        int dark = 0;
        for (int y = 4; y < 20; ++y)
            for (int x = 4; x < 86; ++x)
                dark += qGray(pic.pixel(x, y)) < 60;
        EXPECT_GT(dark, 10) << n;
    }
    for (const char* n : {"JanAdv", "JanCnc", "JanScp", "JanObj", "JanReg", "JanSnd", "JanPan", "JanCnf",
                          "JanMap", "JanImg", "brMap", "fmMap"})
        EXPECT_FALSE(shown(*form, n)) << n;
    EXPECT_EQ(child<QLabel>(form.get(), "lbNoAdv")->text(), "...");
    EXPECT_EQ(child<QLabel>(form.get(), "lbVars")->text(), "Orvalis - ");
    EXPECT_EQ(child<Shape>(form.get(), "Led")->fillColour(), QColor(128, 0, 0));
    // The rule under the title: a grey line across the window.
    const QImage rule = child<QLabel>(form.get(), "Label142")->grab().toImage();
    ASSERT_EQ(rule.size(), QSize(1287, 2));
    EXPECT_EQ(rule.pixel(0, 0), qRgb(128, 128, 128));
    EXPECT_EQ(rule.pixel(1286, 1), qRgb(128, 128, 128));
    EXPECT_FALSE(form->IsReady());
    EXPECT_EQ(child(form.get(), "btFim")->geometry(), QRect(1257, 9, 30, 22));
    EXPECT_EQ(child(form.get(), "btPan")->geometry(), QRect(15 + 95 * 8, 47, 90, 24));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(MainWindow, ListsCompleteAdventuresSortedWithoutRegardToCase) {
    TestWorkspace ws;
    ws.addAdventure("beta");
    ws.addAdventure("Alpha");
    ws.addAdventure("Ção");
    // Missing .obz: not an adventure until the file is there.
    for (const char* ext : {".ini", ".rgs", ".obx"})
        ws.write(QStringLiteral("gama/gama") + ext, {});
    ws.write("notas/leia.txt", "x");
    ws.write("solto.ini", {});
    auto form = startProgram(ws);
    EXPECT_EQ(listed(*form), (QStringList{"Alpha", "beta", "Ção"}));

    ws.write("gama/gama.obz", {});
    EXPECT_EQ(listed(*form).size(), 3);  // only the next opening re-reads
    click(child(form.get(), "btAdv"));
    EXPECT_TRUE(shown(*form, "JanAdv"));
    EXPECT_EQ(listed(*form), (QStringList{"Alpha", "beta", "gama", "Ção"}));
}

TEST(MainWindow, DoubleClickOpensAnAdventureAndCreatesItsMissingFiles) {
    TestWorkspace ws;
    ws.addAdventure("Vale");
    QFile::remove(ws.path("Vale/Vale.rgs"));
    ws.write("Vale/Vale.ini", crlf({"a", "b"}));
    ws.write("Vale/Vale.obx", crlf({"chave", "1", "2", "3", "4", "5", "6", "7"}));
    ws.write("Vale/Vale.rgs", {});  // listed, then .rgs disappears before the double-click
    auto form = startProgram(ws);
    QFile::remove(ws.path("Vale/Vale.rgs"));
    doubleClickRow(*form, 0);  // the list built at start-up still names it

    EXPECT_EQ(child<QLabel>(form.get(), "lbNoAdv")->text(), "Vale");
    for (const char* n : {"btMap", "btScp", "btObj", "btReg", "btImg", "btSnd", "btPan"})
        EXPECT_TRUE(shown(*form, n)) << n;
    EXPECT_EQ(ws.read("Vale/sen.txt"), QByteArray("\r\n"));
    const QByteArray rgs = ws.read("Vale/Vale.rgs");
    EXPECT_EQ(rgs.size(), 502);
    EXPECT_EQ(rgs.count("\r\n"), 251);
    EXPECT_EQ(ws.read("Vale/Vale.ini"), crlf({"a", "b"}));
    EXPECT_EQ(form->adventure().settingsList(), (QStringList{"a", "b"}));
    EXPECT_EQ(form->adventure().currentStatusList().size(), 8);
    EXPECT_EQ(form->adventure().folder(), ws.folder() + "Vale/");
    EXPECT_TRUE(child<QLineEdit>(form.get(), "Senha")->text().isEmpty());
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

// Opening another adventure writes the first one's map to its own file; one
// without a map file starts on an empty map, never on the other's cells.
TEST(MainWindow, OpeningReadsThePasswordAndStartsAnEmptyMapWhenThereIsNoMapFile) {
    TestWorkspace ws;
    ws.addAdventure("Ilha");
    ws.addAdventure("Mar");
    QByteArray map;
    map += "Praia\r\n5\r\n";
    ws.write("Ilha/Ilha.map", map);  // 2 lines: padded to 801
    ws.write("Mar/sen.txt", crlf({"s\xe9nha", "outra"}));
    auto form = startProgram(ws);
    form->OpenAdventure("Ilha");
    ASSERT_EQ(form->map().lines().size(), 801);
    EXPECT_EQ(form->map().name(0), "Praia");
    EXPECT_EQ(form->map().tile(0), "5");
    form->OpenAdventure("Mar");
    EXPECT_EQ(form->map().lines(), QStringList(801));  // no Mar.map: an empty map
    EXPECT_EQ(ws.read("Ilha/Ilha.map").count("\r\n"), 801);  // Ilha's map saved first
    EXPECT_TRUE(ws.read("Ilha/Ilha.map").startsWith("Praia\r\n5\r\n"));
    EXPECT_EQ(child<QLineEdit>(form.get(), "Senha")->text(), QString::fromUtf8("sénha"));
    EXPECT_EQ(ws.read("Mar/sen.txt"), crlf({"s\xe9nha", "outra"}));

    form.reset();  // program end writes Mar's own (empty) map
    EXPECT_EQ(ws.read("Mar/Mar.map"), QByteArray("\r\n").repeated(801));
}

TEST(MainWindow, ProgramEndWritesTheMapAlwaysAndOtherListsOnlyWhenTheyHoldLines) {
    {
        TestWorkspace ws;
        ws.addAdventure("Nada");
        auto form = startProgram(ws);
        form.reset();  // no adventure opened: nothing is written
        EXPECT_FALSE(ws.exists("Nada/Nada.map"));
        EXPECT_FALSE(ws.exists("Nada/sen.txt"));
    }
    TestWorkspace ws;
    ws.addAdventure("Rio");
    ws.write("Rio/Rio.ini", crlf({"x\x81y\x8d\x8f\x90\x9d", "2"}));
    auto form = startProgram(ws);
    form->OpenAdventure("Rio");
    QFile::remove(ws.path("Rio/Rio.obx"));
    QFile::remove(ws.path("Rio/Rio.ini"));
    form.reset();
    QByteArray empty;
    for (int i = 0; i < 801; ++i)
        empty += "\r\n";
    EXPECT_EQ(ws.read("Rio/Rio.map"), empty);
    EXPECT_EQ(ws.read("Rio/Rio.ini"), crlf({"x\x81y\x8d\x8f\x90\x9d", "2"}));  // every byte kept
    EXPECT_FALSE(ws.exists("Rio/Rio.obx"));  // empty current-status list: not touched
}

TEST(MainWindow, AReadOnlyMapFileAtProgramEndIsReportedAndStaysWhole) {
    TestWorkspace ws;
    ws.addAdventure("Rocha");
    const QByteArray original = crlf({"Pico", "12"});
    ws.write("Rocha/Rocha.map", original);
    auto form = startProgram(ws);
    form->OpenAdventure("Rocha");
    QFile::setPermissions(ws.path("Rocha/Rocha.map"), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    form.reset();
    ASSERT_EQ(test::reportedErrors().size(), 1);
    EXPECT_TRUE(test::reportedErrors().first().contains("Rocha.map"));
    EXPECT_EQ(ws.read("Rocha/Rocha.map"), original);
    EXPECT_EQ(QDir(ws.path("Rocha")).entryList(QDir::Files).size(), 6);  // no temporary file left behind
}

TEST(MainWindow, AnErrorInAHandlerIsReportedAndEndsOnlyThatHandler) {
    TestWorkspace ws;
    ws.addAdventure("Gruta");
    QDir().mkpath(ws.path("Gruta/sen.txt"));  // a folder where the password file should be
    QFile::remove(ws.path("Gruta/Gruta.obz"));
    auto form = startProgram(ws);
    ws.write("Gruta/Gruta.obz", {});
    click(child(form.get(), "btAdv"));
    QFile::remove(ws.path("Gruta/Gruta.obz"));
    doubleClickRow(*form, 0);
    ASSERT_EQ(test::reportedErrors().size(), 1);
    EXPECT_TRUE(test::reportedErrors().first().contains("sen.txt"));
    EXPECT_EQ(child<QLabel>(form.get(), "lbNoAdv")->text(), "Gruta");  // done before the failure
    EXPECT_FALSE(ws.exists("Gruta/Gruta.obz"));                       // the later steps did not run
    EXPECT_FALSE(shown(*form, "btMap"));
    click(child(form.get(), "btOpc"));  // and the program runs on
    EXPECT_TRUE(shown(*form, "JanCnf"));
}

TEST(MainWindow, AMissingMapBackgroundIsReportedAndTheListWaitsForTheButton) {
    TestWorkspace ws(false);
    ws.addAdventure("Duna");
    auto form = startProgram(ws);
    ASSERT_EQ(test::reportedErrors().size(), 1);
    EXPECT_TRUE(test::reportedErrors().first().contains("defmap.bmp"));
    EXPECT_TRUE(listed(*form).isEmpty());
    click(child(form.get(), "btAdv"));
    EXPECT_EQ(listed(*form), QStringList{"Duna"});
}

// Started on the screen, the program paints its window first and builds the
// editor windows right after; they come out as in a form built before it is
// shown: the same controls in the same order, places, visibility and pictures.
TEST(MainWindow, OnTheScreenTheWindowsFollowTheFirstPaintAndComeOutTheSame) {
    TestWorkspace ws;
    ws.addAdventure("Duna");
    auto reference = startProgram(ws);
    TForm1 form(ws.programFile());
    form.showOnScreen();
    reference->setGeometry(form.geometry());
    // What the first paint shows is there before it, hidden captions included.
    EXPECT_EQ(child<PictureBox>(&form, "btPan")->picture(), child<PictureBox>(reference.get(), "btPan")->picture());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.findChild<QWidget*>("JanAdv") != nullptr; }, 10000));

    const QList<QWidget*> expected = reference->findChildren<QWidget*>();
    const QList<QWidget*> built = form.findChildren<QWidget*>();
    ASSERT_EQ(built.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const std::string name = expected[i]->objectName().toStdString();
        ASSERT_EQ(built[i]->objectName(), expected[i]->objectName()) << i;
        // The toolkit lays out the insides of its own controls when they show.
        if (expected[i]->objectName().isEmpty() || expected[i]->objectName().startsWith("qt_"))
            continue;
        EXPECT_EQ(typeid(*built[i]), typeid(*expected[i])) << name;
        EXPECT_EQ(built[i]->geometry(), expected[i]->geometry()) << name;
        EXPECT_EQ(built[i]->isVisibleTo(&form), expected[i]->isVisibleTo(reference.get())) << name;
        if (auto* box = dynamic_cast<PictureBox*>(expected[i]))
            EXPECT_EQ(static_cast<PictureBox*>(built[i])->picture(), box->picture()) << name;
    }
    EXPECT_EQ(listed(form), QStringList{"Duna"});
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

// A button used before the windows are built finds its window all the same.
TEST(MainWindow, AButtonUsedBeforeTheWindowsAreBuiltFindsItsWindow) {
    TestWorkspace ws;
    ws.addAdventure("Duna");
    test::reportedErrors().clear();
    TForm1 form(ws.programFile());
    form.showOnScreen();
    click(child(&form, "btAdv"));
    EXPECT_TRUE(shown(form, "JanAdv"));
    EXPECT_EQ(listed(form), QStringList{"Duna"});
    QTest::qWait(50);  // the build queued by the first paint finds it done
    EXPECT_EQ(form.findChildren<QWidget*>("JanAdv").size(), 1);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(MainWindow, DragHandlesMoveTheirWindowAndRaiseIt) {
    TestWorkspace ws;
    auto form = startProgram(ws);
    click(child(form.get(), "btAdv"));
    click(child(form.get(), "btOpc"));
    auto* janAdv = child(form.get(), "JanAdv");
    auto* janCnf = child(form.get(), "JanCnf");
    auto* page = janAdv->parentWidget();
    auto zOf = [page](QWidget* w) { return page->children().indexOf(w); };
    EXPECT_GT(zOf(janCnf), zOf(janAdv));

    auto* handle = child(form.get(), "brAdv");
    const QPoint before = janAdv->pos();
    QTest::mousePress(handle, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_GT(zOf(janAdv), zOf(janCnf));
    EXPECT_EQ(form->drag().dragging, 1);
    // The move arrives in handle coordinates; the window may leave the main window.
    QMouseEvent move(QEvent::MouseMove, QPointF(-290, 40), handle->mapToGlobal(QPointF(-290, 40)), Qt::NoButton,
                     Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    EXPECT_EQ(janAdv->pos(), before + QPoint(-300, 30));
    EXPECT_LT(janAdv->x(), 0);
    QTest::mouseRelease(handle, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(form->drag().dragging, 0);
    QMouseEvent idle(QEvent::MouseMove, QPointF(50, 50), handle->mapToGlobal(QPointF(50, 50)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &idle);
    EXPECT_EQ(janAdv->pos(), before + QPoint(-300, 30));

    click(child(form.get(), "btJanAdv"));
    EXPECT_FALSE(shown(*form, "JanAdv"));
    click(child(form.get(), "btAdv"));  // reopens where it was left
    EXPECT_EQ(janAdv->pos(), before + QPoint(-300, 30));
}

TEST(MainWindow, APressReleasedOutsideAButtonDoesNothing) {
    TestWorkspace ws;
    auto form = startProgram(ws);
    auto* btAdv = child<PictureBox>(form.get(), "btAdv");
    const QImage up = btAdv->picture();
    QTest::mousePress(btAdv, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_NE(btAdv->picture(), up);  // pressed look
    QTest::mouseRelease(btAdv, Qt::LeftButton, {}, QPoint(300, 200));
    EXPECT_EQ(btAdv->picture(), up);
    EXPECT_FALSE(shown(*form, "JanAdv"));

    auto* btFim = child<PictureBox>(form.get(), "btFim");
    QTest::mousePress(btFim, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(btFim, Qt::LeftButton, {}, QPoint(-50, 5));
    EXPECT_TRUE(form->isVisible());
}

TEST(MainWindow, SizeToggleTwiceReturnsToTheScreen) {
    TestWorkspace ws;
    auto form = startProgram(ws);
    form->showOnScreen();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    auto* toggle = child(form.get(), "Label32");
    click(toggle, {3, 3});
    EXPECT_EQ(form->x(), screen.width());
    EXPECT_EQ(form->size(), QSize(1366, 768));
    click(toggle, {3, 3});
    EXPECT_EQ(form->x(), 0);
    EXPECT_EQ(form->size(), screen.size());
    EXPECT_EQ(child(form.get(), "btFim")->x(), screen.width() - 40);  // anchored right
}

TEST(MainWindow, OpeningAToolWindowHidesTheFullWidthViewsAndCloseButtonsHide) {
    TestWorkspace ws;
    ws.addAdventure("Lago");
    auto form = startProgram(ws);
    click(child(form.get(), "btAdv"));
    doubleClickRow(*form, 0);
    click(child(form.get(), "btMap"));
    EXPECT_TRUE(shown(*form, "JanMap"));
    EXPECT_TRUE(shown(*form, "fmMap"));
    EXPECT_EQ(child(form.get(), "JanMap")->geometry(), QRect(0, 80, form->width(), form->height() - 80));
    EXPECT_EQ(child(form.get(), "brMap")->x(), form->width() - 267);
    click(child(form.get(), "btScp"));
    EXPECT_TRUE(shown(*form, "JanScp"));
    EXPECT_FALSE(shown(*form, "JanMap"));
    EXPECT_FALSE(shown(*form, "brMap"));
    EXPECT_TRUE(shown(*form, "JanAdv"));  // tool windows overlap, none is hidden
    const char* pairs[][2] = {{"btJanScp", "JanScp"}, {"btJanAdv", "JanAdv"}};
    for (auto& p : pairs) {
        click(child(form.get(), p[0]));
        EXPECT_FALSE(shown(*form, p[1])) << p[1];
    }
    click(child(form.get(), "btImg"));
    EXPECT_TRUE(shown(*form, "JanImg"));
    click(child(form.get(), "fmMap"));
    for (const char* n : {"JanMap", "JanImg", "brMap", "fmMap"})
        EXPECT_FALSE(shown(*form, n)) << n;
}

// The keys go to the window the author has just opened, without a first
// click on it, and never to a window that is hidden: Ctrl+Z with the panel
// window in front leaves the hidden map alone.
TEST(MainWindow, UndoKeysActOnlyOnTheWindowShown) {
    TestWorkspace ws;
    ws.addAdventure("Lago");
    ws.write("Lago/Lago.ini", QByteArray("0\r\n").repeated(98));
    auto form = startProgram(ws);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const auto undo = [&] {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : form.get(), Qt::Key_Z, Qt::ControlModifier);
    };
    click(child(form.get(), "btAdv"));
    doubleClickRow(*form, 0);
    click(child(form.get(), "btMap"));
    auto* map = form->findChild<MapWindow*>("JanMap");
    map->MapTileClick(4);
    map->Shp1MouseDown();
    map->MapaMouseDown({150, 30});
    map->MapTileClick(5);
    map->Shp1MouseDown();
    map->MapaMouseDown({250, 30});
    ASSERT_EQ(form->map().tile(2), "5");
    undo();  // the map was just opened: the key is its own
    EXPECT_EQ(form->map().tile(2), "");
    EXPECT_EQ(form->map().tile(1), "4");

    click(child(form.get(), "btPan"));
    ASSERT_FALSE(shown(*form, "JanMap"));
    undo();
    EXPECT_EQ(form->map().tile(1), "4");
    click(child(form->findChild<QWidget*>("JanPan"), "btJanFim"));  // the panel window closed too
    ASSERT_FALSE(shown(*form, "JanPan"));
    undo();
    EXPECT_EQ(form->map().tile(1), "4");
    EXPECT_FALSE(map->JanMapKeyDown(Qt::Key_Z, Qt::ControlModifier));

    click(child(form.get(), "btMap"));
    undo();
    EXPECT_EQ(form->map().tile(1), "");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

namespace {

// What a session that ended without its exit saves leaves: the journal of
// its work on Lago (two cells painted, a script typed and not saved).
JournalState crashedSession(const TestWorkspace& ws) {
    AdventureDocument session(ws.folder());
    session.resetMap();
    session.open("Lago");
    session.mapHistory().perform(std::make_unique<PaintTile>(session, 43, 6));
    session.mapHistory().perform(std::make_unique<NamePosition>(session, 43, "sala"));
    session.setScriptDraft(JournalState::Text{ws.path("Lago/sala.scp"), "texto não gravado"});
    session.setRegistersDraft(JournalState::Text{ws.path("Lago/Lago.rgs"), "0: 42\n1: sete"});
    JournalState state = session.journalState();
    QDir().mkpath(JournalFile::folder());
    QFile file(JournalFile::pathFor(ws.folder(), "Lago"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(JournalFile::encode(state));
    return state;
}

QMap<QString, QByteArray> filesOf(const TestWorkspace& ws, const QString& folder) {
    QMap<QString, QByteArray> files;
    for (const QString& f : QDir(ws.path(folder)).entryList(QDir::Files | QDir::Hidden))
        files[f] = ws.read(folder + "/" + f);
    return files;
}

}  // namespace

// A journal found at the start is offered before anything else: "Descartar"
// leaves every file as it was, "Recuperar" opens the adventure with the work
// put back and writes nothing; a journal that cannot be read is told by name
// and kept aside.
TEST(MainWindow, AJournalFoundAtStartIsOfferedThenRecoveredOrDiscarded) {
    TestWorkspace ws;
    ws.addAdventure("Lago");
    const QString journal = JournalFile::pathFor(ws.folder(), "Lago");
    test::Questions questions;

    crashedSession(ws);
    const QMap<QString, QByteArray> files = filesOf(ws, "Lago");
    questions.click("JanRec", "btRecNao");
    {
        auto form = startProgram(ws);
        ASSERT_EQ(questions.names(), QStringList{"JanRec"});
        EXPECT_TRUE(questions.asked()[0].text.contains("Lago"));
        EXPECT_EQ(questions.asked()[0].buttons, (QStringList{"btRecSim", "btRecNao"}));
        EXPECT_FALSE(QFile::exists(journal));
        EXPECT_FALSE(shown(*form, "btMap"));
    }
    EXPECT_EQ(filesOf(ws, "Lago"), files);

    const JournalState state = crashedSession(ws);
    questions.forget();
    questions.click("JanRec", "btRecSim");
    {
        auto form = startProgram(ws);
        ASSERT_EQ(questions.names(), QStringList{"JanRec"});
        EXPECT_EQ(child<QLabel>(form.get(), "lbNoAdv")->text(), "Lago");
        EXPECT_TRUE(shown(*form, "btMap"));
        EXPECT_EQ(form->map().lines(), state.mapLines);
        EXPECT_EQ(form->map().image().convertToFormat(QImage::Format_RGB32), state.mapImage);
        EXPECT_EQ(form->document().scriptDraft(), state.script);
        // The script editor shows the unsaved text with its cue.
        form->btScpClick();
        auto* scripts = form->findChild<ScriptWindow*>("JanScp");
        EXPECT_EQ(scripts->editor()->toPlainText(), "texto não gravado");
        EXPECT_EQ(scripts->loadedScriptName(), "sala.scp");
        EXPECT_EQ(scripts->gravarCaptionColour(), QColor(128, 0, 0));
        EXPECT_EQ(filesOf(ws, "Lago"), files);  // nothing written until a save
        // The registers as they were typed, shown without a question.
        form->btRegClick();
        EXPECT_EQ(form->findChild<RegistersWindow*>("JanReg")->text()->toPlainText(), "0: 42\n1: sete");
        EXPECT_EQ(questions.names(), QStringList{"JanRec"});
        EXPECT_TRUE(test::reportedErrors().isEmpty());
    }
    EXPECT_FALSE(QFile::exists(journal));  // the orderly end saved the work
    EXPECT_EQ(ListFile::read(ws.path("Lago/Lago.map")), state.mapLines);

    // Cut short: told by name, kept aside, never applied in part.
    const QByteArray whole = JournalFile::encode(state);
    QFile cut(journal);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(whole.left(whole.size() / 2));
    cut.close();
    questions.forget();
    {
        auto form = startProgram(ws);
        EXPECT_TRUE(questions.asked().isEmpty());
        ASSERT_EQ(test::reportedErrors().size(), 1);
        EXPECT_TRUE(test::reportedErrors()[0].contains(journal));
        EXPECT_FALSE(QFile::exists(journal));
        EXPECT_TRUE(QFile::exists(journal + ".ilegivel"));
        EXPECT_FALSE(shown(*form, "btMap"));
    }
    QFile::remove(journal + ".ilegivel");
}

// A script open in the editor and changed by another program: read again
// while nothing is typed; with typing the author chooses (JanExt), and
// "Gravar" never writes over the other program's lines unseen.
TEST(MainWindow, AScriptChangedOutsideIsReadAgainOrAskedAbout) {
    TestWorkspace ws;
    ws.addAdventure("Lago");
    ws.write("Lago/sala.scp", "fala um\r\n");
    auto form = startProgram(ws);
    form->OpenAdventure("Lago");
    form->btScpClick();
    auto* scripts = form->findChild<ScriptWindow*>("JanScp");
    ASSERT_TRUE(test::clickRow(scripts->scriptList(), QString("sala.scp")));
    test::Questions questions;

    ws.write("Lago/sala.scp", "fala um\r\nlinha de fora\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return scripts->editor()->toPlainText().contains("linha de fora"); }, 3000));
    EXPECT_TRUE(questions.asked().isEmpty());

    QTest::keyClicks(scripts->editor(), "meu ");
    ws.write("Lago/sala.scp", "fala um\r\nlinha de fora\r\nmais uma\r\n");
    questions.click("JanExt", "btExtMeu");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !questions.asked().isEmpty(); }, 3000));
    EXPECT_EQ(questions.names(), QStringList{"JanExt"});
    EXPECT_TRUE(questions.asked()[0].text.contains("sala.scp"));
    EXPECT_EQ(questions.asked()[0].buttons, (QStringList{"btExtMeu", "btExtDeles"}));
    EXPECT_TRUE(scripts->editor()->toPlainText().startsWith("meu "));
    QTest::mouseClick(child(form.get(), "bnGrvScp"), Qt::LeftButton);  // chosen: written without a second question
    EXPECT_EQ(questions.asked().size(), 1);
    EXPECT_TRUE(ws.read("Lago/sala.scp").startsWith("meu "));

    // Changed again and saved at once, before any report of the change.
    QTest::keyClicks(scripts->editor(), "x");
    ws.write("Lago/sala.scp", "deles\r\n");
    questions.click("JanExt", "btExtDeles");
    QTest::mouseClick(child(form.get(), "bnGrvScp"), Qt::LeftButton);
    EXPECT_EQ(questions.asked().size(), 2);
    EXPECT_EQ(ws.read("Lago/sala.scp"), "deles\r\n");
    EXPECT_EQ(scripts->editor()->toPlainText(), "deles\n");
    EXPECT_EQ(scripts->gravarCaptionColour(), QColor(Qt::black));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(SettingsWindow, RadioButtonsSetTheSettingsAtOnce) {
    TestWorkspace ws;
    auto form = startProgram(ws);
    click(child(form.get(), "btOpc"));
    ASSERT_TRUE(shown(*form, "JanCnf"));
    EXPECT_EQ(child(form.get(), "JanCnf")->geometry(), QRect(860, 95, 421, 296));
    for (const char* n : {"RbMd1", "RbPNG", "RbOp1"})
        EXPECT_TRUE(child<QRadioButton>(form.get(), n)->isChecked()) << n;
    QStringList titles;
    for (auto* g : form->findChildren<QGroupBox*>())
        titles << g->title();
    EXPECT_EQ(titles, (QStringList{" Modo default pra os scripts ", " Extensão da imagem da posição ",
                                   " Gravação dos scripts na compilação "}));
    EXPECT_EQ(child<QRadioButton>(form.get(), "RbOp3")->text(), "Insere no início do script (se existir)");

    const struct { const char* radio; QString ScriptSettings::*setting; const char* value; } cases[] = {
        {"RbMd0", &ScriptSettings::defaultScriptMode, "0"}, {"RbMd2", &ScriptSettings::defaultScriptMode, "2"},
        {"RbJPG", &ScriptSettings::imageExtension, "jpg"},  {"RbGIF", &ScriptSettings::imageExtension, "gif"},
        {"RbOp2", &ScriptSettings::scriptWriteMode, "2"},   {"RbOp3", &ScriptSettings::scriptWriteMode, "3"},
        {"RbPNG", &ScriptSettings::imageExtension, "png"},
    };
    for (const auto& c : cases) {
        click(child(form.get(), c.radio), {8, 10});
        EXPECT_EQ(form->settings().*c.setting, c.value) << c.radio;
    }
    EXPECT_FALSE(child<QRadioButton>(form.get(), "RbMd1")->isChecked());
    EXPECT_TRUE(child<QRadioButton>(form.get(), "RbOp3")->isChecked());
    click(child(form.get(), "fmCnf"));
    EXPECT_FALSE(shown(*form, "JanCnf"));

    // A new run starts from the defaults again.
    form.reset();
    auto again = startProgram(ws);
    EXPECT_EQ(again->settings().imageExtension, "png");
    EXPECT_EQ(again->settings().scriptWriteMode, "1");
    EXPECT_EQ(again->settings().defaultScriptMode, "1");
}

TEST(SettingsWindow, TheChosenWriteModeAndExtensionSteerTheNextCompile) {
    TestWorkspace ws;
    ws.addAdventure("Vila");
    QByteArray map;
    map += "Pra\xe7" "a\r\n1\r\n";  // the map file is Windows-1252
    ws.write("Vila/Vila.map", map);
    const QByteArray old = crlf({"// meu script", "  fim"});
    ws.write(QStringLiteral("Vila/Praça.scp"), old);
    ws.write("Vila/Praça.jpg", "x");
    auto form = startProgram(ws);
    click(child(form.get(), "btAdv"));
    doubleClickRow(*form, 0);
    click(child(form.get(), "btOpc"));
    click(child(form.get(), "RbOp2"), {8, 10});
    click(child(form.get(), "btMap"));
    click(child(form.get(), "btMapCpl"));
    EXPECT_EQ(ws.read(QStringLiteral("Vila/Praça.scp")), old);  // kept byte for byte

    click(child(form.get(), "btOpc"));
    click(child(form.get(), "RbOp1"), {8, 10});
    click(child(form.get(), "RbJPG"), {8, 10});
    click(child(form.get(), "RbMd2"), {8, 10});
    click(child(form.get(), "btMap"));
    click(child(form.get(), "btMapCpl"));
    EXPECT_EQ(ws.read(QStringLiteral("Vila/Praça.scp")),
              crlf({"//=== Posi\xe7\xe3o: Pra\xe7" "a ==================", "  setmode= 2", "  retscp= Pra\xe7" "a",
                    "  telpos= Pra\xe7" "a.jpg", "  msg= Nome desta posi\xe7\xe3o Pra\xe7" "a", "  fim"}));
    EXPECT_EQ(child<QLabel>(form.get(), "Msg1")->text(), "Scpts compilados.");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

// F8 opens the references from any window once an adventure is open; a
// double-click on a row shows its place in the script, map or object
// window; the uses shown follow the map's selection and the loaded script.
TEST(MainWindow, F8OpensTheReferencesWhoseRowsLeadToTheirPlaces) {
    test::KeepWorkingDirectory keep;
    TestWorkspace ws;
    ws.addAdventure("Lago");
    QStringList map(801);
    map[0] = "Praia";
    map[1] = "1";
    map[2] = "Cais";
    map[3] = "1";
    ListFile::write(ws.path("Lago/Lago.map"), map);
    ws.write("Lago/Praia.scp", crlf({"//=== Praia", "  leste= Cais", "  fim"}));
    ws.write("Lago/Cais.scp", crlf({"//=== Cais", "  oeste= Praia", "  norte= Ilha", "  fim"}));
    ws.write("Lago/Lago.obz", crlf({"remo"}));
    ws.write("Lago/Lago.obx", crlf({"remo", "Remo", "um remo", "Cais", "", "-", "0", "0"}));
    ws.write("Lago/remo.obj", crlf({"remo", "Remo", "um remo", "Cais", "", "-", "0", "0"}));
    auto form = startProgram(ws);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const auto f8 = [&] {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : form.get(), Qt::Key_F8);
    };
    f8();
    EXPECT_FALSE(shown(*form, "JanRef"));  // nothing is open yet

    click(child(form.get(), "btAdv"));
    doubleClickRow(*form, 0);
    f8();
    ASSERT_TRUE(shown(*form, "JanRef"));
    QWidget* references = child(form.get(), "JanRef");
    auto* problems = child<QListWidget>(references, "LstPrb");
    auto* uses = child<QListWidget>(references, "LstUso");
    auto* name = child<QLineEdit>(references, "edRefNom");
    const QList<QListWidgetItem*> exit = problems->findItems("Cais.scp:3: saida-sem-posicao", Qt::MatchStartsWith);
    ASSERT_EQ(exit.size(), 1) << test::rows(problems).join('\n').toStdString();

    // A script's row: the script window with that script, at that line.
    ASSERT_TRUE(test::doubleClickRow(problems, problems->row(exit.first())));
    auto* scripts = form->findChild<ScriptWindow*>("JanScp");
    EXPECT_TRUE(shown(*form, "JanScp"));
    EXPECT_EQ(scripts->loadedScriptName(), "Cais.scp");
    EXPECT_EQ(scripts->editor()->textCursor().blockNumber(), 2);
    // Opened again from the script window: the uses of the script loaded.
    f8();
    EXPECT_EQ(name->text(), "Cais");
    EXPECT_TRUE(test::rows(uses).contains("Praia.scp:2: saida:   leste= Cais")) << test::rows(uses).join('\n').toStdString();

    // The map's selection is newer than the script: its name is shown, and
    // an empty cell leaves the uses as they are.
    click(child(form.get(), "btMap"));
    auto* mapWindow = form->findChild<MapWindow*>("JanMap");
    mapWindow->MapaMouseDown({50, 30});
    EXPECT_EQ(name->text(), "Praia");
    mapWindow->MapaMouseDown({550, 330});
    f8();
    EXPECT_EQ(name->text(), "Praia");
    EXPECT_FALSE(shown(*form, "JanMap"));
    // A map row: the map window with that cell selected.
    const QList<QListWidgetItem*> onMap = uses->findItems("Lago.map:1: mapa: Praia", Qt::MatchExactly);
    ASSERT_EQ(onMap.size(), 1) << test::rows(uses).join('\n').toStdString();
    ASSERT_TRUE(test::doubleClickRow(uses, uses->row(onMap.first())));
    EXPECT_TRUE(shown(*form, "JanMap"));
    EXPECT_EQ(mapWindow->currentPosition(), 0);
    EXPECT_EQ(child<QLabel>(mapWindow, "Mtp")->text(), "0");
    EXPECT_EQ(child<QLineEdit>(mapWindow, "edNomPos")->text(), "Praia");

    // A row of the object lists: the object window with that object.
    f8();
    name->clear();
    QTest::keyClicks(name, "remo");
    QTest::keyClick(name, Qt::Key_Return);
    const QList<QListWidgetItem*> roster = uses->findItems("Lago.obz:1: objeto: remo", Qt::MatchExactly);
    ASSERT_EQ(roster.size(), 1) << test::rows(uses).join('\n').toStdString();
    ASSERT_TRUE(test::doubleClickRow(uses, uses->row(roster.first())));
    EXPECT_TRUE(shown(*form, "JanObj"));
    EXPECT_EQ(form->findChild<ObjectWindow*>("JanObj")->selectedObject(), "remo");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

// "Nova" makes an adventure from inside the program: a refused name is told
// in the window, which stays open; an accepted one is listed and opened as a
// double-click on it would, and every editor opens on it without an error.
TEST(MainWindow, NovaRefusesBadNamesThenMakesListsAndOpensTheAdventure) {
    TestWorkspace ws;
    ws.addAdventure("Vale");
    auto form = startProgram(ws);
    EXPECT_TRUE(shown(*form, "btNovAdv"));
    EXPECT_EQ(child(form.get(), "btNovAdv")->geometry(), QRect(15 + 95 * 9, 47, 90, 24));
    const QImage& pic = child<PictureBox>(form.get(), "btNovAdv")->picture();
    ASSERT_EQ(pic.size(), QSize(90, 24));
    int dark = 0;
    for (int y = 4; y < 20; ++y)
        for (int x = 4; x < 86; ++x)
            dark += qGray(pic.pixel(x, y)) < 60;
    EXPECT_GT(dark, 10);

    // Cancelar makes nothing.
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->objectName(), "JanNovAdv");
        child<QLineEdit>(dialog, "edNovAdv")->setText("Outra");
        click(child(dialog, "btNovAdvCancela"));
    });
    click(child(form.get(), "btNovAdv"));
    EXPECT_FALSE(QFileInfo::exists(ws.path("Outra")));
    EXPECT_FALSE(shown(*form, "btMap"));

    QStringList messages;
    bool stayedOpen = true;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_TRUE(dialog);
        for (const char* name : {"Vale", "vale", "", "a/b", "CON", "fim."}) {
            child<QLineEdit>(dialog, "edNovAdv")->setText(name);
            click(child(dialog, "btNovAdvCriar"));
            stayedOpen = stayedOpen && dialog->isVisible();
            messages << child<QLabel>(dialog, "lbNovAdvMsg")->text();
        }
        child<QLineEdit>(dialog, "edNovAdv")->setText("Nova Ilha");
        click(child(dialog, "btNovAdvCriar"));
    });
    click(child(form.get(), "btNovAdv"));
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(messages.size(), 6);
    for (const QString& m : messages)
        EXPECT_FALSE(m.isEmpty());
    EXPECT_TRUE(messages[0].contains("Vale"));
    EXPECT_FALSE(QApplication::activeModalWidget());

    EXPECT_EQ(listed(*form), (QStringList{"Nova Ilha", "Vale"}));
    EXPECT_EQ(child<QLabel>(form.get(), "lbNoAdv")->text(), "Nova Ilha");
    EXPECT_EQ(form->adventure().folder(), ws.folder() + "Nova Ilha/");
    EXPECT_EQ(form->adventure().settingsList().size(), 98);
    for (const char* n : {"btMap", "btScp", "btObj", "btReg", "btImg", "btSnd", "btPan"})
        EXPECT_TRUE(shown(*form, n)) << n;
    for (const char* n : {"btMap", "btScp", "btObj", "btReg", "btImg", "btSnd", "btPan"})
        click(child(form.get(), n));
    // The panel editor in both modes, and what a new position picture takes.
    click(child(form.get(), "bnPanPan"));
    click(child(form.get(), "Label35"));
    click(child(form.get(), "btAdv"));
    const QStringList& settings = form->adventure().settingsList();
    EXPECT_EQ(PanelLayout::screenSize(settings), QSize(320, 200));
    for (const PanelAreaInfo& a : PanelLayout::areas()) {
        const QRect r = PanelLayout::placeRect(settings, a.area, QSize(640, 400));
        EXPECT_TRUE(QRect(0, 0, 640, 400).contains(r)) << a.code;
    }
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join('\n').toStdString();
}
