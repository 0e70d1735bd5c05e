#include "net/SyncPlan.h"

#include "net/AdventureTransfer.h"
#include "net/ServerReply.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace orv {

namespace {

struct StateKey {
    SyncState state;
    const char* key;
};
constexpr StateKey kKeys[] = {
    {SyncState::Same, "igual"},         {SyncState::Local, "local"},
    {SyncState::Server, "servidor"},    {SyncState::Conflict, "conflito"},
    {SyncState::NewLocal, "novo-local"}, {SyncState::NewServer, "novo-servidor"},
};

bool isShaHex(const QString& text) {
    if (text.size() != 64)
        return false;
    for (const QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

// The bytes opening writes for a file it creates when missing, or null for
// a file it never creates.
std::optional<QByteArray> openingContent(const QString& adventureName, const QString& fileName) {
    if (fileName == QLatin1String(AdventureTransfer::kPasswordFile))
        return QByteArray("\r\n");
    if (!fileName.startsWith(adventureName) || fileName.size() != adventureName.size() + 4)
        return std::nullopt;
    const QString ext = fileName.mid(adventureName.size());
    if (ext == QLatin1String(".obx") || ext == QLatin1String(".obz") || ext == QLatin1String(".ini"))
        return QByteArray();
    if (ext == QLatin1String(".rgs")) {
        QByteArray lines;
        for (int i = 0; i < 251; ++i)
            lines += "\r\n";
        return lines;
    }
    return std::nullopt;
}

}  // namespace

QString syncStateKey(SyncState state) {
    for (const StateKey& k : kKeys)
        if (k.state == state)
            return QString::fromLatin1(k.key);
    return {};
}

std::optional<SyncState> syncStateFromKey(const QString& key) {
    for (const StateKey& k : kKeys)
        if (key == QLatin1String(k.key))
            return k.state;
    return std::nullopt;
}

namespace SyncPlan {

QList<ServerFile> parseListing(const QStringList& linesAfterOk, QStringList* rejected) {
    QList<ServerFile> files;
    QSet<QString> seen;
    for (const QString& line : linesAfterOk) {
        const QStringList fields = line.split(u'\t');
        bool sizeOk = false;
        const qint64 size = fields.size() == 3 ? fields[1].toLongLong(&sizeOk) : -1;
        if (fields.size() != 3 || !sizeOk || size < 0 || !isShaHex(fields[2]) ||
            !ServerReply::isPlainFileName(fields[0]) || seen.contains(fields[0])) {
            if (rejected)
                rejected->append(line);
            continue;
        }
        seen.insert(fields[0]);
        files.append({fields[0], size, fields[2].toLatin1()});
    }
    return files;
}

bool isUntouchedOpeningFile(const QString& adventureName, const QString& fileName, const QByteArray& bytes) {
    const std::optional<QByteArray> content = openingContent(adventureName, fileName);
    if (!content)
        return false;
    // The password file holds the text of an empty password box: nothing at
    // all is the same.
    return bytes == *content || (fileName == QLatin1String(AdventureTransfer::kPasswordFile) && bytes.isEmpty());
}

SyncState compare(const QString& adventureName, const QString& fileName, const QByteArray* localSha,
                  const QByteArray* serverSha, const SyncRecord::Entry* record, const QByteArray& localBytes) {
    if (!serverSha)
        return localSha ? SyncState::NewLocal : SyncState::Same;
    if (!localSha)
        return SyncState::NewServer;
    if (!localSha->isEmpty() && *localSha == *serverSha)
        return SyncState::Same;
    if (record) {
        // A local file unreadable now (empty sha) counts as changed: it is
        // never overwritten unseen.
        const bool localChanged =
            localSha->isEmpty() || (*localSha != record->localVersion() && *localSha != record->sha);
        const bool serverChanged = *serverSha != record->sha;
        if (localChanged && serverChanged)
            return SyncState::Conflict;
        if (localChanged)
            return SyncState::Local;
        if (serverChanged)
            return SyncState::Server;
        return SyncState::Same;  // both as exchanged, a text's line ends apart
    }
    if (!localSha->isEmpty() && isUntouchedOpeningFile(adventureName, fileName, localBytes))
        return SyncState::Server;
    return SyncState::Conflict;
}

QList<LocalFile> readFolder(const QString& adventureName, const QString& adventureFolder) {
    QList<LocalFile> files;
    for (const QString& name : AdventureTransfer::folderListing(adventureFolder)) {
        if (!ServerReply::isPlainFileName(name))
            continue;
        const QString path = adventureFolder + name;
        const QFileInfo info(path);
        LocalFile file;
        file.name = name;
        file.size = info.size();
        file.time = info.lastModified().toUTC();
        file.sha = fileSha256(path);
        // Only the small files opening creates are read whole.
        if (openingContent(adventureName, name) && info.size() <= 1024) {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                file.openingBytes = f.readAll();
        }
        files.append(file);
    }
    return files;
}

QList<FileSync> compareFolder(const QString& adventureName, const QString& adventureFolder,
                              const QList<ServerFile>& server, const SyncRecord& record) {
    return compareFolder(adventureName, readFolder(adventureName, adventureFolder), server, record);
}

QList<FileSync> compareFolder(const QString& adventureName, const QList<LocalFile>& local,
                              const QList<ServerFile>& server, const SyncRecord& record) {
    QHash<QString, const LocalFile*> here;
    // "Clareira (servidor).scp" beside "Clareira.scp" is the server's copy
    // that "keep both" saved: the author's to merge, not a new file to send.
    QSet<QString> besideCopies;
    for (const LocalFile& file : local) {
        here.insert(file.name, &file);
        besideCopies.insert(AdventureTransfer::besideName(file.name));
    }

    const auto describe = [&](const QString& name, const ServerFile* there) {
        FileSync file;
        file.name = name;
        const LocalFile* mine = here.value(name);
        if (mine) {
            file.localSize = mine->size;
            file.localTime = mine->time;
            file.localSha = mine->sha;
        }
        if (there) {
            file.serverSha = there->sha;
            file.serverSize = there->size;
        }
        const SyncRecord::Entry* entry = record.find(name);
        if (entry) {
            file.recordSha = entry->sha;
            file.exchangedAt = entry->at;
        }
        file.state = compare(adventureName, name, mine ? &mine->sha : nullptr, there ? &there->sha : nullptr, entry,
                             mine ? mine->openingBytes : QByteArray());
        return file;
    };

    QList<FileSync> plan;
    QSet<QString> listed;
    for (const ServerFile& there : server) {
        listed.insert(there.name);
        plan.append(describe(there.name, &there));
    }
    for (const LocalFile& file : local) {
        if (listed.contains(file.name) || file.name == QLatin1String(AdventureTransfer::kPasswordFile) ||
            besideCopies.contains(file.name))
            continue;
        plan.append(describe(file.name, nullptr));
    }
    return plan;
}

const FileSync* find(const QList<FileSync>& plan, const QString& name) {
    for (const FileSync& file : plan)
        if (file.name == name)
            return &file;
    return nullptr;
}

}  // namespace SyncPlan
}  // namespace orv
