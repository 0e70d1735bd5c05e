// 1000 downloads (get file) and 1000 uploads (put file) of 4 KiB files from
// the reference server on loopback, held against the curl command line doing
// the same requests in one process. Both talk to the same reference server
// (nginx and php-fpm), one request at a time, so the ratio shows what the
// client adds per request.
//
// "get file" is the whole download an author runs for many files: the file
// list, then every file fetched into one durable batch that reaches the disk
// together at the end. Its floor is curl fetching the list and the files
// into new files, then each of those files synced (fdatasync, 8 at a time),
// timed together: both sides leave the files on the disk. curl alone, whose
// files may still be in memory only, is shown too. The whole download is
// measured on a quiet disk and again right after another process left 1 GB
// of unwritten data on the same file system. The same 1000 downloads
// each through its own safe write (temporary file, sync, rename), as the
// per-item buttons do, are shown beside it, with the cost of 1000 safe
// writes alone to tell the two apart. The group's
// password hash has the lowest bcrypt cost, so that the uploads measure the
// transfer.
#include "CurlTiming.h"
#include "../DirtyDisk.h"
#include "../SyncEach.h"
#include "core/ListFile.h"
#include "net/AdventureTransfer.h"
#include "net/ServerClient.h"
#include "net/TestServers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace orv;

namespace {

constexpr int FileCount = 1000;
constexpr int FileSize = 4096;
const QString Adventure = QStringLiteral("Bench");
const QString Password = QStringLiteral("bench");

QString nameOf(int i) {
    return QStringLiteral("f%1.dat").arg(i, 4, 10, QLatin1Char('0'));
}

QByteArray quoted(const QString& text) {
    return '"' + text.toUtf8() + '"';
}

void report(const char* what, double client, const char* floor, double curl, const char* note = "") {
    std::printf("%-9s ServerClient %8.1f ms (%.3f ms/request)   %s %8.1f ms (%.3f ms/request)   "
                "ratio %.2f%s\n",
                what, client, client / FileCount, floor, curl, curl / FileCount, client / curl, note);
}

using bench::syncEach;

}  // namespace

int main() {
    QTemporaryDir temp;
    const QString data = temp.path() + QStringLiteral("/data");
    const QString local = temp.path() + QStringLiteral("/local/");
    QDir().mkpath(local);
    test::ReferenceServer::addGroup(data, Adventure, Password, Adventure);
    const QString stored = data + QStringLiteral("/adventures/") + Adventure + QLatin1Char('/');
    for (int i = 0; i < FileCount; ++i) {
        QByteArray bytes(FileSize, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), FileSize / 4);
        writeFileSafely(stored + nameOf(i), bytes);
    }
    test::ReferenceServer server(data);
    const QString base = server.base();
    ServerClient client(base);

    QByteArray getConfig;
    const QString curlFolder = temp.path() + QStringLiteral("/curl/");
    QDir().mkpath(curlFolder);
    getConfig += "url = " + quoted(base + QStringLiteral("lstarqs.php?NoAdv=") + Adventure) + "\noutput = " +
                 quoted(curlFolder + QStringLiteral("lista.txt")) + "\n";
    QStringList curlFiles{curlFolder + QStringLiteral("lista.txt")};
    for (int i = 0; i < FileCount; ++i) {
        getConfig += "url = " + quoted(base + Adventure + QLatin1Char('/') + nameOf(i)) +
                     "\noutput = " + quoted(curlFolder + nameOf(i)) + "\n";
        curlFiles << curlFolder + nameOf(i);
    }
    // The uploads send the files downloaded before them, under the same names.
    QByteArray putConfig;
    for (int i = 0; i < FileCount; ++i)
        putConfig += QByteArray(i ? "next\n" : "") + "url = " +
                     quoted(base + QStringLiteral("putarq.php?NoAdv=%1&Arq=%2&Senha=%3")
                                       .arg(Adventure, nameOf(i), Password)) +
                     "\nform = " + quoted(QStringLiteral("Img=@") + local + nameOf(i)) +
                     "\nheader = \"Expect:\"\noutput = \"/dev/null\"\n";
    const QString writeFolder = temp.path() + QStringLiteral("/writes/");
    QDir().mkpath(writeFolder);

    for (int i = 0; i < 10; ++i)
        client.getFile(Adventure, local, nameOf(i));
    // Rounds take turns, so that a busy machine weighs on both sides alike;
    // each figure is the median of its rounds.
    constexpr int Rounds = 3;
    struct GetFigures {
        std::vector<double> client, curl, curlSynced;
    } quietGet, dirtyGet;
    std::vector<double> clientGetEach, safeWrites, clientPut, curlPut;
    int failed = 0;
    QElapsedTimer clock;
    const AdventureTransfer::Progress quiet{[](const QString&) {}, [](int, int) {}};
    for (int round = 0; round < Rounds; ++round) {
        // The whole download on a quiet disk, then right after another
        // process left 1 GB of unwritten data on the same file system.
        for (GetFigures* figures : {&quietGet, &dirtyGet}) {
            std::unique_ptr<bench::DirtyDisk> other;
            if (figures == &dirtyGet) {
                other = std::make_unique<bench::DirtyDisk>(temp.path(), 1LL << 30);
                failed += other->ok() ? 0 : 1;
            }
            // Into an empty folder, by a client that has listed nothing
            // yet: a folder with the record of an earlier exchange would
            // fetch only what changed, which is nothing.
            QDir(local).removeRecursively();
            QDir().mkpath(local);
            ServerClient fresh(base);
            clock.start();
            const AdventureTransfer::DownloadResult whole =
                AdventureTransfer::downloadAll(fresh, Adventure, local, quiet);
            figures->client.push_back(double(clock.nsecsElapsed()) / 1e6);
            failed += int(whole.failed.size()) + (whole.written.size() != FileCount);
            // curl writes new files, as the client's batch does (rewriting
            // a file cut to nothing makes the file system write it out at
            // once on its close); the old ones go first, untimed.
            for (const QString& path : std::as_const(curlFiles))
                QFile::remove(path);
            clock.restart();
            const double curlTime = timeCurl(temp.path() + QStringLiteral("/get.cfg"), getConfig);
            const bool synced = curlTime >= 0 && syncEach(curlFiles);
            figures->curlSynced.push_back(synced ? double(clock.nsecsElapsed()) / 1e6 : -1);
            figures->curl.push_back(curlTime);
        }

        clock.restart();
        for (int i = 0; i < FileCount; ++i)
            failed += client.getFile(Adventure, local, nameOf(i)) != QLatin1String("Ok");
        clientGetEach.push_back(double(clock.nsecsElapsed()) / 1e6);

        const QByteArray sample = readFileBytes(local + nameOf(round));
        clock.restart();
        for (int i = 0; i < FileCount; ++i)
            writeFileSafely(writeFolder + nameOf(i), sample);
        safeWrites.push_back(double(clock.nsecsElapsed()) / 1e6);

        clock.restart();
        for (int i = 0; i < FileCount; ++i)
            failed += client.putFile(Adventure, local, nameOf(i), Password) != QLatin1String("Ok");
        clientPut.push_back(double(clock.nsecsElapsed()) / 1e6);
        curlPut.push_back(timeCurl(temp.path() + QStringLiteral("/put.cfg"), putConfig));
    }

    std::printf("%d files of %d bytes, reference server on %s, median of %d rounds\n", FileCount,
                FileSize, qPrintable(base), Rounds);
    std::printf("1000 safe writes of 4 KiB alone: %.1f ms\n", median(safeWrites));
    report("get file", median(quietGet.client), "curl + sync of its files", median(quietGet.curlSynced));
    report("get file", median(quietGet.client), "curl alone", median(quietGet.curl),
           "   (not like with like: curl's files not synced)");
    std::printf("(with 1 GB of another process's unwritten data on the same file system)\n");
    report("get file", median(dirtyGet.client), "curl + sync of its files", median(dirtyGet.curlSynced));
    std::printf("ratio get file dirty / quiet: %.2f (curl + sync of its files: %.2f)\n",
                median(dirtyGet.client) / median(quietGet.client),
                median(dirtyGet.curlSynced) / median(quietGet.curlSynced));
    std::printf("(the same files each through its own safe write, as the per-item buttons do)\n");
    report("get each", median(clientGetEach), "curl + sync of its files", median(quietGet.curlSynced),
           "   (each file synced on its own against all synced together)");
    report("put file", median(clientPut), "curl", median(curlPut), "   (nothing written on this side)");
    bool curlFailed = false;
    for (const auto* figures : {&quietGet.curl, &quietGet.curlSynced, &dirtyGet.curl, &dirtyGet.curlSynced, &curlPut})
        curlFailed |= std::any_of(figures->begin(), figures->end(), [](double t) { return t < 0; });
    if (failed || curlFailed) {
        std::printf("%d requests of the client failed%s\n", failed, curlFailed ? ", curl failed" : "");
        return 1;
    }
    return 0;
}
