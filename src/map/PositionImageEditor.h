#pragma once
#include "widgets/ToolWindow.h"
#include "net/ItemTransfer.h"
#include "editors/PanelLayout.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QStringList>

class QLabel;
class QMouseEvent;

namespace orv {

class Adventure;
class AdventureDocument;
class EditedPicture;
class Connection;
struct DragState;
struct ScriptSettings;
class PictureBox;
class Shape;

// JanEdImg, the small movable window inside the map window where the author
// sketches the picture of a position: black strokes with the left button,
// broad white strokes with the right button or with Ctrl held. Every
// operation works on the position name shown beside the title (lbNoPos).
// The picture is the document's; each stroke and "Limpar" is one step of its
// history, taken back with Ctrl+Z and done again with Ctrl+Y or Ctrl+Shift+Z.
class PositionImageEditor : public ToolWindow {
public:
    static constexpr int MaxSide = PanelLayout::kMaxScreenSide;

    PositionImageEditor(QWidget* parent, AdventureDocument& document, Connection& connection,
                        const ScriptSettings& settings, DragState& drag);

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

    // Size of a new picture: the game screen of the panel layout. Throws
    // OrvalisError naming the line that is missing, not a whole number, or
    // out of 1..MaxSide.
    static QSize newImageSize(const QStringList& settings);

    // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z on the picture while the editor is
    // shown; Ctrl+S is "Gravar".
    bool JanEdImgKeyDown(int key, Qt::KeyboardModifiers modifiers);
    // The window's size around a picture of the given size.
    static QSize windowSizeFor(QSize image);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void layOut(QSize image);
    QString checkedName() const;
    void save();
    ItemTransfer::Context transferContext();

    AdventureDocument& document_;
    Adventure& adventure_;
    EditedPicture& picture_;
    Connection& connection_;
    const ScriptSettings& settings_;
    DragState& drag_;
    QLabel* positionLabel_;       // lbNoPos
    orv::Shape* background_;      // Shape10
    orv::Shape* separator_;       // Shape11
    QWidget* picturePanel_;       // PanEdi
    PictureBox* canvas_;          // TelPos
    PictureBox* clearButton_;     // bnEdCls
    PictureBox* saveButton_;      // bnEdGrv
    PictureBox* uploadButton_;    // bnEdUp
    PictureBox* downloadButton_;  // bnEdDwn
    QLabel* statusLine_;          // Msg5
    QPoint pen_;
    QString positionName_;
};

}  // namespace orv
