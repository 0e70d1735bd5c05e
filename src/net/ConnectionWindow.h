#pragma once
#include "net/SyncPlan.h"
#include "widgets/ToolWindow.h"

#include <QLineEdit>
#include <functional>
#include <memory>

class QListWidget;

namespace orv {

class Adventure;
class AdventureDocument;
class Connection;
class PictureBox;
struct DragState;

// The progress bar of the whole transfers: orange on maroon, no text.
class Gauge : public QWidget {
public:
    Gauge(QWidget* parent, const QString& name, QRect geometry);
    int progress() const { return progress_; }
    int maximum() const { return maximum_; }
    // Progress is held between 0 and the maximum.
    void setProgress(int progress, int maximum);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int progress_ = 0;
    int maximum_ = 0;
};

// The group password box: the real text stays in text(); while masked every
// character shows as "#".
class PasswordBox : public QLineEdit {
public:
    PasswordBox(QWidget* parent, const QString& name);
    bool masked() const { return echoMode() == QLineEdit::Password; }
    void setMasked(bool masked);
};

// The connection window "Grupos:": the server's groups, the group password,
// the whole-adventure transfers. It sets the connection's state (offline,
// connected, ready); the main window and the editors follow that state.
class ConnectionWindow : public ToolWindow {
public:
    // What the window asks of the main window.
    struct MainWindowSteps {
        std::function<void()> hideFullWidthViews;
        // The chosen group's adventure is open: its entry is the title.
        std::function<void(const QString& title)> groupOpened;
    };

    // The window opens the chosen group's adventure in the document, and
    // hands the document the files a whole download replaced.
    ConnectionWindow(QWidget* parent, AdventureDocument& document, Connection& connection, DragState& drag,
                     MainWindowSteps steps);
    // A transfer still running is stopped and waited for.
    ~ConnectionWindow() override;

    PasswordBox* senha() const { return passwordEdit_; }

    // "Conectar": fetch the group list and show the window.
    void Connect();
    // Double-click on a group: open its adventure and become ready.
    void LstGrpDblClick();
    // Enter in the password box stores the password file.
    void SenhaKeyPress();
    // "[-]" shows or hides the password's characters.
    void Label46Click();
    // The whole transfers run on a thread of their own: the window repaints
    // and answers meanwhile, and the status line names each file as it goes
    // ("3 de 40: sala.png"). While one runs (until its questions are
    // answered) the document's transferRunning is set and the connection's
    // client is busy.
    void btDwAdvClick();
    void btUpAdvClick();
    // "Parar" (btCanTrf, shown while a whole transfer runs): it stops after
    // the file in flight.
    void btCanTrfClick();

    bool transferRunning() const;
    // As "Parar"; `quietly` also leaves out the questions after the transfer
    // (the conflict window), for a program that is closing.
    void stopTransfer(bool quietly = false);
    // Stops a running transfer, waits for it, and takes the lists it
    // downloaded into the document, asking nothing: before the exit saves.
    void finishTransferNow();

    // The files the last whole download could not fetch.
    const QStringList& failedDownloads() const { return failedDownloads_; }

private:
    void setStatus(const QString& text);
    void showWholeTransfer();
    void reloadDownloadedLists(const QString& name, const QStringList& written);
    void showFailedDownloads(const QStringList& failed);
    // JanSinc for the files a whole transfer left changed on both sides.
    void resolveConflicts(const QString& name, const QString& folder, const QList<FileSync>& conflicts);

    struct Run;
    void startTransfer(const std::shared_ptr<Run>& run);
    // On the interface thread once the worker is done: what the transfer
    // changed is taken in, and (unless quiet) the author is told and asked.
    void transferEnded(const std::shared_ptr<Run>& run);
    void setTransferRunning(bool running);

    AdventureDocument& document_;
    Adventure& adventure_;
    Connection& connection_;
    QStringList failedDownloads_;
    MainWindowSteps steps_;
    std::shared_ptr<Run> run_;  // the whole transfer whose worker runs

    QListWidget* groupList_;
    PasswordBox* passwordEdit_;
    QLabel* passwordToggle_;
    QLabel* statusLine_;
    PictureBox* downloadAllButton_;
    QLabel* downloadAllCaption_;
    PictureBox* uploadAllButton_;
    QLabel* uploadAllCaption_;
    Gauge* gauge_;
    PictureBox* stopButton_;
};

}  // namespace orv
