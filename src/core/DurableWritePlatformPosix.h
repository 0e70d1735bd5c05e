#pragma once
// The durable write with POSIX calls only: every temporary file is made
// under its name (exclusively, never through a link), each file is synced on
// its own, then renamed. Included by DurableWritePlatform.h only.
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orv::DurableWritePlatform {
namespace {

const char* name() {
    return "posix";
}

int openUnnamedTemporary(const QByteArray&, mode_t) {
    return -1;
}

bool nameUnnamed(int, const QByteArray&) {
    errno = ENOSYS;
    return false;
}

int startWriteOut(int) {
    errno = ENOSYS;
    return -1;
}

int systemStartWriteOut(int) {
    errno = ENOSYS;
    return -1;
}

// Syncing only the data is optional in POSIX; a full sync does at least as
// much.
int systemSyncData(int fd) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
    return ::fdatasync(fd);
#else
    return ::fsync(fd);
#endif
}

// Opened for reading and never read; a file without permission to read it
// is simply not held.
int holdFile(const QByteArray& path) {
    return ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace
}  // namespace orv::DurableWritePlatform
