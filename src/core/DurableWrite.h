#pragma once
#include "core/OrvalisError.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace orv {

// Every file the program writes goes through here. The content is written
// whole to a hidden temporary file beside the target (".Name.ext.orvtmp"),
// every write checked, synced to disk and closed (checked); only then is it
// renamed over the target and the folder synced. On any failure the temporary
// file is removed, the old file stays byte for byte as it was, and a
// WriteError names the file and the system's reason in Portuguese.
//
// A crash at any moment leaves the target old or new, whole; at worst a
// temporary file of the recognisable pattern stays behind, which
// removeStaleTemporaries() clears when the adventure is opened again, when a
// batch next writes to that folder and when a command starts on it.

class WriteError : public OrvalisError {
public:
    enum class Step { Check, Open, Write, Sync, Close, Rename };
    WriteError(const QString& path, Step step, int errorNumber);
    WriteError(const QString& path, Step step, const QString& reason);

    const QString& path() const { return path_; }
    Step step() const { return step_; }
    int errorNumber() const { return errno_; }

private:
    QString path_;
    Step step_;
    int errno_ = 0;
};

// The reason for a system error number, in Portuguese ("disco cheio", ...).
QString systemReason(int errorNumber);

// The name of the temporary file for `path`, and the test for that pattern.
QString temporaryPathFor(const QString& path);
bool isTemporaryName(const QString& fileName);

void writeFileSafely(const QString& path, const QByteArray& bytes);

// Many files at once: every temporary file is written first, then the lot is
// synced together (each file's write-out is started as soon as it is
// written, where the system offers it, without waiting; then each file is
// synced, several at a time, so that the file system gathers the syncs into
// few journal commits), then each is renamed over its target in the order
// the files were added, and each folder is synced once. Only the batch's own
// files are synced, never the whole file system: what other programs have
// waiting for the same disk is not the batch's to wait for. A failure before
// the renames leaves every target as it was; the error names the file.
// Adding a file already in the batch replaces its content and keeps its
// place.
//
// Where the system makes files without a name, each temporary file stays
// without one (an open descriptor) until the batch is on the disk, and is
// named right before its rename: a batch killed before then leaves no file
// behind, one killed while renaming at most the file it was at. Those
// descriptors take at most half the process's limit of open files; past
// that, files are named once written. The first file a batch adds to a
// folder clears that folder's stale temporary files first.
class DurableBatch {
public:
    DurableBatch() = default;
    DurableBatch(const DurableBatch&) = delete;
    DurableBatch& operator=(const DurableBatch&) = delete;
    ~DurableBatch();  // removes the temporary files of a batch not committed

    // Writes the temporary file; a refusal (read-only file, full disk...)
    // throws WriteError, removes only this file's temporary and leaves the
    // rest of the batch as it was.
    void add(const QString& path, const QByteArray& bytes);
    // Many files at once, written on several threads; the same as adding
    // them one by one in this order, a refusal included: the files before
    // the first refused one are in the batch, the rest are not.
    void addAll(const std::vector<std::pair<QString, QByteArray>>& files);
    // Makes the files durable and renames them into place. After a failure
    // the first renamedCount() files are in place, the others as they were.
    void commit();
    bool isEmpty() const { return staged_.empty(); }
    size_t size() const { return staged_.size(); }
    // The targets in the order they will be (or were) renamed.
    QStringList paths() const;
    size_t renamedCount() const { return renamedCount_; }

private:
    struct Staged {
        QString path;
        QString temporary;
        int fd = -1;  // the temporary file while it has no name yet
    };
    // Removes the temporary file (closes one without a name).
    void discard(Staged& staged);
    // Whether the folder is on a read-only file system, asked once; the first
    // time, its stale temporary files are removed.
    bool prepareFolder(const QString& folder);

    std::vector<Staged> staged_;
    QHash<QString, size_t> places_;  // temporary file -> index in staged_
    std::map<QString, bool> readOnlyFolders_;  // each folder seen, and whether it is read-only
    size_t renamed_ = 0;       // the temporaries before this index are gone
    size_t renamedCount_ = 0;  // the targets in place after commit()
    bool committed_ = false;
};

// A committed batch lets go of the files it replaced on a thread of its own.
// Waits until every batch so far has done so; for measurements that must not
// overlap that work.
void waitForReleasedOldFiles();

// Removes the program's own temporary files (".*.orvtmp") from a folder,
// except those of writes still in progress in this process; returns how many
// were removed.
int removeStaleTemporaries(const QString& folder);

// Makes the renames and removals done in a folder survive a crash; a
// failure throws WriteError naming the folder.
void syncFolderNow(const QString& folder);

// Tests replace the system calls to fail at a chosen step with a chosen
// error number; production code never touches this.
struct WriteSystemCalls {
    std::function<long(int fd, const char* data, unsigned long size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(int fd)> close;
    std::function<int(const char* from, const char* to)> rename;
    std::function<int(int fd)> writeOut;   // starts writing a batch's file out, without waiting
    std::function<int(int fd)> fdatasync;  // a batch's sync of each file
    std::function<int(int fd)> release;    // lets go of a file a batch replaced
};
WriteSystemCalls& writeSystemCalls();
void resetWriteSystemCalls();

// Which way this build writes: "linux" (files made without a name; a batch
// starts the write-out of each file, writeOut, as it writes it) or "posix"
// (POSIX calls only, each file made under its name; writeOut is never
// called). Either way a batch syncs each of its files, fdatasync, and never
// a whole file system. Tests check both.
const char* durableWritePlatformName();

}  // namespace orv
