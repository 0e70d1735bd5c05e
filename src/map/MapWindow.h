#pragma once
#include <QHash>
#include <QImage>
#include <QWidget>
#include "MapExits.h"
#include "net/ItemTransfer.h"
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QScrollArea;

namespace orv {

class Adventure;
class AdventureDocument;
class Connection;
struct DragState;
struct ScriptSettings;
class MapModel;
class PictureBox;
class PositionImageEditor;
class Shape;

// Shows the map image at its own size and hands mouse presses to the map window.
class MapImageView : public QWidget {
public:
    MapImageView(QWidget* parent, const MapModel& map);
    std::function<void(QMouseEvent*)> onPress;
    // Moves with a button held, and the release that ends them.
    std::function<void(QMouseEvent*)> onDrag;
    std::function<void(QMouseEvent*)> onRelease;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // On a screen of more than one pixel per point, draws again at the
    // screen's resolution each name the map image shows as drawName left it.
    void sharpenNames(QPainter& painter, const QRect& exposed);

    const MapModel& map_;
    QHash<QString, QImage> namePictures_;  // the names' boxes as the map image has them
};

// Drawn over the map image, not on it (the saved map picture never has it):
// the exits compiling would write now, as arrows from door to target; doors
// that lead nowhere in red; positions whose name cannot be a file name framed
// in orange. While hidden it does nothing; edits only mark it out of date and
// it reads the map again when it next paints.
class ExitOverlay : public QWidget {
public:
    ExitOverlay(QWidget* parent, const MapModel& map);
    // The map changed somewhere: read it again before the next painting.
    void refresh();
    // What the overlay shows, read from the map when out of date.
    const QList<MapExits::Position>& positions();
    // How many times the map was read, for checking that hiding costs nothing.
    int readings() const { return readings_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    const MapModel& map_;
    QList<MapExits::Position> positions_;
    bool outOfDate_ = true;
    int readings_ = 0;
};

// The map window JanMap: the map image in the scroll box Sbox1, the movable
// tool panel PanMap (tile palette, position name, map buttons) and the
// position image editor.
class MapWindow : public QWidget {
public:
    // The window shows the document's map and edits it through the map's
    // history; the connection serves "Upload mapa", "Download" and the
    // position image editor.
    MapWindow(QWidget* parent, AdventureDocument& document, Connection& connection, const ScriptSettings& settings,
              DragState& drag);

    // The map window's own steps when "Mapa" opens it (after the main window
    // has brought it to the front and sized it): the map takes the keys.
    void opened();

    MapImageView* mapView() const { return mapView_; }
    QScrollArea* scrollBox() const { return scrollBox_; }
    PositionImageEditor* imageEditor() const { return imageEditor_; }
    ExitOverlay* exitOverlay() const { return exitOverlay_; }

    // Selects `cell` as a click on it does when painting is off (the name
    // box, Mtp, the selection marker, the position image editor) and
    // scrolls it into view.
    void selectCell(int cell);
    // Told the cell each time one is selected, by a click or by selectCell.
    std::function<void(int cell)> onCellSelected;

    // Editing state, held only in memory.
    int currentPosition() const { return position_; }
    int currentTile() const { return tile_; }
    const QImage& currentTilePicture() const { return tilePicture_; }
    bool paintMode() const { return paintMode_; }

    // Event handlers.
    void MapTileClick(int tile);  // Map0 .. Map19
    void Shp1MouseDown();
    void Shp2MouseDown();
    // A press on the map image, any button. With Shift held painting stays
    // armed after the cell is painted.
    void MapaMouseDown(QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // The pointer moved to `at` with the button still down: a press that
    // painted goes on painting every cell it crosses, in the same step.
    void MapaMouseMove(QPoint at);
    void MapaMouseUp();
    // Delete: the selected cell emptied (asked first when its position has a
    // script). False when the author kept it.
    bool emptySelectedCell();
    void edNomPosKeyPress(QChar key);
    void btCsMapClick();
    void btGrMapClick();
    void btImgSavClick();
    void btMapCplClick();
    void btUpMapClick();
    void btDwMapClick();
    void btEdImgClick();
    // Keys of the map window while it is shown: Ctrl+Z undoes the last map
    // edit, Ctrl+Y and Ctrl+Shift+Z redo it (not while the name box has the
    // focus, where they edit the text); F2 shows or hides the exit overlay;
    // Ctrl+S is "Gravar mapa"; Delete empties the selected cell.
    bool JanMapKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void undoEdit();
    void redoEdit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildToolPanel();
    void setPaintMode(bool on);
    void showImageButton(bool visible);
    void fitView();
    void showCells(QRect area);
    void showSelectedName();
    void showSelectedCell(int cell);
    void afterStep(bool taken, int stepIndex);
    void paintInRun(int cell);
    const MapModel& map() const;
    ItemTransfer::Context transferContext();

    void showTransferButtons();

    AdventureDocument& document_;
    Adventure& adventure_;
    Connection& connection_;
    const ScriptSettings& settings_;
    DragState& drag_;

    int position_ = 0;
    int tile_ = 0;
    QImage tilePicture_;  // TipMap
    bool paintMode_ = false;
    // The press that painted, while its button is down.
    bool painting_ = false;
    int runTile_ = 0;
    QPoint lastPoint_;
    class PaintRun* run_ = nullptr;  // the history's step of that press

    QScrollArea* scrollBox_;        // Sbox1
    MapImageView* mapView_;         // Mapa
    Shape* selectionMarker_;        // Shp2
    ExitOverlay* exitOverlay_;
    QWidget* toolPanel_ = nullptr;  // PanMap
    QScrollArea* palette_ = nullptr;
    std::array<PictureBox*, 20> tiles_{};
    Shape* paintMarker_ = nullptr;  // Shp1
    QLineEdit* nameBox_ = nullptr;  // edNomPos
    QLabel* cellNumber_ = nullptr;  // Mtp
    QLabel* imageCaption_ = nullptr;
    PictureBox* imageButton_ = nullptr;  // btEdImg
    PictureBox* uploadButton_ = nullptr;
    QLabel* uploadCaption_ = nullptr;
    PictureBox* downloadButton_ = nullptr;
    QLabel* downloadCaption_ = nullptr;
    QLabel* statusLine_ = nullptr;  // Msg1
    PositionImageEditor* imageEditor_ = nullptr;
};

}  // namespace orv
