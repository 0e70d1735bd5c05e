#include "TestPictures.h"
#include "core/OrvalisError.h"
#include "imaging/BmpCodec.h"
#include "imaging/GifCodec.h"
#include "imaging/JpegCodec.h"
#include "imaging/Picture.h"
#include "imaging/PngCodec.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <functional>

using namespace orv;
using namespace orv::test;

namespace {

using Decoder = std::function<QImage(const QByteArray&)>;

struct Format {
    const char* name;
    QByteArray file;
    Decoder decode;
    qsizetype wholeFrom;  // cutting the file shorter than this loses pixels
    std::function<void(QByteArray&, quint32, quint32)> claimSize;
};

QByteArray bmpOf(const QImage& picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "bmp").write(picture);
    return bytes;
}

QByteArray pngOf(const QImage& picture) {
    QTemporaryDir dir;
    PngCodec::write(dir.filePath("p.png"), picture, KeyColour);
    return fileBytes(dir.filePath("p.png"));
}

// Rewrites the size fields of the file's header (and its checksum, for PNG).
void claimPngSize(QByteArray& file, quint32 width, quint32 height) {
    qToBigEndian(width, file.data() + 16);
    qToBigEndian(height, file.data() + 20);
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef*>(file.constData() + 12), 17)), file.data() + 29);
}

void claimJpegSize(QByteArray& file, quint32 width, quint32 height) {
    const qsizetype frame = file.indexOf("\xFF\xC0");
    qToBigEndian(quint16(height), file.data() + frame + 5);
    qToBigEndian(quint16(width), file.data() + frame + 7);
}

void claimGifSize(QByteArray& file, quint32 width, quint32 height) {
    qToLittleEndian(quint16(width), file.data() + 6);
    qToLittleEndian(quint16(height), file.data() + 8);
    const qsizetype frame = file.indexOf(',', 13 + 3 * (2 << (file.at(10) & 7)));
    qToLittleEndian(quint16(width), file.data() + frame + 5);
    qToLittleEndian(quint16(height), file.data() + frame + 7);
}

void claimBmpSize(QByteArray& file, quint32 width, quint32 height) {
    qToLittleEndian(width, file.data() + 18);
    qToLittleEndian(height, file.data() + 22);
}

std::vector<Format> formats() {
    const QImage picture = scene(48, 30, true);
    std::vector<Format> all;
    const QByteArray png = pngOf(picture);
    all.push_back({"png", png, [](const QByteArray& f) { return PngCodec::decode(f); },
                   png.indexOf("IEND") - 4, claimPngSize});
    const QByteArray jpeg = JpegCodec::encode(picture);
    all.push_back({"jpeg", jpeg, JpegCodec::decode, jpeg.size(), claimJpegSize});
    const QByteArray gif = GifCodec::encode(picture);
    all.push_back({"gif", gif, GifCodec::decode, gif.size() - 1, claimGifSize});
    const QByteArray bmp = bmpOf(picture);
    all.push_back({"bmp", bmp, BmpCodec::decode, bmp.size(), claimBmpSize});
    return all;
}

// A damaged file either reads as a sound picture or fails with an
// OrvalisError (the fixed text, for PNG); nothing else may happen.
void expectSoundOutcome(const Format& format, const QByteArray& file) {
    try {
        const QImage picture = format.decode(file);
        ASSERT_EQ(picture.format(), QImage::Format_RGB32);
        ASSERT_TRUE(acceptablePictureSize(picture.width(), picture.height()));
    } catch (const OrvalisError& e) {
        if (QByteArray(format.name) == "png")
            ASSERT_EQ(e.text(), "Error Reading File!");
    }
}

bool refused(const Format& format, const QByteArray& file) {
    try {
        format.decode(file);
        return false;
    } catch (const OrvalisError& e) {
        return QByteArray(format.name) != "png" || e.text() == "Error Reading File!";
    }
}

}  // namespace

TEST(HostileFiles, TruncatedFilesAreRefused) {
    for (const Format& format : formats()) {
        SCOPED_TRACE(format.name);
        ASSERT_FALSE(refused(format, format.file));
        for (qsizetype length = 0; length < format.wholeFrom; ++length)
            ASSERT_TRUE(refused(format, format.file.left(length))) << "cut at " << length;
    }
}

TEST(HostileFiles, BitFlipsAndGarbageNeverCrash) {
    for (const Format& format : formats()) {
        SCOPED_TRACE(format.name);
        const qsizetype bits = format.file.size() * 8;
        for (qsizetype i = 0; i < 600; ++i) {
            QByteArray file = format.file;
            const qsizetype bit = (i * 7919 + i * i * 31) % bits;
            file[bit / 8] = char(file[bit / 8] ^ (1 << (bit % 8)));
            if (i % 3 == 0)  // and a run of garbage further on
                for (qsizetype j = (bit / 8 + 17) % file.size(), n = 0; n < 6; ++n, j = (j + 1) % file.size())
                    file[j] = char(i * 37 + n * 101);
            expectSoundOutcome(format, file);
        }
    }
}

// Sizes of zero or past the largest side are refused from the header alone,
// as is a large size the file is far too small to hold.
TEST(HostileFiles, ImpossibleSizesAreRefused) {
    const QSize claims[] = {{0, 30}, {48, 0}, {MaxPictureSide + 1, 30}, {48, MaxPictureSide + 1},
                            {65535, 65535}, {MaxPictureSide, MaxPictureSide}};
    for (const Format& format : formats())
        for (const QSize& claim : claims) {
            QByteArray file = format.file;
            format.claimSize(file, quint32(claim.width()), quint32(claim.height()));
            EXPECT_TRUE(refused(format, file)) << format.name << " " << claim.width() << "x" << claim.height();
        }

    // A chunk stating more bytes than the file holds (here the writer's text
    // chunk, grown to 1 GiB) is refused before any memory is set aside for it.
    QByteArray hugeText = pngOf(fewColours(8, 8));
    ASSERT_EQ(hugeText.mid(37, 4), "tEXt");
    hugeText[33] = char(0x40);
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(PngCodec::decode(hugeText), OrvalisError);
    EXPECT_LT(clock.elapsed(), 1500);

    // A genuine file one pixel too wide is refused too; the largest side is not.
    const PngLayout grey{PNG_COLOR_TYPE_GRAY, 8};
    const std::vector<std::vector<unsigned char>> wide(1, std::vector<unsigned char>(MaxPictureSide + 1, 7));
    const std::vector<std::vector<unsigned char>> widest(1, std::vector<unsigned char>(MaxPictureSide, 7));
    EXPECT_THROW(PngCodec::decode(pngFile(MaxPictureSide + 1, 1, grey, wide)), OrvalisError);
    EXPECT_EQ(PngCodec::decode(pngFile(MaxPictureSide, 1, grey, widest)).width(), MaxPictureSide);
    QImage tooWide(MaxPictureSide + 1, 2, QImage::Format_RGB32);
    tooWide.fill(qRgb(5, 6, 7));
    EXPECT_THROW(JpegCodec::decode(JpegCodec::encode(tooWide)), OrvalisError);
    EXPECT_THROW(GifCodec::decode(GifCodec::encode(tooWide)), OrvalisError);
    EXPECT_THROW(BmpCodec::decode(bmpOf(tooWide)), OrvalisError);
    EXPECT_EQ(GifCodec::decode(GifCodec::encode(tooWide.copy(0, 0, MaxPictureSide, 2))).width(), MaxPictureSide);
}
