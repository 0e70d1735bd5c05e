// Compiles a full map (400 named positions, rooms with doors and corridors)
// in write mode "1" and holds it against the floor measured in the same run:
// the same 400 files' bytes written into new files with plain file writes,
// then each file synced (fdatasync, 8 at a time), since the compile leaves
// its files on the disk. The plain writes without any sync are shown too; they
// are not durable, so that ratio is not like with like. The compile is timed
// until it returns, and again until the files it replaced are freed (the
// compiler leaves that to a thread of its own).
//
// Every figure is taken twice, side by side: on a quiet disk, and right
// after another process left 1 GB of unwritten data on the same file system.
// The compile syncs only its own files, so the second should be close to the
// first.
//
// A last figure, the same bytes through the safe write every single file of
// the program goes through (temporary file, sync, rename, folder sync), one
// file after the other, shows what the batch saves (quiet disk only).
#include "core/ListFile.h"
#include "map/MapCompiler.h"
#include "../DirtyDisk.h"
#include "../SyncEach.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <random>
#include <thread>
#include <unistd.h>
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

    // The floor made durable: each file of the plain writes synced.
    QStringList plainPaths;
    for (const auto& file : files)
        plainPaths.append(file.first);
    const auto syncEach = [&plainPaths] { return bench::syncEach(plainPaths); };

    constexpr int runs = 7;
    constexpr long long kDirtyBytes = 1LL << 30;
    struct Figures {
        std::vector<double> compileMs, freedMs, floorMs, durableFloorMs, waitingMb;
    } quiet, dirty;
    std::vector<double> safeMs, blocksMs;
    for (int run = 0; run < runs; ++run) {
        // Each run takes the two in turn, so neither always follows the other.
        Figures* const order[2][2] = {{&quiet, &dirty}, {&dirty, &quiet}};
        for (Figures* figures : order[run % 2]) {
            // The other process's data goes into the compile's own temporary
            // folder, on the same file system as every file written here.
            std::unique_ptr<bench::DirtyDisk> other;
            if (figures == &dirty) {
                other = std::make_unique<bench::DirtyDisk>(compiled.path(), kDirtyBytes);
                if (!other->ok())
                    return 1;
            }
            figures->waitingMb.push_back(bench::DirtyDisk::waitingMegabytes());
            QElapsedTimer timer;
            timer.start();
            orv::MapCompiler::compile(map, QStringLiteral("1"), QStringLiteral("png"), QStringLiteral("1"), folder);
            figures->compileMs.push_back(timer.nsecsElapsed() / 1e6);
            // The replaced files are freed after the compile returns; that
            // work is counted here, and kept out of the floor's time.
            orv::waitForReleasedOldFiles();
            figures->freedMs.push_back(timer.nsecsElapsed() / 1e6);

            // Into new files, as the compile writes new files: rewriting a
            // file cut to nothing makes the file system write it out at once
            // on its close, which would slow the floor. The old ones are
            // removed first, untimed, as the compile frees its replaced
            // files after it returns.
            for (const auto& file : files)
                ::unlink(QFile::encodeName(file.first).constData());
            timer.restart();
            for (const auto& [path, bytes] : files) {
                QFile f(path);
                if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly) || f.write(bytes) != bytes.size())
                    return 1;
            }
            const double written = timer.nsecsElapsed() / 1e6;
            if (!syncEach())
                return 1;
            figures->floorMs.push_back(written);
            figures->durableFloorMs.push_back(timer.nsecsElapsed() / 1e6);
        }

        // The compiler's own work: every block built (picture test
        // included), nothing written.
        QElapsedTimer timer;
        timer.start();
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
    // creation of the compiler's new files in the runs that follow. Each
    // round syncs 400 files one after the other: three rounds.
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (const auto& [path, bytes] : files)
            orv::writeFileSafely(safe.path() + path.mid(plain.path().size()), bytes);
        safeMs.push_back(timer.nsecsElapsed() / 1e6);
    }

    const auto line = [](const char* what, double q, double d) {
        std::printf("  %-52s %9.2f %9.2f\n", what, q, d);
    };
    const auto medians = [](const Figures& f) {
        struct {
            double compile, freed, floor, durableFloor, waiting;
        } m{median(f.compileMs), median(f.freedMs), median(f.floorMs), median(f.durableFloorMs), median(f.waitingMb)};
        return m;
    };
    const auto q = medians(quiet);
    const auto d = medians(dirty);
    const double s = median(safeMs);
    std::printf("map compile, 400 positions, %lld bytes, median of %d runs;\n"
                "quiet disk, and with %lld MB of another process's unwritten data on the same file system\n",
                total, runs, kDirtyBytes >> 20);
    std::printf("  %-52s %9s %9s\n", "", "quiet", "dirty");
    line("data waiting to be written, whole machine, MB", q.waiting, d.waiting);
    line("compile (mode 1), ms", q.compile, d.compile);
    line("compile, old files freed, ms", q.freed, d.freed);
    line("plain writes + fdatasync of each, ms", q.durableFloor, d.durableFloor);
    line("plain writes, no sync (not durable), ms", q.floor, d.floor);
    std::printf("  %-52s %9.2f\n", "blocks only, no writes, ms", median(blocksMs));
    std::printf("  %-52s %9.2f\n", "safe writes one by one, same bytes, ms", s);
    line("ratio compile / durable plain", q.compile / q.durableFloor, d.compile / d.durableFloor);
    line("ratio compile, old files freed / durable plain", q.freed / q.durableFloor, d.freed / d.durableFloor);
    line("ratio compile / plain, no sync (not like with like)", q.compile / q.floor, d.compile / d.floor);
    std::printf("  %-52s %9.2f\n", "ratio compile / safe writes one by one", q.compile / s);
    std::printf("  ratio compile dirty / quiet: %.2f   (durable plain writes dirty / quiet: %.2f)\n",
                d.compile / q.compile, d.durableFloor / q.durableFloor);
    return 0;
}
