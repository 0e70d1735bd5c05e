#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <utility>

namespace orv {

// The lowercase hexadecimal SHA-256 of some bytes, as the server lists it.
QByteArray sha256Hex(const QByteArray& bytes);
// The same of a file's bytes; empty when the file cannot be read.
QByteArray fileSha256(const QString& path);

// What one adventure folder last exchanged with one server: for each file,
// the version the server had right after the last successful download or
// upload of it, and when. The record is what tells "changed here", "changed
// there" and "changed on both sides" apart; without it every difference is a
// conflict.
//
// It lives in a hidden file of the adventure folder, so the folder listing
// never uploads it and the adventure list never shows it. It is written
// through the durable write: a crash leaves the old record or the new one.
// A record that is missing, cut short, damaged, from another program or made
// with another server address reads as no record at all.
class SyncRecord {
public:
    static constexpr char kFileName[] = ".orvalis-sinc";

    struct Entry {
        // The server's version at the exchange (what a later upload sends as
        // its base).
        QByteArray sha;
        // The local file's bytes right after the exchange, when they differ
        // from the server's (a text download writes CR LF line ends); empty
        // when they are the same.
        QByteArray localSha;
        QDateTime at;  // UTC

        // The local bytes that mean "unchanged since the exchange".
        const QByteArray& localVersion() const { return localSha.isEmpty() ? sha : localSha; }
    };

    SyncRecord() = default;
    explicit SyncRecord(QString serverAddress) : server_(std::move(serverAddress)) {}

    // The record of adventureFolder (ends with a separator) for serverAddress;
    // an empty record for that address when there is none usable.
    static SyncRecord load(const QString& adventureFolder, const QString& serverAddress);
    // Writes the record into adventureFolder durably; throws WriteError.
    void save(const QString& adventureFolder) const;

    // One exchange of one file, read, updated and written at once (the
    // per-item buttons): serverSha is the server's version now, localSha the
    // local file's when it differs.
    static void recordExchange(const QString& adventureFolder, const QString& serverAddress,
                               const QString& fileName, const QByteArray& serverSha,
                               const QByteArray& localSha = {});

    const QString& serverAddress() const { return server_; }
    bool isEmpty() const { return entries_.isEmpty(); }
    QStringList names() const { return entries_.keys(); }
    // Null when the file has no record.
    const Entry* find(const QString& fileName) const;
    // at defaults to now.
    void set(const QString& fileName, const QByteArray& serverSha, const QByteArray& localSha = {},
             const QDateTime& at = {});
    void remove(const QString& fileName) { entries_.remove(fileName); }

    // The file's bytes, and reading them back; parse gives false (and an
    // empty record) for anything that is not a whole record of serverAddress.
    QByteArray serialize() const;
    static bool parse(const QByteArray& bytes, const QString& serverAddress, SyncRecord& record);

private:
    QString server_;
    QMap<QString, Entry> entries_;
};

}  // namespace orv
