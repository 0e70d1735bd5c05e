#pragma once
#include "editors/PanelLayout.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

namespace orv {

// The panel layout as the settings list holds it, read through names: the
// opening and panel pictures, the areas' rectangles and the game screen's
// size. The line numbers stay with the panel layout.
class PanelSettings {
public:
    // Which of an area's four values: left, top, width, height.
    enum Value { Left, Top, Width, Height };

    explicit PanelSettings(const QStringList& lines) : lines_(lines) {}

    // Throws when the list is too short for the panel's lines.
    void require() const { PanelLayout::requireLines(lines_); }

    QString openingImage() const { return PanelLayout::imageName(lines_, true); }
    QString panelImage() const { return PanelLayout::imageName(lines_, false); }
    QString image(bool opening) const { return PanelLayout::imageName(lines_, opening); }

    // The area as its lines hold it (Msg1 moved by the Visor, Tela at the
    // Visor's corner), and where it stands on a picture of the given size.
    QRect area(PanelArea area) const { return PanelLayout::storedRect(lines_, area); }
    QRect placedArea(PanelArea area, QSize picture) const { return PanelLayout::placeRect(lines_, area, picture); }

    // The text of one of an area's value lines, as its label shows it, and
    // its number (throws when it is not one).
    QString text(PanelArea area, Value value) const;
    int number(PanelArea area, Value value) const;

    // The game screen, the size of a new position picture.
    QSize screenSize() const { return PanelLayout::screenSize(lines_); }

private:
    int line(PanelArea area, Value value) const;
    const QStringList& lines_;
};

}  // namespace orv
