// The reference server as it is deployed, nginx in front of a php-fpm pool
// (server/start.sh), under the loads that a shared server meets: concurrent
// writers and readers of one file, slow readers, large uploads, password
// floods and hostile names.
#include "net/TestServers.h"
#include "net/ServerClient.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace orv;
using test::fileBytes;
using test::ReferenceServer;
using test::writeBytes;

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 MiB = 1024 * 1024;

struct Reply {
    int status = 0;
    QByteArray body;
};

Reply parse(const QByteArray& raw) {
    Reply reply;
    const qsizetype end = raw.indexOf("\r\n\r\n");
    const QList<QByteArray> statusLine = raw.left(raw.indexOf("\r\n")).split(' ');
    reply.status = statusLine.size() > 1 ? statusLine[1].toInt() : 0;
    reply.body = end < 0 ? QByteArray() : raw.mid(end + 4);
    return reply;
}

Reply get(quint16 port, const QByteArray& target) {
    return parse(test::rawExchange(port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"));
}

// A multipart POST as the editor sends it: one part, "Txt" or the file "Img".
QByteArray uploadRequest(const QByteArray& endpoint, const QByteArray& query, const QByteArray& bytes) {
    const QByteArray part = endpoint == "puttxt.php"
                                ? QByteArray("Content-Disposition: form-data; name=\"Txt\"\r\n\r\n")
                                : QByteArray("Content-Disposition: form-data; name=\"Img\"; filename=\"f\"\r\n"
                                             "Content-Type: image/jpg\r\n\r\n");
    const QByteArray body = "--fronteira\r\n" + part + bytes + "\r\n--fronteira--\r\n";
    return "POST /Orvalis/" + endpoint + "?" + query +
           " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=fronteira\r\n"
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

Reply upload(quint16 port, const QByteArray& endpoint, const QByteArray& query, const QByteArray& bytes) {
    return parse(test::rawExchange(port, uploadRequest(endpoint, query, bytes)));
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int connectTo(quint16 port, int receiveBuffer = 0) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
        ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

// Reads what arrives on s until the peer closes; stops after timeoutMs of silence.
qint64 drain(int s, int timeoutMs) {
    qint64 total = 0;
    char buffer[65536];
    pollfd p{s, POLLIN, 0};
    while (::poll(&p, 1, timeoutMs) > 0) {
        const ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

// Alive and not a zombie waiting for its parent.
bool processRuns(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.size() > close + 2 && line[close + 2] != 'Z';
}

pid_t pidFrom(const QString& file) {
    return pid_t(fileBytes(file).trimmed().toInt());
}

// The pid's children, from /proc.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        if (!number)
            continue;
        const QByteArray line = fileBytes("/proc/" + entry + "/stat");
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == parent)
            children.push_back(pid);
    }
    return children;
}

// Peak resident memory of a process, in bytes (0 when it is gone).
qint64 peakMemory(pid_t pid) {
    for (const QByteArray& line : fileBytes(QStringLiteral("/proc/%1/status").arg(pid)).split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

class ServerDeploymentTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QString data;
    QString stored;
    std::unique_ptr<ReferenceServer> server;
    quint16 port = 0;

    QString runDir() const { return data + "/run/" + QString::number(port) + "/"; }

    void SetUp() override {
        data = temp.path() + "/data";
        stored = data + "/adventures/Floresta/";
        ReferenceServer::addGroup(data, "Floresta", "demo", "Floresta (teste)");
        writeBytes(stored + "sen.txt", "SEGREDO-DA-AVENTURA\r\n");
        writeBytes(data + "/segredo.txt", "SEGREDO-DA-PASTA\r\n");
        writeBytes(data + "/adventures/segredo.txt", "SEGREDO-DAS-AVENTURAS\r\n");
        try {
            server = std::make_unique<ReferenceServer>(data, 0, ReferenceServer::Fallback::None);
        } catch (const test::ServerUnavailable& e) {
            GTEST_SKIP() << "nginx or php-fpm cannot start here: " << e.what();
        }
        port = server->port();
    }
};

TEST_F(ServerDeploymentTest, ConcurrentUploadsAndReadsOfOneFileNeverSeeHalfAFile) {
    const QByteArray first(1 * MiB, 'a');
    const QByteArray second(3 * MiB / 2, 'b');
    writeBytes(stored + "mapa.txt", first);

    std::atomic<int> writersLeft{3};
    std::atomic<int> uploadsOk{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < 3; ++w)
        threads.emplace_back([&, w] {
            for (int i = 0; i < 6; ++i) {
                const QByteArray endpoint = (w + i) % 2 ? "putarq.php" : "puttxt.php";
                const Reply r = upload(port, endpoint, "NoAdv=Floresta&Arq=mapa.txt&Senha=demo",
                                       (w + i) % 3 ? second : first);
                if (r.body == "Ok")
                    ++uploadsOk;
            }
            --writersLeft;
        });
    std::atomic<int> reads{0};
    std::atomic<int> torn{0};
    for (int r = 0; r < 3; ++r)
        threads.emplace_back([&, r] {
            while (writersLeft > 0) {
                const bool plain = r % 2;
                Reply reply = plain ? get(port, "/Orvalis/Floresta/mapa.txt")
                                    : get(port, "/Orvalis/gettxt.php?NoAdv=Floresta&Arq=mapa.txt");
                if (!plain && reply.body.startsWith("Ok\r\n"))
                    reply.body.remove(0, 4);
                if (reply.body != first && reply.body != second)
                    ++torn;
                ++reads;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(uploadsOk, 18);
    EXPECT_GT(reads, 3);
    EXPECT_EQ(torn, 0);
    const QByteArray last = fileBytes(stored + "mapa.txt");
    EXPECT_TRUE(last == first || last == second);
    EXPECT_TRUE(QDir(data + "/tmp").isEmpty());
}

TEST_F(ServerDeploymentTest, SlowReadersOfALargeFileHoldUpNoOtherRequest) {
    const QByteArray large(16 * MiB, 'L');
    writeBytes(stored + "grande.png", large);
    writeBytes(stored + "sala.scp", "sala\r\n");

    std::vector<int> slow;
    for (int i = 0; i < 4; ++i) {
        const int s = connectTo(port, 4096);
        ASSERT_GE(s, 0);
        const QByteArray request = "GET /Orvalis/Floresta/grande.png HTTP/1.0\r\n\r\n";
        ASSERT_EQ(::send(s, request.constData(), size_t(request.size()), MSG_NOSIGNAL), request.size());
        char one = 0;
        pollfd p{s, POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 5000), 0);
        ASSERT_EQ(::recv(s, &one, 1, 0), 1);
        slow.push_back(s);
    }

    // Each of these is answered while the readers above sit on their downloads.
    auto start = Clock::now();
    EXPECT_EQ(get(port, "/Orvalis/grupos.php").body, "Ok\r\nFloresta (teste)|Floresta\r\n");
    EXPECT_LT(secondsSince(start), 1.0);
    start = Clock::now();
    EXPECT_EQ(get(port, "/Orvalis/Floresta/sala.scp").body, "sala\r\n");
    EXPECT_LT(secondsSince(start), 1.0);
    start = Clock::now();
    EXPECT_EQ(upload(port, "puttxt.php", "NoAdv=Floresta&Arq=sala.scp&Senha=demo", "nova\r\n").body, "Ok");
    EXPECT_LT(secondsSince(start), 1.0);

    // The slow readers still get the whole file.
    for (const int s : slow) {
        EXPECT_GT(drain(s, 10000), large.size() - 1);
        ::close(s);
    }
}

TEST_F(ServerDeploymentTest, TheLimitIsAcceptedAndALargerUploadRefusedUnread) {
    const QString local = temp.path() + "/local/Floresta/";
    const QByteArray limit(16 * MiB, 'x');
    writeBytes(local + "musica.wav", limit);
    const pid_t fpm = pidFrom(runDir() + "php-fpm.pid");
    const pid_t nginx = pidFrom(runDir() + "nginx.pid");
    ASSERT_GT(fpm, 0);
    ASSERT_GT(nginx, 0);
    auto workersPeak = [&] {
        qint64 peak = 0;
        for (const pid_t master : {fpm, nginx})
            for (const pid_t worker : childrenOf(master))
                peak = std::max(peak, peakMemory(worker));
        return peak;
    };
    // Workers that have served a request or two, to compare with.
    for (int i = 0; i < 6; ++i)
        upload(port, "putarq.php", "NoAdv=Floresta&Arq=aquece.wav&Senha=demo", "x");
    const qint64 before = workersPeak();

    ServerClient client(server->base());
    EXPECT_EQ(client.putFile("Floresta", local, "musica.wav", "demo"), "Ok");
    EXPECT_EQ(fileBytes(stored + "musica.wav"), limit);
    // The file went to disk as it arrived: no worker grew by anything like its size.
    const qint64 after = workersPeak();
    EXPECT_LT(after - before, 6 * MiB) << "peak " << after << " bytes, " << before << " before";

    // Only the announcement of a larger body is sent: the refusal comes without
    // the server waiting for, or keeping, a byte of it.
    const int s = connectTo(port);
    ASSERT_GE(s, 0);
    const QByteArray head = "POST /Orvalis/putarq.php?NoAdv=Floresta&Arq=enorme.wav&Senha=demo HTTP/1.1\r\n"
                            "Host: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                            "Content-Length: " + QByteArray::number(17 * MiB) + "\r\n\r\n";
    ASSERT_EQ(::send(s, head.constData(), size_t(head.size()), MSG_NOSIGNAL), head.size());
    QByteArray raw;
    char buffer[4096];
    pollfd p{s, POLLIN, 0};
    while (!raw.contains("grande!") && ::poll(&p, 1, 5000) > 0) {
        const ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        raw.append(buffer, n);
    }
    ::close(s);
    EXPECT_EQ(parse(raw).status, 200) << raw.constData();
    EXPECT_TRUE(raw.endsWith("Arquivo muito grande!")) << raw.constData();

    writeBytes(local + "enorme.wav", QByteArray(17 * MiB, 'y'));
    EXPECT_EQ(client.putFile("Floresta", local, "enorme.wav", "demo"), "Arquivo muito grande!");
    EXPECT_FALSE(QFile::exists(stored + "enorme.wav"));
    EXPECT_TRUE(QDir(data + "/tmp").isEmpty());
    EXPECT_TRUE(QDir(runDir() + "body").isEmpty());
}

TEST_F(ServerDeploymentTest, PasswordsWithControlCharactersAndNamesEndingInBlankOrDotAreRefused) {
    for (const QByteArray password : {"demo%00", "demo%00x", "de%00mo", "demo%0A", "demo%09", "demo%7F"}) {
        EXPECT_EQ(upload(port, "putarq.php", "NoAdv=Floresta&Arq=n.png&Senha=" + password, "png").body,
                  "Senha incorreta!")
            << password.constData();
        EXPECT_EQ(upload(port, "puttxt.php", "NoAdv=Floresta&Arq=n.scp&Senha=" + password, "t").body,
                  "Senha incorreta!")
            << password.constData();
    }
    EXPECT_FALSE(QFile::exists(stored + "n.png"));

    for (const QByteArray name : {"n.png.", "n.png%20", "n.png.%20", "n%20"}) {
        EXPECT_EQ(upload(port, "putarq.php", "NoAdv=Floresta&Arq=" + name + "&Senha=demo", "png").body,
                  "Arquivo inv\xE1lido!")
            << name.constData();
    }
    writeBytes(stored + "n.png", "png");
    EXPECT_EQ(get(port, "/Orvalis/Floresta/n.png.").status, 404);
    EXPECT_EQ(get(port, "/Orvalis/Floresta/n.png").body, "png");
    EXPECT_EQ(QDir(stored).entryList(QDir::Files), QStringList({"n.png", "sen.txt"}));

    // A group cannot be given such a password either.
    QProcess admin;
    admin.start("php", {"-n", ORVALIS_SERVER_DIR "/admin.php", data, "Floresta", QString("demo") + QChar(0x1B)});
    ASSERT_TRUE(admin.waitForFinished(20000));
    EXPECT_NE(admin.exitCode(), 0);

    // The access log names the requests but never their query, where the password travels.
    const QByteArray log = fileBytes(runDir() + "access.log");
    EXPECT_TRUE(log.contains("POST /Orvalis/putarq.php")) << log.constData();
    EXPECT_FALSE(log.contains("Senha")) << log.constData();
    EXPECT_FALSE(log.contains("demo")) << log.constData();
}

TEST_F(ServerDeploymentTest, TraversalNamesReachNothingOnAnyRoute) {
    writeBytes(stored + "a.txt", "texto\r\n");
    const QList<QByteArray> names = {
        "..", "../segredo.txt", "../../segredo.txt", "%2e%2e/segredo.txt", "..\\segredo.txt",
        "Floresta/../../segredo.txt", "/etc/passwd", "sen.txt", "SEN.TXT", "Sen.Txt", "sen.txt.",
        "sen.txt%20", ".", "a.txt/..", "a.txt%00.png",
    };
    // Names that only look like a way out: they are stored as they stand.
    const QList<QByteArray> literal = {"..%2Fsegredo.txt", "%2e%2e", "run"};
    const QList<QByteArray> secrets = {"SEGREDO", "$2y$", "[orvalis]", "worker_processes"};
    auto leaks = [&](const Reply& r) {
        for (const QByteArray& secret : secrets)
            if (r.body.contains(secret))
                return true;
        return false;
    };
    for (const QByteArray& name : names + literal) {
        const std::vector<Reply> reads = {
            get(port, "/Orvalis/lstarqs.php?NoAdv=" + name),
            get(port, "/Orvalis/gettxt.php?NoAdv=Floresta&Arq=" + name),
            get(port, "/Orvalis/gettxt.php?NoAdv=" + name + "&Arq=grupos.json"),
            get(port, "/Orvalis/Floresta/" + name),
            get(port, "/Orvalis/" + name + "/grupos.json"),
            get(port, "/Orvalis/" + name),
            get(port, "/.orvalis-files/Floresta/" + name),
            get(port, "/.orvalis-files/" + name),
        };
        for (const Reply& r : reads) {
            EXPECT_FALSE(leaks(r)) << name.constData() << ": " << r.body.left(200).constData();
            EXPECT_FALSE(r.status == 200 && !r.body.startsWith("Ok") && !r.body.startsWith("Grupo") &&
                         !r.body.startsWith("Arquivo"))
                << name.constData() << ": " << r.status << " " << r.body.left(200).constData();
        }
        for (const QByteArray endpoint : {"puttxt.php", "putarq.php"}) {
            if (literal.contains(name))
                continue;
            const QByteArray byName = upload(port, endpoint, "NoAdv=Floresta&Arq=" + name + "&Senha=demo", "MAL").body;
            EXPECT_EQ(byName, "Arquivo inv\xE1lido!") << endpoint.constData() << " " << name.constData();
            const QByteArray byGroup = upload(port, endpoint, "NoAdv=" + name + "&Arq=x.txt&Senha=demo", "MAL").body;
            EXPECT_EQ(byGroup, "Grupo inexistente!") << endpoint.constData() << " " << name.constData();
        }
    }

    for (const QByteArray& name : literal) {
        EXPECT_EQ(upload(port, "putarq.php", "NoAdv=Floresta&Arq=" + name + "&Senha=demo", "LITERAL").body, "Ok");
        EXPECT_EQ(get(port, "/Orvalis/Floresta/" + name).body, "LITERAL") << name.constData();
        EXPECT_EQ(fileBytes(stored + QString::fromLatin1(name)), "LITERAL") << name.constData();
    }

    // Nothing else was written anywhere, and the secrets are as they were.
    QStringList files;
    for (QDirIterator it(data, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next().mid(data.size() + 1);
        if (!path.startsWith("run/") && !path.startsWith("limits/") && path != "server.log")
            files.append(path);
    }
    files.sort();
    EXPECT_EQ(files, QStringList({"adventures/Floresta/%2e%2e", "adventures/Floresta/..%2Fsegredo.txt",
                                  "adventures/Floresta/a.txt", "adventures/Floresta/run",
                                  "adventures/Floresta/sen.txt", "adventures/segredo.txt", "grupos.json",
                                  "segredo.txt"}));
    EXPECT_EQ(fileBytes(stored + "sen.txt"), "SEGREDO-DA-AVENTURA\r\n");
}

TEST_F(ServerDeploymentTest, AFloodOfWrongPasswordsLeavesTheRightOneThrough) {
    // A real hash cost, so that every wrong password checked in full costs the
    // server some milliseconds.
    QProcess admin;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ORVALIS_HASH_COST", "10");
    admin.setProcessEnvironment(environment);
    admin.start("php", {"-n", ORVALIS_SERVER_DIR "/admin.php", data, "Caverna", "certa"});
    ASSERT_TRUE(admin.waitForFinished(20000));
    ASSERT_EQ(admin.exitCode(), 0);
    const QByteArray right = "NoAdv=Caverna&Arq=sala.scp&Senha=certa";
    ASSERT_EQ(upload(port, "puttxt.php", right, "antes").body, "Ok");

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::atomic<int> limited{0};
    std::vector<std::thread> flood;
    for (int i = 0; i < 20; ++i)
        flood.emplace_back([&, i] {
            while (!stop) {
                const QByteArray body =
                    upload(port, "puttxt.php", "NoAdv=Caverna&Arq=sala.scp&Senha=chute" + QByteArray::number(i), "mal")
                        .body;
                if (body == "Senha incorreta!")
                    ++wrong;
                else if (body.startsWith("Muitas senhas erradas!"))
                    ++limited;
            }
        });
    ::usleep(300000);
    double slowest = 0;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        EXPECT_EQ(upload(port, "puttxt.php", right, "durante " + QByteArray::number(i)).body, "Ok");
        slowest = std::max(slowest, secondsSince(start));
        ::usleep(100000);
    }
    stop = true;
    for (std::thread& t : flood)
        t.join();
    EXPECT_LT(slowest, 1.0);
    EXPECT_GT(limited, 0);
    EXPECT_GE(wrong, 1);
    EXPECT_EQ(fileBytes(data + "/adventures/Caverna/sala.scp"), "durante 2");
    // Another group is not held back by this one's flood.
    EXPECT_EQ(upload(port, "puttxt.php", "NoAdv=Floresta&Arq=x.scp&Senha=demo", "x").body, "Ok");
}

TEST(ServerStart, BothServersEndWithTheScriptEvenWhenItIsKilled) {
    QTemporaryDir temp;
    const QString data = temp.path() + "/data";
    ReferenceServer::addGroup(data, "Floresta", "demo", "Floresta");
    pid_t nginx = 0;
    pid_t fpm = 0;
    {
        std::unique_ptr<ReferenceServer> server;
        try {
            server = std::make_unique<ReferenceServer>(data, 0, ReferenceServer::Fallback::None);
        } catch (const test::ServerUnavailable& e) {
            GTEST_SKIP() << "nginx or php-fpm cannot start here: " << e.what();
        }
        const QString run = data + "/run/" + QString::number(server->port()) + "/";
        nginx = pidFrom(run + "nginx.pid");
        fpm = pidFrom(run + "php-fpm.pid");
        ASSERT_TRUE(processRuns(nginx) && processRuns(fpm));
    }
    EXPECT_FALSE(processRuns(nginx));
    EXPECT_FALSE(processRuns(fpm));

    // Killed outright, the script cannot clean up; its watcher does.
    const quint16 port = test::freeLoopbackPort();
    QProcess script;
    script.setStandardOutputFile(QProcess::nullDevice());
    script.setStandardErrorFile(data + "/server.log");
    script.start("sh", {ORVALIS_SERVER_DIR "/start.sh", QString::number(port), data});
    const QString run = data + "/run/" + QString::number(port) + "/";
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline && get(port, "/Orvalis/grupos.php").status != 200)
        ::usleep(50000);
    nginx = pidFrom(run + "nginx.pid");
    fpm = pidFrom(run + "php-fpm.pid");
    ASSERT_TRUE(processRuns(nginx) && processRuns(fpm));
    ::kill(pid_t(script.processId()), SIGKILL);
    script.waitForFinished(5000);
    deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline && (processRuns(nginx) || processRuns(fpm)))
        ::usleep(50000);
    EXPECT_FALSE(processRuns(nginx));
    EXPECT_FALSE(processRuns(fpm));
}

}  // namespace
