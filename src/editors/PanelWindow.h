#pragma once
#include "widgets/ToolWindow.h"
#include "editors/PanelLayout.h"
#include "net/ItemTransfer.h"

#include <QHash>
#include <functional>
#include <optional>

class QListWidget;
class QMouseEvent;

namespace orv {

class PictureBox;
class Adventure;
class Connection;
struct DragState;

// JanPan, "Painel do jogo": picks the opening screen and the game panel from
// the panel templates, lets the author draw on them, and places the five
// layout areas of the game screen on the panel. Everything it sets lives in
// the adventure's settings list and in image files of the adventure folder.
class PanelWindow : public ToolWindow {
public:
    PanelWindow(QWidget* parent, Adventure& adventure, Connection& connection, DragState& drag,
                std::function<void()> hideFullWidthViews);

    // The main window's "Painel" button.
    void open();

    // "Abertura:" shows the opening screen, "Painel:" the game panel.
    bool openingMode() const { return opening_; }
    const QString& imageName() const { return imageName_; }
    std::optional<PanelArea> selectedArea() const { return selected_; }
    const QImage& shownImage() const;

    // Event handlers.
    void bnPanAbrClick();
    void bnPanPanClick(bool imageMayBeMissing = false);
    void bnPanGrvClick();
    void bnPanUpClick();
    void bnPanDwClick();
    void ArqPanClick();
    void ViewClick();
    void areaLabelClick(PanelArea area);
    void areaLabelPaint();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeNameLabels(int gap);
    void showImage(const QString& folder, const QString& name);
    void imageShown();
    void setMode(bool opening, int nameLine, bool imageMayBeMissing = false);
    void fillValueLabels(PanelArea area);
    int valueOf(const char* labelName) const;
    QString selectedTemplate() const;
    void showRectangle(QRect rect);
    void hideRectangle();

    void Shp1aMouseDown(QMouseEvent* event);
    void Shp1aMouseMove(QMouseEvent* event);
    void Shp1bMouseDown(QMouseEvent* event);
    void Shp1bMouseMove(QMouseEvent* event);
    void TelaMouseDown(QMouseEvent* event);
    void TelaMouseMove(QMouseEvent* event);
    void stopDrag(QMouseEvent* event);
    void showTransferButtons();
    void setImageName(const QString& name);
    ItemTransfer::Context transferContext();

    Adventure& adventure_;
    Connection& connection_;
    DragState& drag_;
    bool opening_ = true;
    QString imageName_;
    std::function<void()> hideFullWidthViews_;
    std::optional<PanelArea> selected_;
    QPoint pen_;

    QListWidget* arqPan_;
    PictureBox* view_;
    PictureBox* bnPanAbr_;
    PictureBox* bnPanPan_;
    PictureBox* bnPanGrv_;
    PictureBox* bnPanUp_;
    PictureBox* bnPanDw_;
    QLabel* msg8_;
    QLabel* lb1_;
    QLabel* lbNoImg_;
    QLabel* lb2_;
    QWidget* panTel_;
    PictureBox* tela_;
    PictureBox* shp1a_;
    PictureBox* shp1b_;
    QHash<QObject*, PanelArea> areaLabels_;
    QHash<QString, QLabel*> valueLabels_;
};

}  // namespace orv
