#pragma once
#include <QRgb>

namespace orv {

// Magenta is the transparent colour of every picture the editor saves: PNG
// files get alpha 0 there, GIF files use it as their transparent entry.
inline constexpr QRgb KeyColour = 0xFFFF00FF;

// Pictures are game screens, panels and tile sheets. A header claiming a side
// longer than this is damaged or hostile and is refused before any memory is
// set aside for its pixels.
inline constexpr int MaxPictureSide = 16384;

inline bool acceptablePictureSize(long long width, long long height) {
    return width > 0 && height > 0 && width <= MaxPictureSide && height <= MaxPictureSide;
}

}  // namespace orv
