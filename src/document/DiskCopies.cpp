#include "document/DiskCopies.h"

#include "core/WriteObserver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace orv {

DiskCopies::DiskCopies(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(150);
    connect(&settle_, &QTimer::timeout, this, &DiskCopies::check);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { settle_.start(); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { settle_.start(); });
    // Every file this program writes, from any thread, is known as written.
    setWriteObserver(this, [this](const QString& path) {
        std::lock_guard lock(mutex_);
        auto found = copies_.find(key(path));
        if (found != copies_.end())
            *found = read(path);
    });
}

DiskCopies::~DiskCopies() {
    setWriteObserver(this, nullptr);
}

QString DiskCopies::key(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

DiskCopies::Copy DiskCopies::read(const QString& path) {
    Copy copy;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return copy;
    copy.exists = true;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&file);
        copy.sha256 = hash.result();
    }
    return copy;
}

bool DiskCopies::differs(const Copy& known, const Copy& now) {
    // Content decides: a file written again with the same bytes is the same.
    // A file removed holds nothing to lose; the program's copy may take its
    // place.
    return now.exists && (!known.exists || now.sha256 != known.sha256);
}

void DiskCopies::watch(const QString& path) {
    if (!watcher_.files().contains(path) && QFileInfo::exists(path))
        watcher_.addPath(path);
    const QString folder = QFileInfo(path).absolutePath();
    if (!watcher_.directories().contains(folder))
        watcher_.addPath(folder);
}

void DiskCopies::know(const QString& given) {
    const QString path = key(given);
    {
        std::lock_guard lock(mutex_);
        copies_.insert(path, read(path));
    }
    watch(path);
}

void DiskCopies::forget(const QString& given) {
    const QString path = key(given);
    std::lock_guard lock(mutex_);
    copies_.remove(path);
    watcher_.removePath(path);
}

void DiskCopies::forgetAll() {
    std::lock_guard lock(mutex_);
    copies_.clear();
    if (!watcher_.files().isEmpty())
        watcher_.removePaths(watcher_.files());
    if (!watcher_.directories().isEmpty())
        watcher_.removePaths(watcher_.directories());
}

bool DiskCopies::changedOutside(const QString& given) const {
    const QString path = key(given);
    Copy known;
    {
        std::lock_guard lock(mutex_);
        const auto found = copies_.constFind(path);
        if (found == copies_.constEnd())
            return false;
        known = *found;
    }
    return differs(known, read(path));
}

void DiskCopies::check() {
    QStringList paths;
    {
        std::lock_guard lock(mutex_);
        paths = copies_.keys();
    }
    for (const QString& path : paths) {
        // A file replaced by a rename is a new file to the watcher.
        watch(path);
        const Copy now = read(path);
        {
            std::lock_guard lock(mutex_);
            auto found = copies_.find(path);
            if (found == copies_.end() || !differs(*found, now) || found->reported == now.sha256)
                continue;
            found->reported = now.sha256;
        }
        emit changed(path);
    }
}

}  // namespace orv
