// The registers editor as an author meets it: a fresh adventure's numbered
// registers, editing names and values in place, saving both files, the
// question asked before reopening would read the files over unsaved edits,
// and the files that are shorter or longer than the 251 registers.
#include "widgets/PictureBox.h"
#include "widgets/Shape.h"
#include "app/TForm1.h"
#include "core/ErrorReport.h"
#include "net/Connection.h"
#include "editors/Registers.h"
#include "editors/RegistersWindow.h"
#include "support/QtTestMain.h"
#include "support/Questions.h"
#include "support/TestWorkspace.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <memory>

using namespace orv;
using orv::test::TestWorkspace;
using orv::test::crlf;

namespace {

QList<QByteArray> numbered(const char* suffix, int count = 251) {
    QList<QByteArray> lines;
    for (int n = 0; n < count; ++n)
        lines << QByteArray::number(n) + suffix;
    return lines;
}

// A program with the adventure Vale open and the registers window opened.
struct Session {
    test::Questions questions;  // first made, last gone: no question is left open
    TestWorkspace ws;
    std::unique_ptr<TForm1> form;
    RegistersWindow* window = nullptr;

    explicit Session(const std::function<void(const TestWorkspace&)>& lay = {}) {
        ws.addAdventure("Vale");
        ws.write("Vale/Vale.rgs", crlf(QList<QByteArray>(251)));
        if (lay)
            lay(ws);
        form = test::startProgram(ws);
        form->OpenAdventure("Vale");
        window = form->findChild<RegistersWindow*>("JanReg");
        form->btRegClick();
    }
    QStringList lines() const { return Registers::textLines(window->text()->document()->toRawText()); }
    void setLine(int n, const QString& text) {
        QStringList all = lines();
        all[n] = text;
        window->text()->setPlainText(all.join('\n'));
    }
    void save() { QTest::mouseClick(window->findChild<QWidget*>("bnRegGr"), Qt::LeftButton, {}, {5, 5}); }
    QString msg7() const { return window->status()->text(); }
    // The close button, then "Regs": how the author reopens the window. What
    // the handler throws is reported, as for a click on the bar button.
    void reopen() {
        QTest::mouseClick(window->findChild<QWidget*>("Image3"), Qt::LeftButton, {}, {5, 5});
        reportErrors([this] { form->btRegClick(); });
    }
};

}  // namespace

TEST(Registers, TrimmingTakesBlanksAndControlsButKeepsTheCodePage) {
    EXPECT_EQ(Registers::trimmed(QString("\t\x01 a b\r\x1f ")), "a b");
    // Characters from 7F up are text, also the unassigned bytes and the hard blank.
    const QString kept = QString::fromUtf16(u"\u0081x\u00a0\u007f");
    EXPECT_EQ(Registers::trimmed(kept), kept);
    EXPECT_EQ(Registers::registerLine(" \t", "x ", 7), QString(34, ' ') + "7: x ");
}

TEST(Registers, NamesWithAColonOfTheirOwnKeepTheirRegisterWhole) {
    // Name files written by hand or by another tool may hold colons, which
    // the text also uses between name and value.
    TestWorkspace ws;
    const QByteArray longName = "a:" + QByteArray(40, 'x');
    ws.write("Vale/Vale.rgx", crlf({"porta:aberta", longName, ":solto", "vidas 0(: 3"}));
    ws.write("Vale/Vale.rgs", crlf({"5", "7", "sim", ""}));
    Registers registers(ws.path("Vale/"), "Vale");
    QStringList lines = registers.fill();
    EXPECT_EQ(lines[0], QString(23, ' ') + "porta:aberta: 5");

    // Saved untouched, every name and value is as it was.
    QList<QByteArray> names = {"porta:aberta", longName, ":solto", "vidas 0(: 3"};
    QList<QByteArray> values = {"5", "7", "sim", ""};
    for (int n = 4; n < 251; ++n)
        names << QByteArray::number(n), values << "";
    registers.save(lines);
    EXPECT_EQ(ws.read("Vale/Vale.rgx"), crlf(names));
    EXPECT_EQ(ws.read("Vale/Vale.rgs"), crlf(values));

    // A value edited after the name goes to the value; a line rewritten
    // from its start is taken as typed.
    lines[0] = QString(23, ' ') + "porta:aberta: 6";
    lines[2] = "solto: nao";
    registers.save(lines);
    names[2] = "solto";
    values[0] = "6", values[2] = "nao";
    EXPECT_EQ(ws.read("Vale/Vale.rgx"), crlf(names));
    EXPECT_EQ(ws.read("Vale/Vale.rgs"), crlf(values));
}

TEST(RegistersWindow, FreshAdventureShowsNumbersAndGravarWritesThemWithoutColons) {
    Session s;
    EXPECT_TRUE(s.window->isVisible());
    EXPECT_EQ(s.msg7(), "");
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx"), crlf(numbered(":")));
    const QStringList lines = s.lines();
    ASSERT_EQ(lines.size(), 251);
    for (int n = 0; n < 251; ++n) {
        EXPECT_EQ(lines[n].size(), 37) << n;
        EXPECT_EQ(lines[n].indexOf(':'), 35) << n;
        EXPECT_EQ(lines[n].trimmed(), QString::number(n) + ':') << n;
    }
    for (const char* n : {"bnRegUp", "bnRegDw"})
        EXPECT_FALSE(s.window->findChild<QWidget*>(n)->isVisibleTo(s.window)) << n;
    EXPECT_EQ(s.window->status()->x(), 70);

    s.save();
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx"), crlf(numbered("")));
    EXPECT_EQ(s.ws.read("Vale/Vale.rgs"), crlf(QList<QByteArray>(251)));
    EXPECT_EQ(s.msg7(), "Registradores gravados.");
    // Typing or clicking in the text takes the message away.
    QTest::keyClick(s.window->text(), Qt::Key_End);
    EXPECT_EQ(s.msg7(), "");
    s.save();
    QTest::mouseClick(s.window->text()->viewport(), Qt::LeftButton);
    EXPECT_EQ(s.msg7(), "");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(RegistersWindow, EditedNamesAndValuesAreSavedTrimmedAndShownAligned) {
    const QByteArray high = [] { QByteArray b; for (int c = 0x80; c <= 0xFF; ++c) b += char(c); return b; }();
    const QString longName = QString("abcde") + QString(35, 'x');
    Session s([&](const TestWorkspace& ws) {
        QList<QByteArray> names = numbered(":");
        names[3] = longName.toLatin1();
        names[4] = "s\xE3o \x80";
        ws.write("Vale/Vale.rgx", crlf(names));
        QList<QByteArray> values(251);
        values[4] = high;
        ws.write("Vale/Vale.rgs", crlf(values));
    });
    // A name longer than the field shows its last 35 characters.
    EXPECT_EQ(s.lines()[3], QString(35, 'x') + ": ");
    s.setLine(5, "  vidas : 3 ");
    s.setLine(6, "porta: aberta: sim");
    s.setLine(7, "\t solto ");
    s.save();
    const QList<QByteArray> names = s.ws.read("Vale/Vale.rgx").split('\n');
    const QList<QByteArray> values = s.ws.read("Vale/Vale.rgs").split('\n');
    // An untouched long name is kept whole; bytes 80 to FF come back as they were.
    EXPECT_EQ(names.mid(3, 5), (QList<QByteArray>{longName.toLatin1() + '\r', "s\xE3o \x80\r", "vidas\r", "porta\r", "\r"}));
    EXPECT_EQ(values.mid(3, 5), (QList<QByteArray>{"\r", high + '\r', "3\r", "aberta: sim\r", "solto\r"}));

    s.form->btRegClick();
    EXPECT_EQ(s.lines()[5], QString(30, ' ') + "vidas: 3");
    EXPECT_EQ(s.lines()[7], QString(34, ' ') + "7: solto");
    s.setLine(3, "novo: 1");
    s.save();
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx").split('\n')[3], "novo\r");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(RegistersWindow, ShortAndLongFilesAndTexts) {
    Session s([](const TestWorkspace& ws) {
        ws.write("Vale/Vale.rgs", crlf({"a", "b", "c"}));
    });
    // The name file follows the value file's lines; missing registers are empty.
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx"), crlf({"0:", "1:", "2:"}));
    ASSERT_EQ(s.lines().size(), 251);
    EXPECT_EQ(s.lines()[250], QString(32, ' ') + "250: ");
    // A text cut to two lines saves the rest as empty.
    s.window->text()->setPlainText("x: 1\ny: 2");
    s.save();
    QList<QByteArray> names(251), values(251);
    names[0] = "x", names[1] = "y", values[0] = "1", values[1] = "2";
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx"), crlf(names));
    EXPECT_EQ(s.ws.read("Vale/Vale.rgs"), crlf(values));

    // Lines the files hold beyond register 250 are written back; lines typed
    // after it are not saved.
    s.ws.write("Vale/Vale.rgs", crlf(numbered("v", 253)));
    s.ws.write("Vale/Vale.rgx", crlf(numbered("n", 252)));
    s.form->btRegClick();
    ASSERT_EQ(s.lines().size(), 251);
    s.window->text()->appendPlainText("extra: 9");
    s.save();
    EXPECT_EQ(s.ws.read("Vale/Vale.rgs"), crlf(numbered("v", 253)));
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx"), crlf(numbered("n", 252)));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(RegistersWindow, GravarWritesToTheAdventureTheTextCameFromAndReportsFailures) {
    Session s([](const TestWorkspace& ws) {
        ws.addAdventure("Mar");
        ws.write("Mar/Mar.rgx", crlf({"do mar"}));
    });
    s.setLine(0, "ouro: 5");
    s.form->OpenAdventure("Mar");
    s.save();
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx").left(6), "ouro\r\n");
    EXPECT_EQ(s.ws.read("Mar/Mar.rgx"), crlf({"do mar"}));
    EXPECT_EQ(s.msg7(), "Registradores gravados em Vale.");

    // A name file that may not be written is reported and nothing is written.
    s.form->OpenAdventure("Vale");
    QFile::setPermissions(s.ws.path("Vale/Vale.rgx"), QFile::ReadOwner);
    const QByteArray values = s.ws.read("Vale/Vale.rgs");
    s.setLine(0, "ouro: 6");
    s.window->status()->clear();
    s.save();
    EXPECT_EQ(test::reportedErrors().size(), 1);
    EXPECT_EQ(s.ws.read("Vale/Vale.rgs"), values);
    EXPECT_EQ(s.msg7(), "");
}

TEST(RegistersWindow, ReadyShowsTransfersAndFocusRaisesTheWindow) {
    Session s;
    s.form->connection().setState(ConnectionState::Ready);
    s.form->btRegClick();
    QWidget* gravar = s.window->findChild<QWidget*>("bnRegGr");
    QWidget* upload = s.window->findChild<QWidget*>("bnRegUp");
    QWidget* down = s.window->findChild<QWidget*>("bnRegDw");
    EXPECT_TRUE(upload->isVisibleTo(s.window) && down->isVisibleTo(s.window));
    EXPECT_TRUE(gravar->x() < upload->x() && upload->x() < down->x());
    EXPECT_EQ(s.window->status()->x(), 200);
    EXPECT_GE(s.window->status()->x(), down->geometry().right());

    QWidget* page = s.window->parentWidget();
    s.form->btScpClick();
    EXPECT_GT(page->children().indexOf(s.form->findChild<QWidget*>("JanScp")), page->children().indexOf(s.window));
    s.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.form.get()));
    s.window->text()->setFocus();
    EXPECT_EQ(page->children().last(), s.window);
}

TEST(RegistersWindow, ReopeningOverUnsavedEditsAsksToSaveDiscardOrCancel) {
    Session s;
    test::Questions& q = s.questions;
    QList<QByteArray> names = numbered(""), values(251);

    // Without edits nothing is asked and the files are read again; after
    // "Gravar" neither.
    s.ws.write("Vale/Vale.rgs", crlf(QList<QByteArray>{"7"} + QList<QByteArray>(250)));
    s.reopen();
    EXPECT_EQ(s.lines()[0], QString(34, ' ') + "0: 7");
    s.setLine(1, "ouro: 5");
    s.save();
    s.reopen();
    EXPECT_EQ(s.lines()[1], QString(31, ' ') + "ouro: 5");
    EXPECT_TRUE(q.asked().isEmpty());
    names[1] = "ouro", values[0] = "7", values[1] = "5";
    const QByteArray nameFile = crlf(names), valueFile = crlf(values);
    ASSERT_EQ(s.ws.read("Vale/Vale.rgx"), nameFile);
    ASSERT_EQ(s.ws.read("Vale/Vale.rgs"), valueFile);

    // Cancelar: the window opens with the text as it was; no file changes.
    s.setLine(2, "vidas: 3");
    q.click("JanSalvar", "btSalvarCancela");
    s.reopen();
    ASSERT_EQ(q.asked().size(), 1);
    EXPECT_EQ(q.asked()[0].title, "Alterações não gravadas");
    EXPECT_EQ(q.asked()[0].text, "Os registradores da aventura Vale (\"Vale.rgs\" e \"Vale.rgx\") têm alterações "
                                 "não gravadas. Gravar antes de ler os arquivos de novo?");
    EXPECT_EQ(q.asked()[0].buttons, (QStringList{"btSalvarSim", "btSalvarNao", "btSalvarCancela"}));
    EXPECT_TRUE(s.window->isVisible());
    EXPECT_EQ(s.lines()[2], "vidas: 3");
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx"), nameFile);
    EXPECT_EQ(s.ws.read("Vale/Vale.rgs"), valueFile);

    // Descartar: read again as before; the edit is gone, the files untouched.
    q.click("JanSalvar", "btSalvarNao");
    s.form->btRegClick();
    EXPECT_EQ(s.lines()[2], QString(34, ' ') + "2: ");
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx"), nameFile);
    EXPECT_EQ(s.ws.read("Vale/Vale.rgs"), valueFile);

    // Gravar: both files written as "Gravar" writes them, then read again.
    s.setLine(2, " vidas :  3 ");
    q.click("JanSalvar", "btSalvarSim");
    s.reopen();
    names[2] = "vidas", values[2] = "3";
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx"), crlf(names));
    EXPECT_EQ(s.ws.read("Vale/Vale.rgs"), crlf(values));
    EXPECT_EQ(s.msg7(), "Registradores gravados.");
    EXPECT_EQ(s.lines()[2], QString(30, ' ') + "vidas: 3");

    // Typed edits count; typed and taken back, the text loses nothing.
    s.window->text()->setFocus();
    QTest::keyClicks(s.window->text(), "9");
    EXPECT_TRUE(s.window->hasUnsavedEdits());
    QTest::keyClick(s.window->text(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(s.window->hasUnsavedEdits());
    s.reopen();
    EXPECT_EQ(q.asked().size(), 3);
    EXPECT_EQ(q.waiting(), 0);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(RegistersWindow, EditsOfAnotherAdventureAreSavedThereAndAFailedSaveKeepsThem) {
    Session s([](const TestWorkspace& ws) {
        ws.addAdventure("Mar");
        ws.write("Mar/Mar.rgx", crlf({"do mar"}));
    });
    test::Questions& q = s.questions;
    s.setLine(0, "ouro: 5");
    s.form->OpenAdventure("Mar");
    q.click("JanSalvar", "btSalvarSim");
    s.reopen();
    ASSERT_EQ(q.asked().size(), 1);
    EXPECT_EQ(q.asked()[0].text, "Os registradores da aventura Vale (\"Vale.rgs\" e \"Vale.rgx\") têm alterações "
                                 "não gravadas. Gravar antes de ler os arquivos de novo?");
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx").left(6), "ouro\r\n");
    EXPECT_EQ(s.ws.read("Mar/Mar.rgx"), crlf({"do mar"}));
    EXPECT_EQ(s.msg7(), "Registradores gravados em Vale.");
    EXPECT_EQ(s.lines()[0], QString(29, ' ') + "do mar: ");

    // A save that fails is reported; the window stays open with the edits.
    QFile::setPermissions(s.ws.path("Mar/Mar.rgx"), QFile::ReadOwner);
    const QByteArray values = s.ws.read("Mar/Mar.rgs");
    s.setLine(0, "mar: 1");
    q.click("JanSalvar", "btSalvarSim");
    s.reopen();
    EXPECT_EQ(test::reportedErrors().size(), 1);
    EXPECT_TRUE(s.window->isVisible());
    EXPECT_EQ(s.lines()[0], "mar: 1");
    EXPECT_TRUE(s.window->hasUnsavedEdits());
    EXPECT_EQ(s.ws.read("Mar/Mar.rgs"), values);
    EXPECT_EQ(s.ws.read("Mar/Mar.rgx"), crlf({"do mar"}));
}

TEST(RegistersWindow, CtrlSIsGravarWhileTheWindowIsShown) {
    Session s;
    s.setLine(3, "porta: 1");
    QTest::keyClick(s.window->text(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(s.msg7(), "Registradores gravados.");  // not cleared as typing would
    EXPECT_TRUE(s.ws.read("Vale/Vale.rgx").contains("porta\r\n"));
    EXPECT_FALSE(s.lines()[3].contains(QChar(0x13)));
    const QByteArray saved = s.ws.read("Vale/Vale.rgx");
    s.setLine(4, "chave: 2");
    s.window->hide();
    EXPECT_FALSE(s.window->JanRegKeyDown(Qt::Key_S, Qt::ControlModifier));
    EXPECT_EQ(s.ws.read("Vale/Vale.rgx"), saved);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}
