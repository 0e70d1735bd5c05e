// The one write every file goes through: a failure at any step leaves the old
// file as it was and says which file and why; a killed writer never leaves a
// torn file; the temporary files are recognisable and cleared.
#include "core/DurableWrite.h"
#include "core/ListFile.h"
#include "net/AdventureTransfer.h"
#include "support/TestWorkspace.h"
#include "support/WriteChecks.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <new>
#include <mutex>
#include <set>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orv;
using orv::test::TestWorkspace;
using orv::test::filesIn;
using orv::test::temporariesIn;
using orv::test::textOf;

// Whatever in this program asks for a sync of a whole file system, or of
// every file system, comes here first: the writes must never ask for one.
// The call is passed on, so that anything else in the process still works.
namespace {
std::atomic<int> wholeFileSystemSyncs{0};
}  // namespace

extern "C" int syncfs(int fd) noexcept {
    ++wholeFileSystemSyncs;
    using Call = int (*)(int);
    static const auto next = reinterpret_cast<Call>(::dlsym(RTLD_NEXT, "syncfs"));
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    return next(fd);
}

extern "C" void sync() noexcept {
    ++wholeFileSystemSyncs;
    using Call = void (*)();
    static const auto next = reinterpret_cast<Call>(::dlsym(RTLD_NEXT, "sync"));
    if (next)
        next();
}

namespace {

// Restores the real system calls when a test ends, whatever happened.
struct InjectedCalls {
    InjectedCalls() = default;
    ~InjectedCalls() { resetWriteSystemCalls(); }
    WriteSystemCalls& calls = writeSystemCalls();
};

// The portable way has no sync of a whole file system and no file made
// without a name: each file is made under its name and synced on its own.
bool portableWay() {
    return std::strcmp(durableWritePlatformName(), "posix") == 0;
}

}  // namespace

// The build that tests one way must not be handed the other (the portable
// variant links the same libraries as the default one).
TEST(DurableWrite, WritesTheWayTheBuildChose) {
    EXPECT_STREQ(durableWritePlatformName(), ORVALIS_EXPECTED_DURABLE_WRITE);
}

TEST(DurableWrite, AFailureAtEveryStepKeepsTheOldFileAndNamesFileAndReason) {
    struct Case {
        const char* step;
        int error;
        const char* reason;
    };
    const Case cases[] = {
        {"write", ENOSPC, "disco cheio"},       {"write", EDQUOT, "cota de disco esgotada"},
        {"short", ENOSPC, "disco cheio"},       {"zero", 0, "disco cheio"},
        {"fsync", EIO, "erro de entrada e saída no disco"},
        {"close", ENOSPC, "disco cheio"},       {"rename", EXDEV, "erro do sistema"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.step) + " " + c.reason);
        TestWorkspace ws(false);
        const QByteArray old = "antigo\r\n";
        ws.write("A/A.map", old);
        InjectedCalls inject;
        const std::string step = c.step;
        const int error = c.error;
        int calls = 0;
        if (step == "write" || step == "short" || step == "zero")
            inject.calls.write = [&](int fd, const char* data, unsigned long size) -> long {
                if (step == "short" && calls++ == 0)
                    return ::write(fd, data, size / 2);  // half taken, then the disk is full
                if (step == "zero")
                    return 0;
                errno = error;
                return -1;
            };
        if (step == "fsync")
            inject.calls.fsync = [&](int) { errno = error; return -1; };
        if (step == "close")
            inject.calls.close = [&](int fd) { ::close(fd); errno = error; return -1; };
        if (step == "rename")
            inject.calls.rename = [&](const char*, const char*) { errno = error; return -1; };

        const std::string text = textOf([&] { writeFileSafely(ws.path("A/A.map"), QByteArray(10000, 'n')); });
        EXPECT_NE(text.find("A/A.map\""), std::string::npos) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_EQ(ws.read("A/A.map"), old);
        EXPECT_EQ(filesIn(ws.path("A")), QStringList{"A.map"});  // no temporary left
    }
}

TEST(DurableWrite, ShortWritesAreCompletedAndPermissionsKept) {
    TestWorkspace ws(false);
    ws.write("x.scp", "old");
    QFile::setPermissions(ws.path("x.scp"), QFile::ReadOwner | QFile::WriteOwner);
    InjectedCalls inject;
    inject.calls.write = [](int fd, const char* data, unsigned long size) -> long {
        return ::write(fd, data, size > 7 ? 7 : size);  // the kernel may take less than asked
    };
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += char(i);
    writeFileSafely(ws.path("x.scp"), bytes);
    EXPECT_EQ(ws.read("x.scp"), bytes);
    EXPECT_EQ(QFile::permissions(ws.path("x.scp")) & 0xF0FF, QFile::ReadOwner | QFile::WriteOwner);
}

TEST(DurableWrite, ReadOnlyFilesAndFoldersInTheWayAreRefusedBeforeAnyTemporaryFile) {
    TestWorkspace ws(false);
    ws.write("A/A.ini", "keep");
    QFile::setPermissions(ws.path("A/A.ini"), QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_NE(textOf([&] { ListFile::write(ws.path("A/A.ini"), {"x"}); }).find("o arquivo é somente leitura"),
              std::string::npos);
    QDir().mkpath(ws.path("A/sen.txt"));
    EXPECT_NE(textOf([&] { ListFile::write(ws.path("A/sen.txt"), {"x"}); }).find("é uma pasta"), std::string::npos);
    EXPECT_NE(textOf([&] { writeFileSafely(ws.path("nao/existe.map"), "x"); }).find("a pasta não existe"),
              std::string::npos);
    EXPECT_EQ(ws.read("A/A.ini"), "keep");
    EXPECT_EQ(filesIn(ws.path("A")), QStringList{"A.ini"});
}

TEST(DurableWrite, ABatchIsAllOrNothingUntilItsRenames) {
    TestWorkspace ws(false);
    ws.write("a.scp", "a-old");
    ws.write("b.scp", "b-old");
    {
        InjectedCalls inject;
        // Every file's sync fails: the batch renames nothing.
        inject.calls.fdatasync = [](int) { errno = EIO; return -1; };
        DurableBatch batch;
        batch.add(ws.path("a.scp"), "a-new");
        batch.add(ws.path("b.scp"), "b-new");
        EXPECT_NE(textOf([&] { batch.commit(); }).find("erro de entrada e saída"), std::string::npos);
    }
    EXPECT_EQ(ws.read("a.scp"), "a-old");
    EXPECT_EQ(ws.read("b.scp"), "b-old");
    {
        DurableBatch dropped;  // never committed: its temporary files go with it
        dropped.add(ws.path("a.scp"), "a-new");
    }
    EXPECT_EQ(filesIn(ws.folder()), (QStringList{"a.scp", "b.scp"}));
    DurableBatch batch;
    batch.add(ws.path("a.scp"), "a-new");
    batch.add(ws.path("c.scp"), "c-new");
    batch.commit();
    EXPECT_EQ(ws.read("a.scp"), "a-new");
    EXPECT_EQ(ws.read("c.scp"), "c-new");
    EXPECT_EQ(filesIn(ws.folder()), (QStringList{"a.scp", "b.scp", "c.scp"}));
}

TEST(DurableWrite, ABatchTakesAFileTwiceAndSurvivesARefusedFileAndAFailedRename) {
    TestWorkspace ws(false);
    ws.write("a.scp", "a-old");
    ws.write("b.scp", "b-old");
    ws.write("c.scp", "c-old");
    ws.write("ro.scp", "ro");
    QFile::setPermissions(ws.path("ro.scp"), QFile::ReadOwner);
    {
        DurableBatch batch;
        batch.add(ws.path("a.scp"), "a-1");
        batch.add(ws.path("b.scp"), "b-new");
        batch.add(ws.path("a.scp"), "a-2");  // the later content, the first place
        // A refused file leaves the rest of the batch as it was.
        EXPECT_NE(textOf([&] { batch.add(ws.path("ro.scp"), "x"); }).find("somente leitura"), std::string::npos);
        EXPECT_EQ(batch.paths(), (QStringList{ws.path("a.scp"), ws.path("b.scp")}));
        batch.commit();
        EXPECT_EQ(batch.renamedCount(), 2u);
    }
    EXPECT_EQ(ws.read("a.scp"), "a-2");
    EXPECT_EQ(ws.read("b.scp"), "b-new");
    EXPECT_EQ(ws.read("ro.scp"), "ro");

    // A rename that fails halfway: the files before it are in place, it and
    // the ones after it are as they were, and no temporary file stays.
    InjectedCalls inject;
    int renames = 0;
    inject.calls.rename = [&](const char* from, const char* to) {
        if (++renames == 2) {
            errno = EXDEV;
            return -1;
        }
        return ::rename(from, to);
    };
    DurableBatch batch;
    batch.add(ws.path("a.scp"), "a-3");
    batch.add(ws.path("b.scp"), "b-3");
    batch.add(ws.path("c.scp"), "c-3");
    const std::string text = textOf([&] { batch.commit(); });
    EXPECT_NE(text.find("b.scp\""), std::string::npos) << text;
    EXPECT_EQ(batch.renamedCount(), 1u);
    EXPECT_EQ(ws.read("a.scp"), "a-3");
    EXPECT_EQ(ws.read("b.scp"), "b-new");
    EXPECT_EQ(ws.read("c.scp"), "c-old");
    EXPECT_EQ(filesIn(ws.folder()), (QStringList{"a.scp", "b.scp", "c.scp", "ro.scp"}));
}

// The files a batch replaces are let go of after it returns, in chunks for
// a large batch: every one is freed in the end and no handle stays open,
// while a reader that had an old file open still reads it whole.
TEST(DurableWrite, ABatchFreesTheFilesItReplacedAndKeepsNoHandle) {
    TestWorkspace ws(false);
    const auto openHandles = [] { return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files).size(); };
    QStringList names;
    for (int i = 0; i < 600; ++i) {
        names << QStringLiteral("f%1.scp").arg(i, 3, 10, QLatin1Char('0'));
        ws.write(names.last(), "old " + QByteArray::number(i));
    }
    QFile reader(ws.path(names[300]));
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    waitForReleasedOldFiles();
    const qsizetype before = openHandles();
    {
        DurableBatch batch;
        for (int i = 0; i < 600; ++i)
            batch.add(ws.path(names[i]), "new " + QByteArray::number(i));
        batch.commit();
    }
    waitForReleasedOldFiles();
    EXPECT_EQ(openHandles(), before);
    for (int i = 0; i < 600; i += 37)
        EXPECT_EQ(ws.read(names[i]), "new " + QByteArray::number(i));
    EXPECT_EQ(reader.readAll(), "old 300");
    EXPECT_EQ(filesIn(ws.folder()), names);
}

// Many files added at once are written on several threads, and the batch
// ends as if they had been added one by one: a refused file in the middle
// keeps the files before it (which are written) and drops the ones after
// it, a leftover temporary file of a killed run is replaced, and no
// temporary file stays.
TEST(DurableWrite, ManyFilesAddedAtOnceBehaveAsAddedOneByOne) {
    TestWorkspace ws(false);
    std::vector<std::pair<QString, QByteArray>> files;
    QStringList names;
    for (int i = 0; i < 120; ++i) {
        names << QStringLiteral("p%1.scp").arg(i, 3, 10, QLatin1Char('0'));
        ws.write(names.last(), "old");
        files.emplace_back(ws.path(names.last()), "new " + QByteArray::number(i));
    }
    ws.write(".p010.scp.orvtmp", "left by a killed run");
    QFile::setPermissions(ws.path(names[70]), QFile::ReadOwner);
    DurableBatch batch;
    const std::string text = textOf([&] { batch.addAll(files); });
    EXPECT_NE(text.find("p070.scp\""), std::string::npos) << text;
    EXPECT_NE(text.find("somente leitura"), std::string::npos) << text;
    QStringList before;
    for (int i = 0; i < 70; ++i)
        before << ws.path(names[i]);
    EXPECT_TRUE(batch.paths() == before);
    batch.commit();
    for (int i = 0; i < 120; ++i)
        EXPECT_EQ(ws.read(names[i]), i < 70 ? "new " + QByteArray::number(i) : QByteArray("old")) << i;
    EXPECT_EQ(filesIn(ws.folder()), names);

    // The same file twice falls back to one by one: the later content, the
    // first place.
    QFile::setPermissions(ws.path(names[70]), QFile::ReadOwner | QFile::WriteOwner);
    DurableBatch twice;
    twice.addAll({{ws.path("p000.scp"), "a"}, {ws.path("p001.scp"), "b"}, {ws.path("p000.scp"), "c"}});
    twice.commit();
    EXPECT_EQ(ws.read("p000.scp"), "c");
    EXPECT_EQ(ws.read("p001.scp"), "b");
    EXPECT_EQ(filesIn(ws.folder()), names);
}

// The batch's sync names the file whose data could not reach the disk and
// renames nothing, however many files are synced at the same time.
TEST(DurableWrite, ABatchSyncFailureNamesTheFileAndRenamesNothing) {
    TestWorkspace ws(false);
    QStringList names;
    for (int i = 0; i < 40; ++i) {
        names << QStringLiteral("f%1.scp").arg(i, 2, 10, QLatin1Char('0'));
        ws.write(names.last(), "old");
    }
    InjectedCalls inject;
    // Every temporary file is synced once on its own; the 30th fails, the
    // others are synced all the same.
    std::mutex lock;
    std::set<ino_t> synced;
    int syncs = 0;
    inject.calls.fdatasync = [&](int fd) {
        struct stat info {};
        ::fstat(fd, &info);
        const std::lock_guard<std::mutex> guard(lock);
        synced.insert(info.st_ino);
        ++syncs;
        if (info.st_size == 29) {
            errno = EIO;
            return -1;
        }
        return ::fdatasync(fd);
    };
    DurableBatch batch;
    for (int i = 0; i < 40; ++i)
        batch.add(ws.path(names[i]), QByteArray(i, 'n'));
    const std::string text = textOf([&] { batch.commit(); });
    EXPECT_NE(text.find("f29.scp\""), std::string::npos) << text;
    EXPECT_NE(text.find("erro de entrada e saída"), std::string::npos) << text;
    EXPECT_EQ(syncs, 40);
    EXPECT_EQ(synced.size(), 40u);
    EXPECT_EQ(batch.renamedCount(), 0u);
    for (const QString& name : names)
        EXPECT_EQ(ws.read(name), "old");
    EXPECT_EQ(filesIn(ws.folder()), names);
}

// Nothing of a batch is renamed before all of it is on the disk: every file
// synced, and on Linux the write-out of every file started before that.
TEST(DurableWrite, ABatchIsOnTheDiskBeforeItsFirstRename) {
    TestWorkspace ws(false);
    QStringList names;
    std::vector<std::pair<QString, QByteArray>> files;
    for (int i = 0; i < 20; ++i) {
        names << QStringLiteral("s%1.scp").arg(i, 2, 10, QLatin1Char('0'));
        ws.write(names.last(), "old");
        files.emplace_back(ws.path(names.last()), "new " + QByteArray::number(i));
    }
    InjectedCalls inject;
    const WriteSystemCalls real = inject.calls;
    std::atomic<int> writeOuts{0}, fileSyncs{0};
    int writeOutsBeforeRename = -1, filesBeforeRename = -1;
    inject.calls.writeOut = [&](int fd) { ++writeOuts; return real.writeOut(fd); };
    inject.calls.fdatasync = [&](int fd) { ++fileSyncs; return real.fdatasync(fd); };
    inject.calls.rename = [&](const char* from, const char* to) {
        if (filesBeforeRename < 0) {
            writeOutsBeforeRename = writeOuts;
            filesBeforeRename = fileSyncs;
        }
        return real.rename(from, to);
    };
    DurableBatch batch;
    batch.addAll(files);
    batch.commit();
    EXPECT_EQ(writeOutsBeforeRename, portableWay() ? 0 : 20);
    EXPECT_EQ(filesBeforeRename, 20);
    EXPECT_EQ(writeOuts, writeOutsBeforeRename);
    EXPECT_EQ(fileSyncs, filesBeforeRename);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(ws.read(names[i]), "new " + QByteArray::number(i));
    EXPECT_EQ(filesIn(ws.folder()), names);
}

// A batch syncs its own files and nothing else: each file that ends up in
// place was synced once, before any rename, its write-out started before
// any sync where the system offers it; no sync of a whole file system; then
// one rename per file in the order the files were added, and one sync of
// each folder after the last rename. Files added one by one and all at
// once, in two folders, some replacing a file and some new.
TEST(DurableWrite, ABatchSyncsOnlyItsOwnFilesThenRenamesEachOnceInOrder) {
    TestWorkspace ws(false);
    QDir().mkpath(ws.path("B"));
    QStringList names, targets;
    std::vector<std::pair<QString, QByteArray>> atOnce;
    for (int i = 0; i < 12; ++i) {
        names << QStringLiteral("%1u%2.scp").arg(i % 3 ? "B/" : "").arg(i, 2, 10, QLatin1Char('0'));
        if (i % 2)
            ws.write(names.last(), "old");
        targets << ws.path(names.last());
    }
    for (int i = 6; i < 12; ++i)
        atOnce.emplace_back(targets[i], "all at once " + QByteArray::number(i));

    InjectedCalls inject;
    const WriteSystemCalls real = inject.calls;
    std::mutex lock;
    std::vector<ino_t> startedOut, synced;
    std::vector<std::string> renamedTo, foldersSynced;
    bool syncAfterRename = false, startAfterSync = false;
    const auto inode = [](int fd) {
        struct stat info {};
        ::fstat(fd, &info);
        return info.st_ino;
    };
    inject.calls.writeOut = [&](int fd) {
        const std::lock_guard<std::mutex> guard(lock);
        startedOut.push_back(inode(fd));
        startAfterSync = startAfterSync || !synced.empty();
        return real.writeOut(fd);
    };
    inject.calls.fdatasync = [&](int fd) {
        {
            const std::lock_guard<std::mutex> guard(lock);
            synced.push_back(inode(fd));
            syncAfterRename = syncAfterRename || !renamedTo.empty();
        }
        return real.fdatasync(fd);
    };
    inject.calls.rename = [&](const char* from, const char* to) {
        renamedTo.push_back(to);
        return real.rename(from, to);
    };
    inject.calls.fsync = [&](int fd) {
        char link[4096] = {};
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(self.c_str(), link, sizeof link - 1);
        foldersSynced.push_back(n > 0 ? std::string(link, size_t(n)) : std::string("?"));
        EXPECT_EQ(renamedTo.size(), 12u) << "a folder synced before the last rename";
        return real.fsync(fd);
    };
    const int wholeBefore = wholeFileSystemSyncs;
    DurableBatch batch;
    for (int i = 0; i < 6; ++i)
        batch.add(targets[i], "one by one " + QByteArray::number(i));
    batch.addAll(atOnce);
    ASSERT_NO_THROW(batch.commit());

    EXPECT_EQ(wholeFileSystemSyncs - wholeBefore, 0);
    EXPECT_FALSE(syncAfterRename);
    std::vector<std::string> expected;
    std::set<ino_t> inPlace;
    for (int i = 0; i < 12; ++i) {
        expected.push_back(QFile::encodeName(targets[i]).toStdString());
        EXPECT_EQ(ws.read(names[i]),
                  (i < 6 ? "one by one " : "all at once ") + QByteArray::number(i));
        struct stat info {};
        ::stat(QFile::encodeName(targets[i]).constData(), &info);
        inPlace.insert(info.st_ino);
    }
    EXPECT_EQ(renamedTo, expected);
    // The files renamed into place are the very ones synced (a rename keeps
    // the file), each once.
    EXPECT_EQ(synced.size(), 12u);
    EXPECT_EQ(std::set<ino_t>(synced.begin(), synced.end()), inPlace);
    if (portableWay()) {
        EXPECT_TRUE(startedOut.empty());
    } else {
        EXPECT_FALSE(startAfterSync) << "every write-out is started before the first sync";
        EXPECT_EQ(std::set<ino_t>(startedOut.begin(), startedOut.end()), inPlace);
        EXPECT_EQ(startedOut.size(), 12u);
    }
    std::sort(foldersSynced.begin(), foldersSynced.end());
    const auto canonical = [](const QString& folder) {
        return QFile::encodeName(QFileInfo(folder).canonicalFilePath()).toStdString();
    };
    const std::vector<std::string> folders{canonical(ws.folder()), canonical(ws.path("B"))};
    EXPECT_EQ(foldersSynced, folders);
    EXPECT_EQ(temporariesIn(ws.folder()), QStringList());
    EXPECT_EQ(temporariesIn(ws.path("B")), QStringList());
}

// Starting a file's write-out early is only a head start: a file system
// that refuses it (or a disk that fails it) leaves the batch to its syncs,
// which write every file out all the same and alone say whether it failed.
TEST(DurableWrite, ARefusedWriteOutLeavesTheBatchToItsSyncs) {
    for (const int refusal : {EINVAL, EIO}) {
        SCOPED_TRACE(refusal);
        TestWorkspace ws(false);
        ws.write("a.scp", "a-old");
        InjectedCalls inject;
        int refused = 0;
        inject.calls.writeOut = [&](int) {
            ++refused;
            errno = refusal;
            return -1;
        };
        DurableBatch batch;
        batch.add(ws.path("a.scp"), "a-new");
        batch.add(ws.path("b.scp"), "b-new");
        EXPECT_NO_THROW(batch.commit());
        EXPECT_EQ(refused, portableWay() ? 0 : 2);
        EXPECT_EQ(ws.read("a.scp"), "a-new");
        EXPECT_EQ(ws.read("b.scp"), "b-new");
        EXPECT_EQ(filesIn(ws.folder()), (QStringList{"a.scp", "b.scp"}));
    }
}

TEST(DurableWrite, TemporariesAreRecognisedClearedAtOpeningAndNeverListedForUpload) {
    EXPECT_EQ(temporaryPathFor("/w/Mar/Mar.map"), "/w/Mar/.Mar.map.orvtmp");
    EXPECT_TRUE(isTemporaryName(".Mar.map.orvtmp"));
    EXPECT_FALSE(isTemporaryName("Mar.map.orvtmp"));
    EXPECT_FALSE(isTemporaryName(".orvtmp"));
    EXPECT_FALSE(isTemporaryName(".config"));

    TestWorkspace ws(false);
    ws.write("Mar/Mar.map", "m");
    ws.write("Mar/.Mar.map.orvtmp", "half");
    ws.write("Mar/orvtmp.txt", "the author's");
    ws.write("Mar/.notas", "the author's too");
    EXPECT_EQ(AdventureTransfer::folderListing(ws.path("Mar")).filter(".orvtmp").size(), 0);
    EXPECT_EQ(removeStaleTemporaries(ws.path("Mar")), 1);
    EXPECT_EQ(filesIn(ws.path("Mar")), (QStringList{".notas", "Mar.map", "orvtmp.txt"}));
}

// A writer killed at random moments in a stream of saves: the file is always
// one of the versions, whole, never empty or torn.
TEST(DurableWrite, AKilledWriterNeverLeavesATornOrEmptyFile) {
    TestWorkspace ws(false);
    const QString path = ws.path("Vale.map");
    const QByteArray a(64 * 1024, 'a'), b(48 * 1024, 'b');
    writeFileSafely(path, a);
    auto* random = QRandomGenerator::global();
    int torn = 0;
    for (int round = 0; round < 60; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                writeFileSafely(path, i % 2 ? a : b);
        }
        ::usleep(useconds_t(random->bounded(1000, 15000)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const QByteArray now = ws.read("Vale.map");
        if (now != a && now != b)
            ++torn;
    }
    EXPECT_EQ(torn, 0);
    removeStaleTemporaries(ws.folder());
    EXPECT_EQ(filesIn(ws.folder()), QStringList{"Vale.map"});
}

// A batch killed at random moments in a stream of batches, written on
// several threads: every file is always one of the versions, whole, and what
// stays behind is only the recognisable temporary files.
TEST(DurableWrite, AKilledBatchLeavesEveryFileOneVersionWhole) {
    TestWorkspace ws(false);
    const QByteArray a(24 * 1024, 'a'), b(16 * 1024, 'b');
    QStringList names;
    for (int i = 0; i < 12; ++i) {
        names << QStringLiteral("k%1.scp").arg(i, 2, 10, QLatin1Char('0'));
        writeFileSafely(ws.path(names.last()), a);
    }
    waitForReleasedOldFiles();  // no thread of this process busy when it forks
    auto* random = QRandomGenerator::global();
    int torn = 0;
    for (int round = 0; round < 30; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = round;; ++i) {  // each round begins with the other version
                std::vector<std::pair<QString, QByteArray>> files;
                for (const QString& name : names)
                    files.emplace_back(ws.path(name), i % 2 ? a : b);
                DurableBatch batch;
                batch.addAll(files);
                batch.commit();
            }
        }
        ::usleep(useconds_t(random->bounded(1000, 20000)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        for (const QString& name : names) {
            const QByteArray now = ws.read(name);
            if (now != a && now != b)
                ++torn;
        }
    }
    EXPECT_EQ(torn, 0);
    removeStaleTemporaries(ws.folder());
    EXPECT_EQ(filesIn(ws.folder()), names);
}

namespace {

// How far a child process running batches had got when it was killed, in
// memory it shares with the test.
struct BatchProgress {
    std::atomic<int> fileSyncs;  // the files of the batch under way synced so far
    std::atomic<int> synced;     // the batch under way is on the disk
};

// The limit of open files lowered for the length of a test.
class LowerOpenFileLimit {
public:
    explicit LowerOpenFileLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        struct rlimit lowered = saved_;
        lowered.rlim_cur = std::min(limit, saved_.rlim_cur);
        lowered_ = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~LowerOpenFileLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    bool lowered() const { return lowered_; }

private:
    struct rlimit saved_ {};
    bool lowered_ = false;
};

qsizetype openHandles() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files).size();
}

}  // namespace

// A batch killed at random moments, its files added one by one (as a download
// adds them) or all at once (as a compile does). Where files are made without
// a name, one killed before its sync leaves no temporary file at all, and one
// killed while renaming at most the one it was at; either way, the next batch
// in that folder leaves none, and every file is one version, whole.
TEST(DurableWrite, AKilledBatchLeavesNoTemporaryBeforeItsSyncAndTheNextBatchClearsTheRest) {
    TestWorkspace ws(false);
    constexpr int kFiles = 150;
    const QByteArray a(6 * 1024, 'a'), b(4 * 1024, 'b');
    QStringList names;
    for (int i = 0; i < kFiles; ++i)
        names << QStringLiteral("d%1.scp").arg(i, 3, 10, QLatin1Char('0'));
    const auto batchOf = [&](bool allAtOnce, const QByteArray& bytes) {
        DurableBatch batch;
        if (allAtOnce) {
            std::vector<std::pair<QString, QByteArray>> files;
            for (const QString& name : names)
                files.emplace_back(ws.path(name), bytes);
            batch.addAll(files);
        } else {
            for (const QString& name : names)
                batch.add(ws.path(name), bytes);
        }
        batch.commit();
    };
    void* shared = ::mmap(nullptr, sizeof(BatchProgress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* progress = new (shared) BatchProgress{};
    struct rlimit files {};
    ::getrlimit(RLIMIT_NOFILE, &files);
    auto* random = QRandomGenerator::global();
    for (const bool allAtOnce : {false, true}) {
        SCOPED_TRACE(allAtOnce ? "all at once" : "one by one");
        std::atomic<int> fileSyncs{0};
        QElapsedTimer clock;
        {
            InjectedCalls inject;
            const WriteSystemCalls real = inject.calls;
            inject.calls.fdatasync = [&](int fd) { ++fileSyncs; return real.fdatasync(fd); };
            clock.start();
            batchOf(allAtOnce, a);
        }
        const int batchMicroseconds = std::max(int(clock.nsecsElapsed() / 1000), 1000);
        // The batch is on the disk once its last file is synced, and every
        // file stays without a name until then where the limit of open
        // files leaves room for them all.
        const bool unnamedUntilSync = !portableWay() && fileSyncs == kFiles && files.rlim_cur / 2 > rlim_t(kFiles);
        int beforeSync = 0, renaming = 0, torn = 0;
        for (int round = 0; round < 12; ++round) {
            progress->fileSyncs = 0;
            progress->synced = 0;
            waitForReleasedOldFiles();  // no thread of this process busy when it forks
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                const WriteSystemCalls real = writeSystemCalls();
                writeSystemCalls().fdatasync = [real, progress](int fd) {
                    const int result = real.fdatasync(fd);
                    if (++progress->fileSyncs == kFiles)
                        progress->synced = 1;
                    return result;
                };
                for (int i = round;; ++i) {  // each round begins with the other version
                    progress->fileSyncs = 0;
                    progress->synced = 0;
                    batchOf(allAtOnce, i % 2 ? a : b);
                }
            }
            ::usleep(useconds_t(random->bounded(batchMicroseconds / 5, batchMicroseconds * 3)));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            const QStringList left = temporariesIn(ws.folder());
            if (unnamedUntilSync) {
                if (progress->synced) {
                    ++renaming;
                    EXPECT_LE(left.size(), 1) << left.join(' ').toStdString();
                } else {
                    ++beforeSync;
                    EXPECT_EQ(left, QStringList()) << "killed before the sync";
                }
            }
            for (const QString& name : names) {
                const QByteArray now = ws.read(name);
                torn += now != a && now != b;
            }
            // The next batch in the folder, on a file of its own.
            DurableBatch next;
            next.add(ws.path("outro.scp"), QByteArray::number(round));
            next.commit();
            EXPECT_EQ(temporariesIn(ws.folder()), QStringList()) << "after the next batch";
        }
        EXPECT_EQ(torn, 0);
        if (unnamedUntilSync)
            EXPECT_GT(beforeSync, 0) << "no kill landed before a sync; " << renaming << " while renaming";
    }
    ::munmap(shared, sizeof(BatchProgress));
    waitForReleasedOldFiles();
    EXPECT_EQ(filesIn(ws.folder()), names + QStringList{"outro.scp"});
}

// A batch of more files than its share of the limit of open files: past that
// share the files are named once written, every file still takes its place,
// no open file is left behind, and no open fails for want of room.
TEST(DurableWrite, ABatchLargerThanItsShareOfOpenFilesStillWritesEveryFile) {
    TestWorkspace ws(false);
    constexpr int kFiles = 300;
    QStringList names;
    for (int i = 0; i < kFiles; ++i) {
        names << QStringLiteral("m%1.scp").arg(i, 3, 10, QLatin1Char('0'));
        ws.write(names.last(), "old");
    }
    waitForReleasedOldFiles();
    const qsizetype before = openHandles();
    constexpr int kLimit = 128;
    ASSERT_LT(before, kLimit / 4);
    const LowerOpenFileLimit limit(kLimit);
    ASSERT_TRUE(limit.lowered());
    for (const bool allAtOnce : {false, true}) {
        SCOPED_TRACE(allAtOnce ? "all at once" : "one by one");
        const QByteArray version = allAtOnce ? "all at once " : "one by one ";
        DurableBatch batch;
        if (allAtOnce) {
            std::vector<std::pair<QString, QByteArray>> files;
            for (int i = 0; i < kFiles; ++i)
                files.emplace_back(ws.path(names[i]), version + QByteArray::number(i));
            batch.addAll(files);
        } else {
            for (int i = 0; i < kFiles; ++i)
                batch.add(ws.path(names[i]), version + QByteArray::number(i));
        }
        ASSERT_EQ(batch.size(), size_t(kFiles));
        const qsizetype named = temporariesIn(ws.folder()).size();
        if (portableWay()) {
            EXPECT_EQ(named, kFiles);
        } else {
            EXPECT_GT(named, 0);       // past the share, named as written
            EXPECT_LT(named, kFiles);  // within it, still without a name
        }
        EXPECT_LE(openHandles() - before, kLimit / 2);
        EXPECT_EQ(textOf([&] { batch.commit(); }), "(no error)");
        EXPECT_EQ(batch.renamedCount(), size_t(kFiles));
        waitForReleasedOldFiles();
        EXPECT_EQ(openHandles(), before);
        for (int i = 0; i < kFiles; ++i)
            EXPECT_EQ(ws.read(names[i]), version + QByteArray::number(i)) << i;
        EXPECT_EQ(filesIn(ws.folder()), names);
    }
}

// The first file a batch adds to a folder clears what killed runs left
// there: never a file of the author's, nor a temporary file of a write still
// in progress in this process, even one caught between its naming and its
// rename.
TEST(DurableWrite, ABatchClearsStaleTemporariesButNotThoseOfWritesInProgress) {
    TestWorkspace ws(false);
    const QString folder = ws.path("Mar");
    ws.write("Mar/.a.scp.orvtmp", "left by a killed run");
    ws.write("Mar/.Mar.map.orvtmp", "and this one");
    ws.write("Mar/.notas", "the author's");
    ws.write("Mar/orvtmp.txt", "the author's too");
    QDir().mkpath(ws.path("Mar/.pasta.orvtmp"));  // a folder is never taken for a temporary file
    const QStringList ownWhileOpen = portableWay() ? QStringList{".b.scp.orvtmp"} : QStringList();

    DurableBatch first;
    first.add(ws.path("Mar/b.scp"), "b");
    EXPECT_EQ(temporariesIn(folder), ownWhileOpen);
    // Another run killed meanwhile, then another batch in the same folder.
    ws.write("Mar/.c.scp.orvtmp", "x");
    {
        DurableBatch second;
        second.addAll({{ws.path("Mar/d.scp"), "d"}, {ws.path("Mar/e.scp"), "e"}});
        second.commit();
    }
    EXPECT_EQ(temporariesIn(folder), ownWhileOpen);
    {
        DurableBatch dropped;  // never committed: its temporary file is no one's after it
        dropped.add(ws.path("Mar/f.scp"), "f");
    }

    // A sweep right between a file's naming and its rename leaves it be.
    ws.write("Mar/.f.scp.orvtmp", "x");
    InjectedCalls inject;
    int swept = -1;
    bool stillThere = false;
    inject.calls.rename = [&](const char* from, const char* to) {
        if (swept < 0) {
            swept = removeStaleTemporaries(folder);
            stillThere = QFile::exists(QFile::decodeName(from));
        }
        return ::rename(from, to);
    };
    first.commit();
    EXPECT_EQ(swept, 1);
    EXPECT_TRUE(stillThere);
    // And so does the single durable write.
    swept = -1;
    writeFileSafely(ws.path("Mar/g.scp"), "g");
    EXPECT_EQ(swept, 0);
    EXPECT_TRUE(stillThere);

    for (const char* name : {"b", "d", "e", "g"})
        EXPECT_EQ(ws.read(QStringLiteral("Mar/%1.scp").arg(name)), name);
    EXPECT_EQ(filesIn(folder), (QStringList{".notas", "b.scp", "d.scp", "e.scp", "g.scp", "orvtmp.txt"}));
    EXPECT_TRUE(QFileInfo(ws.path("Mar/.pasta.orvtmp")).isDir());
    // Once renamed, a temporary file of that name is no longer this process's.
    ws.write("Mar/.b.scp.orvtmp", "x");
    EXPECT_EQ(removeStaleTemporaries(folder), 1);
}
