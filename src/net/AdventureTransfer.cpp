#include "AdventureTransfer.h"

#include "ServerClient.h"
#include "ServerReply.h"
#include "core/DurableWrite.h"
#include "core/OrvalisError.h"

#include <QDir>

#include <algorithm>
#include <condition_variable>
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

    // Whether the file last started was written.
    bool wait() {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [this] { return !busy_; });
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
            try {
                batch_.add(path, bytes);
            } catch (...) {
                written = false;
            }
            guard.lock();
            written_ = written;
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
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace

DownloadResult downloadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                           const Progress& progress) {
    const QStringList reply = client.listFiles(adventureName);
    progress.status(QStringLiteral("Pasta vazia"));
    DownloadResult result;
    result.listed = ServerReply::isOk(reply);
    if (!result.listed)
        result.refusal = reply.value(0);
    if (result.listed && reply.size() > 1) {
        const QStringList names = reply.mid(1);
        const int total = int(names.size());
        int done = 0;
        progress.gauge(0, total);
        // Every download goes to a temporary file first; once all are in,
        // they reach the disk together and take their places. A file is
        // written while the next one downloads, but its status and gauge
        // step are shown as soon as it has arrived, so that before each
        // request the window shows every file fetched so far. A write found
        // to have failed flashes "Falha download" when it is waited for,
        // before the next file's own status; the file is counted failed.
        DurableBatch batch;
        {
            BatchWriter writer(batch);
            QString writing;  // the name whose write runs, if any
            const auto finishWriting = [&] {
                if (writing.isNull())
                    return;
                const bool written = writer.wait();
                (written ? result.written : result.failed).append(writing);
                if (!written)
                    progress.status(QStringLiteral("Falha download"));
                writing = QString();
            };
            int number = 0;
            for (const QString& name : names) {
                if (progress.file)
                    progress.file(++number, total, name);
                if (!ServerReply::isPlainFileName(name)) {
                    finishWriting();
                    result.failed.append(name);
                    progress.status(QStringLiteral("Nome recusado: ") + name);
                    progress.gauge(++done, total);
                    continue;
                }
                QByteArray bytes;
                const QString status = client.fetchFile(adventureName, name, bytes);
                finishWriting();
                if (status == QLatin1String("Ok")) {
                    // Started before the repaints, so the disk is busy
                    // while the window is.
                    writer.start(adventureFolder + name, bytes);
                    writing = name;
                } else {
                    result.failed.append(name);
                }
                progress.status(status);
                progress.gauge(++done, total);
            }
            finishWriting();
        }
        try {
            batch.commit();
        } catch (const OrvalisError&) {
            // The files not renamed into place failed after all: their old
            // copies stay, and they are named to be fetched again.
            progress.status(QStringLiteral("Falha download"));
            for (const QString& path : batch.paths().mid(qsizetype(batch.renamedCount()))) {
                const QString name = path.mid(adventureFolder.size());
                result.written.removeAll(name);
                result.failed.append(name);
            }
        }
        progress.status(QStringLiteral("Download completo"));
        progress.gauge(0, total);
    } else {
        progress.gauge(0, 0);
    }
    return result;
}

namespace {
// The server takes a file with the reply "Ok", as a line of its own; anything
// else is its refusal, in its own words.
bool isAcceptance(const QString& reply) {
    return reply == QLatin1String("Ok") || reply.startsWith(QLatin1String("Ok\r")) ||
           reply.startsWith(QLatin1String("Ok\n"));
}
}  // namespace

UploadResult uploadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                       const QString& password, const Progress& progress) {
    const QStringList files = folderListing(adventureFolder);
    // A local name the server could not take as a bare file name (a "\" or
    // ":" is legal here) is left out rather than ending the whole upload.
    auto travels = [](const QString& name) {
        return name != QLatin1String(kPasswordFile) && ServerReply::isPlainFileName(name);
    };
    const int sending = int(std::count_if(files.begin(), files.end(), travels));
    const int total = int(files.size());
    int done = 0;
    int sent = 0;
    UploadResult result;
    progress.gauge(0, total);
    for (const QString& name : files) {
        if (travels(name)) {
            if (progress.file)
                progress.file(++sent, sending, name);
            const QString reply = client.putFile(adventureName, adventureFolder, name, password);
            if (isAcceptance(reply))
                result.sent.append(name);
            else
                result.refused.append({name, reply});
        }
        progress.gauge(++done, total);
    }
    progress.gauge(0, total);
    progress.status(QStringLiteral("Upload completo!"));
    return result;
}

}  // namespace orv::AdventureTransfer
