// 1000 downloads (get file) and 1000 uploads (put file) of 4 KiB files from
// the reference server on loopback, held against the curl command line doing
// the same requests in one process. Both talk to the same reference server
// (nginx and php-fpm), one request at a time, so the ratio shows what the
// client adds per request.
//
// "get file" is the whole download an author runs for many files: the file
// list, then every file fetched into one durable batch that reaches the disk
// together at the end (curl fetches the list and the files and just writes
// them). The same 1000 downloads each through its own safe write (temporary
// file, sync, rename), as the per-item buttons do, are shown beside it, with
// the cost of 1000 safe writes alone to tell the two apart. The group's
// password hash has the lowest bcrypt cost, so that the uploads measure the
// transfer.
#include "CurlTiming.h"
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
#include <cstdio>
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

void report(const char* what, double client, double curl, double safeWrites = 0) {
    if (safeWrites > 0)
        std::printf("%-9s ServerClient less its safe writes %8.1f ms (%.3f ms/request)   ratio %.2f\n",
                    what, client - safeWrites, (client - safeWrites) / FileCount,
                    (client - safeWrites) / curl);
    std::printf("%-9s ServerClient %8.1f ms (%.3f ms/request)   curl %8.1f ms (%.3f ms/request)   "
                "ratio %.2f\n",
                what, client, client / FileCount, curl, curl / FileCount, client / curl);
}

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
    for (int i = 0; i < FileCount; ++i)
        getConfig += "url = " + quoted(base + Adventure + QLatin1Char('/') + nameOf(i)) +
                     "\noutput = " + quoted(curlFolder + nameOf(i)) + "\n";
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
    std::vector<double> clientGet, clientGetEach, curlGet, safeWrites, clientPut, curlPut;
    int failed = 0;
    QElapsedTimer clock;
    const AdventureTransfer::Progress quiet{[](const QString&) {}, [](int, int) {}};
    for (int round = 0; round < Rounds; ++round) {
        clock.start();
        const AdventureTransfer::DownloadResult whole =
            AdventureTransfer::downloadAll(client, Adventure, local, quiet);
        clientGet.push_back(double(clock.nsecsElapsed()) / 1e6);
        failed += int(whole.failed.size()) + (whole.written.size() != FileCount);
        curlGet.push_back(timeCurl(temp.path() + QStringLiteral("/get.cfg"), getConfig));

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
    report("get file", median(clientGet), median(curlGet));
    std::printf("(the same files each through its own safe write, as the per-item buttons do)\n");
    report("get each", median(clientGetEach), median(curlGet), median(safeWrites));
    report("put file", median(clientPut), median(curlPut));
    const bool curlFailed = std::any_of(curlGet.begin(), curlGet.end(), [](double t) { return t < 0; }) ||
                            std::any_of(curlPut.begin(), curlPut.end(), [](double t) { return t < 0; });
    if (failed || curlFailed) {
        std::printf("%d requests of the client failed%s\n", failed, curlFailed ? ", curl failed" : "");
        return 1;
    }
    return 0;
}
