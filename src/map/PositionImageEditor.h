#pragma once
#include "widgets/ToolWindow.h"
#include "net/ItemTransfer.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QStringList>

class QLabel;
class QMouseEvent;

namespace orv {

class Adventure;
class Connection;
struct DragState;
struct ScriptSettings;
class PictureBox;
class Shape;

// JanEdImg, the small movable window inside the map window where the author
// sketches the picture of a position: black strokes with the left button,
// broad white strokes with the right button or with Ctrl held. Every
// operation works on the position name shown beside the title (lbNoPos).
class PositionImageEditor : public ToolWindow {
public:
    static constexpr int MaxSide = 16384;

    PositionImageEditor(QWidget* parent, Adventure& adventure, Connection& connection, const ScriptSettings& settings,
                        DragState& drag);

    const QString& positionName() const;
    void setPositionName(const QString& name);

    // Creates a white picture of the game screen's size when the position has
    // none, loads the picture, lays the window out around it and shows it.
    void openEditor();

    // Shows "Upload" and "Down" and moves the status line right to make room.
    void showTransferButtons();

    const QImage& canvas() const;

    void TelPosMouseDown(QMouseEvent* event);
    void TelPosMouseMove(QMouseEvent* event);
    void TelPosMouseUp(QMouseEvent* event);
    void bnEdClsClick();
    void bnEdGrvClick();
    void bnEdUpClick();
    void bnEdDwnClick();

    // Size of a new picture: settings lines 58 and 59 (the game screen).
    // Throws OrvalisError naming the line that is missing, not a whole number,
    // or out of 1..MaxSide.
    static QSize newImageSize(const QStringList& settings);
    // The window's size around a picture of the given size.
    static QSize windowSizeFor(QSize image);

private:
    void layOut(QSize image);
    QString checkedName() const;
    void save();
    ItemTransfer::Context transferContext();

    Adventure& adventure_;
    Connection& connection_;
    const ScriptSettings& settings_;
    DragState& drag_;
    QLabel* lbNoPos_;
    orv::Shape* shape10_;
    orv::Shape* shape11_;
    QWidget* panEdi_;
    PictureBox* telPos_;
    PictureBox* bnEdCls_;
    PictureBox* bnEdGrv_;
    PictureBox* bnEdUp_;
    PictureBox* bnEdDwn_;
    QLabel* msg5_;
    QPoint pen_;
    QString positionName_;
};

}  // namespace orv
