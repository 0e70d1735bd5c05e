#pragma once
// The durable write on Linux: files made without a name (a batch names them
// once it is on the disk), and one sync per file system for a whole batch.
// Included by DurableWritePlatform.h only.
#include <cerrno>
#include <fcntl.h>
#include <sys/statfs.h>
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

// A file system in user space may take a sync of the whole file system
// without passing it on to the program behind it.
bool syncsOnlyFileByFile(const QByteArray& folder) {
    constexpr long kUserSpaceFileSystem = 0x65735546;
    struct statfs info {};
    return ::statfs(folder.constData(), &info) == 0 && long(info.f_type) == kUserSpaceFileSystem;
}

int syncFileSystem(int fd) {
    return writeSystemCalls().syncfs(fd);
}

int systemSyncFileSystem(int fd) {
    return ::syncfs(fd);
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
