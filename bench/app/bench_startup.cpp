// Start-up: from process start to the first painted main window, on a
// workspace of 200 adventures, beside a bare Qt window started the same way.
// The parent starts this same program as a child in one of two modes and
// times each child from its start to the line it prints once painted.
#include "app/OrvalisApplication.h"
#include "app/TForm1.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            std::printf("painted\n");
            std::fflush(stdout);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool done_ = false;
};

int child(int argc, char** argv, bool full, const QString& workspace) {
    orv::OrvalisApplication app(argc, argv);
    FirstPaint watcher;
    if (full) {
        orv::TForm1 form(workspace + "/orvalis");
        form.installEventFilter(&watcher);
        form.showOnScreen();
        return app.exec();
    }
    QWidget bare;
    bare.resize(1297, 802);
    bare.installEventFilter(&watcher);
    bare.show();
    return app.exec();
}

void makeWorkspace(const QString& dir) {
    QImage background(2040, 1240, QImage::Format_Indexed8);
    background.setColorCount(2);
    background.setColor(0, qRgb(214, 214, 206));
    background.setColor(1, qRgb(196, 196, 188));
    background.fill(0);
    background.save(dir + "/defmap.bmp", "BMP");
    for (int i = 0; i < 200; ++i) {
        const QString name = QStringLiteral("Aventura%1").arg(i, 3, 10, QLatin1Char('0'));
        QDir(dir).mkpath(name);
        for (const char* ext : {".ini", ".rgs", ".obx", ".obz"}) {
            QFile f(dir + "/" + name + "/" + name + ext);
            f.open(QIODevice::WriteOnly);
        }
    }
}

double timeChild(const QString& self, const QString& mode, const QString& workspace) {
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(self, {mode, workspace});
    process.waitForReadyRead(30000);
    const double ms = timer.nsecsElapsed() / 1e6;
    process.waitForFinished(30000);
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3)
        return child(argc, argv, QString::fromLocal8Bit(argv[1]) == "orvalis", QString::fromLocal8Bit(argv[2]));

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    makeWorkspace(dir.path());
    const QString self = QString::fromLocal8Bit(argv[0]);
    const int runs = 21;
    std::vector<double> bare, full;
    timeChild(self, "bare", dir.path());  // warm the caches
    for (int i = 0; i < runs; ++i) {
        bare.push_back(timeChild(self, "bare", dir.path()));
        full.push_back(timeChild(self, "orvalis", dir.path()));
    }
    const double b = median(bare), f = median(full);
    std::printf("start-up to first paint, 200 adventures (median of %d, platform %s)\n", runs,
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "xcb" : qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("  bare Qt window : %8.1f ms\n", b);
    std::printf("  orvalis        : %8.1f ms\n", f);
    std::printf("  ratio          : %8.2f\n", f / b);
    return 0;
}
