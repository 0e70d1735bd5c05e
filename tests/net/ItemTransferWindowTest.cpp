// The editors' Upload and Down buttons as the author presses them in the
// program, against a scripted server.
#include "TestServers.h"
#include "app/TForm1.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"
#include "support/WidgetLookup.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <mutex>

using namespace orv;
using orv::test::child;
using orv::test::click;
using test::FaultServer;
using test::TestWorkspace;

namespace {

QString text(QWidget* root, const char* name) {
    return child<QLabel>(root, name)->text();
}

// "Conectar", then a double-click on the one group the server lists.
void enterTheGroup(TForm1& form) {
    click(child(&form, "btCnc"));
    auto* groups = child<QListWidget>(&form, "LstGrp");
    ASSERT_EQ(groups->count(), 1);
    ASSERT_TRUE(test::doubleClickRow(groups, 0));
}

// Groups and a map to fetch; uploads are answered "Gravado", other files 404.
struct AdventureServer {
    std::mutex mutex;
    QByteArray mapReply = "Ok\r\nsala\r\ncorredor\r\n";
    FaultServer server{[this](const FaultServer::Request& r) {
        std::lock_guard lock(mutex);
        const QByteArray line = r.requestLine();
        if (line.contains("grupos.php"))
            return FaultServer::ok("Ok\r\nTexto | castelo\r\n");
        if (line.contains("gettxt.php") && line.contains("Arq=sala.scp"))
            return FaultServer::ok("Ok\r\nfala nova\r\n");
        if (line.contains("gettxt.php"))
            return FaultServer::ok(mapReply);
        if (line.contains("/castelo/castelo.obx "))
            return FaultServer::ok("obx do servidor\r\n");
        if (line.contains("puttxt.php") || line.contains("putarq.php"))
            return FaultServer::ok("Gravado");
        return FaultServer::status(404, "nada");
    }};
    std::vector<QByteArray> lines() const {
        std::vector<QByteArray> out;
        for (const auto& r : server.requests())
            out.push_back(r.requestLine());
        return out;
    }
};

// The program, started against the scripted server, in the server's group
// with the connection ready.
class ItemTransferWindows : public ::testing::Test {
protected:
    void SetUp() override {
        form.resize(1297, 802);
        form.show();
        enterTheGroup(form);
        ASSERT_TRUE(form.IsReady());
    }

    TestWorkspace ws;
    AdventureServer peer;
    bool freshReport = (test::reportedErrors().clear(), true);  // before the program starts
    TForm1 form{ws.programFile(), nullptr, peer.server.base()};
    QWidget* root = &form;
};

TEST_F(ItemTransferWindows, MapAndRegisterButtonsCheckSendFetchAndReport) {
    const size_t before = peer.server.requests().size();

    click(child(root, "btMap"));
    click(child(root, "btUpMap"));
    EXPECT_EQ(text(root, "Msg1"), "Falta senha!");
    EXPECT_EQ(peer.server.requests().size(), before);

    auto* senha = child<QLineEdit>(root, "Senha");
    QTest::keyClicks(senha, "segredo");
    QTest::keyClick(senha, Qt::Key_Return);
    click(child(root, "btUpMap"));
    ASSERT_EQ(peer.server.requests().size(), before + 1);
    EXPECT_TRUE(peer.lines().back().contains("puttxt.php?NoAdv=castelo&Arq=castelo.map&Senha=segredo "));
    EXPECT_TRUE(ws.exists("castelo/castelo.map"));  // saved before it went up
    EXPECT_EQ(text(root, "Msg1"), "Gravado");

    click(child(root, "btDwMap"));
    EXPECT_TRUE(peer.lines().back().contains("gettxt.php?NoAdv=castelo&Arq=castelo.map "));
    EXPECT_TRUE(ws.read("castelo/castelo.map").startsWith("sala\r\ncorredor\r\n"));
    EXPECT_EQ(text(root, "Msg1"), "Mapa atualizado!");

    {
        std::lock_guard lock(peer.mutex);
        peer.mapReply = "Nao\r\n";
    }
    click(child(root, "btDwMap"));
    EXPECT_EQ(text(root, "Msg1"), "Erro no download!");
    EXPECT_TRUE(ws.read("castelo/castelo.map").startsWith("sala\r\ncorredor\r\n"));

    // Both register files missing on the server: the end message all the same.
    click(child(root, "btReg"));
    click(child(root, "bnRegDw"));
    EXPECT_EQ(text(root, "Msg7"), "Download completo!");
    EXPECT_TRUE(peer.lines().back().contains("castelo.rgx"));
    click(child(root, "bnRegUp"));
    EXPECT_TRUE(peer.lines().back().contains("putarq.php?NoAdv=castelo&Arq=castelo.rgx&Senha=segredo "));
    EXPECT_EQ(text(root, "Msg7"), "Upload completo!");

    // No object selected: nothing goes out.
    const size_t sent = peer.server.requests().size();
    click(child(root, "btObj"));
    click(child(root, "bnUplObj"));
    click(child(root, "bnDwnObj"));
    EXPECT_EQ(peer.server.requests().size(), sent);
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

TEST_F(ItemTransferWindows, ScriptButtonsSendTheLoadedScriptAndLoadTheFetchedOne) {
    auto* senha = child<QLineEdit>(root, "Senha");
    QTest::keyClicks(senha, "segredo");
    QTest::keyClick(senha, Qt::Key_Return);
    const size_t before = peer.server.requests().size();

    // Nothing loaded yet: an empty script must not go up under no name.
    click(child(root, "btScp"));
    click(child(root, "bnUplScp"));
    EXPECT_EQ(text(root, "Msg3"), "Nenhum script carregado!");
    EXPECT_EQ(peer.server.requests().size(), before);

    ws.write("castelo/sala.scp", "fala velha\r\n");
    click(child(root, "btScp"));
    auto* list = child<QListWidget>(root, "NoScp");
    ASSERT_TRUE(test::clickRow(list, "sala.scp"));
    auto* fonte = child<QPlainTextEdit>(root, "Fonte");
    fonte->setPlainText("fala editada");
    click(child(root, "bnUplScp"));
    EXPECT_TRUE(ws.read("castelo/sala.scp").startsWith("fala editada"));  // written before it went up
    ASSERT_EQ(peer.server.requests().size(), before + 1);
    EXPECT_TRUE(peer.server.requests().back().body.contains("fala editada"));
    EXPECT_EQ(text(root, "Msg3"), "Gravado");

    click(child(root, "bnDwnScp"));
    EXPECT_EQ(ws.read("castelo/sala.scp"), "fala nova\r\n");
    EXPECT_EQ(fonte->toPlainText().trimmed(), "fala nova");
    EXPECT_EQ(text(root, "Msg3"), "Script atualizado!");
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

// The fetched current-status list replaces the one in memory, which would
// otherwise be written over it when the program ends.
TEST_F(ItemTransferWindows, ObjectDownloadTakesUpTheFetchedCurrentStatusList) {

    ws.write("castelo/chave.obj", "chave\r\nChave\r\numa chave\r\nmesa\r\n\r\nt1\r\n0\r\n0\r\n");
    click(child(root, "btObj"));
    auto* list = child<QListWidget>(root, "NoObj");
    ASSERT_EQ(list->count(), 1);
    ASSERT_TRUE(test::clickRow(list, 0));
    ASSERT_EQ(text(root, "lbNoObj"), "chave");

    click(child(root, "bnDwnObj"));
    EXPECT_EQ(text(root, "Msg4"), "Download completo!");
    EXPECT_EQ(ws.read("castelo/castelo.obx"), "obx do servidor\r\n");
    EXPECT_EQ(form.adventure().currentStatusList(), QStringList{"obx do servidor"});
    EXPECT_TRUE(ws.exists("castelo/chave.obj"));  // a failed fetch leaves the object's file alone
    EXPECT_TRUE(test::reportedErrors().isEmpty());
}

}  // namespace
