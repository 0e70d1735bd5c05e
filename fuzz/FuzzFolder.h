#pragma once
// A scratch adventure folder for the targets whose code reads and writes
// files by name: one per process, emptied before each input.
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>

namespace orv::fuzz {

// In memory where the system offers it: the targets write a file or more per input.
inline QString scratchRoot() {
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
}

class ScratchFolder {
public:
    ScratchFolder() : dir_(scratchRoot() + QStringLiteral("/orvalis-fuzz-XXXXXX")) {
        if (!dir_.isValid())
            std::abort();
    }

    // The folder as the program passes it around: with its trailing slash.
    QString path() const { return dir_.path() + u'/'; }

    void clear() {
        QDir folder(dir_.path());
        for (const QString& name : folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            const QString entry = folder.filePath(name);
            if (!QFile::remove(entry))
                QDir(entry).removeRecursively();
        }
    }

    void write(const QString& name, const QByteArray& bytes) const {
        QFile file(path() + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
    }

    QByteArray read(const QString& name) const {
        QFile file(path() + name);
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        return file.readAll();
    }

    bool exists(const QString& name) const { return QFile::exists(path() + name); }

private:
    QTemporaryDir dir_;
};

// The one scratch folder of the process, made at first use and removed when
// the run ends.
inline ScratchFolder& scratchFolder() {
    static ScratchFolder folder;
    return folder;
}

}  // namespace orv::fuzz
