#include "RegistersWindow.h"
#include "core/ErrorReport.h"

#include "widgets/ButtonArt.h"
#include "widgets/Controls.h"
#include "widgets/PictureBox.h"
#include "widgets/Question.h"
#include "widgets/UndoKeys.h"
#include "core/Adventure.h"
#include "document/AdventureDocument.h"
#include "widgets/DragState.h"
#include "net/Connection.h"

#include <utility>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextDocument>

namespace orv {

namespace {
constexpr int kStatusLeft = 70;
constexpr int kStatusLeftWithTransfers = 200;

enum Answer { kSave, kDiscard, kCancel };
}  // namespace

RegistersWindow::RegistersWindow(QWidget* parent, AdventureDocument& document, Connection& connection, DragState& drag,
                                 std::function<void()> hideFullWidthViews)
    : ToolWindow(parent,
                 {QStringLiteral("JanReg"), QStringLiteral("Registradores:"), QStringLiteral("brReg"), 159,
                  QStringLiteral("Image3"), QRect(373, 195, 560, 470)},
                 drag),
      document_(document), adventure_(document.adventure()), connection_(connection),
      hideFullWidthViews_(std::move(hideFullWidthViews)) {
    registerText_ = new QPlainTextEdit(this);
    registerText_->setObjectName(QStringLiteral("Regs"));
    registerText_->setGeometry(5, 30, 550, 400);
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(16);
    font.setStyleHint(QFont::TypeWriter);
    registerText_->setFont(font);
    registerText_->setLineWrapMode(QPlainTextEdit::NoWrap);
    registerText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    registerText_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = registerText_->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    registerText_->setPalette(palette);
    registerText_->installEventFilter(this);
    registerText_->viewport()->installEventFilter(this);

    saveButton_ = makeSmallButton(this, QStringLiteral("bnRegGr"), QStringLiteral("Gravar"), {5, 438},
                                  [this] { bnRegGrClick(); });
    uploadButton_ = makeSmallButton(this, QStringLiteral("bnRegUp"), QStringLiteral("Upload"), {67, 438},
                                    [this] { bnRegUpClick(); });
    downloadButton_ = makeSmallButton(this, QStringLiteral("bnRegDw"), QStringLiteral("Down"), {129, 438},
                                      [this] { bnRegDwClick(); });
    uploadButton_->hide();
    downloadButton_->hide();
    for (PictureBox* b : {saveButton_, uploadButton_, downloadButton_})
        DrawSmallButtonUp(b, Qt::black);

    statusLine_ = makeStatusLabel(this, QStringLiteral("Msg7"), {kStatusLeft, 441}, 350);

    // Typing into a window that lies behind another brings it up, so the
    // author sees what the keys change.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && isAncestorOf(now))
            raise();
    });
    // The text stays, but Gravar then writes it back where it came from.
    connect(&adventure_, &Adventure::opened, this, [this] { readHere_ = false; });
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
    connect(registerText_, &QPlainTextEdit::textChanged, this, [this] { keepDraft(); });
    connect(&document_, &AdventureDocument::draftsRecovered, this, reported([this] { showRecoveredDraft(); }));
    connect(&document_, &AdventureDocument::fileChangedOutside, this,
            reported([this](const QString& path) { outsideChange(path); }));
}

void RegistersWindow::keepDraft() {
    if (!hasUnsavedEdits()) {
        document_.setRegistersDraft(std::nullopt);
        return;
    }
    document_.setRegistersDraft(
        AdventureDocument::TextDraft{registers_->valueFile(), registerText_->document()->toRawText()});
}

void RegistersWindow::showRecoveredDraft() {
    const auto draft = document_.registersDraft();
    if (!draft)
        return;
    // Shown at the next "Regs", as it was typed, without asking about it.
    showRecovered_ = true;
}

void RegistersWindow::open() {
    statusLine_->clear();
    if (hideFullWidthViews_)
        hideFullWidthViews_();
    raise();
    for (PictureBox* b : {uploadButton_, downloadButton_, saveButton_})
        DrawSmallButtonUp(b, Qt::black);
    // Over unsaved edits the window shows first: the author sees the text
    // the question is about, and keeps it in view if saving it fails.
    if (hasUnsavedEdits())
        show();
    if (std::exchange(showRecovered_, false) && document_.registersDraft()) {
        // The files as they are, then the recovered text over them.
        const QString text = document_.registersDraft()->text;
        fill();
        registerText_->setPlainText(text);
    } else if (mayReadAgain()) {
        fill();
    }
    show();
    showTransferButtons();
}

void RegistersWindow::showTransferButtons() {
    if (connection_.isReady()) {
        uploadButton_->show();
        downloadButton_->show();
        statusLine_->move(kStatusLeftWithTransfers, statusLine_->y());
    }
}

void RegistersWindow::fill() {
    // Both files are read before the text changes: a file that cannot be read
    // leaves the text, and where Gravar writes it, as they were.
    Registers registers(adventure_.folder(), adventure_.name());
    const QStringList lines = registers.fill([] { QCoreApplication::processEvents(); });
    registerText_->setPlainText(lines.join(QLatin1Char('\n')));
    unchangedText_ = registerText_->document()->toRawText();
    registers_ = std::move(registers);
    readHere_ = true;
    document_.disk().know(registers_->valueFile());
    document_.disk().know(registers_->nameFile());
    keepDraft();
}

bool RegistersWindow::changedOutside() const {
    return registers_ && (document_.disk().changedOutside(registers_->valueFile()) ||
                          document_.disk().changedOutside(registers_->nameFile()));
}

void RegistersWindow::outsideChange(const QString& path) {
    if (!registers_ ||
        (path != DiskCopies::key(registers_->valueFile()) && path != DiskCopies::key(registers_->nameFile())))
        return;
    // Nothing edited: the text shows the files as they are now. Edited: the
    // author chooses.
    if (!hasUnsavedEdits() || document_.askAboutOutsideChange(path) == AdventureDocument::OutsideChoice::UseDisk)
        fill();
}

bool RegistersWindow::hasUnsavedEdits() const {
    return registers_ && registerText_->document()->toRawText() != unchangedText_;
}

bool RegistersWindow::mayReadAgain() {
    if (!hasUnsavedEdits())
        return true;
    const QFileInfo values(registers_->valueFile());
    const QFileInfo names(registers_->nameFile());
    const QString text =
        QStringLiteral("Os registradores da aventura %1 (\"%2\" e \"%3\") têm alterações não gravadas. "
                       "Gravar antes de ler os arquivos de novo?")
            .arg(registers_->adventureName(), values.fileName(), names.fileName());
    const int answer = Question::ask(
        this, QStringLiteral("JanSalvar"), QStringLiteral("Alterações não gravadas"), text,
        {{kSave, QStringLiteral("btSalvarSim"), QStringLiteral("Gravar"), true, false},
         {kDiscard, QStringLiteral("btSalvarNao"), QStringLiteral("Descartar"), false, false},
         {kCancel, QStringLiteral("btSalvarCancela"), QStringLiteral("Cancelar"), false, true}});
    if (answer == kCancel)
        return false;
    if (answer == kSave) {
        // Not saved now: nothing is read over the text either.
        if (document_.transferRunning()) {
            statusLine_->setText(ItemTransfer::transferRunningText());
            return false;
        }
        bnRegGrClick();
    }
    return true;
}

void RegistersWindow::bnRegUpClick() {
    ItemTransfer::uploadRegisters({&connection_, adventure_.name(), adventure_.folder(),
                                   [this](const QString& text) { statusLine_->setText(text); }});
}

// The text is not refilled: it may hold edits the author has not saved yet.
void RegistersWindow::bnRegDwClick() {
    ItemTransfer::downloadRegisters({&connection_, adventure_.name(), adventure_.folder(),
                                     [this](const QString& text) { statusLine_->setText(text); }, [this](const QString& file) { return Question::replaceChangedFile(this, file); }});
}

void RegistersWindow::bnRegGrClick() {
    if (!registers_)
        return;
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    // toRawText keeps non-breaking spaces, which toPlainText would turn into
    // blanks.
    // Files another program changed since they were read are not written
    // over unless the author keeps this text.
    if (changedOutside() &&
        (!hasUnsavedEdits() || document_.askAboutOutsideChange(registers_->valueFile()) ==
                                   AdventureDocument::OutsideChoice::UseDisk)) {
        fill();
        return;
    }
    const QString text = registerText_->document()->toRawText();
    registers_->save(Registers::textLines(text));
    unchangedText_ = text;
    keepDraft();
    // The text goes back to the adventure it was read from, also after another
    // one was opened: written into the new one it would replace its registers.
    if (readHere_)
        statusLine_->setText(QStringLiteral("Registradores gravados."));
    else
        statusLine_->setText(QStringLiteral("Registradores gravados em %1.").arg(registers_->adventureName()));
}

void RegistersWindow::RegsClick() {
    statusLine_->clear();
}

void RegistersWindow::RegsKeyPress() {
    statusLine_->clear();
}

bool RegistersWindow::JanRegKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    // A hidden window never acts on a key.
    if (!isVisible())
        return false;
    modifiers &= Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;
    if (key == Qt::Key_S && modifiers == Qt::ControlModifier) {
        bnRegGrClick();
        return true;
    }
    return false;
}

void RegistersWindow::keyPressEvent(QKeyEvent* event) {
    if (!handleKeyDown(event, [this](int key, Qt::KeyboardModifiers m) { return JanRegKeyDown(key, m); }))
        ToolWindow::keyPressEvent(event);
}

bool RegistersWindow::eventFilter(QObject* watched, QEvent* event) {
    // The window's keys are not typing: they neither reach the text nor
    // clear what "Gravar" said.
    if (watched == registerText_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (handleKeyDown(key, [this](int k, Qt::KeyboardModifiers m) { return JanRegKeyDown(k, m); }))
            return true;
    }
    if (watched == registerText_ && event->type() == QEvent::KeyPress)
        reportErrors([this] { RegsKeyPress(); });
    else if (watched == registerText_->viewport() && event->type() == QEvent::MouseButtonPress)
        reportErrors([this] { RegsClick(); });
    return ToolWindow::eventFilter(watched, event);
}

}  // namespace orv
