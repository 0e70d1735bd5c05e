#pragma once
#include "net/SyncPlan.h"
#include "widgets/ToolWindow.h"

#include <QLineEdit>
#include <functional>

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

    PasswordBox* senha() const { return passwordEdit_; }

    // "Conectar": fetch the group list and show the window.
    void Connect();
    // Double-click on a group: open its adventure and become ready.
    void LstGrpDblClick();
    // Enter in the password box stores the password file.
    void SenhaKeyPress();
    // "[-]" shows or hides the password's characters.
    void Label46Click();
    void btDwAdvClick();
    void btUpAdvClick();

    // The files the last whole download could not fetch.
    const QStringList& failedDownloads() const { return failedDownloads_; }

private:
    void setStatus(const QString& text);
    void showWholeTransfer();
    void reloadDownloadedLists(const QStringList& written);
    void showFailedDownloads(const QStringList& failed);
    // JanSinc for the files a whole transfer left changed on both sides.
    void resolveConflicts(const QList<FileSync>& conflicts);

    AdventureDocument& document_;
    Adventure& adventure_;
    Connection& connection_;
    QStringList failedDownloads_;
    MainWindowSteps steps_;
    bool busy_ = false;

    QListWidget* groupList_;
    PasswordBox* passwordEdit_;
    QLabel* passwordToggle_;
    QLabel* statusLine_;
    PictureBox* downloadAllButton_;
    QLabel* downloadAllCaption_;
    PictureBox* uploadAllButton_;
    QLabel* uploadAllCaption_;
    Gauge* gauge_;
};

}  // namespace orv
