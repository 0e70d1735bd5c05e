// Builds the image library's thumbnail sheet of 300 pictures (JPEG photos of
// 1600 x 1200 beside PNG, BMP and GIF game pictures), and in the same run has
// vipsthumbnail (libvips-tools) make 100 x 60 thumbnails of the same files,
// all in one call as its users run it. Both read from the page cache: the
// files are written just before. Figures are medians; a ratio below 1 means
// the library is faster. The time to the first row of thumbnails is
// printed beside them; bench_library_window measures the window's memory.
#include "editors/ImageLibrary.h"
#include "imaging/ImageFiles.h"
#include "LibraryPictures.h"

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
    bench::writeSamplePictures(samples);
    QStringList files;
    const auto add = [&](const char* extension, int count) {
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("%1%2.%3").arg(QLatin1String(extension)).arg(i, 3, 10, QLatin1Char('0')).arg(QLatin1String(extension));
            copyFile(samples + QStringLiteral("p%1.%2").arg(i % bench::kPictureVariants).arg(QLatin1String(extension)), folder + name);
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
        const double time = bench::vipsThumbnails(vips, files, out);
        if (time < 0)
            return 1;
        theirs.push_back(time);
    }
    std::printf("thumbnail sheet of %lld pictures (150 JPEG 1600x1200, 50 PNG, 50 BMP 640x400, 50 GIF 320x200), "
                "median of %d\n",
                static_cast<long long>(files.size()), runs);
    std::printf("  image library sheet          : %9.1f ms\n", bench::median(ours));
    std::printf("  first row of thumbnails      : %9.1f ms\n", bench::median(firstRows));
    if (!theirs.empty()) {
        std::printf("  vipsthumbnail, 100x60, same files: %9.1f ms\n", bench::median(theirs));
        std::printf("  ratio library / vipsthumbnail: %.2f\n", bench::median(ours) / bench::median(theirs));
    }
    return 0;
}
