// "Download total" and "Upload total" of the sample adventure against the
// reference server on loopback (nginx and php-fpm), held against the curl
// command line fetching and posting the same files in one process: the file
// list and every listed file for the download, every file of the folder but
// the password file for the upload. Both sides take turns for several
// rounds and each figure is the median of its rounds. The client stores each
// download through the safe write (temporary file, sync, rename) while curl
// just writes, so the time of those writes alone is measured too.
//
//   bench_adventure_transfer [SAMPLE_FOLDER]   (default: the build's sample)
#include "CurlTiming.h"
#include "core/DurableWrite.h"
#include "core/ListFile.h"
#include "net/AdventureTransfer.h"
#include "net/ServerClient.h"
#include "net/TestServers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace orv;

namespace {

const QString Adventure = QStringLiteral("Floresta");
const QString Password = QStringLiteral("demo");
constexpr int Rounds = 5;

QByteArray quoted(const QByteArray& text) {
    QByteArray out = text;
    out.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + out + '"';
}

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files))
        writeFileSafely(to + name, readFileBytes(from + name));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString sample = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(ORVALIS_SAMPLE_DIR);
    if (!sample.endsWith(QLatin1Char('/')))
        sample += QLatin1Char('/');
    if (!QFileInfo(sample).isDir()) {
        std::fprintf(stderr, "no sample adventure at %s (build the target \"sample\")\n", qPrintable(sample));
        return 2;
    }

    QTemporaryDir temp;
    const QString data = temp.path() + QStringLiteral("/data");
    const QString stored = data + QStringLiteral("/adventures/") + Adventure + QLatin1Char('/');
    const QString local = temp.path() + QStringLiteral("/local/") + Adventure + QLatin1Char('/');
    const QString curlFolder = temp.path() + QStringLiteral("/curl/");
    test::ReferenceServer::addGroup(data, Adventure, Password, Adventure);
    copyFolder(sample, stored);
    QDir().mkpath(local);
    QDir().mkpath(curlFolder);
    test::ReferenceServer server(data);
    const QString base = server.base();
    ServerClient client(base);

    // What each side moves: the server's list for the download, the folder
    // listing less the password file for the upload.
    const QStringList listed = client.listFiles(Adventure).mid(1);
    QStringList sent = AdventureTransfer::folderListing(sample);
    sent.removeAll(QString::fromLatin1(AdventureTransfer::kPasswordFile));
    qint64 listedBytes = 0;
    for (const QString& name : listed)
        listedBytes += QFileInfo(stored + name).size();
    qint64 sentBytes = 0;
    for (const QString& name : sent)
        sentBytes += QFileInfo(sample + name).size();

    QByteArray getConfig = "url = " + quoted(ServerClientDetail::wireUrl(base + QStringLiteral("lstarqs.php?NoAdv=") + Adventure)) +
                           "\noutput = \"/dev/null\"\n";
    for (const QString& name : listed)
        getConfig += "next\nurl = " + quoted(ServerClientDetail::wireUrl(base + Adventure + QLatin1Char('/') + name)) +
                     "\noutput = " + quoted((curlFolder + name).toUtf8()) + "\n";
    QByteArray putConfig;
    for (const QString& name : sent)
        putConfig += QByteArray(putConfig.isEmpty() ? "" : "next\n") + "url = " +
                     quoted(ServerClientDetail::wireUrl(base + QStringLiteral("putarq.php?NoAdv=") + Adventure +
                                                        QStringLiteral("&Arq=") + name + QStringLiteral("&Senha=") +
                                                        Password)) +
                     "\nform = " + quoted("Img=@" + (sample + name).toUtf8() + ";type=image/jpg") +
                     "\nheader = \"Expect:\"\noutput = \"/dev/null\"\n";

    int failed = 0;
    AdventureTransfer::Progress quiet{[](const QString&) {}, [](int, int) {}};
    std::vector<double> clientGet, curlGet, clientPut, curlPut, safeWrites;
    const QString writeFolder = temp.path() + QStringLiteral("/writes/");
    QDir().mkpath(writeFolder);
    std::vector<QByteArray> contents;
    for (const QString& name : listed)
        contents.push_back(readFileBytes(stored + name));
    QElapsedTimer clock;
    for (int round = 0; round < Rounds; ++round) {
        QDir(local).removeRecursively();
        QDir().mkpath(local);
        clock.start();
        const AdventureTransfer::DownloadResult got = AdventureTransfer::downloadAll(client, Adventure, local, quiet);
        clientGet.push_back(double(clock.nsecsElapsed()) / 1e6);
        failed += int(got.failed.size());
        curlGet.push_back(timeCurl(temp.path() + QStringLiteral("/get.cfg"), getConfig));

        clock.restart();
        for (size_t i = 0; i < contents.size(); ++i)
            writeFileSafely(writeFolder + listed[qsizetype(i)], contents[i]);
        safeWrites.push_back(double(clock.nsecsElapsed()) / 1e6);

        // The upload sends the sample's own folder, password file included
        // and skipped.
        clock.restart();
        AdventureTransfer::uploadAll(client, Adventure, sample, Password, quiet);
        clientPut.push_back(double(clock.nsecsElapsed()) / 1e6);
        curlPut.push_back(timeCurl(temp.path() + QStringLiteral("/put.cfg"), putConfig));
    }

    std::printf("sample adventure %s: %lld files listed (%lld bytes) down, %lld files (%lld bytes) up;\n"
                "reference server on %s, median of %d rounds\n",
                qPrintable(sample), qint64(listed.size()), listedBytes, qint64(sent.size()), sentBytes,
                qPrintable(base), Rounds);
    std::printf("whole download  client %8.1f ms   curl %8.1f ms   ratio %.2f\n", median(clientGet), median(curlGet),
                median(clientGet) / median(curlGet));
    std::printf("the client's %lld safe writes alone: %.1f ms\n", qint64(listed.size()), median(safeWrites));
    std::printf("whole download less its safe writes  client %8.1f ms   ratio %.2f\n",
                median(clientGet) - median(safeWrites), (median(clientGet) - median(safeWrites)) / median(curlGet));
    std::printf("whole upload    client %8.1f ms   curl %8.1f ms   ratio %.2f\n", median(clientPut), median(curlPut),
                median(clientPut) / median(curlPut));
    const bool curlFailed = std::any_of(curlGet.begin(), curlGet.end(), [](double t) { return t < 0; }) ||
                            std::any_of(curlPut.begin(), curlPut.end(), [](double t) { return t < 0; });
    if (failed || curlFailed) {
        std::printf("%d downloads of the client failed%s\n", failed, curlFailed ? ", curl failed" : "");
        return 1;
    }
    return 0;
}
