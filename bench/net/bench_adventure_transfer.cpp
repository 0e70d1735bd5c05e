// "Download total" and "Upload total" of the sample adventure against the
// reference server on loopback (nginx and php-fpm), held against the curl
// command line moving the same bytes in one process. Both sides take turns
// for several rounds and each figure is the median of its rounds.
//
// Three cases, in the same run:
// - the full transfer: every listed file down into an empty folder, every
//   file of the folder but the password file up (a client that has listed
//   nothing yet and a folder with no record of an exchange send everything,
//   as against a server that keeps no versions);
// - the unchanged adventure: the server keeps versions and the folder holds
//   its record, so only the file lists travel, and no file body at all;
// - one file changed: on this side for the upload, on the server for the
//   download, so the lists and that one file travel.
// The client's whole download leaves its files on the disk (one durable
// batch), so its floor is curl fetching the same files into new files and
// then each of them synced (fdatasync, 8 at a time), timed together; curl
// alone is shown too, not like with like. The whole download is measured on
// a quiet disk and again right after another process left 1 GB of
// unwritten data on the same file system. The other cases write little or
// nothing on either side and are held against curl alone.
//
//   bench_adventure_transfer [SAMPLE_FOLDER]   (default: the build's sample)
#include "CurlTiming.h"
#include "../DirtyDisk.h"
#include "../SyncEach.h"
#include "core/DurableWrite.h"
#include "core/ListFile.h"
#include "net/AdventureTransfer.h"
#include "net/ServerClient.h"
#include "net/SyncPlan.h"
#include "net/SyncRecord.h"
#include "net/TestServers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

const QString Adventure = QStringLiteral("Floresta");
const QString Password = QStringLiteral("demo");
constexpr int Rounds = 5;

QByteArray quoted(const QByteArray& text) {
    QByteArray out = text;
    out.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + out + '"';
}

// The plain files only: no record of another folder's exchanges.
void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files))
        writeFileSafely(to + name, readFileBytes(from + name));
}

QByteArray urlLine(const QString& url) {
    return "url = " + quoted(ServerClientDetail::wireUrl(url)) + "\n";
}

void printCase(const char* what, double client, double curl, const char* floor = "curl") {
    std::printf("%-34s client %8.1f ms   %s %8.1f ms   ratio %.2f\n", what, client, floor, curl, client / curl);
}

using bench::syncEach;

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
    // The upload sends a copy of the sample, never the build's own folder.
    const QString upFolder = temp.path() + QStringLiteral("/up/") + Adventure + QLatin1Char('/');
    // Two authors' workspaces, in step with the server.
    const QString mine = temp.path() + QStringLiteral("/mine/") + Adventure + QLatin1Char('/');
    const QString other = temp.path() + QStringLiteral("/other/") + Adventure + QLatin1Char('/');
    const QString curlFolder = temp.path() + QStringLiteral("/curl/");
    test::ReferenceServer::addGroup(data, Adventure, Password, Adventure);
    copyFolder(sample, stored);
    copyFolder(sample, upFolder);
    for (const QString& folder : {local, mine, other, curlFolder})
        QDir().mkpath(folder);
    test::ReferenceServer server(data);
    const QString base = server.base();
    ServerClient client(base);

    // What each side moves: the server's list for the download, the folder
    // listing less the password file for the upload.
    const QStringList listed = client.listFiles(Adventure).mid(1);
    const bool revisions = client.offersRevisions();
    QStringList sent = AdventureTransfer::folderListing(sample);
    sent.removeAll(QString::fromLatin1(AdventureTransfer::kPasswordFile));
    qint64 listedBytes = 0;
    for (const QString& name : listed)
        listedBytes += QFileInfo(stored + name).size();
    qint64 sentBytes = 0;
    for (const QString& name : sent)
        sentBytes += QFileInfo(sample + name).size();

    const QString listUrl = base + QStringLiteral("lstarqs.php?NoAdv=") + Adventure;
    const QString revisionUrl = listUrl + QStringLiteral("&Rev=1");
    auto putUrl = [&](const QString& name, const QByteArray& baseSha) {
        return base + QStringLiteral("putarq.php?NoAdv=") + Adventure + QStringLiteral("&Arq=") + name +
               QStringLiteral("&Senha=") + Password +
               (baseSha.isEmpty() ? QString() : QStringLiteral("&Base=") + QString::fromLatin1(baseSha));
    };
    auto putEntry = [&](const QString& url, const QString& path) {
        return urlLine(url) + "form = " + quoted("Img=@" + path.toUtf8() + ";type=image/jpg") +
               "\nheader = \"Expect:\"\noutput = \"/dev/null\"\n";
    };
    QByteArray getConfig = urlLine(listUrl) + "output = \"/dev/null\"\n";
    QStringList curlFiles;
    for (const QString& name : listed) {
        getConfig += "next\n" + urlLine(base + Adventure + QLatin1Char('/') + name) + "output = " +
                     quoted((curlFolder + name).toUtf8()) + "\n";
        curlFiles << curlFolder + name;
    }
    QByteArray putConfig;
    for (const QString& name : sent)
        putConfig += QByteArray(putConfig.isEmpty() ? "" : "next\n") + putEntry(putUrl(name, {}), upFolder + name);

    int failed = 0;
    AdventureTransfer::Progress quiet{[](const QString&) {}, [](int, int) {}};
    struct GetFigures {
        std::vector<double> client, curl, curlSynced;
    } quietGet, dirtyGet;
    std::vector<double> clientPut, curlPut, safeWrites;
    std::vector<double> comparisons;
    std::vector<double> sameGet, sameGetCurl, samePut, samePutCurl, oneGet, oneGetCurl, onePut, onePutCurl;
    const QString writeFolder = temp.path() + QStringLiteral("/writes/");
    QDir().mkpath(writeFolder);
    std::vector<QByteArray> contents;
    for (const QString& name : listed)
        contents.push_back(readFileBytes(stored + name));

    // The two authors fetch once; from then on each has its record.
    ServerClient mineClient(base), otherClient(base);
    failed += int(AdventureTransfer::downloadAll(mineClient, Adventure, mine, quiet).failed.size());
    failed += int(AdventureTransfer::downloadAll(otherClient, Adventure, other, quiet).failed.size());
    // The files the rounds change: a script each, this side's and the other's.
    QStringList scripts = listed.filter(QStringLiteral(".scp"));
    const QString changedHere = scripts.value(0, listed.value(0));
    const QString changedThere = scripts.value(1, listed.value(1));
    qint64 unchangedSent = 0, unchangedFetched = 0, oneSent = 0, oneFetched = 0;

    QElapsedTimer clock;
    for (int round = 0; round < Rounds; ++round) {
        // The full transfers; the download on a quiet disk, then with the
        // other process's data waiting.
        for (GetFigures* figures : {&quietGet, &dirtyGet}) {
            std::unique_ptr<bench::DirtyDisk> other;
            if (figures == &dirtyGet) {
                other = std::make_unique<bench::DirtyDisk>(temp.path(), 1LL << 30);
                failed += other->ok() ? 0 : 1;
            }
            QDir(local).removeRecursively();
            QDir().mkpath(local);
            {
                ServerClient fresh(base);
                clock.start();
                const AdventureTransfer::DownloadResult got =
                    AdventureTransfer::downloadAll(fresh, Adventure, local, quiet);
                figures->client.push_back(double(clock.nsecsElapsed()) / 1e6);
                failed += int(got.failed.size()) + (got.written.size() == listed.size() ? 0 : 1);
            }
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
        for (size_t i = 0; i < contents.size(); ++i)
            writeFileSafely(writeFolder + listed[qsizetype(i)], contents[i]);
        safeWrites.push_back(double(clock.nsecsElapsed()) / 1e6);

        // The password file included and skipped; a client that has listed
        // nothing and a folder without a record: every file goes.
        {
            ServerClient fresh(base);
            clock.restart();
            const AdventureTransfer::UploadResult put = AdventureTransfer::uploadAll(fresh, Adventure, upFolder, Password, quiet);
            clientPut.push_back(double(clock.nsecsElapsed()) / 1e6);
            failed += int(put.refused.size()) + (put.sent.size() == sent.size() ? 0 : 1);
        }
        curlPut.push_back(timeCurl(temp.path() + QStringLiteral("/put.cfg"), putConfig));
        if (!revisions)
            continue;

        // The full upload put the sample back: both authors take it up, untimed.
        AdventureTransfer::downloadAll(mineClient, Adventure, mine, quiet);
        AdventureTransfer::downloadAll(otherClient, Adventure, other, quiet);

        // What the comparison costs here alone: reading and hashing every
        // local file, which curl does not do.
        {
            const SyncRecord record = SyncRecord::load(mine, base);
            QList<ServerFile> none;
            clock.restart();
            const QList<FileSync> plan = SyncPlan::compareFolder(Adventure, mine, none, record);
            comparisons.push_back(double(clock.nsecsElapsed()) / 1e6);
            failed += plan.isEmpty() ? 1 : 0;
        }

        // Unchanged: the lists travel, no file.
        clock.restart();
        const AdventureTransfer::UploadResult samePutResult =
            AdventureTransfer::uploadAll(mineClient, Adventure, mine, Password, quiet);
        samePut.push_back(double(clock.nsecsElapsed()) / 1e6);
        unchangedSent += samePutResult.sent.size();
        samePutCurl.push_back(timeCurl(temp.path() + QStringLiteral("/same-put.cfg"),
                                       urlLine(revisionUrl) + "output = \"/dev/null\"\n"));
        clock.restart();
        const AdventureTransfer::DownloadResult sameGetResult =
            AdventureTransfer::downloadAll(mineClient, Adventure, mine, quiet);
        sameGet.push_back(double(clock.nsecsElapsed()) / 1e6);
        unchangedFetched += sameGetResult.written.size();
        sameGetCurl.push_back(timeCurl(temp.path() + QStringLiteral("/same-get.cfg"),
                                       urlLine(listUrl) + "output = \"/dev/null\"\nnext\n" + urlLine(revisionUrl) +
                                           "output = \"/dev/null\"\n"));

        // One file changed here goes up, with its base; curl sends the same
        // file over the same base after the same list.
        const QByteArray edit = "// rodada " + QByteArray::number(round) + "\r\n";
        writeFileSafely(mine + changedHere, readFileBytes(mine + changedHere) + edit);
        clock.restart();
        const AdventureTransfer::UploadResult onePutResult =
            AdventureTransfer::uploadAll(mineClient, Adventure, mine, Password, quiet);
        onePut.push_back(double(clock.nsecsElapsed()) / 1e6);
        oneSent += onePutResult.sent.size();
        failed += int(onePutResult.refused.size() + onePutResult.conflicts.size());
        // curl puts the same bytes over the version now stored (mine), which
        // the server keeps; its history is pruned by count.
        writeFileSafely(curlFolder + changedHere, readFileBytes(mine + changedHere));
        onePutCurl.push_back(timeCurl(temp.path() + QStringLiteral("/one-put.cfg"),
                                      urlLine(revisionUrl) + "output = \"/dev/null\"\nnext\n" +
                                          putEntry(putUrl(changedHere, fileSha256(stored + changedHere)),
                                                   curlFolder + changedHere)));

        // One file changed on the server comes down.
        writeFileSafely(other + changedThere, readFileBytes(other + changedThere) + edit);
        failed += int(AdventureTransfer::uploadAll(otherClient, Adventure, other, Password, quiet).refused.size());
        clock.restart();
        const AdventureTransfer::DownloadResult oneGetResult =
            AdventureTransfer::downloadAll(mineClient, Adventure, mine, quiet);
        oneGet.push_back(double(clock.nsecsElapsed()) / 1e6);
        oneFetched += oneGetResult.written.size();
        failed += int(oneGetResult.failed.size() + oneGetResult.conflicts.size());
        oneGetCurl.push_back(timeCurl(temp.path() + QStringLiteral("/one-get.cfg"),
                                      urlLine(listUrl) + "output = \"/dev/null\"\nnext\n" + urlLine(revisionUrl) +
                                          "output = \"/dev/null\"\nnext\n" +
                                          urlLine(base + Adventure + QLatin1Char('/') + changedThere) +
                                          "output = " + quoted((curlFolder + changedThere).toUtf8()) + "\n"));
        // The other author takes this side's change up, untimed, to stay in step.
        AdventureTransfer::downloadAll(otherClient, Adventure, other, quiet);
    }

    std::printf("sample adventure %s: %lld files listed (%lld bytes) down, %lld files (%lld bytes) up;\n"
                "reference server on %s, median of %d rounds\n",
                qPrintable(sample), qint64(listed.size()), listedBytes, qint64(sent.size()), sentBytes,
                qPrintable(base), Rounds);
    printCase("whole download", median(quietGet.client), median(quietGet.curlSynced), "curl + sync of its files");
    printCase("whole download", median(quietGet.client), median(quietGet.curl),
              "curl alone (not like with like: its files not synced)");
    printCase("whole download, 1 GB unwritten", median(dirtyGet.client), median(dirtyGet.curlSynced),
              "curl + sync of its files");
    std::printf("ratio whole download dirty / quiet: %.2f (curl + sync of its files: %.2f)\n",
                median(dirtyGet.client) / median(quietGet.client),
                median(dirtyGet.curlSynced) / median(quietGet.curlSynced));
    std::printf("the same %lld files each through its own safe write, no transfer: %.1f ms\n",
                qint64(listed.size()), median(safeWrites));
    printCase("whole upload", median(clientPut), median(curlPut));
    bool curlFailed = false;
    for (const auto* figures : {&quietGet.curl, &quietGet.curlSynced, &dirtyGet.curl, &dirtyGet.curlSynced, &curlPut,
                                &sameGetCurl, &samePutCurl, &oneGetCurl, &onePutCurl})
        curlFailed |= std::any_of(figures->begin(), figures->end(), [](double t) { return t < 0; });
    if (revisions) {
        std::printf("with revisions (the server keeps versions; the record is in the folder):\n");
        printCase("download, unchanged", median(sameGet), median(sameGetCurl));
        printCase("upload, unchanged", median(samePut), median(samePutCurl));
        printCase("download, one file changed there", median(oneGet), median(oneGetCurl));
        printCase("upload, one file changed here", median(onePut), median(onePutCurl));
        std::printf("the client's comparison of its folder alone (every file hashed): %.1f ms\n",
                    median(comparisons));
        std::printf("ratio unchanged/whole: download %.3f, upload %.3f\n", median(sameGet) / median(quietGet.client),
                    median(samePut) / median(clientPut));
        std::printf("ratio one changed/whole: download %.3f, upload %.3f\n", median(oneGet) / median(quietGet.client),
                    median(onePut) / median(clientPut));
        std::printf("file bodies over %d rounds: unchanged %lld sent, %lld fetched; one changed %lld sent, %lld fetched\n",
                    Rounds, unchangedSent, unchangedFetched, oneSent, oneFetched);
        if (unchangedSent || unchangedFetched || oneSent != Rounds || oneFetched != Rounds) {
            std::printf("the transfers with revisions moved other files than the changed ones\n");
            failed += 1;
        }
    } else {
        std::printf("the server offers no revisions: only the full transfers were measured\n");
    }
    if (failed || curlFailed) {
        std::printf("%d transfers of the client failed%s\n", failed, curlFailed ? ", curl failed" : "");
        return 1;
    }
    return 0;
}
