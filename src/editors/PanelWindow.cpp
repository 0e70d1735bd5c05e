#include "PanelWindow.h"
#include "core/ErrorReport.h"

#include "widgets/Question.h"
#include "widgets/ButtonArt.h"
#include "widgets/Controls.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "widgets/PictureBox.h"
#include "widgets/UndoKeys.h"
#include "core/Adventure.h"
#include "document/AdventureDocument.h"
#include "document/PanelEdits.h"
#include "widgets/DragState.h"
#include "net/Connection.h"
#include "net/ItemTransfer.h"
#include "imaging/ImageFiles.h"

#include <QDir>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>

namespace orv {

namespace {
constexpr int kStatusLeft = 70;
constexpr int kStatusLeftWithTransfers = 200;
constexpr int kListTop = 160;
constexpr int kListHeightOpening = 350;
constexpr int kListHeightPanel = 120;
const QColor kHandleFill(255, 128, 64);
const QColor kHandleOutline(0, 128, 192);

// The area rectangle: a dotted outline that inverts the picture under it, so
// it shows on light and dark panels alike, and leaves the inside visible.
class AreaOutline : public PictureBox {
public:
    AreaOutline(QWidget* parent, const QImage& under) : PictureBox(parent, QStringLiteral("Shp1a"), QRect()), under_(under) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const int w = width();
        const int h = height();
        auto dot = [&](int x, int y) {
            const QPoint at = pos() + QPoint(x, y);
            const QRgb below = under_.valid(at) ? under_.pixel(at) : qRgb(255, 255, 255);
            painter.setPen(QColor(255 - qRed(below), 255 - qGreen(below), 255 - qBlue(below)));
            painter.drawPoint(x, y);
        };
        for (int x = 0; x < w; x += 2) {
            dot(x, 0);
            dot(x, h - 1);
        }
        for (int y = 0; y < h; y += 2) {
            dot(0, y);
            dot(w - 1, y);
        }
    }

private:
    const QImage& under_;
};

QImage handlePicture() {
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(kHandleFill);
    QPainter painter(&picture);
    painter.setPen(kHandleOutline);
    painter.drawRect(0, 0, 7, 7);
    return picture;
}

QLabel* plainLabel(QWidget* parent, const QString& name, const QString& text, QPoint at, int pixelSize = 12,
                   bool bold = false) {
    return makeLabel(parent, name, text, at, LabelStyle{pixelSize, bold, false, Qt::black});
}
}  // namespace

PanelWindow::PanelWindow(QWidget* parent, AdventureDocument& document, Connection& connection, DragState& drag,
                         std::function<void()> hideFullWidthViews)
    : ToolWindow(parent,
                 {QStringLiteral("JanPan"), QStringLiteral("Painel do jogo"), QStringLiteral("brPan"), 159,
                  QStringLiteral("btJanFim"), QRect(88, 230, 1140, 540)},
                 drag),
      document_(document), adventure_(document.adventure()), picture_(document.panelPicture()),
      connection_(connection), drag_(drag),
      hideFullWidthViews_(std::move(hideFullWidthViews)) {
    openingButton_ = makeSmallButton(this, QStringLiteral("bnPanAbr"), QStringLiteral("abertura"), {5, 30},
                                [this] { bnPanAbrClick(); });
    panelButton_ = makeSmallButton(this, QStringLiteral("bnPanPan"), QStringLiteral("painel"), {67, 30},
                                [this] { bnPanPanClick(); });
    preview_ = new PictureBox(this, QStringLiteral("View"), QRect(5, 60, 206, 96));
    preview_->setStretch(true);
    preview_->onClick = [this] { ViewClick(); };

    // The area labels lie under the template list; "painel" shortens the
    // list to bring them out.
    int y = kListTop + kListHeightPanel + 8;
    for (const PanelAreaInfo& a : PanelLayout::areas()) {
        QLabel* name = makeLabel(this, QString::fromLatin1(a.labelName), QString::fromLatin1(a.caption), {5, y},
                                 LabelStyle{13, true, false, Qt::black});
        name->setCursor(Qt::PointingHandCursor);
        name->installEventFilter(this);
        areaLabels_.insert(name, a.area);
        static const char* kCaptions[4] = {"left:", "top:", "width:", "height:"};
        for (int k = 0; k < 4; ++k) {
            if (!a.valueLabels[k])
                continue;
            const int x = 50 + (k % 2) * 80;
            const int row = y + (k / 2) * 16;
            plainLabel(this, QString(), QString::fromLatin1(kCaptions[k]), {x, row});
            QLabel* value = plainLabel(this, QString::fromLatin1(a.valueLabels[k]), QStringLiteral("000"),
                                       {x + 40, row}, 12, true);
            valueLabels_.insert(value->objectName(), value);
        }
        y += 40;
    }

    templateList_ = new QListWidget(this);
    templateList_->setObjectName(QStringLiteral("ArqPan"));
    templateList_->setGeometry(5, kListTop, 206, kListHeightOpening);
    connect(templateList_, &QListWidget::itemClicked, this, reported([this] { ArqPanClick(); }));

    saveButton_ = makeSmallButton(this, QStringLiteral("bnPanGrv"), QStringLiteral("Gravar"), {5, 512},
                                [this] { bnPanGrvClick(); });
    uploadButton_ = makeSmallButton(this, QStringLiteral("bnPanUp"), QStringLiteral("Upload"), {67, 512},
                               [this] { bnPanUpClick(); });
    downloadButton_ = makeSmallButton(this, QStringLiteral("bnPanDw"), QStringLiteral("Down"), {129, 512},
                               [this] { bnPanDwClick(); });
    uploadButton_->hide();
    downloadButton_->hide();
    for (PictureBox* b : {openingButton_, panelButton_, saveButton_, uploadButton_, downloadButton_})
        DrawSmallButtonUp(b, Qt::black);
    statusLine_ = makeStatusLabel(this, QStringLiteral("Msg8"), {kStatusLeft, 515}, 350);

    modeLabel_ = plainLabel(this, QStringLiteral("Lb1"), QStringLiteral("Abertura:"), {220, 32}, 13, true);
    imageNameLabel_ = plainLabel(this, QStringLiteral("lbNoImg"), QString(), {0, 32}, 13, true);
    sizeLabel_ = plainLabel(this, QStringLiteral("Lb2"), QStringLiteral("0x0"), {0, 32}, 13, false);

    picturePanel_ = new QWidget(this);
    picturePanel_->setObjectName(QStringLiteral("PanTel"));
    picturePanel_->setGeometry(220, 55, 0, 0);
    shownPicture_ = new PictureBox(picturePanel_, QStringLiteral("Tela"), QRect());
    shownPicture_->showPicture(&picture_.image());
    shownPicture_->onPress = [this](QMouseEvent* e) { TelaMouseDown(e); };
    shownPicture_->onMove = [this](QMouseEvent* e) { TelaMouseMove(e); };
    shownPicture_->onRelease = [this](QMouseEvent* e) { stopDrag(e); };
    areaRectangle_ = new AreaOutline(shownPicture_, picture_.image());
    areaRectangle_->onPress = [this](QMouseEvent* e) { Shp1aMouseDown(e); };
    areaRectangle_->onMove = [this](QMouseEvent* e) { Shp1aMouseMove(e); };
    areaRectangle_->onRelease = [this](QMouseEvent* e) { stopDrag(e); };
    sizeHandle_ = new PictureBox(shownPicture_, QStringLiteral("Shp1b"), QRect(0, 0, 8, 8), handlePicture());
    sizeHandle_->onPress = [this](QMouseEvent* e) { Shp1bMouseDown(e); };
    sizeHandle_->onMove = [this](QMouseEvent* e) { Shp1bMouseMove(e); };
    sizeHandle_->onRelease = [this](QMouseEvent* e) { stopDrag(e); };
    hideRectangle();
    placeNameLabels(5);
    // A click anywhere on the window gives it the keys.
    setFocusPolicy(Qt::ClickFocus);
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
    connect(&picture_, &EditedPicture::changed, this, [this](QRect area) {
        shownPicture_->update(area);
        areaRectangle_->update();
    });
    // The value labels that show lines keep showing them as the lines change.
    connect(&document_, &AdventureDocument::settingsChanged, this, [this] {
        if (adventure_.settingsList().size() < PanelLayout::kRequiredLines)
            return;
        for (PanelArea area : std::as_const(filledAreas_))
            showValueLines(area);
    });
    connect(&document_, &AdventureDocument::panelAreaChanged, this,
            reported([this](PanelArea area) { showAreaStep(area); }));
}

void PanelWindow::setImageName(const QString& name) {
    imageName_ = name;
    imageNameLabel_->setText(name);
}

void PanelWindow::showTransferButtons() {
    if (connection_.isReady()) {
        uploadButton_->show();
        downloadButton_->show();
        statusLine_->move(kStatusLeftWithTransfers, statusLine_->y());
    }
}

const QImage& PanelWindow::shownImage() const {
    return picture_.image();
}

void PanelWindow::open() {
    statusLine_->clear();
    if (hideFullWidthViews_)
        hideFullWidthViews_();
    raise();
    DrawSmallButtonUp(uploadButton_, Qt::black);
    DrawSmallButtonUp(downloadButton_, Qt::black);
    templateList_->clear();
    templateList_->addItems(QDir(adventure_.workspaceFolder())
                          .entryList({QStringLiteral("pan-*.png")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
    show();
    // The author works here now: the keys come to this window.
    setFocus(Qt::OtherFocusReason);
    showTransferButtons();
    hideRectangle();
    opening_ = true;
    modeLabel_->setText(QStringLiteral("Abertura:"));
    setImageName(document_.panel().openingImage());
    placeNameLabels(5);
    showImage(adventure_.folder(), imageName());
}

void PanelWindow::placeNameLabels(int gap) {
    modeLabel_->adjustSize();
    imageNameLabel_->adjustSize();
    sizeLabel_->adjustSize();
    imageNameLabel_->move(modeLabel_->x() + modeLabel_->width() + 5, modeLabel_->y());
    sizeLabel_->move(imageNameLabel_->x() + imageNameLabel_->width() + gap, modeLabel_->y());
}

void PanelWindow::showImage(const QString& folder, const QString& name) {
    // A picture that cannot be read may leave the one shown as it was.
    QImage image = picture_.image();
    loadImage(folder, name, image);
    if (!image.isNull() && image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    picture_.replace(std::move(image));
    imageShown();
}

void PanelWindow::imageShown() {
    const QImage& image = picture_.image();
    sizeLabel_->setText(QStringLiteral("%1 x %2").arg(image.width()).arg(image.height()));
    sizeLabel_->adjustSize();
    shownPicture_->resize(image.size());
    picturePanel_->resize(image.size());
    shownPicture_->update();
}

void PanelWindow::setMode(bool opening, bool imageMayBeMissing) {
    const QString name = document_.panel().image(opening);
    opening_ = opening;
    modeLabel_->setText(opening ? QStringLiteral("Abertura:") : QStringLiteral("Painel:"));
    setImageName(name);
    placeNameLabels(15);
    templateList_->resize(templateList_->width(), opening ? kListHeightOpening : kListHeightPanel);
    try {
        showImage(adventure_.folder(), imageName());
    } catch (const OrvalisError&) {
        if (!imageMayBeMissing)
            throw;
        picture_.replace(QImage());
        imageShown();
    }
}

void PanelWindow::bnPanAbrClick() {
    setMode(true);
}

void PanelWindow::bnPanPanClick(bool imageMayBeMissing) {
    setMode(false, imageMayBeMissing);
    hideRectangle();
    for (const PanelAreaInfo& a : PanelLayout::areas())
        fillValueLabels(a.area);
}

void PanelWindow::fillValueLabels(PanelArea area) {
    // Every line is read as a number first, so that a bad one leaves the
    // labels as they were.
    const PanelSettings panel = document_.panel();
    const PanelAreaInfo& a = PanelLayout::info(area);
    for (int k = 0; k < 4; ++k)
        if (a.valueLabels[k])
            panel.number(area, PanelSettings::Value(k));
    showValueLines(area);
}

void PanelWindow::showValueLines(PanelArea area) {
    const PanelSettings panel = document_.panel();
    const PanelAreaInfo& a = PanelLayout::info(area);
    for (int k = 0; k < 4; ++k)
        if (a.valueLabels[k])
            valueLabels_.value(QString::fromLatin1(a.valueLabels[k]))->setText(panel.text(area, PanelSettings::Value(k)));
    filledAreas_.insert(area);
}

void PanelWindow::showAreaStep(PanelArea area) {
    // An undone or redone drag shows its area again where its lines put it.
    statusLine_->clear();
    fillValueLabels(area);
    if (openingMode())
        return;
    selected_ = area;
    showRectangle(document_.panel().placedArea(area, picture_.image().size()));
    shownPicture_->update();
}

QString PanelWindow::selectedTemplate() const {
    QListWidgetItem* item = templateList_->currentItem();
    return item ? item->text() : QString();
}

void PanelWindow::ArqPanClick() {
    const QString name = selectedTemplate();
    if (name.isEmpty())
        return;
    QImage preview;
    loadImage(adventure_.workspaceFolder(), name, preview);
    preview_->setPicture(preview);
}

void PanelWindow::ViewClick() {
    // A new adventure has no panel image yet; the template is about to
    // replace it, so its absence must not stop the choice.
    if (openingMode())
        bnPanPanClick(true);
    const QString name = selectedTemplate();
    // With no template chosen there is nothing to take.
    if (name.isEmpty())
        return;
    showImage(adventure_.workspaceFolder(), name);
    setImageName(PanelLayout::imageNameFromTemplate(name));
    placeNameLabels(15);
}

void PanelWindow::areaLabelClick(PanelArea area) {
    if (openingMode())
        return;
    const QRect rect = document_.panel().placedArea(area, picture_.image().size());
    selected_ = area;
    fillValueLabels(area);
    showRectangle(rect);
}

void PanelWindow::areaLabelPaint() {
    if (!selected_)
        return;
    // The rectangle the area's value lines hold, filled as one step.
    if (picture_.image().isNull())
        return;
    const QRect rect = document_.panel().area(*selected_);
    picture_.fill(rect, PanelLayout::info(*selected_).paint);
    areaRectangle_->update();
}

void PanelWindow::showRectangle(QRect rect) {
    areaRectangle_->setGeometry(rect);
    sizeHandle_->move(PanelLayout::handleCorner(rect));
    areaRectangle_->show();
    sizeHandle_->show();
    sizeHandle_->raise();
}

void PanelWindow::hideRectangle() {
    areaRectangle_->hide();
    sizeHandle_->hide();
}

void PanelWindow::startAreaDrag(QMouseEvent* event) {
    StartWindowDrag(drag_, event->position().toPoint());
    // One drag, from press to release, is one step.
    dragStart_ = adventure_.settingsList();
}

void PanelWindow::Shp1aMouseDown(QMouseEvent* event) {
    startAreaDrag(event);
}

void PanelWindow::Shp1aMouseMove(QMouseEvent* event) {
    if (!drag_.dragging || !selected_)
        return;
    const QPoint delta = event->position().toPoint() - QPoint(drag_.startX, drag_.startY);
    const QRect rect = PanelLayout::moveRect(*selected_, areaRectangle_->geometry(), delta, picture_.image().size());
    adventure_.changeSettings([&](QStringList& lines) { PanelLayout::recordPosition(lines, *selected_, rect); });
    showRectangle(rect);
    showValueLines(*selected_);
    shownPicture_->update();
}

void PanelWindow::Shp1bMouseDown(QMouseEvent* event) {
    startAreaDrag(event);
}

void PanelWindow::Shp1bMouseMove(QMouseEvent* event) {
    if (!drag_.dragging || !selected_)
        return;
    const QPoint delta = event->position().toPoint() - QPoint(drag_.startX, drag_.startY);
    const QRect rect = PanelLayout::resizeRect(areaRectangle_->geometry(), delta, picture_.image().size());
    adventure_.changeSettings([&](QStringList& lines) { PanelLayout::recordSize(lines, *selected_, rect.size()); });
    showRectangle(rect);
    showValueLines(*selected_);
    shownPicture_->update();
}

void PanelWindow::TelaMouseDown(QMouseEvent* event) {
    StartWindowDrag(drag_, event->position().toPoint());
    pen_ = event->position().toPoint();
    statusLine_->clear();
    picture_.beginStroke();
}

void PanelWindow::TelaMouseMove(QMouseEvent* event) {
    if (!drag_.dragging || picture_.image().isNull())
        return;
    const QPoint to = event->position().toPoint();
    if ((event->buttons() & Qt::RightButton) || (event->modifiers() & Qt::ControlModifier))
        picture_.drawLine(pen_, to, QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap));
    if (event->buttons() & Qt::LeftButton)
        picture_.drawLine(pen_, to, QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
    pen_ = to;
}

void PanelWindow::stopDrag(QMouseEvent*) {
    StopWindowDrag(drag_);
    picture_.endStroke();
    if (!dragStart_ || !selected_)
        return;
    const QStringList before = *std::exchange(dragStart_, std::nullopt);
    document_.panelHistory().perform(
        std::make_unique<PanelAreaEdit>(document_, *selected_, before, adventure_.settingsList()));
}

void PanelWindow::bnPanGrvClick() {
    if (imageName().isEmpty())
        return;
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    // Checked before anything is written: a short list would leave an image
    // in the folder that no line names.
    PanelLayout::requireLines(adventure_.settingsList());
    const QString name = PanelLayout::pngImageName(imageName());
    const QImage& image = picture_.image();
    saveImage(adventure_.folder(), name.left(name.size() - 4), image, QStringLiteral("png"));
    if (name != imageName()) {
        setImageName(name);
        placeNameLabels(15);
    }
    adventure_.changeSettings(
        [&](QStringList& lines) { PanelLayout::recordSavedImage(lines, openingMode(), name, image.size()); });
    adventure_.saveSettings();
    statusLine_->setText(QStringLiteral("Gravação ok."));
}

ItemTransfer::Context PanelWindow::transferContext() {
    return {&connection_, adventure_.name(), adventure_.folder(),
            [this](const QString& text) {
                statusLine_->setText(text);
                statusLine_->repaint();
            },
            [this](const QString& file) { return Question::replaceChangedFile(this, file); }};
}

void PanelWindow::bnPanUpClick() {
    ItemTransfer::uploadPanel(
        transferContext(), imageName(),
        // A list too short for the layout lines stops the upload before the
        // picture goes.
        [this] { PanelLayout::requireLines(adventure_.settingsList()); },
        [this] {
            const QSize size = picture_.image().size();
            adventure_.changeSettings([&](QStringList& lines) { PanelLayout::recordSavedSize(lines, size); });
            adventure_.saveSettings();
        });
}

void PanelWindow::bnPanDwClick() {
    const QString name = adventure_.name();
    // The list in memory is written back at exit; reading the fetched file
    // now keeps the older copy from replacing it then.
    bool pictureFetched = false;
    if (ItemTransfer::downloadPanel(transferContext(), imageName(), &pictureFetched) && name == adventure_.name())
        document_.reload(name + QStringLiteral(".ini"));
    // The fetched picture is the one shown from now on: "Gravar" must not
    // write the older picture on the screen over it.
    if (pictureFetched && name == adventure_.name())
        showImage(adventure_.folder(), imageName());
    hideRectangle();
    for (const PanelAreaInfo& a : PanelLayout::areas())
        fillValueLabels(a.area);
}

bool PanelWindow::eventFilter(QObject* watched, QEvent* event) {
    const auto area = areaLabels_.constFind(watched);
    const bool mouseEvent =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease;
    if (area != areaLabels_.constEnd() && mouseEvent) {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonPress &&
            (mouse->button() == Qt::RightButton || (mouse->modifiers() & Qt::ControlModifier)))
            reportErrors([this] { areaLabelPaint(); });
        else if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton &&
                 static_cast<QWidget*>(watched)->rect().contains(mouse->position().toPoint()))
            reportErrors([this, area] { areaLabelClick(*area); });
    }
    return ToolWindow::eventFilter(watched, event);
}

namespace {
constexpr Qt::KeyboardModifiers kKeyModifiers =
    Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;
}  // namespace

bool PanelWindow::JanPanKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    // A hidden window never acts on a key.
    if (!isVisible())
        return false;
    if (key == Qt::Key_S && (modifiers & kKeyModifiers) == Qt::ControlModifier) {
        bnPanGrvClick();
        return true;
    }
    switch (undoKeyOf(key, modifiers)) {
    case UndoKey::Undo:
        document_.panelHistory().undoStep();
        return true;
    case UndoKey::Redo:
        document_.panelHistory().redoStep();
        return true;
    case UndoKey::None:
        return false;
    }
    return false;
}

void PanelWindow::keyPressEvent(QKeyEvent* event) {
    if (!handleKeyDown(event, [this](int key, Qt::KeyboardModifiers m) { return JanPanKeyDown(key, m); }))
        ToolWindow::keyPressEvent(event);
}

}  // namespace orv
