#include "AdventureTransfer.h"

#include "ServerClient.h"
#include "ServerReply.h"
#include "core/DurableWrite.h"
#include "core/OrvalisError.h"

#include <QDir>

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
    if (ServerReply::isOk(reply) && reply.size() > 1) {
        const QStringList names = reply.mid(1);
        const int total = int(names.size());
        int done = 0;
        progress.gauge(0, total);
        // Every download goes to a temporary file first; once all are in,
        // they reach the disk together and take their places.
        DurableBatch batch;
        for (const QString& name : names) {
            if (ServerReply::isPlainFileName(name)) {
                const QString status = client.getFile(adventureName, adventureFolder, name, batch);
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
        try {
            batch.commit();
        } catch (const OrvalisError&) {
            // The files not renamed into place failed after all: their old
            // copies stay, and they are named to be fetched again.
            progress.status(QStringLiteral("Falha download"));
            for (const QString& path : batch.paths().mid(qsizetype(batch.renamedCount()))) {
                const QString name = path.mid(adventureFolder.size());
                result.written.removeAll(name);
                result.failed.append(name);
            }
        }
        progress.status(QStringLiteral("Download completo"));
        progress.gauge(0, total);
    } else {
        progress.gauge(0, 0);
    }
    return result;
}

void uploadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
               const QString& password, const Progress& progress) {
    const QStringList files = folderListing(adventureFolder);
    const int total = int(files.size());
    int done = 0;
    progress.gauge(0, total);
    for (const QString& name : files) {
        // A local name the server could not take as a bare file name
        // (a "\" or ":" is legal here) is left out rather than ending the
        // whole upload.
        if (name != QLatin1String(kPasswordFile) && ServerReply::isPlainFileName(name))
            client.putFile(adventureName, adventureFolder, name, password);
        progress.gauge(++done, total);
    }
    progress.gauge(0, total);
    progress.status(QStringLiteral("Upload completo!"));
}

}  // namespace orv::AdventureTransfer
