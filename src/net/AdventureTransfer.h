#pragma once
#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>

namespace orv {

class ServerClient;

// Moving a whole adventure between its folder and the server, one file after
// the other, with the progress and the status texts handed to the window.
namespace AdventureTransfer {

// What the window shows while a transfer runs; both repaint at once.
struct Progress {
    std::function<void(const QString&)> status;                // the status line
    std::function<void(int progress, int maximum)> gauge;      // the progress bar
    // Optional: called before each file is requested or sent, file `number`
    // (from 1) of `count` files that will travel.
    std::function<void(int number, int count, const QString& name)> file = {};
};

// The password file: never uploaded, and on download it is just another name.
inline constexpr char kPasswordFile[] = "sen.txt";

// The plain files of a folder, in the order the file system lists them:
// no sub-folders, no hidden or system files, no symbolic links (a link could
// send a file from outside the adventure).
QStringList folderListing(const QString& folder);

// Fetches every file the server lists for the adventure into its folder.
// Names that could address something outside the folder are skipped with a
// message instead of being requested. The downloads wait in temporary files
// and take their places together once the last one is in (see DurableBatch):
// an old file is replaced only by a whole new one. Each file's status and
// gauge step are shown as soon as it has arrived, before the next request.
struct DownloadResult {
    QStringList written;  // the names fetched and written
    QStringList failed;   // the names refused or not fetched, to try again
    bool listed = false;  // the file list began with "Ok"
    QString refusal;      // otherwise its first line, if any
};
DownloadResult downloadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                           const Progress& progress);

// Sends every file of the folder listing but the password file, each as
// bytes. A transport failure of a single upload is thrown and ends the
// transfer there; a reply other than "Ok" (the server refused the file or
// the password) is kept with the file's name and the transfer goes on.
struct UploadResult {
    QStringList sent;                         // the server answered "Ok"
    QList<QPair<QString, QString>> refused;  // name and the server's reply
};
UploadResult uploadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                       const QString& password, const Progress& progress);

}  // namespace AdventureTransfer
}  // namespace orv
