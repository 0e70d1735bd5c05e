#include "widgets/PictureBox.h"

#include "core/ErrorReport.h"

#include <QMouseEvent>
#include <QPainter>

namespace orv {

PictureBox::PictureBox(QWidget* parent, const QString& name, QRect geometry, QImage picture)
    : QWidget(parent), picture_(std::move(picture)) {
    setObjectName(name);
    setGeometry(geometry);
}

void PictureBox::setPicture(const QImage& picture) {
    draw_ = nullptr;
    picture_ = picture;
    update();
}

void PictureBox::drawPicture(std::function<QImage(qreal ratio)> draw) {
    draw_ = std::move(draw);
    picture_ = draw_(devicePixelRatioF());
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (draw_ && !source_ && picture_.devicePixelRatio() != devicePixelRatioF())
        picture_ = draw_(devicePixelRatioF());  // moved to a screen of another ratio
    const QImage& shown = source_ ? *source_ : picture_;
    if (shown.isNull())
        return;
    QPainter painter(this);
    if (stretch_)
        painter.drawImage(rect(), shown);
    else
        painter.drawImage(0, 0, shown);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        leftDown_ = true;
    if (onPress)
        reportErrors([&] { onPress(event); });
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    if (onMove)
        reportErrors([&] { onMove(event); });
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = leftDown_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        leftDown_ = false;
    if (onRelease)
        reportErrors([&] { onRelease(event); });
    if (click && onClick)
        reportErrors(onClick);
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (onDoubleClick && event->button() == Qt::LeftButton) {
        reportErrors(onDoubleClick);
        return;
    }
    // Without a double-click action a second click is just another press.
    mousePressEvent(event);
}

}  // namespace orv
