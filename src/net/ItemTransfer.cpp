#include "net/ItemTransfer.h"

#include "core/DurableWrite.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "net/AdventureTransfer.h"
#include "net/Connection.h"
#include "net/ServerClient.h"
#include "net/ServerReply.h"
#include "net/SyncPlan.h"
#include "net/SyncRecord.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

#include <initializer_list>

namespace orv::ItemTransfer {
namespace {

void show(const Context& c, const QString& text) {
    if (c.status)
        c.status(text);
}

// Checked before the first request, so a name with a folder part never costs
// a half-done transfer of several files.
void requireSafeNames(std::initializer_list<QString> names) {
    for (const QString& name : names)
        if (!ServerReply::isPlainFileName(name))
            throw OrvalisError(QStringLiteral("Nome de arquivo inválido: \"%1\".").arg(name));
}

// The client is out with a whole transfer: nothing is sent or written.
bool clientFree(const Context& c) {
    if (!c.connection || !c.connection->transferRunning())
        return true;
    show(c, transferRunningText());
    return false;
}

bool passwordGiven(const Context& c) {
    if (!c.connection->password().isEmpty())
        return true;
    show(c, QString::fromLatin1(kMissingPassword));
    return false;
}

bool isReply(const QString& reply, const char* line) {
    return reply == QLatin1String(line) || reply.startsWith(QLatin1String(line) + u'\r') ||
           reply.startsWith(QLatin1String(line) + u'\n');
}

bool isConflict(const QString& reply) {
    return isReply(reply, kConflict);
}

bool revisions(const Context& c) {
    return AdventureTransfer::revisionsOffered(c.connection->client(), c.adventureName, c.adventureFolder);
}

// The server's version of a file by its revision listing: empty when it
// has none; nullopt, with the server's reply, when the listing was refused.
std::optional<QByteArray> serverVersion(const Context& c, const QString& name, QString* refusal = nullptr) {
    const QStringList lines = c.connection->client().listRevisions(c.adventureName);
    if (!ServerReply::isOk(lines)) {
        if (refusal)
            *refusal = lines.value(0);
        return std::nullopt;
    }
    for (const ServerFile& file : SyncPlan::parseListing(lines.mid(1)))
        if (file.name == name)
            return file.sha;
    return QByteArray();
}

// One file up, as text or as bytes. With revisions it names the version it
// replaces: the one last exchanged, or "novo" when the server has none. A
// file the server has in another version, with no exchange known, is a
// conflict and is not sent.
QString send(const Context& c, const QString& name, bool asText) {
    ServerClient& client = c.connection->client();
    const QString& password = c.connection->password();
    if (!revisions(c))
        return asText ? client.putText(c.adventureName, c.adventureFolder, name, password)
                      : client.putFile(c.adventureName, c.adventureFolder, name, password);
    const QString path = c.adventureFolder + name;
    const SyncRecord record = SyncRecord::load(c.adventureFolder, client.baseAddress());
    QByteArray base;
    if (const SyncRecord::Entry* entry = record.find(name)) {
        base = entry->sha;
    } else {
        QString refusal;
        const std::optional<QByteArray> there = serverVersion(c, name, &refusal);
        if (!there)
            return refusal;
        if (there->isEmpty()) {
            base = ServerClient::kNewFileBase;
        } else {
            const QByteArray here =
                asText ? sha256Hex(ListFile::joinLines(ListFile::read(path))) : fileSha256(path);
            if (here != *there)
                return QString::fromLatin1(kConflict);
            base = *there;  // the same bytes: nothing to lose
        }
    }
    QByteArray sentSha;
    const QString reply = asText ? client.putText(c.adventureName, c.adventureFolder, name, password, base, &sentSha)
                                 : client.putFile(c.adventureName, c.adventureFolder, name, password, base, &sentSha);
    if (isReply(reply, "Ok"))
        SyncRecord::recordExchange(c.adventureFolder, client.baseAddress(), name, sentSha, fileSha256(path));
    return reply;
}

QString putFile(const Context& c, const QString& name) {
    return send(c, name, false);
}

QString putText(const Context& c, const QString& name) {
    return send(c, name, true);
}

// Whether a download may replace the local file: the author is asked when
// it changed since its last exchange, or, never exchanged, when it differs
// from the server's (a file as opening creates it is not asked about).
bool mayReplace(const Context& c, const QString& name) {
    const QString path = c.adventureFolder + name;
    if (!c.askReplace || !ServerReply::isPlainFileName(name) || !QFileInfo(path).isFile() || !revisions(c))
        return true;
    const SyncRecord record = SyncRecord::load(c.adventureFolder, c.connection->client().baseAddress());
    const QByteArray here = fileSha256(path);
    if (const SyncRecord::Entry* entry = record.find(name)) {
        if (!here.isEmpty() && (here == entry->localVersion() || here == entry->sha))
            return true;
        return c.askReplace(name);
    }
    QFile file(path);
    if (QFileInfo(path).size() <= 1024 && file.open(QIODevice::ReadOnly) &&
        SyncPlan::isUntouchedOpeningFile(c.adventureName, name, file.readAll()))
        return true;
    const std::optional<QByteArray> there = serverVersion(c, name);
    if (there && !here.isEmpty() && *there == here)
        return true;
    return c.askReplace(name);
}

// Records a download when revisions are spoken with this server.
void recordDownload(const Context& c, const QString& name, const QByteArray& serverSha) {
    if (serverSha.isEmpty() || !revisions(c))
        return;
    SyncRecord::recordExchange(c.adventureFolder, c.connection->client().baseAddress(), name, serverSha,
                               fileSha256(c.adventureFolder + name));
}

QString getFile(const Context& c, const QString& name) {
    QByteArray sha;
    const QString status = c.connection->client().getFile(c.adventureName, c.adventureFolder, name, &sha);
    if (status == QLatin1String("Ok"))
        recordDownload(c, name, sha);
    return status;
}

// getText; any failure of it is "not fetched". The record is written after,
// outside: its own failure is not the download's.
bool getText(const Context& c, const QString& name, QByteArray& sha) {
    try {
        return c.connection->client().getText(c.adventureName, c.adventureFolder, name, &sha);
    } catch (const OrvalisError&) {
        return false;
    }
}

}  // namespace

void uploadMap(const Context& c, const std::function<void()>& saveMap, const std::function<void()>& loadMap) {
    if (!clientFree(c))
        return;
    if (!passwordGiven(c) || !c.connection->isReady())
        return;
    const QString name = c.adventureName + QStringLiteral(".map");
    requireSafeNames({name});
    if (saveMap)
        saveMap();
    show(c, putText(c, name));
    if (loadMap)
        loadMap();
}

void downloadMap(const Context& c, const std::function<void()>& loadMap) {
    if (!clientFree(c))
        return;
    if (!c.connection->isReady())
        return;
    const QString name = c.adventureName + QStringLiteral(".map");
    requireSafeNames({name});
    if (!mayReplace(c, name))
        return;
    QByteArray sha;
    if (!getText(c, name, sha)) {
        show(c, QString::fromLatin1(kDownloadError));
        return;
    }
    recordDownload(c, name, sha);
    if (loadMap)
        loadMap();
    show(c, QStringLiteral("Mapa atualizado!"));
}

void uploadPositionImage(const Context& c, const QString& imageName) {
    if (!clientFree(c))
        return;
    if (!passwordGiven(c) || !c.connection)
        return;
    requireSafeNames({imageName});
    show(c, putFile(c, imageName));
}

void downloadPositionImage(const Context& c, const QString& imageName) {
    if (!clientFree(c))
        return;
    if (!c.connection || !mayReplace(c, imageName))
        return;
    show(c, getFile(c, imageName));
}

void uploadScript(const Context& c, const QString& scriptName, const std::function<void()>& saveScript) {
    if (!clientFree(c))
        return;
    if (!passwordGiven(c) || !c.connection->isReady())
        return;
    requireSafeNames({scriptName});
    if (saveScript)
        saveScript();
    show(c, putText(c, scriptName));
}

bool downloadScript(const Context& c, const QString& scriptName) {
    if (!clientFree(c))
        return false;
    if (!c.connection->isReady())
        return false;
    requireSafeNames({scriptName});
    if (!mayReplace(c, scriptName))
        return false;
    QByteArray sha;
    const bool fetched = getText(c, scriptName, sha);
    if (fetched)
        recordDownload(c, scriptName, sha);
    show(c, fetched ? QStringLiteral("Script atualizado!") : QString::fromLatin1(kDownloadError));
    return fetched;
}

void uploadObject(const Context& c, const QString& objectName, const std::function<void()>& repaint) {
    if (!clientFree(c))
        return;
    if (!passwordGiven(c) || !c.connection->isReady() || objectName.isEmpty())
        return;
    const QString names[] = {objectName + QStringLiteral(".obj"), c.adventureName + QStringLiteral(".obx"),
                             c.adventureName + QStringLiteral(".obz")};
    requireSafeNames({names[0], names[1], names[2]});
    bool conflict = false;
    for (const QString& name : names) {
        const QString reply = putFile(c, name);
        conflict |= isConflict(reply);
        show(c, reply);
        if (repaint)
            repaint();
    }
    show(c, QString::fromLatin1(conflict ? kConflict : kUploadDone));
}

bool downloadObject(const Context& c, const QString& objectName, const std::function<void()>& repaint) {
    if (!clientFree(c))
        return false;
    if (!c.connection->isReady() || objectName.isEmpty())
        return false;
    const QString names[] = {objectName + QStringLiteral(".obj"), c.adventureName + QStringLiteral(".obx"),
                             c.adventureName + QStringLiteral(".obz")};
    requireSafeNames({names[0], names[1], names[2]});
    // Each file on its own: a failed one leaves the others to come, and so
    // does one the author keeps.
    for (const QString& name : names) {
        if (!mayReplace(c, name))
            continue;
        show(c, getFile(c, name));
        if (repaint)
            repaint();
    }
    show(c, QString::fromLatin1(kDownloadDone));
    return true;
}

void uploadRegisters(const Context& c) {
    if (!clientFree(c))
        return;
    if (!passwordGiven(c) || !c.connection->isReady())
        return;
    const QString rgs = c.adventureName + QStringLiteral(".rgs");
    const QString rgx = c.adventureName + QStringLiteral(".rgx");
    requireSafeNames({rgs, rgx});
    // Their replies are not shown, but a conflict is: nothing else tells.
    const bool conflict = isConflict(putFile(c, rgs)) | isConflict(putFile(c, rgx));
    show(c, QString::fromLatin1(conflict ? kConflict : kUploadDone));
}

void downloadRegisters(const Context& c) {
    if (!clientFree(c))
        return;
    if (!c.connection->isReady())
        return;
    for (const QString& name : {c.adventureName + QStringLiteral(".rgs"), c.adventureName + QStringLiteral(".rgx")})
        if (mayReplace(c, name))
            getFile(c, name);
    show(c, QString::fromLatin1(kDownloadDone));
}

void uploadImage(const Context& c, const QString& imageName) {
    if (!clientFree(c))
        return;
    if (c.connection->password().isEmpty() || !c.connection->isReady() || imageName.isEmpty())
        return;
    requireSafeNames({imageName});
    // Silent, but for a conflict.
    if (isConflict(putFile(c, imageName)))
        show(c, QString::fromLatin1(kConflict));
}

void downloadImage(const Context& c, const QString& imageName) {
    if (!clientFree(c))
        return;
    if (!c.connection->isReady() || imageName.isEmpty() || !mayReplace(c, imageName))
        return;
    getFile(c, imageName);
}

void uploadSound(const Context& c, const QString& soundName) {
    if (!clientFree(c))
        return;
    if (!passwordGiven(c) || !c.connection->isReady() || soundName.isEmpty())
        return;
    requireSafeNames({soundName});
    show(c, QString::fromLatin1(isConflict(putFile(c, soundName)) ? kConflict : kUploadDone));
}

void downloadSound(const Context& c, const QString& soundName) {
    if (!clientFree(c))
        return;
    if (!c.connection->isReady() || soundName.isEmpty() || !mayReplace(c, soundName))
        return;
    getFile(c, soundName);
    show(c, QString::fromLatin1(kDownloadDone));
}

void uploadPanel(const Context& c, const QString& imageName, const std::function<void()>& prepare,
                 const std::function<void()>& saveSettings) {
    if (!clientFree(c))
        return;
    if (!passwordGiven(c) || !c.connection)
        return;
    if (imageName.isEmpty()) {
        show(c, QString::fromLatin1(kNoPanelImage));
        return;
    }
    const QString settings = c.adventureName + QStringLiteral(".ini");
    requireSafeNames({imageName, settings});
    if (prepare)
        prepare();
    show(c, putFile(c, imageName));
    if (saveSettings)
        saveSettings();
    show(c, putFile(c, settings));
}

bool downloadPanel(const Context& c, const QString& imageName, bool* pictureFetched) {
    if (!clientFree(c))
        return false;
    if (!c.connection)
        return false;
    const QString settings = c.adventureName + QStringLiteral(".ini");
    requireSafeNames({settings});
    // A picture name that is empty or unsafe fails on its own ("Falha
    // download", nothing requested); the settings file still comes.
    if (pictureFetched)
        *pictureFetched = false;
    if (mayReplace(c, imageName)) {
        const QString picture = getFile(c, imageName);
        if (pictureFetched)
            *pictureFetched = picture == QLatin1String("Ok");
        show(c, picture);
    }
    if (!mayReplace(c, settings))
        return false;
    const QString fetched = getFile(c, settings);
    show(c, fetched);
    return fetched == QLatin1String("Ok");
}

}  // namespace orv::ItemTransfer
