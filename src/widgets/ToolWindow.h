#pragma once
#include <QFrame>
#include <QLabel>

namespace orv {

struct DragState;
class PictureBox;

// How a tool window is made: its names, title and design place.
struct ToolWindowSpec {
    QString name;         // JanAdv
    QString title;        // "Adventures:"
    QString handleName;   // brAdv
    int handleWidth = 159;
    QString closeName;    // btJanAdv
    QRect geometry;       // left/top, width x height
    bool raiseOnHandle = true;
};

// A movable panel on the main window: title at 5/5, a striped drag handle and
// a close button at the top right, a body frame from y = 25 down. Editors put
// their controls on it at the coordinates of their design.
class ToolWindow : public QFrame {
public:
    ToolWindow(QWidget* parent, const ToolWindowSpec& spec, DragState& drag);

    QLabel* title() const { return title_; }
    PictureBox* handle() const { return handle_; }
    PictureBox* closeButton() const { return closeButton_; }

    // Keeps the handle and the close button at the top right after a resize.
    void placeTopRight();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* title_;
    PictureBox* handle_;
    PictureBox* closeButton_ = nullptr;
    QFrame* body_;
};

// Hides the window, brings it to the front and shows it again: the part of
// opening a tool window that every editor shares.
void bringToFrontAndShow(QWidget* window);

}  // namespace orv
