#include "PositionImageEditor.h"

#include "MapCompiler.h"
#include "widgets/Controls.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "widgets/PictureBox.h"
#include "core/Adventure.h"
#include "net/Connection.h"
#include "widgets/DragState.h"
#include "widgets/Shape.h"
#include "imaging/ImageFiles.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace orv {

namespace {

const QColor kBackground(Qt::white);

int screenSide(const QStringList& settings, int line, const char* what) {
    const QString where = QStringLiteral("A linha %1 (%2) das configurações").arg(line).arg(QLatin1String(what));
    bool ok = false;
    const QString text = line < settings.size() ? settings.at(line).trimmed() : QString();
    const int value = text.toInt(&ok);
    // toInt stops at a NUL character: "320" followed by a NUL and more is not 320.
    if (!ok || text.contains(QChar(u'\0')))
        throw OrvalisError(where + QStringLiteral(" falta ou não é um número inteiro."));
    if (value <= 0 || value > PositionImageEditor::MaxSide)
        throw OrvalisError(where + QStringLiteral(" deve estar entre 1 e %1, mas é %2.")
                                       .arg(PositionImageEditor::MaxSide)
                                       .arg(value));
    return value;
}

}  // namespace

PositionImageEditor::PositionImageEditor(QWidget* parent, Adventure& adventure, Connection& connection,
                                         const ScriptSettings& settings, DragState& drag)
    : ToolWindow(parent,
                 {QStringLiteral("JanEdImg"), QStringLiteral("Imagem da posição:"), QStringLiteral("brEdImg"), 105,
                  QStringLiteral("btEdFim"), QRect(260, 15, 470, 355), false},
                 drag),
      adventure_(adventure), connection_(connection), settings_(settings), drag_(drag) {
    shape10_ = new orv::Shape(this, QStringLiteral("Shape10"), QRect(), orv::Shape::Kind::Rectangle, QColor(192, 192, 192),
                         QColor(128, 128, 128));
    shape10_->stackUnder(title());

    LabelStyle nameStyle{19, true, true, QColor(0, 128, 128)};
    lbNoPos_ = makeLabel(this, QStringLiteral("lbNoPos"), QString(), QPoint(title()->x() + title()->width() + 6, 5),
                         nameStyle);

    shape11_ = new orv::Shape(this, QStringLiteral("Shape11"), QRect(), orv::Shape::Kind::Rectangle, QColor(128, 128, 128),
                         QColor(128, 128, 128));

    panEdi_ = new QWidget(this);
    panEdi_->setObjectName(QStringLiteral("PanEdi"));
    telPos_ = new PictureBox(panEdi_, QStringLiteral("TelPos"), QRect());
    telPos_->setCursor(Qt::CrossCursor);
    telPos_->onPress = [this](QMouseEvent* e) { TelPosMouseDown(e); };
    telPos_->onMove = [this](QMouseEvent* e) { TelPosMouseMove(e); };
    telPos_->onRelease = [this](QMouseEvent* e) { TelPosMouseUp(e); };

    bnEdCls_ = makeSmallButton(this, QStringLiteral("bnEdCls"), QStringLiteral("Limpar"), {}, [this] { bnEdClsClick(); });
    bnEdGrv_ = makeSmallButton(this, QStringLiteral("bnEdGrv"), QStringLiteral("Gravar"), {}, [this] { bnEdGrvClick(); });
    bnEdUp_ = makeSmallButton(this, QStringLiteral("bnEdUp"), QStringLiteral("Upload"), {}, [this] { bnEdUpClick(); });
    bnEdDwn_ = makeSmallButton(this, QStringLiteral("bnEdDwn"), QStringLiteral("Down"), {}, [this] { bnEdDwnClick(); });
    bnEdUp_->hide();
    bnEdDwn_->hide();

    msg5_ = makeStatusLabel(this, QStringLiteral("Msg5"), {140, 0}, 195);

    for (PictureBox* b : {bnEdCls_, bnEdUp_, bnEdDwn_, bnEdGrv_})
        DrawSmallButtonUp(b, Qt::black);

    // The design's place for a screen-sized picture, until the first opening.
    layOut(QSize(320, 200));
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
}

const QString& PositionImageEditor::positionName() const {
    return positionName_;
}

void PositionImageEditor::setPositionName(const QString& name) {
    positionName_ = name;
    lbNoPos_->setText(name);
    lbNoPos_->adjustSize();
}

const QImage& PositionImageEditor::canvas() const {
    return telPos_->picture();
}

QSize PositionImageEditor::newImageSize(const QStringList& settings) {
    const int width = screenSide(settings, 58, "largura da tela");
    const int height = screenSide(settings, 59, "altura da tela");
    return QSize(width, height);
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
        QImage blank(newImageSize(adventure_.settingsList()), QImage::Format_RGB32);
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
    telPos_->setPicture(loaded.convertToFormat(QImage::Format_RGB32));
    layOut(loaded.size());
    show();
}

void PositionImageEditor::layOut(QSize image) {
    const int w = image.width();
    const int h = image.height();
    const QSize window = windowSizeFor(image);
    panEdi_->setGeometry(5, 30, w, h);
    telPos_->setGeometry(0, 0, w, h);
    resize(window);
    shape10_->setGeometry(0, 25, window.width(), window.height() - 25);
    shape11_->setGeometry(0, h + 35, window.width(), 2);
    bnEdCls_->move(10, h + 47);
    bnEdGrv_->move(75, h + 47);
    bnEdUp_->move(140, h + 47);
    bnEdDwn_->move(205, h + 47);
    // The status line keeps its left: 140, or 270 once Upload/Down are shown.
    msg5_->move(msg5_->x(), h + 49);
    placeTopRight();
}

void PositionImageEditor::showTransferButtons() {
    if (!connection_.isReady())
        return;
    bnEdUp_->show();
    bnEdDwn_->show();
    msg5_->move(270, msg5_->y());
}

void PositionImageEditor::TelPosMouseDown(QMouseEvent* event) {
    drag_.dragging = 1;
    pen_ = event->position().toPoint();
    msg5_->clear();
}

void PositionImageEditor::TelPosMouseMove(QMouseEvent* event) {
    if (drag_.dragging != 1 || telPos_->picture().isNull())
        return;
    const QPoint to = event->position().toPoint();
    const Qt::MouseButtons buttons = event->buttons();
    QPainter painter(&telPos_->picture());
    // Both strokes run from where the pen was, broad one first, so that a
    // thin black line lies on a broad white one when both are asked for.
    if ((event->modifiers() & Qt::ControlModifier) || (buttons & Qt::RightButton)) {
        painter.setPen(QPen(kBackground, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(pen_, to);
    }
    if (buttons & Qt::LeftButton) {
        painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(pen_, to);
    }
    pen_ = to;
    painter.end();
    telPos_->update();
}

void PositionImageEditor::TelPosMouseUp(QMouseEvent*) {
    StopWindowDrag(drag_);
}

void PositionImageEditor::save() {
    if (telPos_->picture().isNull())
        throw OrvalisError(QStringLiteral("Nenhuma imagem de posição está aberta."));
    saveImage(adventure_.folder(), checkedName(), telPos_->picture(), settings_.imageExtension);
}

void PositionImageEditor::bnEdClsClick() {
    checkedName();
    telPos_->picture().fill(kBackground);
    telPos_->update();
    save();
    msg5_->setText(QStringLiteral("Ok."));
}

void PositionImageEditor::bnEdGrvClick() {
    save();
    msg5_->setText(QStringLiteral("Ok."));
}

// The canvas is left as it is after a download: the author may still want
// what is drawn, and Gravar would otherwise be the only way back.
void PositionImageEditor::bnEdUpClick() {
    ItemTransfer::uploadPositionImage(transferContext(), positionName() + '.' + settings_.imageExtension);
}

void PositionImageEditor::bnEdDwnClick() {
    ItemTransfer::downloadPositionImage(transferContext(), positionName() + '.' + settings_.imageExtension);
}

ItemTransfer::Context PositionImageEditor::transferContext() {
    return {&connection_, adventure_.name(), adventure_.folder(), [this](const QString& text) { msg5_->setText(text); }};
}

}  // namespace orv
