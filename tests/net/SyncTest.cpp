// Several authors on one group: what each workspace remembers of its last
// exchange, how a folder compares with the server, and the whole transfers
// and conflict choices that follow from it, against a server that keeps
// versions and one that speaks only the plain protocol.
#include "TestServers.h"
#include "core/DurableWrite.h"
#include "net/AdventureTransfer.h"
#include "net/ServerClient.h"
#include "net/SyncPlan.h"
#include "net/SyncRecord.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using namespace orv;
using test::FakeAdventureServer;
using test::FaultServer;
using test::fileBytes;
using test::writeBytes;

namespace {

namespace AT = AdventureTransfer;

QByteArray rgsAsOpened() {
    QByteArray lines;
    for (int i = 0; i < 251; ++i)
        lines += "\r\n";
    return lines;
}

AT::Progress quiet() {
    return {[](const QString&) {}, [](int, int) {}};
}

// One author's copy of the adventure Floresta.
struct Workspace {
    QTemporaryDir dir;
    QString folder() const { return dir.path() + QStringLiteral("/Floresta/"); }
    QString path(const QString& name) const { return folder() + name; }
    void write(const QString& name, const QByteArray& bytes) const { writeBytes(path(name), bytes); }
    QByteArray read(const QString& name) const { return fileBytes(path(name)); }
    Workspace() { QDir().mkpath(folder()); }
};

QMap<QString, SyncState> states(const QList<FileSync>& plan) {
    QMap<QString, SyncState> map;
    for (const FileSync& f : plan)
        map.insert(f.name, f.state);
    return map;
}

QStringList names(const QList<FileSync>& files) {
    QStringList list;
    for (const FileSync& f : files)
        list << f.name;
    return list;
}

// The file bodies that went up, by name.
QStringList uploads(const std::vector<FaultServer::Request>& requests, size_t from = 0) {
    QStringList sent;
    for (size_t i = from; i < requests.size(); ++i) {
        const QByteArray line = requests[i].requestLine();
        if (!line.startsWith("POST"))
            continue;
        const qsizetype at = line.indexOf("&Arq=") + 5;
        sent << QString::fromLatin1(line.mid(at, line.indexOf("&Senha=") - at));
    }
    return sent;
}

// The files fetched, by name.
QStringList fetches(const std::vector<FaultServer::Request>& requests, size_t from = 0) {
    QStringList got;
    for (size_t i = from; i < requests.size(); ++i) {
        const QByteArray line = requests[i].requestLine();
        if (line.startsWith("GET /Orvalis/Floresta/"))
            got << QString::fromLatin1(line.mid(22, line.lastIndexOf(' ') - 22));
    }
    return got;
}

TEST(SyncRecord, KeepsEachExchangeForOneServerAndReadsAnythingElseAsNoRecord) {
    Workspace ws;
    const QString server = QStringLiteral("http://127.0.0.1:1/Orvalis/");
    SyncRecord record(server);
    const QDateTime at = QDateTime::fromString("2024-05-01T10:20:30.456Z", Qt::ISODateWithMs);
    record.set("sala.scp", sha256Hex("a"), sha256Hex("a"), at);
    record.set("Clareira çã.map", sha256Hex("b"), sha256Hex("b\r\n"), at);
    record.save(ws.folder());

    // Hidden: never part of a whole upload.
    EXPECT_TRUE(ws.read(SyncRecord::kFileName).startsWith("orvalis-sinc 1\n"));
    EXPECT_FALSE(AT::folderListing(ws.folder()).contains(SyncRecord::kFileName));

    const SyncRecord back = SyncRecord::load(ws.folder(), server);
    ASSERT_EQ(back.names(), (QStringList{"Clareira çã.map", "sala.scp"}));
    EXPECT_EQ(back.find("sala.scp")->sha, sha256Hex("a"));
    EXPECT_TRUE(back.find("sala.scp")->localSha.isEmpty());  // the same: not kept twice
    EXPECT_EQ(back.find("Clareira çã.map")->localVersion(), sha256Hex("b\r\n"));
    EXPECT_EQ(back.find("sala.scp")->at, at);
    EXPECT_EQ(back.find("outro.scp"), nullptr);

    // Another server's address: no record for this one.
    EXPECT_TRUE(SyncRecord::load(ws.folder(), "http://127.0.0.1:2/Orvalis/").isEmpty());

    // Cut at any length, or any byte changed: no record, never half a one.
    const QByteArray whole = ws.read(SyncRecord::kFileName);
    for (qsizetype n = 0; n < whole.size(); ++n) {
        SyncRecord cut;
        ASSERT_FALSE(SyncRecord::parse(whole.left(n), server, cut)) << n;
        ASSERT_TRUE(cut.isEmpty());
        QByteArray changed = whole;
        changed[n] = char(changed[n] ^ 0x20);
        SyncRecord damaged;
        ASSERT_FALSE(SyncRecord::parse(changed, server, damaged)) << n;
        ASSERT_TRUE(damaged.isEmpty());
    }
    // A foreign file under the name.
    ws.write(SyncRecord::kFileName, "[sinc]\nsala.scp=1\n");
    EXPECT_TRUE(SyncRecord::load(ws.folder(), server).isEmpty());

    // One exchange at a time (the per-item buttons) keeps the others.
    record.save(ws.folder());
    SyncRecord::recordExchange(ws.folder(), server, "novo.wav", sha256Hex("c"));
    const SyncRecord grown = SyncRecord::load(ws.folder(), server);
    EXPECT_EQ(grown.names().size(), 3);
    EXPECT_EQ(grown.find("novo.wav")->sha, sha256Hex("c"));
}

TEST(SyncPlan, EachFileStandsByItsTwoVersionsAndTheLastExchange) {
    const QByteArray a = sha256Hex("a"), b = sha256Hex("b"), c = sha256Hex("c");
    SyncRecord::Entry was{a, {}, {}};
    auto state = [](const QByteArray* here, const QByteArray* there, const SyncRecord::Entry* entry,
                    const QString& name = "sala.scp", const QByteArray& bytes = {}) {
        return SyncPlan::compare("Floresta", name, here, there, entry, bytes);
    };
    EXPECT_EQ(state(&a, &a, nullptr), SyncState::Same);
    EXPECT_EQ(state(&a, &a, &was), SyncState::Same);
    EXPECT_EQ(state(&b, &a, &was), SyncState::Local);
    EXPECT_EQ(state(&a, &b, &was), SyncState::Server);
    EXPECT_EQ(state(&b, &c, &was), SyncState::Conflict);
    EXPECT_EQ(state(&b, &a, nullptr), SyncState::Conflict);  // no exchange known
    EXPECT_EQ(state(&a, nullptr, nullptr), SyncState::NewLocal);
    EXPECT_EQ(state(&a, nullptr, &was), SyncState::NewLocal);  // gone from the server: offered again
    EXPECT_EQ(state(nullptr, &a, nullptr), SyncState::NewServer);
    EXPECT_EQ(state(nullptr, &a, &was), SyncState::NewServer);
    // A text fetched with its line ends made CR LF is unchanged on both sides.
    SyncRecord::Entry text{a, c, {}};
    EXPECT_EQ(state(&c, &a, &text), SyncState::Same);
    EXPECT_EQ(state(&b, &a, &text), SyncState::Local);
    // Unreadable here: never overwritten unseen.
    const QByteArray unreadable;
    EXPECT_EQ(state(&unreadable, &b, &was), SyncState::Conflict);

    // What opening creates, untouched since, gives way to the server's copy.
    const QByteArray empty = sha256Hex({});
    const QByteArray rgs = sha256Hex(rgsAsOpened());
    const QByteArray pw = sha256Hex("\r\n");
    for (const char* name : {"Floresta.obx", "Floresta.obz", "Floresta.ini"})
        EXPECT_EQ(state(&empty, &a, nullptr, name, {}), SyncState::Server) << name;
    EXPECT_EQ(state(&rgs, &a, nullptr, "Floresta.rgs", rgsAsOpened()), SyncState::Server);
    EXPECT_EQ(state(&pw, &a, nullptr, "sen.txt", "\r\n"), SyncState::Server);
    // Written since, or another adventure's name, or another file: a conflict.
    const QByteArray one = sha256Hex("x\r\n");
    EXPECT_EQ(state(&one, &a, nullptr, "Floresta.obx", "x\r\n"), SyncState::Conflict);
    EXPECT_EQ(state(&empty, &a, nullptr, "Caverna.obx", {}), SyncState::Conflict);
    EXPECT_EQ(state(&empty, &a, nullptr, "Floresta.map", {}), SyncState::Conflict);
    EXPECT_EQ(state(&rgs, &a, nullptr, "Floresta.rgx", rgsAsOpened()), SyncState::Conflict);

    for (SyncState s : {SyncState::Same, SyncState::Local, SyncState::Server, SyncState::Conflict,
                        SyncState::NewLocal, SyncState::NewServer})
        EXPECT_EQ(syncStateFromKey(syncStateKey(s)), s);
    EXPECT_EQ(syncStateKey(SyncState::NewServer), "novo-servidor");
    EXPECT_FALSE(syncStateFromKey("Igual").has_value());

    // The listing: bad lines and unsafe names are left out and named.
    QStringList rejected;
    const QList<ServerFile> files = SyncPlan::parseListing(
        {"sala.scp\t3\t" + QString(a), "../fora.txt\t1\t" + QString(a), "sem-sha\t3", "grande.wav\tx\t" + QString(a),
         "MAIUSCULA\t1\t" + QString(a).toUpper(), "sala.scp\t3\t" + QString(b)},
        &rejected);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0].name, "sala.scp");
    EXPECT_EQ(files[0].size, 3);
    EXPECT_EQ(rejected.size(), 5);
}

class SyncTransfer : public ::testing::Test {
protected:
    FakeAdventureServer server;
    Workspace a, b;
    ServerClient clientA{server.base()}, clientB{server.base()};

    void SetUp() override {
        server.put("Clareira.scp", "fala 1\r\nfim\r\n");
        server.put("sala.png", QByteArray(5000, 'p'));
        server.put("Floresta.obx", "chave\r\n1\r\n");
    }
};

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

TEST_F(SyncTransfer, TwoAuthorsOnOneFileNobodysWorkIsLostAndTheSecondSeesTheConflict) {
    // Both fetch; A's folder was opened first, so its lists exist as opening
    // makes them: they give way to the server's.
    a.write("Floresta.obx", "");
    a.write("Floresta.rgs", rgsAsOpened());
    const AT::DownloadResult fetchedA = AT::downloadAll(clientA, "Floresta", a.folder(), quiet());
    EXPECT_TRUE(fetchedA.revisions);
    EXPECT_EQ(fetchedA.written, (QStringList{"Clareira.scp", "sala.png", "Floresta.obx"}));
    EXPECT_TRUE(fetchedA.conflicts.isEmpty());
    EXPECT_TRUE(fetchedA.notWritten.isEmpty());
    EXPECT_EQ(a.read("Floresta.obx"), "chave\r\n1\r\n");
    EXPECT_EQ(AT::downloadAll(clientB, "Floresta", b.folder(), quiet()).written.size(), 3);

    // A changes the script and sends: it and the new register file travel.
    a.write("Clareira.scp", "fala de A\r\nfim\r\n");
    const AT::UploadResult sentA = AT::uploadAll(clientA, "Floresta", a.folder(), "segredo", quiet());
    EXPECT_EQ(sorted(sentA.sent), (QStringList{"Clareira.scp", "Floresta.rgs"}));
    EXPECT_EQ(sorted(sentA.unchanged), (QStringList{"Floresta.obx", "sala.png"}));
    EXPECT_EQ(server.file("Clareira.scp"), "fala de A\r\nfim\r\n");

    // B changed another line of the same script: not sent, a conflict.
    b.write("Clareira.scp", "fala 1\r\nfim de B\r\n");
    const size_t before = server.requests().size();
    const AT::UploadResult sentB = AT::uploadAll(clientB, "Floresta", b.folder(), "segredo", quiet());
    EXPECT_TRUE(sentB.revisions);
    EXPECT_TRUE(sentB.sent.isEmpty());
    EXPECT_EQ(names(sentB.conflicts), QStringList{"Clareira.scp"});
    EXPECT_TRUE(uploads(server.requests(), before).isEmpty());
    EXPECT_EQ(server.file("Clareira.scp"), "fala de A\r\nfim\r\n");
    EXPECT_EQ(server.history("Clareira.scp"), QList<QByteArray>{"fala 1\r\nfim\r\n"});

    // B's download brings what is new there and leaves the conflict alone.
    const AT::DownloadResult fetchedB = AT::downloadAll(clientB, "Floresta", b.folder(), quiet());
    EXPECT_EQ(fetchedB.written, QStringList{"Floresta.rgs"});
    EXPECT_EQ(names(fetchedB.conflicts), QStringList{"Clareira.scp"});
    EXPECT_EQ(b.read("Clareira.scp"), "fala 1\r\nfim de B\r\n");
    const FileSync conflict = fetchedB.conflicts.first();
    EXPECT_EQ(conflict.serverSha, sha256Hex("fala de A\r\nfim\r\n"));
    EXPECT_EQ(conflict.localSha, sha256Hex("fala 1\r\nfim de B\r\n"));
    EXPECT_EQ(conflict.recordSha, sha256Hex("fala 1\r\nfim\r\n"));
    EXPECT_EQ(conflict.serverSize, 16);
    EXPECT_EQ(conflict.localSize, 18);
    EXPECT_TRUE(conflict.localTime.isValid());
    EXPECT_TRUE(conflict.exchangedAt.isValid());

    // "Keep both": A's beside B's, B's not sent; from now on B's is the one
    // changed here, and its upload goes over A's version, kept by the server.
    EXPECT_EQ(AT::resolveConflict(clientB, "Floresta", b.folder(), "segredo", conflict, AT::ConflictChoice::Both),
              "Ok");
    EXPECT_EQ(b.read("Clareira (servidor).scp"), "fala de A\r\nfim\r\n");
    EXPECT_EQ(b.read("Clareira.scp"), "fala 1\r\nfim de B\r\n");
    EXPECT_EQ(server.file("Clareira.scp"), "fala de A\r\nfim\r\n");
    const AT::Status status = AT::compareWithServer(clientB, "Floresta", b.folder());
    EXPECT_EQ(states(status.plan).value("Clareira.scp"), SyncState::Local);
    EXPECT_FALSE(states(status.plan).contains("Clareira (servidor).scp"));  // the author's to merge
    b.write("Clareira.scp", "fala de A\r\nfim de B\r\n");  // merged by hand
    const AT::UploadResult merged = AT::uploadAll(clientB, "Floresta", b.folder(), "segredo", quiet());
    EXPECT_EQ(merged.sent, QStringList{"Clareira.scp"});
    EXPECT_EQ(server.file("Clareira.scp"), "fala de A\r\nfim de B\r\n");
    EXPECT_EQ(server.history("Clareira.scp"), (QList<QByteArray>{"fala 1\r\nfim\r\n", "fala de A\r\nfim\r\n"}));

    // A, unchanged since its upload, simply takes the merge.
    const AT::DownloadResult again = AT::downloadAll(clientA, "Floresta", a.folder(), quiet());
    EXPECT_EQ(again.written, QStringList{"Clareira.scp"});
    EXPECT_TRUE(again.conflicts.isEmpty());
    EXPECT_EQ(a.read("Clareira.scp"), "fala de A\r\nfim de B\r\n");
}

TEST_F(SyncTransfer, MineAndTheirsSettleAConflictAndARaceSinceTheComparisonIsNotOverwritten) {
    AT::downloadAll(clientA, "Floresta", a.folder(), quiet());
    server.put("Clareira.scp", "do outro\r\n");
    a.write("Clareira.scp", "meu\r\n");
    AT::Status status = AT::compareWithServer(clientA, "Floresta", a.folder());
    const FileSync* conflict = SyncPlan::find(status.plan, "Clareira.scp");
    ASSERT_NE(conflict, nullptr);
    ASSERT_EQ(conflict->state, SyncState::Conflict);

    // Somebody sends once more after the comparison: "mine" is refused.
    server.put("Clareira.scp", "do outro, de novo\r\n");
    EXPECT_EQ(AT::resolveConflict(clientA, "Floresta", a.folder(), "segredo", *conflict, AT::ConflictChoice::Mine),
              "Conflito!");
    EXPECT_EQ(server.file("Clareira.scp"), "do outro, de novo\r\n");
    EXPECT_EQ(a.read("Clareira.scp"), "meu\r\n");

    // Mine: it goes over the server's version, which the server keeps.
    status = AT::compareWithServer(clientA, "Floresta", a.folder());
    conflict = SyncPlan::find(status.plan, "Clareira.scp");
    EXPECT_EQ(AT::resolveConflict(clientA, "Floresta", a.folder(), "segredo", *conflict, AT::ConflictChoice::Mine),
              "Ok");
    EXPECT_EQ(server.file("Clareira.scp"), "meu\r\n");
    EXPECT_EQ(server.history("Clareira.scp").last(), "do outro, de novo\r\n");
    EXPECT_EQ(states(AT::compareWithServer(clientA, "Floresta", a.folder()).plan).value("Clareira.scp"),
              SyncState::Same);

    // Theirs: the server's replaces the local file.
    server.put("sala.png", "outra imagem");
    a.write("sala.png", "minha imagem");
    status = AT::compareWithServer(clientA, "Floresta", a.folder());
    conflict = SyncPlan::find(status.plan, "sala.png");
    ASSERT_EQ(conflict->state, SyncState::Conflict);
    EXPECT_EQ(AT::resolveConflict(clientA, "Floresta", a.folder(), "segredo", *conflict, AT::ConflictChoice::Theirs),
              "Ok");
    EXPECT_EQ(a.read("sala.png"), "outra imagem");
    EXPECT_FALSE(QFile::exists(a.path("sala (servidor).png")));
    EXPECT_EQ(states(AT::compareWithServer(clientA, "Floresta", a.folder()).plan).value("sala.png"), SyncState::Same);
}

TEST_F(SyncTransfer, AnUnchangedAdventureSendsAndFetchesNoFileYetMovesTheGauge) {
    AT::downloadAll(clientA, "Floresta", a.folder(), quiet());
    QList<QPair<int, int>> gauge;
    QStringList statuses, travelled;
    const AT::Progress progress{[&](const QString& s) { statuses << s; },
                                [&](int p, int m) { gauge.append({p, m}); },
                                [&](int n, int count, const QString& name) {
                                    travelled << QStringLiteral("%1/%2 %3").arg(n).arg(count).arg(name);
                                }};
    size_t before = server.requests().size();
    const AT::UploadResult up = AT::uploadAll(clientA, "Floresta", a.folder(), "segredo", progress);
    EXPECT_TRUE(uploads(server.requests(), before).isEmpty());
    EXPECT_EQ(up.unchanged.size(), 3);
    EXPECT_EQ(gauge, (QList<QPair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 3}}));
    EXPECT_EQ(statuses, QStringList{"Upload completo!"});
    EXPECT_TRUE(travelled.isEmpty());

    gauge.clear();
    statuses.clear();
    before = server.requests().size();
    const AT::DownloadResult down = AT::downloadAll(clientA, "Floresta", a.folder(), progress);
    EXPECT_TRUE(fetches(server.requests(), before).isEmpty());
    EXPECT_EQ(down.unchanged, (QStringList{"Clareira.scp", "sala.png", "Floresta.obx"}));
    EXPECT_TRUE(down.written.isEmpty());
    EXPECT_EQ(gauge, (QList<QPair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 3}}));
    EXPECT_EQ(statuses, (QStringList{"Pasta vazia", "Download completo"}));

    // One file changed on each side: only it travels, counted alone.
    server.put("sala.png", "nova imagem");
    a.write("Clareira.scp", "editado\r\n");
    before = server.requests().size();
    EXPECT_EQ(AT::downloadAll(clientA, "Floresta", a.folder(), progress).written, QStringList{"sala.png"});
    EXPECT_EQ(AT::uploadAll(clientA, "Floresta", a.folder(), "segredo", progress).sent, QStringList{"Clareira.scp"});
    EXPECT_EQ(fetches(server.requests(), before), QStringList{"sala.png"});
    EXPECT_EQ(uploads(server.requests(), before), QStringList{"Clareira.scp"});
    EXPECT_EQ(travelled, (QStringList{"1/1 sala.png", "1/1 Clareira.scp"}));
    const QByteArray sent = server.requests().back().requestLine();
    EXPECT_TRUE(sent.contains("&Senha=segredo&Base=" + sha256Hex("fala 1\r\nfim\r\n") + " ")) << sent.constData();
}

TEST_F(SyncTransfer, AWrongPasswordStopsAtTheFirstFileWithOrWithoutRevisions) {
    for (const bool revisions : {true, false}) {
        SCOPED_TRACE(revisions);
        FakeAdventureServer plainOrNot(revisions);
        Workspace ws;
        for (const char* name : {"a.scp", "b.scp", "c.png", "d.wav", "e.obj"})
            ws.write(name, name);
        ServerClient client(plainOrNot.base());
        AT::Options options;
        options.probe = true;
        QStringList statuses;
        const AT::UploadResult result = AT::uploadAll(
            client, "Floresta", ws.folder(), "errada", {[&](const QString& s) { statuses << s; }, [](int, int) {}},
            options);
        EXPECT_TRUE(result.wrongPassword);
        EXPECT_TRUE(result.sent.isEmpty());
        ASSERT_EQ(result.refused.size(), 1);
        EXPECT_EQ(result.refused.first().second, "Senha incorreta!");
        EXPECT_EQ(uploads(plainOrNot.requests()).size(), 1);
        EXPECT_EQ(statuses, QStringList{"Senha incorreta!"});  // not "Upload completo!"
    }
}

TEST_F(SyncTransfer, ACutOrForeignRecordMakesEveryDifferenceAConflictAndNothingIsOverwritten) {
    AT::downloadAll(clientA, "Floresta", a.folder(), quiet());
    a.write("Clareira.scp", "editado aqui\r\n");
    server.put("sala.png", "editado lá");
    const QByteArray record = a.read(SyncRecord::kFileName);
    for (const QByteArray& spoilt : {record.left(record.size() / 2), QByteArray("lixo\n"), record + "sobra\n"}) {
        a.write(SyncRecord::kFileName, spoilt);
        const AT::Status status = AT::compareWithServer(clientA, "Floresta", a.folder());
        EXPECT_EQ(states(status.plan), (QMap<QString, SyncState>{{"Clareira.scp", SyncState::Conflict},
                                                                  {"sala.png", SyncState::Conflict},
                                                                  {"Floresta.obx", SyncState::Same}}));
        const size_t before = server.requests().size();
        const AT::DownloadResult down = AT::downloadAll(clientA, "Floresta", a.folder(), quiet());
        EXPECT_EQ(sorted(names(down.conflicts)), (QStringList{"Clareira.scp", "sala.png"}));
        const AT::UploadResult up = AT::uploadAll(clientA, "Floresta", a.folder(), "segredo", quiet());
        EXPECT_EQ(sorted(names(up.conflicts)), (QStringList{"Clareira.scp", "sala.png"}));
        EXPECT_TRUE(fetches(server.requests(), before).isEmpty());
        EXPECT_TRUE(uploads(server.requests(), before).isEmpty());
        EXPECT_EQ(a.read("Clareira.scp"), "editado aqui\r\n");
        EXPECT_EQ(server.file("Clareira.scp"), "fala 1\r\nfim\r\n");
        EXPECT_EQ(a.read("sala.png"), QByteArray(5000, 'p'));
        EXPECT_EQ(server.file("sala.png"), "editado lá");
    }

    // The author overrides: the server keeps what it had, here the old copy goes.
    AT::Options force;
    force.force = true;
    EXPECT_EQ(AT::uploadAll(clientA, "Floresta", a.folder(), "segredo", quiet(), force).sent.size(), 2);
    EXPECT_EQ(server.file("sala.png"), QByteArray(5000, 'p'));
    EXPECT_EQ(server.history("sala.png").last(), "editado lá");
}

TEST_F(SyncTransfer, AFileThatCannotBeWrittenIsNamedWithItsReasonNeverCountedWritten) {
    // A folder where the file should go: its rename fails whoever runs this.
    a.write("sala.png/dentro.txt", "ocupado");
    for (const bool revisions : {true, false}) {
        SCOPED_TRACE(revisions);
        server.setRevisions(revisions);
        const AT::DownloadResult result = AT::downloadAll(clientA, "Floresta", a.folder(), quiet());
        EXPECT_FALSE(result.written.contains("sala.png"));
        EXPECT_TRUE(result.failed.contains("sala.png"));
        ASSERT_FALSE(result.notWritten.isEmpty());
        bool named = false;
        for (const auto& [name, why] : result.notWritten)
            named |= name == "sala.png" && !why.isEmpty();
        EXPECT_TRUE(named);
        EXPECT_EQ(result.notWritten.size(), result.failed.size());
    }
}

// A server that speaks only the plain protocol sees exactly the requests it
// always saw: no key, no header of the extension, and no record is kept.
TEST_F(SyncTransfer, APlainServerGetsThePlainProtocolByteForByte) {
    server.setRevisions(false);
    a.write("Clareira.scp", "local\r\n");
    const AT::DownloadResult down = AT::downloadAll(clientA, "Floresta", a.folder(), quiet());
    EXPECT_FALSE(down.revisions);
    EXPECT_EQ(down.written, (QStringList{"Clareira.scp", "sala.png", "Floresta.obx"}));  // every file, as always
    a.write("Clareira.scp", "editado\r\n");
    const AT::UploadResult up = AT::uploadAll(clientA, "Floresta", a.folder(), "segredo", quiet());
    EXPECT_FALSE(up.revisions);
    EXPECT_EQ(sorted(up.sent), (QStringList{"Clareira.scp", "Floresta.obx", "sala.png"}));
    EXPECT_FALSE(QFile::exists(a.path(SyncRecord::kFileName)));

    QList<QByteArray> lines;
    for (const auto& r : server.requests()) {
        lines << r.requestLine();
        EXPECT_FALSE(r.head.toLower().contains("orvalis-")) << r.head.constData();
    }
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines.mid(0, 4), (QList<QByteArray>{"GET /Orvalis/lstarqs.php?NoAdv=Floresta HTTP/1.1",
                                                  "GET /Orvalis/Floresta/Clareira.scp HTTP/1.1",
                                                  "GET /Orvalis/Floresta/sala.png HTTP/1.1",
                                                  "GET /Orvalis/Floresta/Floresta.obx HTTP/1.1"}));
    for (const QByteArray& line : lines.mid(4))
        EXPECT_TRUE(line.startsWith("POST /Orvalis/putarq.php?NoAdv=Floresta&Arq=") &&
                    line.endsWith("&Senha=segredo HTTP/1.1"))
            << line.constData();

    // A record left from a time the server kept versions: the client asks
    // the plain file list once to learn, and sends the plain uploads.
    SyncRecord old(server.base());
    old.set("Clareira.scp", sha256Hex("x"));
    old.save(a.folder());
    ServerClient fresh(server.base());
    const size_t before = server.requests().size();
    EXPECT_FALSE(AT::uploadAll(fresh, "Floresta", a.folder(), "segredo", quiet()).revisions);
    const auto after = server.requests();
    EXPECT_EQ(after[before].requestLine(), "GET /Orvalis/lstarqs.php?NoAdv=Floresta HTTP/1.1");
    for (size_t i = before + 1; i < after.size(); ++i)
        EXPECT_TRUE(after[i].requestLine().endsWith("&Senha=segredo HTTP/1.1")) << after[i].requestLine().constData();
}

// The reference server, when it keeps versions: two workspaces send the same
// file from the same version at the same moment; exactly one wins, the other
// is told, and both versions are on the server.
TEST(SyncReferenceServer, TwoClientsRacingOnOneFileExactlyOneWins) {
    QTemporaryDir dir;
    const QString data = dir.path() + "/data";
    test::ReferenceServer::addGroup(data, "Floresta", "segredo", "Floresta (teste)");
    writeBytes(data + "/adventures/Floresta/Clareira.scp", "original\r\n");
    test::ReferenceServer reference(data);
    {
        ServerClient probe(reference.base());
        probe.listFiles("Floresta");
        if (!probe.offersRevisions())
            GTEST_SKIP() << "the reference server does not offer revisions yet";
    }
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        Workspace a, b;
        ServerClient clientA(reference.base()), clientB(reference.base());
        ASSERT_EQ(AT::downloadAll(clientA, "Floresta", a.folder(), quiet()).written, QStringList{"Clareira.scp"});
        ASSERT_EQ(AT::downloadAll(clientB, "Floresta", b.folder(), quiet()).written, QStringList{"Clareira.scp"});
        const QByteArray mineA = "de A " + QByteArray::number(round) + "\r\n";
        const QByteArray mineB = "de B " + QByteArray::number(round) + "\r\n";
        a.write("Clareira.scp", mineA);
        b.write("Clareira.scp", mineB);
        AT::UploadResult upA, upB;
        std::thread t([&] { upA = AT::uploadAll(clientA, "Floresta", a.folder(), "segredo", quiet()); });
        upB = AT::uploadAll(clientB, "Floresta", b.folder(), "segredo", quiet());
        t.join();
        ASSERT_EQ(upA.sent.size() + upB.sent.size(), 1) << "exactly one wins";
        ASSERT_EQ(upA.conflicts.size() + upB.conflicts.size(), 1) << "the other is told";
        const bool aWon = upA.sent.size() == 1;
        const QByteArray stored = fileBytes(data + "/adventures/Floresta/Clareira.scp");
        EXPECT_EQ(stored, aWon ? mineA : mineB);
        EXPECT_EQ((aWon ? b : a).read("Clareira.scp"), aWon ? mineB : mineA);  // the loser's work is here

        // The loser's download leaves its work; "mine" then puts it over the
        // winner's, which the server keeps in its history.
        Workspace& loser = aWon ? b : a;
        ServerClient& loserClient = aWon ? clientB : clientA;
        const AT::DownloadResult down = AT::downloadAll(loserClient, "Floresta", loser.folder(), quiet());
        ASSERT_EQ(names(down.conflicts), QStringList{"Clareira.scp"});
        EXPECT_EQ(AT::resolveConflict(loserClient, "Floresta", loser.folder(), "segredo", down.conflicts.first(),
                                      AT::ConflictChoice::Mine),
                  "Ok");
        EXPECT_EQ(fileBytes(data + "/adventures/Floresta/Clareira.scp"), aWon ? mineB : mineA);

        QProcess history;
        history.start("php", {"-n", ORVALIS_SERVER_DIR "/admin.php", "historico", data, "Floresta", "Clareira.scp"});
        ASSERT_TRUE(history.waitForFinished(20000));
        const QByteArray listed = history.readAllStandardOutput();
        EXPECT_TRUE(listed.contains(sha256Hex(aWon ? mineA : mineB))) << listed.constData();
    }
}

}  // namespace
