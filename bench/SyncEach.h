#pragma once
// The floor of a durable write: each file synced on its own, 8 at a time (one
// at a time would make the floor needlessly slow).
#include <QFile>
#include <QStringList>

#include <atomic>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

// False when one of the files could not be synced.
inline bool syncEach(const QStringList& paths) {
    std::atomic<qsizetype> next{0};
    std::atomic<bool> failed{false};
    std::vector<std::thread> pool;
    for (int t = 0; t < 8; ++t)
        pool.emplace_back([&] {
            for (qsizetype i; (i = next++) < paths.size();) {
                const int fd = ::open(QFile::encodeName(paths[i]).constData(), O_RDONLY | O_CLOEXEC);
                if (fd < 0 || ::fdatasync(fd) != 0)
                    failed = true;
                if (fd >= 0)
                    ::close(fd);
            }
        });
    for (std::thread& t : pool)
        t.join();
    return !failed;
}

}  // namespace bench
