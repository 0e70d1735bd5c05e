// The cost of the durable write for small files: 200 files of 4 KiB each,
// written with plain POSIX writes (open, write, close: no sync, no rename),
// with Qt's save-file class (temporary file and rename, no check of the disk
// after the buffered write), with the durable write (every write checked,
// fsync, close checked, rename, folder fsync), and as one durable batch (one
// sync of the file system for the lot). Medians of alternating rounds.
//
// Two ways of making a batch durable are held side by side with plain system
// calls (temporary files written and closed, synced, renamed, folder synced):
// one syncfs of the whole file system, which the batch uses (it also writes
// out whatever other programs have waiting for the disk), and fdatasync of
// each temporary file from 8 threads at once, which the batch falls back to
// when the sync of the file system fails.
#include "core/DurableWrite.h"

#include <QElapsedTimer>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
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

// The temporary files written, synced one of the two ways, renamed, the
// folder synced; milliseconds per file.
double rawBatch(const QString& folder, const QByteArray& bytes, bool wholeFileSystem) {
    const std::string dir = QFile::encodeName(folder).toStdString();
    const auto temporary = [&](int i) { return dir + "/.g" + std::to_string(i) + ".orvtmp"; };
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kFiles; ++i) {
        const int fd = ::open(temporary(i).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size() || ::close(fd) != 0)
            std::abort();
    }
    if (wholeFileSystem) {
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (::syncfs(fd) != 0)
            std::abort();
        ::close(fd);
    } else {
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
    }
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

    const auto plain = [](const QString& path, const QByteArray& b) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, b.constData(), size_t(b.size())) != b.size())
            std::abort();
        ::close(fd);
    };
    const auto saveFile = [](const QString& path, const QByteArray& b) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(b) != b.size() || !file.commit())
            std::abort();
    };
    const auto durable = [](const QString& path, const QByteArray& b) { orv::writeFileSafely(path, b); };

    std::vector<double> tPlain, tSave, tDurable, tBatch, tSyncfs, tEach;
    for (int round = 0; round < 5; ++round) {
        tPlain.push_back(timeRound(plain, folder, bytes));
        tSave.push_back(timeRound(saveFile, folder, bytes));
        tDurable.push_back(timeRound(durable, folder, bytes));
        QElapsedTimer timer;
        timer.start();
        orv::DurableBatch batch;
        for (int i = 0; i < kFiles; ++i)
            batch.add(folder + QStringLiteral("/f%1.scp").arg(i), bytes);
        batch.commit();
        tBatch.push_back(double(timer.nsecsElapsed()) / 1e6 / kFiles);
        tSyncfs.push_back(rawBatch(folder, bytes, true));
        tEach.push_back(rawBatch(folder, bytes, false));
    }
    const double p = median(tPlain), s = median(tSave), d = median(tDurable), b = median(tBatch);
    std::printf("4 KiB file, per file (median of 5 rounds of %d files)\n", kFiles);
    std::printf("  plain write (open, write, close)      %8.3f ms\n", p);
    std::printf("  Qt save file (temporary, rename)      %8.3f ms\n", s);
    std::printf("  durable write (checked, fsync, rename) %7.3f ms\n", d);
    std::printf("  durable batch (one sync for all)      %8.3f ms\n", b);
    std::printf("  batch by hand, one syncfs             %8.3f ms\n", median(tSyncfs));
    std::printf("  batch by hand, fdatasync on 8 threads %8.3f ms\n", median(tEach));
    std::printf("ratio durable / plain: %.2f\n", d / p);
    std::printf("ratio durable / Qt save file: %.2f\n", d / s);
    std::printf("ratio batch / plain: %.2f\n", b / p);
    std::printf("ratio syncfs batch / fdatasync batch: %.2f\n", median(tSyncfs) / median(tEach));
    return 0;
}
