// The script window as an author meets it: the list of the adventure's
// scripts, loading one, the unsaved-edit cue on "Gravar", saving byte for byte,
// the question asked before unsaved typing would be replaced, and "Exec"
// handing the script to a running player or starting it.
#include "widgets/PictureBox.h"
#include "widgets/Shape.h"
#include "app/TForm1.h"
#include "net/Connection.h"
#include "editors/ScriptWindow.h"
#include "platform/GamePlayer.h"
#include "support/WidgetLookup.h"
#include "support/QtTestMain.h"
#include "support/Questions.h"
#include "net/TestServers.h"
#include "support/TestWorkspace.h"
#include "XStandIn.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <gtest/gtest.h>
#include <memory>

using namespace orv;
using orv::test::child;
using orv::test::click;
using orv::test::TestWorkspace;
using orv::test::crlf;
using orv::test::FaultServer;

namespace {

const QColor kMaroon(128, 0, 0);

// Stands in for the desktop: a player window that is there or not, and a
// record of what the window asked for. Starting a program goes to the real
// desktop, so that a test can watch a stand-in player come up.
struct PlayerLog {
    QStringList searched;
    QList<GamePlayer::WindowId> raised;
    QByteArray handOffWhenRaised;
    int started = 0;
};

class FakePlayer : public GamePlayer {
public:
    FakePlayer(PlayerLog& log, WindowId window, QString handOffFile)
        : log_(log), window_(window), handOffFile_(std::move(handOffFile)) {}
    WindowId findWindow(const QString& name) override {
        log_.searched << name;
        return window_;
    }
    void bringToFront(WindowId window) override {
        log_.raised << window;
        QFile file(handOffFile_);
        log_.handOffWhenRaised = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    void start(const QString& program, const QString& argument) override {
        ++log_.started;
        makeDesktopGamePlayer()->start(program, argument);
    }

private:
    PlayerLog& log_;
    WindowId window_;
    QString handOffFile_;
};

// A program with the adventure Vale open and the script window opened.
struct Session {
    test::Questions questions;  // first made, last gone: no question is left open
    test::KeepWorkingDirectory keep;
    TestWorkspace ws;
    std::unique_ptr<TForm1> form;
    ScriptWindow* window = nullptr;
    PlayerLog log;

    explicit Session(const std::function<void(const TestWorkspace&)>& lay = {}, const QString& serverBase = {}) {
        ws.addAdventure("Vale");
        if (lay)
            lay(ws);
        form = test::startProgram(ws, serverBase);
        form->OpenAdventure("Vale");
        window = child<ScriptWindow>(form.get(), "JanScp");
        usePlayer(0);
        form->btScpClick();
    }
    void usePlayer(GamePlayer::WindowId running) {
        window->setGamePlayer(std::make_unique<FakePlayer>(log, running, ws.path("Vale/scp.txt")));
    }
    QStringList listed() const { return test::rows(window->scriptList()); }
    void load(const QString& name) { ASSERT_TRUE(test::clickRow(window->scriptList(), name)) << name.toStdString(); }
    QString msg3() const { return child<QLabel>(window, "Msg3")->text(); }
    QString label() const { return child<QLabel>(window, "lbNoScp")->text(); }
    void save() { click(child(window, "bnGrvScp")); }
    void down() { click(child(window, "bnDwnScp")); }
    QString selected() const {
        const QList<QListWidgetItem*> items = window->scriptList()->selectedItems();
        return items.size() == 1 ? items.first()->text() : QString::number(items.size()) + " selected";
    }
    // Typed where the cursor is, as the author types.
    void typeHere(const char* text) {
        window->editor()->setFocus();
        QTest::keyClicks(window->editor(), text);
    }
    void exec() { click(child(window, "bnExeScp")); }
    // A left click with Ctrl held on the character at `column` of 0-based
    // `line`, or `dx` pixels right of where it starts.
    void ctrlClick(int line, int column, int dx = 3) {
        QPlainTextEdit* editor = window->editor();
        QTextCursor at(editor->document()->findBlockByNumber(line));
        at.setPosition(at.block().position() + column);
        QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          editor->cursorRect(at).center() + QPoint(dx, 0));
    }
    // The formats the editor's colouring gave a line, from `column` on.
    QList<QTextCharFormat> formatsAt(int line, int column) const {
        QList<QTextCharFormat> found;
        for (const QTextLayout::FormatRange& r :
             window->editor()->document()->findBlockByNumber(line).layout()->formats())
            if (column >= r.start && column < r.start + r.length)
                found << r.format;
        return found;
    }
    bool wavy(int line, int column) const {
        const QList<QTextCharFormat> f = formatsAt(line, column);
        return f.size() == 1 && f[0].underlineStyle() == QTextCharFormat::WaveUnderline &&
               f[0].underlineColor() == QColor(Qt::red);
    }
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window->editor(), key, modifiers);
    }
    // Characters as a keyboard layout would deliver them, beyond ASCII too.
    void typeText(const QString& text) {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(window->editor(), &press);
            QApplication::sendEvent(window->editor(), &release);
        }
    }
};

// Pixels of the "Gravar" caption drawn in maroon.
int maroonPixels(const PictureBox* button) {
    int n = 0;
    const QImage& pic = button->picture();
    for (int y = 0; y < pic.height(); ++y)
        for (int x = 0; x < pic.width(); ++x) {
            const QColor c = pic.pixelColor(x, y);
            n += c.red() > 90 && c.green() < 40 && c.blue() < 40;
        }
    return n;
}

}  // namespace

TEST(ScriptWindow, OpeningListsOnlyTheAdventuresScriptsAndShowsTransfersWhenReady) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"fala oi"}));
        ws.write("Vale/COZINHA.SCP", {});
        ws.write("Vale/bau.scp", {});
        ws.write("Vale/notas.txt", "x");
        ws.write("Vale/scp.txt", crlf({"sala"}));
        ws.write("Vale/pasta.scp/dentro.scp", {});
        ws.write("outra.scp", {});
        ws.addAdventure("Mar");
        ws.write("Mar/praia.scp", {});
    });
    EXPECT_TRUE(s.window->isVisibleTo(s.form.get()));
    EXPECT_EQ(s.listed(), (QStringList{"bau.scp", "COZINHA.SCP", "sala.scp"}));
    EXPECT_EQ(s.msg3(), "");
    EXPECT_EQ(QDir::current().absolutePath() + '/', QDir(s.ws.path("Vale")).absolutePath() + '/');
    for (const char* n : {"bnUplScp", "bnDwnScp"})
        EXPECT_FALSE(child(s.window, n)->isVisibleTo(s.window)) << n;
    EXPECT_EQ(child(s.window, "Fonte")->size(), QSize(516, 481));
    EXPECT_EQ(child(s.window, "NoScp")->size(), QSize(266, 481));

    // A script created meanwhile appears at the next opening; the text and
    // the name stay, and a ready connection shows the transfer buttons with
    // the status label where it was.
    s.load("sala.scp");
    s.ws.write("Vale/nova.scp", {});
    EXPECT_EQ(s.listed().size(), 3);
    s.form->connection().setState(ConnectionState::Ready);
    child<QLabel>(s.window, "Msg3")->setText("velho");
    s.form->btScpClick();
    EXPECT_EQ(s.listed(), (QStringList{"bau.scp", "COZINHA.SCP", "nova.scp", "sala.scp"}));
    EXPECT_EQ(s.window->editor()->toPlainText(), "fala oi\n");
    EXPECT_EQ(s.label(), "sala.scp");
    EXPECT_EQ(s.msg3(), "");
    for (const char* n : {"bnUplScp", "bnDwnScp"})
        EXPECT_TRUE(child(s.window, n)->isVisibleTo(s.window)) << n;
    EXPECT_EQ(child(s.window, "Msg3")->x(), 265);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, TypingACharacterTurnsGravarMaroonUntilSavedOrReloaded) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"linha um", "linha dois"}));
        ws.write("Vale/porta.scp", crlf({"abre"}));
    });
    auto* gravar = child<PictureBox>(s.window, "bnGrvScp");
    child<QLabel>(s.window, "Msg3")->setText("velho");
    s.load("sala.scp");
    EXPECT_EQ(s.window->editor()->toPlainText(), "linha um\nlinha dois\n");
    EXPECT_EQ(s.label(), "sala.scp");
    EXPECT_EQ(s.msg3(), "");
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));
    EXPECT_EQ(maroonPixels(gravar), 0);

    // Keys that put no character in: the cue stays black.
    s.window->editor()->setFocus();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Delete, Qt::Key_F6, Qt::Key_Home})
        s.type(key);
    // An X keyboard delivers Delete with the character 7F attached.
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(s.window->editor(), &del);
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));

    s.type(Qt::Key_A);
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_GT(maroonPixels(gravar), 10);
    // Reopening the window does not save, so the cue keeps its colour.
    s.form->btScpClick();
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_GT(maroonPixels(gravar), 10);

    s.save();
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));
    EXPECT_EQ(maroonPixels(gravar), 0);
    s.type(Qt::Key_Backspace);
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_TRUE(s.questions.asked().isEmpty());
    // Loading over the typing asks first; dropping it turns the cue black.
    s.questions.click("JanSalvar", "btSalvarNao");
    s.load("porta.scp");
    EXPECT_EQ(s.questions.names(), QStringList{"JanSalvar"});
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));
    EXPECT_EQ(s.window->editor()->toPlainText(), "abre\n");
    s.type(Qt::Key_Return);
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, SavingWritesEveryLineWithCrLfAndAnUnchangedScriptByteForByte) {
    // Every byte from 20 to FF and a tab, on lines ended by CR LF.
    QByteArray high;
    for (int b = 0x20; b <= 0xFF; ++b)
        high += char(b);
    const QByteArray crlfFile = "\tinicio\r\n" + high + "\r\n\r\nfim\r\n";
    Session s([&](const TestWorkspace& ws) {
        ws.write("Vale/todos.scp", crlfFile);
        ws.write("Vale/semfim.scp", "a\r\nb");
        ws.write("Vale/misto.scp", "a\nb\rc\r\n");
        ws.write("Vale/vazio.scp", "");
        ws.write("Vale/branca.scp", "\r\n");
        ws.write("Vale/brancas.scp", "\r\n\r\n");
    });
    s.load("todos.scp");
    EXPECT_EQ(s.window->editor()->toPlainText().count('\n'), 4);
    s.save();
    EXPECT_EQ(s.ws.read("Vale/todos.scp"), crlfFile);

    // An empty script has no line and stays empty; one or two empty lines
    // stay one or two.
    for (const char* name : {"vazio.scp", "branca.scp", "brancas.scp"}) {
        const QByteArray before = s.ws.read(QStringLiteral("Vale/") + name);
        s.load(name);
        s.save();
        EXPECT_EQ(s.ws.read(QStringLiteral("Vale/") + name), before) << name;
    }

    // A last line without a break gains its CR LF.
    s.load("semfim.scp");
    s.save();
    EXPECT_EQ(s.ws.read("Vale/semfim.scp"), "a\r\nb\r\n");
    // Lone CR and LF are line breaks too, and are stored as CR LF.
    s.load("misto.scp");
    s.save();
    EXPECT_EQ(s.ws.read("Vale/misto.scp"), "a\r\nb\r\nc\r\n");

    // What the author types is written, line breaks as CR LF, a line broken
    // with Shift+Enter too, and the last line typed is ended like the others.
    s.ws.write("Vale/semfim.scp", "a\r\nb");
    s.load("semfim.scp");
    s.window->editor()->setFocus();
    s.window->editor()->moveCursor(QTextCursor::End);
    s.type(Qt::Key_Return);
    s.typeText(QStringLiteral("ç€"));
    s.type(Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(s.window->editor(), "z");
    s.save();
    EXPECT_EQ(s.ws.read("Vale/semfim.scp"), "a\r\nb\r\n\xE7\x80\r\nz\r\n");
    // Typing into an empty script makes one line.
    s.load("vazio.scp");
    s.window->editor()->setFocus();
    QTest::keyClicks(s.window->editor(), "fim");
    s.save();
    EXPECT_EQ(s.ws.read("Vale/vazio.scp"), "fim\r\n");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, GravarWritesNothingWithoutAScriptAndKeepsTheCueWhenTheWriteFails) {
    Session s([](const TestWorkspace& ws) { ws.write("Vale/sala.scp", crlf({"um"})); });
    const QStringList before = QDir(s.ws.path("Vale")).entryList(QDir::Files | QDir::Hidden);
    s.window->editor()->setFocus();
    QTest::keyClicks(s.window->editor(), "novo");
    s.save();
    EXPECT_EQ(s.msg3(), "Nenhum script carregado!");
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_EQ(s.window->editor()->toPlainText(), "novo");
    EXPECT_EQ(QDir(s.ws.path("Vale")).entryList(QDir::Files | QDir::Hidden), before);
    EXPECT_TRUE(test::reportedErrors().isEmpty());

    // Typing that belongs to no script cannot be saved: loading offers to
    // drop it or to keep it, nothing else.
    s.questions.click("JanSalvar", "btSalvarCancela");
    s.load("sala.scp");
    ASSERT_EQ(s.questions.asked().size(), 1);
    EXPECT_EQ(s.questions.asked()[0].buttons, (QStringList{"btSalvarNao", "btSalvarCancela"}));
    EXPECT_EQ(s.questions.asked()[0].text,
              "O texto digitado no editor não foi gravado em nenhum script. Descartá-lo para abrir \"sala.scp\"?");
    EXPECT_EQ(s.window->editor()->toPlainText(), "novo");
    EXPECT_EQ(s.label(), "");
    EXPECT_EQ(s.selected(), "0 selected");
    s.questions.click("JanSalvar", "btSalvarNao");
    s.load("sala.scp");
    EXPECT_EQ(s.window->editor()->toPlainText(), "um\n");
    EXPECT_EQ(QDir(s.ws.path("Vale")).entryList(QDir::Files | QDir::Hidden), before);

    // A file that may not be written is reported; the text is still unsaved.
    QFile::setPermissions(s.ws.path("Vale/sala.scp"), QFile::ReadOwner | QFile::ReadUser);
    s.type(Qt::Key_X);
    s.save();
    EXPECT_EQ(test::reportedErrors().size(), 1);
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"um"}));

    // A file that can no longer be read leaves the editor as it was, and
    // nothing is asked about a load that cannot happen.
    test::reportedErrors().clear();
    s.form->btScpClick();
    QFile::remove(s.ws.path("Vale/sala.scp"));
    s.load("sala.scp");
    EXPECT_EQ(test::reportedErrors().size(), 1);
    EXPECT_EQ(s.window->editor()->toPlainText(), "xum\n");
    EXPECT_EQ(s.questions.asked().size(), 2);
}

TEST(ScriptWindow, AScriptIsSavedIntoTheAdventureItCameFrom) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"do vale"}));
        ws.addAdventure("Mar");
        ws.write("Mar/sala.scp", crlf({"do mar"}));
    });
    s.load("sala.scp");
    s.form->OpenAdventure("Mar");
    s.form->btScpClick();
    EXPECT_EQ(s.label(), "sala.scp");
    EXPECT_EQ(s.window->editor()->toPlainText(), "do vale\n");
    s.window->editor()->setFocus();
    s.window->editor()->moveCursor(QTextCursor::Start);
    QTest::keyClicks(s.window->editor(), "+");
    s.save();
    EXPECT_EQ(s.ws.read("Mar/sala.scp"), crlf({"do mar"}));
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"+do vale"}));
    EXPECT_EQ(s.msg3(), "Gravado em Vale!");
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));

    // Once loaded from the new adventure, saving is quiet again.
    s.load("sala.scp");
    s.save();
    EXPECT_EQ(s.ws.read("Mar/sala.scp"), crlf({"do mar"}));
    EXPECT_EQ(s.msg3(), "");
}

TEST(ScriptWindow, LoadingOverUnsavedTypingAsksToSaveDiscardOrCancel) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"linha um"}));
        ws.write("Vale/porta.scp", crlf({"abre"}));
    });
    test::Questions& q = s.questions;
    // Without typing nothing is asked, also for the loaded script again.
    s.load("sala.scp");
    s.load("porta.scp");
    s.load("porta.scp");
    s.load("sala.scp");
    EXPECT_TRUE(q.asked().isEmpty());

    // Cancelar: the text, the loaded script, the cue and the list's selection
    // stay as they were, and no file changes.
    s.typeHere("novo ");
    q.click("JanSalvar", "btSalvarCancela");
    s.load("porta.scp");
    ASSERT_EQ(q.asked().size(), 1);
    const test::AskedQuestion& asked = q.asked()[0];
    EXPECT_EQ(asked.title, "Alterações não gravadas");
    EXPECT_EQ(asked.text, "O script \"sala.scp\" tem alterações não gravadas. Gravar antes de abrir \"porta.scp\"?");
    EXPECT_EQ(asked.buttons, (QStringList{"btSalvarSim", "btSalvarNao", "btSalvarCancela"}));
    // Over the middle of the main window.
    EXPECT_LE((asked.geometry.center() - s.form->geometry().center()).manhattanLength(), 2);
    EXPECT_EQ(s.window->editor()->toPlainText(), "novo linha um\n");
    EXPECT_EQ(s.label(), "sala.scp");
    EXPECT_EQ(s.selected(), "sala.scp");
    EXPECT_EQ(s.window->scriptList()->currentItem()->text(), "sala.scp");
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"linha um"}));
    EXPECT_EQ(s.ws.read("Vale/porta.scp"), crlf({"abre"}));

    // Gravar: saved as "Gravar" saves it, then the clicked script is loaded.
    child<QLabel>(s.window, "Msg3")->setText("velho");
    q.click("JanSalvar", "btSalvarSim");
    s.load("porta.scp");
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"novo linha um"}));
    EXPECT_EQ(s.window->editor()->toPlainText(), "abre\n");
    EXPECT_EQ(s.label(), "porta.scp");
    EXPECT_EQ(s.selected(), "porta.scp");
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));
    EXPECT_EQ(s.msg3(), "");

    // Descartar: loaded as before, the typing is gone and the file untouched.
    s.typeHere("x");
    q.click("JanSalvar", "btSalvarNao");
    s.load("sala.scp");
    EXPECT_EQ(s.ws.read("Vale/porta.scp"), crlf({"abre"}));
    EXPECT_EQ(s.window->editor()->toPlainText(), "novo linha um\n");
    EXPECT_EQ(s.label(), "sala.scp");
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));

    // The loaded script clicked again: Gravar writes it and loads what it wrote.
    s.typeHere("z");
    q.click("JanSalvar", "btSalvarSim");
    s.load("sala.scp");
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"znovo linha um"}));
    EXPECT_EQ(s.window->editor()->toPlainText(), "znovo linha um\n");
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));

    // Saved with "Gravar" first: nothing is asked.
    s.typeHere("w");
    s.save();
    s.load("porta.scp");
    EXPECT_EQ(q.asked().size(), 4);
    EXPECT_EQ(q.waiting(), 0);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, TheQuestionTakesKeysAndClosingLosesNothing) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"um"}));
        ws.write("Vale/porta.scp", crlf({"abre"}));
    });
    test::Questions& q = s.questions;
    s.load("sala.scp");

    // Enter takes Gravar, the choice that loses nothing.
    s.typeHere("a");
    q.press("JanSalvar", {Qt::Key_Return});
    s.load("porta.scp");
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"aum"}));
    EXPECT_EQ(s.label(), "porta.scp");

    // Esc, the close button, a close by the window manager, and Left from
    // Gravar round to Cancelar: nothing changes.
    s.typeHere("b");
    q.press("JanSalvar", {Qt::Key_Escape});
    s.load("sala.scp");
    q.click("JanSalvar", "btJanSalvar");
    s.load("sala.scp");
    s.load("sala.scp");  // no answer waiting: closed as the window manager closes it
    q.press("JanSalvar", {Qt::Key_Left, Qt::Key_Return});
    s.load("sala.scp");
    ASSERT_EQ(q.asked().size(), 5);
    EXPECT_EQ(q.asked()[3].answer, "");
    EXPECT_EQ(s.label(), "porta.scp");
    EXPECT_EQ(s.selected(), "porta.scp");
    EXPECT_EQ(s.window->editor()->toPlainText(), "babre\n");
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_EQ(s.ws.read("Vale/porta.scp"), crlf({"abre"}));

    // Tab moves on to Descartar.
    q.press("JanSalvar", {Qt::Key_Tab, Qt::Key_Return});
    s.load("sala.scp");
    EXPECT_EQ(s.label(), "sala.scp");
    EXPECT_EQ(s.window->editor()->toPlainText(), "aum\n");
    EXPECT_EQ(s.ws.read("Vale/porta.scp"), crlf({"abre"}));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, GravarInTheQuestionSavesWhereTheScriptCameFromOrReportsAndKeepsIt) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"do vale"}));
        ws.addAdventure("Mar");
        ws.write("Mar/sala.scp", crlf({"do mar"}));
        ws.write("Mar/porta.scp", crlf({"abre"}));
    });
    test::Questions& q = s.questions;
    s.load("sala.scp");
    s.form->OpenAdventure("Mar");
    s.form->btScpClick();
    s.typeHere("+");

    // The question names the adventure the text belongs to; cancelled, no row
    // of the new list is the loaded script.
    q.click("JanSalvar", "btSalvarCancela");
    s.load("porta.scp");
    ASSERT_EQ(q.asked().size(), 1);
    EXPECT_EQ(q.asked()[0].text, "O script \"sala.scp\" da aventura Vale tem alterações não gravadas. "
                                 "Gravar antes de abrir \"porta.scp\"?");
    EXPECT_EQ(s.selected(), "0 selected");
    EXPECT_EQ(s.label(), "sala.scp");

    // Gravar writes it into Vale, as "Gravar" does, and says so after the load.
    q.click("JanSalvar", "btSalvarSim");
    s.load("porta.scp");
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"+do vale"}));
    EXPECT_EQ(s.ws.read("Mar/sala.scp"), crlf({"do mar"}));
    EXPECT_EQ(s.window->editor()->toPlainText(), "abre\n");
    EXPECT_EQ(s.msg3(), "Gravado em Vale!");

    // A save that fails is reported; the text stays with its script and cue.
    QFile::setPermissions(s.ws.path("Mar/porta.scp"), QFile::ReadOwner | QFile::ReadUser);
    s.typeHere("-");
    q.click("JanSalvar", "btSalvarSim");
    s.load("sala.scp");
    EXPECT_EQ(test::reportedErrors().size(), 1);
    EXPECT_EQ(s.window->editor()->toPlainText(), "-abre\n");
    EXPECT_EQ(s.label(), "porta.scp");
    EXPECT_EQ(s.selected(), "porta.scp");
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_EQ(s.ws.read("Mar/porta.scp"), crlf({"abre"}));
}

TEST(ScriptWindow, DownOverUnsavedTypingAsksBeforeTheFetchedScriptReplacesIt) {
    FaultServer server([](const FaultServer::Request& r) {
        if (r.requestLine().contains("gettxt.php") && r.requestLine().contains("Arq=sala.scp"))
            return FaultServer::ok("Ok\r\nfala nova\r\n");
        return FaultServer::status(404, "nada");
    });
    Session s(
        [](const TestWorkspace& ws) {
            ws.write("Vale/sala.scp", crlf({"fala velha"}));
            ws.addAdventure("Mar");
        },
        server.base());
    test::Questions& q = s.questions;
    s.form->connection().setState(ConnectionState::Ready);
    s.form->btScpClick();
    s.load("sala.scp");

    // Without typing the Down loads the fetched script, as before.
    s.down();
    EXPECT_EQ(s.window->editor()->toPlainText(), "fala nova\n");
    EXPECT_EQ(s.msg3(), "Script atualizado!");
    EXPECT_TRUE(q.asked().isEmpty());
    const size_t fetched = server.requests().size();

    // The fetched file replaces the one Gravar would write, so saving first
    // is not offered. Cancelar: no request, nothing changes.
    s.typeHere("x");
    q.click("JanSalvar", "btSalvarCancela");
    s.down();
    ASSERT_EQ(q.asked().size(), 1);
    EXPECT_EQ(q.asked()[0].buttons, (QStringList{"btSalvarNao", "btSalvarCancela"}));
    EXPECT_EQ(q.asked()[0].text, "O script \"sala.scp\" tem alterações não gravadas, que o Down vai substituir "
                                 "pela cópia do servidor. Descartar as alterações?");
    EXPECT_EQ(server.requests().size(), fetched);
    EXPECT_EQ(s.window->editor()->toPlainText(), "xfala nova\n");
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);

    // Descartar: fetched and loaded.
    s.ws.write("Vale/sala.scp", crlf({"local"}));
    q.click("JanSalvar", "btSalvarNao");
    s.down();
    EXPECT_EQ(server.requests().size(), fetched + 1);
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"fala nova"}));
    EXPECT_EQ(s.window->editor()->toPlainText(), "fala nova\n");
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));

    // A Down that will not fetch asks nothing.
    s.typeHere("y");
    s.form->connection().setState(ConnectionState::Connected);
    s.down();
    EXPECT_EQ(q.asked().size(), 2);
    EXPECT_EQ(s.window->editor()->toPlainText(), "yfala nova\n");

    // Typing from another adventure can be saved there before Mar's copy comes.
    s.form->OpenAdventure("Mar");
    s.form->connection().setState(ConnectionState::Ready);
    q.click("JanSalvar", "btSalvarSim");
    s.down();
    ASSERT_EQ(q.asked().size(), 3);
    EXPECT_EQ(q.asked()[2].buttons, (QStringList{"btSalvarSim", "btSalvarNao", "btSalvarCancela"}));
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"yfala nova"}));
    EXPECT_EQ(s.ws.read("Mar/sala.scp"), crlf({"fala nova"}));
    EXPECT_EQ(s.window->editor()->toPlainText(), "fala nova\n");
    EXPECT_EQ(s.msg3(), "Script atualizado!");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, ExecHandsTheScriptToARunningPlayer) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"um"}));
        ws.write("Vale/ab", {});
        ws.write("Vale/scp.txt", crlf({"antigo", "resto"}));
    });
    s.usePlayer(7);
    // No script loaded yet: the one line is empty.
    s.exec();
    EXPECT_EQ(s.ws.read("Vale/scp.txt"), "\r\n");
    EXPECT_EQ(s.log.handOffWhenRaised, "\r\n");

    s.load("sala.scp");
    s.window->editor()->setFocus();
    s.type(Qt::Key_X);
    s.exec();
    EXPECT_EQ(s.log.searched, (QStringList{"Vale", "Vale"}));
    EXPECT_EQ(s.log.raised, (QList<GamePlayer::WindowId>{7, 7}));
    EXPECT_EQ(s.log.handOffWhenRaised, "sala\r\n");
    EXPECT_EQ(s.log.started, 0);
    // Exec does not save.
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"um"}));
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, ExecStartsThePlayerWhenNoneIsRunning) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"um"}));
        ws.write("Vale/scp.txt", crlf({"antigo"}));
        // A stand-in player that notes its argument and where it was started.
        ws.write("Vale/Vale.exe", "#!/bin/sh\n{ echo \"$1\"; pwd; } > \"$(dirname \"$0\")/iniciado.tmp\"\n"
                                  "mv \"$(dirname \"$0\")/iniciado.tmp\" \"$(dirname \"$0\")/iniciado.txt\"\n");
        QFile::setPermissions(ws.path("Vale/Vale.exe"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    s.load("sala.scp");
    s.exec();
    EXPECT_EQ(s.log.started, 1);
    EXPECT_TRUE(s.log.raised.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(s.ws.exists("Vale/iniciado.txt"), 10000);
    const QList<QByteArray> lines = s.ws.read("Vale/iniciado.txt").trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "atv");
    EXPECT_EQ(QDir(QString::fromLocal8Bit(lines[1])).canonicalPath(), QDir(s.ws.path("Vale")).canonicalPath());
    EXPECT_EQ(s.ws.read("Vale/scp.txt"), crlf({"antigo"}));

    EXPECT_TRUE(test::reportedErrors().isEmpty());

    // A player program that is missing, or that cannot be run, is reported.
    QFile::setPermissions(s.ws.path("Vale/Vale.exe"), QFile::ReadOwner | QFile::WriteOwner);
    s.exec();
    EXPECT_EQ(test::reportedErrors(), QStringList{"Não foi possível iniciar o jogador Vale.exe."});
    QFile::remove(s.ws.path("Vale/Vale.exe"));
    s.exec();
    EXPECT_EQ(s.log.started, 3);
    EXPECT_EQ(test::reportedErrors().value(1), "O jogador Vale.exe não foi encontrado na pasta da aventura.");
    EXPECT_EQ(s.ws.read("Vale/scp.txt"), crlf({"antigo"}));
}

TEST(ScriptWindow, ExecFindsAndRaisesThePlayerWindowOnX) {
    test::XStandIn x;
    if (!x.ok())
        GTEST_SKIP() << "Xvfb is not available";
    Session s([](const TestWorkspace& ws) { ws.write("Vale/sala.scp", crlf({"um"})); });
    s.window->setGamePlayer(makeDesktopGamePlayer());

    // The class may stand in either part of WM_CLASS; the title must match too.
    const unsigned long player = x.addWindow("jogo", "TApplication", "Vale", false);
    x.addWindow("TApplication", "Jogo", "Outra", false);
    x.addWindow("editor", "Editor", "Vale", true);
    const unsigned long accented = x.addWindow("TApplication", "Jogo", "Ção", true);
    EXPECT_NE(x.focus(), player);

    s.load("sala.scp");
    s.exec();
    EXPECT_EQ(s.ws.read("Vale/scp.txt"), "sala\r\n");
    EXPECT_EQ(x.focus(), player);

    const auto desktop = makeDesktopGamePlayer();
    EXPECT_EQ(desktop->findWindow("vale"), player);
    EXPECT_EQ(desktop->findWindow(QStringLiteral("Ção")), accented);
    EXPECT_EQ(desktop->findWindow("Nada"), 0u);
    EXPECT_EQ(desktop->findWindow(""), 0u);
    // A window that has gone is not an error.
    desktop->bringToFront(0x7ffffff);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, TheBlocksAreColouredAndWhatTheyNameThatIsNotThereUnderlined) {
    // As the map compiler writes a position block, with its accents.
    const QByteArray block = crlf({"//=== Posi\xE7\xE3o: sala ==================", "  setmode= 1", "  retscp= sala",
                                   "  telpos= sala.png", "  norte= Torre", "  leste= sala",
                                   "  msg= Nome desta posi\xE7\xE3o sala", "  fim", "fala oi"});
    Session s([&](const TestWorkspace& ws) {
        ws.write("Vale/Vale.map", crlf({"sala", "6"}));
        ws.write("Vale/sala.scp", block);
    });
    s.load("sala.scp");
    EXPECT_EQ(s.formatsAt(0, 0).value(0).fontWeight(), QFont::Bold);   // the header
    EXPECT_EQ(s.formatsAt(2, 2).value(0).fontWeight(), QFont::Bold);   // "retscp="
    EXPECT_EQ(s.formatsAt(2, 10).size(), 1);                           // its value
    EXPECT_TRUE(s.formatsAt(8, 0).isEmpty());                          // the player's own line
    EXPECT_TRUE(s.wavy(3, 10)) << "sala.png is not there";
    EXPECT_TRUE(s.wavy(4, 9)) << "no position Torre";
    EXPECT_FALSE(s.wavy(5, 9));
    EXPECT_FALSE(s.wavy(2, 10)) << "retscp names no exit";

    // Named on the map, the exit leads somewhere; unnamed, nowhere again.
    AdventureDocument& doc = s.form->document();
    doc.nameCell(1, "Torre", false);
    EXPECT_FALSE(s.wavy(4, 9));
    doc.nameCell(1, "", false);
    EXPECT_TRUE(s.wavy(4, 9));
    doc.nameCell(1, "Torre", false);
    // A picture saved meanwhile counts once the window is opened again.
    s.ws.write("Vale/sala.png", "x");
    s.form->btScpClick();
    EXPECT_FALSE(s.wavy(3, 10));

    // Colouring is no typing: the cue stays black, no draft is kept, and the
    // script saves byte for byte.
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));
    EXPECT_FALSE(doc.scriptDraft().has_value());
    s.save();
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), block);

    // An exit typed to nowhere is underlined as it is typed; the typing is typing.
    s.window->editor()->moveCursor(QTextCursor::End);
    s.typeHere("  sul= Nada");
    EXPECT_TRUE(s.wavy(9, 8));
    EXPECT_EQ(s.window->gravarCaptionColour(), kMaroon);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, CtrlClickOnAnExitOpensThatPositionsScript) {
    const QByteArray torre = crlf({"//=== Posi\xE7\xE3o: Torre ==================", "  sul= sala", "  fim"});
    Session s([&](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"  setmode= 1", "  norte= Torre", "  sul= Nada", "  leste= ../Mar/praia"}));
        ws.write("Vale/Torre.scp", torre);
        ws.addAdventure("Mar");
        ws.write("Mar/praia.scp", {});
    });
    test::Questions& q = s.questions;
    s.load("sala.scp");
    const QString sala = s.window->editor()->toPlainText();

    // Beside the value, on the keyword: an ordinary click that moves the cursor.
    s.ctrlClick(1, 14, 40);
    EXPECT_EQ(s.label(), "sala.scp");
    s.ctrlClick(1, 3);
    EXPECT_EQ(s.label(), "sala.scp");
    EXPECT_EQ(s.window->editor()->textCursor().blockNumber(), 1);
    EXPECT_EQ(s.window->editor()->textCursor().positionInBlock(), 3);

    // A script that is not there, or not one of this adventure's: said, nothing loaded.
    s.ctrlClick(2, 8);
    EXPECT_EQ(s.msg3(), "Script não encontrado: Nada.scp");
    s.ctrlClick(3, 11);
    EXPECT_EQ(s.msg3(), "Script não encontrado: ../Mar/praia.scp");
    EXPECT_EQ(s.label(), "sala.scp");
    EXPECT_EQ(s.window->editor()->toPlainText(), sala);

    // On the value: loaded as a click on the list loads it, the same question first.
    s.window->editor()->moveCursor(QTextCursor::End);
    s.typeHere("z");
    q.click("JanSalvar", "btSalvarCancela");
    s.ctrlClick(1, 10);
    ASSERT_EQ(q.asked().size(), 1);
    EXPECT_EQ(q.asked()[0].text,
              "O script \"sala.scp\" tem alterações não gravadas. Gravar antes de abrir \"Torre.scp\"?");
    EXPECT_EQ(s.label(), "sala.scp");
    EXPECT_EQ(s.selected(), "sala.scp");
    q.click("JanSalvar", "btSalvarNao");
    s.ctrlClick(1, 10);
    EXPECT_EQ(s.label(), "Torre.scp");
    EXPECT_EQ(s.selected(), "Torre.scp");
    EXPECT_EQ(s.msg3(), "");
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));
    EXPECT_EQ(s.window->editor()->textCursor().position(), 0);
    s.save();
    EXPECT_EQ(s.ws.read("Vale/Torre.scp"), torre);

    // By name and line, also a script made after the list was read; a line
    // past the end goes to the last one.
    s.ws.write("Vale/nova.scp", crlf({"um", "dois", "tres"}));
    s.window->openScript("nova.scp", 2);
    EXPECT_EQ(s.label(), "nova.scp");
    EXPECT_EQ(s.selected(), "nova.scp");
    EXPECT_EQ(s.window->editor()->textCursor().blockNumber(), 1);
    EXPECT_EQ(s.window->editor()->textCursor().positionInBlock(), 0);
    s.window->openScript("Torre.scp", 99);
    EXPECT_EQ(s.label(), "Torre.scp");
    EXPECT_EQ(s.window->editor()->textCursor().blockNumber(), 3);
    EXPECT_EQ(q.asked().size(), 2);
    EXPECT_EQ(q.waiting(), 0);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, CtrlSSavesAndF5ExecsWithoutTyping) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/sala.scp", crlf({"um"}));
        ws.write("Vale/scp.txt", {});
    });
    s.usePlayer(7);
    s.load("sala.scp");
    s.typeHere("x");
    ASSERT_EQ(s.window->gravarCaptionColour(), kMaroon);
    s.type(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"xum"}));
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));  // saved, and not typing
    s.type(Qt::Key_F5);
    EXPECT_EQ(s.log.raised, (QList<GamePlayer::WindowId>{7}));
    EXPECT_EQ(s.log.handOffWhenRaised, "sala\r\n");
    s.type(Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(s.window->editor()->toPlainText(), "xum\n");
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));

    // From the script list too; a hidden window takes none of them.
    s.typeHere("y");
    s.window->scriptList()->setFocus();
    QTest::keyClick(s.window->scriptList(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"xyum"}));
    s.typeHere("z");
    s.window->hide();
    for (Qt::Key k : {Qt::Key_S, Qt::Key_F})
        EXPECT_FALSE(s.window->JanScpKeyDown(k, Qt::ControlModifier));
    EXPECT_FALSE(s.window->JanScpKeyDown(Qt::Key_F5, Qt::NoModifier));
    EXPECT_EQ(s.ws.read("Vale/sala.scp"), crlf({"xyum"}));
    EXPECT_EQ(s.log.raised.size(), 1);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ScriptWindow, FindBarFindsNextAndPreviousAndClosesWithEscape) {
    Session s([](const TestWorkspace& ws) { ws.write("Vale/sala.scp", crlf({"Porta aberta", "sem nada", "porta fechada"})); });
    s.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.form.get()));
    s.load("sala.scp");
    QPlainTextEdit* editor = s.window->editor();
    const QRect editorPlace = editor->geometry();
    editor->setFocus();
    EXPECT_FALSE(s.window->findBar()->isVisible());
    s.type(Qt::Key_F, Qt::ControlModifier);
    QLineEdit* box = s.window->findBox();
    ASSERT_TRUE(s.window->findBar()->isVisible());
    EXPECT_EQ(box->objectName(), "edBusca");
    EXPECT_TRUE(box->hasFocus());
    EXPECT_TRUE(editorPlace.contains(s.window->findBar()->geometry()));
    EXPECT_EQ(editor->geometry(), editorPlace);

    QTest::keyClicks(box, "PORTA");
    QTest::keyClick(box, Qt::Key_Return);  // case-insensitive
    EXPECT_EQ(editor->textCursor().selectedText(), "Porta");
    EXPECT_EQ(editor->textCursor().blockNumber(), 0);
    QTest::keyClick(box, Qt::Key_Enter);
    EXPECT_EQ(editor->textCursor().blockNumber(), 2);
    QTest::keyClick(box, Qt::Key_F3);  // round the end
    EXPECT_EQ(editor->textCursor().blockNumber(), 0);
    QTest::keyClick(box, Qt::Key_Return, Qt::ShiftModifier);  // round the start
    EXPECT_EQ(editor->textCursor().blockNumber(), 2);
    QTest::keyClick(box, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(editor->textCursor().blockNumber(), 0);
    EXPECT_EQ(s.window->findStatus()->text(), "");

    box->clear();
    QTest::keyClicks(box, "janela");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(s.window->findStatus()->text(), "não encontrado");
    EXPECT_EQ(editor->textCursor().blockNumber(), 0);
    QTest::keyClicks(box, "s");  // typing again clears it
    EXPECT_EQ(s.window->findStatus()->text(), "");

    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(s.window->findBar()->isVisible());
    EXPECT_TRUE(editor->hasFocus());
    // The search stays: F3 in the editor finds again.
    box->setText("fechada");
    s.type(Qt::Key_F3);
    EXPECT_EQ(editor->textCursor().selectedText(), "fechada");
    EXPECT_EQ(editor->toPlainText(), "Porta aberta\nsem nada\nporta fechada\n");
    EXPECT_EQ(s.window->gravarCaptionColour(), QColor(Qt::black));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}
