#pragma once
#include "core/Adventure.h"
#include "document/AdventureDocument.h"
#include "net/Connection.h"
#include "widgets/DragState.h"

#include <QWidget>
#include <memory>

class QFrame;
class QLabel;
class QStackedWidget;

namespace orv {

class AdventureWindow;
class ConnectionWindow;
class ImageLibraryWindow;
class MapWindow;
class ObjectWindow;
class PanelWindow;
class PictureBox;
class ReferencesWindow;
class RegistersWindow;
class ServerClient;
class ScriptWindow;
class SettingsWindow;
class SoundWindow;
class Shape;

// The program's one window: title area, button bar, the movable tool windows
// and the two full-width views. It builds, places and shows the windows; the
// work itself is the document's, and every window follows the document and
// the connection through their signals.
class TForm1 : public QWidget {
public:
    // programFile fixes the workspace folder (the program's own folder);
    // serverBase replaces the built-in server address when not empty.
    explicit TForm1(const QString& programFile, QWidget* parent = nullptr, const QString& serverBase = {});
    // Destroying the main window performs the exit saves.
    ~TForm1() override;

    AdventureDocument& document() { return document_; }
    const MapModel& map() const { return document_.map(); }
    Adventure& adventure() { return document_.adventure(); }
    Connection& connection() { return connection_; }
    ScriptSettings& settings() { return settings_; }
    DragState& drag() { return drag_; }

    // Fills the screen, borderless. The window is painted first and the
    // editor windows are built right after that first paint, so that the
    // program shows up at once.
    void showOnScreen();
    // Shown any other way, the form builds its windows before it shows.
    void setVisible(bool visible) override;

    bool IsReady() const;
    void HideFullWidthViews();
    void OpenToolWindow(QWidget* window);
    void OpenFullWidthView(QWidget* view);

    void OpenAdventure(const QString& name);
    void SaveAtExit();

    // Event handlers of the title area and the bar; the windows are built
    // by the time any of them runs.
    void btAdvClick();
    void btCncClick();
    void btMapClick();
    void btScpClick();
    void btObjClick();
    void btRegClick();
    void btImgClick();
    void btSndClick();
    void btPanClick();
    void btOpcClick();
    // "Nova": asks for a name, makes the adventure and opens it.
    void btNovAdvClick();
    // F8, from any window once an adventure is open: the references window.
    void openReferences();
    void btFimMouseUp();
    void btMinMouseUp();
    void fmMapClick();
    void Label32Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPage();
    void buildTitleArea(QWidget* page);
    void buildBar(QWidget* page);
    void startUp();
    void offerRecovery();
    void buildWindows(QWidget* page);
    void placeRightAnchored();
    void showBarButtons();
    void showConnectionState(ConnectionState state);
    void giveKeysTo(QWidget* window);
    // Shows a place the references window points at in its editor.
    void openPlace(const QString& file, int line, int cell);

    AdventureDocument document_;
    ScriptSettings settings_;
    DragState drag_;
    std::unique_ptr<ServerClient> client_;  // the one client of the server, for the window's life
    Connection connection_;

    // Where the start-up stands: the windows are built once, before the
    // first showing or right after the first paint.
    enum class StartUp { Waiting, AfterFirstPaint, Queued, Done };
    StartUp startUp_ = StartUp::Waiting;

    QStackedWidget* book_ = nullptr;
    QWidget* page_ = nullptr;
    QFrame* border_ = nullptr;               // Shape1
    QLabel* adventureTitle_ = nullptr;       // lbNoAdv
    QLabel* titleRule_ = nullptr;            // Label142
    PictureBox* titleStripes_ = nullptr;     // Image1
    Shape* connectionLight_ = nullptr;       // Led
    PictureBox* settingsButton_ = nullptr;   // btOpc
    PictureBox* minimiseButton_ = nullptr;   // btMin
    PictureBox* endButton_ = nullptr;        // btFim
    QList<PictureBox*> barButtons_;

    AdventureWindow* adventureWindow_ = nullptr;    // JanAdv
    SettingsWindow* settingsWindow_ = nullptr;      // JanCnf
    ConnectionWindow* connectionWindow_ = nullptr;  // JanCnc
    ScriptWindow* scriptWindow_ = nullptr;
    ObjectWindow* objectWindow_ = nullptr;
    RegistersWindow* registersWindow_ = nullptr;
    SoundWindow* soundWindow_ = nullptr;
    PanelWindow* panelWindow_ = nullptr;
    MapWindow* mapWindow_ = nullptr;
    ImageLibraryWindow* imageLibrary_ = nullptr;
    ReferencesWindow* referencesWindow_ = nullptr;  // JanRef
    // The loaded script when the references last followed the map or the
    // script: a script loaded since then is what F8 shows the uses of.
    QString referencedScript_;
    PictureBox* viewTitleBar_ = nullptr;     // brMap, over both full-width views
    PictureBox* viewCloseButton_ = nullptr;  // fmMap
};

}  // namespace orv
