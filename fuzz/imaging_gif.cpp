// GIF files come from other authors and the server.
#include "ImagingFuzz.h"
#include "imaging/GifCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return orv::fuzz::decodeAndCheck(data, size, [](const QByteArray& file) { return orv::GifCodec::decode(file); });
}
