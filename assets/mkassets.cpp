// Draws the pictures the workspace needs beside the program: the map
// background and the panel templates; and the program's icon.
//
//   mkassets WORKSPACE [ICON.png]
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

namespace {

QImage mapBackground() {
    // 2000 x 1200 is the grid; a margin beyond it keeps the last row and
    // column clear of the scroll bars.
    QImage img(2040, 1240, QImage::Format_RGB32);
    img.fill(QColor(214, 214, 206));
    QPainter p(&img);
    p.setPen(QColor(196, 196, 188));
    for (int x = 0; x <= 2000; x += 100)
        p.drawLine(x, 0, x, 1200);
    for (int y = 0; y <= 1200; y += 60)
        p.drawLine(0, y, 2000, y);
    p.end();
    return img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
}

// A sunken frame around one of the panel's areas.
void well(QPainter& p, const QRect& r, const QColor& inner, const QColor& frame) {
    p.fillRect(r.adjusted(-3, -3, 3, 3), frame.darker(160));
    p.fillRect(r.adjusted(-1, -1, 3, 3), frame.lighter(140));
    p.fillRect(r, inner);
}

// The areas: the game screen at the top left, the messages below it, the
// functions on the right and the sentence line along the bottom.
QImage panel(const QColor& frame, const QColor& inner) {
    QImage img(640, 400, QImage::Format_RGB32);
    img.fill(frame);
    QPainter p(&img);
    // A grain across the frame, in stripes of the frame's own colour.
    for (int y = 0; y < 400; y += 4)
        p.fillRect(0, y, 640, 2, (y / 4) % 3 ? frame : frame.darker(112));
    well(p, QRect(10, 10, 320, 200), inner, frame);
    well(p, QRect(340, 10, 290, 350), inner.lighter(110), frame);
    well(p, QRect(10, 220, 320, 140), inner.darker(110), frame);
    well(p, QRect(10, 370, 620, 20), Qt::white, frame);
    return img;
}

QImage icon() {
    QImage img(128, 128, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 40, 20), 4));
    p.setBrush(QColor(230, 214, 170));
    p.drawRoundedRect(6, 14, 116, 100, 12, 12);
    // Two rooms joined by a corridor, as on the map.
    p.setPen(QPen(Qt::black, 3));
    p.setBrush(Qt::white);
    p.drawRoundedRect(16, 30, 36, 30, 5, 5);
    p.drawRoundedRect(76, 70, 36, 30, 5, 5);
    p.drawLine(52, 45, 94, 45);
    p.drawLine(94, 45, 94, 70);
    p.setBrush(QColor(40, 120, 60));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygon({QPoint(34, 66), QPoint(52, 104), QPoint(16, 104)}));
    p.fillRect(31, 104, 6, 8, QColor(92, 62, 34));
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: mkassets PASTA\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    bool ok = mapBackground().save(dir + "defmap.bmp", "BMP");
    ok = panel(QColor(90, 60, 30), QColor(40, 40, 40)).save(dir + "pan-madeira.png", "PNG") && ok;
    ok = panel(QColor(40, 60, 110), QColor(20, 20, 30)).save(dir + "pan-noite.png", "PNG") && ok;
    if (argc > 2)
        ok = icon().save(QString::fromLocal8Bit(argv[2]), "PNG") && ok;
    return ok ? 0 : 1;
}
