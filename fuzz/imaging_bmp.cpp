// BMP files come from other authors and the server.
#include "ImagingFuzz.h"
#include "imaging/BmpCodec.h"

#include <QtGlobal>

// Qt's bitmap reader warns about every odd header; that is not a finding.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::decodeAndCheck(data, size, [](const QByteArray& file) { return orv::BmpCodec::decode(file); });
}
