// The reference index of a big adventure (400 positions, 2,000 scripts,
// 3,000 pictures, 500 objects) held against reading the same files with
// `cat`, measured in the same run: building the index from nothing (with
// every problem listed), refreshing it when nothing changed, and the whole
// "orvalis verificar" command, process start included.
#include "core/ListFile.h"
#include "document/ReferenceIndex.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

void put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QString position(int cell) {
    return QStringLiteral("pos_%1_%2").arg(cell / 20).arg(cell % 20);
}

// Returns the files the index reads, for `cat`.
QStringList makeAdventure(const QString& folder) {
    std::mt19937 random(20261209);
    QStringList read;
    QStringList map(801);
    for (int cell = 0; cell < 400; ++cell) {
        map[2 * cell] = position(cell);
        map[2 * cell + 1] = QString::number(2 + int(random() % 15));
    }
    orv::ListFile::write(folder + "Grande.map", map);
    read << "Grande.map";
    const char* exits[] = {"norte", "leste", "sul", "oeste"};
    for (int cell = 0; cell < 400; ++cell) {
        QStringList lines{"//=== Posição: " + position(cell) + " ==================", "  setmode= 1",
                          "  retscp= " + position(cell), "  telpos= " + position(cell) + ".png"};
        for (int d = 0; d < 4; ++d)
            if (random() % 2)
                lines << QStringLiteral("  %1= %2").arg(exits[d], position(int(random() % 400)));
        lines << "  msg= Nome desta posição " + position(cell) << "  fim";
        orv::ListFile::write(folder + position(cell) + ".scp", lines);
        read << position(cell) + ".scp";
    }
    QStringList roster, status;
    for (int i = 0; i < 500; ++i) {
        const QString name = QStringLiteral("obj%1").arg(i);
        const QStringList record{name, "Obj", "um(a) " + name, position(int(random() % 400)),
                                 QStringLiteral("forma%1.gif").arg(i), "-", "0", "0"};
        orv::ListFile::write(folder + name + ".obj", record);
        orv::ListFile::write(folder + name + ".scp",
                             {"//=== Objeto: " + name + " =================", "retscp= " + name, "fim"});
        read << name + ".obj" << name + ".scp";
        roster << name;
        status << record;
    }
    orv::ListFile::write(folder + "Grande.obz", roster);
    orv::ListFile::write(folder + "Grande.obx", status);
    read << "Grande.obz" << "Grande.obx";
    for (int i = 0; i < 1100; ++i) {  // the game's own scripts, naming things in their lines
        QStringList lines;
        for (int l = 0; l < 12; ++l)
            lines << QStringLiteral("se tem obj%1 vai %2 toca som%3.wav").arg(random() % 500).arg(position(int(random() % 400))).arg(l);
        orv::ListFile::write(folder + QStringLiteral("cena%1.scp").arg(i), lines);
        read << QStringLiteral("cena%1.scp").arg(i);
    }
    QStringList settings(98, QStringLiteral("0"));
    settings[13] = "abertura.png";
    settings[14] = "painel.png";
    orv::ListFile::write(folder + "Grande.ini", settings);
    read << "Grande.ini";
    const QByteArray picture(3000, 'x');
    for (int cell = 0; cell < 400; ++cell)
        put(folder + position(cell) + ".png", picture);
    for (int i = 0; i < 500; ++i)
        put(folder + QStringLiteral("forma%1.gif").arg(i), picture);
    for (int i = 0; i < 2100; ++i)
        put(folder + QStringLiteral("extra%1.jpg").arg(i), picture);
    return read;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timed(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void run(const QString& program, const QStringList& arguments, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(-1);
}

}  // namespace

int main() {
    QTemporaryDir workspace;
    const QString folder = workspace.path() + "/Grande/";
    QDir().mkpath(folder);
    const QStringList files = makeAdventure(folder);
    std::printf("adventure: %d files read by the index, %lld files in the folder\n", int(files.size()),
                qlonglong(QDir(folder).entryList(QDir::Files).size()));

    constexpr int runs = 7;
    std::vector<double> buildMs, refreshMs, catMs, checkMs;
    int problems = 0;
    orv::ReferenceIndex kept;
    kept.refresh(folder, "Grande");
    for (int r = 0; r < runs; ++r) {
        catMs.push_back(timed([&] { run("cat", files, folder); }));
        buildMs.push_back(timed([&] {
            orv::ReferenceIndex index;
            index.refresh(folder, "Grande");
            problems = int(index.problems().size());
        }));
        refreshMs.push_back(timed([&] {
            kept.refresh(folder, "Grande");
            kept.problems();
        }));
        checkMs.push_back(timed([&] {
            run(QStringLiteral(ORVALIS_PROGRAM),
                {"verificar", "Grande", "--json", "--pasta", workspace.path()}, folder);
        }));
    }
    const double cat = median(catMs);
    std::printf("problems and unused files listed: %d\n", problems);
    std::printf("cat of the same files: %.1f ms\n", cat);
    std::printf("index built from nothing, with every problem: %.1f ms\n", median(buildMs));
    std::printf("index refreshed, nothing changed, with every problem: %.1f ms\n", median(refreshMs));
    std::printf("orvalis verificar --json (a process): %.1f ms\n", median(checkMs));
    std::printf("ratio index build / cat: %.2f\n", median(buildMs) / cat);
    std::printf("ratio index refresh / cat: %.2f\n", median(refreshMs) / cat);
    std::printf("ratio verificar / cat: %.2f\n", median(checkMs) / cat);
    return 0;
}
