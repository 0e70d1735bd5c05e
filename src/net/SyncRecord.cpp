#include "net/SyncRecord.h"

#include "core/DurableWrite.h"
#include "net/ServerReply.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSet>

namespace orv {

namespace {

// The first line names the file's kind and layout; the last one counts the
// entries and carries the SHA-256 of everything before it, so a record cut
// short or changed by hand is recognised as such, not half believed.
constexpr char kMagic[] = "orvalis-sinc 1";
constexpr char kServerKey[] = "servidor ";
constexpr char kEndKey[] = "fim ";
constexpr qint64 kLargestRecord = 64 * 1024 * 1024;

bool isShaHex(const QByteArray& text) {
    if (text.size() != 64)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

}  // namespace

QByteArray sha256Hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray fileSha256(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || file.error() != QFileDevice::NoError)
        return {};
    return hash.result().toHex();
}

const SyncRecord::Entry* SyncRecord::find(const QString& fileName) const {
    const auto it = entries_.constFind(fileName);
    return it == entries_.constEnd() ? nullptr : &it.value();
}

void SyncRecord::set(const QString& fileName, const QByteArray& serverSha, const QByteArray& localSha,
                     const QDateTime& at) {
    Entry entry;
    entry.sha = serverSha;
    entry.localSha = localSha == serverSha ? QByteArray() : localSha;
    entry.at = (at.isValid() ? at : QDateTime::currentDateTimeUtc()).toUTC();
    entries_.insert(fileName, entry);
}

QByteArray SyncRecord::serialize() const {
    QByteArray out;
    out += kMagic;
    out += '\n';
    out += kServerKey + server_.toUtf8() + '\n';
    for (auto it = entries_.constBegin(); it != entries_.constEnd(); ++it) {
        out += it.key().toUtf8() + '\t' + it->sha + '\t' + (it->localSha.isEmpty() ? QByteArray("-") : it->localSha) +
               '\t' + it->at.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\n';
    }
    out += kEndKey + QByteArray::number(entries_.size()) + ' ' + sha256Hex(out) + '\n';
    return out;
}

bool SyncRecord::parse(const QByteArray& bytes, const QString& serverAddress, SyncRecord& record) {
    record = SyncRecord(serverAddress);
    if (!bytes.endsWith('\n'))
        return false;
    const qsizetype lastStart = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
    const QByteArray body = bytes.left(lastStart);
    const QByteArray end = bytes.mid(lastStart, bytes.size() - lastStart - 1);
    if (!end.startsWith(kEndKey))
        return false;
    const QList<QByteArray> endParts = end.mid(int(sizeof kEndKey) - 1).split(' ');
    if (endParts.size() != 2 || endParts[1] != sha256Hex(body))
        return false;
    bool countOk = false;
    const qsizetype count = endParts[0].toLongLong(&countOk);

    QList<QByteArray> lines = body.split('\n');
    lines.removeLast();  // after the last line break
    if (lines.size() < 2 || lines[0] != kMagic || !lines[1].startsWith(kServerKey))
        return false;
    if (QString::fromUtf8(lines[1].mid(int(sizeof kServerKey) - 1)) != serverAddress)
        return false;
    if (!countOk || count != lines.size() - 2)
        return false;
    SyncRecord read(serverAddress);
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        if (fields.size() != 4)
            return false;
        const QString name = QString::fromUtf8(fields[0]);
        if (!ServerReply::isPlainFileName(name) || name.toUtf8() != fields[0] || read.entries_.contains(name))
            return false;
        if (!isShaHex(fields[1]) || (fields[2] != "-" && !isShaHex(fields[2])))
            return false;
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(fields[3]), Qt::ISODateWithMs);
        if (!at.isValid())
            return false;
        Entry entry;
        entry.sha = fields[1];
        entry.localSha = fields[2] == "-" ? QByteArray() : fields[2];
        entry.at = at.toUTC();
        read.entries_.insert(name, entry);
    }
    record = std::move(read);
    return true;
}

SyncRecord SyncRecord::load(const QString& adventureFolder, const QString& serverAddress) {
    SyncRecord record(serverAddress);
    QFile file(adventureFolder + QLatin1String(kFileName));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestRecord)
        return record;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return record;
    parse(bytes, serverAddress, record);
    return record;
}

void SyncRecord::save(const QString& adventureFolder) const {
    writeFileSafely(adventureFolder + QLatin1String(kFileName), serialize());
}

void SyncRecord::recordExchange(const QString& adventureFolder, const QString& serverAddress,
                                const QString& fileName, const QByteArray& serverSha, const QByteArray& localSha) {
    SyncRecord record = load(adventureFolder, serverAddress);
    record.set(fileName, serverSha, localSha);
    record.save(adventureFolder);
}

}  // namespace orv
