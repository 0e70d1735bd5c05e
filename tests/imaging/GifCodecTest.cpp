#include "TestPictures.h"
#include "imaging/GifCodec.h"
#include "imaging/Picture.h"

#include <gtest/gtest.h>
#include <gif_lib.h>

#include <cstring>
#include <functional>

using namespace orv;
using namespace orv::test;

namespace {

struct GifFacts {
    int frames = 0;
    int background = -1;
    int transparent = -1;
    QList<QRgb> palette;
};

int readBytes(GifFileType* gif, GifByteType* out, int length) {
    auto* in = static_cast<QByteArray*>(gif->UserData);
    const int count = std::min<int>(length, int(in->size()));
    std::memcpy(out, in->constData(), size_t(count));
    in->remove(0, count);
    return count;
}

GifFacts factsOf(QByteArray file) {
    GifFacts facts;
    int error = 0;
    GifFileType* gif = DGifOpen(&file, readBytes, &error);
    if (!gif || DGifSlurp(gif) != GIF_OK)
        return facts;
    facts.frames = gif->ImageCount;
    facts.background = gif->SBackGroundColor;
    GraphicsControlBlock control;
    if (DGifSavedExtensionToGCB(gif, 0, &control) == GIF_OK)
        facts.transparent = control.TransparentColor;
    for (int i = 0; gif->SColorMap && i < gif->SColorMap->ColorCount; ++i) {
        const GifColorType c = gif->SColorMap->Colors[i];
        facts.palette.append(qRgb(c.Red, c.Green, c.Blue));
    }
    DGifCloseFile(gif, &error);
    return facts;
}

int appendBytes(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

// A GIF made with giflib: a four-colour global palette and one frame whose
// rows are given in file order (pass order when interlaced).
QByteArray gifFile(QSize screen, int background, QRect frame, bool interlaced,
                   const std::function<int(int, int)>& index) {
    QByteArray bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, appendBytes, &error);
    GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifPutScreenDesc(gif, screen.width(), screen.height(), 8, background, map);
    EGifPutImageDesc(gif, frame.x(), frame.y(), frame.width(), frame.height(), interlaced, nullptr);
    std::vector<int> order;
    if (interlaced) {
        for (int pass = 0; pass < 4; ++pass)
            for (int y = (int[]){0, 4, 2, 1}[pass]; y < frame.height(); y += (int[]){8, 8, 4, 2}[pass])
                order.push_back(y);
    } else {
        for (int y = 0; y < frame.height(); ++y)
            order.push_back(y);
    }
    for (int y : order) {
        std::vector<GifPixelType> line;
        for (int x = 0; x < frame.width(); ++x)
            line.push_back(GifPixelType(index(x, y)));
        EGifPutLine(gif, line.data(), frame.width());
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return bytes;
}

const QRgb FourColours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(9, 9, 9)};

}  // namespace

// Up to 256 colours, magenta included, come back exactly, from a one-frame
// GIF89a whose background and transparent entry are magenta.
TEST(GifCodec, FewColoursRoundTripExactly) {
    QImage picture(32, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 32; ++x)
            picture.setPixel(x, y, x == 0 && y == 0 ? KeyColour : qRgb(x * 8, y * 30, 77));  // 256 colours
    for (const QImage& original : {fewColours(30, 20), picture}) {
        const QByteArray file = GifCodec::encode(original);
        EXPECT_TRUE(file.startsWith("GIF89a"));
        EXPECT_EQ(GifCodec::decode(file), original);
        const GifFacts facts = factsOf(file);
        EXPECT_EQ(facts.frames, 1);
        ASSERT_GE(facts.transparent, 0);
        EXPECT_EQ(facts.transparent, facts.background);
        EXPECT_EQ(facts.palette.value(facts.transparent), KeyColour);
    }
}

// A picture of many colours is reduced, but magenta stays exactly where it
// was and nowhere else, even beside near-magenta shades.
TEST(GifCodec, RichPicturesKeepMagentaExact) {
    QImage picture = scene(200, 120, true);
    for (int y = 100; y < 120; ++y)
        for (int x = 0; x < 200; ++x)
            picture.setPixel(x, y, qRgb(250 + x % 6, (x + y) % 4, 251 + y % 5));
    const QByteArray file = GifCodec::encode(picture);
    const QImage back = GifCodec::decode(file);
    ASSERT_EQ(back.size(), picture.size());
    int keyPixels = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x) {
            const bool wasKey = (picture.pixel(x, y) & 0xFFFFFF) == (KeyColour & 0xFFFFFF);
            keyPixels += wasKey;
            ASSERT_EQ(back.pixel(x, y) == KeyColour, wasKey) << "at " << x << "," << y;
        }
    EXPECT_GT(keyPixels, 1000);
    EXPECT_LT(meanError(back, picture), 4.0);
    const GifFacts facts = factsOf(file);
    EXPECT_EQ(facts.palette.value(facts.transparent), KeyColour);
    EXPECT_EQ(facts.palette.count(KeyColour), 1);
}

// The first frame lands on a screen-sized picture: offset frames over the
// background colour, interlaced rows in their places.
TEST(GifCodec, FirstFrameIsPlacedOnTheLogicalScreen) {
    const auto pattern = [](int x, int y) { return (x + 2 * y) % 4; };
    const QImage offset = GifCodec::decode(gifFile({8, 6}, 2, QRect(3, 2, 4, 3), false, pattern));
    ASSERT_EQ(offset.size(), QSize(8, 6));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inFrame = QRect(3, 2, 4, 3).contains(x, y);
            ASSERT_EQ(offset.pixel(x, y), inFrame ? FourColours[pattern(x - 3, y - 2)] : FourColours[2]);
        }

    const QImage interlaced = GifCodec::decode(gifFile({5, 19}, 0, QRect(0, 0, 5, 19), true, pattern));
    ASSERT_EQ(interlaced.size(), QSize(5, 19));
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(interlaced.pixel(x, y), FourColours[pattern(x, y)]) << "at " << x << "," << y;
}
