// The editors' Upload and Down buttons, below the windows: which checks stop
// them, which requests go out in which order, what lands in the folder and
// what the status label reads.
#include "TestServers.h"
#include "core/OrvalisError.h"
#include "net/Connection.h"
#include "net/AdventureTransfer.h"
#include "net/ItemTransfer.h"
#include "net/ServerClient.h"
#include "net/SyncRecord.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace orv;
using test::fileBytes;
using test::writeBytes;
using test::FaultServer;
using test::ReferenceServer;

namespace {

QByteArray binarySample() {
    QByteArray bytes("RIFF\0\0\r\n\x1a", 9);
    for (int b = 0; b < 256; ++b)
        bytes += char(b);
    return bytes;
}

class ItemTransferTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    bool ready_ = true;
    QString password_ = QStringLiteral("segredo");
    QStringList shown;
    std::vector<std::unique_ptr<Connection>> connections;

    void setReady(bool ready) {
        ready_ = ready;
        for (auto& c : connections)
            c->setState(ready ? ConnectionState::Ready : ConnectionState::Connected);
    }
    void setPassword(const QString& password) {
        password_ = password;
        for (auto& c : connections)
            c->setPassword(password);
    }

    QString folder() const { return dir.path() + QStringLiteral("/Floresta/"); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(folder())); }

    // The connection a context reads at every action; the test changes its
    // state and password as the author would.
    ItemTransfer::Context context(ServerClient& client) {
        auto& connection = connections.emplace_back(std::make_unique<Connection>(client));
        connection->setState(ready_ ? ConnectionState::Ready : ConnectionState::Connected);
        connection->setPassword(password_);
        return {connection.get(),
                QStringLiteral("Floresta"),
                folder(),
                [this](const QString& text) { shown << text; }};
    }
};

// The request line for a path below the server's base address.
QByteArray line(const FaultServer& server, const char* method, const char* rest) {
    return QByteArray(method) + ' ' + QUrl(server.base()).path().toLatin1() + rest;
}

std::vector<QByteArray> requestLines(const FaultServer& server) {
    std::vector<QByteArray> lines;
    for (const auto& r : server.requests())
        lines.push_back(r.requestLine());
    return lines;
}

TEST_F(ItemTransferTest, MapGoesUpAsTextAfterSavingAndComesDownWithAReload) {
    FaultServer server([](const FaultServer::Request& r) {
        if (r.requestLine().startsWith("GET"))
            return FaultServer::ok("Ok\r\nsala\r\n\xe9\r\n");
        return FaultServer::ok("Gravado");
    });
    ServerClient client(server.base());
    const auto c = context(client);
    int loads = 0;

    ItemTransfer::uploadMap(c, [&] { writeBytes(folder() + "Floresta.map", "cozinha\r\n"); }, [&] { ++loads; });
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].requestLine(),
              line(server, "POST", "puttxt.php?NoAdv=Floresta&Arq=Floresta.map&Senha=segredo HTTP/1.1"));
    EXPECT_TRUE(server.requests()[0].body.contains("name=\"Txt\"\r\n\r\ncozinha\r\n"));
    EXPECT_EQ(shown, QStringList{"Gravado"});
    EXPECT_EQ(loads, 1);

    ItemTransfer::downloadMap(c, [&] { ++loads; });
    EXPECT_EQ(server.requests().back().requestLine(), line(server, "GET", "gettxt.php?NoAdv=Floresta&Arq=Floresta.map HTTP/1.1"));
    EXPECT_EQ(fileBytes(folder() + "Floresta.map"), "sala\r\n\xe9\r\n");
    EXPECT_EQ(shown.last(), "Mapa atualizado!");
    EXPECT_EQ(loads, 2);

    // A reply without "Ok" changes nothing and does not reload.
    server.setScript([](const auto&) { return FaultServer::ok("Erro\r\nlixo\r\n"); });
    ItemTransfer::downloadMap(c, [&] { ++loads; });
    EXPECT_EQ(fileBytes(folder() + "Floresta.map"), "sala\r\n\xe9\r\n");
    EXPECT_EQ(shown.last(), "Erro no download!");
    EXPECT_EQ(loads, 2);

    // Server down: the same message, nothing thrown at the author.
    server.setScript([](const auto&) { return FaultServer::status(500, "falhou"); });
    ItemTransfer::downloadMap(c, [&] { ++loads; });
    EXPECT_EQ(shown.last(), "Erro no download!");
    EXPECT_EQ(loads, 2);
}

TEST_F(ItemTransferTest, ChecksStopEveryButtonBeforeAnyRequest) {
    FaultServer server([](const auto&) { return FaultServer::ok("Ok\r\n"); });
    ServerClient client(server.base());
    const auto c = context(client);
    writeBytes(folder() + "grito.wav", binarySample());
    int saves = 0;

    setPassword({});
    ItemTransfer::uploadMap(c, [&] { ++saves; }, {});
    ItemTransfer::uploadScript(c, "sala.scp", [&] { ++saves; });
    ItemTransfer::uploadObject(c, "", {});           // the password check comes before the selection
    ItemTransfer::uploadSound(c, "");
    ItemTransfer::uploadRegisters(c);
    ItemTransfer::uploadPositionImage(c, "sala.png");
    ItemTransfer::uploadImage(c, "fundo.png");         // silent
    EXPECT_EQ(shown, QStringList(6, "Falta senha!"));
    EXPECT_EQ(saves, 0);

    setPassword("segredo");
    setReady(false);
    shown.clear();
    ItemTransfer::uploadMap(c, [&] { ++saves; }, {});
    ItemTransfer::downloadMap(c, {});
    ItemTransfer::uploadScript(c, "sala.scp", [&] { ++saves; });
    EXPECT_FALSE(ItemTransfer::downloadScript(c, "sala.scp"));
    ItemTransfer::uploadObject(c, "chave", {});
    EXPECT_FALSE(ItemTransfer::downloadObject(c, "chave", {}));
    ItemTransfer::uploadRegisters(c);
    ItemTransfer::downloadRegisters(c);
    ItemTransfer::uploadImage(c, "fundo.png");
    ItemTransfer::downloadImage(c, "fundo.png");
    ItemTransfer::uploadSound(c, "grito.wav");
    ItemTransfer::downloadSound(c, "grito.wav");
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(server.requests().empty());

    // Nothing chosen yet: the object and sound buttons stay quiet even when ready.
    setReady(true);
    ItemTransfer::uploadObject(c, "", {});
    EXPECT_FALSE(ItemTransfer::downloadObject(c, "", {}));
    ItemTransfer::uploadSound(c, "");
    ItemTransfer::downloadSound(c, "");
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_TRUE(server.requests().empty());

    // The position image moves while reconnecting.
    setReady(false);
    writeBytes(folder() + "sala.png", binarySample());
    ItemTransfer::uploadPositionImage(c, "sala.png");
    ItemTransfer::downloadPositionImage(c, "sala.png");
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(shown, (QStringList{"Ok\r\n", "Ok"}));
}

TEST_F(ItemTransferTest, UnsafeNamesAndUnreadableFilesSendNothing) {
    FaultServer server([](const auto&) { return FaultServer::ok("Ok\r\n"); });
    ServerClient client(server.base());
    const auto c = context(client);
    writeBytes(dir.path() + "/fora.obj", "segredo de fora");

    // An object named with a folder part must not send its lists either.
    EXPECT_THROW(ItemTransfer::uploadObject(c, "../fora", {}), OrvalisError);
    EXPECT_THROW(ItemTransfer::downloadObject(c, "../fora", {}), OrvalisError);
    EXPECT_THROW(ItemTransfer::uploadSound(c, "../fora.obj"), OrvalisError);
    EXPECT_THROW(ItemTransfer::uploadScript(c, "../x.scp", {}), OrvalisError);
    EXPECT_TRUE(server.requests().empty());

    // A sound that is gone is reported, never sent as an empty file.
    shown.clear();
    EXPECT_THROW(ItemTransfer::uploadSound(c, "sumiu.wav"), OrvalisError);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(ItemTransferTest, ObjectFilesGoOneByOneAndAFailedDownloadLeavesNoPartialFile) {
    FaultServer server([](const auto&) { return FaultServer::ok("Ok"); });
    ServerClient client(server.base());
    const auto c = context(client);
    writeBytes(folder() + "chave.obj", "obj");
    writeBytes(folder() + "Floresta.obx", "obx");
    writeBytes(folder() + "Floresta.obz", "obz");
    int repaints = 0;

    ItemTransfer::uploadObject(c, "chave", [&] { ++repaints; });
    EXPECT_EQ(requestLines(server),
              (std::vector<QByteArray>{line(server, "POST", "putarq.php?NoAdv=Floresta&Arq=chave.obj&Senha=segredo HTTP/1.1"),
                                       line(server, "POST", "putarq.php?NoAdv=Floresta&Arq=Floresta.obx&Senha=segredo HTTP/1.1"),
                                       line(server, "POST", "putarq.php?NoAdv=Floresta&Arq=Floresta.obz&Senha=segredo HTTP/1.1")}));
    EXPECT_EQ(shown, (QStringList{"Ok", "Ok", "Ok", "Upload completo!"}));
    EXPECT_EQ(repaints, 3);

    // The middle file fails (cut short); the others still come and the end reads the same.
    shown.clear();
    server.setScript([](const FaultServer::Request& r) {
        if (r.requestLine().contains("obx")) {
            FaultServer::Reply cut{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nmetade", 0, true};
            return cut;
        }
        return FaultServer::ok(r.requestLine().contains("obj") ? "novo obj" : "novo obz");
    });
    EXPECT_TRUE(ItemTransfer::downloadObject(c, "chave", {}));
    EXPECT_EQ(shown, (QStringList{"Ok", "Falha download", "Ok", "Download completo!"}));
    EXPECT_EQ(fileBytes(folder() + "chave.obj"), "novo obj");
    EXPECT_EQ(fileBytes(folder() + "Floresta.obx"), "obx");
    EXPECT_EQ(fileBytes(folder() + "Floresta.obz"), "novo obz");

    // Registers: results unseen, the end message in any case.
    shown.clear();
    server.setScript([](const auto&) { return FaultServer::status(404, "nada"); });
    ItemTransfer::downloadRegisters(c);
    EXPECT_EQ(shown, QStringList{"Download completo!"});
    EXPECT_FALSE(QFile::exists(folder() + "Floresta.rgs"));
}

TEST_F(ItemTransferTest, PanelSendsThePictureThenTheSettingsWrittenBetweenAndMovesWhileReconnecting) {
    FaultServer server([](const FaultServer::Request& r) {
        const QByteArray line = r.requestLine();
        if (line.startsWith("POST"))
            return FaultServer::ok(line.contains("Floresta.ini") ? "ini ok" : "png ok");
        if (line.contains("/Floresta/Floresta.ini "))
            return FaultServer::ok("ini do servidor\r\n");
        return FaultServer::status(404, "nada");
    });
    ServerClient client(server.base());
    const auto c = context(client);
    writeBytes(folder() + "painel.png", binarySample());
    writeBytes(folder() + "Floresta.ini", "velho\r\n");
    QStringList steps;
    // What the server had received when the settings were written.
    size_t requestsAtSave = 0;
    auto prepare = [&] { steps << "prepare"; };
    auto save = [&] {
        steps << "save";
        requestsAtSave = server.requests().size();
        writeBytes(folder() + "Floresta.ini", "640\r\n480\r\n");
    };

    // The password is the only check: connected is enough.
    setReady(false);
    ItemTransfer::uploadPanel(c, "painel.png", prepare, save);
    EXPECT_EQ(requestLines(server),
              (std::vector<QByteArray>{line(server, "POST", "putarq.php?NoAdv=Floresta&Arq=painel.png&Senha=segredo HTTP/1.1"),
                                       line(server, "POST", "putarq.php?NoAdv=Floresta&Arq=Floresta.ini&Senha=segredo HTTP/1.1")}));
    EXPECT_EQ(steps, (QStringList{"prepare", "save"}));
    EXPECT_EQ(requestsAtSave, 1u);
    EXPECT_TRUE(server.requests()[0].body.contains(binarySample()));
    EXPECT_TRUE(server.requests()[1].body.contains("\r\n\r\n640\r\n480\r\n\r\n--"));  // the file as saved
    EXPECT_EQ(shown, (QStringList{"png ok", "ini ok"}));

    // Down: the picture fails on its own, the settings file still comes and
    // is reported as fetched; the last status is the settings file's.
    shown.clear();
    EXPECT_TRUE(ItemTransfer::downloadPanel(c, "painel.png"));
    EXPECT_EQ(server.requests().back().requestLine(), line(server, "GET", "Floresta/Floresta.ini HTTP/1.1"));
    EXPECT_EQ(shown, (QStringList{"Falha download", "Ok"}));
    EXPECT_EQ(fileBytes(folder() + "painel.png"), binarySample());
    EXPECT_EQ(fileBytes(folder() + "Floresta.ini"), "ini do servidor\r\n");
    server.setScript([](const auto&) { return FaultServer::status(500, "falhou"); });
    EXPECT_FALSE(ItemTransfer::downloadPanel(c, "painel.png"));
    EXPECT_EQ(shown.last(), "Falha download");
    EXPECT_EQ(fileBytes(folder() + "Floresta.ini"), "ini do servidor\r\n");

    // No password: "Falta senha!" and nothing done. No picture: nothing sent.
    // A failing preparation stops before the first request.
    const size_t before = server.requests().size();
    steps.clear();
    shown.clear();
    setPassword({});
    ItemTransfer::uploadPanel(c, "painel.png", prepare, save);
    setPassword("segredo");
    ItemTransfer::uploadPanel(c, "", prepare, save);
    EXPECT_THROW(ItemTransfer::uploadPanel(c, "painel.png", [] { throw OrvalisError("curta"); }, save),
                 OrvalisError);
    EXPECT_THROW(ItemTransfer::uploadPanel(c, "../fora.png", prepare, save), OrvalisError);
    EXPECT_EQ(shown, (QStringList{"Falta senha!", "Nenhuma imagem no painel!"}));
    EXPECT_TRUE(steps.isEmpty());
    EXPECT_EQ(server.requests().size(), before);

    // A picture that cannot be read ends the upload before the settings change.
    EXPECT_THROW(ItemTransfer::uploadPanel(c, "sumiu.png", prepare, save), OrvalisError);
    EXPECT_EQ(steps, QStringList{"prepare"});
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(ItemTransferTest, ScriptAndSoundRoundTripThroughTheReferenceServer) {
    const QString data = dir.path() + "/data";
    const QString stored = data + "/adventures/Floresta/";
    ReferenceServer::addGroup(data, "Floresta", "segredo", "Floresta (teste)");
    ReferenceServer reference(data, 64 * 1024);
    ServerClient client(reference.base());
    const auto c = context(client);

    ItemTransfer::uploadScript(c, "sala.scp", [&] { writeBytes(folder() + "sala.scp", "fala \xe7\xe3o\r\nfim\r\n"); });
    EXPECT_EQ(shown.last(), "Ok");
    EXPECT_EQ(fileBytes(stored + "sala.scp"), "fala \xe7\xe3o\r\nfim\r\n");

    writeBytes(folder() + "grito.wav", binarySample());
    ItemTransfer::uploadSound(c, "grito.wav");
    EXPECT_EQ(shown.last(), "Upload completo!");
    EXPECT_EQ(fileBytes(stored + "grito.wav"), binarySample());

    QFile::remove(folder() + "sala.scp");
    QFile::remove(folder() + "grito.wav");
    EXPECT_TRUE(ItemTransfer::downloadScript(c, "sala.scp"));
    EXPECT_EQ(shown.last(), "Script atualizado!");
    EXPECT_EQ(fileBytes(folder() + "sala.scp"), "fala \xe7\xe3o\r\nfim\r\n");
    ItemTransfer::downloadSound(c, "grito.wav");
    EXPECT_EQ(shown.last(), "Download completo!");
    EXPECT_EQ(fileBytes(folder() + "grito.wav"), binarySample());

    // A script the server does not have leaves the local one alone.
    writeBytes(folder() + "outro.scp", "meu\r\n");
    EXPECT_FALSE(ItemTransfer::downloadScript(c, "outro.scp"));
    EXPECT_EQ(shown.last(), "Erro no download!");
    EXPECT_EQ(fileBytes(folder() + "outro.scp"), "meu\r\n");

    // A wrong password is the server's to answer; the status shows its reply.
    setPassword("errada");
    ItemTransfer::uploadScript(c, "outro.scp", {});
    EXPECT_NE(shown.last(), "Ok");
    EXPECT_EQ(fileBytes(stored + "sala.scp"), "fala \xe7\xe3o\r\nfim\r\n");
    EXPECT_FALSE(QFile::exists(stored + "outro.scp"));
}

}  // namespace

namespace {

using test::FakeAdventureServer;

// With a server that keeps versions, each button names the version it
// replaces, a conflict changes nothing on either side, and a download asks
// before replacing what the author changed since the last exchange.
TEST_F(ItemTransferTest, WithRevisionsUploadsNameTheirBaseAndDownloadsAskBeforeReplacingAChange) {
    FakeAdventureServer server;
    server.put("sala.scp", "fala\r\n");
    server.put("fundo.png", "imagem do servidor");
    server.put("chave.obj", "obj\r\n");
    server.put("Floresta.obx", "obx\r\n");
    server.put("Floresta.obz", "chave\r\n");
    ServerClient client(server.base());
    auto c = context(client);
    QStringList asked;
    bool replace = false;
    c.askReplace = [&](const QString& name) {
        asked << name;
        return replace;
    };
    // The first exchange: the whole adventure, which records every file.
    ASSERT_EQ(AdventureTransfer::downloadAll(client, "Floresta", folder(), {[](const QString&) {}, [](int, int) {}})
                  .written.size(),
              5);

    // An edited script goes up over the version last exchanged.
    ItemTransfer::uploadScript(c, "sala.scp", [&] { writeBytes(folder() + "sala.scp", "fala editada\r\n"); });
    EXPECT_EQ(shown.last(), "Ok");
    EXPECT_TRUE(server.requests().back().requestLine().endsWith("&Senha=segredo&Base=" + sha256Hex("fala\r\n") +
                                                                " HTTP/1.1"));
    EXPECT_EQ(server.file("sala.scp"), "fala editada\r\n");

    // Somebody else sends it too; the next upload is refused and nothing
    // changes here or there.
    server.put("sala.scp", "do outro\r\n");
    ItemTransfer::uploadScript(c, "sala.scp", [&] { writeBytes(folder() + "sala.scp", "minha segunda\r\n"); });
    EXPECT_EQ(shown.last(), "Conflito!");
    EXPECT_EQ(fileBytes(folder() + "sala.scp"), "minha segunda\r\n");
    EXPECT_EQ(server.file("sala.scp"), "do outro\r\n");

    // A new sound goes up as new; an image the server has in another
    // version, with no exchange known, is not sent at all.
    writeBytes(folder() + "grito.wav", binarySample());
    ItemTransfer::uploadSound(c, "grito.wav");
    EXPECT_EQ(shown.last(), "Upload completo!");
    EXPECT_TRUE(server.requests().back().requestLine().contains("&Base=novo "));
    server.put("mapa.png", "deles");
    writeBytes(folder() + "mapa.png", "meu");
    const size_t posts = server.accepted() + server.conflicts();
    ItemTransfer::uploadImage(c, "mapa.png");
    EXPECT_EQ(shown.last(), "Conflito!");
    EXPECT_EQ(size_t(server.accepted() + server.conflicts()), posts);
    EXPECT_EQ(server.file("mapa.png"), "deles");

    // Down: the changed script is asked about; kept, nothing is fetched.
    shown.clear();
    const size_t before = server.requests().size();
    EXPECT_FALSE(ItemTransfer::downloadScript(c, "sala.scp"));
    EXPECT_EQ(asked, QStringList{"sala.scp"});
    EXPECT_EQ(server.requests().size(), before);
    EXPECT_EQ(fileBytes(folder() + "sala.scp"), "minha segunda\r\n");
    EXPECT_TRUE(shown.isEmpty());
    replace = true;
    EXPECT_TRUE(ItemTransfer::downloadScript(c, "sala.scp"));
    EXPECT_EQ(fileBytes(folder() + "sala.scp"), "do outro\r\n");
    // Fetched and recorded: the next upload goes over the server's version.
    ItemTransfer::uploadScript(c, "sala.scp", [&] { writeBytes(folder() + "sala.scp", "sobre o do outro\r\n"); });
    EXPECT_EQ(shown.last(), "Ok");
    EXPECT_EQ(server.file("sala.scp"), "sobre o do outro\r\n");
    EXPECT_EQ(server.history("sala.scp").size(), 3);  // nothing the server had is lost

    // Files unchanged since their exchange come without a question; of the
    // object's three, only the one changed here is asked about.
    asked.clear();
    replace = false;
    writeBytes(folder() + "Floresta.obx", "mudado aqui\r\n");
    server.put("chave.obj", "obj novo\r\n");
    EXPECT_TRUE(ItemTransfer::downloadObject(c, "chave", {}));
    EXPECT_EQ(asked, QStringList{"Floresta.obx"});
    EXPECT_EQ(fileBytes(folder() + "chave.obj"), "obj novo\r\n");
    EXPECT_EQ(fileBytes(folder() + "Floresta.obx"), "mudado aqui\r\n");
    EXPECT_EQ(shown.last(), "Download completo!");
}

// A server that offers nothing is never asked anything new, and a download
// replaces the local file as it always did.
TEST_F(ItemTransferTest, WithoutRevisionsNothingIsAskedAndTheRequestsAreThePlainOnes) {
    FakeAdventureServer server(false);
    server.put("sala.scp", "fala\r\n");
    ServerClient client(server.base());
    auto c = context(client);
    c.askReplace = [](const QString& name) {
        ADD_FAILURE() << "asked about " << name.toStdString();
        return false;
    };
    writeBytes(folder() + "sala.scp", "local\r\n");
    EXPECT_TRUE(ItemTransfer::downloadScript(c, "sala.scp"));
    EXPECT_EQ(fileBytes(folder() + "sala.scp"), "fala\r\n");
    ItemTransfer::uploadScript(c, "sala.scp", {});
    EXPECT_EQ(shown.last(), "Ok");
    std::vector<QByteArray> lines;
    for (const auto& r : server.requests())
        lines.push_back(r.requestLine());
    EXPECT_EQ(lines, (std::vector<QByteArray>{
                         "GET /Orvalis/gettxt.php?NoAdv=Floresta&Arq=sala.scp HTTP/1.1",
                         "POST /Orvalis/puttxt.php?NoAdv=Floresta&Arq=sala.scp&Senha=segredo HTTP/1.1"}));
    EXPECT_FALSE(QFile::exists(folder() + SyncRecord::kFileName));
}

}  // namespace
