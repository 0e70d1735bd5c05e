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
// each file's content as the program last read or wrote it.
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

    // The program read the file just now; it is watched from now on. Its
    // own writes need no telling: the durable write reports each one.
    void know(const QString& path);
    void forget(const QString& path);
    void forgetAll();

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
        QByteArray sha256;
        QByteArray reported;  // the outside content last told of
    };
    static Copy read(const QString& path);
    static bool differs(const Copy& known, const Copy& now);
    void watch(const QString& path);

    mutable std::mutex mutex_;  // our own writes may come from other threads
    QHash<QString, Copy> copies_;
    QFileSystemWatcher watcher_;
    QTimer settle_;  // a writer writes in steps: look once it is done
};

}  // namespace orv
