// Loading a full map (400 named cells, each with a tile) including drawing
// the map image, beside its floor measured in the same run: a copy of the
// decoded background with the same 400 tile pictures and 400 names drawn on
// it by a bare QPainter, without the model.
#include "core/ListFile.h"
#include "map/MapModel.h"
#include "map/TileSet.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The least any map load must do once the background is decoded.
QImage drawnByHand(const QImage& background, const QStringList& lines, const QFont& font) {
    QImage image = background.copy();
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font);
    for (int k = 0; k < orv::MapModel::Cells; ++k) {
        const int x0 = (k % 20) * 100, y0 = (k / 20) * 60;
        painter.drawImage(x0, y0, orv::TileSet::picture(lines[2 * k + 1].toInt()));
        const QString& name = lines[2 * k];
        const int w = metrics.horizontalAdvance(name);
        const int x = x0 + 5 + (90 - w) / 2;
        painter.fillRect(x, y0 + 23, w, metrics.height(), Qt::white);
        painter.drawText(x, y0 + 23 + metrics.ascent(), name);
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    QImage background(2040, 1240, QImage::Format_Indexed8);
    background.setColorCount(1);
    background.setColor(0, qRgb(214, 214, 206));
    background.fill(0);
    background.save(folder + "defmap.bmp", "BMP");

    QStringList lines;
    for (int k = 0; k < orv::MapModel::Cells; ++k) {
        lines << QStringLiteral("Posição %1").arg(k);
        lines << QString::number(1 + k % 19);
    }
    lines << QString();
    const QString mapFile = folder + "Mapa.map";
    orv::ListFile::write(mapFile, lines);

    orv::MapModel map(folder + "defmap.bmp");
    const QImage decoded = QImageReader(folder + "defmap.bmp").read().convertToFormat(QImage::Format_RGB32);
    const int runs = 25;
    std::vector<double> load, floor;
    qint64 keep = 0;  // so that neither side is optimised away
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const QImage byHand = drawnByHand(decoded, lines, map.font());
        floor.push_back(t.nsecsElapsed() / 1e6);
        keep += byHand.pixel(10, 10);
        t.restart();
        map.load(mapFile);
        load.push_back(t.nsecsElapsed() / 1e6);
        keep += map.image().pixel(10, 10);
    }
    const double f = median(floor), l = median(load);
    std::printf("load map, 400 named cells with tiles, drawn (median of %d)\n", runs);
    std::printf("  floor: background copy + 400 tiles + 400 names, bare QPainter : %8.3f ms\n", f);
    std::printf("  load map with drawing                                        : %8.3f ms\n", l);
    std::printf("  ratio load / floor                                           : %8.2f\n", l / f);
    return keep == 42 ? 1 : 0;
}
