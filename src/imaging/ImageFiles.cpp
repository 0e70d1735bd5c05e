#include "ImageFiles.h"

#include "BmpCodec.h"
#include "GifCodec.h"
#include "JpegCodec.h"
#include "PngCodec.h"

#include <exception>

namespace orv {

namespace {

// JPEG, BMP and GIF pictures that cannot be read are simply not shown.
template <typename Read>
void readIgnoringFailure(const Read& read, QImage& target) {
    try {
        target = read();
    } catch (const std::exception&) {
    }
}

// Every format whose text occurs in the path is applied in turn, so the last
// one that reads decides; readJpeg is the only step that differs between a
// full read and one for a thumbnail.
template <typename ReadJpeg>
void loadByName(const QString& path, QImage& target, const ReadJpeg& readJpeg) {
    // A PNG with transparent parts shows the picture it replaces through them
    // when that picture has its size, else white.
    if (path.contains(QLatin1String(".png")))
        target = PngCodec::read(path, target);
    if (path.contains(QLatin1String(".jpg")))
        readIgnoringFailure(readJpeg, target);
    if (path.contains(QLatin1String(".bmp")))
        readIgnoringFailure([&] { return BmpCodec::read(path); }, target);
    if (path.contains(QLatin1String(".gif")))
        readIgnoringFailure([&] { return GifCodec::read(path); }, target);
}

}  // namespace

void loadImage(const QString& adventureFolder, const QString& name, QImage& target) {
    if (name.isEmpty()) {
        target = QImage();
        return;
    }
    const QString path = adventureFolder + name;
    loadByName(path, target, [&] { return JpegCodec::read(path); });
}

QImage loadImageForBox(const QString& adventureFolder, const QString& name, QSize box) {
    QImage picture;
    if (name.isEmpty())
        return picture;
    const QString path = adventureFolder + name;
    loadByName(path, picture, [&] { return JpegCodec::readCovering(path, box); });
    return picture;
}

void saveImage(const QString& adventureFolder, const QString& name, const QImage& bitmap,
               const QString& extension) {
    const QString path = adventureFolder + name + QLatin1Char('.') + extension;
    // Magenta marks transparency by its pixel value alone, so the bitmap
    // itself is left untouched.
    if (extension == QLatin1String("png"))
        PngCodec::write(path, bitmap, KeyColour);
    else if (extension == QLatin1String("gif"))
        GifCodec::write(path, bitmap);
    else if (extension == QLatin1String("bmp"))
        BmpCodec::write(path, bitmap);
    else if (extension == QLatin1String("jpg"))
        JpegCodec::write(path, bitmap);
}

}  // namespace orv
