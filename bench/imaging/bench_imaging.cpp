// Reads and writes a game-screen-sized (640x400) and a map-sized (2000x1200)
// picture as PNG, JPEG and GIF with the editor's own codecs, and holds each
// figure against Qt's QImageReader/QImageWriter doing the same in the same
// run: decoding the very file the editor wrote, encoding the same picture
// (JPEG at the same quality). Both sides write through a temporary file
// renamed over the target, the rule every file of the program follows, so
// the ratio compares the codecs. Qt has no GIF writer; that line stands alone.
// Figures are medians of several runs; a ratio below 1 means the editor is
// faster. Last, the map picture as "Gravar img" saves it: the map image of
// a full map (400 named cells with tiles), mostly flat colour, as PNG.
#include "core/ListFile.h"
#include "imaging/GifCodec.h"
#include "imaging/JpegCodec.h"
#include "imaging/Picture.h"
#include "imaging/PngCodec.h"
#include "map/MapModel.h"

#include <QGuiApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <utility>
#include <vector>

namespace {

// Gradients, soft shapes, a little grain, and magenta areas to be transparent.
QImage gamePicture(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random() % 7) - 3;
            line[x] = qRgb(std::clamp(40 + 150 * x / width + grain, 0, 255),
                           std::clamp(90 + 120 * y / height + grain, 0, 255),
                           std::clamp(200 - 100 * (x + y) / (width + height) + grain, 0, 255));
        }
    }
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(30, 30, 30), width / 200.0));
    for (int i = 0; i < 12; ++i) {
        const QRectF box(width * ((i * 37) % 90) / 100.0, height * ((i * 53) % 80) / 100.0, width * 0.12,
                         height * 0.15);
        QLinearGradient fill(box.topLeft(), box.bottomRight());
        fill.setColorAt(0, QColor::fromHsv((i * 30) % 360, 180, 220));
        fill.setColorAt(1, QColor::fromHsv((i * 30 + 60) % 360, 200, 120));
        painter.setBrush(fill);
        if (i % 2)
            painter.drawEllipse(box);
        else
            painter.drawRoundedRect(box, 8, 8);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgb(orv::KeyColour));
    painter.drawRect(QRect(0, height * 3 / 4, width / 3, height / 4));
    painter.drawEllipse(QRect(width * 2 / 3, 0, width / 4, height / 3));
    return picture;
}

// The map image of a full map: the grid background of a workspace, 400
// tiles and 400 names.
QImage mapPicture(const QString& folder) {
    QImage background(2000, 1200, QImage::Format_RGB32);
    background.fill(QColor(214, 214, 206));
    QPainter painter(&background);
    painter.setPen(QColor(196, 196, 188));
    for (int x = 0; x <= 2000; x += 100)
        painter.drawLine(x, 0, x, 1200);
    for (int y = 0; y <= 1200; y += 60)
        painter.drawLine(0, y, 2000, y);
    painter.end();
    background.save(folder + "defmap.bmp", "BMP");
    QStringList lines;
    for (int k = 0; k < orv::MapModel::Cells; ++k)
        lines << QStringLiteral("Posição %1").arg(k) << QString::number(1 + k % 19);
    lines << QString();
    orv::ListFile::write(folder + "Mapa.map", lines);
    orv::MapModel map(folder + "defmap.bmp");
    map.load(folder + "Mapa.map");
    return map.image();
}

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double timeMs(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

// The two sides take turns, so a busy moment of the machine falls on both.
std::pair<double, double> medianMs(int runs, const std::function<void()>& ours,
                                   const std::function<void()>& qt) {
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i) {
        a.push_back(timeMs(ours));
        if (qt)
            b.push_back(timeMs(qt));
    }
    return {median(a), qt ? median(b) : 0.0};
}

void writeWithQt(const QString& path, const QImage& picture, const char* format, int quality) {
    QSaveFile file(path);
    file.open(QIODevice::WriteOnly);
    QImageWriter writer(&file, format);
    writer.setQuality(quality);
    if (!writer.write(picture))
        std::fprintf(stderr, "Qt could not write %s\n", format);
    file.commit();
}

QImage readWithQt(const QString& path) {
    QImageReader reader(path);
    QImage picture = reader.read();
    if (picture.isNull())
        std::fprintf(stderr, "Qt could not read %s\n", qPrintable(path));
    return picture;
}

void report(const char* format, QSize size, const char* what, double ours, double qt) {
    if (qt > 0)
        std::printf("%-4s %4dx%-4d %-6s editor %8.2f ms   Qt %8.2f ms   ratio %.2f\n", format, size.width(),
                    size.height(), what, ours, qt, ours / qt);
    else
        std::printf("%-4s %4dx%-4d %-6s editor %8.2f ms   Qt      (none)\n", format, size.width(), size.height(),
                    what, ours);
}

}  // namespace

void reportSizes(const char* what, qint64 ours, qint64 qt) {
    std::printf("     %s file size: editor %lld bytes   Qt %lld bytes   size ratio %.2f\n", what, ours, qt,
                double(ours) / double(qt));
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    std::printf("Median of several runs; ratio = editor / Qt (below 1: the editor is faster).\n");
    for (const QSize size : {QSize(640, 400), QSize(2000, 1200)}) {
        const QImage picture = gamePicture(size.width(), size.height());
        const int runs = size.width() < 1000 ? 31 : 11;
        const QString png = dir.filePath("quadro.png"), qtPng = dir.filePath("qt.png");
        const QString jpg = dir.filePath("quadro.jpg"), qtJpg = dir.filePath("qt.jpg");
        const QString gif = dir.filePath("quadro.gif");

        const auto [pngWrite, qtPngWrite] = medianMs(
            runs, [&] { orv::PngCodec::write(png, picture, orv::KeyColour); },
            [&] { writeWithQt(qtPng, picture, "png", -1); });
        report("PNG", size, "encode", pngWrite, qtPngWrite);
        reportSizes("PNG", QFileInfo(png).size(), QFileInfo(qtPng).size());
        const auto [pngRead, qtPngRead] = medianMs(
            runs, [&] { orv::PngCodec::read(png, picture); }, [&] { readWithQt(png); });
        report("PNG", size, "decode", pngRead, qtPngRead);

        const auto [jpgWrite, qtJpgWrite] = medianMs(
            runs, [&] { orv::JpegCodec::write(jpg, picture); },
            [&] { writeWithQt(qtJpg, picture, "jpg", orv::JpegCodec::Quality); });
        report("JPEG", size, "encode", jpgWrite, qtJpgWrite);
        const auto [jpgRead, qtJpgRead] = medianMs(
            runs, [&] { orv::JpegCodec::read(jpg); }, [&] { readWithQt(jpg); });
        report("JPEG", size, "decode", jpgRead, qtJpgRead);

        const auto [gifWrite, none] = medianMs(runs, [&] { orv::GifCodec::write(gif, picture); }, {});
        report("GIF", size, "encode", gifWrite, none);
        const auto [gifRead, qtGifRead] = medianMs(
            runs, [&] { orv::GifCodec::read(gif); }, [&] { readWithQt(gif); });
        report("GIF", size, "decode", gifRead, qtGifRead);

        std::printf("     file sizes: PNG %lld (Qt %lld), JPEG %lld (Qt %lld), GIF %lld bytes\n",
                    QFileInfo(png).size(), QFileInfo(qtPng).size(), QFileInfo(jpg).size(),
                    QFileInfo(qtJpg).size(), QFileInfo(gif).size());
    }

    // "Gravar img": the map picture through the PNG writer.
    const QImage map = mapPicture(dir.path() + "/");
    const QString png = dir.filePath("Mapa-mapa.png"), qtPng = dir.filePath("qt-mapa.png");
    const auto [mapWrite, qtMapWrite] = medianMs(
        11, [&] { orv::PngCodec::write(png, map, orv::KeyColour); }, [&] { writeWithQt(qtPng, map, "png", -1); });
    std::printf("map picture, 400 named cells (\"Gravar img\"):\n");
    report("PNG", map.size(), "encode", mapWrite, qtMapWrite);
    reportSizes("PNG", QFileInfo(png).size(), QFileInfo(qtPng).size());
    return 0;
}
