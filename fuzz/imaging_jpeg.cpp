// JPEG files come from other authors and the server: any bytes must give a
// sound picture or the reader's error, never a crash, hang or huge allocation.
#include "app/OrvalisError.h"
#include "imaging/JpegCodec.h"
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
    try {
        check(orv::JpegCodec::decode(file));
    } catch (const orv::OrvalisError&) {
    }
    return 0;
}
