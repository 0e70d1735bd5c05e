#include "RegistersWindow.h"
#include "core/ErrorReport.h"

#include "widgets/ButtonArt.h"
#include "widgets/Controls.h"
#include "widgets/PictureBox.h"
#include "core/Adventure.h"
#include "widgets/DragState.h"
#include "net/Connection.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextDocument>

namespace orv {

namespace {
constexpr int kStatusLeft = 70;
constexpr int kStatusLeftWithTransfers = 200;
}  // namespace

RegistersWindow::RegistersWindow(QWidget* parent, Adventure& adventure, Connection& connection, DragState& drag,
                                 std::function<void()> hideFullWidthViews)
    : ToolWindow(parent,
                 {QStringLiteral("JanReg"), QStringLiteral("Registradores:"), QStringLiteral("brReg"), 159,
                  QStringLiteral("Image3"), QRect(373, 195, 560, 470)},
                 drag),
      adventure_(adventure), connection_(connection), hideFullWidthViews_(std::move(hideFullWidthViews)) {
    regs_ = new QPlainTextEdit(this);
    regs_->setObjectName(QStringLiteral("Regs"));
    regs_->setGeometry(5, 30, 550, 400);
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(16);
    font.setStyleHint(QFont::TypeWriter);
    regs_->setFont(font);
    regs_->setLineWrapMode(QPlainTextEdit::NoWrap);
    regs_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    regs_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = regs_->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    regs_->setPalette(palette);
    regs_->installEventFilter(this);
    regs_->viewport()->installEventFilter(this);

    bnRegGr_ = makeSmallButton(this, QStringLiteral("bnRegGr"), QStringLiteral("Gravar"), {5, 438},
                               [this] { bnRegGrClick(); });
    bnRegUp_ = makeSmallButton(this, QStringLiteral("bnRegUp"), QStringLiteral("Upload"), {67, 438}, [this] { bnRegUpClick(); });
    bnRegDw_ = makeSmallButton(this, QStringLiteral("bnRegDw"), QStringLiteral("Down"), {129, 438}, [this] { bnRegDwClick(); });
    bnRegUp_->hide();
    bnRegDw_->hide();
    for (PictureBox* b : {bnRegGr_, bnRegUp_, bnRegDw_})
        DrawSmallButtonUp(b, Qt::black);

    msg7_ = makeStatusLabel(this, QStringLiteral("Msg7"), {kStatusLeft, 441}, 350);

    // Typing into a window that lies behind another brings it up, so the
    // author sees what the keys change.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && isAncestorOf(now))
            raise();
    });
    // The text stays, but Gravar then writes it back where it came from.
    connect(&adventure_, &Adventure::opened, this, [this] { readHere_ = false; });
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
}

void RegistersWindow::open() {
    msg7_->clear();
    if (hideFullWidthViews_)
        hideFullWidthViews_();
    raise();
    for (PictureBox* b : {bnRegUp_, bnRegDw_, bnRegGr_})
        DrawSmallButtonUp(b, Qt::black);
    fill();
    show();
    showTransferButtons();
}

void RegistersWindow::showTransferButtons() {
    if (connection_.isReady()) {
        bnRegUp_->show();
        bnRegDw_->show();
        msg7_->move(kStatusLeftWithTransfers, msg7_->y());
    }
}

void RegistersWindow::fill() {
    // Both files are read before the text changes: a file that cannot be read
    // leaves the text, and where Gravar writes it, as they were.
    Registers registers(adventure_.folder(), adventure_.name());
    const QStringList lines = registers.fill([] { QCoreApplication::processEvents(); });
    regs_->setPlainText(lines.join(QLatin1Char('\n')));
    registers_ = std::move(registers);
    readHere_ = true;
}

void RegistersWindow::bnRegUpClick() {
    ItemTransfer::uploadRegisters({&connection_, adventure_.name(), adventure_.folder(),
                                   [this](const QString& text) { msg7_->setText(text); }});
}

// The text is not refilled: it may hold edits the author has not saved yet.
void RegistersWindow::bnRegDwClick() {
    ItemTransfer::downloadRegisters({&connection_, adventure_.name(), adventure_.folder(),
                                     [this](const QString& text) { msg7_->setText(text); }});
}

void RegistersWindow::bnRegGrClick() {
    if (!registers_)
        return;
    // toRawText keeps non-breaking spaces, which toPlainText would turn into
    // blanks.
    registers_->save(Registers::textLines(regs_->document()->toRawText()));
    // The text goes back to the adventure it was read from, also after another
    // one was opened: written into the new one it would replace its registers.
    if (readHere_)
        msg7_->setText(QStringLiteral("Registradores gravados."));
    else
        msg7_->setText(QStringLiteral("Registradores gravados em %1.").arg(registers_->adventureName()));
}

void RegistersWindow::RegsClick() {
    msg7_->clear();
}

void RegistersWindow::RegsKeyPress() {
    msg7_->clear();
}

bool RegistersWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == regs_ && event->type() == QEvent::KeyPress)
        reportErrors([this] { RegsKeyPress(); });
    else if (watched == regs_->viewport() && event->type() == QEvent::MouseButtonPress)
        reportErrors([this] { RegsClick(); });
    return ToolWindow::eventFilter(watched, event);
}

}  // namespace orv
