#pragma once
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace orv::test {

// A small file system of its own (a tmpfs), so a test can fill it up or make
// it read-only and watch what the program does then. Mounting needs the
// administrator; where it is refused, available() is false and why() says so.
class SmallDisk {
public:
    explicit SmallDisk(int kibibytes = 512) {
        const QByteArray options = "size=" + QByteArray::number(kibibytes) + "k";
        if (::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0, options.constData()) == 0)
            mounted_ = true;
        else
            why_ = QStringLiteral("cannot mount a small file system here (%1); run the tests as root")
                       .arg(QString::fromLocal8Bit(strerror(errno)));
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool available() const { return mounted_; }
    QString why() const { return why_; }
    QString path() const { return dir_.path(); }

    // Takes every free block; what remains is at most a partial block.
    void fill() {
        const QByteArray filler = QFile::encodeName(dir_.path() + QStringLiteral("/.filler"));
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (fd < 0)
            return;
        const QByteArray block(4096, 'f');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        while (::write(fd, block.constData(), 1) > 0) {
        }
        ::close(fd);
    }
    void freeUp() { QFile::remove(dir_.path() + QStringLiteral("/.filler")); }

    bool setReadOnly(bool readOnly) {
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", flags, nullptr) == 0;
    }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    QString why_;
};

}  // namespace orv::test
