#include "AdventureTransfer.h"

#include "ServerClient.h"
#include "ServerReply.h"
#include "core/DurableWrite.h"

#include <QDir>

#include <algorithm>

namespace orv::AdventureTransfer {

QStringList folderListing(const QString& folder) {
    // Without QDir::Hidden and QDir::System those stay out; Unsorted keeps the
    // file system's own order.
    QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Unsorted);
    // The program's own temporary files are never sent, hidden or not.
    names.removeIf([](const QString& name) { return isTemporaryName(name); });
    return names;
}

DownloadResult downloadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                           const Progress& progress) {
    const QStringList reply = client.listFiles(adventureName);
    progress.status(QStringLiteral("Pasta vazia"));
    DownloadResult result;
    result.listed = ServerReply::isOk(reply);
    if (!result.listed)
        result.refusal = reply.value(0);
    if (result.listed && reply.size() > 1) {
        const QStringList names = reply.mid(1);
        const int total = int(names.size());
        int done = 0;
        progress.gauge(0, total);
        for (const QString& name : names) {
            if (progress.file)
                progress.file(done + 1, total, name);
            if (ServerReply::isPlainFileName(name)) {
                const QString status = client.getFile(adventureName, adventureFolder, name);
                if (status == QLatin1String("Ok"))
                    result.written.append(name);
                else
                    result.failed.append(name);
                progress.status(status);
            } else {
                result.failed.append(name);
                progress.status(QStringLiteral("Nome recusado: ") + name);
            }
            progress.gauge(++done, total);
        }
        progress.status(QStringLiteral("Download completo"));
        progress.gauge(0, total);
    } else {
        progress.gauge(0, 0);
    }
    return result;
}

namespace {
// The server takes a file with the reply "Ok", as a line of its own; anything
// else is its refusal, in its own words.
bool isAcceptance(const QString& reply) {
    return reply == QLatin1String("Ok") || reply.startsWith(QLatin1String("Ok\r")) ||
           reply.startsWith(QLatin1String("Ok\n"));
}
}  // namespace

UploadResult uploadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                       const QString& password, const Progress& progress) {
    const QStringList files = folderListing(adventureFolder);
    // A local name the server could not take as a bare file name (a "\" or
    // ":" is legal here) is left out rather than ending the whole upload.
    auto travels = [](const QString& name) {
        return name != QLatin1String(kPasswordFile) && ServerReply::isPlainFileName(name);
    };
    const int sending = int(std::count_if(files.begin(), files.end(), travels));
    const int total = int(files.size());
    int done = 0;
    int sent = 0;
    UploadResult result;
    progress.gauge(0, total);
    for (const QString& name : files) {
        if (travels(name)) {
            if (progress.file)
                progress.file(++sent, sending, name);
            const QString reply = client.putFile(adventureName, adventureFolder, name, password);
            if (isAcceptance(reply))
                result.sent.append(name);
            else
                result.refused.append({name, reply});
        }
        progress.gauge(++done, total);
    }
    progress.gauge(0, total);
    progress.status(QStringLiteral("Upload completo!"));
    return result;
}

}  // namespace orv::AdventureTransfer
