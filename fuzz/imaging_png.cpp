// PNG files come from other authors and the server. Unlike the other readers,
// a PNG that cannot be read is reported to the author, always with the one text.
#include "ImagingFuzz.h"
#include "imaging/PngCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Blended over a backdrop, as a picture reloaded in place is, whenever
    // the file has the backdrop's size.
    static const QImage backdrop = [] {
        QImage picture(16, 16, QImage::Format_RGB32);
        picture.fill(qRgb(10, 20, 30));
        return picture;
    }();
    try {
        orv::fuzz::checkPicture(orv::PngCodec::decode(orv::fuzz::bytesOf(data, size), backdrop));
    } catch (const orv::OrvalisError& e) {
        if (e.text() != QLatin1String("Error Reading File!"))
            std::abort();
    }
    return 0;
}
