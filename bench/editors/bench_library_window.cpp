// The image library window as the author meets it, on adventures of 300,
// 1,000 and 3,000 pictures (half JPEG photos of 1600 x 1200, the rest PNG and
// BMP of 640 x 400 and GIF of 320 x 200): "Imagens" pressed in the main
// window, the time to the first row of thumbnails painted and to the whole
// sheet, the longest the event loop was kept from a 5 ms timer meanwhile, the
// resident memory at its peak and after the view is closed, each above what
// the program held before opening it. In the same run vipsthumbnail
// (libvips-tools) makes 100 x 60 thumbnails of the same files in one call, as
// its users run it; the whole sheet is printed as a ratio of it. Every file
// is read from the page cache. Nothing is asserted: the figures are printed.
//
//   bench_library_window [sizes...]     e.g. bench_library_window 300 10000
#include "app/OrvalisApplication.h"
#include "app/TForm1.h"
#include "editors/ImageLibrary.h"
#include "editors/ImageLibraryWindow.h"
#include "imaging/ImageFiles.h"
#include "LibraryPictures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

// Resident and peak resident memory of this process, in KB.
long statusField(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Starts the peak over from what is resident now, where the kernel allows.
bool resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct Figures {
    double firstRow = -1;  // ms
    double whole = 0;      // ms
    double longestPause = 0;
    long peakKb = 0;
    long afterCloseKb = 0;
};

// Paint events of the sheet: the first one that finds the whole first row
// in paints it.
class FirstRowWatch : public QObject {
public:
    FirstRowWatch(const orv::ImageLibrary& library, const QElapsedTimer& clock) : library_(library), clock_(clock) {}
    double at = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && at < 0) {
            bool in = library_.arrivedCount() > 0;
            for (int i = 0; in && i < library_.columns() && i < library_.images().size(); ++i)
                in = library_.hasArrived(i);
            if (in)
                at = double(clock_.nsecsElapsed()) / 1e6;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const orv::ImageLibrary& library_;
    const QElapsedTimer& clock_;
};

Figures openAndClose(orv::TForm1& form, bool measureMemory) {
    Figures figures;
    auto* window = form.findChild<orv::ImageLibraryWindow*>(QStringLiteral("JanImg"));
    const orv::ImageLibrary& library = window->library();
    settle(200);
    const long before = statusField("VmRSS");
    const bool peakReset = measureMemory && resetPeak();
    long peak = before;

    QElapsedTimer clock;
    FirstRowWatch watch(library, clock);
    window->sheetView()->installEventFilter(&watch);
    QElapsedTimer sinceTick;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        figures.longestPause = std::max(figures.longestPause, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
        if (measureMemory && !peakReset)
            peak = std::max(peak, statusField("VmRSS"));
    });
    timer.start(5);
    clock.start();
    sinceTick.start();
    form.btImgClick();
    while (library.isBuilding())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    figures.whole = double(clock.nsecsElapsed()) / 1e6;
    settle(50);  // the last rows painted
    timer.stop();
    window->sheetView()->removeEventFilter(&watch);
    figures.firstRow = watch.at;
    if (measureMemory)
        figures.peakKb = (peakReset ? statusField("VmHWM") : peak) - before;

    form.fmMapClick();
    library.waitForReaders();
    settle(200);
    if (measureMemory)
        figures.afterCloseKb = statusField("VmRSS") - before;
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    orv::OrvalisApplication app(argc, argv);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        if (const int n = std::atoi(argv[i]); n > 0)
            sizes.push_back(n);
    if (sizes.empty())
        sizes = {300, 1000, 3000};

    QTemporaryDir dir;
    const QString workspace = dir.path() + QStringLiteral("/");
    const QString samples = workspace + QStringLiteral("amostras/");
    QDir().mkpath(samples);
    QImage background(2040, 1240, QImage::Format_RGB32);
    background.fill(qRgb(214, 214, 206));
    background.save(workspace + QStringLiteral("defmap.bmp"), "BMP");

    // A few distinct pictures of each kind, linked under many names: the
    // files are all different names on the sheet, read from the page cache.
    bench::writeSamplePictures(samples);
    std::vector<QStringList> filesOf;
    for (const int n : sizes) {
        const QString name = QStringLiteral("Imagens%1").arg(n);
        const QString folder = workspace + name + QLatin1Char('/');
        QDir().mkpath(folder);
        for (const char* ext : {".ini", ".rgs", ".obx", ".obz"})
            QFile(folder + name + QLatin1String(ext)).open(QIODevice::WriteOnly);
        QStringList files;
        const auto add = [&](const char* extension, int count) {
            for (int i = 0; i < count; ++i) {
                const QString file = folder + QStringLiteral("%1%2.%3").arg(QLatin1String(extension)).arg(i, 5, 10, QLatin1Char('0')).arg(QLatin1String(extension));
                std::error_code error;
                std::filesystem::create_hard_link(
                    (samples + QStringLiteral("p%1.%2").arg(i % bench::kPictureVariants).arg(QLatin1String(extension))).toStdString(),
                    file.toStdString(), error);
                if (error)
                    QFile::copy(samples + QStringLiteral("p%1.%2").arg(i % bench::kPictureVariants).arg(QLatin1String(extension)), file);
                files << file;
            }
        };
        add("jpg", n / 2);
        add("png", n / 6);
        add("bmp", n / 6);
        add("gif", n - n / 2 - 2 * (n / 6));
        filesOf.push_back(files);
    }

    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    if (vips.isEmpty())
        std::printf("vipsthumbnail not found (Debian package libvips-tools): no ratios\n");
    const QString out = workspace + QStringLiteral("vips/");
    QDir().mkpath(out);

    orv::TForm1 form(workspace + QStringLiteral("orvalis"));
    form.resize(1297, 802);
    form.show();
    settle(300);

    std::printf("image library window, \"Imagens\" on adventures of half JPEG 1600x1200, PNG and BMP 640x400, "
                "GIF 320x200 (platform %s); memory above the program before opening\n",
                qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("%8s %11s %11s %11s %13s %13s %13s %11s %8s\n", "pictures", "first row", "whole", "longest",
                "peak", "peak a pic", "after close", "vips", "ratio");
    for (size_t s = 0; s < sizes.size(); ++s) {
        const int n = sizes[s];
        form.OpenAdventure(QStringLiteral("Imagens%1").arg(n));
        settle(100);
        const int runs = n <= 1000 ? 3 : 1;
        std::vector<double> first, whole, pause, theirs;
        Figures memory;
        for (const QString& file : filesOf[s]) {  // the files into the page cache
            QFile f(file);
            if (f.open(QIODevice::ReadOnly))
                f.readAll();
        }
        for (int r = 0; r < runs; ++r) {
            const Figures f = openAndClose(form, r == 0);
            if (r == 0)
                memory = f;
            first.push_back(f.firstRow);
            whole.push_back(f.whole);
            pause.push_back(f.longestPause);
            if (!vips.isEmpty())
                theirs.push_back(bench::vipsThumbnails(vips, filesOf[s], out));
        }
        const double w = bench::median(whole);
        std::printf("%8d %8.1f ms %8.1f ms %8.1f ms %10.1f MB %10.1f KB %10.1f MB", n, bench::median(first), w,
                    *std::max_element(pause.begin(), pause.end()), memory.peakKb / 1024.0,
                    double(memory.peakKb) / n, memory.afterCloseKb / 1024.0);
        if (theirs.empty())
            std::printf(" %11s %8s\n", "-", "-");
        else
            std::printf(" %8.1f ms %8.2f\n", bench::median(theirs), w / bench::median(theirs));
        std::fflush(stdout);
    }
    std::printf("goals: first row <= 200 ms, whole / vips <= 0.35, peak <= 25 KB a picture, after close <= 64 MB\n");
    return 0;
}
