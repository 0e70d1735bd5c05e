#include "PanelWindow.h"
#include "core/ErrorReport.h"

#include "widgets/ButtonArt.h"
#include "widgets/Controls.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "widgets/PictureBox.h"
#include "core/Adventure.h"
#include "widgets/DragState.h"
#include "net/Connection.h"
#include "net/ItemTransfer.h"
#include "imaging/ImageFiles.h"

#include <QDir>
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

PanelWindow::PanelWindow(QWidget* parent, Adventure& adventure, Connection& connection, DragState& drag,
                         std::function<void()> hideFullWidthViews)
    : ToolWindow(parent,
                 {QStringLiteral("JanPan"), QStringLiteral("Painel do jogo"), QStringLiteral("brPan"), 159,
                  QStringLiteral("btJanFim"), QRect(88, 230, 1140, 540)},
                 drag),
      adventure_(adventure), connection_(connection), drag_(drag),
      hideFullWidthViews_(std::move(hideFullWidthViews)) {
    bnPanAbr_ = makeSmallButton(this, QStringLiteral("bnPanAbr"), QStringLiteral("abertura"), {5, 30},
                                [this] { bnPanAbrClick(); });
    bnPanPan_ = makeSmallButton(this, QStringLiteral("bnPanPan"), QStringLiteral("painel"), {67, 30},
                                [this] { bnPanPanClick(); });
    view_ = new PictureBox(this, QStringLiteral("View"), QRect(5, 60, 206, 96));
    view_->setStretch(true);
    view_->onClick = [this] { ViewClick(); };

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

    arqPan_ = new QListWidget(this);
    arqPan_->setObjectName(QStringLiteral("ArqPan"));
    arqPan_->setGeometry(5, kListTop, 206, kListHeightOpening);
    connect(arqPan_, &QListWidget::itemClicked, this, reported([this] { ArqPanClick(); }));

    bnPanGrv_ = makeSmallButton(this, QStringLiteral("bnPanGrv"), QStringLiteral("Gravar"), {5, 512},
                                [this] { bnPanGrvClick(); });
    bnPanUp_ = makeSmallButton(this, QStringLiteral("bnPanUp"), QStringLiteral("Upload"), {67, 512},
                               [this] { bnPanUpClick(); });
    bnPanDw_ = makeSmallButton(this, QStringLiteral("bnPanDw"), QStringLiteral("Down"), {129, 512},
                               [this] { bnPanDwClick(); });
    bnPanUp_->hide();
    bnPanDw_->hide();
    for (PictureBox* b : {bnPanAbr_, bnPanPan_, bnPanGrv_, bnPanUp_, bnPanDw_})
        DrawSmallButtonUp(b, Qt::black);
    msg8_ = makeStatusLabel(this, QStringLiteral("Msg8"), {kStatusLeft, 515}, 350);

    lb1_ = plainLabel(this, QStringLiteral("Lb1"), QStringLiteral("Abertura:"), {220, 32}, 13, true);
    lbNoImg_ = plainLabel(this, QStringLiteral("lbNoImg"), QString(), {0, 32}, 13, true);
    lb2_ = plainLabel(this, QStringLiteral("Lb2"), QStringLiteral("0x0"), {0, 32}, 13, false);

    panTel_ = new QWidget(this);
    panTel_->setObjectName(QStringLiteral("PanTel"));
    panTel_->setGeometry(220, 55, 0, 0);
    tela_ = new PictureBox(panTel_, QStringLiteral("Tela"), QRect());
    tela_->onPress = [this](QMouseEvent* e) { TelaMouseDown(e); };
    tela_->onMove = [this](QMouseEvent* e) { TelaMouseMove(e); };
    tela_->onRelease = [this](QMouseEvent* e) { stopDrag(e); };
    shp1a_ = new AreaOutline(tela_, tela_->picture());
    shp1a_->onPress = [this](QMouseEvent* e) { Shp1aMouseDown(e); };
    shp1a_->onMove = [this](QMouseEvent* e) { Shp1aMouseMove(e); };
    shp1a_->onRelease = [this](QMouseEvent* e) { stopDrag(e); };
    shp1b_ = new PictureBox(tela_, QStringLiteral("Shp1b"), QRect(0, 0, 8, 8), handlePicture());
    shp1b_->onPress = [this](QMouseEvent* e) { Shp1bMouseDown(e); };
    shp1b_->onMove = [this](QMouseEvent* e) { Shp1bMouseMove(e); };
    shp1b_->onRelease = [this](QMouseEvent* e) { stopDrag(e); };
    hideRectangle();
    placeNameLabels(5);
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
}

void PanelWindow::setImageName(const QString& name) {
    imageName_ = name;
    lbNoImg_->setText(name);
}

void PanelWindow::showTransferButtons() {
    if (connection_.isReady()) {
        bnPanUp_->show();
        bnPanDw_->show();
        msg8_->move(kStatusLeftWithTransfers, msg8_->y());
    }
}

const QImage& PanelWindow::shownImage() const {
    return tela_->picture();
}

void PanelWindow::open() {
    msg8_->clear();
    if (hideFullWidthViews_)
        hideFullWidthViews_();
    raise();
    DrawSmallButtonUp(bnPanUp_, Qt::black);
    DrawSmallButtonUp(bnPanDw_, Qt::black);
    arqPan_->clear();
    arqPan_->addItems(QDir(adventure_.workspaceFolder())
                          .entryList({QStringLiteral("pan-*.png")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
    show();
    showTransferButtons();
    hideRectangle();
    opening_ = true;
    lb1_->setText(QStringLiteral("Abertura:"));
    PanelLayout::requireLines(adventure_.settingsList());
    setImageName(adventure_.settingsList()[13]);
    placeNameLabels(5);
    showImage(adventure_.folder(), imageName());
}

void PanelWindow::placeNameLabels(int gap) {
    lb1_->adjustSize();
    lbNoImg_->adjustSize();
    lb2_->adjustSize();
    lbNoImg_->move(lb1_->x() + lb1_->width() + 5, lb1_->y());
    lb2_->move(lbNoImg_->x() + lbNoImg_->width() + gap, lb1_->y());
}

void PanelWindow::showImage(const QString& folder, const QString& name) {
    loadImage(folder, name, tela_->picture());
    imageShown();
}

void PanelWindow::imageShown() {
    QImage& image = tela_->picture();
    if (!image.isNull() && image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    lb2_->setText(QStringLiteral("%1 x %2").arg(image.width()).arg(image.height()));
    lb2_->adjustSize();
    tela_->resize(image.size());
    panTel_->resize(image.size());
    tela_->update();
}

void PanelWindow::setMode(bool opening, int nameLine, bool imageMayBeMissing) {
    PanelLayout::requireLines(adventure_.settingsList());
    opening_ = opening;
    lb1_->setText(opening ? QStringLiteral("Abertura:") : QStringLiteral("Painel:"));
    setImageName(adventure_.settingsList()[nameLine]);
    placeNameLabels(15);
    arqPan_->resize(arqPan_->width(), opening ? kListHeightOpening : kListHeightPanel);
    try {
        showImage(adventure_.folder(), imageName());
    } catch (const OrvalisError&) {
        if (!imageMayBeMissing)
            throw;
        tela_->picture() = QImage();
        imageShown();
    }
}

void PanelWindow::bnPanAbrClick() {
    setMode(true, 13);
}

void PanelWindow::bnPanPanClick(bool imageMayBeMissing) {
    setMode(false, 14, imageMayBeMissing);
    hideRectangle();
    for (const PanelAreaInfo& a : PanelLayout::areas())
        fillValueLabels(a.area);
}

void PanelWindow::fillValueLabels(PanelArea area) {
    const PanelAreaInfo& a = PanelLayout::info(area);
    const int lines[4] = {a.leftLine, a.topLine, a.widthLine, a.heightLine};
    // Read every line first so that a bad one leaves the labels as they were.
    QString texts[4];
    for (int k = 0; k < 4; ++k)
        if (a.valueLabels[k])
            texts[k] = QString::number(PanelLayout::number(adventure_.settingsList(), lines[k]));
    for (int k = 0; k < 4; ++k)
        if (a.valueLabels[k])
            valueLabels_.value(QString::fromLatin1(a.valueLabels[k]))->setText(adventure_.settingsList()[lines[k]]);
}

int PanelWindow::valueOf(const char* labelName) const {
    return valueLabels_.value(QString::fromLatin1(labelName))->text().trimmed().toInt();
}

QString PanelWindow::selectedTemplate() const {
    QListWidgetItem* item = arqPan_->currentItem();
    return item ? item->text() : QString();
}

void PanelWindow::ArqPanClick() {
    const QString name = selectedTemplate();
    if (name.isEmpty())
        return;
    QImage preview;
    loadImage(adventure_.workspaceFolder(), name, preview);
    view_->setPicture(preview);
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
    const QRect rect = PanelLayout::placeRect(adventure_.settingsList(), area, tela_->picture().size());
    selected_ = area;
    fillValueLabels(area);
    showRectangle(rect);
}

void PanelWindow::areaLabelPaint() {
    if (!selected_)
        return;
    const PanelAreaInfo& a = PanelLayout::info(*selected_);
    QRect rect;
    switch (*selected_) {
    case PanelArea::Visor:
        rect = QRect(valueOf("VspLft"), valueOf("VspTop"), valueOf("VspWid"), valueOf("VspHgt"));
        break;
    case PanelArea::Tela:
        rect = QRect(valueOf("VspLft"), valueOf("VspTop"), valueOf("TelWid"), valueOf("TelHgt"));
        break;
    case PanelArea::Msg1:
        rect = QRect(valueOf("MsgLft") + valueOf("VspLft"), valueOf("MsgTop") + valueOf("VspTop"), valueOf("MsgWid"),
                     valueOf("MsgHgt"));
        break;
    default:
        rect = QRect(valueOf(a.valueLabels[0]), valueOf(a.valueLabels[1]), valueOf(a.valueLabels[2]),
                     valueOf(a.valueLabels[3]));
        break;
    }
    QImage& image = tela_->picture();
    if (image.isNull())
        return;
    QPainter painter(&image);
    painter.fillRect(rect, a.paint);
    painter.end();
    tela_->update();
    shp1a_->update();
}

void PanelWindow::showRectangle(QRect rect) {
    shp1a_->setGeometry(rect);
    shp1b_->move(PanelLayout::handleCorner(rect));
    shp1a_->show();
    shp1b_->show();
    shp1b_->raise();
}

void PanelWindow::hideRectangle() {
    shp1a_->hide();
    shp1b_->hide();
}

void PanelWindow::Shp1aMouseDown(QMouseEvent* event) {
    StartWindowDrag(drag_, event->position().toPoint());
}

void PanelWindow::Shp1aMouseMove(QMouseEvent* event) {
    if (!drag_.dragging || !selected_)
        return;
    const QPoint delta = event->position().toPoint() - QPoint(drag_.startX, drag_.startY);
    const QRect rect = PanelLayout::moveRect(*selected_, shp1a_->geometry(), delta, tela_->picture().size());
    adventure_.changeSettings([&](QStringList& lines) { PanelLayout::recordPosition(lines, *selected_, rect); });
    showRectangle(rect);
    const PanelAreaInfo& a = PanelLayout::info(*selected_);
    if (*selected_ != PanelArea::Tela) {
        valueLabels_.value(QString::fromLatin1(a.valueLabels[0]))->setText(adventure_.settingsList()[a.leftLine]);
        valueLabels_.value(QString::fromLatin1(a.valueLabels[1]))->setText(adventure_.settingsList()[a.topLine]);
    }
    tela_->update();
}

void PanelWindow::Shp1bMouseDown(QMouseEvent* event) {
    StartWindowDrag(drag_, event->position().toPoint());
}

void PanelWindow::Shp1bMouseMove(QMouseEvent* event) {
    if (!drag_.dragging || !selected_)
        return;
    const QPoint delta = event->position().toPoint() - QPoint(drag_.startX, drag_.startY);
    const QRect rect = PanelLayout::resizeRect(shp1a_->geometry(), delta, tela_->picture().size());
    adventure_.changeSettings([&](QStringList& lines) { PanelLayout::recordSize(lines, *selected_, rect.size()); });
    showRectangle(rect);
    const PanelAreaInfo& a = PanelLayout::info(*selected_);
    valueLabels_.value(QString::fromLatin1(a.valueLabels[2]))->setText(adventure_.settingsList()[a.widthLine]);
    valueLabels_.value(QString::fromLatin1(a.valueLabels[3]))->setText(adventure_.settingsList()[a.heightLine]);
    tela_->update();
}

void PanelWindow::TelaMouseDown(QMouseEvent* event) {
    StartWindowDrag(drag_, event->position().toPoint());
    pen_ = event->position().toPoint();
    msg8_->clear();
}

void PanelWindow::TelaMouseMove(QMouseEvent* event) {
    QImage& image = tela_->picture();
    if (!drag_.dragging || image.isNull())
        return;
    const QPoint to = event->position().toPoint();
    QPainter painter(&image);
    if ((event->buttons() & Qt::RightButton) || (event->modifiers() & Qt::ControlModifier)) {
        painter.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(pen_, to);
    }
    if (event->buttons() & Qt::LeftButton) {
        painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(pen_, to);
    }
    painter.end();
    pen_ = to;
    tela_->update();
    shp1a_->update();
}

void PanelWindow::stopDrag(QMouseEvent*) {
    StopWindowDrag(drag_);
}

void PanelWindow::bnPanGrvClick() {
    if (imageName().isEmpty())
        return;
    // Checked before anything is written: a short list would leave an image
    // in the folder that no line names.
    PanelLayout::requireLines(adventure_.settingsList());
    const QString name = PanelLayout::pngImageName(imageName());
    const QImage& image = tela_->picture();
    saveImage(adventure_.folder(), name.left(name.size() - 4), image, QStringLiteral("png"));
    if (name != imageName()) {
        setImageName(name);
        placeNameLabels(15);
    }
    adventure_.changeSettings(
        [&](QStringList& lines) { PanelLayout::recordSavedImage(lines, openingMode(), name, image.size()); });
    adventure_.saveSettings();
    msg8_->setText(QStringLiteral("Gravação ok."));
}

ItemTransfer::Context PanelWindow::transferContext() {
    return {&connection_, adventure_.name(), adventure_.folder(), [this](const QString& text) {
                msg8_->setText(text);
                msg8_->repaint();
            }};
}

void PanelWindow::bnPanUpClick() {
    ItemTransfer::uploadPanel(
        transferContext(), imageName(),
        // A list too short for the layout lines stops the upload before the
        // picture goes.
        [this] { PanelLayout::requireLines(adventure_.settingsList()); },
        [this] {
            const QSize size = tela_->picture().size();
            adventure_.changeSettings([&](QStringList& lines) {
                lines[11] = QString::number(size.width());
                lines[12] = QString::number(size.height());
            });
            adventure_.saveSettings();
        });
}

void PanelWindow::bnPanDwClick() {
    const QString name = adventure_.name();
    // The list in memory is written back at exit; reading the fetched file
    // now keeps the older copy from replacing it then.
    bool pictureFetched = false;
    if (ItemTransfer::downloadPanel(transferContext(), imageName(), &pictureFetched) && name == adventure_.name())
        adventure_.reload(name + QStringLiteral(".ini"));
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

}  // namespace orv
