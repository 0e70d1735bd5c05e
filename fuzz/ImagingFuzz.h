#pragma once
// What the picture reader targets share: any bytes must give a sound picture
// or the reader's own error, never a crash, a hang or a huge allocation.
#include "core/OrvalisError.h"
#include "imaging/Picture.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <cstdlib>

namespace orv::fuzz {

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

inline void checkPicture(const QImage& picture) {
    if (picture.format() != QImage::Format_RGB32 || !orv::acceptablePictureSize(picture.width(), picture.height()))
        std::abort();
}

// For the readers whose errors are ignored by their callers: any error is fine.
template <typename Decode>
int decodeAndCheck(const std::uint8_t* data, std::size_t size, Decode decode) {
    try {
        checkPicture(decode(bytesOf(data, size)));
    } catch (const orv::OrvalisError&) {
    }
    return 0;
}

}  // namespace orv::fuzz
