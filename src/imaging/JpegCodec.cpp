#include "JpegCodec.h"

#include "Picture.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

// jpeglib.h first: jerror.h depends on the features it configures.
#include <jpeglib.h>
#include <jerror.h>

// libjpeg reports failures through error_exit, which jumps back here. Each
// function that calls into libjpeg below is a plain C-style frame holding no
// object with a destructor; the C++ caller owns the structures and buffers.

namespace orv {
namespace {

// A progressive file may hold any number of scans and each one costs a pass
// over the whole picture; real encoders use a few dozen.
constexpr int MaxScans = 256;

// libjpeg's own working memory (a progressive picture keeps every coefficient
// until the last scan). Without a backing store, going past it is an error.
constexpr long MaxDecoderMemory = 1024L * 1024 * 1024;

[[noreturn]] void failRead() {
    throw OrvalisError(QStringLiteral("Error Reading JPEG File!"));
}

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

std::jmp_buf& jumpOf(j_common_ptr info) {
    return reinterpret_cast<ErrorManager*>(info->err)->jump;
}

[[noreturn]] void jumpOnError(j_common_ptr info) {
    std::longjmp(jumpOf(info), 1);
}

// Pixels decoded after the data ran out or went bad would be invented, so
// these warnings end the read as errors do. Harmless ones (stray bytes
// between markers, odd version numbers) are let through.
void judgeMessage(j_common_ptr info, int level) {
    if (level >= 0)
        return;
    switch (info->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
        jumpOnError(info);
    default:
        ++info->err->num_warnings;
    }
}

void stayQuiet(j_common_ptr) {}

void limitScans(j_common_ptr info) {
    if (info->is_decompressor
        && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > MaxScans) {
        info->err->msg_code = JERR_NOTIMPL;
        jumpOnError(info);
    }
}

void installErrorManager(ErrorManager& error) {
    jpeg_std_error(&error.base);
    error.base.error_exit = jumpOnError;
    error.base.emit_message = judgeMessage;
    error.base.output_message = stayQuiet;
}

class Decompressor {
public:
    Decompressor() {
        std::memset(&info, 0, sizeof info);
        installErrorManager(error);
        info.err = &error.base;
        progress.progress_monitor = limitScans;
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    jpeg_decompress_struct info;
    ErrorManager error;
    jpeg_progress_mgr progress{};
};

bool createDecompressor(j_decompress_ptr info) {
    if (setjmp(jumpOf(reinterpret_cast<j_common_ptr>(info))))
        return false;
    jpeg_create_decompress(info);
    info->mem->max_memory_to_use = MaxDecoderMemory;
    return true;
}

bool readHeader(j_decompress_ptr info, const unsigned char* data, unsigned long size) {
    if (setjmp(jumpOf(reinterpret_cast<j_common_ptr>(info))))
        return false;
    jpeg_mem_src(info, data, size);
    jpeg_read_header(info, TRUE);
    return true;
}

// The smallest scale n/8 whose output still covers `least` (clipped to the
// picture's own size) on both sides.
bool chooseScale(j_decompress_ptr info, JDIMENSION leastWidth, JDIMENSION leastHeight) {
    if (setjmp(jumpOf(reinterpret_cast<j_common_ptr>(info))))
        return false;
    const JDIMENSION wantWidth = leastWidth < info->image_width ? leastWidth : info->image_width;
    const JDIMENSION wantHeight = leastHeight < info->image_height ? leastHeight : info->image_height;
    info->scale_denom = 8;
    for (unsigned int n = 1; n <= 8; ++n) {
        info->scale_num = n;
        jpeg_calc_output_dimensions(info);
        if (info->output_width >= wantWidth && info->output_height >= wantHeight)
            break;  // 8/8, the full size, always does
    }
    return true;
}

bool startDecompress(j_decompress_ptr info) {
    if (setjmp(jumpOf(reinterpret_cast<j_common_ptr>(info))))
        return false;
    jpeg_start_decompress(info);
    return true;
}

struct ScanlineTarget {
    uchar* bits;  // RGB32 picture
    qsizetype stride;
    JSAMPROW cmykRow;  // null unless the file is CMYK
    bool invertedCmyk;  // as Adobe applications write it
};

void cmykToRgb(const JSAMPLE* in, QRgb* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(int(c * k / 255), int(m * k / 255), int(y * k / 255));
    }
}

bool readScanlines(j_decompress_ptr info, const ScanlineTarget* target) {
    if (setjmp(jumpOf(reinterpret_cast<j_common_ptr>(info))))
        return false;
    constexpr JDIMENSION Batch = 16;
    while (info->output_scanline < info->output_height) {
        const JDIMENSION y = info->output_scanline;
        if (target->cmykRow) {
            JSAMPROW row = target->cmykRow;
            if (jpeg_read_scanlines(info, &row, 1) != 1)
                return false;
            cmykToRgb(row, reinterpret_cast<QRgb*>(target->bits + qsizetype(y) * target->stride),
                      info->output_width, target->invertedCmyk);
            continue;
        }
        JSAMPROW rows[Batch];
        const JDIMENSION count = info->output_height - y < Batch ? info->output_height - y : Batch;
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = target->bits + qsizetype(y + i) * target->stride;
        if (jpeg_read_scanlines(info, rows, count) == 0)
            return false;
    }
    return true;
}

// Compressed output grows in a malloc'ed buffer owned by the C++ caller, so
// nothing is lost when libjpeg gives up half way.
struct GrowingOutput {
    jpeg_destination_mgr base;
    unsigned char* data;
    size_t capacity;
    size_t used;
};

GrowingOutput* outputOf(j_compress_ptr info) {
    return reinterpret_cast<GrowingOutput*>(info->dest);
}

void startOutput(j_compress_ptr info) {
    GrowingOutput* out = outputOf(info);
    if (!out->data) {
        out->capacity = 64 * 1024;
        out->data = static_cast<unsigned char*>(std::malloc(out->capacity));
        if (!out->data)
            ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    }
    out->base.next_output_byte = out->data;
    out->base.free_in_buffer = out->capacity;
}

boolean growOutput(j_compress_ptr info) {
    GrowingOutput* out = outputOf(info);
    const size_t old = out->capacity;
    auto* grown = static_cast<unsigned char*>(std::realloc(out->data, old * 2));
    if (!grown)
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 1);
    out->data = grown;
    out->capacity = old * 2;
    out->base.next_output_byte = grown + old;
    out->base.free_in_buffer = old;
    return TRUE;
}

void finishOutput(j_compress_ptr info) {
    GrowingOutput* out = outputOf(info);
    out->used = out->capacity - out->base.free_in_buffer;
}

class Compressor {
public:
    Compressor() {
        std::memset(&info, 0, sizeof info);
        installErrorManager(error);
        info.err = &error.base;
        std::memset(&output, 0, sizeof output);
        output.base.init_destination = startOutput;
        output.base.empty_output_buffer = growOutput;
        output.base.term_destination = finishOutput;
    }
    ~Compressor() {
        jpeg_destroy_compress(&info);
        std::free(output.data);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    QString message() {
        char text[JMSG_LENGTH_MAX] = {};
        error.base.format_message(reinterpret_cast<j_common_ptr>(&info), text);
        return QString::fromLocal8Bit(text);
    }

    jpeg_compress_struct info;
    ErrorManager error;
    GrowingOutput output;
};

struct ScanlineSource {
    const uchar* bits;  // RGB32 picture
    qsizetype stride;
    JDIMENSION width;
    JDIMENSION height;
};

bool compress(j_compress_ptr info, GrowingOutput* output, const ScanlineSource* source) {
    if (setjmp(jumpOf(reinterpret_cast<j_common_ptr>(info))))
        return false;
    jpeg_create_compress(info);
    info->dest = &output->base;
    info->image_width = source->width;
    info->image_height = source->height;
    info->input_components = 4;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    info->in_color_space = JCS_EXT_BGRX;
#else
    info->in_color_space = JCS_EXT_XRGB;
#endif
    // The defaults are a sequential Huffman-coded YCbCr file.
    jpeg_set_defaults(info);
    jpeg_set_quality(info, JpegCodec::Quality, TRUE);
    jpeg_start_compress(info, TRUE);
    while (info->next_scanline < info->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(source->bits
                                            + qsizetype(info->next_scanline) * source->stride);
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

}  // namespace

QImage JpegCodec::read(const QString& path) {
    return decode(readFileBytes(path));
}

QImage JpegCodec::decode(const QByteArray& file) {
    return decodeCovering(file, QSize());
}

QImage JpegCodec::readCovering(const QString& path, QSize least) {
    return decodeCovering(readFileBytes(path), least);
}

// An empty `least` decodes at full size.
QImage JpegCodec::decodeCovering(const QByteArray& file, QSize least) {
    if (file.isEmpty())
        failRead();
    Decompressor jpeg;
    if (!createDecompressor(&jpeg.info))
        failRead();
    if (!readHeader(&jpeg.info, reinterpret_cast<const unsigned char*>(file.constData()),
                    static_cast<unsigned long>(file.size())))
        failRead();
    if (!acceptablePictureSize(jpeg.info.image_width, jpeg.info.image_height))
        failRead();
    const bool cmyk = jpeg.info.jpeg_color_space == JCS_CMYK
        || jpeg.info.jpeg_color_space == JCS_YCCK;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    jpeg.info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
#else
    jpeg.info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_XRGB;
#endif
    jpeg.info.progress = &jpeg.progress;
    if (!least.isEmpty() && !chooseScale(&jpeg.info, JDIMENSION(least.width()), JDIMENSION(least.height())))
        failRead();
    if (!startDecompress(&jpeg.info))
        failRead();
    if (jpeg.info.output_components != 4
        || !acceptablePictureSize(jpeg.info.output_width, jpeg.info.output_height))
        failRead();

    QImage result(int(jpeg.info.output_width), int(jpeg.info.output_height), QImage::Format_RGB32);
    if (result.isNull())
        failRead();
    std::vector<JSAMPLE> cmykRow;
    try {
        if (cmyk)
            cmykRow.resize(size_t(jpeg.info.output_width) * 4);
    } catch (const std::bad_alloc&) {
        failRead();
    }
    const ScanlineTarget target{result.bits(), result.bytesPerLine(),
                                cmyk ? cmykRow.data() : nullptr,
                                jpeg.info.saw_Adobe_marker != 0};
    if (!readScanlines(&jpeg.info, &target))
        failRead();
    // The end of the file is not read: a picture whose pixels all arrived is
    // kept even when the closing marker is missing.
    return result;
}

QByteArray JpegCodec::encode(const QImage& bitmap) {
    const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB32);
    Compressor jpeg;
    const ScanlineSource source{rgb.constBits(), rgb.bytesPerLine(), JDIMENSION(rgb.width()),
                                JDIMENSION(rgb.height())};
    if (!compress(&jpeg.info, &jpeg.output, &source))
        throw OrvalisError(QStringLiteral("Error Writing JPEG File: ") + jpeg.message());
    return QByteArray(reinterpret_cast<const char*>(jpeg.output.data), qsizetype(jpeg.output.used));
}

void JpegCodec::write(const QString& path, const QImage& bitmap) {
    writeFileSafely(path, encode(bitmap));
}

}  // namespace orv
