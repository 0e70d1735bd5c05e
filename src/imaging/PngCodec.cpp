#include "PngCodec.h"

#include "Picture.h"
#include "app/OrvalisError.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <png.h>

#include <cstring>
#include <new>
#include <vector>

// libpng reports failures by longjmp. Each function that calls into libpng
// below is a plain C-style frame holding no object with a destructor, so the
// jump skips nothing; the C++ caller owns every resource and turns a false
// return into the error the author reads.

namespace orv {
namespace {

[[noreturn]] void failRead() {
    throw OrvalisError(QStringLiteral("Error Reading File!"));
}

[[noreturn]] void failOpen(const QString& path) {
    throw OrvalisError(QStringLiteral("Error Opening File ") + path + QStringLiteral("!"));
}

// The author gets one fixed text per direction, so libpng's own messages are
// neither printed nor kept.
void jumpOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void ignoreWarning(png_structp, png_const_charp) {}

// Ancillary chunks (profiles, compressed text) may not ask for more than this.
constexpr png_alloc_size_t MaxChunkBytes = 8u << 20;

// Deflate cannot expand one byte into more than 1032: a file claiming more
// pixel data than that is truncated or hostile, and is refused before the
// picture is allocated.
constexpr unsigned long long MaxDeflateRatio = 1032;

// libpng sets aside (and clears) a chunk's whole stated length before reading
// it, so a chunk claiming more bytes than the file holds is refused here. Only
// the chunks before the image data matter: image data is read piecewise, and
// nothing after it is read at all.
bool chunksFitInFile(const QByteArray& file) {
    const auto* data = reinterpret_cast<const uchar*>(file.constData());
    const size_t size = size_t(file.size());
    size_t at = 8;  // past the signature
    while (at + 8 <= size) {
        if (std::memcmp(data + at + 4, "IDAT", 4) == 0)
            return true;
        const quint32 length = qFromBigEndian<quint32>(data + at);
        if (size - at < 12 || length > size - at - 12)
            return false;
        at += 12 + size_t(length);
    }
    return true;  // libpng reports the missing end itself
}

// Text, profiles and suggested palettes play no part in the picture.
constexpr png_byte UnusedChunks[] = "iCCP\0iTXt\0sPLT\0tEXt\0zTXt\0eXIf";

struct MemoryInput {
    const png_byte* data;
    size_t size;
    size_t position;
};

void readFromMemory(png_structp png, png_bytep out, size_t length) {
    auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (length > in->size - in->position)
        png_error(png, "unexpected end of file");
    std::memcpy(out, in->data + in->position, length);
    in->position += length;
}

class ReadStruct {
public:
    ReadStruct() {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOnError, ignoreWarning);
        if (png)
            info = png_create_info_struct(png);
    }
    ~ReadStruct() {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
    ReadStruct(const ReadStruct&) = delete;
    ReadStruct& operator=(const ReadStruct&) = delete;

    png_structp png = nullptr;
    png_infop info = nullptr;
};

struct Layout {
    png_uint_32 width;
    png_uint_32 height;
    int storedBitsPerPixel;  // as in the file, before any transform
    size_t rowBytes;         // after the transforms
    bool interlaced;
    bool opaque;  // no alpha and no tRNS: rows can go straight into the picture
};

bool readHeader(png_structp png, png_infop info, MemoryInput* in, Layout* layout) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, in, readFromMemory);
    png_set_read_status_fn(png, nullptr);
    png_set_user_limits(png, MaxPictureSide, MaxPictureSide);
    png_set_chunk_malloc_max(png, MaxChunkBytes);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, UnusedChunks, 6);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int type = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    layout->storedBitsPerPixel = depth * png_get_channels(png, info);

    png_set_invert_alpha(png);
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if ((type == PNG_COLOR_TYPE_PALETTE && depth <= 8) || (type == PNG_COLOR_TYPE_GRAY && depth < 8)
        || hasTrns)
        png_set_expand(png);
    if (depth < 8)
        png_set_packing(png);
    if (depth == 16)
        png_set_swap(png);

    // Everything else is brought to 8-bit RGB too, so every row ends up with
    // exactly four bytes a pixel whatever the file holds.
    if (depth == 16)
        png_set_scale_16(png);
    if ((type & PNG_COLOR_MASK_COLOR) == 0)
        png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    const bool opaque = (type & PNG_COLOR_MASK_ALPHA) == 0 && !hasTrns;
    if (opaque) {
        // Laid out as the picture's own 0xffRRGGBB words.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        png_set_bgr(png);
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
#else
        png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
#endif
    }

    png_read_update_info(png, info);
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    layout->width = width;
    layout->height = height;
    layout->rowBytes = png_get_rowbytes(png, info);
    layout->interlaced = passes > 1;
    layout->opaque = opaque;
    return true;
}

// Rows of R, G, B, inverted alpha. Fully opaque pixels copy the colour, fully
// transparent ones keep what lies under them, the rest are blended.
void blendRow(const png_byte* in, QRgb* out, const QRgb* under, png_uint_32 width) {
    for (png_uint_32 x = 0; x < width; ++x, in += 4) {
        const unsigned alpha = 255u - in[3];
        if (alpha == 255) {
            out[x] = qRgb(in[0], in[1], in[2]);
            continue;
        }
        const QRgb old = under ? under[x] : 0xFFFFFFFFu;
        if (alpha == 0) {
            out[x] = old | 0xFF000000u;
            continue;
        }
        const unsigned keep = 255u - alpha;
        out[x] = qRgb(int((keep * unsigned(qRed(old)) + alpha * in[0]) / 255u),
                      int((keep * unsigned(qGreen(old)) + alpha * in[1]) / 255u),
                      int((keep * unsigned(qBlue(old)) + alpha * in[2]) / 255u));
    }
}

struct RowTarget {
    uchar* bits;  // the result picture
    qsizetype stride;
    const uchar* under;  // the backdrop, or null for white
    qsizetype underStride;
    png_bytep row;    // one row, for non-interlaced rows with alpha
    png_bytepp rows;  // every row, for interlaced files
};

bool readRows(png_structp png, const Layout* layout, const RowTarget* target) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    const png_uint_32 width = layout->width;
    const png_uint_32 height = layout->height;
    const auto outRow = [target](png_uint_32 y) {
        return reinterpret_cast<QRgb*>(target->bits + qsizetype(y) * target->stride);
    };
    const auto underRow = [target](png_uint_32 y) {
        return target->under
            ? reinterpret_cast<const QRgb*>(target->under + qsizetype(y) * target->underStride)
            : nullptr;
    };
    if (layout->interlaced) {
        png_read_image(png, target->rows);
        if (!layout->opaque)
            for (png_uint_32 y = 0; y < height; ++y)
                blendRow(target->rows[y], outRow(y), underRow(y), width);
    } else if (layout->opaque) {
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, reinterpret_cast<png_bytep>(outRow(y)), nullptr);
    } else {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, target->row, nullptr);
            blendRow(target->row, outRow(y), underRow(y), width);
        }
    }
    return true;
}

class WriteStruct {
public:
    WriteStruct() {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOnError, ignoreWarning);
        if (png)
            info = png_create_info_struct(png);
    }
    ~WriteStruct() {
        if (png)
            png_destroy_write_struct(&png, info ? &info : nullptr);
    }
    WriteStruct(const WriteStruct&) = delete;
    WriteStruct& operator=(const WriteStruct&) = delete;

    png_structp png = nullptr;
    png_infop info = nullptr;
};

void writeToDevice(png_structp png, png_bytep data, size_t length) {
    auto* device = static_cast<QIODevice*>(png_get_io_ptr(png));
    if (device->write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length))
        png_error(png, "write failed");
}

// The file reaches the disk when it is committed.
void flushDevice(png_structp) {}

struct RowSource {
    const uchar* bits;  // RGB32
    qsizetype stride;
    png_uint_32 width;
    png_uint_32 height;
    bool withAlpha;
    QRgb transparent;  // compared without its alpha byte
    png_bytep row;
};

void fillRow(const RowSource* source, png_uint_32 y) {
    const auto* in = reinterpret_cast<const QRgb*>(source->bits + qsizetype(y) * source->stride);
    png_bytep out = source->row;
    const QRgb key = source->transparent & 0xFFFFFFu;
    if (source->withAlpha) {
        for (png_uint_32 x = 0; x < source->width; ++x, out += 4) {
            const QRgb pixel = in[x];
            out[0] = png_byte(qRed(pixel));
            out[1] = png_byte(qGreen(pixel));
            out[2] = png_byte(qBlue(pixel));
            out[3] = (pixel & 0xFFFFFFu) == key ? 0 : 255;
        }
    } else {
        for (png_uint_32 x = 0; x < source->width; ++x, out += 3) {
            const QRgb pixel = in[x];
            out[0] = png_byte(qRed(pixel));
            out[1] = png_byte(qGreen(pixel));
            out[2] = png_byte(qBlue(pixel));
        }
    }
}

bool writeRows(png_structp png, png_infop info, QIODevice* device, const RowSource* source) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, device, writeToDevice, flushDevice);
    png_set_write_status_fn(png, nullptr);
    png_set_IHDR(png, info, source->width, source->height, 8,
                 source->withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_text text;
    std::memset(&text, 0, sizeof text);
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<png_charp>("Software");
    text.text = const_cast<png_charp>("Orvalis");
    png_set_text(png, info, &text, 1);
    png_write_info(png, info);
    for (png_uint_32 y = 0; y < source->height; ++y) {
        fillRow(source, y);
        png_write_row(png, source->row);
    }
    png_write_end(png, info);
    png_write_flush(png);
    return true;
}

}  // namespace

QImage PngCodec::read(const QString& path, const QImage& backdrop) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        failOpen(path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        failRead();
    file.close();
    return decode(bytes, backdrop);
}

QImage PngCodec::decode(const QByteArray& file, const QImage& backdrop) {
    if (!chunksFitInFile(file))
        failRead();
    ReadStruct png;
    if (!png.png || !png.info)
        failRead();
    MemoryInput in{reinterpret_cast<const png_byte*>(file.constData()), size_t(file.size()), 0};
    Layout layout{};
    if (!readHeader(png.png, png.info, &in, &layout))
        failRead();
    if (!acceptablePictureSize(layout.width, layout.height)
        || layout.rowBytes != size_t(layout.width) * 4)
        failRead();
    const unsigned long long leastPixelBytes =
        (static_cast<unsigned long long>(layout.width) * layout.storedBitsPerPixel + 7) / 8
        * layout.height;
    if (leastPixelBytes > static_cast<unsigned long long>(file.size()) * MaxDeflateRatio + 4096)
        failRead();

    QImage result(int(layout.width), int(layout.height), QImage::Format_RGB32);
    if (result.isNull())
        failRead();
    QImage under;
    if (!layout.opaque && backdrop.size() == result.size())
        under = backdrop.convertToFormat(QImage::Format_RGB32);

    std::vector<png_byte> buffer;
    std::vector<png_bytep> rows;
    RowTarget target{result.bits(), result.bytesPerLine(), nullptr, 0, nullptr, nullptr};
    if (!under.isNull()) {
        target.under = under.constBits();
        target.underStride = under.bytesPerLine();
    }
    try {
        if (layout.interlaced) {
            rows.resize(layout.height);
            if (!layout.opaque)
                buffer.resize(layout.rowBytes * layout.height);
            for (png_uint_32 y = 0; y < layout.height; ++y)
                rows[y] = layout.opaque ? target.bits + qsizetype(y) * target.stride
                                        : buffer.data() + layout.rowBytes * y;
            target.rows = rows.data();
        } else if (!layout.opaque) {
            buffer.resize(layout.rowBytes);
            target.row = buffer.data();
        }
    } catch (const std::bad_alloc&) {
        failRead();
    }
    if (!readRows(png.png, &layout, &target))
        failRead();
    return result;
}

void PngCodec::write(const QString& path, const QImage& bitmap, std::optional<QRgb> transparent) {
    const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB32);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        failOpen(path);
    const auto fail = [&file] {
        file.cancelWriting();
        throw OrvalisError(QStringLiteral("Error Writing PNG File!"));
    };
    {
        WriteStruct png;
        if (!png.png || !png.info)
            fail();
        std::vector<png_byte> row(size_t(qMax(rgb.width(), 0)) * 4);
        const RowSource source{rgb.constBits(), rgb.bytesPerLine(), png_uint_32(rgb.width()),
                               png_uint_32(rgb.height()), transparent.has_value(),
                               transparent.value_or(0), row.data()};
        if (!writeRows(png.png, png.info, &file, &source))
            fail();
    }
    if (!file.commit())
        throw OrvalisError(QStringLiteral("Error Writing PNG File!"));
}

}  // namespace orv
