#include "core/DurableWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace orv {

namespace {

const QLatin1String kTemporarySuffix(".orvtmp");

QString describe(const QString& path, const QString& reason) {
    return QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
        .arg(QFileInfo(path).absoluteFilePath(), reason);
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// Syncs a folder so that a rename in it survives a crash. File systems that
// cannot sync a folder say EINVAL; there is nothing more to do on those.
int syncFolder(const QString& folder) {
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int result = writeSystemCalls().fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result == EINVAL ? 0 : result;
}

bool fileSystemIsReadOnly(const QString& folder) {
    struct statvfs info {};
    return ::statvfs(native(folder).constData(), &info) == 0 && (info.f_flag & ST_RDONLY);
}

// The refusals that need no temporary file: a folder in the way, a read-only
// file system, a file the author marked read-only.
void checkTarget(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        throw WriteError(path, WriteError::Step::Check, QStringLiteral("é uma pasta"));
    if (fileSystemIsReadOnly(info.absolutePath()))
        throw WriteError(path, WriteError::Step::Check, EROFS);
    // A file without its owner's write permission is read-only for everyone,
    // the administrator included: the author marked it so on purpose.
    if (info.exists() && (!info.isWritable() || !(info.permissions() & QFile::WriteOwner)))
        throw WriteError(path, WriteError::Step::Check, QStringLiteral("o arquivo é somente leitura"));
}

// Writes `bytes` to a new temporary file beside `path` and closes it; with
// `sync` it is synced first. Returns the temporary file's name. On failure
// the temporary file is gone and WriteError names `path`.
QString writeTemporary(const QString& path, const QByteArray& bytes, bool sync) {
    checkTarget(path);
    const QString temporary = temporaryPathFor(path);
    const QByteArray nativeTemporary = native(temporary);
    ::unlink(nativeTemporary.constData());  // a leftover of a killed run

    mode_t mode = 0666;
    struct stat old {};
    const bool replacing = ::stat(native(path).constData(), &old) == 0;
    if (replacing)
        mode = old.st_mode & 07777;
    const int fd = ::open(nativeTemporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0)
        throw WriteError(path, WriteError::Step::Open, errno);
    if (replacing)
        ::fchmod(fd, mode);  // keep the old file's permissions, whatever the mask

    auto fail = [&](WriteError::Step step, int error, bool open) {
        if (open)
            ::close(fd);
        ::unlink(nativeTemporary.constData());
        throw WriteError(path, step, error);
    };
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const long written = writeSystemCalls().write(fd, data, (unsigned long)left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            fail(WriteError::Step::Write, errno, true);
        if (written == 0)  // no progress and no reason: the disk took nothing
            fail(WriteError::Step::Write, ENOSPC, true);
        data += written;
        left -= written;
    }
    if (sync && writeSystemCalls().fsync(fd) != 0)
        fail(WriteError::Step::Sync, errno, true);
    if (writeSystemCalls().close(fd) != 0)
        fail(WriteError::Step::Close, errno, false);
    return temporary;
}

void renameOver(const QString& temporary, const QString& path) {
    if (writeSystemCalls().rename(native(temporary).constData(), native(path).constData()) != 0) {
        const int error = errno;
        ::unlink(native(temporary).constData());
        throw WriteError(path, WriteError::Step::Rename, error);
    }
}

}  // namespace

WriteError::WriteError(const QString& path, Step step, int errorNumber)
    : OrvalisError(describe(path, systemReason(errorNumber))), path_(path), step_(step), errno_(errorNumber) {}

WriteError::WriteError(const QString& path, Step step, const QString& reason)
    : OrvalisError(describe(path, reason)), path_(path), step_(step) {}

QString systemReason(int errorNumber) {
    switch (errorNumber) {
    case ENOSPC: return QStringLiteral("disco cheio");
    case EDQUOT: return QStringLiteral("cota de disco esgotada");
    case EROFS: return QStringLiteral("o sistema de arquivos é somente leitura");
    case EACCES:
    case EPERM: return QStringLiteral("permissão negada");
    case ENOENT: return QStringLiteral("a pasta não existe");
    case ENOTDIR: return QStringLiteral("uma parte do caminho não é uma pasta");
    case EISDIR: return QStringLiteral("é uma pasta");
    case ENAMETOOLONG: return QStringLiteral("nome longo demais");
    case EIO: return QStringLiteral("erro de entrada e saída no disco");
    case EMFILE:
    case ENFILE: return QStringLiteral("arquivos abertos demais");
    case EFBIG: return QStringLiteral("arquivo grande demais");
    case EEXIST: return QStringLiteral("o arquivo temporário já existe");
    case ELOOP: return QStringLiteral("o arquivo temporário é um link");
    default:
        return QStringLiteral("erro do sistema %1 (%2)").arg(errorNumber).arg(QString::fromLocal8Bit(std::strerror(errorNumber)));
    }
}

QString temporaryPathFor(const QString& path) {
    const QFileInfo info(path);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + kTemporarySuffix;
}

bool isTemporaryName(const QString& fileName) {
    return fileName.size() > 1 + kTemporarySuffix.size() && fileName.startsWith(QLatin1Char('.')) &&
           fileName.endsWith(kTemporarySuffix);
}

void writeFileSafely(const QString& path, const QByteArray& bytes) {
    const QString temporary = writeTemporary(path, bytes, true);
    renameOver(temporary, path);
    if (const int error = syncFolder(QFileInfo(path).absolutePath()))
        throw WriteError(path, WriteError::Step::Sync, error);
}

DurableBatch::~DurableBatch() {
    if (!committed_)
        for (const Staged& s : staged_)
            ::unlink(native(s.temporary).constData());
}

void DurableBatch::add(const QString& path, const QByteArray& bytes) {
    staged_.push_back({path, writeTemporary(path, bytes, false)});
}

void DurableBatch::commit() {
    // One sync per file system holding the temporary files, instead of one
    // per file; a writeback error of any of them shows here.
    std::set<dev_t> synced;
    std::set<QString> folders;
    for (const Staged& s : staged_) {
        const QString folder = QFileInfo(s.path).absolutePath();
        folders.insert(folder);
        struct stat info {};
        if (::stat(native(s.temporary).constData(), &info) != 0)
            throw WriteError(s.path, WriteError::Step::Sync, errno);
        if (!synced.insert(info.st_dev).second)
            continue;
        const int fd = ::open(native(s.temporary).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw WriteError(s.path, WriteError::Step::Sync, errno);
        const int result = writeSystemCalls().syncfs(fd);
        const int error = errno;
        ::close(fd);
        if (result != 0)
            throw WriteError(s.path, WriteError::Step::Sync, error);
    }
    committed_ = true;
    for (size_t i = 0; i < staged_.size(); ++i) {
        try {
            renameOver(staged_[i].temporary, staged_[i].path);
        } catch (...) {
            for (size_t j = i + 1; j < staged_.size(); ++j)
                ::unlink(native(staged_[j].temporary).constData());
            throw;
        }
    }
    for (const QString& folder : folders)
        if (const int error = syncFolder(folder))
            throw WriteError(folder, WriteError::Step::Sync, error);
}

int removeStaleTemporaries(const QString& folder) {
    int removed = 0;
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        if (isTemporaryName(name) && QFile::remove(dir.filePath(name)))
            ++removed;
    return removed;
}

namespace {
WriteSystemCalls defaultCalls() {
    return {[](int fd, const char* data, unsigned long size) -> long { return ::write(fd, data, size); },
            [](int fd) { return ::fsync(fd); },
            [](int fd) { return ::close(fd); },
            [](const char* from, const char* to) { return ::rename(from, to); },
            [](int fd) { return ::syncfs(fd); }};
}
}  // namespace

WriteSystemCalls& writeSystemCalls() {
    static WriteSystemCalls calls = defaultCalls();
    return calls;
}

void resetWriteSystemCalls() {
    writeSystemCalls() = defaultCalls();
}

}  // namespace orv
