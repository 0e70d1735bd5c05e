#pragma once
#include <QByteArray>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <mutex>

namespace orv {

// What the program knows of the files it holds in memory or in an editor:
// each file's size, time and content as the program last read or wrote it.
// A file found otherwise was changed by another program. Changes are
// watched for (the folder and the files), and checked again at each save
// for file systems that do not tell of them.
class DiskCopies : public QObject {
    Q_OBJECT
public:
    explicit DiskCopies(QObject* parent = nullptr);
    ~DiskCopies() override;

    // The one spelling of a path here: absolute and clean. Changes are told
    // of under it.
    static QString key(const QString& path);

    // The program read the file just now, or wrote these bytes to it; it is
    // watched from now on.
    void know(const QString& path);
    void wrote(const QString& path, const QByteArray& bytes);
    void forget(const QString& path);
    void forgetAll();
    bool knows(const QString& path) const;

    // The file is no longer what the program last read or wrote (a file
    // removed is not: nothing of another program's would be lost).
    bool changedOutside(const QString& path) const;

    // Checks every known file now (as a change report would).
    void check();

signals:
    // A known file was changed by another program; said once for each
    // state the file is found in.
    void changed(const QString& path);

private:
    struct Copy {
        bool exists = false;
        qint64 size = 0;
        qint64 modified = 0;  // nanoseconds
        QByteArray sha256;
        QByteArray reported;  // the outside state last told of
    };
    static Copy read(const QString& path);
    void watch(const QString& path);

    mutable std::mutex mutex_;  // our own writes may come from other threads
    QHash<QString, Copy> copies_;
    QFileSystemWatcher watcher_;
    QTimer settle_;  // a writer writes in steps: look once it is done
};

}  // namespace orv
