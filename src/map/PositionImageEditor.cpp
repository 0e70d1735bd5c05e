#include "PositionImageEditor.h"

#include "MapCompiler.h"
#include "core/ErrorReport.h"
#include "widgets/Question.h"
#include "widgets/Controls.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "widgets/PictureBox.h"
#include "widgets/UndoKeys.h"
#include "core/Adventure.h"
#include "document/AdventureDocument.h"
#include "net/Connection.h"
#include "widgets/DragState.h"
#include "widgets/Shape.h"
#include "imaging/ImageFiles.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace orv {

namespace {

const QColor kBackground(Qt::white);

}  // namespace

PositionImageEditor::PositionImageEditor(QWidget* parent, AdventureDocument& document, Connection& connection,
                                         const ScriptSettings& settings, DragState& drag)
    : ToolWindow(parent,
                 {QStringLiteral("JanEdImg"), QStringLiteral("Imagem da posição:"), QStringLiteral("brEdImg"), 105,
                  QStringLiteral("btEdFim"), QRect(260, 15, 470, 355), false},
                 drag),
      document_(document), adventure_(document.adventure()), picture_(document.positionPicture()),
      connection_(connection), settings_(settings), drag_(drag) {
    background_ = new orv::Shape(this, QStringLiteral("Shape10"), QRect(), orv::Shape::Kind::Rectangle, QColor(192, 192, 192),
                         QColor(128, 128, 128));
    background_->stackUnder(title());

    LabelStyle nameStyle{19, true, true, QColor(0, 128, 128)};
    positionLabel_ = makeLabel(this, QStringLiteral("lbNoPos"), QString(), QPoint(title()->x() + title()->width() + 6, 5),
                         nameStyle);

    separator_ = new orv::Shape(this, QStringLiteral("Shape11"), QRect(), orv::Shape::Kind::Rectangle, QColor(128, 128, 128),
                         QColor(128, 128, 128));

    picturePanel_ = new QWidget(this);
    picturePanel_->setObjectName(QStringLiteral("PanEdi"));
    canvas_ = new PictureBox(picturePanel_, QStringLiteral("TelPos"), QRect());
    canvas_->setCursor(Qt::CrossCursor);
    canvas_->showPicture(&picture_.image());
    canvas_->setFocusPolicy(Qt::ClickFocus);
    canvas_->onPress = [this](QMouseEvent* e) { TelPosMouseDown(e); };
    canvas_->onMove = [this](QMouseEvent* e) { TelPosMouseMove(e); };
    canvas_->onRelease = [this](QMouseEvent* e) { TelPosMouseUp(e); };

    clearButton_ = makeSmallButton(this, QStringLiteral("bnEdCls"), QStringLiteral("Limpar"), {}, [this] { bnEdClsClick(); });
    saveButton_ = makeSmallButton(this, QStringLiteral("bnEdGrv"), QStringLiteral("Gravar"), {}, [this] { bnEdGrvClick(); });
    uploadButton_ = makeSmallButton(this, QStringLiteral("bnEdUp"), QStringLiteral("Upload"), {}, [this] { bnEdUpClick(); });
    downloadButton_ = makeSmallButton(this, QStringLiteral("bnEdDwn"), QStringLiteral("Down"), {}, [this] { bnEdDwnClick(); });
    uploadButton_->hide();
    downloadButton_->hide();

    statusLine_ = makeStatusLabel(this, QStringLiteral("Msg5"), {140, 0}, 195);

    for (PictureBox* b : {clearButton_, uploadButton_, downloadButton_, saveButton_})
        DrawSmallButtonUp(b, Qt::black);

    // The design's place for a screen-sized picture, until the first opening.
    layOut(QSize(320, 200));
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
    connect(&picture_, &EditedPicture::changed, canvas_, [this](QRect area) { canvas_->update(area); });
    connect(&picture_, &EditedPicture::replaced, canvas_, [this] { canvas_->update(); });
    // A recovered picture is shown as it was drawn, not read from its file.
    connect(&document_, &AdventureDocument::positionPictureRecovered, this, [this](const QString& name) {
        setPositionName(name);
        layOut(picture_.image().size());
        show();
    });
}

const QString& PositionImageEditor::positionName() const {
    return positionName_;
}

void PositionImageEditor::setPositionName(const QString& name) {
    positionName_ = name;
    positionLabel_->setText(name);
    positionLabel_->adjustSize();
}

const QImage& PositionImageEditor::canvas() const {
    return picture_.image();
}

QSize PositionImageEditor::newImageSize(const QStringList& settings) {
    return PanelSettings(settings).screenSize();
}

QSize PositionImageEditor::windowSizeFor(QSize image) {
    return QSize(image.width() >= 460 ? image.width() + 10 : 470,
                 image.height() >= 275 ? image.height() + 80 : 355);
}

QString PositionImageEditor::checkedName() const {
    // The name becomes a file name in the adventure folder: one with a path
    // separator would read or write a picture somewhere else.
    const QString name = positionName();
    if (!MapCompiler::isUsableFileName(name))
        throw OrvalisError(
            QStringLiteral("O nome da posição \"%1\" não pode ser usado como nome de arquivo.").arg(name));
    return name;
}

void PositionImageEditor::openEditor() {
    const QString name = checkedName();
    const QString& folder = adventure_.folder();
    const QString& extension = settings_.imageExtension;
    const QString file = name + QLatin1Char('.') + extension;
    if (!fileExists(folder + file)) {
        // The size is checked before anything is written.
        QImage blank(document_.panel().screenSize(), QImage::Format_RGB32);
        blank.fill(kBackground);
        saveImage(folder, name, blank, extension);
    }
    // Hidden until the picture is read, and read into an empty picture: a
    // file that cannot be read must not leave the previous position's
    // picture on show under this position's name, where "Gravar" would write
    // it over this position's file.
    hide();
    QImage loaded;
    loadImage(folder, file, loaded);
    if (loaded.isNull())
        throw OrvalisError(QStringLiteral("Não foi possível ler a imagem da posição \"%1\".").arg(folder + file));
    // Another picture: the strokes of the last one are not taken back on it.
    document_.setPositionPictureName(name);
    picture_.replace(loaded.convertToFormat(QImage::Format_RGB32));
    layOut(loaded.size());
    show();
    // The author draws here now: the keys reach the picture without a click.
    canvas_->setFocus(Qt::OtherFocusReason);
}

void PositionImageEditor::layOut(QSize image) {
    const int w = image.width();
    const int h = image.height();
    const QSize window = windowSizeFor(image);
    picturePanel_->setGeometry(5, 30, w, h);
    canvas_->setGeometry(0, 0, w, h);
    resize(window);
    background_->setGeometry(0, 25, window.width(), window.height() - 25);
    separator_->setGeometry(0, h + 35, window.width(), 2);
    clearButton_->move(10, h + 47);
    saveButton_->move(75, h + 47);
    uploadButton_->move(140, h + 47);
    downloadButton_->move(205, h + 47);
    // The status line keeps its left: 140, or 270 once Upload/Down are shown.
    statusLine_->move(statusLine_->x(), h + 49);
    placeTopRight();
}

void PositionImageEditor::showTransferButtons() {
    if (!connection_.isReady())
        return;
    uploadButton_->show();
    downloadButton_->show();
    statusLine_->move(270, statusLine_->y());
}

void PositionImageEditor::TelPosMouseDown(QMouseEvent* event) {
    drag_.dragging = 1;
    pen_ = event->position().toPoint();
    statusLine_->clear();
    // From press to release the lines drawn are one step.
    picture_.beginStroke();
}

void PositionImageEditor::TelPosMouseMove(QMouseEvent* event) {
    if (drag_.dragging != 1 || picture_.image().isNull())
        return;
    const QPoint to = event->position().toPoint();
    const Qt::MouseButtons buttons = event->buttons();
    // Both strokes run from where the pen was, broad one first, so that a
    // thin black line lies on a broad white one when both are asked for.
    if ((event->modifiers() & Qt::ControlModifier) || (buttons & Qt::RightButton))
        picture_.drawLine(pen_, to, QPen(kBackground, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (buttons & Qt::LeftButton)
        picture_.drawLine(pen_, to, QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    pen_ = to;
}

void PositionImageEditor::TelPosMouseUp(QMouseEvent*) {
    StopWindowDrag(drag_);
    picture_.endStroke();
}

void PositionImageEditor::save() {
    if (picture_.image().isNull())
        throw OrvalisError(QStringLiteral("Nenhuma imagem de posição está aberta."));
    saveImage(adventure_.folder(), checkedName(), picture_.image(), settings_.imageExtension);
    document_.positionPictureSaved();
}

void PositionImageEditor::bnEdClsClick() {
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    checkedName();
    picture_.fill(picture_.image().rect(), kBackground);
    save();
    statusLine_->setText(QStringLiteral("Ok."));
}

void PositionImageEditor::bnEdGrvClick() {
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    save();
    statusLine_->setText(QStringLiteral("Ok."));
}

// The canvas is left as it is after a download: the author may still want
// what is drawn, and Gravar would otherwise be the only way back.
void PositionImageEditor::bnEdUpClick() {
    ItemTransfer::uploadPositionImage(transferContext(), positionName() + '.' + settings_.imageExtension);
}

void PositionImageEditor::bnEdDwnClick() {
    ItemTransfer::downloadPositionImage(transferContext(), positionName() + '.' + settings_.imageExtension);
}

bool PositionImageEditor::JanEdImgKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    // A hidden window never acts on a key.
    if (!isVisible())
        return false;
    const Qt::KeyboardModifiers held =
        modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    if (key == Qt::Key_S && held == Qt::ControlModifier) {
        bnEdGrvClick();
        return true;
    }
    EditHistory& history = document_.positionPictureHistory();
    switch (undoKeyOf(key, modifiers)) {
    case UndoKey::Undo:
        if (history.undoStep())
            statusLine_->clear();
        return true;
    case UndoKey::Redo:
        if (history.redoStep())
            statusLine_->clear();
        return true;
    case UndoKey::None:
        return false;
    }
    return false;
}

void PositionImageEditor::keyPressEvent(QKeyEvent* event) {
    if (!handleKeyDown(event, [this](int key, Qt::KeyboardModifiers m) { return JanEdImgKeyDown(key, m); }))
        ToolWindow::keyPressEvent(event);
}

ItemTransfer::Context PositionImageEditor::transferContext() {
    return {&connection_, adventure_.name(), adventure_.folder(),
            [this](const QString& text) { statusLine_->setText(text); }, [this](const QString& file) { return Question::replaceChangedFile(this, file); }};
}

}  // namespace orv
