#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <thread>

namespace orv {

// The six requests to the adventure server, over one HTTP connection kept for
// the object's life (the main window holds one). Every call blocks until the
// reply is in.
//
// URLs are built by plain concatenation of the base address, the endpoint and
// the names as given: "&", "=", "?", "+" and "%" go out unchanged, so the
// server sees exactly what was typed. Only what cannot travel in a request
// line at all is written as %XX of its Windows-1252 byte: blanks, control
// characters, letters beyond ASCII, and "#" (which would otherwise cut the URL
// short). A character outside Windows-1252 cannot be sent and is refused.
//
// Failures of listGroups, listFiles, getText, putText and putFile (no
// connection, time-out, an HTTP status other than 2xx, a local file that
// cannot be read or written, a file name with a folder part) are thrown as
// OrvalisError. getFile never throws: it answers "Falha download".
class ServerClient {
public:
    // processEvents is called by getFile before each download, so that the
    // window can repaint and queued clicks run between the downloads of a
    // whole transfer; only on the thread that made the client (a transfer
    // run on a thread of its own leaves the window's events to the window).
    // The client may be used from another thread, one at a time.
    explicit ServerClient(QString baseAddress, std::function<void()> processEvents = {});
    ~ServerClient();
    ServerClient(const ServerClient&) = delete;
    ServerClient& operator=(const ServerClient&) = delete;

    // The reply lines; the caller checks the first for "Ok" (ServerReply::isOk).
    QStringList listGroups();
    QStringList listFiles(const QString& adventureName);

    // Revisions, an extension a server offers by answering the file list
    // with the header "X-Orvalis-Revisoes: sha256". Whether the last
    // listFiles reply carried it (false before any). Nothing of the
    // extension is ever sent to a server that has not offered it.
    bool offersRevisions() const { return m_offersRevisions; }
    // Whether a file list has been asked for yet, so offersRevisions means
    // something.
    bool revisionsKnown() const { return m_revisionsKnown; }
    // The file list with "&Rev=1": "Ok", then "name TAB size TAB sha256"
    // per file (see SyncPlan::parseListing).
    QStringList listRevisions(const QString& adventureName);

    // Downloads a text file into adventureFolder + fileName (lines ended by
    // CR LF). False, with the local file untouched, when the reply does not
    // begin with the line "Ok".
    // serverSha, when given, receives the SHA-256 of the server's file (the
    // reply after its "Ok" line), which a text download's CR LF line ends may
    // make differ from the file written.
    bool getText(const QString& adventureName, const QString& adventureFolder,
                 const QString& fileName, QByteArray* serverSha = nullptr);

    // Uploads the local text file as the form field "Txt"; returns the
    // server's reply as it stands.
    //
    // base, when not empty, goes out as "&Base=" after the password: the
    // version the upload replaces (a SHA-256), or "novo" for a file the
    // server must not have yet; a revision server answers "Conflito!" when
    // its file is another version. sentSha, when given, receives the
    // SHA-256 of the bytes that went out (for putText, the lines as sent).
    QString putText(const QString& adventureName, const QString& adventureFolder,
                    const QString& fileName, const QString& password, const QByteArray& base = {},
                    QByteArray* sentSha = nullptr);

    // Uploads the local file's bytes as the form file "Img"; returns the
    // server's reply, or "Falta senha!" without a request when the password
    // is empty. base and sentSha as for putText.
    QString putFile(const QString& adventureName, const QString& adventureFolder,
                    const QString& fileName, const QString& password, const QByteArray& base = {},
                    QByteArray* sentSha = nullptr);

    // The base that names a file the server must not have yet.
    static constexpr char kNewFileBase[] = "novo";

    // Downloads adventureName/fileName into adventureFolder + fileName.
    // "Ok", or "Falha download" on any failure (nothing is written then).
    // From the first call on, connecting and waiting for reply data time out
    // after 5000 ms on every request of this client.
    // sha, when given, receives the SHA-256 of the bytes written.
    QString getFile(const QString& adventureName, const QString& adventureFolder,
                    const QString& fileName, QByteArray* sha = nullptr);
    // The same download kept in memory: "Ok" with the file's bytes, or
    // "Falha download" with `bytes` empty. Whole-adventure transfers write
    // the files themselves, all together.
    QString fetchFile(const QString& adventureName, const QString& fileName, QByteArray& bytes);

    // Replies larger than this (after decompression) are refused, so a
    // runaway server cannot exhaust memory. 256 MiB unless changed.
    void setReplyLimit(qint64 bytes);

    // The server base address chosen when the program was built.
    static QString defaultBaseAddress();
    // The address the program talks to: the environment variable
    // ORVALIS_SERVIDOR when set, so an author whose group lives on another
    // host needs no rebuild, else the built-in one. `chosen` is that
    // variable's value as the caller read it.
    static constexpr const char* kAddressVariable = "ORVALIS_SERVIDOR";
    static QString configuredBaseAddress();
    static QString configuredBaseAddress(const QString& chosen);

    QString baseAddress() const { return m_base; }

private:
    struct Request;
    struct Handle;

    QByteArray get(const QString& url, const QString& what);
    QByteArray post(const QString& url, const QString& what, const QByteArray& partHeaders,
                    const QByteArray& partContent);
    QByteArray perform(const Request& request);
    void requirePlainFileName(const QString& fileName) const;
    QString download(const QString& adventureName, const QString& fileName,
                     const std::function<void(const QByteArray&)>& store);

    QString m_base;
    std::function<void()> m_processEvents;
    std::thread::id m_owner = std::this_thread::get_id();
    Handle& handle();
    std::unique_ptr<Handle> m_handle;  // made at the first request
    bool m_shortTimeouts = false;
    bool m_offersRevisions = false;
    bool m_revisionsKnown = false;
    qint64 m_replyLimit = qint64(256) * 1024 * 1024;
};

// The pieces of a request and of a reply that the client builds and checks
// itself, open to the tests and fuzz targets.
namespace ServerClientDetail {

// The URL as it goes on the wire (see the class comment); throws OrvalisError
// for a character outside Windows-1252.
QByteArray wireUrl(const QString& url);
// The headers of the "Img" part for a local file; its path is the filename
// parameter, with quotes and line breaks escaped.
QByteArray filePartHeaders(const QString& localPath);
// A boundary that does not occur in content.
QByteArray newBoundary(const QByteArray& content);
// The multipart body of one part.
QByteArray multipartBody(const QByteArray& boundary, const QByteArray& partHeaders,
                         const QByteArray& partContent);
// Adds a received piece to the reply, or returns false, adding nothing, when
// the reply would grow past limit bytes.
bool appendWithinLimit(QByteArray& reply, const char* data, size_t size, qint64 limit);
// A 2xx status: the only replies whose body is used.
bool isSuccessStatus(long status);

}  // namespace ServerClientDetail

}  // namespace orv
