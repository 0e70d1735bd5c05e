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

}  // namespace

void loadImage(const QString& adventureFolder, const QString& name, QImage& target) {
    if (name.isEmpty()) {
        target = QImage();
        return;
    }
    const QString path = adventureFolder + name;
    // A PNG with transparent parts shows the picture it replaces through them
    // when that picture has its size, else white.
    if (path.contains(QLatin1String(".png")))
        target = PngCodec::read(path, target);
    if (path.contains(QLatin1String(".jpg")))
        readIgnoringFailure([&] { return JpegCodec::read(path); }, target);
    if (path.contains(QLatin1String(".bmp")))
        readIgnoringFailure([&] { return BmpCodec::read(path); }, target);
    if (path.contains(QLatin1String(".gif")))
        readIgnoringFailure([&] { return GifCodec::read(path); }, target);
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
