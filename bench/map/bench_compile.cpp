// Compiles a full map (400 named positions, rooms with doors and corridors)
// in write mode "1" and holds it against the floor: writing the same 400
// files' bytes with plain file writes, measured in the same run. The compile
// is timed until it returns, and again until the files it replaced are freed
// (the compiler leaves that to a thread of its own). A third figure, the same
// bytes through the safe write every single file of the program goes
// through (temporary file, sync, rename), shows what the batch saves.
#include "core/ListFile.h"
#include "map/MapCompiler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

QStringList fullMap() {
    std::mt19937 random(20240611);
    QStringList lines(801, QString());
    for (int cell = 0; cell < 400; ++cell) {
        const int draw = int(random() % 10);
        // Mostly rooms with doors, some corridors and crossings, a few blanks.
        int tile;
        if (draw < 7)
            tile = 2 + int(random() % 15);
        else if (draw == 7)
            tile = 17;
        else if (draw == 8)
            tile = 18 + int(random() % 2);
        else
            tile = int(random() % 2);
        lines[2 * cell] = QStringLiteral("posição_%1_%2").arg(cell / 20).arg(cell % 20);
        lines[2 * cell + 1] = QString::number(tile);
    }
    return lines;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    const QStringList map = fullMap();
    QTemporaryDir compiled;
    QTemporaryDir plain;
    QTemporaryDir safe;
    const QString folder = compiled.path() + QLatin1Char('/');
    // Half the positions have a picture, so the picture test finds both.
    for (int cell = 0; cell < 400; cell += 2) {
        QFile f(folder + map[2 * cell] + QStringLiteral(".png"));
        f.open(QIODevice::WriteOnly);
    }

    orv::MapCompiler::compile(map, QStringLiteral("1"), QStringLiteral("png"), QStringLiteral("1"), folder);
    std::vector<std::pair<QString, QByteArray>> files;
    qint64 total = 0;
    for (int cell = 0; cell < 400; ++cell) {
        const QString name = map[2 * cell] + QStringLiteral(".scp");
        QFile f(folder + name);
        f.open(QIODevice::ReadOnly);
        files.emplace_back(plain.path() + QLatin1Char('/') + name, f.readAll());
        total += files.back().second.size();
    }

    constexpr int runs = 9;
    std::vector<double> compileMs, freedMs, floorMs, safeMs, blocksMs;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        orv::MapCompiler::compile(map, QStringLiteral("1"), QStringLiteral("png"), QStringLiteral("1"), folder);
        compileMs.push_back(timer.nsecsElapsed() / 1e6);
        // The replaced files are freed after the compile returns; that work
        // is counted here, and kept out of the floor's time.
        orv::waitForReleasedOldFiles();
        freedMs.push_back(timer.nsecsElapsed() / 1e6);

        timer.restart();
        for (const auto& [path, bytes] : files) {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
                return 1;
        }
        floorMs.push_back(timer.nsecsElapsed() / 1e6);

        // The compiler's own work: every block built (picture test
        // included), nothing written.
        timer.restart();
        qsizetype lines = 0;
        for (int cell = 0; cell < 400; ++cell)
            lines += orv::MapCompiler::buildPositionBlock(map, cell, QStringLiteral("1"),
                                                          QStringLiteral("png"), folder)
                         .size();
        blocksMs.push_back(timer.nsecsElapsed() / 1e6);
        if (lines < 400 * 5)
            return 1;
    }

    // One file at a time through the safe write, after the compile runs:
    // every one of these frees a replaced file, and on file systems that
    // avoid reusing freed entries for a while, that churn would slow the
    // creation of the compiler's new files in the runs that follow.
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (const auto& [path, bytes] : files)
            orv::writeFileSafely(safe.path() + path.mid(plain.path().size()), bytes);
        safeMs.push_back(timer.nsecsElapsed() / 1e6);
    }

    const double c = median(compileMs);
    const double freed = median(freedMs);
    const double f = median(floorMs);
    const double s = median(safeMs);
    const double b = median(blocksMs);
    std::printf("map compile, 400 positions, %lld bytes, median of %d runs\n", total, runs);
    std::printf("  compile (mode 1):           %8.2f ms\n", c);
    std::printf("  compile, old files freed:   %8.2f ms\n", freed);
    std::printf("  plain writes, same bytes:   %8.2f ms\n", f);
    std::printf("  safe writes, same bytes:    %8.2f ms\n", s);
    std::printf("  blocks only, no writes:     %8.2f ms\n", b);
    std::printf("  ratio compile / plain:      %8.2f\n", c / f);
    std::printf("  ratio compile / safe:       %8.2f\n", c / s);
    std::printf("  ratio compile, old files freed / plain: %.2f\n", freed / f);
    return 0;
}
