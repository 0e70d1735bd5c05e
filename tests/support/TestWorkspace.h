#pragma once
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orv::test {

// A workspace folder in a temporary place: the map background and a program
// path beside it, and helpers to lay out adventures and read files back.
class TestWorkspace {
public:
    // `base` puts the workspace on a file system of the test's choosing.
    explicit TestWorkspace(bool withBackground = true, const QString& base = {})
        : dir_(base.isEmpty() ? QTemporaryDir() : QTemporaryDir(base + QStringLiteral("/ws-XXXXXX"))) {
        EXPECT_TRUE(dir_.isValid());
        if (withBackground) {
            QImage background(2000, 1200, QImage::Format_RGB32);
            background.fill(QColor(214, 214, 206));
            EXPECT_TRUE(background.save(path("defmap.bmp"), "BMP"));
        }
    }

    QString folder() const { return dir_.path() + QLatin1Char('/'); }
    QString path(const QString& relative) const { return folder() + relative; }
    QString programFile() const { return path(QStringLiteral("orvalis")); }

    void write(const QString& relative, const QByteArray& bytes) const {
        const QString full = path(relative);
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile file(full);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << full.toStdString();
        file.write(bytes);
    }
    QByteArray read(const QString& relative) const {
        QFile file(path(relative));
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return file.readAll();
    }
    bool exists(const QString& relative) const { return QFileInfo::exists(path(relative)); }

    // A complete adventure: the four files that make it listed.
    void addAdventure(const QString& name) const {
        for (const char* ext : {".ini", ".rgs", ".obx", ".obz"})
            write(name + QLatin1Char('/') + name + QLatin1String(ext), QByteArray());
    }

private:
    QTemporaryDir dir_;
};

// Opening a file list moves the working directory into the adventure; it
// goes back before the temporary folder is removed.
struct KeepWorkingDirectory {
    QString path = QDir::currentPath();
    ~KeepWorkingDirectory() { QDir::setCurrent(path); }
};

// Lines joined with CR LF after each, as list files are stored.
inline QByteArray crlf(const QList<QByteArray>& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

}  // namespace orv::test
