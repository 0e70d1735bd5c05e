#pragma once
#include "ImageLibrary.h"

#include <QWidget>
#include "net/ItemTransfer.h"
#include <functional>

class QFrame;
class QLabel;
class QScrollArea;

namespace orv {

class Adventure;
class Connection;
class PictureBox;
struct DragState;

// Draws the thumbnail sheet at its own size and hands presses on it to the
// image library window. The preview panel lives on it, so it scrolls along.
class ThumbnailSheetView : public QWidget {
public:
    ThumbnailSheetView(QWidget* parent, const ImageLibrary& library);
    std::function<void(QMouseEvent*)> onPress;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    const ImageLibrary& library_;
};

// The image library JanImg, a full-width view: the adventure's pictures as a
// sheet of thumbnails in a scroll area, and the movable preview panel PanImg
// (handle Image2) with the chosen picture at full size and its "Upload" and
// "Down" buttons.
class ImageLibraryWindow : public QWidget {
public:
    ImageLibraryWindow(QWidget* parent, Adventure& adventure, Connection& connection, DragState& drag);

    // The window's own steps when "Imagens" opens it, after the main window
    // has brought it to the front and sized it: start rebuilding the sheet
    // when an adventure is open, show the transfer buttons when the
    // connection is ready. The thumbnails come in while the window goes on
    // answering, MsgImg counting them; pictures that could not be read are
    // reported once the sheet is complete, so one damaged file does not leave
    // the rest of the sheet blank. Hiding the window stops the build and
    // gives the thumbnails back.
    void opened();

    const ImageLibrary& library() const { return library_; }
    // The picture chosen last on the sheet; the transfer buttons act on it.
    const QString& currentImage() const { return currentImage_; }
    QScrollArea* scrollBox() const { return scroll_; }
    // "n de N" while the sheet is being built, hidden otherwise.
    QLabel* statusLabel() const { return status_; }
    ThumbnailSheetView* sheetView() const { return sheetView_; }
    QFrame* previewPanel() const { return previewPanel_; }
    PictureBox* previewPicture() const { return previewPicture_; }

    // A press on the sheet, any button, at a point of the sheet.
    void SheetMouseDown(QPoint at);
    void imUplClick();
    void imDwnClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPreviewPanel();
    void showPreview(const QImage& picture);
    void fitViewToContent();
    void showTransferButtons();
    void showProgress();
    void sheetComplete();

    Adventure& adventure_;
    Connection& connection_;
    DragState& drag_;
    ImageLibrary library_;
    QString currentImage_;  // of the open adventure; cleared when another is opened

    QScrollArea* scroll_;                   // SboxImg
    ThumbnailSheetView* sheetView_;         // FolhaImg
    QLabel* status_ = nullptr;              // MsgImg
    QFrame* previewPanel_ = nullptr;        // PanImg
    PictureBox* previewHandle_ = nullptr;   // Image2, the panel's drag bar
    PictureBox* previewPicture_ = nullptr;  // ImgPrev
    PictureBox* uploadButton_ = nullptr;    // imUpl
    PictureBox* downloadButton_ = nullptr;  // imDwn
};

}  // namespace orv
