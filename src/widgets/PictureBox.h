#pragma once
#include <QImage>
#include <QWidget>
#include <functional>

class QMouseEvent;

namespace orv {

// A picture on the window that can be clicked: buttons, drag handles, tiles
// and drawing surfaces are all of this kind. Press, move and release hand the
// event to the owner; a click is a left press and release on the same picture.
class PictureBox : public QWidget {
public:
    using MouseHandler = std::function<void(QMouseEvent*)>;

    PictureBox(QWidget* parent, const QString& name, QRect geometry, QImage picture = {});

    // The picture shown: its own, or the one it was pointed at.
    const QImage& picture() const { return source_ ? *source_ : picture_; }
    QImage& picture() { return picture_; }
    void setPicture(const QImage& picture);
    // A picture drawn for the screen's pixel ratio (a button's caption):
    // drawn now, and again whenever the window lands on a screen of another
    // ratio, so that it is as sharp at 2 as at 1.
    void drawPicture(std::function<QImage(qreal ratio)> draw);
    // Shows a picture kept elsewhere (a drawing the document holds) instead
    // of a copy of its own; the owner calls update() when it changes.
    void showPicture(const QImage* source) {
        source_ = source;
        update();
    }

    // A stretched picture fills the control; otherwise it sits at the top left.
    void setStretch(bool stretch) { stretch_ = stretch; update(); }

    // The caption painted onto buttons.
    QString hint() const { return hint_; }
    void setHint(const QString& hint) { hint_ = hint; setToolTip(hint); }

    MouseHandler onPress;
    MouseHandler onMove;
    MouseHandler onRelease;
    std::function<void()> onClick;
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    const QImage* source_ = nullptr;
    std::function<QImage(qreal)> draw_;
    QString hint_;
    bool stretch_ = false;
    bool leftDown_ = false;
};

}  // namespace orv
