// The editors' Upload and Down buttons as the author presses them in the
// program, against a scripted server.
#include "TestServers.h"
#include "app/TForm1.h"
#include "editors/PanelWindow.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"
#include "support/WidgetLookup.h"

#include <QBuffer>
#include <QImage>
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

// A settings file of the 98 lines the panel editor needs: every line "1"
// but the picture's name in lines 13 and 14 and the Visor's left in 22.
QByteArray settingsFile(int visorLeft) {
    QByteArray bytes;
    for (int n = 0; n < 98; ++n)
        bytes += (n == 13 || n == 14 ? QByteArray("abertura.png") : QByteArray::number(n == 22 ? visorLeft : 1)) + "\r\n";
    return bytes;
}

QByteArray png(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
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
    QByteArray iniReply;
    QByteArray panelReply;  // the panel picture, when the server has one
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
        if (line.contains("/castelo/castelo.ini "))
            return FaultServer::ok(iniReply);
        if (line.contains("/castelo/abertura.png ") && !panelReply.isEmpty())
            return FaultServer::ok(panelReply);
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

// The panel's pair moves the shown picture and the settings file, also while
// the connection is only connected; the fetched settings file becomes the
// list in memory, so the end of the program writes it back unchanged.
TEST_F(ItemTransferWindows, PanelButtonsSendThePictureAndTheSettingsAndTakeUpTheFetchedSettings) {
    ws.write("castelo/castelo.ini", settingsFile(100));
    ws.write("castelo/abertura.png", png({320, 200}));
    ASSERT_TRUE(test::doubleClickRow(child<QListWidget>(root, "LstGrp"), 0));  // opened again, with these files
    click(child(root, "btPan"));
    ASSERT_EQ(text(root, "lbNoImg"), "abertura.png");
    // A reconnect drops to connected; the panel buttons still act.
    click(child(root, "btCnc"));
    ASSERT_FALSE(form.IsReady());
    ASSERT_TRUE(child(root, "bnPanUp")->isVisible());
    EXPECT_EQ(child(root, "Msg8")->x(), 200);
    const size_t before = peer.server.requests().size();

    click(child(root, "bnPanUp"));
    EXPECT_EQ(text(root, "Msg8"), "Falta senha!");
    EXPECT_EQ(peer.server.requests().size(), before);

    child<QLineEdit>(root, "Senha")->setText("segredo");
    click(child(root, "bnPanUp"));
    const auto requests = peer.server.requests();
    ASSERT_EQ(requests.size(), before + 2);
    const auto& picture = requests[before];
    const auto& settings = requests[before + 1];
    EXPECT_TRUE(picture.requestLine().contains("putarq.php?NoAdv=castelo&Arq=abertura.png&Senha=segredo "));
    EXPECT_TRUE(picture.body.contains(png({320, 200})));
    EXPECT_TRUE(settings.requestLine().contains("putarq.php?NoAdv=castelo&Arq=castelo.ini&Senha=segredo "));
    // Lines 11 and 12 hold the picture's size, in the list, in the file and in what was sent.
    QByteArray expected = settingsFile(100);
    expected.replace("1\r\n1\r\nabertura.png", "320\r\n200\r\nabertura.png");
    EXPECT_EQ(ws.read("castelo/castelo.ini"), expected);
    EXPECT_TRUE(settings.body.contains("\r\n\r\n" + expected + "\r\n--"));
    EXPECT_EQ(form.adventure().settingsList().mid(11, 2), (QStringList{"320", "200"}));
    EXPECT_EQ(text(root, "Msg8"), "Gravado");

    // Down: the picture is not on the server, the settings file is.
    {
        std::lock_guard lock(peer.mutex);
        peer.iniReply = settingsFile(7);
    }
    click(child(root, "bnPanPan"));
    click(child(root, "Label35"));
    ASSERT_TRUE(child(root, "Shp1a")->isVisible());
    click(child(root, "bnPanDw"));
    EXPECT_TRUE(peer.lines()[before + 2].contains("/castelo/abertura.png "));
    EXPECT_TRUE(peer.lines()[before + 3].contains("/castelo/castelo.ini "));
    EXPECT_EQ(text(root, "Msg8"), "Ok");
    EXPECT_EQ(ws.read("castelo/abertura.png"), png({320, 200}));
    EXPECT_EQ(ws.read("castelo/castelo.ini"), settingsFile(7));
    EXPECT_EQ(form.adventure().settingsList()[22], "7");
    EXPECT_EQ(text(root, "VspLft"), "7");
    EXPECT_FALSE(child(root, "Shp1a")->isVisible());

    // Down with the picture on the server: the fetched picture is the one
    // shown, so "Gravar" cannot put the older one back over it.
    {
        std::lock_guard lock(peer.mutex);
        peer.panelReply = png({640, 400});
    }
    click(child(root, "bnPanAbr"));
    click(child(root, "bnPanDw"));
    EXPECT_EQ(ws.read("castelo/abertura.png"), png({640, 400}));
    auto* panel = child<PanelWindow>(root, "JanPan");
    EXPECT_EQ(panel->shownImage().size(), QSize(640, 400));
    form.SaveAtExit();
    EXPECT_EQ(ws.read("castelo/castelo.ini"), settingsFile(7));
    EXPECT_TRUE(test::reportedErrors().isEmpty()) << test::reportedErrors().join("; ").toStdString();
}

}  // namespace
