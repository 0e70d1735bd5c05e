#pragma once
#include <QColor>
#include <QWidget>
#include <functional>

class QMouseEvent;

namespace orv {

// A filled figure on the window: the connection indicator, markers.
class Shape : public QWidget {
public:
    enum class Kind { Rectangle, Ellipse };

    Shape(QWidget* parent, const QString& name, QRect geometry, Kind kind, QColor fill,
          QColor pen = Qt::black);

    QColor fillColour() const { return fill_; }
    void setFillColour(const QColor& colour) { fill_ = colour; update(); }

    std::function<void(QMouseEvent*)> onPress;
    std::function<void(QMouseEvent*)> onRelease;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Kind kind_;
    QColor fill_;
    QColor pen_;
};

}  // namespace orv
