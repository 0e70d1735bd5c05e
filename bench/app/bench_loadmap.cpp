// Loading a full map (400 named cells, each with a tile) including drawing
// the map image, beside reading the same file's bytes.
#include "core/ListFile.h"
#include "map/MapModel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    const int runs = 25;
    std::vector<double> load, bytes;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        QFile f(mapFile);
        f.open(QIODevice::ReadOnly);
        const QByteArray data = f.readAll();
        bytes.push_back(t.nsecsElapsed() / 1e6);
        if (data.isEmpty())
            return 1;
        t.restart();
        map.load(mapFile);
        load.push_back(t.nsecsElapsed() / 1e6);
    }
    const double b = median(bytes), l = median(load);
    std::printf("load map, 400 named cells with tiles, drawn (median of %d)\n", runs);
    std::printf("  read the file's bytes : %8.3f ms\n", b);
    std::printf("  load map with drawing : %8.3f ms\n", l);
    std::printf("  ratio                 : %8.1f\n", l / b);
    return 0;
}
