#include "GifCodec.h"

#include "PaletteReducer.h"
#include "Picture.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace orv {
namespace {

// GIF sizes are 16-bit fields.
constexpr int MaxGifSide = 65535;

[[noreturn]] void failRead() {
    throw OrvalisError(QStringLiteral("Error Reading GIF File!"));
}

[[noreturn]] void failWrite(const QString& why) {
    throw OrvalisError(QStringLiteral("Error Writing GIF File: ") + why);
}

[[noreturn]] void failWrite(int error) {
    const char* why = GifErrorString(error);
    failWrite(QString::fromLatin1(why ? why : "unknown error"));
}

struct GifInput {
    const GifByteType* data;
    size_t size;
    size_t position;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int length) {
    auto* in = static_cast<GifInput*>(gif->UserData);
    if (length <= 0)
        return 0;
    const size_t count = std::min(size_t(length), in->size - in->position);
    std::memcpy(out, in->data + in->position, count);
    in->position += count;
    return int(count);
}

// A throw must not cross giflib's C frames: a failed append is reported as a
// short write, which giflib turns into its own error.
int writeToBytes(GifFileType* gif, const GifByteType* data, int length) {
    try {
        static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
        return length;
    } catch (...) {
        return 0;
    }
}

struct DecoderCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
struct EncoderCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};
struct MapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

void skipExtension(GifFileType* gif) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
        failRead();
    while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
            failRead();
}

std::array<QRgb, 256> coloursOf(const ColorMapObject* map) {
    std::array<QRgb, 256> colours;
    colours.fill(qRgb(0, 0, 0));  // indices past a short map
    const int count = std::min(map->ColorCount, 256);
    for (int i = 0; i < count; ++i)
        colours[size_t(i)] = qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
    return colours;
}

QImage readFrame(GifFileType* gif) {
    const GifImageDesc& frame = gif->Image;
    if (!acceptablePictureSize(frame.Width, frame.Height))
        failRead();
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map || !map->Colors)
        failRead();
    const std::array<QRgb, 256> colours = coloursOf(map);

    QImage picture(frame.Width, frame.Height, QImage::Format_RGB32);
    if (picture.isNull())
        failRead();
    std::vector<GifPixelType> line;
    try {
        line.resize(size_t(frame.Width));
    } catch (const std::bad_alloc&) {
        failRead();
    }
    const auto readLine = [&](int y) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR)
            failRead();
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < frame.Width; ++x)
            out[x] = colours[line[size_t(x)]];
    };
    if (frame.Interlace) {
        static constexpr int Start[] = {0, 4, 2, 1};
        static constexpr int Step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = Start[pass]; y < frame.Height; y += Step[pass])
                readLine(y);
    } else {
        for (int y = 0; y < frame.Height; ++y)
            readLine(y);
    }
    return picture;
}

// A frame smaller than the logical screen, or placed off its corner, is drawn
// onto a screen-sized picture filled with the background colour.
QImage placeOnScreen(const GifFileType* gif, const QImage& frame) {
    QImage screen(gif->SWidth, gif->SHeight, QImage::Format_RGB32);
    if (screen.isNull())
        failRead();
    const ColorMapObject* map = gif->SColorMap ? gif->SColorMap : gif->Image.ColorMap;
    screen.fill(coloursOf(map)[size_t(gif->SBackGroundColor) & 0xFF]);
    const int left = gif->Image.Left;
    const int top = gif->Image.Top;
    const int fromX = std::max(0, -left);
    const int toX = std::min(frame.width(), screen.width() - left);
    for (int y = std::max(0, -top); y < frame.height() && y + top < screen.height(); ++y) {
        if (toX <= fromX)
            break;
        std::memcpy(reinterpret_cast<QRgb*>(screen.scanLine(y + top)) + left + fromX,
                    reinterpret_cast<const QRgb*>(frame.constScanLine(y)) + fromX,
                    size_t(toX - fromX) * sizeof(QRgb));
    }
    return screen;
}

}  // namespace

QImage GifCodec::read(const QString& path) {
    return decode(readFileBytes(path));
}

QImage GifCodec::decode(const QByteArray& file) {
    GifInput in{reinterpret_cast<const GifByteType*>(file.constData()), size_t(file.size()), 0};
    int error = 0;
    const std::unique_ptr<GifFileType, DecoderCloser> gif(DGifOpen(&in, readFromMemory, &error));
    if (!gif)
        failRead();
    if (!acceptablePictureSize(gif->SWidth, gif->SHeight))
        failRead();
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            failRead();
        if (type == EXTENSION_RECORD_TYPE) {
            skipExtension(gif.get());
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif.get()) == GIF_ERROR)
            failRead();  // the file ends without a frame
        const QImage frame = readFrame(gif.get());
        if (frame.width() == gif->SWidth && frame.height() == gif->SHeight)
            return frame;
        return placeOnScreen(gif.get(), frame);
    }
}

QByteArray GifCodec::encode(const QImage& bitmap) {
    if (bitmap.width() <= 0 || bitmap.height() <= 0 || bitmap.width() > MaxGifSide
        || bitmap.height() > MaxGifSide)
        failWrite(QStringLiteral("a GIF picture has 1 to 65535 pixels a side"));
    const IndexedPicture picture = PaletteReducer::reduce(bitmap);

    int size = 2;
    while (size < picture.palette.size())
        size *= 2;
    std::vector<GifColorType> entries(size_t(size), GifColorType{0, 0, 0});
    for (qsizetype i = 0; i < picture.palette.size(); ++i)
        entries[size_t(i)] = GifColorType{GifByteType(qRed(picture.palette[i])),
                                          GifByteType(qGreen(picture.palette[i])),
                                          GifByteType(qBlue(picture.palette[i]))};
    const std::unique_ptr<ColorMapObject, MapDeleter> map(GifMakeMapObject(size, entries.data()));
    if (!map)
        failWrite(E_GIF_ERR_NOT_ENOUGH_MEM);

    QByteArray bytes;
    int error = 0;
    std::unique_ptr<GifFileType, EncoderCloser> gif(EGifOpen(&bytes, writeToBytes, &error));
    if (!gif)
        failWrite(error);
    EGifSetGifVersion(gif.get(), true);
    if (EGifPutScreenDesc(gif.get(), picture.width, picture.height, 8, picture.transparentIndex,
                          map.get())
        == GIF_ERROR)
        failWrite(gif->Error);

    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSAL_UNSPECIFIED;
    control.UserInputFlag = false;
    control.DelayTime = 0;
    control.TransparentColor = picture.transparentIndex;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_ERROR
        || EGifPutImageDesc(gif.get(), 0, 0, picture.width, picture.height, false, nullptr)
            == GIF_ERROR)
        failWrite(gif->Error);
    for (int y = 0; y < picture.height; ++y) {
        auto* row = const_cast<GifPixelType*>(picture.indices.data() + size_t(y) * size_t(picture.width));
        if (EGifPutLine(gif.get(), row, picture.width) == GIF_ERROR)
            failWrite(gif->Error);
    }
    if (EGifCloseFile(gif.release(), &error) == GIF_ERROR)
        failWrite(error);
    return bytes;
}

void GifCodec::write(const QString& path, const QImage& bitmap) {
    writeFileSafely(path, encode(bitmap));
}

}  // namespace orv
