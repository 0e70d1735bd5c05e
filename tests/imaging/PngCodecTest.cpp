#include "TestPictures.h"
#include "core/OrvalisError.h"
#include "imaging/PngCodec.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

using namespace orv;
using namespace orv::test;

namespace {

struct LayoutCase {
    const char* name;
    int type;
    int depth;
    bool interlaced = false;
    bool transparency = false;
};

struct Rgba {
    int r, g, b, a;
};

QRgb shownOver(Rgba p, QRgb under) {
    if (p.a == 255)
        return qRgb(p.r, p.g, p.b);
    if (p.a == 0)
        return under;
    const int keep = 255 - p.a;
    return qRgb((keep * qRed(under) + p.a * p.r) / 255, (keep * qGreen(under) + p.a * p.g) / 255,
                (keep * qBlue(under) + p.a * p.b) / 255);
}

// Packs samples of `depth` bits into a PNG row: high bits first, 16-bit
// samples big-endian.
std::vector<unsigned char> packRow(const std::vector<int>& samples, int depth) {
    std::vector<unsigned char> row;
    if (depth == 16) {
        for (int s : samples) {
            row.push_back((unsigned char)(s >> 8));
            row.push_back((unsigned char)s);
        }
    } else if (depth == 8) {
        row.assign(samples.begin(), samples.end());
    } else {
        row.assign((samples.size() * depth + 7) / 8, 0);
        for (size_t i = 0; i < samples.size(); ++i)
            row[i * depth / 8] |= (unsigned char)(samples[i] << (8 - depth - int(i * depth % 8)));
    }
    return row;
}

}  // namespace

// Every colour type and bit depth PNG allows, plain and interlaced, with and
// without tRNS, comes out as the right RGB over a patterned backdrop.
TEST(PngReader, EveryLayoutGivesTheRightColours) {
    constexpr int G = PNG_COLOR_TYPE_GRAY, GA = PNG_COLOR_TYPE_GRAY_ALPHA, RGB = PNG_COLOR_TYPE_RGB,
                  RGBA = PNG_COLOR_TYPE_RGB_ALPHA, P = PNG_COLOR_TYPE_PALETTE;
    const LayoutCase cases[] = {
        {"grey 1", G, 1},          {"grey 2", G, 2},           {"grey 4", G, 4},
        {"grey 8", G, 8},          {"grey 16", G, 16},         {"grey 4 tRNS", G, 4, false, true},
        {"grey 16 tRNS", G, 16, false, true}, {"grey+alpha 8", GA, 8}, {"grey+alpha 16", GA, 16},
        {"rgb 8", RGB, 8},         {"rgb 16", RGB, 16},        {"rgb 8 tRNS", RGB, 8, false, true},
        {"rgba 8", RGBA, 8},       {"rgba 16", RGBA, 16},      {"palette 1", P, 1},
        {"palette 2", P, 2},       {"palette 4", P, 4},        {"palette 8", P, 8},
        {"palette 2 tRNS", P, 2, false, true}, {"palette 8 tRNS", P, 8, false, true},
        {"grey 2 interlaced", G, 2, true}, {"grey+alpha 8 interlaced", GA, 8, true},
        {"rgb 16 interlaced", RGB, 16, true}, {"rgba 8 interlaced", RGBA, 8, true},
        {"palette 4 tRNS interlaced", P, 4, true, true},
    };
    constexpr int width = 11, height = 9;
    QImage backdrop(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            backdrop.setPixel(x, y, qRgb(x * 20, y * 25, 99));
    const int alphas[] = {0, 255, 128, 255, 64};

    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int top = (1 << c.depth) - 1;
        const int scale = c.depth == 16 ? 257 : 1;  // 16-bit samples are k * 257, meaning k
        PngLayout layout{c.type, c.depth, c.interlaced, {}, {}};
        if (c.type == P) {
            for (int i = 0; i <= top; ++i)
                layout.palette.insert(layout.palette.end(),
                                      {(unsigned char)(i * 53), (unsigned char)(i * 101 + 7), (unsigned char)(255 - i * 29)});
            if (c.transparency)
                layout.transparency = {0, 128};
        }
        const auto level = [&](int x, int y, int channel) {  // 0..255
            return (x * 23 + y * 7 + channel * 71 + x * y * channel) & 255;
        };
        if (c.transparency && c.type == G)
            layout.transparency = {c.depth < 8 ? 1 : level(1, 0, 0) * scale};
        if (c.transparency && c.type == RGB)
            layout.transparency = {level(0, 0, 0), level(0, 0, 1), level(0, 0, 2)};

        std::vector<std::vector<unsigned char>> rows;
        QImage expected(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            std::vector<int> samples;
            for (int x = 0; x < width; ++x) {
                Rgba meaning{};
                const int alpha = alphas[(x + y) % 5];
                if (c.type == P) {
                    const int index = (x + 3 * y) % (top + 1);
                    samples.push_back(index);
                    meaning = {layout.palette[index * 3], layout.palette[index * 3 + 1], layout.palette[index * 3 + 2],
                               c.transparency && index < 2 ? (index == 0 ? 0 : 128) : 255};
                } else if (c.depth < 8) {  // grey only
                    const int s = (x + 2 * y) % (top + 1);
                    samples.push_back(s);
                    const int grey = s * 255 / top;
                    meaning = {grey, grey, grey, c.transparency && s == 1 ? 0 : 255};
                } else if (c.type == G || c.type == GA) {
                    const int grey = level(x, y, 0);
                    samples.push_back(grey * scale);
                    if (c.type == GA)
                        samples.push_back(alpha * scale);
                    const bool clear = c.transparency && grey * scale == layout.transparency[0];
                    meaning = {grey, grey, grey, c.type == GA ? alpha : clear ? 0 : 255};
                } else {
                    const int r = level(x, y, 0), g = level(x, y, 1), b = level(x, y, 2);
                    samples.insert(samples.end(), {r * scale, g * scale, b * scale});
                    if (c.type == RGBA)
                        samples.push_back(alpha * scale);
                    const bool clear = c.transparency && r == layout.transparency[0]
                        && g == layout.transparency[1] && b == layout.transparency[2];
                    meaning = {r, g, b, c.type == RGBA ? alpha : clear ? 0 : 255};
                }
                expected.setPixel(x, y, shownOver(meaning, backdrop.pixel(x, y)));
            }
            rows.push_back(packRow(samples, c.depth));
        }
        const QImage read = PngCodec::decode(pngFile(width, height, layout, rows), backdrop);
        ASSERT_EQ(read.format(), QImage::Format_RGB32);
        ASSERT_EQ(read.size(), QSize(width, height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(read.pixel(x, y), expected.pixel(x, y)) << "at " << x << "," << y;
    }
}

// The writer gives 8-bit RGBA (or RGB without a transparent colour), not
// interlaced, with its Software text; opening and writing failures have their
// fixed texts and leave the old file in place.
TEST(PngWriter, WritesTheFixedLayoutAndFailsCleanly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("quadro.png");
    const QImage picture = fewColours(20, 10);
    PngCodec::write(path, picture, qRgb(255, 0, 255));
    const QByteArray file = fileBytes(path);
    ASSERT_GT(file.size(), 33);
    EXPECT_EQ(file.mid(24, 5), QByteArray("\x08\x06\x00\x00\x00", 5));  // depth, type, methods, interlace
    EXPECT_TRUE(file.contains(QByteArray("tEXtSoftware\0Orvalis", 20)));

    PngCodec::write(path, picture, std::nullopt);
    EXPECT_EQ(fileBytes(path).at(25), char(PNG_COLOR_TYPE_RGB));
    EXPECT_EQ(PngCodec::read(path), picture);  // key colour kept as a colour

    const QByteArray before = fileBytes(path);
    try {
        PngCodec::write(path, QImage(), qRgb(255, 0, 255));
        FAIL() << "an empty bitmap was written";
    } catch (const OrvalisError& e) {
        EXPECT_EQ(e.text(), "Error Writing PNG File!");
    }
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"quadro.png"});

    const QString nowhere = dir.filePath("falta/quadro.png");
    try {
        PngCodec::write(nowhere, picture, qRgb(255, 0, 255));
        FAIL() << "wrote into a missing folder";
    } catch (const OrvalisError& e) {
        // The fixed text, then the reason on a line of its own.
        const QStringList lines = e.text().split('\n');
        ASSERT_EQ(lines.size(), 2) << e.what();
        EXPECT_EQ(lines[0], "Error Opening File " + nowhere + "!");
        EXPECT_TRUE(lines[1].contains(QString::fromUtf8("a pasta não existe"))) << e.what();
    }
    try {
        PngCodec::read(nowhere);
        FAIL() << "read a missing file";
    } catch (const OrvalisError& e) {
        EXPECT_EQ(e.text(), "Error Opening File " + nowhere + "!");
    }
}

// A map-sized picture (its data spans many IDAT chunks) reads back exactly,
// with our reader and with an independent one: every colour kept, alpha 0
// exactly on the magenta pixels.
TEST(PngWriter, LargePicturesKeepEveryPixel) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Vale-mapa.png");
    const QImage picture = scene(2000, 1200, true);
    PngCodec::write(path, picture, qRgb(255, 0, 255));

    QImage black(picture.size(), QImage::Format_RGB32);
    black.fill(Qt::black);
    const QImage ours = PngCodec::read(path, black);
    const QImage independent = QImage(path).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(independent.size(), picture.size());
    int magenta = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        const auto* back = reinterpret_cast<const QRgb*>(ours.constScanLine(y));
        const auto* other = reinterpret_cast<const QRgb*>(independent.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const bool key = (in[x] & 0xFFFFFFu) == 0xFF00FFu;
            magenta += key;
            ASSERT_EQ(back[x], key ? qRgb(0, 0, 0) : in[x]) << "at " << x << "," << y;
            ASSERT_EQ(qAlpha(other[x]), key ? 0 : 255) << "at " << x << "," << y;
            if (!key)
                ASSERT_EQ(other[x], in[x]) << "at " << x << "," << y;
        }
    }
    EXPECT_GT(magenta, 0);
}

namespace {

struct Chunk {
    QByteArray type;
    QByteArray data;
    bool crcRight;
};

std::vector<Chunk> chunksOf(const QByteArray& file) {
    std::vector<Chunk> chunks;
    for (qsizetype at = 8; at + 12 <= file.size();) {
        const auto* p = reinterpret_cast<const uchar*>(file.constData()) + at;
        const quint32 length = quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
        if (length > quint32(file.size() - at - 12))
            break;
        const quint32 stored = quint32(p[8 + length]) << 24 | quint32(p[9 + length]) << 16 |
                               quint32(p[10 + length]) << 8 | p[11 + length];
        chunks.push_back({file.mid(at + 4, 4), file.mid(at + 8, length),
                          crc32(0, p + 4, uInt(length + 4)) == stored});
        at += 12 + length;
    }
    return chunks;
}

}  // namespace

// The picture data is deflated in bands, several at once for large pictures,
// and joined into one stream: for every shape (narrow and tall, rows whose
// size is no multiple of four, with and without the key colour) the chunks
// come in the fixed order with right checksums, the joined stream inflates
// to exactly the filtered rows and its own check value holds, and the
// pixels come back.
TEST(PngWriter, PicturesDeflatedInBandsMakeOneWholeStream) {
    QTemporaryDir dir;
    const QString path = dir.filePath("faixas.png");
    const struct {
        int width, height;
        bool key;
    } shapes[] = {{1, 5000, false}, {333, 2000, true}, {2001, 700, false}, {7, 3, true}, {1500, 1, true}};
    for (const auto& shape : shapes) {
        SCOPED_TRACE(testing::Message() << shape.width << "x" << shape.height);
        const QImage picture = scene(shape.width, shape.height, shape.key);
        PngCodec::write(path, picture, shape.key ? std::optional<QRgb>(qRgb(255, 0, 255)) : std::nullopt);
        const std::vector<Chunk> chunks = chunksOf(fileBytes(path));
        ASSERT_GE(chunks.size(), 4u);
        EXPECT_EQ(chunks.front().type, "IHDR");
        EXPECT_EQ(chunks[1].type, "tEXt");
        EXPECT_EQ(chunks.back().type, "IEND");
        QByteArray stream;
        for (size_t i = 2; i + 1 < chunks.size(); ++i) {
            EXPECT_EQ(chunks[i].type, "IDAT");
            stream += chunks[i].data;
        }
        for (const Chunk& chunk : chunks)
            EXPECT_TRUE(chunk.crcRight) << chunk.type.constData();

        const size_t rows = size_t(shape.height) * (1 + size_t(shape.width) * (shape.key ? 4 : 3));
        std::vector<uchar> inflated(rows + 1);
        z_stream z{};
        ASSERT_EQ(inflateInit(&z), Z_OK);
        z.next_in = reinterpret_cast<Bytef*>(stream.data());
        z.avail_in = uInt(stream.size());
        z.next_out = inflated.data();
        z.avail_out = uInt(inflated.size());
        EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);  // the check value is tested on the way
        EXPECT_EQ(z.total_out, rows);
        EXPECT_EQ(z.avail_in, 0u);
        inflateEnd(&z);

        const QImage back = QImage(path).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(back.size(), picture.size());
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb in = picture.pixel(x, y);
                const bool transparent = shape.key && (in & 0xFFFFFFu) == 0xFF00FFu;
                ASSERT_EQ(qAlpha(back.pixel(x, y)), transparent ? 0 : 255) << x << "," << y;
                if (!transparent)
                    ASSERT_EQ(back.pixel(x, y), in | 0xFF000000u) << x << "," << y;
            }
    }
}
