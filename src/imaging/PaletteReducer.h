#pragma once
#include "Picture.h"

#include <QImage>
#include <QList>

#include <vector>

namespace orv {

// A picture as palette indices, as a GIF frame holds it.
struct IndexedPicture {
    int width = 0;
    int height = 0;
    QList<QRgb> palette;  // at most 256 opaque colours
    int transparentIndex = 0;  // the entry holding the key colour
    std::vector<uchar> indices;  // width * height, rows top to bottom
};

// Turns a picture into at most 256 colours. A picture with no more than 255
// colours besides the key colour keeps them exactly; a richer one is reduced
// by libimagequant. Either way the key colour's pixels, and only they, take
// the transparent index, whose entry is the key colour itself.
class PaletteReducer {
public:
    static IndexedPicture reduce(const QImage& picture, QRgb key = KeyColour);
};

}  // namespace orv
