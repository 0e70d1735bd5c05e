#include "widgets/Shape.h"

#include "core/ErrorReport.h"

#include <QMouseEvent>
#include <QPainter>

namespace orv {

Shape::Shape(QWidget* parent, const QString& name, QRect geometry, Kind kind, QColor fill, QColor pen)
    : QWidget(parent), kind_(kind), fill_(fill), pen_(pen) {
    setObjectName(name);
    setGeometry(geometry);
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(pen_);
    p.setBrush(fill_);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    if (kind_ == Kind::Ellipse) {
        p.setRenderHint(QPainter::Antialiasing);
        p.drawEllipse(r);
    } else {
        p.drawRect(r);
    }
}

void Shape::mousePressEvent(QMouseEvent* event) {
    if (onPress)
        reportErrors([&] { onPress(event); });
    else
        QWidget::mousePressEvent(event);
}

void Shape::mouseReleaseEvent(QMouseEvent* event) {
    if (onRelease)
        reportErrors([&] { onRelease(event); });
    else
        QWidget::mouseReleaseEvent(event);
}

}  // namespace orv
