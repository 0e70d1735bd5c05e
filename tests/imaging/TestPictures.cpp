#include "TestPictures.h"

#include "imaging/Picture.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>

#include <png.h>

#include <cstdlib>
#include <stdexcept>

namespace orv::test {

QImage scene(int width, int height, bool withKeyColour) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x + y) * 127 / (width + height) + 64));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(200, 60, 40));
    painter.drawEllipse(QRectF(width * 0.1, height * 0.2, width * 0.3, height * 0.4));
    painter.setBrush(QColor(30, 160, 70));
    painter.drawRect(QRectF(width * 0.5, height * 0.5, width * 0.3, height * 0.3));
    if (withKeyColour) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgb(KeyColour));
        painter.drawRect(QRect(0, 0, width / 4, height / 5));
        painter.drawEllipse(QRect(width * 3 / 4, height * 3 / 5, width / 5, height / 4));
    }
    return picture;
}

QImage fewColours(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    const QRgb colours[] = {KeyColour, qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(12, 34, 56),
                            qRgb(254, 0, 255), qRgb(200, 100, 0)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, colours[(x / 3 + y / 2) % 6]);
    return picture;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void putFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

namespace {
void appendBytes(png_structp png, png_bytep data, size_t length) {
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), qsizetype(length));
}
void abortOnError(png_structp, png_const_charp message) {
    std::fprintf(stderr, "libpng: %s\n", message);
    std::abort();
}
}  // namespace

QByteArray pngFile(int width, int height, const PngLayout& layout,
                   const std::vector<std::vector<unsigned char>>& rows) {
    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, abortOnError, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, appendBytes, nullptr);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), layout.bitDepth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty())
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(layout.palette.data()),
                     int(layout.palette.size() / 3));
    if (!layout.transparency.empty()) {
        if (layout.colourType == PNG_COLOR_TYPE_PALETTE) {
            std::vector<png_byte> alphas(layout.transparency.begin(), layout.transparency.end());
            png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
        } else {
            png_color_16 colour{};
            colour.gray = colour.red = png_uint_16(layout.transparency[0]);
            colour.green = png_uint_16(layout.transparency.size() > 1 ? layout.transparency[1] : 0);
            colour.blue = png_uint_16(layout.transparency.size() > 2 ? layout.transparency[2] : 0);
            png_set_tRNS(png, info, nullptr, 0, &colour);
        }
    }
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (const auto& row : rows)
        pointers.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

double meanError(const QImage& a, const QImage& b) {
    double total = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            total += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return total / (3.0 * a.width() * a.height());
}

}  // namespace orv::test
