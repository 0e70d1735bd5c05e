// The client and the reference server of server/ together over loopback.
#include "TestServers.h"
#include "core/OrvalisError.h"
#include "net/ServerClient.h"
#include "net/ServerReply.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace orv;
using test::fileBytes;
using test::writeBytes;
using test::ReferenceServer;

namespace {

QByteArray everyByteBut(const QByteArray& left) {
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        if (!left.contains(char(b)))
            bytes += char(b);
    return bytes;
}

class ReferenceServerTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QString data;
    QString stored;  // the server's folder of the adventure Floresta
    std::unique_ptr<ReferenceServer> server;

    QString local(const QString& name = {}) const { return temp.path() + "/local/Floresta/" + name; }

    void SetUp() override {
        data = temp.path() + "/data";
        stored = data + "/adventures/Floresta/";
        ReferenceServer::addGroup(data, "Floresta", "s3nh@ & c%41o", "Floresta (teste)");
        ReferenceServer::addGroup(data, QString::fromUtf8("Caverna"), "outra", QString::fromUtf8("Caverna do dragão"));
        ASSERT_TRUE(QDir().mkpath(local()));
        writeBytes(stored + "Floresta.map", "sala\r\n3\r\n");
        writeBytes(stored + "sen.txt", "segredo do servidor\r\n");
        server = std::make_unique<ReferenceServer>(data, 64 * 1024);
    }
};

TEST_F(ReferenceServerTest, ListsGroupsAndFilesButNeverThePasswordFile) {
    ServerClient client(server->base());
    const QStringList groups = client.listGroups();
    EXPECT_EQ(groups, QStringList({"Ok", "Floresta (teste)|Floresta", QString::fromUtf8("Caverna do dragão|Caverna")}));
    EXPECT_EQ(ServerReply::groupAdventureName(groups.value(2)), "Caverna");
    EXPECT_EQ(client.listFiles("Floresta"), QStringList({"Ok", "Floresta.map"}));
    EXPECT_EQ(client.listFiles("Caverna"), QStringList({"Ok"}));
    EXPECT_FALSE(ServerReply::isOk(client.listFiles("Nenhuma")));

    EXPECT_FALSE(client.getText("Floresta", local(), "sen.txt"));
    EXPECT_EQ(client.getFile("Floresta", local(), "sen.txt"), "Falha download");
    EXPECT_FALSE(QFile::exists(local("sen.txt")));
    writeBytes(local("sen.txt"), "troca\r\n");
    EXPECT_EQ(client.putText("Floresta", local(), "sen.txt", "s3nh@ & c%41o"), QString::fromUtf8("Arquivo inválido!"));
    EXPECT_EQ(client.putFile("Floresta", local(), "sen.txt", "s3nh@ & c%41o"), QString::fromUtf8("Arquivo inválido!"));
    EXPECT_EQ(fileBytes(stored + "sen.txt"), "segredo do servidor\r\n");
    const QByteArray upper = test::rawExchange(server->port(), "GET /Orvalis/Floresta/SEN.TXT HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(upper.startsWith("HTTP/1.0 404") || upper.startsWith("HTTP/1.1 404")) << upper.constData();
}

TEST_F(ReferenceServerTest, TextAndFilesTravelByteForByteUnderNamesWithBlanksAndAmpersands) {
    ServerClient client(server->base());
    const QString password = "s3nh@ & c%41o";
    const QString textName = QString::fromUtf8("mapa da floresta&1 ação.scp");
    const QByteArray text = everyByteBut("\r\n") + "\nsegunda linha\n\nsem fim";
    const QByteArray asStored = everyByteBut("\r\n") + "\r\nsegunda linha\r\n\r\nsem fim\r\n";
    writeBytes(local(textName), text);
    EXPECT_EQ(client.putText("Floresta", local(), textName, password), "Ok");
    EXPECT_EQ(fileBytes(stored + textName), asStored);
    ASSERT_TRUE(QFile::remove(local(textName)));
    EXPECT_TRUE(client.getText("Floresta", local(), textName));
    EXPECT_EQ(fileBytes(local(textName)), asStored);

    const QString fileName = "som da porta & eco 100%25.wav";
    const QByteArray bytes = everyByteBut({}).repeated(40);
    writeBytes(local(fileName), bytes);
    EXPECT_EQ(client.putFile("Floresta", local(), fileName, password), "Ok");
    EXPECT_EQ(fileBytes(stored + fileName), bytes);
    ASSERT_TRUE(QFile::remove(local(fileName)));
    EXPECT_EQ(client.getFile("Floresta", local(), fileName), "Ok");
    EXPECT_EQ(fileBytes(local(fileName)), bytes);

    EXPECT_EQ(client.listFiles("Floresta"), QStringList({"Ok", "Floresta.map", textName, fileName}));
    EXPECT_TRUE(QDir(data + "/tmp").isEmpty());
}

TEST_F(ReferenceServerTest, UploadsAreRefusedForAWrongPasswordABadNameOrTooManyBytes) {
    ServerClient client(server->base());
    writeBytes(local("sala.scp"), "nova\r\n");
    EXPECT_EQ(client.putText("Floresta", local(), "sala.scp", "errada"), "Senha incorreta!");
    EXPECT_EQ(client.putFile("Floresta", local(), "sala.scp", "outra"), "Senha incorreta!");
    EXPECT_EQ(client.putFile("Floresta", local(), "sala.scp", "s3nh@ & cAo"), "Senha incorreta!");
    EXPECT_EQ(client.putFile("Sem grupo", local(), "sala.scp", "s3nh@ & c%41o"), "Grupo inexistente!");
    writeBytes(local("a|b.scp"), "x\r\n");
    EXPECT_EQ(client.putFile("Floresta", local(), "a|b.scp", "s3nh@ & c%41o"), QString::fromUtf8("Arquivo inválido!"));

    // Names that the client itself would refuse, sent by hand.
    for (const QByteArray arq : {"..", "../fora.txt", "sub/fora.txt", "a%00b", "a%0Ab", "a%0D"}) {
        const QByteArray body = "--xx\r\nContent-Disposition: form-data; name=\"Txt\"\r\n\r\nmal\r\n--xx--\r\n";
        const QByteArray reply = test::rawExchange(
            server->port(), "POST /Orvalis/puttxt.php?NoAdv=Floresta&Arq=" + arq +
                                "&Senha=s3nh@%20&%20c%41o HTTP/1.0\r\nContent-Type: multipart/form-data; "
                                "boundary=xx\r\nContent-Length: " +
                                QByteArray::number(body.size()) + "\r\n\r\n" + body);
        EXPECT_TRUE(reply.endsWith("Arquivo inv\xE1lido!")) << arq.constData() << ": " << reply.constData();
    }
    EXPECT_FALSE(QFile::exists(data + "/adventures/fora.txt"));
    EXPECT_FALSE(QFile::exists(data + "/fora.txt"));

    writeBytes(local("grande.png"), QByteArray(100 * 1024, 'g'));
    writeBytes(local("grande.scp"), QByteArray(100 * 1024, 't'));
    writeBytes(local("cabe.png"), QByteArray(60 * 1024, 'c'));
    EXPECT_EQ(client.putFile("Floresta", local(), "grande.png", "s3nh@ & c%41o"), "Arquivo muito grande!");
    EXPECT_EQ(client.putText("Floresta", local(), "grande.scp", "s3nh@ & c%41o"), "Arquivo muito grande!");
    EXPECT_EQ(client.putFile("Floresta", local(), "cabe.png", "s3nh@ & c%41o"), "Ok");
    QStringList storedNames = QDir(stored).entryList(QDir::Files);
    storedNames.sort();
    EXPECT_EQ(storedNames, QStringList({"Floresta.map", "cabe.png", "sen.txt"}));
    EXPECT_TRUE(QDir(data + "/tmp").isEmpty());
}

}  // namespace

namespace {

TEST(DemoData, TheSampleAdventureIsServedAsGroupFlorestaWithPasswordDemo) {
    QTemporaryDir temp;
    const QString sample = temp.path() + "/amostra/Floresta/";
    ASSERT_TRUE(QDir().mkpath(sample));
    writeBytes(sample + "Floresta.map", "sala\r\n");
    writeBytes(sample + "sala.png", "png");
    writeBytes(sample + "sen.txt", "senha local\r\n");
    QProcess script;
    script.start("sh", {ORVALIS_SERVER_DIR "/demo-data.sh", temp.path() + "/dados", sample});
    ASSERT_TRUE(script.waitForFinished(30000));
    ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().constData();

    ReferenceServer server(temp.path() + "/dados");
    ServerClient client(server.base());
    const QStringList groups = client.listGroups();
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(ServerReply::groupAdventureName(groups[1]), "Floresta");
    EXPECT_EQ(client.listFiles("Floresta"), QStringList({"Ok", "Floresta.map", "sala.png"}));
    EXPECT_EQ(client.putFile("Floresta", sample, "sala.png", "demo"), "Ok");
    EXPECT_TRUE(ServerClient::defaultBaseAddress().endsWith("/Orvalis/"));
}

}  // namespace
