#include "TileSet.h"

#include <QPainter>
#include <array>

namespace orv::TileSet {
namespace {

const QColor kGround(198, 198, 198);
const QColor kBorder(128, 128, 128);

void drawRoom(QPainter& p, Doors d) {
    const QRectF room(4.5, 4.5, Width - 10, Height - 10);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(room, 8, 8);
    // A door is an 8-pixel white gap in the middle of a side, bordered by two
    // short black lines out to the cell's edge.
    const int cx = Width / 2, cy = Height / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    if (d.north) p.drawRect(cx - 4, 0, 8, 6);
    if (d.south) p.drawRect(cx - 4, Height - 6, 8, 6);
    if (d.west) p.drawRect(0, cy - 4, 6, 8);
    if (d.east) p.drawRect(Width - 6, cy - 4, 6, 8);
    p.setPen(QPen(Qt::black, 1));
    if (d.north) { p.drawLine(cx - 5, 0, cx - 5, 5); p.drawLine(cx + 4, 0, cx + 4, 5); }
    if (d.south) { p.drawLine(cx - 5, Height - 6, cx - 5, Height - 1); p.drawLine(cx + 4, Height - 6, cx + 4, Height - 1); }
    if (d.west) { p.drawLine(0, cy - 5, 5, cy - 5); p.drawLine(0, cy + 4, 5, cy + 4); }
    if (d.east) { p.drawLine(Width - 6, cy - 5, Width - 1, cy - 5); p.drawLine(Width - 6, cy + 4, Width - 1, cy + 4); }
}

void drawCorridor(QPainter& p, bool vertical, bool horizontal) {
    const int cx = Width / 2, cy = Height / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    if (vertical) p.drawRect(cx - 4, 0, 8, Height);
    if (horizontal) p.drawRect(0, cy - 4, Width, 8);
    p.setPen(QPen(Qt::black, 1));
    if (vertical && horizontal) {
        p.drawLine(cx - 5, 0, cx - 5, cy - 5); p.drawLine(cx + 4, 0, cx + 4, cy - 5);
        p.drawLine(cx - 5, cy + 4, cx - 5, Height - 1); p.drawLine(cx + 4, cy + 4, cx + 4, Height - 1);
        p.drawLine(0, cy - 5, cx - 5, cy - 5); p.drawLine(cx + 4, cy - 5, Width - 1, cy - 5);
        p.drawLine(0, cy + 4, cx - 5, cy + 4); p.drawLine(cx + 4, cy + 4, Width - 1, cy + 4);
    } else if (vertical) {
        p.drawLine(cx - 5, 0, cx - 5, Height - 1); p.drawLine(cx + 4, 0, cx + 4, Height - 1);
    } else {
        p.drawLine(0, cy - 5, Width - 1, cy - 5); p.drawLine(0, cy + 4, Width - 1, cy + 4);
    }
}

QImage makePicture(int tile) {
    QImage img(Width, Height, QImage::Format_RGB32);
    img.fill(kGround);
    QPainter p(&img);
    if (tile == 0) {
        p.setPen(kBorder);
        p.setBrush(Qt::NoBrush);
        p.drawRect(0, 0, Width - 1, Height - 1);
    } else if (tile == 17 || tile == 18 || tile == 19) {
        drawCorridor(p, tile != 18, tile != 17);
    } else {
        drawRoom(p, doorsOf(tile));
    }
    p.end();
    return img;
}

}  // namespace

Doors doorsOf(int tile) {
    static constexpr std::array<Doors, Count> kDoors = {{
        {false, false, false, false},  // 0 blank
        {false, false, false, false},  // 1 closed room
        {true, false, false, false},   // 2
        {false, true, false, false},   // 3
        {false, false, true, false},   // 4
        {false, false, false, true},   // 5
        {true, true, false, false},    // 6
        {true, false, true, false},    // 7
        {true, false, false, true},    // 8
        {true, true, true, false},     // 9
        {true, true, false, true},     // 10
        {true, false, true, true},     // 11
        {true, true, true, true},      // 12
        {false, true, true, false},    // 13
        {false, true, false, true},    // 14
        {false, true, true, true},     // 15
        {false, false, true, true},    // 16
        {false, false, false, false},  // 17 corridors carry no doors of their own
        {false, false, false, false},  // 18
        {false, false, false, false},  // 19
    }};
    return (tile >= 0 && tile < Count) ? kDoors[tile] : Doors{false, false, false, false};
}

const QImage& picture(int tile) {
    static const std::array<QImage, Count> pictures = [] {
        std::array<QImage, Count> all;
        for (int t = 0; t < Count; ++t)
            all[t] = makePicture(t);
        return all;
    }();
    return pictures[(tile >= 0 && tile < Count) ? tile : 0];
}

}  // namespace orv::TileSet
