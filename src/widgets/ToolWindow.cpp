#include "widgets/ToolWindow.h"

#include "widgets/Controls.h"
#include "widgets/DragState.h"

namespace orv {

ToolWindow::ToolWindow(QWidget* parent, const ToolWindowSpec& spec, DragState& drag) : QFrame(parent) {
    setObjectName(spec.name);
    setGeometry(spec.geometry);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(198, 198, 198));
    setPalette(pal);

    body_ = new QFrame(this);
    body_->setObjectName(spec.name + QStringLiteral("Corpo"));
    body_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    body_->setGeometry(0, 25, width(), height() - 25);

    title_ = makeLabel(this, spec.name + QStringLiteral("Titulo"), spec.title, QPoint(5, 5),
                       LabelStyle{19, true, true, QColor(0, 0, 128)});
    handle_ = makeDragHandle(this, spec.handleName, QRect(0, 1, spec.handleWidth, 20), drag, this,
                             spec.raiseOnHandle);
    if (!spec.closeName.isEmpty())
        closeButton_ = makeIconButton(this, spec.closeName, QPoint(0, 0), [this] { hide(); });
    placeTopRight();
    hide();
}

void ToolWindow::placeTopRight() {
    if (closeButton_)
        closeButton_->move(width() - 30, 0);
    handle_->move(width() - (closeButton_ ? 35 : 5) - handle_->width(), 1);
    body_->setGeometry(0, 25, width(), height() - 25);
}

void ToolWindow::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    placeTopRight();
}

void bringToFrontAndShow(QWidget* window) {
    window->raise();
    window->show();
}

}  // namespace orv
