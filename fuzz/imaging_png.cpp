// PNG files come from other authors and the server: any bytes must give a
// sound picture or the reader's error, never a crash, hang or huge allocation.
#include "app/OrvalisError.h"
#include "imaging/PngCodec.h"
#include "imaging/Picture.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <cstdlib>

namespace {
void check(const QImage& picture) {
    if (picture.format() != QImage::Format_RGB32
        || !orv::acceptablePictureSize(picture.width(), picture.height()))
        std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                    static_cast<qsizetype>(size));
    // Blended over a backdrop, as a picture reloaded in place is, whenever
    // the file has the backdrop's size.
    static const QImage backdrop = [] {
        QImage picture(16, 16, QImage::Format_RGB32);
        picture.fill(qRgb(10, 20, 30));
        return picture;
    }();
    try {
        check(orv::PngCodec::decode(file, backdrop));
    } catch (const orv::OrvalisError& e) {
        if (e.text() != QLatin1String("Error Reading File!"))
            std::abort();
    }
    return 0;
}
