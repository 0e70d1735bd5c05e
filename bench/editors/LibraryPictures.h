#pragma once
// The pictures the image library's benchmarks show, and what they are
// measured against: vipsthumbnail making the same thumbnails.
#include "imaging/ImageFiles.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

// Light falling across a scene, fine texture (what makes photographs
// expensive to compress and decode) and a few hard edges.
inline QImage photo(int w, int h, int seed) {
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const unsigned texture = ((unsigned(x) * 7u + unsigned(y) * 13u + unsigned(seed)) * 2654435761u >> 26) & 31u;
            line[x] = qRgb(int((40 + 160 * x / w + texture) & 255), int((30 + 170 * y / h + seed * 37) & 255),
                           int((210 - 130 * (x + y) / (w + h) + texture / 2) & 255));
        }
    }
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 6; ++i) {
        painter.setBrush(QColor::fromHsv((seed * 47 + i * 60) % 360, 160, 220));
        painter.setPen(QPen(QColor(20, 20, 20), w / 300.0));
        const QRectF box(w * ((i * 29 + seed * 11) % 80) / 100.0, h * ((i * 41 + seed * 7) % 70) / 100.0, w * 0.2,
                         h * 0.25);
        if ((i + seed) % 2)
            painter.drawEllipse(box);
        else
            painter.drawRect(box);
    }
    return picture;
}

// A drawn game picture: a few flat colours, as GIFs usually are.
inline QImage drawing(int w, int h, int seed) {
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(QColor::fromHsv((seed * 53) % 360, 120, 200));
    QPainter painter(&picture);
    for (int i = 0; i < 8; ++i)
        painter.fillRect(QRect(w * i / 10, h * ((i * 3 + seed) % 7) / 10, w / 5, h / 4),
                         QColor::fromHsv((seed * 53 + i * 40) % 360, 200, 150 + i * 10));
    return picture;
}

// A few distinct pictures of each kind, p0.jpg ... p5.gif, for the
// benchmarks to copy under many names.
constexpr int kPictureVariants = 6;
inline void writeSamplePictures(const QString& folder) {
    for (int v = 0; v < kPictureVariants; ++v) {
        const QString name = QStringLiteral("p%1").arg(v);
        orv::saveImage(folder, name, photo(1600, 1200, v), QStringLiteral("jpg"));
        orv::saveImage(folder, name, photo(640, 400, v + 10), QStringLiteral("png"));
        orv::saveImage(folder, name, photo(640, 400, v + 20), QStringLiteral("bmp"));
        orv::saveImage(folder, name, drawing(320, 200, v), QStringLiteral("gif"));
    }
}

// vipsthumbnail making 100 x 60 thumbnails of the files in one call, as its
// users run it; milliseconds, or -1 when it failed.
inline double vipsThumbnails(const QString& vips, const QStringList& files, const QString& out) {
    QStringList arguments{QStringLiteral("--size"), QStringLiteral("100x60!"), QStringLiteral("-o"),
                          out + QStringLiteral("%s.jpg")};
    arguments += files;
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.start(vips, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "vipsthumbnail failed: %s\n", process.readAllStandardError().constData());
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace bench
