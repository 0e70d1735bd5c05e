#include "PngCodec.h"

#include "Picture.h"
#include "core/DurableWrite.h"
#include "core/OrvalisError.h"

#include <QFile>
#include <QBuffer>
#include <QtEndian>

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <thread>
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

// The first line is the fixed text; a reason, when there is one, follows
// on a line of its own.
[[noreturn]] void failOpen(const QString& path, const QString& reason = QString()) {
    QString text = QStringLiteral("Error Opening File ") + path + QStringLiteral("!");
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    throw OrvalisError(text);
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
    bool opaque;  // no alpha and no tRNS: nothing to blend
};

bool readHeader(png_structp png, png_infop info, MemoryInput* in, Layout* layout) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, in, readFromMemory);
    png_set_read_status_fn(png, nullptr);
    png_set_user_limits(png, MaxPictureSide, MaxPictureSide);
    png_set_chunk_malloc_max(png, MaxChunkBytes);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, UnusedChunks, 6);
    // Every chunk's CRC already guards each byte of the compressed data;
    // zlib's second checksum over the inflated rows adds nothing but time.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
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
    // Rows arrive as the picture's own 0xAARRGGBB words (the alpha inverted,
    // or 0xff filler for opaque files), so libpng writes straight into it.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png);
    if (opaque)
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
#else
    if (opaque)
        png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
    else
        png_set_swap_alpha(png);
#endif

    png_read_update_info(png, info);
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    layout->width = width;
    layout->height = height;
    layout->rowBytes = png_get_rowbytes(png, info);
    layout->interlaced = passes > 1;
    layout->opaque = opaque;
    return true;
}

// Pixels arrive as 0xAARRGGBB words with the alpha inverted. Fully opaque
// pixels keep their colour, fully transparent ones take what lies under them,
// the rest are blended.
void blendRow(QRgb* line, const QRgb* under, png_uint_32 width) {
    // Most rows are wholly opaque (every inverted alpha 0): one quick pass.
    QRgb anyClear = 0;
    for (png_uint_32 x = 0; x < width; ++x)
        anyClear |= line[x];
    if ((anyClear >> 24) == 0) {
        for (png_uint_32 x = 0; x < width; ++x)
            line[x] |= 0xFF000000u;
        return;
    }
    for (png_uint_32 x = 0; x < width; ++x) {
        const QRgb pixel = line[x];
        const unsigned alpha = 255u - (pixel >> 24);
        if (alpha == 255) {
            line[x] = pixel | 0xFF000000u;
            continue;
        }
        const QRgb old = under ? under[x] : 0xFFFFFFFFu;
        if (alpha == 0) {
            line[x] = old | 0xFF000000u;
            continue;
        }
        const unsigned keep = 255u - alpha;
        line[x] = qRgb(int((keep * unsigned(qRed(old)) + alpha * unsigned(qRed(pixel))) / 255u),
                       int((keep * unsigned(qGreen(old)) + alpha * unsigned(qGreen(pixel))) / 255u),
                       int((keep * unsigned(qBlue(old)) + alpha * unsigned(qBlue(pixel))) / 255u));
    }
}

struct RowTarget {
    png_bytepp rows;  // the result picture's scanlines
    const uchar* under;  // the backdrop, or null for white
    qsizetype underStride;
};

bool readRows(png_structp png, const Layout* layout, const RowTarget* target) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    const png_uint_32 width = layout->width;
    const png_uint_32 height = layout->height;
    const auto blend = [layout, target, width](png_uint_32 y) {
        if (!layout->opaque)
            blendRow(reinterpret_cast<QRgb*>(target->rows[y]),
                     target->under ? reinterpret_cast<const QRgb*>(target->under + qsizetype(y) * target->underStride)
                                   : nullptr,
                     width);
    };
    if (layout->interlaced) {
        png_read_image(png, target->rows);
        for (png_uint_32 y = 0; y < height; ++y)
            blend(y);
    } else {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, target->rows[y], nullptr);
            blend(y);
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

// The file reaches the disk in one durable write after encoding.
void flushDevice(png_structp) {}

struct RowSource {
    const uchar* bits;  // RGB32
    qsizetype stride;
    png_uint_32 width;
    png_uint_32 height;
    bool withAlpha;
    QRgb transparent;  // compared without its alpha byte

    size_t pixelBytes() const { return size_t(width) * (withAlpha ? 4 : 3); }
    size_t filteredBytes() const { return 1 + pixelBytes(); }  // with the filter byte
};

void fillRow(const RowSource& source, png_uint_32 y, png_bytep out) {
    const auto* in = reinterpret_cast<const QRgb*>(source.bits + qsizetype(y) * source.stride);
    const QRgb key = source.transparent & 0xFFFFFFu;
    if (source.withAlpha) {
        // Whole words, so the compiler can do several pixels at a time.
        for (png_uint_32 x = 0; x < source.width; ++x, out += 4) {
            const quint32 rgb = in[x] & 0xFFFFFFu;
            const quint32 alpha = rgb == key ? 0u : 0xFFu;
            const quint32 bytes = (rgb >> 16) | (rgb & 0xFF00u) | ((rgb & 0xFFu) << 16) | (alpha << 24);
            qToLittleEndian<quint32>(bytes, out);
        }
    } else {
        for (png_uint_32 x = 0; x < source.width; ++x, out += 3) {
            const QRgb pixel = in[x];
            out[0] = png_byte(qRed(pixel));
            out[1] = png_byte(qGreen(pixel));
            out[2] = png_byte(qBlue(pixel));
        }
    }
}

// The rows as the file stores them, each with the Up filter: its type byte,
// then every byte less the one above it (the row above the first row counts
// as zeros). The Up filter turns the repeated rows of drawn pictures (map,
// panels, screens) into runs of zeros and costs nothing to choose, where
// trying all five filters on every row costs more than the deflating.
class UpFilter {
public:
    UpFilter(const RowSource& source, png_uint_32 first)
        : source_(source), above_(source.pixelBytes(), 0), row_(source.pixelBytes()), next_(first) {
        if (first > 0)
            fillRow(source, first - 1, above_.data());
    }
    // The next `count` rows into `out`.
    void rows(png_uint_32 count, uchar* out) {
        const size_t bytes = above_.size();
        for (png_uint_32 end = next_ + count; next_ < end; ++next_, out += 1 + bytes) {
            fillRow(source_, next_, row_.data());
            out[0] = PNG_FILTER_VALUE_UP;
            subtractBytes(row_.data(), above_.data(), bytes, out + 1);
            above_.swap(row_);
        }
    }

private:
    // out[i] = a[i] - b[i] for every byte, four bytes to a word: the low
    // seven bits of each byte are subtracted with the top bit of `a` set, so
    // no borrow crosses into the next byte, and the top bits are put right
    // after.
    static void subtractBytes(const uchar* a, const uchar* b, size_t size, uchar* out) {
        size_t i = 0;
        for (; i + 4 <= size; i += 4) {
            quint32 x, y;
            std::memcpy(&x, a + i, 4);
            std::memcpy(&y, b + i, 4);
            const quint32 difference = ((x | 0x80808080u) - (y & 0x7F7F7F7Fu)) ^ ((x ^ ~y) & 0x80808080u);
            std::memcpy(out + i, &difference, 4);
        }
        for (; i < size; ++i)
            out[i] = uchar(a[i] - b[i]);
    }


    const RowSource& source_;
    std::vector<uchar> above_;
    std::vector<uchar> row_;
    png_uint_32 next_;
};

// Saving is done while the author waits, so speed comes first. Level 4 is
// zlib's fastest level that looks ahead for a better match, which is what
// keeps flat pictures (the map, panels) near the default level's size for
// about half its time. The rows are deflated in bands on several threads;
// each band starts from the window of data before it, so the file is about
// as small as one deflate of the whole would make it.
constexpr int kLevel = 4;
constexpr size_t kWindow = 32768;
constexpr size_t kLeastBandBytes = 512 * 1024;
constexpr unsigned kMostBands = 4;
constexpr size_t kStep = 64 * 1024;  // filtered a piece at a time, to stay in the cache

struct Band {
    png_uint_32 first = 0;
    png_uint_32 last = 0;
    std::vector<uchar> deflated;
    uLong adler = 1;
    bool ok = false;
};

// Deflates the band's rows: a raw deflate stream that ends on a byte
// boundary (or, for the last band, ends the stream), and their check value;
// `ok` says whether it all went through.
void deflateBand(const RowSource& source, Band& band, bool lastBand) {
    const size_t rowBytes = source.filteredBytes();
    const png_uint_32 windowRows = png_uint_32(std::min<size_t>(band.first, (kWindow + rowBytes - 1) / rowBytes));
    const png_uint_32 stepRows = png_uint_32(std::max<size_t>(1, kStep / rowBytes));
    z_stream z{};
    if (deflateInit2(&z, kLevel, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    int result = Z_OK;
    try {
        std::vector<uchar> piece(size_t(std::max(stepRows, windowRows)) * rowBytes);
        UpFilter filter(source, band.first - windowRows);
        if (windowRows > 0) {
            filter.rows(windowRows, piece.data());
            const size_t windowBytes = std::min<size_t>(size_t(windowRows) * rowBytes, kWindow);
            deflateSetDictionary(&z, piece.data() + size_t(windowRows) * rowBytes - windowBytes, uInt(windowBytes));
        }
        // Drawn pictures deflate to a small part of their size; the buffer
        // grows when a picture does not.
        band.deflated.resize(size_t(band.last - band.first) * rowBytes / 8 + 4096);
        size_t produced = 0;
        for (png_uint_32 y = band.first; result == Z_OK && y < band.last;) {
            const png_uint_32 count = std::min(stepRows, band.last - y);
            y += count;
            filter.rows(count, piece.data());
            band.adler = adler32(band.adler, piece.data(), uInt(size_t(count) * rowBytes));
            z.next_in = piece.data();
            z.avail_in = uInt(size_t(count) * rowBytes);
            const int flush = y < band.last ? Z_NO_FLUSH : lastBand ? Z_FINISH : Z_SYNC_FLUSH;
            for (;;) {
                z.next_out = band.deflated.data() + produced;
                z.avail_out = uInt(band.deflated.size() - produced);
                result = deflate(&z, flush);
                produced = band.deflated.size() - z.avail_out;
                if (result == Z_STREAM_END || (flush != Z_FINISH && result == Z_OK && z.avail_out > 0))
                    break;
                if (result != Z_OK && result != Z_BUF_ERROR)
                    break;
                band.deflated.resize(band.deflated.size() * 2);
                result = Z_OK;
            }
        }
        band.deflated.resize(produced);
    } catch (const std::bad_alloc&) {
        result = Z_MEM_ERROR;
    }
    deflateEnd(&z);
    band.ok = lastBand ? result == Z_STREAM_END : result == Z_OK;
}

// The picture data as one zlib stream: a header, the bands one after the
// other, and the check value of all the rows.
bool deflatePicture(const RowSource& source, std::vector<uchar>& stream) {
    const size_t total = size_t(source.height) * source.filteredBytes();
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t bandCount = std::clamp<size_t>(std::min<size_t>(std::min(cores, kMostBands), total / kLeastBandBytes),
                                                1, std::max<png_uint_32>(source.height, 1));
    std::vector<Band> bands(bandCount);
    for (size_t b = 0; b < bandCount; ++b) {
        bands[b].first = png_uint_32(size_t(source.height) * b / bandCount);
        bands[b].last = png_uint_32(size_t(source.height) * (b + 1) / bandCount);
    }
    std::vector<std::thread> helpers;
    for (size_t b = 1; b < bandCount; ++b)
        helpers.emplace_back([&source, &bands, b, bandCount] { deflateBand(source, bands[b], b + 1 == bandCount); });
    deflateBand(source, bands[0], bandCount == 1);
    for (std::thread& helper : helpers)
        helper.join();

    stream.clear();
    stream.push_back(0x78);  // deflate, 32 KiB window
    stream.push_back(0x5E);  // a fast level, no dictionary
    uLong adler = 1;
    for (const Band& band : bands) {
        if (!band.ok)
            return false;
        stream.insert(stream.end(), band.deflated.begin(), band.deflated.end());
        adler = adler32_combine(adler, band.adler, z_off_t(size_t(band.last - band.first) * source.filteredBytes()));
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        stream.push_back(uchar(adler >> shift));
    return true;
}

bool writeFile(png_structp png, png_infop info, QIODevice* device, const RowSource* source,
               const uchar* stream, size_t streamSize) {
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
    static constexpr png_byte idat[5] = "IDAT";
    static constexpr png_byte iend[5] = "IEND";
    constexpr size_t kChunk = 64 * 1024;  // the size libpng's own writer uses
    for (size_t at = 0; at < streamSize; at += kChunk)
        png_write_chunk(png, idat, stream + at, std::min(kChunk, streamSize - at));
    png_write_chunk(png, iend, nullptr, 0);
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

    std::vector<png_bytep> rows;
    try {
        rows.resize(layout.height);
    } catch (const std::bad_alloc&) {
        failRead();
    }
    for (png_uint_32 y = 0; y < layout.height; ++y)
        rows[y] = result.scanLine(int(y));
    RowTarget target{rows.data(), nullptr, 0};
    if (!under.isNull()) {
        target.under = under.constBits();
        target.underStride = under.bytesPerLine();
    }
    if (!readRows(png.png, &layout, &target))
        failRead();
    return result;
}

void PngCodec::write(const QString& path, const QImage& bitmap, std::optional<QRgb> transparent) {
    const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB32);
    // The whole file is made in memory, then written by the one durable
    // write: a full disk can no longer leave a short PNG behind.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        WriteStruct png;
        if (!png.png || !png.info)
            throw OrvalisError(QStringLiteral("Error Writing PNG File!"));
        const RowSource source{rgb.constBits(), rgb.bytesPerLine(), png_uint_32(qMax(rgb.width(), 0)),
                               png_uint_32(qMax(rgb.height(), 0)), transparent.has_value(),
                               transparent.value_or(0)};
        std::vector<uchar> stream;
        if (!deflatePicture(source, stream) ||
            !writeFile(png.png, png.info, &buffer, &source, stream.data(), stream.size()))
            throw OrvalisError(QStringLiteral("Error Writing PNG File!"));
    }
    try {
        writeFileSafely(path, bytes);
    } catch (const WriteError& error) {
        // Refused before a byte is written (a folder or a read-only file in
        // its place, a folder or file system that takes no new file): the
        // file cannot be opened, said in the writer's own words with the
        // reason below. Failures after that (a full disk, a failed sync or
        // rename) keep the safe write's text, which names the file and says
        // the old one stands.
        if (error.step() == WriteError::Step::Check || error.step() == WriteError::Step::Open)
            failOpen(path, error.text());
        throw;
    }
}

}  // namespace orv
