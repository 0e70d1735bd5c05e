// BMP files come from other authors and the server: any bytes must give a
// sound picture or the reader's error, never a crash, hang or huge allocation.
#include "app/OrvalisError.h"
#include "imaging/BmpCodec.h"
#include "imaging/Picture.h"

#include <QByteArray>
#include <QImage>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {
void check(const QImage& picture) {
    if (picture.format() != QImage::Format_RGB32
        || !orv::acceptablePictureSize(picture.width(), picture.height()))
        std::abort();
}
}  // namespace

// Qt's bitmap reader warns about every odd header; that is not a finding.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                    static_cast<qsizetype>(size));
    try {
        check(orv::BmpCodec::decode(file));
    } catch (const orv::OrvalisError&) {
    }
    return 0;
}
