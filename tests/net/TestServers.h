#pragma once
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QProcess>
#include <QString>

#include <atomic>
#include <ostream>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace orv::test {

// A free TCP port on 127.0.0.1 at the moment of the call.
quint16 freeLoopbackPort();

// Sends raw bytes to 127.0.0.1:port and returns all that comes back until the
// server closes (at most a few seconds).
QByteArray rawExchange(quint16 port, const QByteArray& request);

// An HTTP server on 127.0.0.1 that answers what the test scripts and records
// each request byte for byte, to check what the client sends and how it copes
// with a misbehaving server. Connections are kept alive, each on its own thread.
class FaultServer {
public:
    struct Request {
        QByteArray head;  // request line and headers, up to the empty line
        QByteArray body;
        QByteArray requestLine() const { return head.left(head.indexOf("\r\n")); }
        QList<QByteArray> headerValues(const QByteArray& name) const;
    };
    struct Reply {
        QByteArray bytes;        // sent as they stand
        int delayMs = 0;         // silence before sending; cut short by the destructor
        bool close = false;      // close the connection after sending
    };
    static Reply ok(const QByteArray& body, const QByteArray& extraHeaders = {});
    static Reply status(int code, const QByteArray& body);

    explicit FaultServer(std::function<Reply(const Request&)> script);
    ~FaultServer();

    QString base() const;
    quint16 port() const { return m_port; }
    std::vector<Request> requests() const;
    void setScript(std::function<Reply(const Request&)> script);

private:
    void run();
    bool serve(int socket);
    bool waitOrStop(int ms);

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<Reply(const Request&)> m_script;
    std::vector<Request> m_requests;
    std::thread m_thread;
    std::vector<std::thread> m_connections;
};

// Thrown when server/start.sh finds no nginx or php-fpm to run.
class ServerUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The reference server of server/ (nginx and php-fpm, through start.sh) on a
// free loopback port, stopped with the object. Where nginx or php-fpm is
// missing, PHP's development server stands in when fallback is allowed, and
// ServerUnavailable is thrown otherwise.
class ReferenceServer {
public:
    enum class Fallback { Builtin, None };
    explicit ReferenceServer(const QString& dataDir, qint64 maxUpload = 0,
                             Fallback fallback = Fallback::Builtin);
    ~ReferenceServer();
    QString base() const;
    quint16 port() const { return m_port; }

    // php admin.php DATA_DIR NAME PASSWORD DISPLAY, with the cheapest hash.
    static void addGroup(const QString& dataDir, const QString& name, const QString& password,
                         const QString& display);

private:
    // Starts start.sh and waits for the port; false when it ended with the
    // status that means nginx or php-fpm is missing.
    bool start(const QString& dataDir, qint64 maxUpload, bool builtin);

    QProcess m_php;
    quint16 m_port = 0;
};

// Whole files as the tests set them up and check them: a missing file reads
// as "<missing>", and writing makes the file's folder first.
QByteArray fileBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);

}  // namespace orv::test

namespace orv::test {

// A small adventure server held in memory, for one group and its password,
// that can offer the revision extension or speak only the plain protocol.
// Every version an upload replaces is kept, so a test can see that nothing
// was lost. Requests are recorded as FaultServer records them.
class FakeAdventureServer {
public:
    explicit FakeAdventureServer(bool revisions = true, QByteArray adventure = "Floresta",
                                 QByteArray password = "segredo");
    ~FakeAdventureServer();

    QString base() const { return m_server->base(); }
    std::vector<FaultServer::Request> requests() const { return m_server->requests(); }
    void setRevisions(bool revisions);

    // Another author's upload: the current version goes to the history.
    void put(const QByteArray& name, const QByteArray& bytes);
    QByteArray file(const QByteArray& name) const;  // "<missing>" when there is none
    QList<QByteArray> history(const QByteArray& name) const;  // replaced versions, oldest first
    // The uploads the server took, and those it answered "Conflito!".
    int accepted() const;
    int conflicts() const;
    // Called on the server's thread before each request is answered; it may
    // wait, so that a test acts while that request is in flight.
    void beforeAnswer(std::function<void(const FaultServer::Request&)> hook);

private:
    FaultServer::Reply answer(const FaultServer::Request& request);

    mutable std::mutex m_mutex;
    bool m_revisions;
    QByteArray m_adventure;
    QByteArray m_password;
    QList<QByteArray> m_order;  // file names in the order first stored
    QHash<QByteArray, QByteArray> m_files;
    QHash<QByteArray, QList<QByteArray>> m_history;
    int m_accepted = 0;
    int m_conflicts = 0;
    std::function<void(const FaultServer::Request&)> m_beforeAnswer;
    std::unique_ptr<FaultServer> m_server;  // last: its threads stop first
};

}  // namespace orv::test
