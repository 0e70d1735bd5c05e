#pragma once
// Another program's unwritten data on the disk a benchmark writes to: a
// child process writes a large file into the benchmark's own temporary
// folder (the same file system) without syncing it, and ends; the data then
// waits in memory for the system to write it out. A write that syncs only
// its own files should not notice; one that syncs the whole file system
// waits for all of it. Removing the file drops what is still unwritten.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

class DirtyDisk {
public:
    DirtyDisk(const QString& folder, long long bytes)
        : path_(QFile::encodeName(folder + QStringLiteral("/outro-programa.bin"))) {
        ::unlink(path_.constData());
        const pid_t child = ::fork();
        if (child == 0) {
            // Only calls that are safe in the child of a program with threads.
            static char chunk[1 << 20];
            std::memset(chunk, 0x5a, sizeof chunk);
            const int fd = ::open(path_.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0)
                ::_exit(1);
            for (long long left = bytes; left > 0;) {
                const ssize_t n = ::write(fd, chunk, size_t(left < (long long)sizeof chunk ? left : sizeof chunk));
                if (n <= 0)
                    ::_exit(1);
                left -= n;
            }
            ::_exit(::close(fd) == 0 ? 0 : 1);
        }
        int status = 0;
        ok_ = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!ok_)
            std::fprintf(stderr, "could not write the other program's data to %s\n", path_.constData());
    }
    ~DirtyDisk() { ::unlink(path_.constData()); }
    DirtyDisk(const DirtyDisk&) = delete;
    DirtyDisk& operator=(const DirtyDisk&) = delete;

    bool ok() const { return ok_; }

    // The data of the whole machine waiting to be written out, in MB.
    static double waitingMegabytes() {
        QFile info(QStringLiteral("/proc/meminfo"));
        if (!info.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("Dirty:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        return -1;
    }

private:
    QByteArray path_;
    bool ok_ = false;
};

}  // namespace bench
