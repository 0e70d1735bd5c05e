#include "AdventureTransfer.h"

#include "ServerClient.h"
#include "ServerReply.h"
#include "SyncRecord.h"
#include "core/DurableWrite.h"
#include "core/OrvalisError.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QRegularExpression>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

namespace orv::AdventureTransfer {

QStringList folderListing(const QString& folder) {
    // Without QDir::Hidden and QDir::System those stay out; Unsorted keeps the
    // file system's own order.
    QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Unsorted);
    // The program's own temporary files are never sent, hidden or not.
    names.removeIf([](const QString& name) { return isTemporaryName(name); });
    return names;
}

namespace {

// The system's reason when there is one ("disco cheio"), else the whole text.
QString writeReason(const WriteError& error) {
    return error.errorNumber() != 0 ? systemReason(error.errorNumber()) : error.text();
}

// Writes the downloaded files into the batch on a thread of its own, one
// after the other, while the next file is on its way from the server.
class BatchWriter {
public:
    explicit BatchWriter(DurableBatch& batch) : batch_(batch), thread_([this] { run(); }) {}
    ~BatchWriter() {
        {
            const std::lock_guard<std::mutex> guard(lock_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // Starts writing a file; the previous one must have been waited for.
    void start(const QString& path, const QByteArray& bytes) {
        {
            const std::lock_guard<std::mutex> guard(lock_);
            path_ = path;
            bytes_ = bytes;
            busy_ = true;
        }
        changed_.notify_all();
    }

    // Whether the file last started was written; if not, why.
    bool wait(QString* reason = nullptr) {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [this] { return !busy_; });
        if (reason)
            *reason = reason_;
        return written_;
    }

private:
    void run() {
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            changed_.wait(guard, [this] { return busy_ || stop_; });
            if (!busy_)
                return;
            const QString path = std::exchange(path_, QString());
            const QByteArray bytes = std::exchange(bytes_, QByteArray());
            guard.unlock();
            bool written = true;
            QString reason;
            try {
                batch_.add(path, bytes);
            } catch (const WriteError& error) {
                written = false;
                reason = writeReason(error);
            } catch (const std::exception& error) {
                written = false;
                reason = QString::fromLocal8Bit(error.what());
            }
            guard.lock();
            written_ = written;
            reason_ = reason;
            busy_ = false;
            changed_.notify_all();
        }
    }

    DurableBatch& batch_;
    std::mutex lock_;
    std::condition_variable changed_;
    QString path_;
    QByteArray bytes_;
    bool busy_ = false;
    bool written_ = false;
    QString reason_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace

QString stoppedText(int done, int count) {
    // Short enough for the connection's status line, 156 pixels wide.
    return QStringLiteral("Parado: %1/%2").arg(done).arg(count);
}

namespace {

const QString kRefusedName = QStringLiteral("nome que sairia da pasta da aventura");
const QString kFetchFailed = QStringLiteral("falha no download");

QString firstLine(const QString& reply) {
    const qsizetype end = reply.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    return end < 0 ? reply : reply.left(end);
}

// The server takes a file with the reply "Ok", as a line of its own; anything
// else is its refusal, in its own words.
bool isAcceptance(const QString& reply) {
    return firstLine(reply) == QLatin1String("Ok");
}

bool isConflict(const QString& reply) {
    return firstLine(reply) == QLatin1String("Conflito!");
}

// Both refusals of the password: trying the next file only counts against
// the group once more.
bool isPasswordRefusal(const QString& reply) {
    const QString line = firstLine(reply);
    return line == QLatin1String("Senha incorreta!") || line.startsWith(QLatin1String("Muitas senhas erradas!"));
}

// The revision listing, line by line: a good line gives its file, a bad one
// the name it starts with (refused, as an unsafe name in the plain list).
struct RevisionLine {
    QString name;
    bool usable = false;
};
struct RevisionListing {
    bool ok = false;
    QString refusal;
    QList<ServerFile> files;
    QList<RevisionLine> lines;  // in the server's order
};

RevisionListing listRevisions(ServerClient& client, const QString& adventureName) {
    RevisionListing listing;
    const QStringList reply = client.listRevisions(adventureName);
    listing.ok = ServerReply::isOk(reply);
    if (!listing.ok) {
        listing.refusal = reply.value(0);
        return listing;
    }
    QSet<QString> seen;
    for (const QString& line : reply.mid(1)) {
        const QList<ServerFile> one = SyncPlan::parseListing({line});
        if (!one.isEmpty() && seen.contains(one.first().name))
            continue;  // a name listed twice is taken once
        if (one.isEmpty()) {
            listing.lines.append({line.section(u'\t', 0, 0), false});
        } else {
            seen.insert(one.first().name);
            listing.files.append(one.first());
            listing.lines.append({one.first().name, true});
        }
    }
    return listing;
}

// Reads and hashes the folder on a thread of its own while the caller waits
// for the server's listing (which hashes the server's files meanwhile).
std::future<QList<SyncPlan::LocalFile>> readFolderMeanwhile(const QString& adventureName, const QString& adventureFolder) {
    return std::async(std::launch::async, [adventureName, adventureFolder] {
        return SyncPlan::readFolder(adventureName, adventureFolder);
    });
}

// Records an exchange when it says something new.
bool noteExchange(SyncRecord& record, const QString& name, const QByteArray& serverSha, const QByteArray& localSha) {
    const SyncRecord::Entry* entry = record.find(name);
    const QByteArray local = localSha == serverSha ? QByteArray() : localSha;
    if (entry && entry->sha == serverSha && entry->localSha == local)
        return false;
    record.set(name, serverSha, local);
    return true;
}

QString saveRecord(const SyncRecord& record, const QString& adventureFolder) {
    try {
        record.save(adventureFolder);
        return {};
    } catch (const OrvalisError& error) {
        return error.text();
    }
}

// One step of a whole download: a name to fetch, a refused name, or a file
// that stays as it is (it still moves the gauge).
struct DownloadStep {
    QString name;
    enum Kind { Fetch, Refuse, Keep } kind = Fetch;
};

}  // namespace

bool revisionsOffered(ServerClient& client, const QString& adventureName, const QString& adventureFolder, bool ask) {
    if (client.offersRevisions())
        return true;
    if (!ask && (client.revisionsKnown() || SyncRecord::load(adventureFolder, client.baseAddress()).isEmpty()))
        return false;
    client.listFiles(adventureName);
    return client.offersRevisions();
}

DownloadResult downloadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                           const Progress& progress, const Options& options) {
    const QStringList reply = client.listFiles(adventureName);
    progress.status(QStringLiteral("Pasta vazia"));
    DownloadResult result;
    result.listed = ServerReply::isOk(reply);
    if (!result.listed)
        result.refusal = reply.value(0);
    result.revisions = result.listed && client.offersRevisions();

    QList<DownloadStep> steps;
    SyncRecord record(client.baseAddress());
    bool recordChanged = false;
    if (result.revisions) {
        // The folder is read while the server makes its listing.
        auto local = readFolderMeanwhile(adventureName, adventureFolder);
        const RevisionListing listing = listRevisions(client, adventureName);
        if (!listing.ok) {
            result.listed = false;
            result.refusal = listing.refusal;
        } else {
            record = SyncRecord::load(adventureFolder, client.baseAddress());
            result.plan = SyncPlan::compareFolder(adventureName, local.get(), listing.files, record);
            for (const RevisionLine& line : listing.lines) {
                if (!line.usable) {
                    steps.append({line.name, DownloadStep::Refuse});
                    continue;
                }
                const FileSync& file = *SyncPlan::find(result.plan, line.name);
                switch (file.state) {
                case SyncState::Server:
                case SyncState::NewServer:
                    steps.append({file.name, DownloadStep::Fetch});
                    break;
                case SyncState::Same:
                    result.unchanged.append(file.name);
                    recordChanged |= noteExchange(record, file.name, file.serverSha, file.localSha);
                    steps.append({file.name, DownloadStep::Keep});
                    break;
                case SyncState::Local:
                case SyncState::Conflict:
                    if (options.force) {
                        steps.append({file.name, DownloadStep::Fetch});
                        break;
                    }
                    if (file.state == SyncState::Local)
                        result.keptLocal.append(file.name);
                    else
                        result.conflicts.append(file);
                    steps.append({file.name, DownloadStep::Keep});
                    break;
                case SyncState::NewLocal:
                    break;  // not on the server's list
                }
            }
        }
    } else if (result.listed) {
        for (const QString& name : reply.mid(1))
            steps.append({name, ServerReply::isPlainFileName(name) ? DownloadStep::Fetch : DownloadStep::Refuse});
    }

    if (result.listed && !steps.isEmpty()) {
        const int total = int(steps.size());
        const int travelling =
            int(std::count_if(steps.begin(), steps.end(), [](const DownloadStep& s) { return s.kind != DownloadStep::Keep; }));
        int done = 0;
        progress.gauge(0, total);
        QHash<QString, QByteArray> fetchedSha;
        const auto notWritten = [&](const QString& name, const QString& why) {
            result.failed.append(name);
            result.notWritten.append({name, why});
        };
        // Every download goes to a temporary file first; once all are in,
        // they reach the disk together and take their places. A file is
        // written while the next one downloads, but its status and gauge
        // step are shown as soon as it has arrived, so that before each
        // request the window shows every file fetched so far. A write found
        // to have failed flashes "Falha download" when it is waited for,
        // before the next file's own status; the file is counted failed.
        DurableBatch batch;
        int stoppedAfter = 0;
        {
            BatchWriter writer(batch);
            QString writing;  // the name whose write runs, if any
            const auto finishWriting = [&] {
                if (writing.isNull())
                    return;
                QString why;
                const bool written = writer.wait(&why);
                if (written) {
                    result.written.append(writing);
                } else {
                    notWritten(writing, why);
                    progress.status(QStringLiteral("Falha download"));
                }
                writing = QString();
            };
            int number = 0;
            for (const DownloadStep& step : steps) {
                if (step.kind == DownloadStep::Keep) {
                    progress.gauge(++done, total);
                    continue;
                }
                if (progress.stop && progress.stop()) {
                    result.stopped = true;
                    stoppedAfter = number;
                    break;
                }
                if (progress.file)
                    progress.file(++number, travelling, step.name);
                if (step.kind == DownloadStep::Refuse) {
                    finishWriting();
                    notWritten(step.name, kRefusedName);
                    progress.status(QStringLiteral("Nome recusado: ") + step.name);
                    progress.gauge(++done, total);
                    continue;
                }
                QByteArray bytes;
                const QString status = client.fetchFile(adventureName, step.name, bytes);
                finishWriting();
                if (status == QLatin1String("Ok")) {
                    if (result.revisions)
                        fetchedSha.insert(step.name, sha256Hex(bytes));
                    // Started before the repaints, so the disk is busy
                    // while the window is.
                    writer.start(adventureFolder + step.name, bytes);
                    writing = step.name;
                } else {
                    notWritten(step.name, kFetchFailed);
                }
                progress.status(status);
                progress.gauge(++done, total);
            }
            finishWriting();
        }
        // The record goes in the same batch, last: it reaches the disk with
        // the files, and it is renamed into place only when every file
        // before it was. Otherwise the old record stays, which at worst
        // finds the files fetched the same as the server's next time.
        const QString recordPath = adventureFolder + QLatin1String(SyncRecord::kFileName);
        bool recordStaged = false;
        if (result.revisions) {
            for (const QString& name : std::as_const(result.written))
                recordChanged |= noteExchange(record, name, fetchedSha.value(name), fetchedSha.value(name));
            if (recordChanged) {
                try {
                    batch.add(recordPath, record.serialize());
                    recordStaged = true;
                } catch (const OrvalisError& error) {
                    result.recordError = error.text();
                }
                recordChanged = false;
            }
        }
        try {
            batch.commit();
        } catch (const OrvalisError& error) {
            // The files not renamed into place failed after all: their old
            // copies stay, and they are named to be fetched again.
            progress.status(QStringLiteral("Falha download"));
            const WriteError* writeError = dynamic_cast<const WriteError*>(&error);
            const QString why = writeError ? writeReason(*writeError) : error.text();
            for (const QString& path : batch.paths().mid(qsizetype(batch.renamedCount()))) {
                if (recordStaged && path == recordPath) {
                    result.recordError = why;
                    continue;
                }
                const QString name = path.mid(adventureFolder.size());
                result.written.removeAll(name);
                notWritten(name, why);
            }
        }
        progress.status(result.stopped ? stoppedText(stoppedAfter, travelling)
                                       : QStringLiteral("Download completo"));
        progress.gauge(0, total);
    } else {
        progress.gauge(0, 0);
    }
    if (recordChanged)
        result.recordError = saveRecord(record, adventureFolder);
    return result;
}

UploadResult uploadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                       const QString& password, const Progress& progress, const Options& options) {
    UploadResult result;
    result.revisions = revisionsOffered(client, adventureName, adventureFolder, options.probe);
    SyncRecord record(client.baseAddress());
    bool recordChanged = false;
    if (result.revisions) {
        auto local = readFolderMeanwhile(adventureName, adventureFolder);
        const RevisionListing listing = listRevisions(client, adventureName);
        if (!listing.ok)
            throw OrvalisError(QStringLiteral("O servidor não listou as versões dos arquivos de \"%1\": %2")
                                   .arg(adventureName, listing.refusal));
        record = SyncRecord::load(adventureFolder, client.baseAddress());
        result.plan = SyncPlan::compareFolder(adventureName, local.get(), listing.files, record);
    }

    const QStringList files = folderListing(adventureFolder);
    // A local name the server could not take as a bare file name (a "\" or
    // ":" is legal here) is left out rather than ending the whole upload.
    // With revisions only what changed here travels, with the version it
    // replaces as its base.
    QHash<QString, QByteArray> bases;
    for (const QString& name : files) {
        if (name == QLatin1String(kPasswordFile) || !ServerReply::isPlainFileName(name))
            continue;
        if (!result.revisions) {
            bases.insert(name, QByteArray());
            continue;
        }
        const FileSync* file = SyncPlan::find(result.plan, name);
        if (!file)
            continue;  // the server's copy that "keep both" saved
        const QByteArray base = file->serverSha.isEmpty() ? QByteArray(ServerClient::kNewFileBase) : file->serverSha;
        switch (file->state) {
        case SyncState::Local:
        case SyncState::NewLocal:
            bases.insert(name, base);
            break;
        case SyncState::Same:
            result.unchanged.append(name);
            recordChanged |= noteExchange(record, name, file->serverSha, file->localSha);
            break;
        case SyncState::Server:
        case SyncState::Conflict:
            if (options.force)
                bases.insert(name, base);
            else if (file->state == SyncState::Server)
                result.leftOnServer.append(name);
            else
                result.conflicts.append(*file);
            break;
        case SyncState::NewServer:
            break;
        }
    }

    const int sending = int(bases.size());
    const int total = int(files.size());
    int done = 0;
    int sent = 0;
    progress.gauge(0, total);
    for (const QString& name : files) {
        const auto base = bases.constFind(name);
        if (base != bases.constEnd()) {
            if (progress.stop && progress.stop()) {
                result.stopped = true;
                break;
            }
            if (progress.file)
                progress.file(++sent, sending, name);
            QByteArray sentSha;
            const QString reply = client.putFile(adventureName, adventureFolder, name, password, base.value(),
                                                 result.revisions ? &sentSha : nullptr);
            if (isAcceptance(reply)) {
                result.sent.append(name);
                if (result.revisions)
                    recordChanged |= noteExchange(record, name, sentSha, sentSha);
            } else if (result.revisions && isConflict(reply)) {
                FileSync file = *SyncPlan::find(result.plan, name);
                file.state = SyncState::Conflict;
                result.conflicts.append(file);
            } else {
                result.refused.append({name, reply});
                if (isPasswordRefusal(reply)) {
                    result.wrongPassword = true;
                    progress.gauge(++done, total);
                    break;
                }
            }
        }
        progress.gauge(++done, total);
    }
    progress.gauge(0, total);
    // Stopped by the password, the upload is not complete: the server's
    // words say why.
    progress.status(result.wrongPassword ? firstLine(result.refused.last().second)
                    : result.stopped     ? stoppedText(sent, sending)
                                         : QStringLiteral("Upload completo!"));
    if (recordChanged)
        result.recordError = saveRecord(record, adventureFolder);
    return result;
}

Status compareWithServer(ServerClient& client, const QString& adventureName, const QString& adventureFolder) {
    Status status;
    const QStringList reply = client.listFiles(adventureName);
    status.listed = ServerReply::isOk(reply);
    if (!status.listed) {
        status.refusal = reply.value(0);
        return status;
    }
    status.revisions = client.offersRevisions();
    if (!status.revisions)
        return status;
    auto local = readFolderMeanwhile(adventureName, adventureFolder);
    const RevisionListing listing = listRevisions(client, adventureName);
    if (!listing.ok) {
        status.listed = false;
        status.refusal = listing.refusal;
        return status;
    }
    status.plan = SyncPlan::compareFolder(adventureName, local.get(), listing.files,
                                          SyncRecord::load(adventureFolder, client.baseAddress()));
    return status;
}

QString besideName(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= 0)
        return fileName + QStringLiteral(" (servidor)");
    return fileName.left(dot) + QStringLiteral(" (servidor)") + fileName.mid(dot);
}

QString resolveConflict(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                        const QString& password, const FileSync& file, ConflictChoice choice) {
    if (!ServerReply::isPlainFileName(file.name))
        throw OrvalisError(QStringLiteral("Nome de arquivo inválido: \"%1\".").arg(file.name));
    SyncRecord record = SyncRecord::load(adventureFolder, client.baseAddress());
    if (choice == ConflictChoice::Mine) {
        // Over the version compared with: if the server changed again since,
        // it says "Conflito!" and nothing is lost.
        const QByteArray base = file.serverSha.isEmpty() ? QByteArray(ServerClient::kNewFileBase) : file.serverSha;
        QByteArray sentSha;
        const QString reply = client.putFile(adventureName, adventureFolder, file.name, password, base, &sentSha);
        if (isAcceptance(reply)) {
            record.set(file.name, sentSha);
            record.save(adventureFolder);
        }
        return reply;
    }
    QByteArray bytes;
    const QString status = client.fetchFile(adventureName, file.name, bytes);
    if (status != QLatin1String("Ok"))
        return status;
    const QByteArray serverSha = sha256Hex(bytes);
    if (choice == ConflictChoice::Theirs) {
        writeFileSafely(adventureFolder + file.name, bytes);
        record.set(file.name, serverSha);
    } else {
        // Theirs beside mine; recorded as exchanged, so that mine, which
        // differs from it, is "changed here" from now on and the next upload
        // sends it over the version the author has seen.
        writeFileSafely(adventureFolder + besideName(file.name), bytes);
        record.set(file.name, serverSha);
    }
    record.save(adventureFolder);
    return status;
}

}  // namespace orv::AdventureTransfer
