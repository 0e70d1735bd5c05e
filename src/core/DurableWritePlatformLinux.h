#pragma once
// The durable write on Linux: files made without a name (a batch names them
// once it is on the disk), and the write-out of each file of a batch started
// as soon as it is written, before the batch syncs them all.
// Included by DurableWritePlatform.h only.
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orv::DurableWritePlatform {
namespace {

const char* name() {
    return "linux";
}

// Naming a file made without a name goes through the process's own table of
// open files.
bool canNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// Open for reading as well: a batch syncs the file through this descriptor,
// which then serves as one opened by the name for reading would.
int openUnnamedTemporary(const QByteArray& folder, mode_t mode) {
    if (!canNameUnnamedFiles())
        return -1;
    return ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
}

bool nameUnnamed(int fd, const QByteArray& path) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    ::unlink(path.constData());
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0;
}

int startWriteOut(int fd) {
    return writeSystemCalls().writeOut(fd);
}

// The whole file, from its start to its end; queues the writes without
// waiting for them. A file system that cannot says so (EINVAL, ESPIPE), and
// the sync then does it all.
int systemStartWriteOut(int fd) {
    return ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

int systemSyncData(int fd) {
    return ::fdatasync(fd);
}

// A handle that opens nothing: it needs no permission to read the file and
// reads nothing from the disk.
int holdFile(const QByteArray& path) {
    return ::open(path.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace
}  // namespace orv::DurableWritePlatform
