#include "widgets/ButtonArt.h"

#include "widgets/PictureBox.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <array>
#include <cmath>

namespace orv {
namespace ButtonArt {
namespace {

const QColor kFace(198, 198, 198);
const QColor kLight(255, 255, 255);
const QColor kShadow(128, 128, 128);

// A grey bevelled rectangle with a black outline; the pressed look has its
// bevel the other way round.
QImage bevel(int w, int h, bool pressed) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kFace);
    QPainter p(&img);
    p.setPen(Qt::black);
    p.drawRect(0, 0, w - 1, h - 1);
    const QColor topLeft = pressed ? kShadow : kLight;
    const QColor bottomRight = pressed ? kLight : kShadow;
    p.setPen(topLeft);
    p.drawLine(1, 1, w - 3, 1);
    p.drawLine(1, 1, 1, h - 3);
    p.setPen(bottomRight);
    p.drawLine(1, h - 2, w - 2, h - 2);
    p.drawLine(w - 2, 1, w - 2, h - 2);
    return img;
}

QImage icon(Look look) {
    const bool pressed = look == Look::IconDown || look == Look::CogDown || look == Look::MinDown;
    QImage img = bevel(30, 22, pressed);
    QPainter p(&img);
    // A pressed symbol sits one pixel lower and one further left.
    const int dx = pressed ? -1 : 0, dy = pressed ? 1 : 0;
    p.translate(dx, dy);
    switch (look) {
    case Look::IconUp:
    case Look::IconDown:
        p.fillRect(11, 7, 8, 8, Qt::black);
        break;
    case Look::CogUp:
    case Look::CogDown: {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        const QPointF c(15, 11);
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            p.drawEllipse(c + QPointF(6 * std::cos(a), 6 * std::sin(a)), 1.6, 1.6);
        }
        p.drawEllipse(c, 5.5, 5.5);
        p.setBrush(kFace);
        p.drawEllipse(c, 2, 2);
        break;
    }
    default:  // minimise: a box with a thick bottom bar
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(9, 5, 11, 10);
        p.fillRect(9, 13, 12, 3, Qt::black);
        break;
    }
    return img;
}

QImage stripes() {
    QImage img(20, 20, QImage::Format_RGB32);
    img.fill(kFace);
    QPainter p(&img);
    for (int y = 1; y < 20; y += 4) {
        p.setPen(kLight);
        p.drawLine(0, y, 19, y);
        p.setPen(kShadow);
        p.drawLine(0, y + 1, 19, y + 1);
    }
    return img;
}

QImage make(Look look) {
    switch (look) {
    case Look::BigUp: return bevel(90, 24, false);
    case Look::BigDown: return bevel(90, 24, true);
    case Look::SmallUp: return bevel(60, 24, false);
    case Look::SmallDown: return bevel(60, 24, true);
    case Look::Stripes: return stripes();
    default: return icon(look);
    }
}

}  // namespace

const QImage& picture(Look look) {
    static const std::array<QImage, 11> all = [] {
        std::array<QImage, 11> pictures;
        for (int i = 0; i < 11; ++i)
            pictures[i] = make(static_cast<Look>(i));
        return pictures;
    }();
    return all[static_cast<int>(look)];
}

// The caption is drawn at the screen's resolution: at a ratio of 2 the
// bevel is doubled pixel for pixel (it is made of single-pixel lines) and
// the letters are drawn with twice the pixels, as sharp as at 1.
QImage captionPicture(Look look, const QString& caption, const QColor& textColor, bool pressed,
                      qreal ratio) {
    const QImage& art = picture(look);
    QImage img;
    if (ratio == 1.0) {
        img = art.copy().convertToFormat(QImage::Format_RGB888);
    } else {
        const QSize size(qCeil(art.width() * ratio), qCeil(art.height() * ratio));
        // 32 bits a pixel: letters drawn through a scale into 24-bit pixels come out garbled.
        img = art.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation).convertToFormat(QImage::Format_RGB32);
        img.setDevicePixelRatio(ratio);
    }
    QPainter p(&img);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);  // 9 points at 96 dpi
    font.setBold(true);
    p.setFont(font);
    p.setPen(textColor);
    // Placed by the letters' widths at 1, so the caption sits where it does there.
    const QFontMetrics metrics(font);
    const int w = metrics.horizontalAdvance(caption);
    const int d = (art.width() - w) / 2;
    const int x = pressed ? d - 2 : d;
    const int y = pressed ? 6 : 4;
    p.drawText(x, y + metrics.ascent(), caption);
    p.end();
    return img;
}

}  // namespace ButtonArt

namespace {

void drawCaption(PictureBox* button, ButtonArt::Look look, const QColor& textColor, bool pressed) {
    button->drawPicture([look, caption = button->hint(), textColor, pressed](qreal ratio) {
        return ButtonArt::captionPicture(look, caption, textColor, pressed, ratio);
    });
    button->repaint();
}

}  // namespace

void DrawButtonUp(PictureBox* button, const QColor& textColor) {
    drawCaption(button, ButtonArt::Look::BigUp, textColor, false);
}
void DrawButtonDown(PictureBox* button, const QColor& textColor) {
    drawCaption(button, ButtonArt::Look::BigDown, textColor, true);
}
void DrawSmallButtonUp(PictureBox* button, const QColor& textColor) {
    drawCaption(button, ButtonArt::Look::SmallUp, textColor, false);
}
void DrawSmallButtonDown(PictureBox* button, const QColor& textColor) {
    drawCaption(button, ButtonArt::Look::SmallDown, textColor, true);
}

}  // namespace orv
