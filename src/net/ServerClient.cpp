#include "ServerClient.h"

#include "ServerReply.h"
#include "SyncRecord.h"
#include "core/Cp1252.h"
#include "core/DurableWrite.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"

#include <QRandomGenerator>
#include <QUrl>

#include <curl/curl.h>

#include <mutex>
#include <utility>

#ifndef ORVALIS_SERVER_BASE
#define ORVALIS_SERVER_BASE "http://127.0.0.1:8080/Orvalis/"
#endif

namespace orv {

namespace {

// Once get file has run, connecting and waiting for reply data give up after
// this long, on every later request.
constexpr long ShortTimeoutMs = 5000;

const char* const StandardHeaders[] = {
    "Accept: text/html, */*",
    "Accept-Charset: utf-8",
    nullptr,  // Content-Type goes here
    "Connection: keep-alive",
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
    "Gecko) Chrome/58.0.3029.96 Safari/537.36",
    "Accept-Encoding: gzip, deflate",
    "Accept-Language: pt-BR,pt;q=0.8,en-US;q=0.6,en;q=0.4",
    "Cache-control: no-cache",
    // libcurl would add "Expect: 100-continue" to larger posts and wait for it;
    // the server expects exactly the headers above.
    "Expect:",
};
const char* const StandardContentType = "Content-Type: application/json;odata=light;charset=utf-8;";

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct HeaderList {
    curl_slist* list = nullptr;
    explicit HeaderList(const QByteArray& contentType) {
        for (const char* line : StandardHeaders) {
            curl_slist* grown = curl_slist_append(list, line ? line : contentType.constData());
            if (!grown) {
                curl_slist_free_all(list);
                throw std::bad_alloc();
            }
            list = grown;
        }
    }
    ~HeaderList() { curl_slist_free_all(list); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
};

char hexDigit(int value) {
    return "0123456789ABCDEF"[value & 15];
}

}  // namespace

namespace ServerClientDetail {

// The URL as it goes on the wire: Windows-1252 bytes, with only what a request
// line cannot carry written as %XX (see the class comment).
QByteArray wireUrl(const QString& url) {
    const QByteArray bytes = cp1252::encode(url);
    if (cp1252::decode(bytes) != url)
        throw OrvalisError(QStringLiteral("O endereço \"%1\" tem caracteres que não podem ser "
                                          "enviados ao servidor.")
                               .arg(url));
    QByteArray wire;
    wire.reserve(bytes.size() + 16);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || c == '#') {
            wire += '%';
            wire += hexDigit(c >> 4);
            wire += hexDigit(c);
        } else {
            wire += ch;
        }
    }
    return wire;
}

// The local path as the part's filename parameter: a quote or a line break
// would end the header early, so they are escaped as a browser does.
static QByteArray filenameParameter(const QString& path) {
    QByteArray bytes = cp1252::encode(path);
    bytes.replace('"', "%22");
    bytes.replace('\r', "%0D");
    bytes.replace('\n', "%0A");
    return bytes;
}

QByteArray filePartHeaders(const QString& localPath) {
    return "Content-Disposition: form-data; name=\"Img\"; filename=\"" + filenameParameter(localPath) +
           "\"\r\n"
           "Content-Type: image/jpg\r\n"
           "Content-Transfer-Encoding: binary\r\n";
}

QByteArray newBoundary(const QByteArray& content) {
    static const char alphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (;;) {
        QByteArray boundary = "----OrvalisBoundary";
        for (int i = 0; i < 24; ++i)
            boundary += alphabet[QRandomGenerator::global()->bounded(62)];
        if (!content.contains(boundary))
            return boundary;
    }
}

QByteArray multipartBody(const QByteArray& boundary, const QByteArray& partHeaders,
                         const QByteArray& partContent) {
    QByteArray body;
    body.reserve(partHeaders.size() + partContent.size() + 2 * boundary.size() + 16);
    body += "--" + boundary + "\r\n";
    body += partHeaders;
    body += "\r\n";
    body += partContent;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

bool appendWithinLimit(QByteArray& reply, const char* data, size_t size, qint64 limit) {
    if (reply.size() + qint64(size) > limit)
        return false;
    reply.append(data, qsizetype(size));
    return true;
}

bool isSuccessStatus(long status) {
    return status >= 200 && status <= 299;
}

}  // namespace ServerClientDetail

using namespace ServerClientDetail;

namespace {

QString reasonOf(CURLcode code, bool overLimit, qint64 limit) {
    if (overLimit)
        return QStringLiteral("resposta maior que %1 bytes").arg(limit);
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("servidor não encontrado");
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("não foi possível conectar");
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("tempo de espera esgotado");
    case CURLE_GOT_NOTHING:
        return QStringLiteral("o servidor fechou a conexão sem responder");
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
        return QStringLiteral("resposta interrompida");
    case CURLE_BAD_CONTENT_ENCODING:
        return QStringLiteral("resposta compactada inválida");
    default:
        return QStringLiteral("erro de transferência");
    }
}

}  // namespace

struct ServerClient::Handle {
    CURL* easy = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};
    QByteArray reply;
    QList<QByteArray> headers;  // the reply's header lines, without line ends
    qint64 limit = 0;
    bool overLimit = false;

    Handle() {
        initialiseCurlOnce();
        easy = curl_easy_init();
        if (!easy)
            throw OrvalisError(QStringLiteral("Não foi possível iniciar o cliente HTTP."));
    }
    ~Handle() { curl_easy_cleanup(easy); }

    static size_t collect(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Handle*>(user);
        const size_t n = size * count;
        if (!appendWithinLimit(self->reply, data, n, self->limit)) {
            self->overLimit = true;
            return 0;  // anything but n ends the transfer
        }
        return n;
    }

    static size_t collectHeader(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Handle*>(user);
        const size_t n = size * count;
        QByteArray line(data, qsizetype(n));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        // A status line starts the headers of each response (an interim one
        // included): only the last response's count.
        if (line.startsWith("HTTP/"))
            self->headers.clear();
        else if (!line.isEmpty() && self->headers.size() < 200)
            self->headers.append(line);
        return n;
    }

    // Whether the last reply carried the header that offers revisions.
    bool offersRevisions() const {
        for (const QByteArray& line : headers) {
            const qsizetype colon = line.indexOf(':');
            if (colon < 0 || line.left(colon).trimmed().compare("X-Orvalis-Revisoes", Qt::CaseInsensitive) != 0)
                continue;
            for (const QByteArray& token : line.mid(colon + 1).split(','))
                if (token.trimmed().compare("sha256", Qt::CaseInsensitive) == 0)
                    return true;
        }
        return false;
    }
};

struct ServerClient::Request {
    QString url;
    QString what;  // endpoint and file, for error texts; never the password
    QByteArray contentType = StandardContentType;
    const QByteArray* body = nullptr;
};

ServerClient::ServerClient(QString baseAddress, std::function<void()> processEvents)
    : m_base(std::move(baseAddress)), m_processEvents(std::move(processEvents)) {}

// The HTTP library is started with the first request, not with the program:
// its start-up (the TLS library among it) costs more than the first paint.
ServerClient::Handle& ServerClient::handle() {
    if (m_handle)
        return *m_handle;
    auto handle = std::make_unique<Handle>();
    CURL* easy = handle->easy;
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, handle->errorText);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Handle::collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, handle.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Handle::collectHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, handle.get());
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // cookies in memory only
    curl_easy_setopt(easy, CURLOPT_PROXY, "");       // never a proxy from the environment
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);  // send "/./" and "/../" as built
    // Decodes gzip and deflate replies; the header itself is in the standard list.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    m_handle = std::move(handle);
    return *m_handle;
}

ServerClient::~ServerClient() = default;

void ServerClient::setReplyLimit(qint64 bytes) {
    m_replyLimit = bytes;
}

QString ServerClient::defaultBaseAddress() {
    return QStringLiteral(ORVALIS_SERVER_BASE);
}

QString ServerClient::configuredBaseAddress() {
    return configuredBaseAddress(qEnvironmentVariable(kAddressVariable));
}

QString ServerClient::configuredBaseAddress(const QString& chosen) {
    return chosen.isEmpty() ? defaultBaseAddress() : chosen;
}

QByteArray ServerClient::perform(const Request& request) {
    Handle& h = handle();
    CURL* easy = h.easy;
    const QUrl base(m_base);
    const QString server = base.port() < 0 ? base.host()
                                           : QStringLiteral("%1:%2").arg(base.host()).arg(base.port());
    auto fail = [&](const QString& why) -> OrvalisError {
        return OrvalisError(QStringLiteral("Falha na comunicação com o servidor %1 (%2): %3")
                                .arg(server, request.what, why));
    };

    const QByteArray url = wireUrl(request.url);
    const HeaderList headers(request.contentType);
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(easy, CURLOPT_USERNAME, nullptr);
    curl_easy_setopt(easy, CURLOPT_PASSWORD, nullptr);
    if (request.body) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body->size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body->constData());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    if (m_shortTimeouts) {
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, ShortTimeoutMs);
        // Less than one byte a second over 5 s: nothing arrived in that time.
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, ShortTimeoutMs / 1000);
    } else {
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 0L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 0L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 0L);
    }

    h.reply.clear();
    h.headers.clear();
    h.limit = m_replyLimit;
    h.overLimit = false;
    h.errorText[0] = '\0';
    const CURLcode code = curl_easy_perform(easy);
    // The header list and the body die with this call; leave no pointer to them.
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    if (request.body)
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);

    if (code != CURLE_OK) {
        h.reply.clear();
        QString why = reasonOf(code, h.overLimit, h.limit);
        const QString detail = h.errorText[0] ? QString::fromLocal8Bit(h.errorText)
                                              : QString::fromLatin1(curl_easy_strerror(code));
        if (!h.overLimit)
            why += QStringLiteral(" (%1)").arg(detail);
        throw fail(why);
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (!isSuccessStatus(status)) {
        h.reply.clear();
        throw fail(QStringLiteral("resposta HTTP %1").arg(status));
    }
    return std::exchange(h.reply, QByteArray());
}

QByteArray ServerClient::get(const QString& url, const QString& what) {
    Request request;
    request.url = url;
    request.what = what;
    return perform(request);
}

QByteArray ServerClient::post(const QString& url, const QString& what,
                              const QByteArray& partHeaders, const QByteArray& partContent) {
    const QByteArray boundary = newBoundary(partHeaders + partContent);
    const QByteArray body = multipartBody(boundary, partHeaders, partContent);

    Request request;
    request.url = url;
    request.what = what;
    request.contentType = "Content-Type: multipart/form-data; boundary=" + boundary;
    request.body = &body;
    return perform(request);
}

void ServerClient::requirePlainFileName(const QString& fileName) const {
    if (!ServerReply::isPlainFileName(fileName))
        throw OrvalisError(QStringLiteral("Nome de arquivo inválido: \"%1\" (o nome não pode ter "
                                          "pasta, unidade, \"..\" nem caracteres de controle).")
                               .arg(fileName));
}

QStringList ServerClient::listGroups() {
    return ServerReply::lines(get(m_base + QStringLiteral("grupos.php"), QStringLiteral("grupos.php")));
}

QStringList ServerClient::listFiles(const QString& adventureName) {
    m_revisionsKnown = false;
    m_offersRevisions = false;
    const QByteArray body =
        get(m_base + QStringLiteral("lstarqs.php?NoAdv=") + adventureName, QStringLiteral("lstarqs.php"));
    m_offersRevisions = m_handle->offersRevisions();
    m_revisionsKnown = true;
    return ServerReply::lines(body);
}

QStringList ServerClient::listRevisions(const QString& adventureName) {
    return ServerReply::lines(get(m_base + QStringLiteral("lstarqs.php?NoAdv=") + adventureName +
                                      QStringLiteral("&Rev=1"),
                                  QStringLiteral("lstarqs.php")));
}

namespace {

// The extra key of an upload that names the version it replaces; nothing at
// all without one.
QString baseKey(const QByteArray& base) {
    return base.isEmpty() ? QString() : QStringLiteral("&Base=") + QString::fromLatin1(base);
}

// The reply of gettxt after its "Ok" line: the server's file as it stands.
QByteArray afterFirstLine(const QByteArray& body) {
    const qsizetype lf = body.indexOf('\n');
    const qsizetype cr = body.indexOf('\r');
    if (cr >= 0 && (lf < 0 || cr < lf))
        return body.mid(cr + (body.mid(cr, 2) == "\r\n" ? 2 : 1));
    return lf < 0 ? QByteArray() : body.mid(lf + 1);
}

}  // namespace

bool ServerClient::getText(const QString& adventureName, const QString& adventureFolder,
                           const QString& fileName, QByteArray* serverSha) {
    requirePlainFileName(fileName);
    const QByteArray body =
        get(m_base + QStringLiteral("gettxt.php?NoAdv=") + adventureName + QStringLiteral("&Arq=") + fileName,
            QStringLiteral("gettxt.php, %1").arg(fileName));
    const QStringList lines = ServerReply::lines(body);
    if (!ServerReply::isOk(lines))
        return false;
    ListFile::write(adventureFolder + fileName, lines.mid(1));
    if (serverSha)
        *serverSha = sha256Hex(afterFirstLine(body));
    return true;
}

QString ServerClient::putText(const QString& adventureName, const QString& adventureFolder,
                              const QString& fileName, const QString& password, const QByteArray& base,
                              QByteArray* sentSha) {
    requirePlainFileName(fileName);
    const QByteArray text = ListFile::joinLines(ListFile::read(adventureFolder + fileName));
    if (sentSha)
        *sentSha = sha256Hex(text);
    const QByteArray reply =
        post(m_base + QStringLiteral("puttxt.php?NoAdv=") + adventureName + QStringLiteral("&Arq=") +
                 fileName + QStringLiteral("&Senha=") + password + baseKey(base),
             QStringLiteral("puttxt.php, %1").arg(fileName),
             "Content-Disposition: form-data; name=\"Txt\"\r\n", text);
    return cp1252::decode(reply);
}

QString ServerClient::putFile(const QString& adventureName, const QString& adventureFolder,
                              const QString& fileName, const QString& password, const QByteArray& base,
                              QByteArray* sentSha) {
    if (password.isEmpty())
        return QStringLiteral("Falta senha!");
    requirePlainFileName(fileName);
    const QString localPath = adventureFolder + fileName;
    const QByteArray bytes = readFileBytes(localPath);
    if (sentSha)
        *sentSha = sha256Hex(bytes);
    const QByteArray partHeaders = filePartHeaders(localPath);
    const QByteArray reply =
        post(m_base + QStringLiteral("putarq.php?NoAdv=") + adventureName + QStringLiteral("&Arq=") +
                 fileName + QStringLiteral("&Senha=") + password + baseKey(base),
             QStringLiteral("putarq.php, %1").arg(fileName), partHeaders, bytes);
    return cp1252::decode(reply);
}

QString ServerClient::download(const QString& adventureName, const QString& fileName,
                               const std::function<void(const QByteArray&)>& store) {
    m_shortTimeouts = true;
    if (m_processEvents && std::this_thread::get_id() == m_owner)
        m_processEvents();
    try {
        requirePlainFileName(fileName);
        // Whole reply in memory first, then one safe write: a failed download
        // never leaves part of a file behind.
        store(get(m_base + adventureName + QStringLiteral("/") + fileName,
                  adventureName + QStringLiteral("/") + fileName));
        return QStringLiteral("Ok");
    } catch (...) {
        return QStringLiteral("Falha download");
    }
}

QString ServerClient::getFile(const QString& adventureName, const QString& adventureFolder,
                              const QString& fileName, QByteArray* sha) {
    return download(adventureName, fileName, [&](const QByteArray& bytes) {
        writeFileSafely(adventureFolder + fileName, bytes);
        if (sha)
            *sha = sha256Hex(bytes);
    });
}

QString ServerClient::fetchFile(const QString& adventureName, const QString& fileName, QByteArray& bytes) {
    bytes.clear();
    return download(adventureName, fileName, [&](const QByteArray& reply) { bytes = reply; });
}

}  // namespace orv
