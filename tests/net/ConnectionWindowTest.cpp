// The connection window as an author meets it: connecting, choosing a group,
// the group password, and moving a whole adventure up and down, against a
// scripted server and against the reference server.
#include "TestServers.h"
#include "widgets/PictureBox.h"
#include "widgets/Shape.h"
#include "app/TForm1.h"
#include "core/ErrorReport.h"
#include "core/OrvalisError.h"
#include "net/AdventureTransfer.h"
#include "net/ConnectionWindow.h"
#include "net/ServerClient.h"
#include "net/SyncRecord.h"
#include "net/Connection.h"
#include "core/DurableWrite.h"
#include "support/WidgetLookup.h"
#include "support/QtTestMain.h"
#include "support/Questions.h"
#include "support/TestWorkspace.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStyle>
#include <QApplication>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <memory>
#include <mutex>

using namespace orv;
using orv::test::child;
using orv::test::click;
using test::FaultServer;
using test::ReferenceServer;
using test::TestWorkspace;
using test::crlf;

namespace {

const QColor kMaroon(128, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kLime(0, 255, 0);

bool shown(QWidget* root, const char* name) {
    return child(root, name)->isVisibleTo(root);
}

QString text(QWidget* root, const char* name) {
    return child<QLabel>(root, name)->text();
}

QColor led(QWidget* root) {
    return child<Shape>(root, "Led")->fillColour();
}

using test::startProgram;

QStringList groups(QWidget* root) {
    return test::rows(child<QListWidget>(root, "LstGrp"));
}

void chooseGroup(QWidget* root, int row) {
    ASSERT_TRUE(test::doubleClickRow(child<QListWidget>(root, "LstGrp"), row)) << row;
}

void typePassword(QWidget* root, const QString& password) {
    auto* box = child<QLineEdit>(root, "Senha");
    box->clear();
    QTest::keyClicks(box, password);
    QTest::keyClick(box, Qt::Key_Return);
}

// The whole transfers run on a thread of their own: the window's events are
// processed until the one started is over, its questions answered.
bool waitForTransfer(TForm1* form, int ms = 30000) {
    return QTest::qWaitFor([form] { return !form->document().transferRunning(); }, ms);
}

// A scripted server whose group list can be changed between clicks; every
// other request gets a 404.
struct GroupServer {
    std::mutex mutex;
    QByteArray groupReply;
    FaultServer server{[this](const FaultServer::Request& r) {
        std::lock_guard lock(mutex);
        if (r.requestLine().contains("grupos.php"))
            return FaultServer::ok(groupReply);
        return FaultServer::status(404, "nada");
    }};
    void answer(const QByteArray& reply) {
        std::lock_guard lock(mutex);
        groupReply = reply;
    }
};

}  // namespace

TEST(ConnectionWindow, ConnectFillsTheGroupsOnlyFromAnOkReply) {
    TestWorkspace ws;
    GroupServer groups_;
    groups_.answer("Ok\r\nTexto | castelo\r\nvale\r\n");
    auto form = startProgram(ws, groups_.server.base());
    QWidget* root = form.get();

    click(child(root, "btCnc"));
    EXPECT_TRUE(shown(root, "JanCnc"));
    EXPECT_EQ(groups(root), (QStringList{"Texto | castelo", "vale"}));
    EXPECT_EQ(led(root), kRed);
    EXPECT_FALSE(form->IsReady());
    EXPECT_EQ(text(root, "Msg2"), "");
    for (const char* n : {"btDwAdv", "Label10", "btUpAdv", "Label11", "G1"})
        EXPECT_FALSE(shown(root, n)) << n;
    EXPECT_EQ(child(root, "G1")->size(), QSize(80, 13));

    // Anything but a first line of exactly "Ok" leaves list and state alone.
    for (const QByteArray& reply : {QByteArray("OK\r\nx|y\r\n"), QByteArray("Ok \r\nx|y\r\n"), QByteArray()}) {
        click(child(root, "btCnc"));
        EXPECT_EQ(groups(root), (QStringList{"Texto | castelo", "vale"})) << reply.constData();
        groups_.answer(reply);
    }
    click(child(root, "btCnc"));
    groups_.answer("Ok");
    click(child(root, "btCnc"));
    EXPECT_TRUE(groups(root).isEmpty());
    EXPECT_EQ(led(root), kRed);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

// The window made with no address of its own talks to the server that
// ORVALIS_SERVIDOR names, as the command line does.
TEST(ConnectionWindow, TheWindowTalksToTheServerTheEnvironmentNames) {
    TestWorkspace ws;
    GroupServer groups_;
    groups_.answer("Ok\r\nvale\r\n");
    qputenv("ORVALIS_SERVIDOR", groups_.server.base().toUtf8());
    auto form = startProgram(ws);
    qunsetenv("ORVALIS_SERVIDOR");
    click(child(form.get(), "btCnc"));
    EXPECT_EQ(groups(form.get()), QStringList{"vale"});
    EXPECT_EQ(ServerClient::configuredBaseAddress(), ServerClient::defaultBaseAddress());
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ConnectionWindow, AFailedGroupRequestIsReportedAndShowsNothing) {
    TestWorkspace ws;
    FaultServer server([](const FaultServer::Request&) { return FaultServer::status(500, "quebrou"); });
    auto form = startProgram(ws, server.base());
    click(child(form.get(), "btCnc"));
    EXPECT_EQ(test::reportedErrors().size(), 1);
    EXPECT_FALSE(shown(form.get(), "JanCnc"));
    EXPECT_EQ(led(form.get()), kMaroon);
}

TEST(ConnectionWindow, ChoosingAGroupOpensItsAdventureAndMakesEverythingReady) {
    TestWorkspace ws;
    GroupServer groups_;
    groups_.answer("Ok\r\ntexto | castelo\r\nJogo | vale|2 \t\r\nerro | ..\r\nvazio |  \r\n");
    auto form = startProgram(ws, groups_.server.base());
    QWidget* root = form.get();
    click(child(root, "btCnc"));
    // Typed before a group is chosen: not stored anywhere, and lost.
    typePassword(root, "antes");
    EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("sen.txt")));

    chooseGroup(root, 0);
    EXPECT_TRUE(QFileInfo(ws.path("castelo")).isDir());
    EXPECT_EQ(form->adventure().name(), "castelo");
    EXPECT_EQ(text(root, "lbNoAdv"), "texto | castelo");
    EXPECT_EQ(ws.read("castelo/sen.txt"), "\r\n");
    EXPECT_TRUE(ws.exists("castelo/castelo.rgs"));
    EXPECT_EQ(child<QLineEdit>(root, "Senha")->text(), "");
    EXPECT_EQ(text(root, "Msg2"), QString::fromUtf8("Pronto para edição!"));
    EXPECT_EQ(led(root), kLime);
    EXPECT_TRUE(form->IsReady());
    for (const char* n : {"btMap", "btScp", "btObj", "btImg", "btSnd", "btReg", "btPan", "btDwAdv", "Label10",
                          "btUpAdv", "Label11", "G1", "btUpMap", "lbUpMap", "btDwMap", "lbDwMap", "bnEdUp",
                          "bnEdDwn"})
        EXPECT_FALSE(child(root, n)->isHidden()) << n;  // shown, though their window may be closed
    EXPECT_EQ(child(root, "Msg5")->x(), 270);
    EXPECT_EQ(child(root, "Msg7")->x(), 200);
    EXPECT_EQ(child(root, "Msg8")->x(), 200);

    // Everything after the first "|", the second one included.
    chooseGroup(root, 1);
    EXPECT_EQ(form->adventure().name(), "vale|2");
    EXPECT_TRUE(QFileInfo(ws.path("vale|2")).isDir());
    EXPECT_EQ(text(root, "lbNoAdv"), "Jogo | vale|2 \t");

    // A name that would leave the workspace, or none at all, opens nothing.
    for (int row : {2, 3}) {
        chooseGroup(root, row);
        EXPECT_EQ(text(root, "Msg2"), QString::fromUtf8("Grupo inválido!"));
        EXPECT_EQ(form->adventure().name(), "vale|2");
    }

    // A reconnect that is not answered Ok changes nothing and still shows the
    // window; one answered Ok drops back to connected, the buttons stay.
    click(child(root, "btJanCnc"));
    groups_.answer("Falhou");
    click(child(root, "btCnc"));
    EXPECT_TRUE(shown(root, "JanCnc"));
    EXPECT_EQ(led(root), kLime);
    groups_.answer("Ok");
    click(child(root, "btCnc"));
    EXPECT_EQ(led(root), kRed);
    EXPECT_TRUE(groups(root).isEmpty());
    EXPECT_TRUE(shown(root, "btDwAdv"));
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST(ConnectionWindow, EnterStoresThePasswordAndTheToggleShowsIt) {
    TestWorkspace ws;
    GroupServer groups_;
    groups_.answer("Ok\r\nA torre|torre\r\n");
    ws.write("torre/sen.txt", crlf({"velha", "ignorada"}));
    auto form = startProgram(ws, groups_.server.base());
    QWidget* root = form.get();
    click(child(root, "btCnc"));
    chooseGroup(root, 0);
    auto* box = child<QLineEdit>(root, "Senha");
    EXPECT_EQ(box->text(), "velha");

    typePassword(root, "segredo");
    EXPECT_EQ(ws.read("torre/sen.txt"), "segredo\r\n");
    typePassword(root, "");
    EXPECT_EQ(ws.read("torre/sen.txt"), "\r\n");
    // Another key only edits the box.
    QTest::keyClicks(box, "x y");
    EXPECT_EQ(ws.read("torre/sen.txt"), "\r\n");
    EXPECT_EQ(box->text(), "x y");

    // Masked with "#", the real text kept; each click on "[-]" flips it.
    EXPECT_EQ(box->echoMode(), QLineEdit::Password);
    EXPECT_EQ(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box), '#');
    click(child(root, "Label46"));
    EXPECT_EQ(box->echoMode(), QLineEdit::Normal);
    click(child(root, "Label46"));
    EXPECT_EQ(box->echoMode(), QLineEdit::Password);
    EXPECT_EQ(box->text(), "x y");
}

TEST(AdventureTransfer, DownloadMovesTheGaugeInStepsAndSkipsNamesOutsideTheFolder) {
    TestWorkspace ws;
    ws.write("aventura/local.txt", "fica");
    FaultServer server([](const FaultServer::Request& r) {
        const QByteArray line = r.requestLine();
        if (line.contains("lstarqs.php"))
            return FaultServer::ok("Ok\r\num.bin\r\n../fora.txt\r\nsumiu.png\r\n");
        if (line.contains("/aventura/um.bin"))
            return FaultServer::ok(QByteArray("\0\r\n\xff", 4));
        return FaultServer::status(404, "nada");
    });
    ServerClient client(server.base());
    QStringList statuses;
    QList<QPair<int, int>> gauge;
    const auto result = AdventureTransfer::downloadAll(
        client, "aventura", ws.path("aventura/"),
        {[&](const QString& s) { statuses << s; }, [&](int p, int m) { gauge.append({p, m}); }});
    EXPECT_EQ(result.written, QStringList{"um.bin"});
    EXPECT_EQ(result.failed, (QStringList{"../fora.txt", "sumiu.png"}));  // named so they can be fetched again
    EXPECT_EQ(statuses, (QStringList{"Pasta vazia", "Ok", "Nome recusado: ../fora.txt", "Falha download",
                                     "Download completo"}));
    EXPECT_EQ(gauge, (QList<QPair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 3}}));
    EXPECT_EQ(ws.read("aventura/um.bin"), QByteArray("\0\r\n\xff", 4));
    EXPECT_EQ(ws.read("aventura/local.txt"), "fica");
    EXPECT_FALSE(ws.exists("fora.txt"));
    for (const auto& r : server.requests())
        EXPECT_FALSE(r.requestLine().contains("fora")) << r.requestLine().constData();

    // A list that is not Ok, or names nothing, leaves "Pasta vazia".
    for (const QByteArray& reply : {QByteArray("Ok\r\n"), QByteArray("Erro\r\na.txt\r\n")}) {
        server.setScript([reply](const FaultServer::Request&) { return FaultServer::ok(reply); });
        statuses.clear();
        gauge.clear();
        AdventureTransfer::downloadAll(client, "aventura", ws.path("aventura/"),
                                       {[&](const QString& s) { statuses << s; },
                                        [&](int p, int m) { gauge.append({p, m}); }});
        EXPECT_EQ(statuses, QStringList{"Pasta vazia"});
        EXPECT_EQ(gauge.last().first, 0);
    }
}

// The downloads of a whole adventure take their places together at the end:
// while they run the old files stand, and when the files cannot reach the
// disk every old file stays and each name is listed to fetch again.
TEST(AdventureTransfer, DownloadedFilesTakeTheirPlacesTogetherOrNotAtAll) {
    struct Restore {
        ~Restore() { resetWriteSystemCalls(); }
    } restore;
    TestWorkspace ws;
    ws.write("aventura/a.txt", "velho a");
    ws.write("aventura/b.txt", "velho b");
    FaultServer server([](const FaultServer::Request& r) {
        const QByteArray line = r.requestLine();
        if (line.contains("lstarqs.php"))
            return FaultServer::ok("Ok\r\na.txt\r\nb.txt\r\nc.txt\r\n");
        return FaultServer::ok("novo " + line.mid(line.indexOf("/aventura/") + 10, 1));
    });
    ServerClient client(server.base());
    QStringList statuses;
    QList<QByteArray> aWhileRunning;
    const AdventureTransfer::Progress progress{[&](const QString& s) {
                                                   statuses << s;
                                                   aWhileRunning << ws.read("aventura/a.txt");
                                               },
                                               [](int, int) {}};

    writeSystemCalls().fdatasync = [](int) { errno = EIO; return -1; };
    auto result = AdventureTransfer::downloadAll(client, "aventura", ws.path("aventura/"), progress);
    EXPECT_TRUE(result.written.isEmpty());
    EXPECT_EQ(result.failed, (QStringList{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(statuses, (QStringList{"Pasta vazia", "Ok", "Ok", "Ok", "Falha download", "Download completo"}));
    EXPECT_EQ(ws.read("aventura/a.txt"), "velho a");
    EXPECT_EQ(ws.read("aventura/b.txt"), "velho b");
    EXPECT_FALSE(ws.exists("aventura/c.txt"));
    EXPECT_EQ(QDir(ws.path("aventura")).entryList(QDir::Files | QDir::Hidden).size(), 2);

    resetWriteSystemCalls();
    statuses.clear();
    aWhileRunning.clear();
    result = AdventureTransfer::downloadAll(client, "aventura", ws.path("aventura/"), progress);
    EXPECT_EQ(result.written, (QStringList{"a.txt", "b.txt", "c.txt"}));
    EXPECT_TRUE(result.failed.isEmpty());
    EXPECT_EQ(statuses, (QStringList{"Pasta vazia", "Ok", "Ok", "Ok", "Download completo"}));
    EXPECT_EQ(aWhileRunning, (QList<QByteArray>{"velho a", "velho a", "velho a", "velho a", "novo a"}));
    EXPECT_EQ(ws.read("aventura/c.txt"), "novo c");

    // A file that cannot be written fails at its own place in the list; the
    // others are written. Its "Ok" on arrival is followed by "Falha download"
    // once its write is found to have failed, before the next file's status.
    ws.write("aventura/b.txt", "velho b");
    QFile::setPermissions(ws.path("aventura/b.txt"), QFile::ReadOwner);
    statuses.clear();
    result = AdventureTransfer::downloadAll(client, "aventura", ws.path("aventura/"), progress);
    EXPECT_EQ(result.written, (QStringList{"a.txt", "c.txt"}));
    EXPECT_EQ(result.failed, QStringList{"b.txt"});
    EXPECT_EQ(statuses, (QStringList{"Pasta vazia", "Ok", "Ok", "Falha download", "Ok", "Download completo"}));
    EXPECT_EQ(ws.read("aventura/b.txt"), "velho b");
}

TEST(AdventureTransfer, UploadSendsEveryPlainFileButThePasswordFile) {
    TestWorkspace ws;
    ws.write("aventura/sen.txt", "segredo\r\n");
    ws.write("aventura/a.bin", "abc");
    ws.write("aventura/b.map", "x\r\n");
    ws.write("aventura/.oculto", "h");
    ws.write("aventura/sub/dentro.txt", "d");
    FaultServer server([](const FaultServer::Request&) { return FaultServer::ok("Ok"); });
    ServerClient client(server.base());
    QStringList statuses;
    QList<QPair<int, int>> gauge;
    AdventureTransfer::uploadAll(client, "aventura", ws.path("aventura/"), "pw",
                                 {[&](const QString& s) { statuses << s; },
                                  [&](int p, int m) { gauge.append({p, m}); }});
    QStringList sent;
    for (const auto& r : server.requests()) {
        const QByteArray line = r.requestLine();
        const qsizetype from = line.indexOf("&Arq=") + 5;
        sent << QString::fromLatin1(line.mid(from, line.indexOf("&Senha=") - from));
    }
    sent.sort();
    EXPECT_EQ(sent, (QStringList{"a.bin", "b.map"}));
    EXPECT_EQ(statuses, QStringList{"Upload completo!"});
    EXPECT_EQ(gauge.first(), qMakePair(0, 3));  // sen.txt counts, the hidden file does not
    EXPECT_EQ(gauge.size(), 5);
    EXPECT_EQ(gauge.last(), qMakePair(0, 3));

    // Only the password file: nothing goes out, the gauge moves once.
    TestWorkspace only;
    only.write("aventura/sen.txt", "s\r\n");
    const auto before = server.requests().size();
    gauge.clear();
    AdventureTransfer::uploadAll(client, "aventura", only.path("aventura/"), "pw",
                                 {[&](const QString&) {}, [&](int p, int m) { gauge.append({p, m}); }});
    EXPECT_EQ(server.requests().size(), before);
    EXPECT_EQ(gauge, (QList<QPair<int, int>>{{0, 1}, {1, 1}, {0, 1}}));
}

// "Falha download" flashes by; the files that failed stay named on the
// status line and the gauge until the next transfer.
TEST(ConnectionWindow, AWholeDownloadNamesTheFilesThatFailed) {
    TestWorkspace ws;
    FaultServer server([](const FaultServer::Request& r) {
        const QByteArray line = r.requestLine();
        if (line.contains("grupos.php"))
            return FaultServer::ok("Ok\r\nA aventura|aventura\r\n");
        if (line.contains("lstarqs.php"))
            return FaultServer::ok("Ok\r\num.bin\r\nsumiu.png\r\n../fora.txt\r\nfoi.wav\r\n");
        if (line.contains("/aventura/um.bin ") || line.contains("/aventura/foi.wav "))
            return FaultServer::ok("dados");
        if (line.startsWith("POST"))
            return FaultServer::ok("Ok");
        return FaultServer::status(404, "nada");
    });
    auto form = startProgram(ws, server.base());
    QWidget* root = form.get();
    click(child(root, "btCnc"));
    chooseGroup(root, 0);

    // After the final text, a message box names what was not written, and why.
    test::Questions questions;
    questions.click("JanFalha", "btFalhaOk");
    click(child(root, "btDwAdv"));
    ASSERT_TRUE(waitForTransfer(form.get()));
    EXPECT_EQ(text(root, "Msg2"), "Download completo");
    ASSERT_EQ(questions.names(), QStringList{"JanFalha"});
    const QString told = questions.asked().first().text;
    EXPECT_TRUE(told.contains("sumiu.png: ") && told.contains("../fora.txt: ")) << told.toStdString();
    EXPECT_FALSE(told.contains("foi.wav"));
    EXPECT_EQ(child(root, "Msg2")->toolTip(), "Falharam: sumiu.png, ../fora.txt");
    EXPECT_EQ(child(root, "G1")->toolTip(), "Falharam: sumiu.png, ../fora.txt");
    EXPECT_EQ(ws.read("aventura/foi.wav"), "dados");

    child<QLineEdit>(root, "Senha")->setText("pw");
    click(child(root, "btUpAdv"));
    ASSERT_TRUE(waitForTransfer(form.get()));
    EXPECT_EQ(text(root, "Msg2"), "Upload completo!");
    EXPECT_EQ(child(root, "Msg2")->toolTip(), "");
    EXPECT_EQ(child(root, "G1")->toolTip(), "");
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}

namespace {

// What the gauge and the status line last painted, read by the test server's
// thread while the window waits for its reply. The gauge is measured by its
// orange columns, the status line by its text.
class PaintedState : public QObject {
public:
    PaintedState(QWidget* gauge, QLabel* status) : gauge_(gauge), status_(status) {
        gauge->installEventFilter(this);
        status->installEventFilter(this);
    }
    std::pair<int, QString> shown() const {
        std::lock_guard lock(mutex_);
        return {columns_, text_};
    }
    // Every text the status line painted, a repaint of the same text once.
    QStringList texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || rendering_)
            return false;
        if (watched == gauge_) {
            rendering_ = true;
            QImage image(gauge_->size(), QImage::Format_RGB32);
            image.fill(Qt::black);
            gauge_->render(&image);
            rendering_ = false;
            int columns = 0;
            for (int x = 0; x < image.width(); ++x)
                columns += image.pixel(x, image.height() / 2) == qRgb(255, 128, 0);
            std::lock_guard lock(mutex_);
            columns_ = columns;
        } else if (watched == status_) {
            std::lock_guard lock(mutex_);
            text_ = status_->text();
            if (!text_.isEmpty() && (texts_.isEmpty() || texts_.last() != text_))
                texts_ << text_;
        }
        return false;
    }

private:
    QWidget* gauge_;
    QLabel* status_;
    bool rendering_ = false;
    mutable std::mutex mutex_;
    int columns_ = -1;
    QString text_;
    QStringList texts_;
};

}  // namespace

// While each file's request waits at the server, the window shows every
// file fetched before it on the gauge and the file asked for on the status
// line: five files move the 80 columns by 16. Every text reaches the screen,
// in order: a file refused by the server shows "Falha download" until the
// next one is named; a file fetched but not written shows it when its write
// is found to have failed.
TEST(ConnectionWindow, EachFileRequestFindsTheFilesBeforeItShown) {
    TestWorkspace ws;
    ws.write("aventura/b.txt", "velho b");
    QFile::setPermissions(ws.path("aventura/b.txt"), QFile::ReadOwner);
    std::mutex mutex;
    PaintedState* painted = nullptr;
    QList<std::pair<int, QString>> atRequest;
    QStringList requested;
    FaultServer server([&](const FaultServer::Request& r) {
        const QByteArray line = r.requestLine();
        if (line.contains("grupos.php"))
            return FaultServer::ok("Ok\r\nA aventura|aventura\r\n");
        if (line.contains("lstarqs.php"))
            return FaultServer::ok("Ok\r\na.txt\r\nb.txt\r\nc.txt\r\nd.txt\r\ne.txt\r\n");
        const qsizetype at = line.indexOf("/aventura/");
        if (at < 0)
            return FaultServer::status(404, "nada");
        const QByteArray name = line.mid(at + 10, 5);
        qsizetype index = 0;
        {
            std::lock_guard lock(mutex);
            index = requested.size();
            requested << QString::fromLatin1(name);
        }
        // The window paints on its own thread meanwhile: it has a moment
        // to catch up with what the transfer told it.
        const std::pair<int, QString> wanted{int(16 * index),
                                             QStringLiteral("%1 de 5: %2").arg(index + 1).arg(QLatin1String(name))};
        std::pair<int, QString> seen{-2, {}};
        for (int waited = 0; waited < 5000 && seen != wanted; waited += 5) {
            {
                std::lock_guard lock(mutex);
                seen = painted ? painted->shown() : std::pair<int, QString>{-2, {}};
            }
            if (seen != wanted)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        {
            std::lock_guard lock(mutex);
            atRequest << seen;
        }
        if (name == "d.txt")
            return FaultServer::status(404, "nada");
        return FaultServer::ok("novo " + name);
    });
    auto form = startProgram(ws, server.base());
    QWidget* root = form.get();
    click(child(root, "btCnc"));
    chooseGroup(root, 0);
    ASSERT_EQ(child(root, "G1")->width(), 80);
    PaintedState state(child(root, "G1"), child<QLabel>(root, "Msg2"));
    {
        std::lock_guard lock(mutex);
        painted = &state;
    }

    test::Questions questions;
    questions.click("JanFalha", "btFalhaOk");
    click(child(root, "btDwAdv"));
    ASSERT_TRUE(waitForTransfer(form.get()));
    {
        std::lock_guard lock(mutex);
        painted = nullptr;
    }
    EXPECT_EQ(questions.names(), QStringList{"JanFalha"}) << "the failures told after the final text";
    EXPECT_EQ(requested, (QStringList{"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}));
    using Shown = std::pair<int, QString>;
    EXPECT_EQ(atRequest, (QList<Shown>{{0, "1 de 5: a.txt"}, {16, "2 de 5: b.txt"}, {32, "3 de 5: c.txt"},
                                       {48, "4 de 5: d.txt"}, {64, "5 de 5: e.txt"}}));
    EXPECT_EQ(state.texts(), (QStringList{"Pasta vazia", "1 de 5: a.txt", "Ok", "2 de 5: b.txt", "Ok",
                                          "3 de 5: c.txt", "Falha download", "Ok", "4 de 5: d.txt",
                                          "Falha download", "5 de 5: e.txt", "Ok", "Download completo"}));
    EXPECT_EQ(state.shown(), (Shown{0, "Download completo"}));
    EXPECT_EQ(child(root, "Msg2")->toolTip(), "Falharam: b.txt, d.txt");
    EXPECT_EQ(ws.read("aventura/b.txt"), "velho b");
    EXPECT_EQ(ws.read("aventura/e.txt"), "novo e.txt");
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}

TEST(ConnectionWindow, WholeDownloadAndUploadAgainstTheReferenceServer) {
    QTemporaryDir data;
    const QString stored = data.path() + "/adventures/Floresta/";
    ReferenceServer::addGroup(data.path(), "Floresta", "demo", "Floresta (teste)");
    QByteArray binary;
    for (int b = 0; b < 256; ++b)
        binary += char(b);
    QDir().mkpath(stored);
    auto put = [&](const QString& name, const QByteArray& bytes) {
        QFile f(stored + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    put("Floresta.map", crlf({"Clareira", "3"}));
    put("Floresta.ini", crlf({"640", "480"}));
    put("Floresta.obx", crlf({"chave", "1"}));
    put("imagem.png", binary);
    ReferenceServer server(data.path());

    TestWorkspace ws;
    ws.write("Floresta/local.txt", "so aqui");
    auto form = startProgram(ws, server.base());
    QWidget* root = form.get();
    click(child(root, "btCnc"));
    ASSERT_EQ(groups(root), QStringList{"Floresta (teste)|Floresta"});
    chooseGroup(root, 0);

    click(child(root, "btDwAdv"));
    ASSERT_TRUE(waitForTransfer(form.get()));
    EXPECT_EQ(text(root, "Msg2"), "Download completo");
    EXPECT_EQ(child<Gauge>(root, "G1")->progress(), 0);
    EXPECT_EQ(ws.read("Floresta/imagem.png"), binary);
    EXPECT_EQ(ws.read("Floresta/Floresta.ini"), crlf({"640", "480"}));
    EXPECT_EQ(ws.read("Floresta/local.txt"), "so aqui");
    // The downloaded lists are the ones in memory now, so the end of the
    // program writes them back unchanged.
    EXPECT_EQ(form->map().name(0), "Clareira");
    EXPECT_EQ(form->adventure().settingsList(), (QStringList{"640", "480"}));
    EXPECT_EQ(form->adventure().currentStatusList(), (QStringList{"chave", "1"}));

    // Upload: no password, nothing sent.
    ws.write("Floresta/novo.bin", binary + binary);
    click(child(root, "btUpAdv"));
    EXPECT_FALSE(form->document().transferRunning());
    EXPECT_EQ(text(root, "Msg2"), "Falta senha!");
    EXPECT_FALSE(QFileInfo::exists(stored + "novo.bin"));

    child<QLineEdit>(root, "Senha")->setText("demo");
    click(child(root, "btUpAdv"));
    ASSERT_TRUE(waitForTransfer(form.get()));
    EXPECT_EQ(text(root, "Msg2"), "Upload completo!");
    EXPECT_EQ(child<Gauge>(root, "G1")->progress(), 0);
    QFile sent(stored + "novo.bin");
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_EQ(sent.readAll(), binary + binary);
    EXPECT_TRUE(QFileInfo::exists(stored + "local.txt"));
    EXPECT_TRUE(QFileInfo::exists(stored + "Floresta.rgs"));
    EXPECT_FALSE(QFileInfo::exists(stored + "sen.txt"));
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}

namespace {

// Acts on JanSinc once it is open (it waits for the author in its own loop):
// gives its rows, then clicks `button`.
class SyncAnswer {
public:
    explicit SyncAnswer(const char* button) : button_(QString::fromLatin1(button)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() != QLatin1String("JanSinc") || !w->isVisible())
                    continue;
                auto* list = w->findChild<QTableWidget*>(QStringLiteral("LstSinc"));
                for (int row = 0; list && row < list->rowCount(); ++row)
                    rows_ << list->item(row, 0)->text();
                timer_.stop();
                click(w->findChild<QWidget*>(button_));
                return;
            }
        });
        timer_.start(10);
    }
    const QStringList& rows() const { return rows_; }

private:
    QString button_;
    QTimer timer_;
    QStringList rows_;
};

}  // namespace

// Two authors on one group: the second upload of a script both changed is no
// overwrite but a conflict in JanSinc; keeping both saves the server's copy
// beside, the next upload sends the merged one, and the first author's next
// download brings it, nothing lost anywhere.
TEST(ConnectionWindow, TwoAuthorsOnOneGroupMeetTheirConflictInJanSinc) {
    QTemporaryDir data;
    const QString stored = data.path() + "/adventures/Floresta/";
    ReferenceServer::addGroup(data.path(), "Floresta", "demo", "Floresta (teste)");
    QDir().mkpath(stored);
    QFile first(stored + "Clareira.scp");
    ASSERT_TRUE(first.open(QIODevice::WriteOnly));
    first.write(crlf({"  norte= Torre"}));
    first.close();
    ReferenceServer server(data.path());

    TestWorkspace wsA, wsB;
    auto formA = startProgram(wsA, server.base());
    auto formB = startProgram(wsB, server.base());
    for (TForm1* root : {formA.get(), formB.get()}) {
        click(child(root, "btCnc"));
        chooseGroup(root, 0);
        click(child(root, "btDwAdv"));
        ASSERT_TRUE(waitForTransfer(root));
        ASSERT_EQ(text(root, "Msg2"), "Download completo");
        child<QLineEdit>(root, "Senha")->setText("demo");
    }
    wsA.write("Floresta/Clareira.scp", crlf({"  norte= Torre", "  leste= Cabana"}));
    click(child(formA.get(), "btUpAdv"));
    ASSERT_TRUE(waitForTransfer(formA.get()));
    EXPECT_EQ(text(formA.get(), "Msg2"), "Upload completo!");

    wsB.write("Floresta/Clareira.scp", crlf({"  norte= Torre", "  sul= Caverna"}));
    {
        SyncAnswer answer("btSincAmbos");
        click(child(formB.get(), "btUpAdv"));
        ASSERT_TRUE(waitForTransfer(formB.get()));
        EXPECT_EQ(answer.rows(), QStringList{"Clareira.scp"});
    }
    EXPECT_EQ(wsB.read("Floresta/Clareira.scp"), crlf({"  norte= Torre", "  sul= Caverna"}));
    EXPECT_EQ(wsB.read("Floresta/Clareira (servidor).scp"), crlf({"  norte= Torre", "  leste= Cabana"}));
    QFile onServer(stored + "Clareira.scp");
    ASSERT_TRUE(onServer.open(QIODevice::ReadOnly));
    EXPECT_EQ(onServer.readAll(), crlf({"  norte= Torre", "  leste= Cabana"})) << "A's work stays";
    onServer.close();

    // B merges and sends: now a change made here only.
    wsB.write("Floresta/Clareira.scp", crlf({"  norte= Torre", "  leste= Cabana", "  sul= Caverna"}));
    click(child(formB.get(), "btUpAdv"));
    ASSERT_TRUE(waitForTransfer(formB.get()));
    EXPECT_EQ(text(formB.get(), "Msg2"), "Upload completo!");
    ASSERT_TRUE(onServer.open(QIODevice::ReadOnly));
    EXPECT_EQ(onServer.readAll(), crlf({"  norte= Torre", "  leste= Cabana", "  sul= Caverna"}));
    EXPECT_FALSE(QFileInfo::exists(stored + "Clareira (servidor).scp")) << "the copy beside stays local";

    // A had not changed it since: the download brings the merge.
    click(child(formA.get(), "btDwAdv"));
    ASSERT_TRUE(waitForTransfer(formA.get()));
    EXPECT_EQ(wsA.read("Floresta/Clareira.scp"), crlf({"  norte= Torre", "  leste= Cabana", "  sul= Caverna"}));
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}

namespace {

using test::FakeAdventureServer;

// Holds the server's answer to one request until the test lets it go, so
// that the test acts while that file is in flight. Shared with the server's
// thread, which may still be inside when the test ends.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<bool(const FaultServer::Request&)> counts;  // the requests counted
    int held = -1;  // which of them (from 0) waits; -1: none
    int seen = 0;
    bool open = false;

    static std::shared_ptr<Gate> on(FakeAdventureServer& server, std::function<bool(const FaultServer::Request&)> counts,
                                    int held, int delayMs = 0) {
        auto gate = std::make_shared<Gate>();
        gate->counts = std::move(counts);
        gate->held = held;
        server.beforeAnswer([gate, delayMs](const FaultServer::Request& r) { gate->pass(r, delayMs); });
        return gate;
    }
    void pass(const FaultServer::Request& r, int delayMs) {
        if (!counts(r))
            return;
        if (delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        std::unique_lock lock(mutex);
        const int index = seen++;
        changed.notify_all();
        if (index == held)
            changed.wait_for(lock, std::chrono::seconds(20), [this] { return open; });
    }
    // Processes the window's events until the held request has arrived.
    bool waitUntilHeld() {
        return QTest::qWaitFor(
            [this] {
                std::lock_guard lock(mutex);
                return seen > held;
            },
            10000);
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

bool isUpload(const FaultServer::Request& r) {
    return r.requestLine().contains("putarq.php");
}

bool isFileDownload(const FaultServer::Request& r) {
    return r.requestLine().startsWith("GET /Orvalis/Floresta/");
}

// A request as it would be sent again: only the multipart boundary, drawn
// at random for each, is put aside.
QByteArray comparable(const FaultServer::Request& r) {
    QByteArray bytes = r.head + r.body;
    const qsizetype at = r.head.indexOf("boundary=");
    if (at >= 0) {
        const qsizetype end = r.head.indexOf("\r\n", at);
        bytes.replace(r.head.mid(at + 9, end - at - 9), "<boundary>");
    }
    return bytes;
}

QList<QByteArray> comparableSince(const FakeAdventureServer& server, size_t from) {
    QList<QByteArray> list;
    const auto requests = server.requests();
    for (size_t i = from; i < requests.size(); ++i)
        list << comparable(requests[i]);
    return list;
}

// The group chosen, its password typed: a whole upload of "Floresta" sends
// `files` files, named in the folder's own order.
QStringList readyToUpload(TForm1* form, const TestWorkspace& ws, int files) {
    for (int i = 0; i < files; ++i)
        ws.write(QStringLiteral("Floresta/f%1.bin").arg(i, 2, 10, QLatin1Char('0')), QByteArray(100 + i, char('a' + i % 26)));
    click(child(form, "btCnc"));
    chooseGroup(form, 0);
    child<QLineEdit>(form, "Senha")->setText("segredo");
    QStringList sent = AdventureTransfer::folderListing(ws.path("Floresta/"));
    sent.removeAll("sen.txt");
    return sent;
}

}  // namespace

// A whole upload runs while the window answers: a timer of the interface
// thread keeps firing, "Parar" shows only meanwhile, and the status line names
// each file before the final text. The server sees exactly the requests the
// transfer sends when run on its own, in the same order.
TEST(ConnectionWindow, AWholeUploadLeavesTheWindowAnsweringAndNamesEachFile) {
    TestWorkspace ws;
    FakeAdventureServer server(false);
    auto form = startProgram(ws, server.base());
    TForm1* root = form.get();
    const QStringList files = readyToUpload(root, ws, 40);
    Gate::on(server, isUpload, -1, 10);
    EXPECT_FALSE(shown(root, "btCanTrf"));
    EXPECT_EQ(child(root, "btCanTrf")->geometry(), QRect(198, 248, 60, 24));

    PaintedState painted(child(root, "G1"), child<QLabel>(root, "Msg2"));
    int ticks = 0;
    bool stopShown = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (root->document().transferRunning()) {
            ++ticks;
            stopShown |= shown(root, "btCanTrf");
        }
    });
    timer.start(5);
    const size_t before = server.requests().size();
    click(child(root, "btUpAdv"));
    ASSERT_TRUE(waitForTransfer(root));
    timer.stop();
    EXPECT_GE(ticks, 20) << "40 uploads of 10 ms each leave the window's own timer running";
    EXPECT_TRUE(stopShown);
    EXPECT_FALSE(shown(root, "btCanTrf"));
    EXPECT_EQ(text(root, "Msg2"), "Upload completo!");
    EXPECT_EQ(child<Gauge>(root, "G1")->progress(), 0);

    QStringList expected;
    for (int i = 0; i < files.size(); ++i)
        expected << QStringLiteral("%1 de %2: %3").arg(i + 1).arg(files.size()).arg(files[i]);
    expected << "Upload completo!";
    QStringList texts = painted.texts();
    while (!texts.isEmpty() && !texts.first().startsWith("1 de "))
        texts.removeFirst();
    EXPECT_EQ(texts, expected);

    const QList<QByteArray> fromWindow = comparableSince(server, before);
    ASSERT_EQ(fromWindow.size(), files.size());
    ServerClient client(server.base());
    const size_t direct = server.requests().size();
    AdventureTransfer::uploadAll(client, "Floresta", ws.path("Floresta/"), "segredo", {[](const QString&) {}, [](int, int) {}});
    EXPECT_EQ(comparableSince(server, direct), fromWindow);
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}

// "Parar" during the third upload: that file goes, no other; the server has
// seen the start of a whole run, byte for byte, and nothing else. While the
// transfer runs no second one starts and the group list is not asked for.
TEST(ConnectionWindow, PararStopsAWholeUploadAfterTheFileInFlight) {
    TestWorkspace ws;
    FakeAdventureServer server(false);
    auto form = startProgram(ws, server.base());
    TForm1* root = form.get();
    const QStringList files = readyToUpload(root, ws, 12);

    size_t before = server.requests().size();
    click(child(root, "btUpAdv"));
    ASSERT_TRUE(waitForTransfer(root));
    const QList<QByteArray> whole = comparableSince(server, before);
    ASSERT_EQ(whole.size(), files.size());

    auto gate = Gate::on(server, isUpload, 2);
    before = server.requests().size();
    click(child(root, "btUpAdv"));
    ASSERT_TRUE(gate->waitUntilHeld());
    EXPECT_TRUE(shown(root, "btCanTrf"));
    const QString third = QStringLiteral("3 de %1: %2").arg(files.size()).arg(files[2]);
    EXPECT_TRUE(QTest::qWaitFor([&] { return text(root, "Msg2") == third; }, 5000)) << text(root, "Msg2").toStdString();
    click(child(root, "btUpAdv"));
    click(child(root, "btDwAdv"));
    click(child(root, "btCnc"));
    click(child(root, "btCanTrf"));
    gate->release();
    ASSERT_TRUE(waitForTransfer(root));

    EXPECT_EQ(comparableSince(server, before), whole.mid(0, 3));
    EXPECT_EQ(text(root, "Msg2"), QStringLiteral("Parado: 3/%1").arg(files.size()));
    EXPECT_FALSE(shown(root, "btCanTrf"));
    EXPECT_EQ(child<Gauge>(root, "G1")->progress(), 0);
    EXPECT_EQ(root->connection().state(), ConnectionState::Ready);
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}

// Stopped mid-download, the files that came are in place and recorded as
// exchanged, the others untouched: the next whole download fetches only them.
TEST(ConnectionWindow, PararStopsAWholeDownloadAndRecordsWhatCame) {
    TestWorkspace ws;
    FakeAdventureServer server(true);
    QStringList names;
    for (int i = 0; i < 8; ++i) {
        names << QStringLiteral("c%1.png").arg(i);
        server.put(names.last().toLatin1(), "imagem " + QByteArray::number(i));
    }
    auto form = startProgram(ws, server.base());
    TForm1* root = form.get();
    click(child(root, "btCnc"));
    chooseGroup(root, 0);

    auto gate = Gate::on(server, isFileDownload, 2);
    click(child(root, "btDwAdv"));
    ASSERT_TRUE(gate->waitUntilHeld());
    click(child(root, "btCanTrf"));
    gate->release();
    ASSERT_TRUE(waitForTransfer(root));
    EXPECT_EQ(text(root, "Msg2"), "Parado: 3/8");
    EXPECT_FALSE(shown(root, "btCanTrf"));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ws.read("Floresta/" + names[i]), i < 3 ? "imagem " + QByteArray::number(i) : "<missing>") << i;
    const SyncRecord record = SyncRecord::load(ws.path("Floresta/"), server.base());
    QStringList recorded = record.names();
    recorded.sort();
    EXPECT_EQ(recorded, names.mid(0, 3));
    EXPECT_TRUE(child<ConnectionWindow>(root, "JanCnc")->failedDownloads().isEmpty());

    server.beforeAnswer({});
    const size_t before = server.requests().size();
    click(child(root, "btDwAdv"));
    ASSERT_TRUE(waitForTransfer(root));
    EXPECT_EQ(text(root, "Msg2"), "Download completo");
    QStringList fetched;
    const auto requests = server.requests();
    for (size_t i = before; i < requests.size(); ++i)
        if (isFileDownload(requests[i]))
            fetched << QString::fromLatin1(requests[i].requestLine().split(' ')[1].mid(18));
    EXPECT_EQ(fetched, names.mid(3));
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}

// While a whole transfer runs the editors write none of the adventure's
// files: their save buttons, Ctrl+S and the per-item Upload say so in their
// window's status label instead. Once it is over they save again.
TEST(ConnectionWindow, NothingIsSavedWhileAWholeTransferRuns) {
    TestWorkspace ws;
    FakeAdventureServer server(false);
    auto form = startProgram(ws, server.base());
    TForm1* root = form.get();
    readyToUpload(root, ws, 4);
    root->btRegClick();
    auto* registers = child<QPlainTextEdit>(root, "Regs");
    registers->appendPlainText("mudado");
    const QByteArray rgs = ws.read("Floresta/Floresta.rgs");
    const QByteArray rgx = ws.read("Floresta/Floresta.rgx");
    root->btMapClick();

    auto gate = Gate::on(server, isUpload, 1);
    click(child(root, "btUpAdv"));
    ASSERT_TRUE(gate->waitUntilHeld());
    const size_t during = server.requests().size();
    const QString wait = QString::fromUtf8("Aguarde o fim da transferência.");

    click(child(root, "btImgSav"));
    EXPECT_EQ(text(root, "Msg1"), wait);
    EXPECT_FALSE(ws.exists("Floresta/Floresta-mapa.png"));
    child<QLabel>(root, "Msg1")->clear();
    click(child(root, "btGrMap"));
    EXPECT_EQ(text(root, "Msg1"), wait);
    EXPECT_FALSE(ws.exists("Floresta/Floresta.map"));
    child<QLabel>(root, "Msg1")->clear();
    click(child(root, "btUpMap"));
    EXPECT_EQ(text(root, "Msg1"), wait);

    click(child(root, "bnRegGr"));
    EXPECT_EQ(text(root, "Msg7"), wait);
    child<QLabel>(root, "Msg7")->clear();
    QTest::keyClick(registers, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(text(root, "Msg7"), wait);
    EXPECT_EQ(ws.read("Floresta/Floresta.rgs"), rgs);
    EXPECT_EQ(ws.read("Floresta/Floresta.rgx"), rgx);
    EXPECT_EQ(server.requests().size(), during) << "nothing sent beside the transfer";

    // Opening another adventure would write this one's lists: refused, and
    // so is making a new one.
    ws.addAdventure("Outra");
    reportErrors([&] { root->OpenAdventure("Outra"); });  // as the adventure list's double-click does
    EXPECT_EQ(root->document().adventure().name(), "Floresta");
    EXPECT_FALSE(ws.exists("Floresta/Floresta.map"));
    EXPECT_EQ(test::reportedErrors(), QStringList{wait});
    test::reportedErrors().clear();
    click(child(root, "btNovAdv"));
    EXPECT_EQ(test::reportedErrors(), QStringList{wait});
    EXPECT_EQ(root->findChild<QWidget*>("JanNovAdv"), nullptr);
    test::reportedErrors().clear();
    // Nor a rename, which rewrites files, nor the password file.
    EXPECT_THROW(root->document().renameEverywhere("sala", "salao"), OrvalisError);
    const QByteArray password = ws.read("Floresta/sen.txt");
    QTest::keyClick(child(root, "Senha"), Qt::Key_Return);
    EXPECT_EQ(text(root, "Msg2"), wait);
    EXPECT_EQ(ws.read("Floresta/sen.txt"), password);

    gate->release();
    ASSERT_TRUE(waitForTransfer(root));
    EXPECT_EQ(text(root, "Msg2"), "Upload completo!");
    click(child(root, "bnRegGr"));
    EXPECT_EQ(text(root, "Msg7"), "Registradores gravados.");
    EXPECT_NE(ws.read("Floresta/Floresta.rgs") + ws.read("Floresta/Floresta.rgx"), rgs + rgx);
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}

// Closing the main window mid-transfer stops it after the file in flight and
// closes once it has stopped; destroying the window mid-transfer waits for
// that file too, before the exit saves.
TEST(ConnectionWindow, ClosingMidTransferStopsItFirst) {
    TestWorkspace ws;
    FakeAdventureServer server(false);
    auto form = startProgram(ws, server.base());
    TForm1* root = form.get();
    const QStringList files = readyToUpload(root, ws, 10);
    root->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(root));

    auto gate = Gate::on(server, isUpload, 1);
    click(child(root, "btUpAdv"));
    ASSERT_TRUE(gate->waitUntilHeld());
    root->close();
    EXPECT_TRUE(root->isVisible()) << "not while the file is in flight";
    gate->release();
    ASSERT_TRUE(waitForTransfer(root));
    EXPECT_TRUE(QTest::qWaitFor([root] { return !root->isVisible(); }, 5000));
    EXPECT_EQ(text(root, "Msg2"), QStringLiteral("Parado: 2/%1").arg(files.size()));
    EXPECT_EQ(server.accepted(), 2);

    // The window destroyed while a file is in flight.
    auto next = startProgram(ws, server.base());
    readyToUpload(next.get(), ws, 10);
    gate = Gate::on(server, isUpload, 1);
    const int accepted = server.accepted();
    click(child(next.get(), "btUpAdv"));
    ASSERT_TRUE(gate->waitUntilHeld());
    std::thread later([gate] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        gate->release();
    });
    next.reset();
    later.join();
    EXPECT_EQ(server.accepted(), accepted + 2);
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}
