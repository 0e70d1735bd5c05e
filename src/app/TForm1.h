#pragma once
#include "core/Adventure.h"
#include "map/MapModel.h"
#include "net/Connection.h"
#include "widgets/DragState.h"

#include <QWidget>
#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QStackedWidget;

namespace orv {

class AdventureWindow;
class ConnectionWindow;
class ImageLibraryWindow;
class MapWindow;
class ObjectWindow;
class PanelWindow;
class PictureBox;
class RegistersWindow;
class ServerClient;
class ScriptWindow;
class SettingsWindow;
class SoundWindow;
class Shape;
class ToolWindow;
struct ToolWindowSpec;

// The program's one window: title area, button bar, the movable tool windows
// and the two full-width views. It owns the open adventure, the connection,
// the settings and the map, builds every window and wires them together;
// the windows follow the adventure and the connection through their signals.
class TForm1 : public QWidget {
public:
    // programFile fixes the workspace folder (the program's own folder);
    // serverBase replaces the built-in server address when not empty.
    explicit TForm1(const QString& programFile, QWidget* parent = nullptr, const QString& serverBase = {});
    ~TForm1() override;

    Adventure& adventure() { return adventure_; }
    Connection& connection() { return connection_; }
    ScriptSettings& settings() { return settings_; }
    DragState& drag() { return drag_; }
    MapModel& map() {
        completeStartUp();
        return map_;
    }

    // Fills the screen, borderless. The window is painted first and the
    // editor windows are built right after that first paint (or as soon as
    // anything needs them), so that the program shows up at once.
    void showOnScreen();
    // Shown any other way, the form builds its windows before it shows.
    void setVisible(bool visible) override;

    bool IsReady() const;
    void HideFullWidthViews();
    void OpenToolWindow(QWidget* window);
    void OpenFullWidthView(QWidget* view);

    void OpenAdventure(const QString& name);
    void LoadMap();
    void SaveAtExit();

    // Event handlers of the title area and the bar.
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
    void btFimMouseUp();
    void btMinMouseUp();
    void fmMapClick();
    void Label32Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildTitleArea(QWidget* page);
    void buildBar(QWidget* page);
    void buildWindows(QWidget* page);
    void completeStartUp();
    void placeRightAnchored();
    void showBarButtons();
    void showConnectionState(ConnectionState state);

    Adventure adventure_;
    ScriptSettings settings_;
    DragState drag_;
    MapModel map_;
    std::unique_ptr<ServerClient> client_;  // the one client of the server, for the window's life
    Connection connection_;
    bool exitSaved_ = false;
    bool startedUp_ = false;          // the windows are built and the start-up done
    bool afterFirstPaint_ = false;    // showOnScreen: build them after the first paint
    bool startUpQueued_ = false;

    QStackedWidget* book_ = nullptr;
    QWidget* page_ = nullptr;
    QFrame* frame_ = nullptr;  // Shape1, the border around the page
    QLabel* lbNoAdv_ = nullptr;
    QLabel* label142_ = nullptr;
    PictureBox* image1_ = nullptr;
    Shape* led_ = nullptr;
    PictureBox* btOpc_ = nullptr;
    PictureBox* btMin_ = nullptr;
    PictureBox* btFim_ = nullptr;
    QList<PictureBox*> bar_;

    AdventureWindow* janAdv_ = nullptr;
    SettingsWindow* janCnf_ = nullptr;
    ConnectionWindow* janCnc_ = nullptr;
    ScriptWindow* janScp_ = nullptr;
    ObjectWindow* janObj_ = nullptr;
    RegistersWindow* janReg_ = nullptr;
    SoundWindow* janSnd_ = nullptr;
    PanelWindow* janPan_ = nullptr;
    MapWindow* janMap_ = nullptr;
    ImageLibraryWindow* janImg_ = nullptr;
    PictureBox* brMap_ = nullptr;
    PictureBox* fmMap_ = nullptr;
};

}  // namespace orv
