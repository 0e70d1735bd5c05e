#include "core/DurableWrite.h"
#include "core/WriteObserver.h"
#include "core/DurableWritePlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace orv {

namespace {

const QLatin1String kTemporarySuffix(".orvtmp");
// How many threads a batch keeps waiting on the disk at the same time.
constexpr size_t kBatchThreads = 8;
// The most files without a name that the batches of this process keep open
// at once, whatever the limit of open files allows.
constexpr long kMostUnnamedHeld = 4096;

// The temporary files this process has made (or is about to make) and not
// yet renamed or removed. A sweep of stale temporaries leaves them alone: they
// belong to a write still in progress, on this thread or another.
class OwnedTemporaries {
public:
    void own(const QString& temporary) {
        const QString key = QDir::cleanPath(temporary);
        const std::lock_guard<std::mutex> guard(lock_);
        ++count_[key];
    }
    void release(const QString& temporary) {
        const QString key = QDir::cleanPath(temporary);
        const std::lock_guard<std::mutex> guard(lock_);
        const auto it = count_.find(key);
        if (it != count_.end() && --*it == 0)
            count_.erase(it);
    }
    bool owns(const QString& temporary) {
        const QString key = QDir::cleanPath(temporary);
        const std::lock_guard<std::mutex> guard(lock_);
        return count_.contains(key);
    }

private:
    std::mutex lock_;
    QHash<QString, int> count_;
};

OwnedTemporaries& ownedTemporaries() {
    static OwnedTemporaries* owned = new OwnedTemporaries;  // outlives every thread that ends late
    return *owned;
}

// The soft limit of open files, or -1 when there is none.
long openFileLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    return limit.rlim_cur == RLIM_INFINITY ? -1 : long(limit.rlim_cur);
}

// A batch keeps each file without a name, as an open descriptor, until the
// batch is on the disk. Those descriptors take at most half the limit of open
// files, all batches together: the other half stays for the rest of the
// program and for the old files a batch holds while it renames. Past that, a
// file is named as soon as it is written.
std::atomic<long> unnamedHeld{0};

bool reserveUnnamed() {
    const long limit = openFileLimit();
    const long budget = limit < 0 ? kMostUnnamedHeld : std::min(limit / 2, kMostUnnamedHeld);
    long held = unnamedHeld.load();
    while (held < budget)
        if (unnamedHeld.compare_exchange_weak(held, held + 1))
            return true;
    return false;
}

void releaseUnnamed() {
    --unnamedHeld;
}

class PendingReleases {
public:
    void begin() {
        const std::lock_guard<std::mutex> guard(lock_);
        ++count_;
    }
    void end() {
        const std::lock_guard<std::mutex> guard(lock_);
        if (--count_ == 0)
            done_.notify_all();
    }
    // Returns whether there was anything to wait for.
    bool wait() {
        std::unique_lock<std::mutex> guard(lock_);
        const bool busy = count_ > 0;
        done_.wait(guard, [this] { return count_ == 0; });
        return busy;
    }

private:
    std::mutex lock_;
    std::condition_variable done_;
    int count_ = 0;
};

PendingReleases& pendingReleases() {
    static PendingReleases* releases = new PendingReleases;  // outlives every thread that ends late
    return *releases;
}

// A full disk may only be waiting for the files that batches replaced a
// moment ago to be freed: then the write is tried once more once they are.
template <typename Write>
auto withRoomFreed(const Write& write) -> decltype(write()) {
    try {
        return write();
    } catch (const WriteError& error) {
        if ((error.errorNumber() != ENOSPC && error.errorNumber() != EDQUOT) || !pendingReleases().wait())
            throw;
    }
    return write();
}

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

// What the checks learn about the target, reused for the temporary file.
struct Target {
    bool exists = false;
    mode_t mode = 0;
};

// The refusals that need no temporary file: a folder in the way, a read-only
// file system, a file the author marked read-only. `readOnlyFolder` answers
// for the target's folder (a batch asks once per folder).
Target checkTarget(const QString& path, const QByteArray& nativePath,
                   const std::function<bool(const QString&)>& readOnlyFolder) {
    Target target;
    struct stat info {};
    if (::stat(nativePath.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            throw WriteError(path, WriteError::Step::Check, QStringLiteral("é uma pasta"));
        target.exists = true;
        target.mode = info.st_mode & 07777;
    }
    if (readOnlyFolder(QFileInfo(path).absolutePath()))
        throw WriteError(path, WriteError::Step::Check, EROFS);
    // A file without its owner's write permission is read-only for everyone,
    // the administrator included: the author marked it so on purpose.
    if (target.exists && (!(target.mode & S_IWUSR) || ::access(nativePath.constData(), W_OK) != 0))
        throw WriteError(path, WriteError::Step::Check, QStringLiteral("o arquivo é somente leitura"));
    return target;
}

// A temporary file written: its name, and while it has none yet, the open
// file (one of the reserved descriptors; the caller closes it and gives the
// reservation back).
struct Written {
    QString temporary;
    int fd = -1;
};

// How a temporary file is made: under its name from the start; without a
// name and named once written; or without a name and kept so, open, until the
// caller names it (where the descriptors allow, else as `otherwise` says).
enum class Making { Named, NamedOnceWritten, KeptUnnamed };

// Writes `bytes` to a new temporary file beside `path`; with `sync` it is
// synced first, else (a batch's file, synced with the others later) its
// write-out is started without waiting. On failure the temporary file is
// gone and WriteError names `path`. A file kept without a name is returned
// open; any other is closed (checked).
Written writeTemporary(const QString& path, const QByteArray& bytes, bool sync, Making making, Making otherwise,
                       const std::function<bool(const QString&)>& readOnlyFolder) {
    const QByteArray nativePath = native(path);
    const Target target = checkTarget(path, nativePath, readOnlyFolder);
    const QString temporary = temporaryPathFor(path);
    const QByteArray nativeTemporary = native(temporary);

    const mode_t mode = target.exists ? target.mode : 0666;
    // Without a name, the file is made without taking the folder's lock, so
    // several threads of a batch make their files at the same time, and a
    // process killed before the file is named leaves nothing behind. Where
    // the system or the file system cannot, it is made under its name from
    // the start.
    bool kept = making == Making::KeptUnnamed && reserveUnnamed();
    if (making == Making::KeptUnnamed && !kept)
        making = otherwise;
    int fd = -1;
    if (making != Making::Named)
        fd = DurableWritePlatform::openUnnamedTemporary(native(QFileInfo(path).absolutePath()), mode);
    if (fd < 0 && kept) {
        releaseUnnamed();
        kept = false;
    }
    const bool named = fd < 0;
    if (named) {
        const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
        fd = ::open(nativeTemporary.constData(), flags, mode);
        if (fd < 0 && errno == EEXIST) {  // a leftover of a killed run
            ::unlink(nativeTemporary.constData());
            fd = ::open(nativeTemporary.constData(), flags, mode);
        }
    }
    if (fd < 0)
        throw WriteError(path, WriteError::Step::Open, errno);
    // Keep the old file's permissions, whatever the mask; the file is only
    // changed when the mask took something away.
    struct stat created {};
    if (target.exists && (::fstat(fd, &created) != 0 || (created.st_mode & 07777) != mode))
        ::fchmod(fd, mode);

    auto fail = [&](WriteError::Step step, int error, bool open) {
        if (open)
            ::close(fd);
        if (kept)
            releaseUnnamed();
        if (named)
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
    // The disk takes this file while the batch writes its next ones, and the
    // batch's syncs mostly wait for what is on its way by then. Only a head
    // start: a refusal here is the sync's to report.
    if (!sync)
        DurableWritePlatform::startWriteOut(fd);
    if (kept)
        return {temporary, fd};
    if (!named && !DurableWritePlatform::nameUnnamed(fd, nativeTemporary))
        fail(WriteError::Step::Open, errno, true);
    if (writeSystemCalls().close(fd) != 0) {
        const int error = errno;
        ::unlink(nativeTemporary.constData());
        throw WriteError(path, WriteError::Step::Close, error);
    }
    return {temporary, -1};
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
    struct Owning {
        QString temporary;
        ~Owning() { ownedTemporaries().release(temporary); }
    } owning{temporaryPathFor(path)};
    ownedTemporaries().own(owning.temporary);
    const QString temporary = withRoomFreed([&] {
        return writeTemporary(path, bytes, true, Making::Named, Making::Named, fileSystemIsReadOnly).temporary;
    });
    renameOver(temporary, path);
    notifyWritten(path);
    if (const int error = syncFolder(QFileInfo(path).absolutePath()))
        throw WriteError(path, WriteError::Step::Sync, error);
}

namespace {

// Runs work(0) ... work(count - 1) on a few threads at once. The work here
// waits on the disk, not on the processor: many requests in flight let the
// file system and the device serve them together.
void onSeveralThreads(size_t count, const std::function<void(size_t)>& work) {
    std::atomic<size_t> next{0};
    const auto run = [&] {
        for (size_t i; (i = next++) < count;)
            work(i);
    };
    const size_t threads = std::min(kBatchThreads, count);
    std::vector<std::thread> pool;
    pool.reserve(threads);
    try {
        for (size_t t = 1; t < threads; ++t)
            pool.emplace_back(run);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones there are do the work.
    }
    run();
    for (std::thread& t : pool)
        t.join();
}

}  // namespace

DurableBatch::~DurableBatch() {
    for (size_t i = renamed_; i < staged_.size(); ++i)
        discard(staged_[i]);
}

void DurableBatch::discard(Staged& staged) {
    if (staged.fd >= 0) {
        ::close(staged.fd);  // a file without a name goes with its descriptor
        staged.fd = -1;
        releaseUnnamed();
    } else {
        ::unlink(native(staged.temporary).constData());
    }
    ownedTemporaries().release(staged.temporary);
}

bool DurableBatch::prepareFolder(const QString& folder) {
    auto known = readOnlyFolders_.find(folder);
    if (known != readOnlyFolders_.end())
        return known->second;
    const bool readOnly = fileSystemIsReadOnly(folder);
    readOnlyFolders_.emplace(folder, readOnly);
    // What a killed batch left in this folder goes before this one adds to
    // it; the temporaries of writes still in progress here are kept.
    if (!readOnly)
        removeStaleTemporaries(folder);
    return readOnly;
}

void DurableBatch::add(const QString& path, const QByteArray& bytes) {
    if (committed_)
        throw WriteError(path, WriteError::Step::Check, QStringLiteral("o lote já foi gravado"));
    prepareFolder(QFileInfo(path).absolutePath());
    const auto readOnlyFolder = [this](const QString& folder) { return prepareFolder(folder); };
    const auto write = [&] {
        return withRoomFreed(
            [&] { return writeTemporary(path, bytes, false, Making::KeptUnnamed, Making::Named, readOnlyFolder); });
    };
    // The same file twice keeps its first place and takes the later content,
    // as two writes one after the other would leave it.
    const QString temporary = temporaryPathFor(path);
    const auto same = places_.constFind(temporary);
    if (same == places_.cend()) {
        ownedTemporaries().own(temporary);
        Written written;
        try {
            written = write();
        } catch (...) {
            ownedTemporaries().release(temporary);
            throw;
        }
        staged_.push_back({path, written.temporary, written.fd});
        places_.insert(temporary, staged_.size() - 1);
        return;
    }
    const size_t place = *same;
    Written written;
    try {
        // Takes the place of the earlier temporary file (a named one is
        // replaced on the disk by a new one of the same name).
        written = write();
    } catch (...) {
        // The earlier content is gone with its temporary file: the target
        // stays as it was.
        discard(staged_[place]);
        staged_.erase(staged_.begin() + qsizetype(place));
        places_.clear();
        for (size_t i = 0; i < staged_.size(); ++i)
            places_.insert(staged_[i].temporary, i);
        throw;
    }
    Staged& earlier = staged_[place];
    if (earlier.fd >= 0) {
        ::close(earlier.fd);
        releaseUnnamed();
    } else if (written.fd >= 0) {
        ::unlink(native(temporary).constData());  // the earlier one had a name, the new one none
    }
    earlier.fd = written.fd;
}

void DurableBatch::addAll(const std::vector<std::pair<QString, QByteArray>>& files) {
    QSet<QString> temporaries;
    bool allNew = true;
    for (const auto& file : files) {
        const QString temporary = temporaryPathFor(file.first);
        allNew = allNew && !places_.contains(temporary);
        temporaries.insert(temporary);
    }
    allNew = allNew && qsizetype(temporaries.size()) == qsizetype(files.size());
    if (committed_ || !allNew || files.size() < 2) {
        for (const auto& [path, bytes] : files)
            add(path, bytes);
        return;
    }
    // Each folder is asked once, and swept, before the threads start.
    for (const auto& file : files)
        prepareFolder(QFileInfo(file.first).absolutePath());
    const auto readOnlyFolder = [this](const QString& folder) { return readOnlyFolders_.at(folder); };
    for (const QString& temporary : temporaries)
        ownedTemporaries().own(temporary);
    std::vector<Written> written(files.size());
    std::vector<std::exception_ptr> failures(files.size());
    onSeveralThreads(files.size(), [&](size_t i) {
        try {
            written[i] = withRoomFreed([&] {
                return writeTemporary(files[i].first, files[i].second, false, Making::KeptUnnamed,
                                      Making::NamedOnceWritten, readOnlyFolder);
            });
        } catch (...) {
            failures[i] = std::current_exception();
        }
    });
    // As if added one by one: the files before the first refusal are in
    // the batch, that one and the ones after it are not.
    size_t i = 0;
    for (; i < files.size() && !failures[i]; ++i) {
        staged_.push_back({files[i].first, written[i].temporary, written[i].fd});
        places_.insert(written[i].temporary, staged_.size() - 1);
    }
    if (i == files.size())
        return;
    for (size_t j = i; j < files.size(); ++j) {
        Staged left{files[j].first, temporaryPathFor(files[j].first), written[j].fd};
        if (failures[j])
            ownedTemporaries().release(left.temporary);  // nothing of it is left on the disk
        else
            discard(left);
    }
    std::rethrow_exception(failures[i]);
}

namespace {

// Makes every temporary file durable, and only those: a sync of the whole
// file system would also write out whatever other programs have waiting for
// the same disk, and wait for all of it. Each file's write-out was started
// as soon as it was written (where the system offers it), so these syncs,
// several at a time, mostly wait for what is already on its way, and the
// file system gathers the syncs in flight into few journal commits. Returns
// the index of the first file that failed and its error, or -1; every file
// is synced all the same. A file still without a name is synced through its
// open descriptor (`open`, -1 for a file opened by its name).
std::pair<long, int> syncEach(const std::vector<QByteArray>& files, const std::vector<int>& open) {
    std::mutex lock;
    std::pair<long, int> failure{-1, 0};
    onSeveralThreads(files.size(), [&](size_t i) {
        int error = 0;
        const int fd = open[i] >= 0 ? open[i] : ::open(files[i].constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            error = errno;
        } else {
            if (writeSystemCalls().fdatasync(fd) != 0)
                error = errno;
            if (fd != open[i])
                ::close(fd);
        }
        if (error) {
            const std::lock_guard<std::mutex> guard(lock);
            if (failure.first < 0 || long(i) < failure.first)
                failure = {long(i), error};
        }
    });
    return failure;
}

// Replacing a file by a rename lets go of the old one, and the file system
// frees its blocks right then: slow, one file after the other. The old
// files are held (by a handle of their own) while the renames run in
// order, and let go of afterwards on a thread of their own: the new files
// are in place and durable by then, and nobody needs to wait for the old
// ones to be freed. A process that ends first lets go of them all the same.
class OldFiles {
public:
    OldFiles() {
        // A quarter of the limit of open files at most, all batches
        // together: the files of a batch not yet named are open too.
        const long limit = openFileLimit();
        if (limit >= 0)
            most_ = std::max(limit / 4, 1L);
    }
    ~OldFiles() { release(); }
    void hold(const QByteArray& path) {
        if (held_.size() >= kHeldAtOnce)
            release();
        if (oldFilesOpen() >= most_)
            return;  // this one is freed as it is replaced, then
        const int fd = DurableWritePlatform::holdFile(path);
        if (fd >= 0) {
            held_.push_back(fd);
            ++oldFilesOpen();
        }
    }
    void release() {
        if (held_.empty())
            return;
        const auto letGo = [](const std::vector<int>& held) {
            onSeveralThreads(held.size(), [&held](size_t i) {
                writeSystemCalls().release(held[i]);
                --oldFilesOpen();
            });
        };
        pendingReleases().begin();
        try {
            std::thread([held = held_, letGo] {
                letGo(held);
                pendingReleases().end();
            }).detach();
        } catch (const std::system_error&) {
            letGo(held_);  // no thread to be had: right here, then
            pendingReleases().end();
        }
        held_.clear();
    }

private:
    // The handles on replaced files open in this process, held or being let go of.
    static std::atomic<long>& oldFilesOpen() {
        static std::atomic<long>* open = new std::atomic<long>(0);  // outlives every thread that ends late
        return *open;
    }
    static constexpr size_t kHeldAtOnce = 256;
    long most_ = 1L << 20;
    std::vector<int> held_;
};

}  // namespace

QStringList DurableBatch::paths() const {
    QStringList paths;
    paths.reserve(qsizetype(staged_.size()));
    for (const Staged& s : staged_)
        paths.append(s.path);
    return paths;
}

void DurableBatch::commit() {
    if (committed_)
        return;
    committed_ = true;
    if (staged_.empty())
        return;
    std::vector<QByteArray> temporaries;
    std::vector<int> open;
    temporaries.reserve(staged_.size());
    open.reserve(staged_.size());
    for (const Staged& s : staged_) {
        temporaries.push_back(native(s.temporary));
        open.push_back(s.fd);
    }
    // Nothing is renamed before every temporary file is on the disk: a
    // failure here leaves every target as it was.
    const auto [failed, syncError] = syncEach(temporaries, open);
    if (failed >= 0) {
        for (Staged& s : staged_)
            discard(s);
        renamed_ = staged_.size();
        throw WriteError(staged_[size_t(failed)].path, WriteError::Step::Sync, syncError);
    }
    // Only now does a file without a name get one, right before it is
    // renamed: a batch killed before this point leaves nothing behind, one
    // killed from here on at most the file it was renaming.
    std::vector<QString> folders;
    OldFiles old;
    for (; renamed_ < staged_.size(); ++renamed_) {
        Staged& s = staged_[renamed_];
        const QString folder = QFileInfo(s.path).absolutePath();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
        const QByteArray target = native(s.path);
        old.hold(target);
        int error = 0;
        WriteError::Step step = WriteError::Step::Rename;
        if (s.fd >= 0) {
            const int fd = s.fd;
            const bool named = DurableWritePlatform::nameUnnamed(fd, temporaries[renamed_]);
            if (!named)
                error = errno;
            s.fd = -1;
            releaseUnnamed();
            if (writeSystemCalls().close(fd) != 0 && named) {
                error = errno;
                step = WriteError::Step::Close;
            }
        }
        if (!error && writeSystemCalls().rename(temporaries[renamed_].constData(), target.constData()) != 0)
            error = errno;
        if (error) {
            const QString path = s.path;
            for (size_t j = renamed_; j < staged_.size(); ++j)
                discard(staged_[j]);
            renamedCount_ = renamed_;
            renamed_ = staged_.size();
            old.release();
            // The files renamed so far stay in place: their folders are synced.
            for (const QString& f : folders)
                syncFolder(f);
            throw WriteError(path, step, error);
        }
        ownedTemporaries().release(s.temporary);
        notifyWritten(s.path);
    }
    renamedCount_ = renamed_;
    old.release();
    for (const QString& folder : folders)
        if (const int error = syncFolder(folder))
            throw WriteError(folder, WriteError::Step::Sync, error);
}

void waitForReleasedOldFiles() {
    pendingReleases().wait();
}

void syncFolderNow(const QString& folder) {
    if (const int error = syncFolder(folder))
        throw WriteError(folder, WriteError::Step::Sync, error);
}

int removeStaleTemporaries(const QString& folder) {
    const QByteArray nativeFolder = native(folder);
    DIR* dir = ::opendir(nativeFolder.constData());
    if (!dir)
        return 0;
    const QString absolute = QFileInfo(folder).absoluteFilePath() + QLatin1Char('/');
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!isTemporaryName(name) || ownedTemporaries().owns(absolute + name))
            continue;
        // A folder of that name is the author's: unlinking refuses it.
        if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

namespace {
WriteSystemCalls defaultCalls() {
    return {[](int fd, const char* data, unsigned long size) -> long { return ::write(fd, data, size); },
            [](int fd) { return ::fsync(fd); },
            [](int fd) { return ::close(fd); },
            [](const char* from, const char* to) { return ::rename(from, to); },
            [](int fd) { return DurableWritePlatform::systemStartWriteOut(fd); },
            [](int fd) { return DurableWritePlatform::systemSyncData(fd); },
            [](int fd) { return ::close(fd); }};
}
}  // namespace

const char* durableWritePlatformName() {
    return DurableWritePlatform::name();
}

WriteSystemCalls& writeSystemCalls() {
    static WriteSystemCalls calls = defaultCalls();
    return calls;
}

void resetWriteSystemCalls() {
    writeSystemCalls() = defaultCalls();
}

}  // namespace orv
