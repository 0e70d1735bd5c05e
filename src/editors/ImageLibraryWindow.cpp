#include "ImageLibraryWindow.h"
#include "core/ErrorReport.h"

#include "widgets/Question.h"
#include "widgets/Controls.h"
#include "core/OrvalisError.h"
#include "widgets/PictureBox.h"
#include "core/Adventure.h"
#include "widgets/DragState.h"
#include "net/Connection.h"
#include "imaging/ImageFiles.h"

#include <QEvent>
#include <QFrame>
#include <QHideEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <algorithm>

namespace orv {

namespace {

const QColor kGrey(198, 198, 198);
const QColor kSilver(192, 192, 192);

// Preview panel layout: the picture below the 20 pixel drag bar, the
// transfer buttons 30 pixels above the bottom.
constexpr int kBarHeight = 20;
constexpr int kPictureTop = 22;
constexpr int kExtraHeight = 55;
constexpr int kButtonsAboveBottom = 30;
constexpr int kNarrowPanelWidth = 135;
constexpr int kNarrowPictureWidth = 140;

void setWindowColour(QWidget* widget, const QColor& colour) {
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, colour);
    widget->setPalette(pal);
}

}  // namespace

ThumbnailSheetView::ThumbnailSheetView(QWidget* parent, const ImageLibrary& library)
    : QWidget(parent), library_(library) {
    setObjectName(QStringLiteral("FolhaImg"));
}

void ThumbnailSheetView::paintEvent(QPaintEvent* event) {
    // Only the rows in view are painted, from the thumbnails in so far.
    QPainter painter(this);
    library_.paint(painter, event->rect());
}

void ThumbnailSheetView::mousePressEvent(QMouseEvent* event) {
    if (onPress)
        reportErrors([&] { onPress(event); });
}

ImageLibraryWindow::ImageLibraryWindow(QWidget* parent, Adventure& adventure, Connection& connection,
                                       DragState& drag)
    : QWidget(parent), adventure_(adventure), connection_(connection), drag_(drag) {
    setObjectName(QStringLiteral("JanImg"));
    setWindowColour(this, kGrey);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("SboxImg"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setGeometry(rect());
    setWindowColour(scroll_->viewport(), kGrey);
    sheetView_ = new ThumbnailSheetView(nullptr, library_);
    sheetView_->resize(0, 0);
    sheetView_->onPress = [this](QMouseEvent* e) { SheetMouseDown(e->position().toPoint()); };
    scroll_->setWidget(sheetView_);
    buildPreviewPanel();
    // Over the sheet's top right corner, where the sheet is mostly empty
    // grey; a press on it goes to the sheet below.
    status_ = makeStatusLabel(this, QStringLiteral("MsgImg"), {0, 2}, 130);
    status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setWindowColour(status_, kGrey);
    status_->setAttribute(Qt::WA_TransparentForMouseEvents);
    status_->hide();
    connect(&library_, &ImageLibrary::thumbnailsArrived, this, [this](const QRect& area) {
        sheetView_->update(area);
        showProgress();
    });
    connect(&library_, &ImageLibrary::finished, this, [this] { sheetComplete(); });
    hide();
    connect(&adventure_, &Adventure::opened, this, [this] { currentImage_.clear(); });
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
}

void ImageLibraryWindow::buildPreviewPanel() {
    previewPanel_ = new QFrame(sheetView_);
    previewPanel_->setObjectName(QStringLiteral("PanImg"));
    previewPanel_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    setWindowColour(previewPanel_, kSilver);
    previewPanel_->setGeometry(600, 10, kNarrowPanelWidth, kExtraHeight);
    previewHandle_ = makeDragHandle(previewPanel_, QStringLiteral("Image2"), QRect(0, 0, kNarrowPanelWidth, kBarHeight),
                                    drag_, previewPanel_, false);
    previewPicture_ = new PictureBox(previewPanel_, QStringLiteral("ImgPrev"), QRect(0, kPictureTop, 0, 0));
    uploadButton_ = makeSmallButton(previewPanel_, QStringLiteral("imUpl"), QStringLiteral("Upload"), {5, 25},
                                    [this] { imUplClick(); });
    downloadButton_ = makeSmallButton(previewPanel_, QStringLiteral("imDwn"), QStringLiteral("Down"), {70, 25},
                                      [this] { imDwnClick(); });
    uploadButton_->hide();
    downloadButton_->hide();
    DrawSmallButtonUp(uploadButton_, Qt::black);
    DrawSmallButtonUp(downloadButton_, Qt::black);
    previewPanel_->installEventFilter(this);
    previewPanel_->hide();
}

void ImageLibraryWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    scroll_->setGeometry(rect());
    showProgress();
}

void ImageLibraryWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Closed, not merely minimised with the main window: what is left of the
    // build is not read, and the thumbnails are given back, since the next
    // opening builds the sheet anew.
    if (event->spontaneous() || !isHidden())
        return;
    library_.release();
    showProgress();
}

void ImageLibraryWindow::opened() {
    // The main window has just sized the view; the scroll area follows at
    // once, since the column count is taken from its width.
    scroll_->setGeometry(rect());
    if (adventure_.isOpen()) {
        library_.build(adventure_.folder(), scroll_->width());
        fitViewToContent();
        sheetView_->update();
    }
    showProgress();
    showTransferButtons();
}

void ImageLibraryWindow::showProgress() {
    if (!status_)
        return;
    if (!library_.isBuilding()) {
        status_->hide();
        return;
    }
    status_->setText(QStringLiteral("%1 de %2").arg(library_.arrivedCount()).arg(library_.images().size()));
    // No wider than its text, so that it hides as little of the sheet as it can.
    status_->resize(status_->sizeHint().width(), status_->height());
    // At the right edge of what is in view, left of the scroll bar.
    const QWidget* viewport = scroll_->viewport();
    status_->move(viewport->mapTo(this, QPoint(viewport->width() - status_->width() - 4, 2)));
    status_->raise();
    status_->show();
}

void ImageLibraryWindow::sheetComplete() {
    showProgress();
    if (!library_.failures().isEmpty())
        reportError(library_.failures().join(QLatin1Char('\n')));
}

void ImageLibraryWindow::showTransferButtons() {
    if (connection_.isReady()) {
        uploadButton_->show();
        downloadButton_->show();
    }
}

void ImageLibraryWindow::imUplClick() {
    ItemTransfer::uploadImage({&connection_, adventure_.name(), adventure_.folder(), {}}, currentImage_);
}

// The sheet and the preview are not redrawn; opening the library again shows the fetched picture.
void ImageLibraryWindow::imDwnClick() {
    ItemTransfer::downloadImage({&connection_, adventure_.name(), adventure_.folder(), {}, [this](const QString& file) { return Question::replaceChangedFile(this, file); }},
                                currentImage_);
}

void ImageLibraryWindow::SheetMouseDown(QPoint at) {
    // A cell after the last picture holds nothing to choose.
    const int index = library_.indexAt(at);
    if (index < 0)
        return;
    currentImage_ = library_.images().at(index);
    QImage picture;
    try {
        loadImage(adventure_.folder(), currentImage_, picture);
    } catch (const OrvalisError&) {
        // The preview must not go on showing another picture than the one
        // the transfer buttons now act on.
        showPreview(QImage());
        throw;
    }
    showPreview(picture);
}

void ImageLibraryWindow::showPreview(const QImage& picture) {
    // Narrow pictures get a panel wide enough for both buttons; wider ones
    // are never cut off.
    const int width = picture.width() < kNarrowPictureWidth ? std::max(kNarrowPanelWidth, picture.width())
                                                             : picture.width();
    const int height = picture.height() + kExtraHeight;
    previewPicture_->setGeometry(0, kPictureTop, picture.width(), picture.height());
    previewPicture_->setPicture(picture);
    previewPanel_->resize(width, height);
    previewHandle_->resize(width, kBarHeight);
    uploadButton_->move(5, height - kButtonsAboveBottom);
    downloadButton_->move(70, height - kButtonsAboveBottom);
    previewPanel_->show();
    fitViewToContent();
}

void ImageLibraryWindow::fitViewToContent() {
    // The scroll range covers the sheet and the preview panel wherever the
    // author has dragged it.
    QRect content(QPoint(0, 0), library_.size());
    if (previewPanel_->isVisibleTo(sheetView_))
        content |= previewPanel_->geometry();
    sheetView_->resize(std::max(0, content.right() + 1), std::max(0, content.bottom() + 1));
}

bool ImageLibraryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == previewPanel_ && event->type() == QEvent::Move)
        fitViewToContent();
    return QWidget::eventFilter(watched, event);
}

}  // namespace orv
