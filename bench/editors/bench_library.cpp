// Builds the image library's thumbnail sheet of 300 pictures (JPEG photos of
// 1600 x 1200 beside PNG, BMP and GIF game pictures), and in the same run has
// vipsthumbnail (libvips-tools) make 100 x 60 thumbnails of the same files,
// all in one call as its users run it. Both read from the page cache: the
// files are written just before. Figures are medians; a ratio below 1 means
// the library is faster. The time to the first row of thumbnails is
// printed beside them; bench_library_window measures the window's memory.
#include "editors/ImageLibrary.h"
#include "imaging/ImageFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Light falling across a scene, fine texture (what makes photographs
// expensive to compress and decode) and a few hard edges.
QImage photo(int w, int h, int seed) {
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
QImage drawing(int w, int h, int seed) {
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(QColor::fromHsv((seed * 53) % 360, 120, 200));
    QPainter painter(&picture);
    for (int i = 0; i < 8; ++i)
        painter.fillRect(QRect(w * i / 10, h * ((i * 3 + seed) % 7) / 10, w / 5, h / 4),
                         QColor::fromHsv((seed * 53 + i * 40) % 360, 200, 150 + i * 10));
    return picture;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One build of the sheet, run to its end in an event loop as the window runs
// it: the milliseconds to the first row and to the whole sheet.
struct BuildTimes {
    double firstRow = 0;
    double whole = 0;
};

BuildTimes buildSheet(orv::ImageLibrary& library, const QString& folder, int width) {
    BuildTimes times;
    QElapsedTimer clock;
    QEventLoop loop;
    bool firstRowIn = false;
    const auto arrived = QObject::connect(&library, &orv::ImageLibrary::thumbnailsArrived, [&] {
        if (firstRowIn)
            return;
        for (int i = 0; i < library.columns() && i < library.images().size(); ++i)
            if (!library.hasArrived(i))
                return;
        firstRowIn = true;
        times.firstRow = double(clock.nsecsElapsed()) / 1e6;
    });
    const auto done = QObject::connect(&library, &orv::ImageLibrary::finished, &loop, &QEventLoop::quit);
    clock.start();
    library.build(folder, width);
    if (library.isBuilding())
        loop.exec();
    times.whole = double(clock.nsecsElapsed()) / 1e6;
    QObject::disconnect(arrived);
    QObject::disconnect(done);
    return times;
}

void copyFile(const QString& from, const QString& to) {
    QFile::remove(to);
    if (!QFile::copy(from, to))
        std::fprintf(stderr, "could not write %s\n", qPrintable(to));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString folder = dir.path() + "/Vale/";
    const QString samples = dir.path() + "/amostras/";
    const QString out = dir.path() + "/vips/";
    QDir().mkpath(folder);
    QDir().mkpath(samples);
    QDir().mkpath(out);

    // 150 JPEG photos, 50 PNG, 50 BMP and 50 GIF pictures, from a few
    // distinct pictures of each kind.
    constexpr int Variants = 6;
    for (int v = 0; v < Variants; ++v) {
        const QString name = QStringLiteral("p%1").arg(v);
        orv::saveImage(samples, name, photo(1600, 1200, v), QStringLiteral("jpg"));
        orv::saveImage(samples, name, photo(640, 400, v + 10), QStringLiteral("png"));
        orv::saveImage(samples, name, photo(640, 400, v + 20), QStringLiteral("bmp"));
        orv::saveImage(samples, name, drawing(320, 200, v), QStringLiteral("gif"));
    }
    QStringList files;
    const auto add = [&](const char* extension, int count) {
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("%1%2.%3").arg(QLatin1String(extension)).arg(i, 3, 10, QLatin1Char('0')).arg(QLatin1String(extension));
            copyFile(samples + QStringLiteral("p%1.%2").arg(i % Variants).arg(QLatin1String(extension)), folder + name);
            files << folder + name;
        }
    };
    add("jpg", 150);
    add("png", 50);
    add("bmp", 50);
    add("gif", 50);

    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    if (vips.isEmpty())
        std::fprintf(stderr, "vipsthumbnail not found (Debian package libvips-tools): no ratio\n");
    QStringList vipsArguments{QStringLiteral("--size"), QStringLiteral("100x60!"), QStringLiteral("-o"),
                              out + QStringLiteral("%s.jpg")};
    vipsArguments += files;

    orv::ImageLibrary library;
    const int runs = 5;
    std::vector<double> ours, firstRows, theirs;
    for (int i = 0; i < runs; ++i) {
        const BuildTimes times = buildSheet(library, folder, 1290);
        ours.push_back(times.whole);
        firstRows.push_back(times.firstRow);
        if (library.images().size() != files.size() || !library.failures().isEmpty()) {
            std::fprintf(stderr, "the sheet is not complete\n");
            return 1;
        }
        if (vips.isEmpty())
            continue;
        QElapsedTimer clock;
        clock.start();
        QProcess process;
        process.start(vips, vipsArguments);
        if (!process.waitForFinished(-1) || process.exitCode() != 0) {
            std::fprintf(stderr, "vipsthumbnail failed: %s\n", process.readAllStandardError().constData());
            return 1;
        }
        theirs.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("thumbnail sheet of %lld pictures (150 JPEG 1600x1200, 50 PNG, 50 BMP 640x400, 50 GIF 320x200), "
                "median of %d\n",
                static_cast<long long>(files.size()), runs);
    std::printf("  image library sheet          : %9.1f ms\n", median(ours));
    std::printf("  first row of thumbnails      : %9.1f ms\n", median(firstRows));
    if (!theirs.empty()) {
        std::printf("  vipsthumbnail, 100x60, same files: %9.1f ms\n", median(theirs));
        std::printf("  ratio library / vipsthumbnail: %.2f\n", median(ours) / median(theirs));
    }
    return 0;
}
