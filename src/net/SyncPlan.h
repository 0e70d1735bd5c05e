#pragma once
#include "net/SyncRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace orv {

// Where one file of an adventure stands between its folder and the server,
// measured against the last exchange of it (SyncRecord).
enum class SyncState {
    Same,       // the same bytes on both sides: nothing travels
    Local,      // changed here only since the last exchange: goes up
    Server,     // changed on the server only: comes down
    Conflict,   // changed on both sides, or different with no exchange known
    NewLocal,   // only here: goes up as a new file
    NewServer,  // only on the server: comes down
};

// "igual", "local", "servidor", "conflito", "novo-local", "novo-servidor":
// the words the command line prints.
QString syncStateKey(SyncState state);
std::optional<SyncState> syncStateFromKey(const QString& key);

struct FileSync {
    QString name;
    SyncState state = SyncState::Same;
    QByteArray localSha, serverSha, recordSha;  // empty where there is none
    qint64 localSize = -1, serverSize = -1;     // -1 where there is none
    QDateTime localTime;    // the local file's last change
    QDateTime exchangedAt;  // the last exchange, if any
};

// One line of the server's revision listing.
struct ServerFile {
    QString name;
    qint64 size = -1;
    QByteArray sha;  // lowercase hex
};

namespace SyncPlan {

// The revision listing's lines after "Ok" ("name TAB size TAB sha256"). A
// line that is not of that shape, or whose name could address something
// outside the folder, is left out and its text added to rejected.
QList<ServerFile> parseListing(const QStringList& linesAfterOk, QStringList* rejected = nullptr);

// Whether a file is still as opening the adventure creates it when missing
// (the empty object lists and settings, the 251 empty register lines, the
// password file's one empty line): such a file, with no exchange recorded,
// gives way to the server's copy instead of being a conflict.
bool isUntouchedOpeningFile(const QString& adventureName, const QString& fileName, const QByteArray& bytes);

// The state of one file from its two versions and its record entry (null
// when there is none). localBytes is only read for isUntouchedOpeningFile.
SyncState compare(const QString& adventureName, const QString& fileName, const QByteArray* localSha,
                  const QByteArray* serverSha, const SyncRecord::Entry* record,
                  const QByteArray& localBytes = {});

// One file of the folder as the comparison needs it.
struct LocalFile {
    QString name;
    QByteArray sha;  // empty when the file could not be read
    qint64 size = -1;
    QDateTime time;
    QByteArray openingBytes;  // the whole file, for the small ones opening creates
};
// Every plain file of the folder listing, read and hashed: the slow part of
// a comparison, which a transfer runs while the server makes its listing.
QList<LocalFile> readFolder(const QString& adventureName, const QString& adventureFolder);

// Every file of the folder listing (but the password file, unless the server
// lists one) and every file of the server's listing, in the server's order
// and then the local-only ones in the folder's order.
QList<FileSync> compareFolder(const QString& adventureName, const QString& adventureFolder,
                              const QList<ServerFile>& server, const SyncRecord& record);
QList<FileSync> compareFolder(const QString& adventureName, const QList<LocalFile>& local,
                              const QList<ServerFile>& server, const SyncRecord& record);

// The entry of `plan` for a name, or null.
const FileSync* find(const QList<FileSync>& plan, const QString& name);

}  // namespace SyncPlan
}  // namespace orv
