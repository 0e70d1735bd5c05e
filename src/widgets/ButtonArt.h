#pragma once
#include <QColor>
#include <QImage>
#include <QString>

namespace orv {

class PictureBox;

// The stored button pictures and the four operations that paint a button's
// hint onto a copy of them.
namespace ButtonArt {

enum class Look {
    BigUp,      // bt0, 90 x 24
    BigDown,    // bt1
    SmallUp,    // bot2a, 60 x 24
    SmallDown,  // bot2b
    IconUp,     // bf0, 30 x 22: black square
    IconDown,   // bf1
    CogUp,      // bf7
    CogDown,    // bf8
    MinUp,      // Min0
    MinDown,    // Min1
    Stripes,    // 20 x 20 tile of the drag handles
};

const QImage& picture(Look look);

// A copy of the picture with the caption on it, drawn for a screen of that
// many pixels a point (the size in points stays the picture's).
QImage captionPicture(Look look, const QString& caption, const QColor& textColor, bool pressed, qreal ratio);

}  // namespace ButtonArt

void DrawButtonUp(PictureBox* button, const QColor& textColor);
void DrawButtonDown(PictureBox* button, const QColor& textColor);
void DrawSmallButtonUp(PictureBox* button, const QColor& textColor);
void DrawSmallButtonDown(PictureBox* button, const QColor& textColor);

}  // namespace orv
