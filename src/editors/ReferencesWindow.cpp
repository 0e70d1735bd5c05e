#include "ReferencesWindow.h"

#include "ObjectStore.h"
#include "core/ErrorReport.h"
#include "document/AdventureDocument.h"
#include "document/ReferenceIndex.h"
#include "document/ReferenceReport.h"
#include "document/Rename.h"
#include "net/ItemTransfer.h"
#include "widgets/Question.h"
#include "widgets/ButtonArt.h"
#include "widgets/Controls.h"
#include "widgets/DragState.h"
#include "widgets/PictureBox.h"
#include "widgets/UndoKeys.h"

#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

namespace orv {

namespace {

// Where a row leads, kept on the row itself.
constexpr int kFileRole = Qt::UserRole;
constexpr int kLineRole = Qt::UserRole + 1;
constexpr int kCellRole = Qt::UserRole + 2;

const QColor kUnusedColour(128, 128, 128);

// A small button's caption is centred on its 60 pixels; one that leaves less
// than 4 pixels either side would run into the bevel, so it gets the big one.
bool fitsSmallButton(const QString& caption) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);  // the captions' 9 points
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(caption) <= 60 - 8;
}

PictureBox* makeCaptionButton(QWidget* parent, const QString& name, const QString& caption, QPoint at,
                              std::function<void()> action, bool big) {
    PictureBox* button = big ? makeBigButton(parent, name, caption, at, std::move(action))
                             : makeSmallButton(parent, name, caption, at, std::move(action));
    if (big)
        DrawButtonUp(button, Qt::black);
    else
        DrawSmallButtonUp(button, Qt::black);
    return button;
}

QListWidget* makeList(QWidget* parent, const QString& name, QRect geometry) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setGeometry(geometry);
    // Rows read like the lines of a file: "Cabana.scp:7: saida: ..."
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(13);
    font.setStyleHint(QFont::TypeWriter);
    list->setFont(font);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setUniformItemSizes(true);
    QPalette pal = list->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    list->setPalette(pal);
    return list;
}

// The map's name lines are its cells: line 2k + 1 (from 1) names cell k.
int cellOfMapLine(int line) {
    return line > 0 ? (line - 1) / 2 : -1;
}

QListWidgetItem* placeRow(const QString& text, const QString& file, int line, int cell) {
    auto* item = new QListWidgetItem(text);
    item->setData(kFileRole, file);
    item->setData(kLineRole, line);
    item->setData(kCellRole, cell);
    return item;
}

// Refills a list and keeps what the author was looking at: the selected row
// when it is still there, and the scroll position.
void refill(QListWidget* list, const std::function<void()>& fill) {
    const QString selected = list->currentItem() ? list->currentItem()->text() : QString();
    const int scrolled = list->verticalScrollBar()->value();
    list->clear();
    fill();
    if (!selected.isNull()) {
        const QList<QListWidgetItem*> same = list->findItems(selected, Qt::MatchExactly);
        if (!same.isEmpty())
            list->setCurrentItem(same.first());
    }
    list->verticalScrollBar()->setValue(scrolled);
}

// JanRen: the new name for a position or an object, in the look of the
// program's questions (grey, title, striped handle, close button), with the
// old name ready to be edited. Enter renames, Esc and the close button call
// it off.
class RenameQuestion : public QDialog {
public:
    RenameQuestion(QWidget* parent, const QString& text, const QString& oldName)
        : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
        dressAsToolDialog(this, QStringLiteral("JanRen"), QStringLiteral("Renomear"));

        constexpr int kWidth = 440;
        constexpr int kMargin = 15;
        auto* body = new QFrame(this);
        body->setObjectName(QStringLiteral("JanRenCorpo"));
        body->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        makeLabel(this, QStringLiteral("JanRenTitulo"), QStringLiteral("Renomear"), {5, 5},
                  LabelStyle{19, true, true, QColor(0, 0, 128)});
        makeDragHandle(this, QStringLiteral("brRen"), QRect(kWidth - 35 - 79, 1, 79, 20), drag_, this, false);
        makeIconButton(this, QStringLiteral("btJanRen"), {kWidth - 30, 0}, [this] { reject(); });

        QLabel* label = makeLabel(this, QStringLiteral("JanRenTexto"), QString(), {kMargin, 40},
                                  LabelStyle{15, true, false, Qt::black});
        // Names are shown as they are, never read as markup.
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setText(text);
        const int textWidth = kWidth - 2 * kMargin;
        label->resize(textWidth, std::max(label->heightForWidth(textWidth), 20));

        nameBox_ = new QLineEdit(this);
        nameBox_->setObjectName(QStringLiteral("edRenNom"));
        QFont mono(QStringLiteral("Courier New"));
        mono.setPixelSize(14);
        mono.setBold(true);
        nameBox_->setFont(mono);
        nameBox_->setGeometry(kMargin, label->y() + label->height() + 10, textWidth, 22);
        nameBox_->setText(oldName);
        nameBox_->selectAll();
        connect(nameBox_, &QLineEdit::returnPressed, this, [this] { accept(); });

        const int buttonsTop = nameBox_->y() + nameBox_->height() + 18;
        const QString ok = QStringLiteral("Renomear");
        const QString cancel = QStringLiteral("Cancelar");
        // Both of one size, the small one unless a caption needs the big one.
        const bool big = !fitsSmallButton(ok) || !fitsSmallButton(cancel);
        const int buttonWidth = big ? 90 : 60;
        okButton_ = makeCaptionButton(this, QStringLiteral("btRenOk"), ok,
                                      {kWidth - kMargin - 2 * buttonWidth - 8, buttonsTop}, [this] { accept(); }, big);
        makeCaptionButton(this, QStringLiteral("btRenCancela"), cancel, {kWidth - kMargin - buttonWidth, buttonsTop},
                          [this] { reject(); }, big);
        setFixedSize(kWidth, buttonsTop + 24 + 14);
        body->setGeometry(0, 25, width(), height() - 25);
    }

    QString newName() const { return nameBox_->text(); }

protected:
    void showEvent(QShowEvent* event) override {
        centreOverMainWindow(this);
        QDialog::showEvent(event);
        activateWindow();
        nameBox_->setFocus(Qt::ActiveWindowFocusReason);
    }
    void paintEvent(QPaintEvent* event) override {
        QDialog::paintEvent(event);
        paintDialogOutline(this);
        QPainter p(this);
        p.setPen(Qt::black);
        // What Enter does wears a second outline, as a default button does.
        p.drawRect(okButton_->geometry().adjusted(-2, -2, 1, 1));
    }

private:
    DragState drag_;
    QLineEdit* nameBox_ = nullptr;
    PictureBox* okButton_ = nullptr;
};

}  // namespace

ReferencesWindow::ReferencesWindow(QWidget* parent, AdventureDocument& document, DragState& drag, OpenPlace openPlace)
    : ToolWindow(parent,
                 {QStringLiteral("JanRef"), QStringLiteral("Referências:"), QStringLiteral("brRef"), 159,
                  QStringLiteral("btJanRef"), QRect(640, 100, 640, 600)},
                 drag),
      document_(document), openPlace_(std::move(openPlace)) {
    const LabelStyle caption{15, true, true, QColor(0, 0, 128)};
    makeLabel(this, QStringLiteral("lbRefPrb"), QStringLiteral("Problemas:"), {10, 30}, caption);
    problemList_ = makeList(this, QStringLiteral("LstPrb"), QRect(10, 50, 620, 300));

    makeLabel(this, QStringLiteral("lbRefUso"), QStringLiteral("Usos de:"), {10, 362}, caption);
    nameBox_ = new QLineEdit(this);
    nameBox_->setObjectName(QStringLiteral("edRefNom"));
    nameBox_->setGeometry(85, 360, 250, 22);
    QFont mono(QStringLiteral("Courier New"));
    mono.setPixelSize(14);
    mono.setBold(true);
    nameBox_->setFont(mono);
    const QString renameCaption = QStringLiteral("Renomear...");
    renameButton_ = makeCaptionButton(this, QStringLiteral("btRefRen"), renameCaption, {345, 359},
                                      [this] { btRefRenClick(); }, !fitsSmallButton(renameCaption));
    useList_ = makeList(this, QStringLiteral("LstUso"), QRect(10, 390, 620, 170));

    statusLine_ = makeStatusLabel(this, QStringLiteral("Msg9"), {10, 570}, 620);

    connect(nameBox_, &QLineEdit::returnPressed, this, reported([this] { edRefNomKeyPress(); }));
    connect(problemList_, &QListWidget::itemDoubleClicked, this,
            reported([this](QListWidgetItem* item) { LstPrbDblClick(item); }));
    connect(useList_, &QListWidget::itemDoubleClicked, this,
            reported([this](QListWidgetItem* item) { LstUsoDblClick(item); }));
    connect(&document_, &AdventureDocument::referencesChanged, this, reported([this] { refresh(); }));
    connect(&document_, &AdventureDocument::renamed, this,
            reported([this](const QString& from, const QString& to) { followRename(from, to); }));
    // Another adventure: its names, not the last one's.
    connect(&document_, &AdventureDocument::opened, this, [this] {
        nameBox_->clear();
        shownName_.clear();
        useList_->clear();
        problemList_->clear();
        statusLine_->clear();
        stale_ = true;
    });
}

const ReferenceIndex& ReferencesWindow::index() const {
    return document_.references();
}

void ReferencesWindow::opened() {
    statusLine_->clear();
    stale_ = true;
    document_.refreshReferencesNow();
    // Announced or not, the lists show the index as it is now.
    if (stale_)
        refresh();
}

void ReferencesWindow::refresh() {
    // A hidden window fills its lists when it is opened again.
    if (isHidden()) {
        stale_ = true;
        return;
    }
    stale_ = false;
    fillProblems();
    fillUses();
}

void ReferencesWindow::fillProblems() {
    refill(problemList_, [this] {
        const QString map = index().mapFileName();
        for (const ReferenceProblem& p : index().problems()) {
            const int cell = p.cell >= 0 ? p.cell : (p.file == map ? cellOfMapLine(p.line) : -1);
            QListWidgetItem* item = placeRow(ReferenceReport::problemLine(p), p.file, p.line, cell);
            item->setToolTip(p.message);
            item->setForeground(p.isUnused() ? kUnusedColour : QColor(Qt::black));
            problemList_->addItem(item);
        }
    });
}

void ReferencesWindow::fillUses() {
    refill(useList_, [this] {
        if (shownName_.isEmpty())
            return;
        const QString map = index().mapFileName();
        for (const Reference& r : index().usesOf(shownName_)) {
            QListWidgetItem* item = placeRow(ReferenceReport::referenceLine(r), r.file, r.line,
                                             r.file == map ? cellOfMapLine(r.line) : -1);
            item->setToolTip(r.text);
            useList_->addItem(item);
        }
    });
}

void ReferencesWindow::showUsesOf(const QString& name) {
    nameBox_->setText(name);
    shownName_ = name;
    fillUses();
}

void ReferencesWindow::followRename(const QString& from, const QString& to) {
    // The uses shown follow the name, also when the rename is taken back.
    if (shownName_ == from)
        showUsesOf(to);
}

QString ReferencesWindow::objectAt(const QString& file, int line) const {
    if (file.endsWith(QStringLiteral(".obj")))
        return ObjectStore::objectNameOf(file);
    int nameLine = -1;
    if (file == index().rosterFileName())
        nameLine = line;
    else if (file == index().currentStatusFileName() && line > 0)
        nameLine = line - (line - 1) % 8;  // the first line of the eight-line record
    if (nameLine < 1)
        return {};
    for (const Reference& r : index().references())
        if (r.file == file && r.line == nameLine && r.kind == ReferenceKind::Object)
            return r.name;
    return {};
}

void ReferencesWindow::edRefNomKeyPress() {
    statusLine_->clear();
    showUsesOf(nameBox_->text());
}

QString ReferencesWindow::askNewName(const QString& from) {
    const bool position = index().isPosition(from);
    const bool object = index().isObject(from);
    const QString what = position && object ? QStringLiteral("o nome")
                         : position         ? QStringLiteral("a posição")
                                            : QStringLiteral("o objeto");
    const QString text =
        QStringLiteral("Renomear %1 \"%2\" em todos os arquivos da aventura. Novo nome:")
            .arg(what, from);
    // Owned here, parented to the main window: if that goes while the
    // question is open, the guard sees it and nothing is renamed.
    QPointer<RenameQuestion> question = new RenameQuestion(window(), text, from);
    const int result = question->exec();
    if (!question)
        return {};
    const QString to = question->newName();
    delete question.data();
    return result == QDialog::Accepted ? to : QString();
}

void ReferencesWindow::btRefRenClick() {
    statusLine_->clear();
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    const QString from = nameBox_->text();
    if (from.isEmpty()) {
        statusLine_->setText(QStringLiteral("Escreva em \"Usos de:\" o nome a renomear."));
        return;
    }
    document_.refreshReferencesNow();
    if (!index().isPosition(from) && !index().isObject(from)) {
        statusLine_->setText(QStringLiteral("\"%1\" não é posição nem objeto desta aventura.").arg(from));
        return;
    }
    const QString to = askNewName(from);
    if (to.isNull())
        return;
    // A refused name is the author's to mend here; a file that cannot be
    // written is an error of its own and goes to the error report.
    const RenamePlan plan = document_.planRename(from, to);
    if (!plan.canBeDone()) {
        statusLine_->setText(plan.refusal);
        statusLine_->setToolTip(plan.refusal);
        return;
    }
    document_.renameEverywhere(from, to);
    showUsesOf(to);
    statusLine_->setText(QStringLiteral("Renomeado: ") + from + QStringLiteral(" -> ") + to + QStringLiteral("."));
    statusLine_->setToolTip(QString());
    // Ctrl+Z right away takes the rename back, not the name box's typing.
    useList_->setFocus(Qt::OtherFocusReason);
}

void ReferencesWindow::LstPrbDblClick(QListWidgetItem* item) {
    if (item && openPlace_)
        openPlace_(item->data(kFileRole).toString(), item->data(kLineRole).toInt(), item->data(kCellRole).toInt());
}

void ReferencesWindow::LstUsoDblClick(QListWidgetItem* item) {
    if (item && openPlace_)
        openPlace_(item->data(kFileRole).toString(), item->data(kLineRole).toInt(), item->data(kCellRole).toInt());
}

bool ReferencesWindow::JanRefKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    // A hidden window never acts on a key.
    if (isHidden() || nameBox_->hasFocus())
        return false;
    const UndoKey undoKey = undoKeyOf(key, modifiers);
    if (undoKey != UndoKey::None && document_.transferRunning() &&
        document_.nextMapStepRewritesFiles(undoKey == UndoKey::Undo)) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return true;
    }
    EditHistory& history = document_.mapHistory();
    bool taken = false;
    switch (undoKey) {
    case UndoKey::Undo:
        taken = history.undoStep();
        break;
    case UndoKey::Redo:
        taken = history.redoStep();
        break;
    case UndoKey::None:
        return false;
    }
    if (taken) {
        statusLine_->clear();
        // The lists show the files as the step left them, not a moment later.
        document_.refreshReferencesNow();
        refresh();
    }
    return true;
}

void ReferencesWindow::keyPressEvent(QKeyEvent* event) {
    if (!handleKeyDown(event, [this](int key, Qt::KeyboardModifiers m) { return JanRefKeyDown(key, m); }))
        ToolWindow::keyPressEvent(event);
}

}  // namespace orv
