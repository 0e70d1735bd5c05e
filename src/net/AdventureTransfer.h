#pragma once
#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>

#include "net/SyncPlan.h"

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
    // Optional: asked before each file that would travel; true ends the
    // transfer there. The files that went are kept and recorded as after a
    // whole transfer, and the final text says how many went.
    std::function<bool()> stop = {};
};

// The final text of a transfer stopped after `done` of `count` files
// ("Parado: 3/8").
QString stoppedText(int done, int count);

// The password file: never uploaded, and on download it is just another name.
inline constexpr char kPasswordFile[] = "sen.txt";

// The plain files of a folder, in the order the file system lists them:
// no sub-folders, no hidden or system files, no symbolic links (a link could
// send a file from outside the adventure).
QStringList folderListing(const QString& folder);

// How a whole transfer treats what the last exchange cannot settle. Only a
// server that offers revisions is compared with; any other gets every file,
// as it always has.
struct Options {
    // Also send (upload) or fetch (download) the files changed on both sides
    // and those changed only on the other side: the local copy wins on the
    // server (which keeps the version it replaces in its history), the
    // server's wins on the disk.
    bool force = false;
    // Upload only: ask the server's file list first, to learn whether it
    // offers revisions, even when this client has not listed files yet and
    // the folder has no record with it. That is one more request of the
    // plain protocol before the uploads; without it such an upload is sent
    // as it always was.
    bool probe = false;
};

// Whether to speak revisions with this server: its last file list offered
// them; or, not asked yet (or `ask`), the file list asked now offers them.
// Unless `ask`, a client that has not listed files asks only when the folder
// holds a record made with this server, so a server that never offered
// revisions gets no request it would not have had.
bool revisionsOffered(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                      bool ask = false);

// Fetches every file the server lists for the adventure into its folder.
// Names that could address something outside the folder are skipped with a
// message instead of being requested. The downloads wait in temporary files
// and take their places together once the last one is in (see DurableBatch):
// an old file is replaced only by a whole new one. Each file's status and
// gauge step are shown as soon as it has arrived, before the next request.
//
// With a server that offers revisions only the files changed or new on the
// server are fetched; a file the same on both sides is not (it still moves
// the gauge), one changed here since the last exchange is never overwritten,
// and one changed on both sides is a conflict, left as it is and returned.
// The record of the last exchange is updated for every file fetched or found
// the same.
struct DownloadResult {
    QStringList written;  // the names fetched and written
    QStringList failed;   // the names refused or not fetched, to try again
    bool listed = false;  // the file list began with "Ok"
    QString refusal;      // otherwise its first line, if any
    bool revisions = false;           // the server offered revisions
    QList<FileSync> plan;             // with revisions: every file compared
    QList<FileSync> conflicts;        // changed on both sides: left alone
    QStringList keptLocal;            // changed only here: not overwritten
    QStringList unchanged;            // the same on both sides: not fetched
    // Every name in `failed`, with why: a failure is never a success.
    QList<QPair<QString, QString>> notWritten;
    // Not empty when the record of this exchange could not be written (the
    // files are in place; the next comparison finds more conflicts).
    QString recordError;
    bool stopped = false;  // Progress::stop ended it before the last file
};
DownloadResult downloadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                           const Progress& progress, const Options& options = {});

// Sends every file of the folder listing but the password file, each as
// bytes. A transport failure of a single upload is thrown and ends the
// transfer there; a reply other than "Ok" (the server refused the file) is
// kept with the file's name and the transfer goes on, except "Senha
// incorreta!": no further file is tried, so that a mistyped password costs
// one refusal and not one per file.
//
// With a server that offers revisions only the files changed or new here
// are sent, each with the version it replaces as its base; a file changed
// only on the server is left for a download, and one changed on both sides
// (or refused by the server as "Conflito!") is a conflict, not sent and
// returned. The record is updated for every file sent or found the same.
struct UploadResult {
    QStringList sent;                         // the server answered "Ok"
    QList<QPair<QString, QString>> refused;  // name and the server's reply
    bool revisions = false;       // the server offered revisions
    bool wrongPassword = false;   // stopped at "Senha incorreta!"
    QList<FileSync> plan;         // with revisions: every file compared
    QList<FileSync> conflicts;    // not sent: changed on both sides, or "Conflito!"
    QStringList leftOnServer;     // changed only on the server: not sent
    QStringList unchanged;        // the same on both sides: not sent
    QString recordError;          // as for downloads
    bool stopped = false;         // as for downloads
};
UploadResult uploadAll(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                       const QString& password, const Progress& progress, const Options& options = {});

// With a revision server: the folder against the server's listing and the
// record, sending and writing nothing. Throws OrvalisError when the listing
// is refused; offersRevisions is false (and the plan empty, no revision
// request made) for a server that does not offer them.
struct Status {
    bool revisions = false;
    bool listed = false;
    QString refusal;
    QList<FileSync> plan;
};
Status compareWithServer(ServerClient& client, const QString& adventureName, const QString& adventureFolder);

// The three ways out of one conflict. Mine: the local file goes up over the
// server's current version (which the server keeps in its history). Theirs:
// the server's version replaces the local file. Both: the server's version
// is saved beside the local file as "nome (servidor).ext" and the local one
// is not sent (the next upload offers it as changed here). Each records the
// exchange. Returns the status text for the author: "Ok", the server's
// refusal (for instance "Conflito!" when the server changed again since the
// comparison) or "Falha download".
enum class ConflictChoice { Mine, Theirs, Both };
QString resolveConflict(ServerClient& client, const QString& adventureName, const QString& adventureFolder,
                        const QString& password, const FileSync& file, ConflictChoice choice);
// The name "Both" saves the server's version under: "Clareira (servidor).scp".
QString besideName(const QString& fileName);

}  // namespace AdventureTransfer
}  // namespace orv
