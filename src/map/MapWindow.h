#pragma once
#include <QImage>
#include <QWidget>
#include "MapExits.h"
#include "MapHistory.h"
#include "net/ItemTransfer.h"
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QScrollArea;

namespace orv {

class Adventure;
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
    MapImageView(QWidget* parent, MapModel& map);
    std::function<void(QMouseEvent*)> onPress;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    MapModel& map_;
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
    // loadMap reads the adventure's map file again (after a transfer).
    MapWindow(QWidget* parent, Adventure& adventure, Connection& connection, const ScriptSettings& settings,
              DragState& drag, MapModel& map, std::function<void()> loadMap);

    // The map window's own steps when "Mapa" opens it (after the main window
    // has brought it to the front and sized it).
    void opened();
    // The map image was replaced or redrawn as a whole (map loaded or reset).
    void mapChanged();
    // The server connection for "Upload mapa" and "Download" and for the
    // position image editor; loadMap reloads and redraws the map from its file.

    MapImageView* mapView() const { return view_; }
    QScrollArea* scrollBox() const { return scroll_; }
    PositionImageEditor* imageEditor() const { return editor_; }
    ExitOverlay* exitOverlay() const { return exits_; }
    const MapHistory& history() const { return history_; }

    // Editing state, held only in memory.
    int currentPosition() const { return position_; }
    int currentTile() const { return tile_; }
    const QImage& currentTilePicture() const { return tipMap_; }
    bool paintMode() const { return paintMode_; }

    // Event handlers.
    void MapTileClick(int tile);  // Map0 .. Map19
    void Shp1MouseDown();
    void Shp2MouseDown();
    void MapaMouseDown(QPoint at);  // a press on the map image, any button
    void edNomPosKeyPress(QChar key);
    void btCsMapClick();
    void btGrMapClick();
    void btImgSavClick();
    void btMapCplClick();
    void btUpMapClick();
    void btDwMapClick();
    void btEdImgClick();
    // Keys of the map window: Ctrl+Z undoes the last map edit, Ctrl+Y and
    // Ctrl+Shift+Z redo it (not while the name box has the focus, where they
    // edit the text); F2 shows or hides the exit overlay.
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
    void redrawRow(int cell);
    void fitView();
    void showChange(const MapHistory::Change& change);
    QString mapFile() const;
    ItemTransfer::Context transferContext();

    void showTransferButtons();

    Adventure& adventure_;
    Connection& connection_;
    const ScriptSettings& settings_;
    DragState& drag_;
    MapModel& map_;
    std::function<void()> loadMap_;

    int position_ = 0;
    int tile_ = 0;
    QImage tipMap_;
    bool paintMode_ = false;

    // One history for the open adventure's map; a new one when another
    // adventure opens or the map is loaded.
    MapHistory history_;

    QScrollArea* scroll_;
    MapImageView* view_;
    Shape* shp2_;
    ExitOverlay* exits_;
    QWidget* panMap_ = nullptr;
    QScrollArea* palette_ = nullptr;
    std::array<PictureBox*, 20> tiles_{};
    Shape* shp1_ = nullptr;
    QLineEdit* edNomPos_ = nullptr;
    QLabel* mtp_ = nullptr;
    QLabel* lbEdImg_ = nullptr;
    PictureBox* btEdImg_ = nullptr;
    PictureBox* btUpMap_ = nullptr;
    QLabel* lbUpMap_ = nullptr;
    PictureBox* btDwMap_ = nullptr;
    QLabel* lbDwMap_ = nullptr;
    QLabel* msg1_ = nullptr;
    PositionImageEditor* editor_ = nullptr;
};

}  // namespace orv
