#include "TestServers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace orv::test {

namespace {

sockaddr_in loopback(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int listenOnLoopback(quint16* port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 8) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    *port = ntohs(address.sin_port);
    return s;
}

bool readable(int s, int ms) {
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

}  // namespace

quint16 freeLoopbackPort() {
    quint16 port = 0;
    ::close(listenOnLoopback(&port));
    return port;
}

QByteArray rawExchange(quint16 port, const QByteArray& request) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(port);
    QByteArray reply;
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(s, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        char buffer[4096];
        while (readable(s, 5000)) {
            const ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            reply.append(buffer, n);
        }
    }
    ::close(s);
    return reply;
}

QList<QByteArray> FaultServer::Request::headerValues(const QByteArray& name) const {
    QList<QByteArray> values;
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
            values.append(line.mid(colon + 1).trimmed());
    }
    return values;
}

FaultServer::Reply FaultServer::ok(const QByteArray& body, const QByteArray& extraHeaders) {
    return {"HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" +
            extraHeaders + "\r\n" + body};
}

FaultServer::Reply FaultServer::status(int code, const QByteArray& body) {
    return {"HTTP/1.1 " + QByteArray::number(code) + " Falha\r\nContent-Length: " +
            QByteArray::number(body.size()) + "\r\n\r\n" + body};
}

FaultServer::FaultServer(std::function<Reply(const Request&)> script)
    : m_script(std::move(script)) {
    m_listener = listenOnLoopback(&m_port);
    m_thread = std::thread([this] { run(); });
}

FaultServer::~FaultServer() {
    m_stop = true;
    m_wake.notify_all();
    m_thread.join();
    ::close(m_listener);
}

QString FaultServer::base() const {
    return QStringLiteral("http://127.0.0.1:%1/Orvalis/").arg(m_port);
}

std::vector<FaultServer::Request> FaultServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void FaultServer::setScript(std::function<Reply(const Request&)> script) {
    std::lock_guard lock(m_mutex);
    m_script = std::move(script);
}

bool FaultServer::waitOrStop(int ms) {
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void FaultServer::run() {
    while (!m_stop) {
        if (!readable(m_listener, 50))
            continue;
        const int s = ::accept(m_listener, nullptr, nullptr);
        if (s < 0)
            continue;
        m_connections.emplace_back([this, s] {
            while (!m_stop && serve(s)) {
            }
            ::close(s);
        });
    }
    for (std::thread& connection : m_connections)
        connection.join();
}

// One request and its reply; false when the connection is over.
bool FaultServer::serve(int s) {
    QByteArray data;
    qsizetype headEnd = -1;
    qsizetype length = 0;
    char buffer[65536];
    for (;;) {
        if (headEnd >= 0 && data.size() >= headEnd + 4 + length)
            break;
        if (!readable(s, 50)) {
            if (m_stop)
                return false;
            continue;
        }
        const ssize_t n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        data.append(buffer, n);
        if (headEnd < 0 && (headEnd = data.indexOf("\r\n\r\n")) >= 0) {
            Request probe{data.left(headEnd + 2), {}};
            const auto lengths = probe.headerValues("Content-Length");
            length = lengths.isEmpty() ? 0 : lengths.first().toLongLong();
        }
    }
    Request request{data.left(headEnd + 2), data.mid(headEnd + 4, length)};
    std::function<Reply(const Request&)> script;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        script = m_script;
    }
    const Reply reply = script(request);
    if (reply.delayMs > 0 && !waitOrStop(reply.delayMs))
        return false;
    for (qsizetype sent = 0; sent < reply.bytes.size();) {
        const ssize_t n = ::send(s, reply.bytes.constData() + sent, size_t(reply.bytes.size() - sent),
                                 MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return !reply.close;
}

ReferenceServer::ReferenceServer(const QString& dataDir, qint64 maxUpload, Fallback fallback) {
    if (start(dataDir, maxUpload, false))
        return;
    if (fallback == Fallback::None)
        throw ServerUnavailable("nginx or php-fpm is not installed (scripts/install-deps.sh installs them)");
    fprintf(stderr, "nginx or php-fpm is missing: the reference server runs on PHP's development server\n");
    if (!start(dataDir, maxUpload, true))
        throw std::runtime_error("cannot start the reference server");
}

bool ReferenceServer::start(const QString& dataDir, qint64 maxUpload, bool builtin) {
    m_port = freeLoopbackPort();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (maxUpload > 0)
        environment.insert(QStringLiteral("ORVALIS_MAX_UPLOAD"), QString::number(maxUpload));
    if (builtin)
        environment.insert(QStringLiteral("ORVALIS_BUILTIN_SERVER"), QStringLiteral("1"));
    m_php.setProcessEnvironment(environment);
    m_php.setStandardOutputFile(QProcess::nullDevice());
    m_php.setStandardErrorFile(dataDir + QStringLiteral("/server.log"), QIODevice::Append);
    m_php.start(QStringLiteral("sh"), {QStringLiteral(ORVALIS_SERVER_DIR "/start.sh"),
                                       QString::number(m_port), dataDir});
    if (!m_php.waitForStarted(5000))
        throw std::runtime_error("cannot start the reference server");
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(m_port);
        const bool up = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(s);
        if (up)
            return true;
        if (m_php.state() == QProcess::NotRunning || m_php.waitForFinished(20)) {
            // start.sh's status when nginx or php-fpm is not installed.
            if (m_php.exitStatus() == QProcess::NormalExit && m_php.exitCode() == 3)
                return false;
            break;
        }
    }
    throw std::runtime_error("the reference server did not come up; see " + dataDir.toStdString() +
                             "/server.log");
}

ReferenceServer::~ReferenceServer() {
    m_php.terminate();
    if (!m_php.waitForFinished(3000)) {
        m_php.kill();
        m_php.waitForFinished(3000);
    }
}

QString ReferenceServer::base() const {
    return QStringLiteral("http://127.0.0.1:%1/Orvalis/").arg(m_port);
}

void ReferenceServer::addGroup(const QString& dataDir, const QString& name, const QString& password,
                               const QString& display) {
    QProcess php;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVALIS_HASH_COST"), QStringLiteral("4"));
    php.setProcessEnvironment(environment);
    php.start(QStringLiteral("php"), {QStringLiteral("-n"), QStringLiteral(ORVALIS_SERVER_DIR "/admin.php"),
                                      dataDir, name, password, display});
    if (!php.waitForFinished(20000) || php.exitCode() != 0)
        throw std::runtime_error("admin.php failed: " + php.readAllStandardError().toStdString());
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(path.left(path.lastIndexOf('/')));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

}  // namespace orv::test

#include <QCryptographicHash>

namespace orv::test {

FakeAdventureServer::FakeAdventureServer(bool revisions, QByteArray adventure, QByteArray password)
    : m_revisions(revisions), m_adventure(std::move(adventure)), m_password(std::move(password)) {
    m_server = std::make_unique<FaultServer>([this](const FaultServer::Request& r) { return answer(r); });
}

FakeAdventureServer::~FakeAdventureServer() {
    m_server.reset();
}

void FakeAdventureServer::setRevisions(bool revisions) {
    std::lock_guard lock(m_mutex);
    m_revisions = revisions;
}

void FakeAdventureServer::put(const QByteArray& name, const QByteArray& bytes) {
    std::lock_guard lock(m_mutex);
    if (m_files.contains(name))
        m_history[name].append(m_files.value(name));
    else
        m_order.append(name);
    m_files.insert(name, bytes);
}

QByteArray FakeAdventureServer::file(const QByteArray& name) const {
    std::lock_guard lock(m_mutex);
    return m_files.value(name, "<missing>");
}

QList<QByteArray> FakeAdventureServer::history(const QByteArray& name) const {
    std::lock_guard lock(m_mutex);
    return m_history.value(name);
}

int FakeAdventureServer::accepted() const {
    std::lock_guard lock(m_mutex);
    return m_accepted;
}

int FakeAdventureServer::conflicts() const {
    std::lock_guard lock(m_mutex);
    return m_conflicts;
}

namespace {

// "key=value" pairs of a query, in order, values percent-decoded.
QList<QPair<QByteArray, QByteArray>> queryPairs(const QByteArray& query) {
    QList<QPair<QByteArray, QByteArray>> pairs;
    for (const QByteArray& part : query.split('&')) {
        const qsizetype eq = part.indexOf('=');
        if (eq > 0)
            pairs.append({part.left(eq), QByteArray::fromPercentEncoding(part.mid(eq + 1))});
    }
    return pairs;
}

// The content of the one part of a multipart body.
QByteArray partContent(const FaultServer::Request& request) {
    const QList<QByteArray> types = request.headerValues("Content-Type");
    const qsizetype at = types.isEmpty() ? -1 : types.first().indexOf("boundary=");
    if (at < 0)
        return {};
    const QByteArray boundary = types.first().mid(at + 9);
    const qsizetype start = request.body.indexOf("\r\n\r\n");
    const qsizetype end = request.body.lastIndexOf("\r\n--" + boundary + "--");
    return start < 0 || end < start ? QByteArray() : request.body.mid(start + 4, end - start - 4);
}

FaultServer::Reply text(const QByteArray& body, const QByteArray& headers = {}) {
    return FaultServer::ok(body, "Content-Type: text/plain; charset=windows-1252\r\n" + headers);
}

}  // namespace

void FakeAdventureServer::beforeAnswer(std::function<void(const FaultServer::Request&)> hook) {
    std::lock_guard lock(m_mutex);
    m_beforeAnswer = std::move(hook);
}

FaultServer::Reply FakeAdventureServer::answer(const FaultServer::Request& request) {
    std::function<void(const FaultServer::Request&)> hook;
    {
        std::lock_guard lock(m_mutex);
        hook = m_beforeAnswer;
    }
    if (hook)
        hook(request);
    const QByteArray line = request.requestLine();
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 3)
        return FaultServer::status(400, "");
    const QByteArray target = words[1];
    const QByteArray prefix = "/Orvalis/";
    if (!target.startsWith(prefix))
        return FaultServer::status(404, "");
    const QByteArray rest = target.mid(prefix.size());
    const qsizetype question = rest.indexOf('?');
    const QByteArray endpoint = question < 0 ? rest : rest.left(question);
    const auto pairs = queryPairs(question < 0 ? QByteArray() : rest.mid(question + 1));
    QHash<QByteArray, QByteArray> query;
    for (const auto& [key, value] : pairs)
        query.insert(key, value);

    std::lock_guard lock(m_mutex);
    const QByteArray offer = m_revisions ? "X-Orvalis-Revisoes: sha256\r\n" : "";
    if (endpoint == "grupos.php")
        return text("Ok\r\n" + m_adventure + " (teste)|" + m_adventure + "\r\n");
    // A plain server reads the whole rest of the query as the last key's
    // value, as the reference server does: an extension key spoils it.
    const bool extended = m_revisions && (query.contains("Rev") || query.contains("Base"));
    if (endpoint == "lstarqs.php") {
        const bool rev = m_revisions && query.value("Rev") == "1";
        if (query.value("NoAdv") != m_adventure || (!m_revisions && pairs.size() != 1))
            return text("Grupo inexistente!", offer);
        QByteArray body = "Ok\r\n";
        for (const QByteArray& name : std::as_const(m_order)) {
            const QByteArray& bytes = m_files[name];
            body += name;
            if (rev)
                body += '\t' + QByteArray::number(bytes.size()) + '\t' +
                        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
            body += "\r\n";
        }
        return text(body, offer);
    }
    if (endpoint == "gettxt.php") {
        const QByteArray name = query.value("Arq");
        if (query.value("NoAdv") != m_adventure || !m_files.contains(name))
            return text("Arquivo não encontrado!");
        return text("Ok\r\n" + m_files.value(name));
    }
    if (endpoint == "puttxt.php" || endpoint == "putarq.php") {
        if (query.value("NoAdv") != m_adventure)
            return text("Grupo inexistente!");
        if (query.value("Senha") != m_password || (!extended && pairs.size() != 3))
            return text("Senha incorreta!");
        const QByteArray name = query.value("Arq");
        if (m_revisions && query.contains("Base")) {
            const QByteArray base = query.value("Base");
            const bool has = m_files.contains(name);
            const QByteArray current =
                has ? QCryptographicHash::hash(m_files.value(name), QCryptographicHash::Sha256).toHex() : "novo";
            if (base != current) {
                ++m_conflicts;
                return text("Conflito!");
            }
        }
        if (m_files.contains(name))
            m_history[name].append(m_files.value(name));
        else
            m_order.append(name);
        m_files.insert(name, partContent(request));
        ++m_accepted;
        return text("Ok");
    }
    const qsizetype slash = rest.indexOf('/');
    if (question < 0 && slash > 0 && rest.left(slash) == m_adventure) {
        const QByteArray name = QByteArray::fromPercentEncoding(rest.mid(slash + 1));
        if (m_files.contains(name))
            return FaultServer::ok(m_files.value(name), "Content-Type: application/octet-stream\r\n");
    }
    return FaultServer::status(404, "Arquivo não encontrado!");
}

}  // namespace orv::test
