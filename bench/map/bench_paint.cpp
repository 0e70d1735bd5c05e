// Paints and names all 400 cells of a map through the map window's own
// handlers, as the author does it (arm the paint marker, press on the map
// image, type the name, Enter), and holds the painting against the floor:
// drawing the same tile pictures with a bare QPainter onto a QImage, measured
// in the same run. Naming writes each position's script, so it is shown on
// its own line. Rounds alternate with the recovery journal on and off, so
// that its cost per edit shows as a ratio; the journal's whole write (the map
// picture with it) is timed after each journaled round. Runs on the offscreen
// platform unless another one is set.
#include "support/TestAdventure.h"
#include "widgets/Shape.h"
#include "map/MapModel.h"
#include "map/MapWindow.h"
#include "map/TileSet.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
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

double mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v)
        sum += x;
    return sum / double(v.size());
}

void press(QWidget* widget, QPoint at) {
    QMouseEvent down(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(widget, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(widget, &up);
}

int tileOf(int cell) { return 1 + cell % 19; }

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString ws = dir.path() + QLatin1Char('/');
    // The journals go to a state folder of the run's own.
    qputenv("XDG_STATE_HOME", (dir.path() + QStringLiteral("/state")).toUtf8());
    QImage background(2000, 1200, QImage::Format_RGB32);
    background.fill(QColor(214, 214, 206));
    background.save(ws + QStringLiteral("defmap.bmp"), "BMP");

    constexpr int rounds = 6;
    std::vector<double> paintUs, nameUs, floorUs, plainPaintUs, plainNameUs, journalMs;
    for (int round = 0; round < rounds; ++round) {
        const bool journaled = round % 2 == 0;
        orv::test::TestAdventure state(ws, QStringLiteral("Banco%1").arg(round));
        state.document.setJournaling(journaled);
        state.document.resetMap();
        const orv::MapModel& map = state.document.map();
        QWidget host;
        host.resize(1297, 722);
        auto* window = new orv::MapWindow(&host, state.document, state.connection, state.settings, state.drag);
        window->setGeometry(0, 0, 1297, 722);
        host.show();
        window->show();
        window->opened();
        QApplication::processEvents();

        QWidget* view = window->mapView();
        auto* marker = window->findChild<orv::Shape*>(QStringLiteral("Shp1"));
        auto* nameBox = window->findChild<QLineEdit*>(QStringLiteral("edNomPos"));
        QElapsedTimer timer;
        for (int cell = 0; cell < orv::MapModel::Cells; ++cell) {
            const QPoint centre(orv::MapModel::column(cell) * 100 + 10, orv::MapModel::row(cell) * 60 + 10);
            timer.start();
            window->MapTileClick(tileOf(cell));
            press(marker, QPoint(5, 5));
            press(view, centre);
            QApplication::processEvents();  // the repaint the author sees
            (journaled ? paintUs : plainPaintUs).push_back(timer.nsecsElapsed() / 1e3);

            timer.restart();
            nameBox->setText(QStringLiteral("pos_%1").arg(cell));
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            QApplication::sendEvent(nameBox, &enter);
            QApplication::processEvents();
            (journaled ? nameUs : plainNameUs).push_back(timer.nsecsElapsed() / 1e3);
            if (map.tile(cell) != QString::number(tileOf(cell)) || map.name(cell).isEmpty()) {
                std::fprintf(stderr, "cell %d was not painted and named\n", cell);
                return 1;
            }
        }

        if (journaled) {
            timer.restart();
            state.document.keepJournalNow();
            journalMs.push_back(timer.nsecsElapsed() / 1e6);
        }

        QImage bare = background.copy();
        for (int cell = 0; cell < orv::MapModel::Cells; ++cell) {
            timer.restart();
            QPainter painter(&bare);
            painter.drawImage(orv::MapModel::column(cell) * 100, orv::MapModel::row(cell) * 60,
                              orv::TileSet::picture(tileOf(cell)));
            painter.end();
            floorUs.push_back(timer.nsecsElapsed() / 1e3);
        }
    }

    const double paint = median(paintUs);
    const double name = median(nameUs);
    const double floor = median(floorUs);
    std::printf("map painting, 400 cells x %d rounds, per cell (median / mean, microseconds)\n", rounds);
    std::printf("  paint through the window (tile, arm, press, repaint): %9.1f / %9.1f\n", paint, mean(paintUs));
    std::printf("  name through the window (text, Enter, script write):  %9.1f / %9.1f\n", name, mean(nameUs));
    std::printf("  bare QPainter tile onto a QImage:                     %9.1f / %9.1f\n", floor, mean(floorUs));
    std::printf("  ratio paint / bare:                                   %9.1f\n", paint / floor);
    std::printf("  ratio paint + name / bare:                            %9.1f\n", (paint + name) / floor);
    const double plainPaint = median(plainPaintUs);
    const double plainName = median(plainNameUs);
    std::printf("recovery journal, per cell (median, microseconds): paint %.1f without, %.1f with; name %.1f without, "
                "%.1f with\n",
                plainPaint, paint, plainName, name);
    std::printf("  ratio paint with journal / without:                   %9.2f\n", paint / plainPaint);
    std::printf("  ratio paint + name with journal / without:            %9.2f\n", (paint + name) / (plainPaint + plainName));
    std::printf("  the journal's whole write, 400 cells and the map picture (median, ms): %.1f\n", median(journalMs));
    return 0;
}
