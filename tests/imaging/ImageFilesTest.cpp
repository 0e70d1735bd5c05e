#include "TestPictures.h"
#include "core/OrvalisError.h"
#include "imaging/ImageFiles.h"
#include "imaging/JpegCodec.h"
#include "core/DurableWrite.h"
#include "support/SmallDisk.h"
#include "support/WriteChecks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

using namespace orv;
using namespace orv::test;

namespace {

QImage filled(QSize size, QRgb colour) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

bool isKey(QRgb colour) {
    return (colour & 0xFFFFFF) == (KeyColour & 0xFFFFFF);
}

QString folderOf(const QTemporaryDir& dir) {
    return dir.path() + QLatin1Char('/');
}

// The lines of the error a PNG save reports.
QStringList saveErrorLines(const QString& folder, const QString& name) {
    return QString::fromStdString(textOf([&] { saveImage(folder, name, fewColours(16, 8), "png"); }))
        .split(QLatin1Char('\n'));
}

// The first line is the fixed text with the path as built from the folder,
// the name and the extension; the reason follows on a line of its own.
void expectOpeningError(const QStringList& lines, const QString& path, const char* reason) {
    ASSERT_EQ(lines.size(), 2) << lines.join(" | ").toStdString();
    EXPECT_EQ(lines[0], "Error Opening File " + path + "!");
    EXPECT_TRUE(lines[1].contains(QString::fromUtf8(reason))) << lines[1].toStdString();
}

}  // namespace

TEST(LoadImage, ChoosesTheFormatByTheNameAndKeepsThePictureOnFailure) {
    QTemporaryDir dir;
    const QString folder = folderOf(dir);
    const QImage picture = fewColours(12, 8);
    saveImage(folder, "x", picture, "png");
    putFile(folder + "x.PNG", fileBytes(folder + "x.png"));
    putFile(folder + "quebrado.jpg", "not a jpeg");
    putFile(folder + "quebrado.gif", "GIF89a and then nothing");
    putFile(folder + "quebrado.bmp", "BM");
    putFile(folder + "foto.png.jpg", fileBytes(folder + "x.png"));
    putFile(folder + "foto.jpg.png", JpegCodec::encode(picture));

    const QImage old = filled({3, 3}, qRgb(1, 2, 3));
    QImage target = old;
    loadImage(folder, "", target);
    EXPECT_TRUE(target.isNull());

    for (const char* unreadable : {"x.PNG", "quebrado.jpg", "quebrado.gif", "quebrado.bmp", "falta.jpg", "falta.gif",
                                   "falta.bmp", "notas.txt"}) {
        target = old;
        loadImage(folder, unreadable, target);
        EXPECT_EQ(target, old) << unreadable;
    }

    // Read over a picture of another size, magenta shows white.
    QImage shown = picture;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (isKey(shown.pixel(x, y)))
                shown.setPixel(x, y, qRgb(255, 255, 255));
    loadImage(folder, "x.png", target);
    EXPECT_EQ(target.format(), QImage::Format_RGB32);
    EXPECT_EQ(target, shown);

    // Every format named in the path is tried: the PNG is read, the JPEG
    // reader then fails quietly. The other way round the PNG error stands.
    target = old;
    loadImage(folder, "foto.png.jpg", target);
    EXPECT_EQ(target, shown);
    try {
        loadImage(folder, "foto.jpg.png", target);
        FAIL() << "a JPEG was read as PNG";
    } catch (const OrvalisError& e) {
        EXPECT_EQ(e.text(), "Error Reading File!");
    }
    try {
        loadImage(folder, "falta.png", target);
        FAIL() << "a missing PNG was read";
    } catch (const OrvalisError& e) {
        EXPECT_EQ(e.text(), "Error Opening File " + folder + "falta.png!");
    }
}

// Magenta is saved with alpha 0 and so shows what the picture had there
// before (white for a picture of another size); other colours round-trip.
TEST(LoadImage, TransparentPngPixelsShowThePictureUnderneath) {
    QTemporaryDir dir;
    const QString folder = folderOf(dir);
    const QImage picture = scene(64, 40, true);
    saveImage(folder, "pos", picture, "png");

    QImage sameSize = filled(picture.size(), qRgb(0, 128, 0));
    loadImage(folder, "pos.png", sameSize);
    QImage otherSize = filled({5, 5}, qRgb(0, 128, 0));
    loadImage(folder, "pos.png", otherSize);
    ASSERT_EQ(otherSize.size(), picture.size());
    int keyPixels = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb original = picture.pixel(x, y);
            keyPixels += isKey(original);
            ASSERT_EQ(sameSize.pixel(x, y), isKey(original) ? qRgb(0, 128, 0) : original);
            ASSERT_EQ(otherSize.pixel(x, y), isKey(original) ? qRgb(255, 255, 255) : original);
        }
    EXPECT_GT(keyPixels, 100);

    // A half-transparent pixel from another program blends over white.
    const PngLayout rgba{PNG_COLOR_TYPE_RGB_ALPHA, 8};
    putFile(folder + "meio.png", pngFile(2, 1, rgba, {{200, 100, 0, 128, 1, 2, 3, 255}}));
    for (QImage target : {QImage(), filled({2, 1}, qRgb(255, 255, 255))}) {
        loadImage(folder, "meio.png", target);
        EXPECT_EQ(target.pixel(0, 0), qRgb(227, 177, 127));
        EXPECT_EQ(target.pixel(1, 0), qRgb(1, 2, 3));
    }
}

TEST(SaveImage, EachExtensionWritesItsOwnFormatAndNothingElse) {
    QTemporaryDir dir;
    const QString folder = folderOf(dir);
    const QImage picture = fewColours(24, 12);

    // PNG is always 8-bit RGBA, whatever the bitmap's format.
    for (QImage::Format format : {QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_RGB16,
                                  QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
        saveImage(folder, "p", picture.convertToFormat(format), "png");
        EXPECT_EQ(fileBytes(folder + "p.png").mid(24, 2), QByteArray("\x08\x06", 2)) << format;
    }

    // BMP keeps the bitmap's own depth where the format has one.
    const std::pair<QImage::Format, int> depths[] = {
        {QImage::Format_Mono, 1}, {QImage::Format_Indexed8, 8}, {QImage::Format_RGB32, 24}};
    for (const auto& [format, bits] : depths) {
        const QImage bitmap = scene(24, 12, false).convertToFormat(format);
        saveImage(folder, "b", bitmap, "bmp");
        EXPECT_EQ(int(fileBytes(folder + "b.bmp").at(28)), bits);
        QImage target;
        loadImage(folder, "b.bmp", target);
        EXPECT_EQ(target, bitmap.convertToFormat(QImage::Format_RGB32));
    }

    saveImage(folder, "g", picture, "gif");
    QImage target;
    loadImage(folder, "g.gif", target);
    EXPECT_EQ(target, picture);

    saveImage(folder, "j", picture, "jpg");
    EXPECT_TRUE(fileBytes(folder + "j.jpg").startsWith("\xFF\xD8"));
    loadImage(folder, "j.jpg", target);
    EXPECT_EQ(target.size(), picture.size());

    for (const char* other : {"PNG", "tif", "jpeg", ""})
        saveImage(folder, "nada", picture, other);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{"b.bmp", "g.gif", "j.jpg", "p.png"}));
}

// Whatever stands in the way of the file, the author reads that it could not
// be opened, and why; the old file stays whole and nothing is left beside it.
TEST(SaveImage, APngThatCannotBeOpenedSaysSoAndKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString folder = folderOf(dir);

    ASSERT_TRUE(QDir(dir.path()).mkdir("pasta.png"));
    expectOpeningError(saveErrorLines(folder, "pasta"), folder + "pasta.png", "é uma pasta");
    EXPECT_TRUE(QFileInfo(folder + "pasta.png").isDir());

    // A file marked read-only is refused even to the administrator.
    saveImage(folder, "fixo", scene(20, 10, true), "png");
    const QByteArray old = fileBytes(folder + "fixo.png");
    QFile::setPermissions(folder + "fixo.png", QFile::ReadOwner | QFile::ReadGroup);
    expectOpeningError(saveErrorLines(folder, "fixo"), folder + "fixo.png", "somente leitura");
    EXPECT_EQ(fileBytes(folder + "fixo.png"), old);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"fixo.png"});

    // A read-only file system, where one can be had.
    SmallDisk disk;
    if (disk.available()) {
        const QString small = disk.path() + QLatin1Char('/');
        saveImage(small, "mapa", scene(20, 10, true), "png");
        const QByteArray before = fileBytes(small + "mapa.png");
        ASSERT_TRUE(disk.setReadOnly(true));
        expectOpeningError(saveErrorLines(small, "mapa"), small + "mapa.png", "somente leitura");
        disk.setReadOnly(false);
        EXPECT_EQ(fileBytes(small + "mapa.png"), before);
        EXPECT_EQ(filesIn(disk.path()), QStringList{"mapa.png"});
    }
}

TEST(SaveImage, APngInAFolderThatTakesNoNewFileCannotBeOpened) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "the administrator writes into a read-only folder";
    QTemporaryDir dir;
    const QString folder = folderOf(dir);
    saveImage(folder, "pos", scene(20, 10, true), "png");
    const QByteArray old = fileBytes(folder + "pos.png");
    const auto permissions = QFile::permissions(dir.path());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    const QStringList lines = saveErrorLines(folder, "pos");
    QFile::setPermissions(dir.path(), permissions);
    expectOpeningError(lines, folder + "pos.png", "permissão negada");
    EXPECT_EQ(fileBytes(folder + "pos.png"), old);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"pos.png"});
}

// Once the file is open, a disk that takes no more keeps the safe write's own
// text: it names the file and the reason, and the old file stands.
TEST(SaveImage, APngTheDiskCannotHoldNamesTheFileAndKeepsTheOldOne) {
    struct Restore {
        ~Restore() { resetWriteSystemCalls(); }
    } restore;
    QTemporaryDir dir;
    const QString folder = folderOf(dir);
    saveImage(folder, "cheio", scene(20, 10, true), "png");
    const QByteArray old = fileBytes(folder + "cheio.png");
    writeSystemCalls().write = [](int, const char*, unsigned long) -> long {
        errno = ENOSPC;
        return -1;
    };
    const QString text = QString::fromStdString(textOf([&] { saveImage(folder, "cheio", fewColours(16, 8), "png"); }));
    resetWriteSystemCalls();
    EXPECT_FALSE(text.startsWith("Error Opening File")) << text.toStdString();
    EXPECT_TRUE(text.contains(QFileInfo(folder + "cheio.png").absoluteFilePath())) << text.toStdString();
    EXPECT_TRUE(text.contains("disco cheio")) << text.toStdString();
    EXPECT_EQ(fileBytes(folder + "cheio.png"), old);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"cheio.png"});
}
