#include "widgets/Controls.h"
#include "widgets/UndoKeys.h"
#include "core/ErrorReport.h"

#include "widgets/DragState.h"

#include <QMouseEvent>

namespace orv {

namespace {
using Painter = void (*)(PictureBox*, const QColor&);

PictureBox* makeCaptionButton(QWidget* parent, const QString& name, const QString& hint, QPoint at,
                              QSize size, Painter up, Painter down, std::function<void()> action) {
    auto* button = new PictureBox(parent, name, QRect(at, size));
    button->setHint(hint);
    button->onPress = [button, down](QMouseEvent*) { down(button, Qt::white); };
    button->onRelease = [button, up](QMouseEvent*) { up(button, Qt::black); };
    button->onClick = std::move(action);
    return button;
}
}  // namespace

PictureBox* makeBigButton(QWidget* parent, const QString& name, const QString& hint, QPoint at,
                          std::function<void()> action) {
    return makeCaptionButton(parent, name, hint, at, QSize(90, 24), DrawButtonUp, DrawButtonDown,
                             std::move(action));
}

PictureBox* makeSmallButton(QWidget* parent, const QString& name, const QString& hint, QPoint at,
                            std::function<void()> action) {
    return makeCaptionButton(parent, name, hint, at, QSize(60, 24), DrawSmallButtonUp,
                             DrawSmallButtonDown, std::move(action));
}

PictureBox* makeIconButton(QWidget* parent, const QString& name, QPoint at, std::function<void()> action,
                           ButtonArt::Look up, ButtonArt::Look down) {
    auto* button = new PictureBox(parent, name, QRect(at, QSize(30, 22)), ButtonArt::picture(up));
    button->onPress = [button, down](QMouseEvent*) { button->setPicture(ButtonArt::picture(down)); };
    button->onRelease = [button, up](QMouseEvent*) { button->setPicture(ButtonArt::picture(up)); };
    button->onClick = std::move(action);
    return button;
}

void StartWindowDrag(DragState& drag, QPoint pointer) {
    drag.startX = pointer.x();
    drag.startY = pointer.y();
    drag.dragging = 1;
}

void MoveDraggedWindow(DragState& drag, QWidget* window, QPoint pointer) {
    if (drag.dragging != 1)
        return;
    // The start point stays put: the handle moves with its window, so the
    // grabbed point stays under the pointer.
    window->move(window->x() + (pointer.x() - drag.startX), window->y() + (pointer.y() - drag.startY));
}

void StopWindowDrag(DragState& drag) {
    drag.dragging = 0;
}

PictureBox* makeDragHandle(QWidget* parent, const QString& name, QRect geometry, DragState& drag,
                           QWidget* window, bool raise) {
    auto* handle = new PictureBox(parent, name, geometry, ButtonArt::picture(ButtonArt::Look::Stripes));
    handle->setStretch(true);
    handle->setCursor(Qt::SizeAllCursor);
    handle->onPress = [&drag, window, raise](QMouseEvent* e) {
        if (raise)
            window->raise();
        StartWindowDrag(drag, e->position().toPoint());
    };
    handle->onMove = [&drag, window](QMouseEvent* e) { MoveDraggedWindow(drag, window, e->position().toPoint()); };
    handle->onRelease = [&drag](QMouseEvent*) { StopWindowDrag(drag); };
    return handle;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QPoint at, const LabelStyle& style) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font(style.family);
    font.setPixelSize(style.pixelSize);
    font.setBold(style.bold);
    font.setItalic(style.italic);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, style.colour);
    label->setPalette(palette);
    label->move(at);
    label->adjustSize();
    return label;
}

QLabel* makeStatusLabel(QWidget* parent, const QString& name, QPoint at, int width) {
    QLabel* label = makeLabel(parent, name, QStringLiteral("..."), at,
                              LabelStyle{15, true, true, QColor(128, 0, 0)});
    label->resize(width, 20);
    return label;
}

bool handleKeyDown(QKeyEvent* event, const std::function<bool(int, Qt::KeyboardModifiers)>& keyDown) {
    bool handled = false;
    reportErrors([&] { handled = keyDown(event->key(), event->modifiers()); });
    if (handled)
        event->accept();
    return handled;
}

}  // namespace orv
