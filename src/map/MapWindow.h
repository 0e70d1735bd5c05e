#pragma once
#include <QWidget>
#include <functional>

class QScrollArea;

namespace orv {

struct ProgramState;
class MapModel;

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

// The map window JanMap: the map image in the scroll box Sbox1 and the
// movable tool panel.
class MapWindow : public QWidget {
public:
    MapWindow(QWidget* parent, ProgramState& state, MapModel& map, std::function<bool()> isReady);

    // The map window's own steps when "Mapa" opens it (after the main window
    // has brought it to the front and sized it).
    void opened();
    // The map image was replaced or redrawn as a whole (map loaded or reset).
    void mapChanged();

    MapImageView* mapView() const { return view_; }
    QScrollArea* scrollBox() const { return scroll_; }

private:
    ProgramState& state_;
    MapModel& map_;
    std::function<bool()> isReady_;
    QScrollArea* scroll_;
    MapImageView* view_;
};

}  // namespace orv
