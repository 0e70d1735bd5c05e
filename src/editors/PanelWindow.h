#pragma once
#include "widgets/ToolWindow.h"
#include "editors/PanelLayout.h"
#include "net/ItemTransfer.h"

#include <QHash>
#include <QSet>
#include <functional>
#include <optional>

class QListWidget;
class QMouseEvent;

namespace orv {

class PictureBox;
class Adventure;
class AdventureDocument;
class EditedPicture;
class Connection;
struct DragState;

// JanPan, "Painel do jogo": picks the opening screen and the game panel from
// the panel templates, lets the author draw on them, and places the five
// layout areas of the game screen on the panel. Everything it sets lives in
// the adventure's settings list and in image files of the adventure folder.
// Each drag or resize of an area, each stroke and each painted area is one
// step of the panel's history (Ctrl+Z, Ctrl+Y, Ctrl+Shift+Z).
class PanelWindow : public ToolWindow {
public:
    PanelWindow(QWidget* parent, AdventureDocument& document, Connection& connection, DragState& drag,
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
    // The keys of the window while it is shown: undo, redo, Ctrl+S "Gravar".
    bool JanPanKeyDown(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void placeNameLabels(int gap);
    void showImage(const QString& folder, const QString& name);
    void imageShown();
    void setMode(bool opening, bool imageMayBeMissing = false);
    void fillValueLabels(PanelArea area);
    void showValueLines(PanelArea area);
    void showAreaStep(PanelArea area);
    void startAreaDrag(QMouseEvent* event);
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

    AdventureDocument& document_;
    Adventure& adventure_;
    EditedPicture& picture_;
    Connection& connection_;
    DragState& drag_;
    bool opening_ = true;
    QString imageName_;
    std::function<void()> hideFullWidthViews_;
    std::optional<PanelArea> selected_;
    QPoint pen_;
    // The settings list as a drag of the rectangle or its handle found it.
    std::optional<QStringList> dragStart_;
    QSet<PanelArea> filledAreas_;  // areas whose value labels show their lines

    QListWidget* templateList_;      // ArqPan
    PictureBox* preview_;            // View
    PictureBox* openingButton_;      // bnPanAbr
    PictureBox* panelButton_;        // bnPanPan
    PictureBox* saveButton_;         // bnPanGrv
    PictureBox* uploadButton_;       // bnPanUp
    PictureBox* downloadButton_;     // bnPanDw
    QLabel* statusLine_;             // Msg8
    QLabel* modeLabel_;              // Lb1
    QLabel* imageNameLabel_;         // lbNoImg
    QLabel* sizeLabel_;              // Lb2
    QWidget* picturePanel_;          // PanTel
    PictureBox* shownPicture_;       // Tela
    PictureBox* areaRectangle_;      // Shp1a
    PictureBox* sizeHandle_;         // Shp1b
    QHash<QObject*, PanelArea> areaLabels_;
    QHash<QString, QLabel*> valueLabels_;
};

}  // namespace orv
