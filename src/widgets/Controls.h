#pragma once
#include "widgets/ButtonArt.h"
#include "widgets/PictureBox.h"

#include <QColor>
#include <QLabel>
#include <functional>

namespace orv {

struct DragState;

// Buttons with a painted caption: press paints the pressed look in white,
// release the released look in black, then a click runs the action.
PictureBox* makeBigButton(QWidget* parent, const QString& name, const QString& hint, QPoint at,
                          std::function<void()> action);
PictureBox* makeSmallButton(QWidget* parent, const QString& name, const QString& hint, QPoint at,
                            std::function<void()> action);
// Icon buttons (30 x 22) swap between two stored pictures.
PictureBox* makeIconButton(QWidget* parent, const QString& name, QPoint at, std::function<void()> action,
                           ButtonArt::Look up = ButtonArt::Look::IconUp,
                           ButtonArt::Look down = ButtonArt::Look::IconDown);

// The drag rule, on the shared drag state.
void StartWindowDrag(DragState& drag, QPoint pointer);
void MoveDraggedWindow(DragState& drag, QWidget* window, QPoint pointer);
void StopWindowDrag(DragState& drag);

// A striped drag handle that moves `window`; with `raise` a press also brings
// the window to the front.
PictureBox* makeDragHandle(QWidget* parent, const QString& name, QRect geometry, DragState& drag,
                           QWidget* window, bool raise);

// A label in "Arial" at a pixel size, with the given style and colour.
struct LabelStyle {
    int pixelSize = 13;
    bool bold = true;
    bool italic = true;
    QColor colour = Qt::black;
    QString family = QStringLiteral("Arial");
};
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QPoint at, const LabelStyle& style);

// The maroon status label of an editor window, "..." until first used.
QLabel* makeStatusLabel(QWidget* parent, const QString& name, QPoint at, int width = 260);

}  // namespace orv
