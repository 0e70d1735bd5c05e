#include "TestPictures.h"
#include "imaging/JpegCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

using namespace orv;
using namespace orv::test;

namespace {

// A JPEG made straight with libjpeg, for colour spaces the editor never writes.
QByteArray jpegOf(int width, int height, J_COLOR_SPACE space, int components, const unsigned char* pixel) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row;
    for (int x = 0; x < width; ++x)
        row.insert(row.end(), pixel, pixel + components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&info, &rowPointer, 1);
    }
    jpeg_finish_compress(&info);
    QByteArray bytes(reinterpret_cast<char*>(out), qsizetype(size));
    std::free(out);
    jpeg_destroy_compress(&info);
    return bytes;
}

}  // namespace

// The file holds quality-90 tables, is sequential Huffman-coded YCbCr, and
// decodes close to the picture.
TEST(JpegCodec, WritesSequentialColourFilesOfQuality90) {
    const QImage picture = scene(160, 100, false);
    const QByteArray file = JpegCodec::encode(picture.convertToFormat(QImage::Format_RGB888));

    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(file.constData()), (unsigned long)file.size());
    ASSERT_EQ(jpeg_read_header(&info, TRUE), JPEG_HEADER_OK);
    EXPECT_FALSE(info.progressive_mode);
    EXPECT_FALSE(info.arith_code);
    EXPECT_EQ(info.num_components, 3);
    EXPECT_EQ(info.jpeg_color_space, JCS_YCbCr);

    jpeg_compress_struct reference;
    jpeg_error_mgr referenceError;
    reference.err = jpeg_std_error(&referenceError);
    jpeg_create_compress(&reference);
    reference.in_color_space = JCS_RGB;
    reference.input_components = 3;
    jpeg_set_defaults(&reference);
    jpeg_set_quality(&reference, 90, TRUE);
    for (int table = 0; table < 2; ++table) {
        ASSERT_NE(info.quant_tbl_ptrs[table], nullptr);
        for (int i = 0; i < DCTSIZE2; ++i)
            EXPECT_EQ(info.quant_tbl_ptrs[table]->quantval[i], reference.quant_tbl_ptrs[table]->quantval[i]);
    }
    jpeg_destroy_compress(&reference);
    jpeg_destroy_decompress(&info);

    const QImage back = JpegCodec::decode(file);
    EXPECT_EQ(back.format(), QImage::Format_RGB32);
    EXPECT_EQ(back.size(), picture.size());
    EXPECT_LT(meanError(back, picture), 2.5);
}

TEST(JpegCodec, ReadsGreyAndCmykFilesAsRgb) {
    const unsigned char grey = 100;
    const QImage fromGrey = JpegCodec::decode(jpegOf(24, 16, JCS_GRAYSCALE, 1, &grey));
    ASSERT_EQ(fromGrey.size(), QSize(24, 16));
    EXPECT_EQ(fromGrey.format(), QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            ASSERT_EQ(fromGrey.pixel(x, y), qRgb(100, 100, 100));

    // Stored inverted, as Adobe applications write CMYK: this is red.
    const unsigned char red[] = {255, 0, 0, 255};
    const QImage fromCmyk = JpegCodec::decode(jpegOf(16, 16, JCS_CMYK, 4, red));
    ASSERT_EQ(fromCmyk.size(), QSize(16, 16));
    const QRgb pixel = fromCmyk.pixel(7, 7);
    EXPECT_GT(qRed(pixel), 245);
    EXPECT_LT(qGreen(pixel), 10);
    EXPECT_LT(qBlue(pixel), 10);
}

// Read for a 100 x 60 box: the smallest eighth that still covers the box, or
// the picture's own side where that is shorter; the colours survive.
TEST(JpegCodec, ReadsAtTheSmallestScaleThatCoversABox) {
    const struct {
        QSize file, read;
    } cases[] = {
        {{1600, 1200}, {200, 150}}, {{801, 479}, {101, 60}}, {{4000, 100}, {2500, 63}},
        {{640, 480}, {160, 120}},   {{200, 40}, {200, 40}},  {{101, 61}, {101, 61}},
        {{30, 100}, {30, 100}},     {{100, 60}, {100, 60}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.width());
        QImage picture(c.file, QImage::Format_RGB32);
        picture.fill(qRgb(200, 40, 90));
        const QImage read = JpegCodec::decodeCovering(JpegCodec::encode(picture), {100, 60});
        EXPECT_EQ(read.size(), c.read);
        const QRgb middle = read.pixel(read.width() / 2, read.height() / 2);
        EXPECT_NEAR(qRed(middle), 200, 3);
        EXPECT_NEAR(qGreen(middle), 40, 3);
        EXPECT_NEAR(qBlue(middle), 90, 3);
    }
    const unsigned char red[] = {255, 0, 0, 255};
    const QImage cmyk = JpegCodec::decodeCovering(jpegOf(1600, 960, JCS_CMYK, 4, red), {100, 60});
    ASSERT_EQ(cmyk.size(), QSize(200, 120));
    EXPECT_GT(qRed(cmyk.pixel(199, 119)), 245);
    EXPECT_EQ(JpegCodec::decodeCovering(jpegOf(24, 16, JCS_GRAYSCALE, 1, red), {}).size(), QSize(24, 16));
}
