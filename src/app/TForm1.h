#pragma once
#include "ProgramState.h"
#include "map/MapModel.h"

#include <QWidget>
#include <memory>

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
// and the two full-width views. It owns the program-wide state and hands it to
// the windows by reference.
class TForm1 : public QWidget {
public:
    // programFile fixes the workspace folder (the program's own folder);
    // serverBase replaces the built-in server address when not empty.
    explicit TForm1(const QString& programFile, QWidget* parent = nullptr, const QString& serverBase = {});
    ~TForm1() override;

    ProgramState& state() { return state_; }
    MapModel& map() { return map_; }

    // Fills the screen, borderless.
    void showOnScreen();

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
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildTitleArea(QWidget* page);
    void buildBar(QWidget* page);
    void buildWindows(QWidget* page);
    void startUp();
    void placeRightAnchored();
    void paintSmallButtons(std::initializer_list<const char*> names);

    ProgramState state_;
    MapModel map_;
    std::unique_ptr<ServerClient> client_;  // the one connection to the server, for the window's life
    bool exitSaved_ = false;

    QStackedWidget* book_ = nullptr;
    QWidget* page_ = nullptr;
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
    QLineEdit* senha_ = nullptr;
    MapWindow* janMap_ = nullptr;
    ImageLibraryWindow* janImg_ = nullptr;
    PictureBox* brMap_ = nullptr;
    PictureBox* fmMap_ = nullptr;
};

}  // namespace orv
