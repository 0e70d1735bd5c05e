#pragma once
#include "app/ToolWindow.h"

#include <QLineEdit>
#include <functional>

class QListWidget;

namespace orv {

class PictureBox;
class ServerClient;
class Shape;
struct ProgramState;

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
// the whole-adventure transfers, and the connection state shown by the
// main window's Led (maroon offline, red connected, lime ready).
class ConnectionWindow : public ToolWindow {
public:
    // What the window needs from the main window beyond the controls it finds
    // there by name.
    struct MainWindowSteps {
        std::function<void()> hideFullWidthViews;
        std::function<void(const QString&)> openAdventure;
        std::function<void()> loadMap;
    };

    ConnectionWindow(QWidget* parent, ProgramState& state, ServerClient& client, MainWindowSteps steps);

    PasswordBox* senha() const { return senha_; }

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

private:
    orv::Shape* led() const;
    bool ready() const;
    void setLed(const QColor& colour);
    void setStatus(const QString& text);
    void showWholeTransfer();
    void showEditorTransferButtons();
    void reloadDownloadedLists(const QStringList& written);

    ProgramState& state_;
    ServerClient& client_;
    MainWindowSteps steps_;
    bool busy_ = false;

    QListWidget* lstGrp_;
    PasswordBox* senha_;
    QLabel* label46_;
    QLabel* msg2_;
    PictureBox* btDwAdv_;
    QLabel* label10_;
    PictureBox* btUpAdv_;
    QLabel* label11_;
    Gauge* g1_;
};

}  // namespace orv
