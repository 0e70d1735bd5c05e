// The client against a scripted server: what goes out byte for byte, and how
// replies, failures and time-outs come back.
#include "TestServers.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "net/ServerClient.h"
#include "net/ServerReply.h"
#include "net/SyncRecord.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

using namespace orv;
using test::fileBytes;
using test::writeBytes;
using test::FaultServer;

namespace {

QByteArray allHighBytes() {
    QByteArray bytes;
    for (int b = 0x80; b <= 0xFF; ++b)
        bytes += char(b);
    return bytes;
}

QByteArray compressed(const QByteArray& data, int windowBits) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(data.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

class ServerClientTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.path() + QStringLiteral("/Floresta/"); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(folder())); }
};

TEST_F(ServerClientTest, EveryOperationSendsItsUrlTheStandardHeadersAndThePasswordOnlyWhenUploading) {
    FaultServer server([](const auto&) { return FaultServer::ok("Ok\r\n"); });
    ServerClient client(server.base());
    writeBytes(folder() + "Floresta.map", "a\r\n");
    client.listGroups();
    client.listFiles("Floresta");
    client.getText("Floresta", folder(), "Floresta.map");
    client.putText("Floresta", folder(), "Floresta.map", "s3nha");
    client.putFile("Floresta", folder(), "Floresta.map", "s3nha");
    EXPECT_EQ(client.getFile("Floresta", folder(), "som.wav"), "Ok");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 6u);
    const QList<QByteArray> lines = {
        "GET /Orvalis/grupos.php HTTP/1.1",
        "GET /Orvalis/lstarqs.php?NoAdv=Floresta HTTP/1.1",
        "GET /Orvalis/gettxt.php?NoAdv=Floresta&Arq=Floresta.map HTTP/1.1",
        "POST /Orvalis/puttxt.php?NoAdv=Floresta&Arq=Floresta.map&Senha=s3nha HTTP/1.1",
        "POST /Orvalis/putarq.php?NoAdv=Floresta&Arq=Floresta.map&Senha=s3nha HTTP/1.1",
        "GET /Orvalis/Floresta/som.wav HTTP/1.1",
    };
    const QList<std::pair<QByteArray, QByteArray>> standard = {
        {"Accept", "text/html, */*"},
        {"Accept-Charset", "utf-8"},
        {"Connection", "keep-alive"},
        {"User-Agent", "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
                       "Gecko) Chrome/58.0.3029.96 Safari/537.36"},
        {"Accept-Encoding", "gzip, deflate"},
        {"Accept-Language", "pt-BR,pt;q=0.8,en-US;q=0.6,en;q=0.4"},
        {"Cache-control", "no-cache"},
    };
    for (size_t i = 0; i < requests.size(); ++i) {
        const auto& r = requests[i];
        SCOPED_TRACE(r.head.toStdString());
        EXPECT_EQ(r.requestLine(), lines[qsizetype(i)]);
        for (const auto& [name, value] : standard)
            EXPECT_EQ(r.headerValues(name), QList<QByteArray>{value});
        EXPECT_TRUE(r.head.contains("\r\nCache-control: no-cache\r\n"));  // spelled as listed
        const bool upload = i == 3 || i == 4;
        EXPECT_EQ(r.head.contains("s3nha"), upload);
        EXPECT_EQ(r.headerValues("Content-Type").size(), 1);
        EXPECT_EQ(r.headerValues("Content-Type").value(0).startsWith("multipart/form-data; boundary="),
                  upload);
        if (!upload)
            EXPECT_EQ(r.headerValues("Content-Type").value(0), "application/json;odata=light;charset=utf-8;");
        for (const char* absent : {"Expect", "Authorization", "Range", "Cookie"})
            EXPECT_TRUE(r.headerValues(absent).isEmpty()) << absent;
    }
}

TEST_F(ServerClientTest, MultipartBodiesCarryOnePartWithTheBytesUnchanged) {
    FaultServer server([](const auto&) { return FaultServer::ok("Gravado"); });
    ServerClient client(server.base());
    // LF breaks and no final break go up as CR LF lines; high bytes unchanged.
    writeBytes(folder() + "sala.scp", "linha 1\n" + allHighBytes() + "\nfim");
    EXPECT_EQ(client.putText("Floresta", folder(), "sala.scp", "pw"), "Gravado");
    QByteArray binary;
    for (int b = 0; b < 256; ++b)
        binary += char(b);
    binary += "\r\n--";
    writeBytes(folder() + "sala.map", binary);
    EXPECT_EQ(client.putFile("Floresta", folder(), "sala.map", "pw"), "Gravado");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    auto boundaryOf = [](const FaultServer::Request& r) {
        return r.headerValues("Content-Type").value(0).mid(int(strlen("multipart/form-data; boundary=")));
    };
    const QByteArray b1 = boundaryOf(requests[0]);
    ASSERT_FALSE(b1.isEmpty());
    EXPECT_EQ(requests[0].body, "--" + b1 +
                                    "\r\nContent-Disposition: form-data; name=\"Txt\"\r\n\r\n"
                                    "linha 1\r\n" + allHighBytes() + "\r\nfim\r\n\r\n--" + b1 + "--\r\n");
    const QByteArray b2 = boundaryOf(requests[1]);
    EXPECT_EQ(requests[1].body, "--" + b2 +
                                    "\r\nContent-Disposition: form-data; name=\"Img\"; filename=\"" +
                                    folder().toUtf8() +
                                    "sala.map\"\r\n"
                                    "Content-Type: image/jpg\r\n"
                                    "Content-Transfer-Encoding: binary\r\n\r\n" +
                                    binary + "\r\n--" + b2 + "--\r\n");
    EXPECT_EQ(requests[1].headerValues("Content-Length"), QList<QByteArray>{QByteArray::number(requests[1].body.size())});

    // No password: nothing is read or sent.
    EXPECT_EQ(client.putFile("Floresta", folder(), "nao-existe.wav", ""), "Falta senha!");
    EXPECT_EQ(server.requests().size(), 2u);
    // A local file that cannot be read ends the upload before any request.
    EXPECT_THROW(client.putFile("Floresta", folder(), "nao-existe.wav", "pw"), OrvalisError);
    EXPECT_THROW(client.putText("Floresta", folder(), "nao-existe.scp", "pw"), OrvalisError);
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(ServerClientTest, NamesGoIntoTheUrlUnchangedExceptWhatARequestLineCannotCarry) {
    FaultServer server([](const auto&) { return FaultServer::ok("Ok\r\n"); });
    ServerClient client(server.base());
    writeBytes(folder() + QString::fromUtf8("a b&c+d=ção#1.txt"), "x\r\n");
    client.putText(QString::fromUtf8("Flor esta"), folder(), QString::fromUtf8("a b&c+d=ção#1.txt"),
                   "p&w d");
    EXPECT_EQ(client.getFile("Flor esta", folder(), "x y&z.png"), "Ok");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].requestLine(),
              "POST /Orvalis/puttxt.php?NoAdv=Flor%20esta&Arq=a%20b&c+d=%E7%E3o%231.txt&Senha=p&w%20d HTTP/1.1");
    EXPECT_EQ(requests[1].requestLine(), "GET /Orvalis/Flor%20esta/x%20y&z.png HTTP/1.1");

    // A character beyond Windows-1252 cannot be sent: refused without a request.
    EXPECT_THROW(client.listFiles(QString::fromUtf8("森")), OrvalisError);
    EXPECT_EQ(client.getFile("Floresta", folder(), QString::fromUtf8("森.png")), "Falha download");
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(ServerClientTest, ReplyLinesAndTheOkLineDecideWhatGetTextWrites) {
    QByteArray body;
    FaultServer server([&body](const auto&) { return FaultServer::ok(body); });
    ServerClient client(server.base());
    const QString map = folder() + "Floresta.map";

    body = "Ok\r\nCastelo|castelo\nB\rC\r\n";
    EXPECT_EQ(client.listGroups(), QStringList({"Ok", "Castelo|castelo", "B", "C"}));
    body = "Ok";
    EXPECT_EQ(client.listFiles("Floresta"), QStringList{"Ok"});
    body = "";
    EXPECT_TRUE(client.listGroups().isEmpty());

    writeBytes(map, "antigo\r\n");
    for (const QByteArray notOk : {"ok\r\nx", "OK\r\nx", "Ok \r\nx", " Ok\r\nx", "", "\r\nOk\r\n"}) {
        body = notOk;
        EXPECT_FALSE(client.getText("Floresta", folder(), "Floresta.map")) << notOk.constData();
        EXPECT_EQ(fileBytes(map), "antigo\r\n");
    }
    body = "Ok\nlinha\n" + allHighBytes() + "\nsem fim";
    EXPECT_TRUE(client.getText("Floresta", folder(), "Floresta.map"));
    EXPECT_EQ(fileBytes(map), "linha\r\n" + allHighBytes() + "\r\nsem fim\r\n");
    body = "Ok\r\n";
    EXPECT_TRUE(client.getText("Floresta", folder(), "Floresta.map"));
    EXPECT_EQ(fileBytes(map), "");
}

TEST_F(ServerClientTest, FailuresSayWhatFailedAndGetFileLeavesNoPartialFile) {
    FaultServer::Reply reply = FaultServer::status(500, "Erro interno");
    FaultServer server([&reply](const auto&) { return reply; });
    ServerClient client(server.base());
    const QString where = QStringLiteral("127.0.0.1:%1").arg(server.port());
    writeBytes(folder() + "sala.scp", "x\r\n");
    writeBytes(folder() + "sala.png", "imagem antiga");

    auto failureText = [&](const std::function<void()>& operation) {
        try {
            operation();
        } catch (const OrvalisError& e) {
            return e.text();
        }
        return QStringLiteral("<no error>");
    };
    const std::vector<std::function<void()>> operations = {
        [&] { client.listGroups(); },
        [&] { client.listFiles("Floresta"); },
        [&] { client.getText("Floresta", folder(), "sala.scp"); },
        [&] { client.putText("Floresta", folder(), "sala.scp", "segredo"); },
        [&] { client.putFile("Floresta", folder(), "sala.scp", "segredo"); },
    };
    for (const auto& op : operations) {
        const QString text = failureText(op);
        EXPECT_TRUE(text.contains("Falha na comunicação com o servidor " + where)) << text.toStdString();
        EXPECT_TRUE(text.contains("HTTP 500")) << text.toStdString();
        EXPECT_FALSE(text.contains("segredo"));
    }
    EXPECT_EQ(fileBytes(folder() + "sala.scp"), "x\r\n");
    EXPECT_EQ(client.getFile("Floresta", folder(), "sala.png"), "Falha download");
    EXPECT_EQ(client.getFile("Floresta", folder(), "nova.png"), "Falha download");

    // A reply cut short.
    reply = {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nOk\r\nmetade", 0, true};
    EXPECT_TRUE(failureText([&] { client.getText("Floresta", folder(), "sala.scp"); }).contains(where));
    EXPECT_EQ(client.getFile("Floresta", folder(), "sala.png"), "Falha download");
    EXPECT_EQ(fileBytes(folder() + "sala.png"), "imagem antiga");
    EXPECT_FALSE(QFile::exists(folder() + "nova.png"));
    EXPECT_EQ(fileBytes(folder() + "sala.scp"), "x\r\n");

    // Nobody listening.
    ServerClient nowhere(QStringLiteral("http://127.0.0.1:%1/Orvalis/").arg(test::freeLoopbackPort()));
    EXPECT_TRUE(failureText([&] { nowhere.listGroups(); }).contains("não foi possível conectar"));
    EXPECT_EQ(nowhere.getFile("Floresta", folder(), "sala.png"), "Falha download");
}

TEST_F(ServerClientTest, FileNamesWithAFolderPartAreRefusedBeforeAnyRequestOrWrite) {
    FaultServer server([](const auto&) { return FaultServer::ok("Ok\r\nconteudo\r\n"); });
    ServerClient client(server.base());
    writeBytes(dir.path() + "/alvo.txt", "intacto");
    const QStringList names = {"../alvo.txt", "..", ".", "", "sub/alvo.txt", "sub\\alvo.txt",
                               "C:alvo.txt", "C:\\alvo.txt", dir.path() + "/alvo.txt",
                               QString("a") + QChar(0) + "b", "a\nb"};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_THROW(client.getText("Floresta", folder(), name), OrvalisError);
        EXPECT_THROW(client.putText("Floresta", folder(), name, "pw"), OrvalisError);
        EXPECT_THROW(client.putFile("Floresta", folder(), name, "pw"), OrvalisError);
        EXPECT_EQ(client.getFile("Floresta", folder(), name), "Falha download");
    }
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(fileBytes(dir.path() + "/alvo.txt"), "intacto");
    EXPECT_EQ(QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    // Names that only look odd are plain file names.
    EXPECT_TRUE(client.getText("Floresta", folder(), "..mapa..txt"));
}

TEST_F(ServerClientTest, CompressedRepliesAreDecodedAndCookiesComeBack) {
    const QByteArray text = "Ok\r\nGrupo|grupo\r\n";
    QByteArray plain;
    for (int i = 0; i < 2000; ++i)
        plain += char(i * 7);
    int n = 0;
    FaultServer server([&](const FaultServer::Request&) {
        switch (n++) {
        case 0: return FaultServer::ok(compressed(text, 31), "Content-Encoding: gzip\r\nSet-Cookie: sessao=abc; Path=/\r\n");
        case 1: return FaultServer::ok(compressed(text, 15), "Content-Encoding: deflate\r\n");
        default: return FaultServer::ok(compressed(plain, 31), "Content-Encoding: gzip\r\n");
        }
    });
    ServerClient client(server.base());
    EXPECT_EQ(client.listGroups(), QStringList({"Ok", "Grupo|grupo"}));
    EXPECT_EQ(client.listGroups(), QStringList({"Ok", "Grupo|grupo"}));
    EXPECT_EQ(client.getFile("Floresta", folder(), "x.bin"), "Ok");
    EXPECT_EQ(fileBytes(folder() + "x.bin"), plain);
    ServerClient other(server.base());
    other.listFiles("Floresta");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(requests[0].headerValues("Cookie").isEmpty());
    EXPECT_EQ(requests[1].headerValues("Cookie"), QList<QByteArray>{"sessao=abc"});
    EXPECT_EQ(requests[2].headerValues("Cookie"), QList<QByteArray>{"sessao=abc"});
    EXPECT_TRUE(requests[3].headerValues("Cookie").isEmpty());  // cookies live with their client
}

TEST_F(ServerClientTest, LargeRepliesArriveWholeAndRunawayOnesAreCut) {
    QByteArray big(24 * 1024 * 1024, 'x');
    for (qsizetype i = 0; i < big.size(); i += 4099)
        big[i] = char(i);
    FaultServer server([&big](const auto&) { return FaultServer::ok(big); });
    ServerClient client(server.base());
    EXPECT_EQ(client.getFile("Floresta", folder(), "musica.mp3"), "Ok");
    EXPECT_EQ(fileBytes(folder() + "musica.mp3"), big);

    big = "Ok\r\n" + QByteArray(2 * 1024 * 1024, 'y');
    client.setReplyLimit(1024 * 1024);
    try {
        client.listGroups();
        ADD_FAILURE() << "no error";
    } catch (const OrvalisError& e) {
        EXPECT_TRUE(e.text().contains("resposta maior que 1048576 bytes")) << e.text().toStdString();
    }
    EXPECT_EQ(client.getFile("Floresta", folder(), "outra.mp3"), "Falha download");
    EXPECT_FALSE(QFile::exists(folder() + "outra.mp3"));
}

TEST_F(ServerClientTest, GetFileRunsPendingEventsFirstAndFromThenOnSilenceTimesOutAfterFiveSeconds) {
    FaultServer::Reply reply = FaultServer::ok("Ok\r\n");
    reply.delayMs = 5600;  // longer than the short time-out
    FaultServer server([&reply](const auto&) { return reply; });
    size_t requestsSeenByEvents = 99;
    int eventRuns = 0;
    ServerClient client(server.base(), [&] {
        ++eventRuns;
        requestsSeenByEvents = server.requests().size();
    });

    // Before any get file the client waits as long as its defaults allow.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(client.listGroups(), QStringList{"Ok"});
    EXPECT_GE(clock.elapsed(), 5500);

    reply.delayMs = 0;
    EXPECT_EQ(client.getFile("Floresta", folder(), "a.png"), "Ok");
    EXPECT_EQ(eventRuns, 1);
    EXPECT_EQ(requestsSeenByEvents, 1u);  // before its own request

    reply.delayMs = 60000;  // never, as far as the client is concerned
    clock.restart();
    try {
        client.listGroups();
        ADD_FAILURE() << "no time-out";
    } catch (const OrvalisError& e) {
        EXPECT_TRUE(e.text().contains("tempo de espera esgotado")) << e.text().toStdString();
    }
    EXPECT_GE(clock.elapsed(), 4500);
    EXPECT_LT(clock.elapsed(), 8000);
}

TEST(ServerReplyTest, GroupEntriesAndPlainFileNames) {
    EXPECT_EQ(ServerReply::groupAdventureName("Castelo assombrado | castelo"), "castelo");
    EXPECT_EQ(ServerReply::groupAdventureName("a|b|c"), "b|c");
    EXPECT_EQ(ServerReply::groupAdventureName(" \tfloresta\x01 "), "floresta");
    EXPECT_EQ(ServerReply::groupAdventureName("Texto|"), "");
    EXPECT_FALSE(ServerReply::isOk({}));
    EXPECT_TRUE(ServerReply::isOk({"Ok", ""}));
    for (const char* name : {"sala.png", "a b&c.txt", "...x", "x..", "ação.scp"})
        EXPECT_TRUE(ServerReply::isPlainFileName(QString::fromUtf8(name))) << name;
}

}  // namespace

namespace {

// Revisions are offered by a header of the file list and used only then:
// the base of an upload goes after the password, nothing of it otherwise.
TEST_F(ServerClientTest, RevisionsAreLearntFromTheFileListAndTheBaseGoesOutOnlyWhenGiven) {
    QByteArray offer;  // the header the server sends with its file list
    FaultServer server([&](const FaultServer::Request& r) {
        if (r.requestLine().contains("lstarqs.php?NoAdv=Floresta&Rev=1 "))
            return FaultServer::ok("Ok\r\nsala.scp\t3\t" + QByteArray(64, 'a') + "\r\n", offer);
        if (r.requestLine().contains("lstarqs.php"))
            return FaultServer::ok("Ok\r\nsala.scp\r\n", offer);
        if (r.requestLine().contains("gettxt.php"))
            return FaultServer::ok("Ok\r\nfim\n", offer);
        return FaultServer::ok("Ok", offer);
    });
    ServerClient client(server.base());
    writeBytes(folder() + "sala.scp", "a\nb");
    EXPECT_FALSE(client.revisionsKnown());
    EXPECT_FALSE(client.offersRevisions());

    // A plain server: no header, and every request as it always was.
    client.listFiles("Floresta");
    EXPECT_TRUE(client.revisionsKnown());
    EXPECT_FALSE(client.offersRevisions());
    client.putText("Floresta", folder(), "sala.scp", "pw");
    client.putFile("Floresta", folder(), "sala.scp", "pw");

    // The header, in any case and among other tokens; other headers and
    // other endpoints do not count.
    offer = "x-orvalis-revisoes: md5, SHA256\r\n";
    client.listFiles("Floresta");
    EXPECT_TRUE(client.offersRevisions());
    QByteArray sentSha;
    client.putText("Floresta", folder(), "sala.scp", "pw", QByteArray(64, 'b'), &sentSha);
    EXPECT_EQ(sentSha, sha256Hex("a\r\nb\r\n"));  // the lines as sent
    client.putFile("Floresta", folder(), "sala.scp", "pw", ServerClient::kNewFileBase, &sentSha);
    EXPECT_EQ(sentSha, sha256Hex("a\nb"));        // the bytes as sent
    QByteArray serverSha;
    EXPECT_TRUE(client.getText("Floresta", folder(), "sala.scp", &serverSha));
    EXPECT_EQ(serverSha, sha256Hex("fim\n"));  // the server's file, not the CR LF copy written
    EXPECT_EQ(fileBytes(folder() + "sala.scp"), "fim\r\n");
    EXPECT_EQ(client.listRevisions("Floresta"), (QStringList{"Ok", "sala.scp\t3\t" + QString(64, 'a')}));
    offer = "X-Orvalis-Revisoes-Velhas: sha256\r\n";
    client.listFiles("Floresta");
    EXPECT_FALSE(client.offersRevisions());

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 9u);
    const QList<QByteArray> lines = {
        "GET /Orvalis/lstarqs.php?NoAdv=Floresta HTTP/1.1",
        "POST /Orvalis/puttxt.php?NoAdv=Floresta&Arq=sala.scp&Senha=pw HTTP/1.1",
        "POST /Orvalis/putarq.php?NoAdv=Floresta&Arq=sala.scp&Senha=pw HTTP/1.1",
        "GET /Orvalis/lstarqs.php?NoAdv=Floresta HTTP/1.1",
        "POST /Orvalis/puttxt.php?NoAdv=Floresta&Arq=sala.scp&Senha=pw&Base=" + QByteArray(64, 'b') + " HTTP/1.1",
        "POST /Orvalis/putarq.php?NoAdv=Floresta&Arq=sala.scp&Senha=pw&Base=novo HTTP/1.1",
        "GET /Orvalis/gettxt.php?NoAdv=Floresta&Arq=sala.scp HTTP/1.1",
        "GET /Orvalis/lstarqs.php?NoAdv=Floresta&Rev=1 HTTP/1.1",
        "GET /Orvalis/lstarqs.php?NoAdv=Floresta HTTP/1.1",
    };
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].requestLine(), lines[qsizetype(i)]);
        // No header of the extension ever goes out, whatever the server offers.
        EXPECT_FALSE(requests[i].head.toLower().contains("x-orvalis")) << requests[i].head.constData();
    }
    // The plain uploads are byte for byte those of a client that knows no
    // revisions: the same head but for the boundary, the same body.
    ServerClient plain(server.base());
    writeBytes(folder() + "sala.scp", "a\nb");
    plain.putFile("Floresta", folder(), "sala.scp", "pw");
    const auto again = server.requests().back();
    auto withoutBoundary = [](const FaultServer::Request& r) {
        const QByteArray boundary = r.headerValues("Content-Type").value(0).mid(30);
        QByteArray head = r.head, body = r.body;
        return head.replace(boundary, "B") + body.replace(boundary, "B");
    };
    EXPECT_EQ(withoutBoundary(again), withoutBoundary(requests[2]));
}

}  // namespace
