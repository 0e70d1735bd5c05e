#pragma once
#include <QString>

#include <functional>

namespace orv {

class Connection;

// The Upload and Down buttons of the editors: each moves the one item being
// edited between the adventure folder and the server. Checks run in the order
// the author expects to read their messages; a failed check sends nothing.
// Failed uploads (server unreachable, a local file that cannot be read) are
// thrown by the client and end the action at that step. While a whole
// transfer has the client every button only says so.
//
// With a server that offers revisions (its file list said so, or this
// folder has a record of exchanges with it) each upload names the version
// it replaces: the one last exchanged, or "novo" for a file the server does
// not have. The server's "Conflito!" is shown in the status and nothing
// local changes. A download first asks before replacing a local file changed
// since its last exchange. Every exchange that went well is recorded.
namespace ItemTransfer {

struct Context {
    const Connection* connection = nullptr;  // the one connection: client, state, group password
    QString adventureName;
    QString adventureFolder;                       // ends with a separator
    std::function<void(const QString&)> status;    // the editor's status label
    // Asked before a download replaces a local file changed since its last
    // exchange: true to replace it. Empty: replace without asking. A file
    // kept is not requested; nothing is shown for it, the other files of
    // the button still come, and the download functions that answer
    // whether a file was replaced answer false for it.
    std::function<bool(const QString& fileName)> askReplace = {};
};

inline constexpr char kConflict[] = "Conflito!";

inline constexpr char kMissingPassword[] = "Falta senha!";
inline constexpr char kDownloadError[] = "Erro no download!";
inline constexpr char kUploadDone[] = "Upload completo!";
inline constexpr char kDownloadDone[] = "Download completo!";
// Shown instead of moving or saving anything while a whole transfer runs.
inline constexpr char kTransferRunning[] = "Aguarde o fim da transferência.";
inline QString transferRunningText() {
    return QString::fromUtf8(kTransferRunning);
}

// Map: saved before it goes up; reloaded after either button when it went well.
void uploadMap(const Context& c, const std::function<void()>& saveMap, const std::function<void()>& loadMap);
void downloadMap(const Context& c, const std::function<void()>& loadMap);

// The picture of one position (name with extension). Works without the ready
// state, so a reconnecting author can still move the picture.
void uploadPositionImage(const Context& c, const QString& imageName);
void downloadPositionImage(const Context& c, const QString& imageName);

// Script: the editor's text is written before it goes up. downloadScript is
// true when the script file was replaced and the editor should load it.
void uploadScript(const Context& c, const QString& scriptName, const std::function<void()>& saveScript);
bool downloadScript(const Context& c, const QString& scriptName);

// An object's file with the adventure's current-status list and roster.
// downloadObject is true when the editor should load the object again.
void uploadObject(const Context& c, const QString& objectName, const std::function<void()>& repaint);
bool downloadObject(const Context& c, const QString& objectName, const std::function<void()>& repaint);

// The register names and values files.
void uploadRegisters(const Context& c);
void downloadRegisters(const Context& c);

// The image chosen last in the image library; both silent.
void uploadImage(const Context& c, const QString& imageName);
void downloadImage(const Context& c, const QString& imageName);

// The sound chosen last in the sound library; nothing happens until one is.
void uploadSound(const Context& c, const QString& soundName);
void downloadSound(const Context& c, const QString& soundName);

// The panel editor's picture and the adventure's settings file. Like the
// position image they need no ready state. The upload sends the picture,
// then lets saveSettings record the picture's size and write the settings
// file, then sends that file; prepare runs after the checks and before the
// first request, and throws to stop the upload there; without a picture
// nothing is sent. downloadPanel is true when the settings file was replaced
// and the list in memory should be read again.
inline constexpr char kNoPanelImage[] = "Nenhuma imagem no painel!";
void uploadPanel(const Context& c, const QString& imageName, const std::function<void()>& prepare,
                 const std::function<void()>& saveSettings);
bool downloadPanel(const Context& c, const QString& imageName, bool* pictureFetched = nullptr);

}  // namespace ItemTransfer
}  // namespace orv
