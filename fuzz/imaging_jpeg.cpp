// JPEG files come from other authors and the server. Thumbnails read them at
// a reduced scale, which takes other paths through the decoder; the first
// byte chooses which way this input is read.
#include "ImagingFuzz.h"
#include "imaging/JpegCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool forThumbnail = size > 0 && (data[0] & 1);
    return orv::fuzz::decodeAndCheck(data, size, [forThumbnail](const QByteArray& file) {
        return forThumbnail ? orv::JpegCodec::decodeCovering(file, QSize(100, 60)) : orv::JpegCodec::decode(file);
    });
}
