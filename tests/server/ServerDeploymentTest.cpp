// The reference server as it is deployed, nginx in front of a php-fpm pool
// (server/start.sh), under the loads that a shared server meets: concurrent
// writers and readers of one file, slow readers, large uploads, password
// floods and hostile names.
#include "net/TestServers.h"
#include "net/ServerClient.h"

#include <QCryptographicHash>
#include <QDateTime>
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
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
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

QByteArray sha256(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// The response headers of a raw reply, one "Name: value" each.
QList<QByteArray> headersOf(const QByteArray& raw) {
    QList<QByteArray> headers = raw.left(raw.indexOf("\r\n\r\n")).split('\n');
    if (!headers.isEmpty())
        headers.removeFirst();
    for (QByteArray& line : headers)
        line = line.trimmed();
    return headers;
}

// A socket to the server on 127.0.0.1 from another loopback address, which
// the server sees as another client.
int connectFrom(const char* source, quint16 port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &local.sin_addr);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

QByteArray exchangeFrom(const char* source, quint16 port, const QByteArray& request) {
    const int s = connectFrom(source, port);
    QByteArray reply;
    if (s >= 0 && ::send(s, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        char buffer[4096];
        pollfd p{s, POLLIN, 0};
        while (::poll(&p, 1, 10000) > 0) {
            const ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            reply.append(buffer, n);
        }
    }
    if (s >= 0)
        ::close(s);
    return reply;
}

Reply uploadFrom(const char* source, quint16 port, const QByteArray& endpoint, const QByteArray& query,
                 const QByteArray& bytes) {
    return parse(exchangeFrom(source, port, uploadRequest(endpoint, query, bytes)));
}

struct AdminRun {
    int exitCode = -1;
    QByteArray out;
};

// php admin.php ARGS..., as the server's administrator runs it.
AdminRun admin(const QStringList& arguments, const QString& hashCost = "4") {
    QProcess php;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ORVALIS_HASH_COST", hashCost);
    php.setProcessEnvironment(environment);
    php.start("php", QStringList({"-n", ORVALIS_SERVER_DIR "/admin.php"}) + arguments);
    if (!php.waitForFinished(20000))
        return {};
    return {php.exitStatus() == QProcess::NormalExit ? php.exitCode() : -1, php.readAllStandardOutput()};
}

struct Version {
    QByteArray time, size, sha, id;
};

// admin.php historico: the kept versions, oldest first, then "atual".
std::vector<Version> versionsOf(const QString& data, const QString& group, const QString& file) {
    std::vector<Version> versions;
    for (const QByteArray& line : admin({"historico", data, group, file}).out.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 4)
            versions.push_back({fields[0], fields[1], fields[2], fields[3]});
    }
    return versions;
}

int fileMode(const QString& path) {
    struct stat info{};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// An environment variable for the servers started while it lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name) { qputenv(name, value); }
    ~ScopedEnv() { qunsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
};

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
        if (!path.startsWith("run/") && !path.startsWith("limits/") && !path.startsWith("locks/") &&
            path != "server.log")
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

TEST_F(ServerDeploymentTest, EveryReplacedVersionIsKeptOutOfReachAndCanBeRestored) {
    const QByteArray q = "NoAdv=Floresta&Arq=sala.scp&Senha=demo";
    const QList<QByteArray> contents = {"um\r\n", "dois\r\n", QByteArray("tr\0es", 5)};
    EXPECT_EQ(upload(port, "puttxt.php", q, contents[0]).body, "Ok");
    EXPECT_EQ(upload(port, "putarq.php", q, contents[1]).body, "Ok");
    EXPECT_EQ(upload(port, "putarq.php", q, contents[1]).body, "Ok");  // the same bytes: no new version
    EXPECT_EQ(upload(port, "putarq.php", q, contents[2]).body, "Ok");

    std::vector<Version> versions = versionsOf(data, "Floresta", "sala.scp");
    ASSERT_EQ(versions.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(versions[i].size, QByteArray::number(contents[i].size())) << i;
        EXPECT_EQ(versions[i].sha, sha256(contents[i])) << i;
        EXPECT_TRUE(QDateTime::fromString(QString::fromLatin1(versions[i].time), Qt::ISODate).isValid())
            << versions[i].time.constData();
    }
    EXPECT_EQ(versions[2].id, "atual");
    EXPECT_LT(versions[0].id, versions[1].id);

    // No route reaches a kept version: the listing, gettxt, plain downloads,
    // nginx's internal location, whatever the path.
    const QByteArray id = versions[0].id;
    const QList<QByteArray> paths = {
        "/Orvalis/Floresta/../../history/Floresta/sala.scp/" + id,
        "/Orvalis/../history/Floresta/sala.scp/" + id,
        "/Orvalis/history/Floresta/sala.scp/" + id,
        "/Orvalis/Floresta/sala.scp/" + id,
        "/Orvalis/Floresta/..%2F..%2Fhistory%2FFloresta%2Fsala.scp%2F" + id,
        "/.orvalis-files/../history/Floresta/sala.scp/" + id,
        "/history/Floresta/sala.scp/" + id,
        "/Orvalis/gettxt.php?NoAdv=Floresta&Arq=../../history/Floresta/sala.scp/" + id,
        "/Orvalis/gettxt.php?NoAdv=../history/Floresta&Arq=sala.scp",
    };
    for (const QByteArray& path : paths) {
        const Reply r = get(port, path);
        EXPECT_FALSE(r.body.contains("um\r\n")) << path.constData();
        EXPECT_TRUE(r.status == 404 || r.status == 400 || r.body.startsWith("Arquivo")) << path.constData();
    }
    EXPECT_EQ(get(port, "/Orvalis/lstarqs.php?NoAdv=Floresta").body, "Ok\r\nsala.scp\r\n");
    EXPECT_EQ(get(port, "/Orvalis/lstarqs.php?NoAdv=Floresta&Rev=1").body,
              "Ok\r\nsala.scp\t5\t" + sha256(contents[2]) + "\r\n");

    // Restoring the first keeps the one it replaces; the restored one stays kept too.
    const AdminRun restore = admin({"restaurar", data, "Floresta", "sala.scp", QString::fromLatin1(id)});
    EXPECT_EQ(restore.exitCode, 0);
    EXPECT_EQ(fileBytes(stored + "sala.scp"), contents[0]);
    EXPECT_EQ(get(port, "/Orvalis/Floresta/sala.scp").body, contents[0]);
    versions = versionsOf(data, "Floresta", "sala.scp");
    ASSERT_EQ(versions.size(), 4u);
    EXPECT_EQ(versions[0].sha, sha256(contents[0]));
    EXPECT_EQ(versions[2].sha, sha256(contents[2]));
    EXPECT_EQ(versions[3].sha, sha256(contents[0]));
    EXPECT_EQ(versions[3].id, "atual");

    EXPECT_NE(admin({"restaurar", data, "Floresta", "sala.scp", "20000101T000000.000000Z"}).exitCode, 0);
    EXPECT_NE(admin({"restaurar", data, "Floresta", "sala.scp", "atual"}).exitCode, 0);
    EXPECT_NE(admin({"restaurar", data, "Floresta", "../grupos.json", QString::fromLatin1(id)}).exitCode, 0);
    EXPECT_NE(admin({"historico", data, "Floresta", "nada.scp"}).exitCode, 0);
    EXPECT_NE(admin({"historico", data, "Floresta"}).exitCode, 0);
    EXPECT_EQ(fileBytes(stored + "sala.scp"), contents[0]);
    // The old command is as it was.
    EXPECT_EQ(admin({data, "Caverna", "outra"}).exitCode, 0);
    EXPECT_EQ(get(port, "/Orvalis/grupos.php").body,
              "Ok\r\nFloresta (teste)|Floresta\r\nCaverna|Caverna\r\n");
    EXPECT_TRUE(QDir(data + "/tmp").isEmpty());
}

TEST_F(ServerDeploymentTest, RetentionFollowsTheVariablesGivenToTheServer) {
    server.reset();
    {
        ScopedEnv count("ORVALIS_VERSOES_MAX", "2");
        ScopedEnv bytes("ORVALIS_VERSOES_BYTES", "20");
        server = std::make_unique<ReferenceServer>(data, 0, ReferenceServer::Fallback::None);
    }
    port = server->port();
    auto shas = [&](const QString& file) {
        std::vector<QByteArray> kept;
        for (const Version& v : versionsOf(data, "Floresta", file))
            kept.push_back(v.sha);
        return kept;
    };
    // At most two versions of a file, the newest.
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(upload(port, "putarq.php", "NoAdv=Floresta&Arq=a.scp&Senha=demo", "a" + QByteArray::number(i)).body, "Ok");
    EXPECT_EQ(shas("a.scp"), std::vector<QByteArray>({sha256("a3"), sha256("a4"), sha256("a5")}));
    // At most 20 bytes of versions in the adventure: the oldest go first,
    // whichever file they belong to.
    for (int i = 0; i < 3; ++i) {
        const QByteArray b = QByteArray(12, 'b') + char('0' + i);
        EXPECT_EQ(upload(port, "putarq.php", "NoAdv=Floresta&Arq=b.scp&Senha=demo", b).body, "Ok");
    }
    EXPECT_EQ(shas("a.scp"), std::vector<QByteArray>({sha256("a5")}));
    EXPECT_EQ(shas("b.scp"), std::vector<QByteArray>({sha256(QByteArray(12, 'b') + '1'), sha256(QByteArray(12, 'b') + '2')}));
}

TEST_F(ServerDeploymentTest, TheFileListOffersRevisionsAndListsSizesAndHashes) {
    const QByteArray spaced = "mapa da floresta&1 a\xE7\xE3o.scp";  // Windows-1252 on the wire
    const QByteArray binary = QByteArray("\0\x01\xFF\r\n\x80", 6).repeated(1000);
    writeBytes(stored + QString::fromUtf8("mapa da floresta&1 ação.scp"), "sala\r\n");
    writeBytes(stored + "vazio.txt", "");
    writeBytes(stored + "som.wav", binary);

    const QByteArray plain = test::rawExchange(port, "GET /Orvalis/lstarqs.php?NoAdv=Floresta HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(headersOf(plain).contains("X-Orvalis-Revisoes: sha256")) << plain.constData();
    QList<QByteArray> names = parse(plain).body.split('\n');
    EXPECT_EQ(names.takeFirst(), "Ok\r");
    EXPECT_EQ(names.takeLast(), "");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, QList<QByteArray>({spaced + "\r", "som.wav\r", "vazio.txt\r"}));

    const QByteArray raw = test::rawExchange(port, "GET /Orvalis/lstarqs.php?NoAdv=Floresta&Rev=1 HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(headersOf(raw).contains("X-Orvalis-Revisoes: sha256"));
    QList<QByteArray> lines = parse(raw).body.split('\n');
    EXPECT_EQ(lines.takeFirst(), "Ok\r");
    EXPECT_EQ(lines.takeLast(), "");
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, QList<QByteArray>({spaced + "\t6\t" + sha256("sala\r\n") + "\r",
                                        "som.wav\t6000\t" + sha256(binary) + "\r",
                                        "vazio.txt\t0\t" + sha256("") + "\r"}));

    // Anything else after the adventure is the adventure's name, as it always was.
    EXPECT_EQ(get(port, "/Orvalis/lstarqs.php?NoAdv=Floresta&Rev=2").body, "Grupo inexistente!");
    const QByteArray unknown = test::rawExchange(port, "GET /Orvalis/lstarqs.php?NoAdv=Nenhuma&Rev=1 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(parse(unknown).body, "Grupo inexistente!");
    EXPECT_TRUE(headersOf(unknown).contains("X-Orvalis-Revisoes: sha256"));
    // Only the list offers it.
    EXPECT_FALSE(test::rawExchange(port, "GET /Orvalis/grupos.php HTTP/1.0\r\n\r\n").contains("X-Orvalis"));
}

TEST_F(ServerDeploymentTest, AnUploadWithABaseReplacesOnlyThatVersion) {
    for (const QByteArray endpoint : {"puttxt.php", "putarq.php"}) {
        SCOPED_TRACE(endpoint.constData());
        const QByteArray file = endpoint == "puttxt.php" ? "texto.scp" : "figura.png";
        const QString path = stored + QString::fromLatin1(file);
        const QByteArray q = "NoAdv=Floresta&Arq=" + file + "&Senha=demo";
        EXPECT_EQ(upload(port, endpoint, q + "&Base=" + sha256("nada"), "v1").body, "Conflito!");
        EXPECT_EQ(fileBytes(path), "<missing>");
        EXPECT_EQ(upload(port, endpoint, q + "&Base=novo", "v1").body, "Ok");
        EXPECT_EQ(upload(port, endpoint, q + "&Base=novo", "outro").body, "Conflito!");
        EXPECT_EQ(upload(port, endpoint, q + "&Base=" + sha256("v1"), "v2").body, "Ok");
        EXPECT_EQ(upload(port, endpoint, q + "&Base=" + sha256("v1"), "v3").body, "Conflito!");
        EXPECT_EQ(upload(port, endpoint, q + "&Base=" + sha256("v2").toUpper(), "v3").body, "Ok");
        // The server already holding these very bytes is no conflict.
        EXPECT_EQ(upload(port, endpoint, q + "&Base=" + sha256("v1"), "v3").body, "Ok");
        // The password is checked first.
        EXPECT_EQ(upload(port, endpoint, "NoAdv=Floresta&Arq=" + file + "&Senha=errada&Base=" + sha256("v3"), "mal").body,
                  "Senha incorreta!");
        EXPECT_EQ(upload(port, endpoint, "NoAdv=Floresta&Arq=" + file + "&Senha=errada&Base=novo", "mal").body,
                  "Senha incorreta!");
        EXPECT_EQ(fileBytes(path), "v3");

        // Nothing was lost: v1 and v2 replaced; the first v1, "outro" and one
        // v3 refused; all kept in that order, then the current v3.
        std::vector<QByteArray> shas;
        for (const Version& v : versionsOf(data, "Floresta", QString::fromLatin1(file)))
            shas.push_back(v.sha);
        EXPECT_EQ(shas, std::vector<QByteArray>({sha256("v1"), sha256("outro"), sha256("v1"), sha256("v3"),
                                                 sha256("v2"), sha256("v3")}));
    }
    EXPECT_TRUE(QDir(data + "/tmp").isEmpty());

    // Without the key a password that looks like one is read as it always was.
    ASSERT_EQ(admin({data, "Caverna", "x&Base=1"}).exitCode, 0);
    EXPECT_EQ(upload(port, "puttxt.php", "NoAdv=Caverna&Arq=a.scp&Senha=x&Base=1", "a").body, "Ok");
    EXPECT_EQ(upload(port, "puttxt.php", "NoAdv=Caverna&Arq=a.scp&Senha=x&Base=1&Base=novo", "b").body, "Conflito!");
    EXPECT_EQ(fileBytes(data + "/adventures/Caverna/a.scp"), "a");
}

TEST_F(ServerDeploymentTest, TwoServersOnOneDataFolderLetExactlyOneOfTwoUploadsOfTheSameBaseWin) {
    ReferenceServer other(data, 0, ReferenceServer::Fallback::None);
    const QByteArray q = "NoAdv=Floresta&Arq=Clareira.scp&Senha=demo";
    // A large enough file that checking and replacing it takes a while.
    const QByteArray filler(2 * MiB, '.');
    QByteArray current = "base" + filler;
    ASSERT_EQ(upload(port, "putarq.php", q, current).body, "Ok");
    std::vector<QByteArray> everything = {current};
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        const QByteArray mine = "A" + QByteArray::number(round) + filler;
        const QByteArray theirs = "B" + QByteArray::number(round) + filler;
        const QByteArray query = q + "&Base=" + sha256(current);
        std::barrier start(2);
        Reply a;
        Reply b;
        std::thread first([&] {
            start.arrive_and_wait();
            a = upload(port, round % 2 ? "putarq.php" : "puttxt.php", query, mine);
        });
        std::thread second([&] {
            start.arrive_and_wait();
            b = upload(other.port(), "putarq.php", query, theirs);
        });
        first.join();
        second.join();
        ASSERT_TRUE((a.body == "Ok" && b.body == "Conflito!") || (a.body == "Conflito!" && b.body == "Ok"))
            << a.body.left(40).constData() << " / " << b.body.left(40).constData();
        current = a.body == "Ok" ? mine : theirs;
        EXPECT_EQ(fileBytes(stored + "Clareira.scp"), current);
        everything.push_back(mine);
        everything.push_back(theirs);
    }
    // Every version either author sent is on the server.
    std::vector<QByteArray> kept;
    for (const Version& v : versionsOf(data, "Floresta", "Clareira.scp"))
        kept.push_back(v.sha);
    std::vector<QByteArray> expected;
    for (const QByteArray& bytes : everything)
        expected.push_back(sha256(bytes));
    std::sort(kept.begin(), kept.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(kept, expected);
    EXPECT_TRUE(QDir(data + "/tmp").isEmpty());
}

TEST_F(ServerDeploymentTest, ManySimultaneousUploadsWithTheRightPasswordAreNeverRefused) {
    ReferenceServer other(data, 0, ReferenceServer::Fallback::None);
    // A real hash cost and a password the group has not accepted yet: every
    // upload checks it in full.
    ASSERT_EQ(admin({data, "Caverna", "certa"}, "10").exitCode, 0);
    for (const QByteArray password : {"certa", "nova"}) {
        SCOPED_TRACE(password.constData());
        std::vector<std::thread> threads;
        std::vector<QByteArray> replies(24);
        std::barrier start(int(replies.size()));
        for (size_t i = 0; i < replies.size(); ++i)
            threads.emplace_back([&, i] {
                start.arrive_and_wait();
                replies[i] = upload(i % 2 ? port : other.port(), "putarq.php",
                                    "NoAdv=Caverna&Arq=f" + QByteArray::number(qulonglong(i)) + ".png&Senha=" + password,
                                    password)
                                 .body;
            });
        for (std::thread& t : threads)
            t.join();
        for (size_t i = 0; i < replies.size(); ++i)
            EXPECT_EQ(replies[i], "Ok") << i;
        // A new password voids what the server remembered of the old one.
        ASSERT_EQ(admin({data, "Caverna", "nova"}, "10").exitCode, 0);
    }
    EXPECT_EQ(fileBytes(data + "/adventures/Caverna/f7.png"), "nova");
}

TEST_F(ServerDeploymentTest, WrongPasswordsFromOneAddressNeverGetARightOneRefused) {
    ASSERT_EQ(admin({data, "Caverna", "certa"}).exitCode, 0);
    const QByteArray right = "NoAdv=Caverna&Arq=sala.scp&Senha=certa";
    std::atomic<int> wrong{0};
    std::atomic<int> limited{0};
    auto flood = [&](const char* from) {
        std::vector<std::thread> threads;
        for (int i = 0; i < 16; ++i)
            threads.emplace_back([&, i] {
                for (int k = 0; k < 2; ++k) {
                    const QByteArray body =
                        uploadFrom(from, port, "puttxt.php", "NoAdv=Caverna&Arq=sala.scp&Senha=chute" + QByteArray::number(i),
                                   "mal")
                            .body;
                    if (body == "Senha incorreta!")
                        ++wrong;
                    else if (body.startsWith("Muitas senhas erradas!"))
                        ++limited;
                }
            });
        for (std::thread& t : threads)
            t.join();
    };

    // Another address is not held back at all, even with a password the
    // group has never accepted yet.
    std::thread attack([&] { flood("127.0.0.3"); });
    ::usleep(200000);
    const auto start = Clock::now();
    EXPECT_EQ(uploadFrom("127.0.0.2", port, "puttxt.php", right, "de outro").body, "Ok");
    EXPECT_LT(secondsSince(start), 1.0);
    attack.join();
    EXPECT_GT(limited, 0);
    EXPECT_GT(wrong, 0);
    EXPECT_EQ(wrong + limited, 32);

    // Nor is the flooding address itself once it sends the right password,
    // even one the group has not accepted lately: it waits its turn.
    ASSERT_EQ(admin({data, "Caverna", "nova"}).exitCode, 0);
    ::usleep(1100000);
    const auto again = Clock::now();
    EXPECT_EQ(uploadFrom("127.0.0.3", port, "puttxt.php", "NoAdv=Caverna&Arq=sala.scp&Senha=nova", "do mesmo").body, "Ok");
    EXPECT_LT(secondsSince(again), 2.5);
    EXPECT_EQ(fileBytes(data + "/adventures/Caverna/sala.scp"), "do mesmo");
    // And one mistyped password from an author does not stop the next upload.
    EXPECT_EQ(uploadFrom("127.0.0.4", port, "puttxt.php", "NoAdv=Caverna&Arq=x.scp&Senha=nvoa", "x").body,
              "Senha incorreta!");
    EXPECT_EQ(uploadFrom("127.0.0.4", port, "puttxt.php", "NoAdv=Caverna&Arq=x.scp&Senha=nova", "x").body, "Ok");
}

TEST_F(ServerDeploymentTest, HalfSentRequestsFromOneAddressLeaveOtherClientsServed) {
    writeBytes(stored + "sala.scp", "sala\r\n");
    // Room in this process for the sockets below.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    const rlim_t wanted = 4200;
    if (files.rlim_cur < wanted && files.rlim_max >= wanted) {
        files.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    ::getrlimit(RLIMIT_NOFILE, &files);
    const int heads = std::min<int>(1900, int(files.rlim_cur) - 300);
    ASSERT_GT(heads, 300);

    std::vector<int> held;
    auto closeHeld = [&] {
        for (const int s : held)
            ::close(s);
        held.clear();
    };
    // Request heads that never end, from one address.
    for (int i = 0; i < heads; ++i) {
        const int s = connectFrom("127.0.0.3", port);
        ASSERT_GE(s, 0) << i;
        const QByteArray part = "GET /Orvalis/grupos.php HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        ::send(s, part.constData(), size_t(part.size()), MSG_NOSIGNAL);
        held.push_back(s);
    }
    // Uploads whose bodies never end, from another: beyond the limit per
    // address they are answered at once and let go.
    std::vector<int> bodies;
    for (int i = 0; i < 100; ++i) {
        const int s = connectFrom("127.0.0.4", port);
        ASSERT_GE(s, 0) << i;
        const QByteArray head = "POST /Orvalis/putarq.php?NoAdv=Floresta&Arq=x.png&Senha=demo HTTP/1.1\r\n"
                                "Host: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                                "Content-Length: 100000\r\n\r\n--b\r\n";
        ::send(s, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
        bodies.push_back(s);
    }
    ::usleep(300000);

    // An honest client is served, promptly, throughout.
    const auto start = Clock::now();
    QByteArray last = "sala\r\n";
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(parse(exchangeFrom("127.0.0.2", port, "GET /Orvalis/grupos.php HTTP/1.0\r\n\r\n")).body,
                  "Ok\r\nFloresta (teste)|Floresta\r\n");
        EXPECT_EQ(parse(exchangeFrom("127.0.0.2", port, "GET /Orvalis/Floresta/sala.scp HTTP/1.0\r\n\r\n")).body,
                  last);
        last = "sala " + QByteArray::number(i);
        EXPECT_EQ(uploadFrom("127.0.0.2", port, "puttxt.php", "NoAdv=Floresta&Arq=sala.scp&Senha=demo", last).body,
                  "Ok");
    }
    EXPECT_LT(secondsSince(start), 5.0);

    int busy = 0;
    for (const int s : bodies) {
        char buffer[512];
        pollfd p{s, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0) {
            const ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
            if (n > 0 && QByteArray(buffer, n).contains(" 503 "))
                ++busy;
        }
        ::close(s);
    }
    EXPECT_EQ(busy, 100 - 64);
    closeHeld();
}

TEST_F(ServerDeploymentTest, ThePasswordHashesAreReadableByTheServersUserOnly) {
    EXPECT_EQ(fileMode(data + "/grupos.json"), 0600);
    ASSERT_EQ(admin({data, "Caverna", "outra"}).exitCode, 0);
    EXPECT_EQ(fileMode(data + "/grupos.json"), 0600);

    // A data folder from before, its hashes readable by all, is closed at start.
    server.reset();
    ASSERT_EQ(::chmod(QFile::encodeName(data + "/grupos.json").constData(), 0664), 0);
    server = std::make_unique<ReferenceServer>(data, 0, ReferenceServer::Fallback::None);
    EXPECT_EQ(fileMode(data + "/grupos.json"), 0600);
    EXPECT_EQ(upload(server->port(), "puttxt.php", "NoAdv=Caverna&Arq=a.scp&Senha=outra", "a").body, "Ok");

    QTemporaryDir demo;
    writeBytes(demo.path() + "/amostra/sala.scp", "sala\r\n");
    QProcess script;
    script.start("sh", {ORVALIS_SERVER_DIR "/demo-data.sh", demo.path() + "/dados", demo.path() + "/amostra"});
    ASSERT_TRUE(script.waitForFinished(30000));
    ASSERT_EQ(script.exitCode(), 0);
    EXPECT_EQ(fileMode(demo.path() + "/dados/grupos.json"), 0600);
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
