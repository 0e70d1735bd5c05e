// The connection window as an author meets it: connecting, choosing a group,
// the group password, and moving a whole adventure up and down, against a
// scripted server and against the reference server.
#include "TestServers.h"
#include "widgets/PictureBox.h"
#include "widgets/Shape.h"
#include "app/TForm1.h"
#include "net/AdventureTransfer.h"
#include "net/ConnectionWindow.h"
#include "net/ServerClient.h"
#include "core/DurableWrite.h"
#include "support/WidgetLookup.h"
#include "support/QtTestMain.h"
#include "support/Questions.h"
#include "support/TestWorkspace.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QApplication>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
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

    writeSystemCalls().syncfs = [](int) { errno = EIO; return -1; };
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

// When each file's request reaches the server, the gauge already shows every
// file fetched before it and the status line the status of the last one:
// five files move the 80 columns by 16. A file refused by the server shows
// "Falha download" until the next one arrives; a file fetched but not
// written shows it when its write is found to have failed.
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
        {
            std::lock_guard lock(mutex);
            requested << QString::fromLatin1(name);
            atRequest << (painted ? painted->shown() : std::pair<int, QString>{-2, {}});
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
    {
        std::lock_guard lock(mutex);
        painted = nullptr;
    }
    EXPECT_EQ(questions.names(), QStringList{"JanFalha"}) << "the failures told after the final text";
    EXPECT_EQ(requested, (QStringList{"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}));
    using Shown = std::pair<int, QString>;
    EXPECT_EQ(atRequest, (QList<Shown>{{0, "Pasta vazia"}, {16, "Ok"}, {32, "Ok"}, {48, "Ok"},
                                       {64, "Falha download"}}));
    EXPECT_EQ(state.texts(), (QStringList{"Pasta vazia", "Ok", "Falha download", "Ok", "Falha download", "Ok",
                                          "Download completo"}));
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
    EXPECT_EQ(text(root, "Msg2"), "Falta senha!");
    EXPECT_FALSE(QFileInfo::exists(stored + "novo.bin"));

    child<QLineEdit>(root, "Senha")->setText("demo");
    click(child(root, "btUpAdv"));
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
    for (QWidget* root : {static_cast<QWidget*>(formA.get()), static_cast<QWidget*>(formB.get())}) {
        click(child(root, "btCnc"));
        chooseGroup(root, 0);
        click(child(root, "btDwAdv"));
        ASSERT_EQ(text(root, "Msg2"), "Download completo");
        child<QLineEdit>(root, "Senha")->setText("demo");
    }
    wsA.write("Floresta/Clareira.scp", crlf({"  norte= Torre", "  leste= Cabana"}));
    click(child(formA.get(), "btUpAdv"));
    EXPECT_EQ(text(formA.get(), "Msg2"), "Upload completo!");

    wsB.write("Floresta/Clareira.scp", crlf({"  norte= Torre", "  sul= Caverna"}));
    {
        SyncAnswer answer("btSincAmbos");
        click(child(formB.get(), "btUpAdv"));
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
    EXPECT_EQ(text(formB.get(), "Msg2"), "Upload completo!");
    ASSERT_TRUE(onServer.open(QIODevice::ReadOnly));
    EXPECT_EQ(onServer.readAll(), crlf({"  norte= Torre", "  leste= Cabana", "  sul= Caverna"}));
    EXPECT_FALSE(QFileInfo::exists(stored + "Clareira (servidor).scp")) << "the copy beside stays local";

    // A had not changed it since: the download brings the merge.
    click(child(formA.get(), "btDwAdv"));
    EXPECT_EQ(wsA.read("Floresta/Clareira.scp"), crlf({"  norte= Torre", "  leste= Cabana", "  sul= Caverna"}));
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}
