#include "core/Cp1252.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using orv::ListFile::joinLines;
using orv::ListFile::splitLines;

namespace {

struct Folder {
    QTemporaryDir dir;
    QString path(const QString& file) const { return dir.path() + QLatin1Char('/') + file; }
    void put(const QString& file, const QByteArray& bytes) const {
        QFile f(path(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray bytes(const QString& file) const {
        QFile f(path(file));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                          QDir::Name);
    }
};

}  // namespace

TEST(ListFile, ReadsEveryKindOfLineBreak) {
    const QStringList abc = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    EXPECT_EQ(splitLines("a\rb\rc\r"), abc);
    EXPECT_EQ(splitLines("a\nb\nc\n"), abc);
    EXPECT_EQ(splitLines("a\r\nb\r\nc\r\n"), abc);
    EXPECT_EQ(splitLines("a\r\nb\nc\r"), abc);
    EXPECT_EQ(splitLines("a\r\nb\nc"), abc);  // no break after the last line
    // Breaks next to each other are empty lines; LF CR is two breaks.
    EXPECT_EQ(splitLines("\r\n\r\n"), (QStringList{QString(), QString()}));
    EXPECT_EQ(splitLines("a\n\rb"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(splitLines("a\r\r\nb"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(splitLines(""), QStringList());

    Folder folder;
    folder.put(QStringLiteral("vazio.txt"), QByteArray());
    EXPECT_EQ(orv::ListFile::read(folder.path(QStringLiteral("vazio.txt"))), QStringList());
    folder.put(QStringLiteral("misto.txt"), "um\rdois\nTr\xEAs\r\n\r\nfim");
    EXPECT_EQ(orv::ListFile::read(folder.path(QStringLiteral("misto.txt"))),
              (QStringList{"um", "dois", QStringLiteral("Três"), "", "fim"}));
    try {
        orv::ListFile::read(folder.path(QStringLiteral("nada.txt")));
        ADD_FAILURE() << "a missing file was read";
    } catch (const orv::OrvalisError& error) {
        EXPECT_TRUE(error.text().contains(QStringLiteral("nada.txt"))) << error.what();
    }
}

TEST(ListFile, WritesCrLfAfterEveryLineInWindows1252) {
    Folder folder;
    const QString file = folder.path(QStringLiteral("x.txt"));
    orv::ListFile::write(file, {QStringLiteral("Posição"), QString(), QStringLiteral("€ fim")});
    EXPECT_EQ(folder.bytes(QStringLiteral("x.txt")), QByteArray("Posi\xE7\xE3o\r\n\r\n\x80 fim\r\n"));
    orv::ListFile::write(file, {});
    EXPECT_EQ(folder.bytes(QStringLiteral("x.txt")), QByteArray());
    orv::ListFile::write(file, {QString()});
    EXPECT_EQ(folder.bytes(QStringLiteral("x.txt")), QByteArray("\r\n"));
    // Characters outside the code page become "?".
    EXPECT_EQ(joinLines({QStringLiteral("a\u4E2D\U0001F600b")}), QByteArray("a???b\r\n"));
    EXPECT_EQ(orv::cp1252::encode(u"ç"), QByteArray("\xE7"));
    EXPECT_EQ(orv::cp1252::decode("\xE7"), QStringLiteral("ç"));
}

TEST(ListFile, EveryByteValueRoundTrips) {
    // Every byte but the two breaks as one line, then each byte on its own
    // line: read and written back, the file is the same.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            all += char(b);
    QByteArray file = all + "\r\n";
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            file += QByteArray(1, char(b)) + "\r\n";
    EXPECT_EQ(joinLines(splitLines(file)), file);
    EXPECT_EQ(splitLines(file).size(), 1 + 254);
    EXPECT_EQ(orv::cp1252::encode(orv::cp1252::decode(all)), all);

    Folder folder;
    folder.put(QStringLiteral("bytes.txt"), file);
    const QString path = folder.path(QStringLiteral("bytes.txt"));
    orv::ListFile::write(path, orv::ListFile::read(path));
    EXPECT_EQ(folder.bytes(QStringLiteral("bytes.txt")), file);
}

// A file without write permission is read-only for everyone, the superuser
// included (the program may run as root; the read-only attribute of other
// systems binds administrators too).
TEST(ListFile, ReadOnlyTargetIsRefusedAndKept) {
    Folder folder;
    const QString path = folder.path(QStringLiteral("mapa.map"));
    folder.put(QStringLiteral("mapa.map"), "antes\r\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup |
                                                QFile::ReadOther));
    try {
        orv::ListFile::write(path, {QStringLiteral("depois")});
        ADD_FAILURE() << "a read-only file was written (the superuser passes the system's "
                         "access check, so the permission bits must be looked at too)";
    } catch (const orv::OrvalisError& error) {
        EXPECT_TRUE(error.text().contains(QStringLiteral("mapa.map"))) << error.what();
    }
    EXPECT_EQ(folder.bytes(QStringLiteral("mapa.map")), QByteArray("antes\r\n"));
    EXPECT_EQ(folder.entries(), QStringList{QStringLiteral("mapa.map")});
}

TEST(ListFile, RefusedWritesLeaveNoTemporaryFile) {
    Folder folder;
    folder.put(QStringLiteral("mapa.map"), "antes\r\n");
    // A folder in the way, and a folder that does not exist.
    QDir(folder.dir.path()).mkdir(QStringLiteral("pasta.txt"));
    EXPECT_THROW(orv::writeFileSafely(folder.path(QStringLiteral("pasta.txt")), "x"), orv::OrvalisError);
    EXPECT_THROW(orv::writeFileSafely(folder.path(QStringLiteral("nao/existe.txt")), "x"),
                 orv::OrvalisError);
    EXPECT_EQ(folder.entries(), (QStringList{QStringLiteral("mapa.map"), QStringLiteral("pasta.txt")}));
    EXPECT_TRUE(QDir(folder.path(QStringLiteral("pasta.txt"))).isEmpty());
}

TEST(ListFile, WriteThatFailsHalfwayKeepsTheOldFile) {
    // A file size limit makes the write fail after the temporary file was
    // made: the target keeps its old bytes and the temporary file goes.
    Folder folder;
    const QString path = folder.path(QStringLiteral("grande.txt"));
    folder.put(QStringLiteral("grande.txt"), "velho\r\n");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        orv::writeFileSafely(path, QByteArray(1 << 20, 'x'));
    } catch (const orv::OrvalisError& error) {
        threw = true;
        EXPECT_TRUE(error.text().contains(QStringLiteral("grande.txt"))) << error.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(threw);
    EXPECT_EQ(folder.bytes(QStringLiteral("grande.txt")), QByteArray("velho\r\n"));
    EXPECT_EQ(folder.entries(), QStringList{QStringLiteral("grande.txt")});
}
