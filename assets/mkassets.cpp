// Draws the pictures the workspace needs beside the program: the map
// background and the panel templates.
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

QImage panel(const QColor& frame, const QColor& inner) {
    QImage img(640, 400, QImage::Format_RGB32);
    img.fill(frame);
    QPainter p(&img);
    p.fillRect(10, 10, 320, 200, inner);
    p.fillRect(340, 10, 290, 350, inner.lighter(110));
    p.fillRect(10, 220, 320, 140, inner.darker(110));
    p.fillRect(10, 370, 620, 20, Qt::white);
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
    return ok ? 0 : 1;
}
