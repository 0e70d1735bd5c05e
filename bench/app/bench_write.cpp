// The cost of the durable write for small files: 200 files of 4 KiB each,
// written with plain POSIX writes (a new file: open, write, close; no sync,
// no rename),
// with Qt's save-file class (temporary file and rename, no check of the disk
// after the buffered write), with the durable write (every write checked,
// fsync, close checked, rename, folder fsync), and as one durable batch.
// Medians of alternating rounds.
//
// The durable figures are held against durable floors measured in the same
// run: plain writes each followed by fdatasync (for the durable write), and
// plain writes then fdatasync of each file from 8 threads (for the batch).
// Beside them, a batch by hand with plain system calls (temporary files
// written and closed, each one's write-out started as it is written,
// fdatasync of each from 8 threads, renamed, folder synced): what the batch
// does, without its checks. The plain writes and Qt's save file are not
// durable; their ratios say so.
//
// The batch figures are taken twice: on a quiet disk, and right after
// another process left 1 GB of unwritten data on the same file system,
// which a batch that syncs only its own files should not notice.
#include "core/DurableWrite.h"
#include "../DirtyDisk.h"

#include <QElapsedTimer>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <atomic>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFiles = 200;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeRound(const std::function<void(const QString&, const QByteArray&)>& write, const QString& folder,
                 const QByteArray& bytes) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kFiles; ++i)
        write(folder + QStringLiteral("/f%1.scp").arg(i), bytes);
    return double(timer.nsecsElapsed()) / 1e6 / kFiles;
}

// The plain writes of every file (each replaced by a new one), then
// fdatasync of each from 8 threads; milliseconds per file.
double durablePlain(const QString& folder, const QByteArray& bytes) {
    const std::string dir = QFile::encodeName(folder).toStdString();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kFiles; ++i) {
        const std::string path = dir + "/p" + std::to_string(i) + ".scp";
        ::unlink(path.c_str());
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size() || ::close(fd) != 0)
            std::abort();
    }
    std::atomic<int> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < 8; ++t)
        pool.emplace_back([&] {
            for (int i; (i = next++) < kFiles;) {
                const int fd = ::open((dir + "/p" + std::to_string(i) + ".scp").c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0 || ::fdatasync(fd) != 0)
                    std::abort();
                ::close(fd);
            }
        });
    for (std::thread& t : pool)
        t.join();
    return double(timer.nsecsElapsed()) / 1e6 / kFiles;
}

// The batch by hand: temporary files written, each one's write-out started,
// closed; fdatasync of each from 8 threads; renamed; the folder synced;
// milliseconds per file.
double rawBatch(const QString& folder, const QByteArray& bytes) {
    const std::string dir = QFile::encodeName(folder).toStdString();
    const auto temporary = [&](int i) { return dir + "/.g" + std::to_string(i) + ".orvtmp"; };
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kFiles; ++i) {
        const int fd = ::open(temporary(i).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            std::abort();
        ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        if (::close(fd) != 0)
            std::abort();
    }
    std::atomic<int> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < 8; ++t)
        pool.emplace_back([&] {
            for (int i; (i = next++) < kFiles;) {
                const int fd = ::open(temporary(i).c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0 || ::fdatasync(fd) != 0)
                    std::abort();
                ::close(fd);
            }
        });
    for (std::thread& t : pool)
        t.join();
    for (int i = 0; i < kFiles; ++i)
        if (::rename(temporary(i).c_str(), (dir + "/g" + std::to_string(i) + ".scp").c_str()) != 0)
            std::abort();
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ::fsync(fd);
    ::close(fd);
    return double(timer.nsecsElapsed()) / 1e6 / kFiles;
}

}  // namespace

int main() {
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QByteArray bytes(4096, 'x');

    // The plain writes replace each file by a new one, as the durable write
    // does: rewriting a file cut to nothing makes the file system write it
    // out at once on its close, which would slow the floor.
    const auto plain = [](const QString& path, const QByteArray& b) {
        ::unlink(QFile::encodeName(path).constData());
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 || ::write(fd, b.constData(), size_t(b.size())) != b.size())
            std::abort();
        ::close(fd);
    };
    const auto plainSynced = [](const QString& path, const QByteArray& b) {
        ::unlink(QFile::encodeName(path).constData());
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 || ::write(fd, b.constData(), size_t(b.size())) != b.size() || ::fdatasync(fd) != 0)
            std::abort();
        ::close(fd);
    };
    const auto saveFile = [](const QString& path, const QByteArray& b) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(b) != b.size() || !file.commit())
            std::abort();
    };
    const auto durable = [](const QString& path, const QByteArray& b) { orv::writeFileSafely(path, b); };

    struct BatchFigures {
        std::vector<double> batch, raw, floor;
    } quiet, dirty;
    std::vector<double> tPlain, tPlainSynced, tSave, tDurable;
    for (int round = 0; round < 5; ++round) {
        tPlain.push_back(timeRound(plain, folder, bytes));
        tPlainSynced.push_back(timeRound(plainSynced, folder, bytes));
        tSave.push_back(timeRound(saveFile, folder, bytes));
        tDurable.push_back(timeRound(durable, folder, bytes));
        // Each round takes the two in turn, so neither always follows the other.
        BatchFigures* const order[2][2] = {{&quiet, &dirty}, {&dirty, &quiet}};
        for (BatchFigures* figures : order[round % 2]) {
            std::unique_ptr<bench::DirtyDisk> other;
            if (figures == &dirty) {
                other = std::make_unique<bench::DirtyDisk>(folder, 1LL << 30);
                if (!other->ok())
                    return 1;
            }
            QElapsedTimer timer;
            timer.start();
            orv::DurableBatch batch;
            for (int i = 0; i < kFiles; ++i)
                batch.add(folder + QStringLiteral("/f%1.scp").arg(i), bytes);
            batch.commit();
            figures->batch.push_back(double(timer.nsecsElapsed()) / 1e6 / kFiles);
            figures->raw.push_back(rawBatch(folder, bytes));
            figures->floor.push_back(durablePlain(folder, bytes));
        }
    }
    const double p = median(tPlain), ps = median(tPlainSynced), s = median(tSave), d = median(tDurable);
    const double bq = median(quiet.batch), bd = median(dirty.batch);
    const double rq = median(quiet.raw), rd = median(dirty.raw);
    const double fq = median(quiet.floor), fd = median(dirty.floor);
    std::printf("4 KiB file, per file (median of 5 rounds of %d files)\n", kFiles);
    std::printf("  plain write (open, write, close)           %8.3f ms   not durable\n", p);
    std::printf("  plain write + fdatasync                    %8.3f ms\n", ps);
    std::printf("  Qt save file (temporary, rename)           %8.3f ms   not durable\n", s);
    std::printf("  durable write (checked, fsync, rename)     %8.3f ms\n", d);
    std::printf("  %-42s %8s %8s   (dirty: 1 GB of another process's unwritten data)\n", "", "quiet", "dirty");
    std::printf("  %-42s %8.3f %8.3f ms\n", "durable batch", bq, bd);
    std::printf("  %-42s %8.3f %8.3f ms\n", "batch by hand, same calls, no checks", rq, rd);
    std::printf("  %-42s %8.3f %8.3f ms\n", "plain writes, then fdatasync on 8 threads", fq, fd);
    std::printf("ratio durable / plain write + fdatasync: %.2f\n", d / ps);
    std::printf("ratio durable / plain (not durable): %.2f\n", d / p);
    std::printf("ratio durable / Qt save file (not durable): %.2f\n", d / s);
    std::printf("ratio batch / plain writes + fdatasync on 8 threads: quiet %.2f, dirty %.2f\n", bq / fq, bd / fd);
    std::printf("ratio batch / batch by hand: quiet %.2f, dirty %.2f\n", bq / rq, bd / rd);
    std::printf("ratio batch dirty / quiet: %.2f\n", bd / bq);
    return 0;
}
