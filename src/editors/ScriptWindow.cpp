#include "ScriptWindow.h"
#include "core/ErrorReport.h"
#include "core/OrvalisError.h"

#include "ScriptHighlighter.h"
#include "ScriptLine.h"
#include "ScriptText.h"
#include "widgets/ButtonArt.h"
#include "widgets/Controls.h"
#include "core/ListFile.h"
#include "widgets/PictureBox.h"
#include "widgets/Question.h"
#include "widgets/UndoKeys.h"
#include "core/Adventure.h"
#include "document/AdventureDocument.h"
#include "map/MapModel.h"
#include "widgets/DragState.h"
#include "net/Connection.h"
#include "platform/GamePlayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace orv {

namespace {
const QColor kMaroon(128, 0, 0);

enum Answer { kSave, kDiscard, kCancel };

// Keys that put a character into the editor, as the author sees it: Enter and
// Backspace count, Delete, arrows and function keys do not.
bool producesCharacter(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Delete:
        return false;
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
        return true;
    default:
        return !key.text().isEmpty();
    }
}
}  // namespace

ScriptWindow::ScriptWindow(QWidget* parent, AdventureDocument& document, Connection& connection, DragState& drag)
    : ToolWindow(parent,
                 {QStringLiteral("JanScp"), QStringLiteral("Script:"), QStringLiteral("brScp"), 159,
                  QStringLiteral("btJanScp"), QRect(490, 90, 800, 570)},
                 drag),
      document_(document), adventure_(document.adventure()), connection_(connection),
      player_(makeDesktopGamePlayer()) {
    title()->setObjectName(QStringLiteral("Label2"));
    scriptNameLabel_ = makeLabel(this, QStringLiteral("lbNoScp"), QString(), {title()->x() + title()->width() + 6, 5},
                                 LabelStyle{19, true, true, Qt::black});
    scriptNameLabel_->resize(500, title()->height());

    scriptList_ = new QListWidget(this);
    scriptList_->setObjectName(QStringLiteral("NoScp"));
    scriptList_->setGeometry(5, 30, 266, 481);
    QFont listFont(QStringLiteral("Arial"));
    listFont.setPixelSize(13);
    scriptList_->setFont(listFont);
    connect(scriptList_, &QListWidget::itemClicked, this, reported([this] { NoScpClick(); }));

    scriptText_ = new QPlainTextEdit(this);
    scriptText_->setObjectName(QStringLiteral("Fonte"));
    scriptText_->setGeometry(278, 30, 516, 481);
    QFont editorFont(QStringLiteral("Courier New"));
    editorFont.setPixelSize(16);
    editorFont.setStyleHint(QFont::TypeWriter);
    scriptText_->setFont(editorFont);
    scriptText_->setLineWrapMode(QPlainTextEdit::NoWrap);
    scriptText_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scriptText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette editorPalette = scriptText_->palette();
    editorPalette.setColor(QPalette::Base, Qt::white);
    editorPalette.setColor(QPalette::Text, Qt::black);
    scriptText_->setPalette(editorPalette);
    scriptText_->installEventFilter(this);
    scriptText_->viewport()->installEventFilter(this);

    // Without an open adventure there is nothing to check names against.
    highlighter_ = new ScriptHighlighter(scriptText_->document());
    highlighter_->setIsPosition(
        [this](const QString& name) { return !adventure_.isOpen() || positionNames_.contains(name); });
    highlighter_->setIsPicture(
        [this](const QString& name) { return !adventure_.isOpen() || QFileInfo(adventure_.path(name)).isFile(); });

    // "Gravar" keeps the unsaved-edit cue in its caption, so its release
    // paints the cue's colour rather than plain black.
    saveButton_ = new PictureBox(this, QStringLiteral("bnGrvScp"), QRect(5, 538, 60, 24));
    saveButton_->setHint(QStringLiteral("Gravar"));
    saveButton_->onPress = [this](QMouseEvent*) { DrawSmallButtonDown(saveButton_, Qt::white); };
    saveButton_->onRelease = [this](QMouseEvent*) { DrawSmallButtonUp(saveButton_, gravarColour_); };
    saveButton_->onClick = [this] { bnGrvScpClick(); };
    execButton_ = makeSmallButton(this, QStringLiteral("bnExeScp"), QStringLiteral("Exec"), {67, 538},
                                  [this] { bnExeScpClick(); });
    uploadButton_ = makeSmallButton(this, QStringLiteral("bnUplScp"), QStringLiteral("Upload"), {129, 538},
                                    [this] { bnUplScpClick(); });
    downloadButton_ = makeSmallButton(this, QStringLiteral("bnDwnScp"), QStringLiteral("Down"), {191, 538},
                                      [this] { bnDwnScpClick(); });
    uploadButton_->hide();
    downloadButton_->hide();
    for (PictureBox* b : {saveButton_, execButton_, uploadButton_, downloadButton_})
        DrawSmallButtonUp(b, Qt::black);

    statusLine_ = makeStatusLabel(this, QStringLiteral("Msg3"), {265, 541}, 520);

    // The find bar lies over the foot of the editor, above its scroll bar,
    // so that opening it moves nothing else in the window.
    findBar_ = new QWidget(this);
    findBar_->setObjectName(QStringLiteral("PanBusca"));
    findBar_->setAutoFillBackground(true);
    findBar_->setGeometry(scriptText_->x() + 2, scriptText_->geometry().bottom() - 19 - 26, 480, 26);
    auto* findLabel = new QLabel(QStringLiteral("Buscar:"), findBar_);
    findLabel->setObjectName(QStringLiteral("lbBusca"));
    findLabel->setGeometry(4, 4, 52, 18);
    findBox_ = new QLineEdit(findBar_);
    findBox_->setObjectName(QStringLiteral("edBusca"));
    findBox_->setGeometry(58, 2, 250, 22);
    findBox_->installEventFilter(this);
    findStatus_ = new QLabel(findBar_);
    findStatus_->setObjectName(QStringLiteral("lbBuscaMsg"));
    findStatus_->setGeometry(314, 4, 162, 18);
    QPalette missing = findStatus_->palette();
    missing.setColor(QPalette::WindowText, kMaroon);
    findStatus_->setPalette(missing);
    connect(findBox_, &QLineEdit::textEdited, findStatus_, &QLabel::clear);
    findBar_->hide();

    // The text stays in the editor when another adventure is opened, but it
    // is no longer that adventure's script: it saves back where it came from.
    connect(&adventure_, &Adventure::opened, this, [this] {
        loadedHere_ = false;
        scriptList_->clear();
        if (isVisible())
            fillList();
    });
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
    connect(scriptText_, &QPlainTextEdit::textChanged, this, [this] {
        if (!recolouring_)
            keepDraft();
    });
    connect(&document_, &AdventureDocument::draftsRecovered, this, [this] { showRecoveredDraft(); });
    connect(&document_, &AdventureDocument::fileChangedOutside, this,
            reported([this](const QString& path) { outsideChange(path); }));
    // Tile painting changes no name: the text is re-coloured only when the
    // names did change, or when the map or the adventure is another.
    connect(&document_, &AdventureDocument::cellsChanged, this, [this] { refreshKnownPositions(false); });
    connect(&document_, &AdventureDocument::mapReplaced, this, [this] { refreshKnownPositions(true); });
    connect(&document_, &AdventureDocument::opened, this, [this] { refreshKnownPositions(true); });
    connect(&document_, &AdventureDocument::renamed, this,
            reported([this](const QString&, const QString&, const QList<QPair<QString, QString>>& files) {
                followRename(files);
            }));
    refreshKnownPositions(true);
}

void ScriptWindow::followRename(const QList<QPair<QString, QString>>& files) {
    if (loadedFile_.isEmpty() || !loadedHere_)
        return;
    const QString name = QFileInfo(loadedFile_).fileName();
    for (const auto& [from, to] : files)
        if (from == name) {
            setLoadedFile(adventure_.path(to));
            scriptNameLabel_->setText(to);
            fillList();
            selectLoadedScript();
            break;
        }
    // The rename rewrote names in the script: shown as they are now, unless
    // the author has typed text of their own there.
    if (!hasUnsavedTyping() && QFileInfo::exists(loadedFile_))
        readLoadedScriptAgain();
    else
        keepDraft();
}

void ScriptWindow::refreshKnownPositions(bool always) {
    QSet<QString> names;
    const MapModel& map = document_.map();
    if (map.lines().size() >= 2 * MapModel::Cells)
        for (int cell = 0; cell < MapModel::Cells; ++cell)
            if (const QString name = map.name(cell); !name.isEmpty())
                names.insert(name);
    if (!always && names == positionNames_)
        return;
    positionNames_ = std::move(names);
    // Re-colouring announces a change of the document's contents, but the
    // text is the same: it is no typing and no new draft.
    const QScopedValueRollback<bool> recolouring(recolouring_, true);
    highlighter_->rehighlight();
}

void ScriptWindow::setLoadedFile(const QString& path) {
    if (!loadedFile_.isEmpty() && loadedFile_ != path)
        document_.disk().forget(loadedFile_);
    loadedFile_ = path;
    if (!path.isEmpty())
        document_.disk().know(path);
}

void ScriptWindow::readLoadedScriptAgain() {
    scriptText_->setPlainText(ScriptText::fromFile(readFileBytes(loadedFile_)));
    document_.disk().know(loadedFile_);
    setGravarColour(Qt::black);
}

void ScriptWindow::outsideChange(const QString& path) {
    if (loadedFile_.isEmpty() || path != DiskCopies::key(loadedFile_))
        return;
    // Nothing typed: the editor shows the file as it is now. Typed: the
    // author chooses.
    if (!hasUnsavedTyping() ||
        document_.askAboutOutsideChange(path) == AdventureDocument::OutsideChoice::UseDisk)
        readLoadedScriptAgain();
}

void ScriptWindow::keepDraft() {
    if (!hasUnsavedTyping()) {
        document_.setScriptDraft(std::nullopt);
        return;
    }
    document_.setScriptDraft(AdventureDocument::TextDraft{loadedFile_, scriptText_->document()->toRawText()});
}

void ScriptWindow::showRecoveredDraft() {
    const auto& draft = document_.scriptDraft();
    if (!draft)
        return;
    // The text as it was typed, with its cue: still to be saved.
    const QString text = draft->text;
    const QFileInfo file(draft->file);
    setLoadedFile(draft->file);
    loadedHere_ = !draft->file.isEmpty() && adventure_.path(file.fileName()) == draft->file;
    scriptNameLabel_->setText(draft->file.isEmpty() ? QString() : file.fileName());
    scriptText_->setPlainText(text);
    setGravarColour(kMaroon);
}

void ScriptWindow::showTransferButtons() {
    if (connection_.isReady()) {
        uploadButton_->show();
        downloadButton_->show();
    }
}

void ScriptWindow::fillList() {
    scriptList_->clear();
    // Without an adventure there is no folder to show (an empty path would
    // list the working directory). Pointing the list at the folder makes it
    // the working directory too, as for every file list of the program; the
    // player started by "Exec" finds its adventure's files there.
    if (!adventure_.isOpen())
        return;
    pointFileListAt(adventure_.folder());
    scriptList_->addItems(
        QDir(adventure_.folder()).entryList({QStringLiteral("*.scp")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
}

ScriptWindow::~ScriptWindow() = default;

void ScriptWindow::setGamePlayer(std::unique_ptr<GamePlayer> player) {
    player_ = std::move(player);
}

QString ScriptWindow::loadedScriptName() const {
    return scriptNameLabel_->text();
}

void ScriptWindow::opened() {
    fillList();
    // Reopening the window does not save the text, so the cue keeps its colour.
    DrawSmallButtonUp(saveButton_, gravarColour_);
    for (PictureBox* b : {execButton_, uploadButton_, downloadButton_})
        DrawSmallButtonUp(b, Qt::black);
    statusLine_->clear();
    showTransferButtons();
    // Pictures saved and positions named meanwhile lose their underline.
    refreshKnownPositions(true);
}

void ScriptWindow::openScript(const QString& fileName, int line) {
    const auto listed = [&]() -> QListWidgetItem* {
        for (int row = 0; row < scriptList_->count(); ++row)
            if (scriptList_->item(row)->text() == fileName)
                return scriptList_->item(row);
        return nullptr;
    };
    const bool there = adventure_.isOpen() && !fileName.isEmpty() && QFileInfo(adventure_.path(fileName)).isFile();
    QListWidgetItem* item = there ? listed() : nullptr;
    if (there && !item) {
        // Made after the list was read (the map compiler, a download).
        fillList();
        item = listed();
    }
    // Only the adventure's own scripts: a name with a folder in it is none.
    if (!item) {
        statusLine_->setText(QStringLiteral("Script não encontrado: ") + fileName);
        return;
    }
    scriptList_->setCurrentItem(item);
    if (!loadSelectedScript())
        return;
    if (line > 0) {
        QTextBlock block = scriptText_->document()->findBlockByNumber(line - 1);
        if (!block.isValid())
            block = scriptText_->document()->lastBlock();
        scriptText_->setTextCursor(QTextCursor(block));
    }
    scriptText_->ensureCursorVisible();
}

std::optional<QString> ScriptWindow::exitScriptAt(const QPoint& viewportPos) const {
    const QTextBlock block = scriptText_->cursorForPosition(viewportPos).block();
    const QString text = block.text();
    const ScriptLine parsed = ScriptLine::parse(text);
    if (!parsed.isExit() || parsed.valueStart < 0 || parsed.valueLength == 0)
        return std::nullopt;
    // On the value itself, not beside it nor below the last line.
    QTextCursor from(block);
    from.setPosition(block.position() + parsed.valueStart);
    QTextCursor to(block);
    to.setPosition(block.position() + parsed.valueStart + parsed.valueLength);
    const QRect start = scriptText_->cursorRect(from);
    const QRect end = scriptText_->cursorRect(to);
    if (viewportPos.x() < start.left() || viewportPos.x() > end.left() || viewportPos.y() < start.top() ||
        viewportPos.y() > start.bottom())
        return std::nullopt;
    return parsed.valueIn(text) + QStringLiteral(".scp");
}

void ScriptWindow::NoScpClick() {
    loadSelectedScript();
}

bool ScriptWindow::loadSelectedScript() {
    QListWidgetItem* item = scriptList_->currentItem();
    if (!item)
        return false;
    const QString name = item->text();
    // Read before touching the editor: a file that cannot be read leaves the
    // text as it was, and nothing is asked about a load that cannot happen.
    QByteArray bytes = readFileBytes(adventure_.path(name));
    QString saved;
    if (hasUnsavedTyping()) {
        const QString question =
            loadedFile_.isEmpty()
                ? QStringLiteral("O texto digitado no editor não foi gravado em nenhum script. "
                                 "Descartá-lo para abrir \"%1\"?")
                      .arg(name)
                : QStringLiteral("%1 tem alterações não gravadas. Gravar antes de abrir \"%2\"?")
                      .arg(loadedScriptDescription(), name);
        switch (askAboutTyping(question, !loadedFile_.isEmpty())) {
        case Typing::Keep:
            selectLoadedScript();
            return false;
        case Typing::Save:
            try {
                saved = saveScript();
            } catch (...) {
                selectLoadedScript();
                throw;
            }
            // The clicked script may be the one just written.
            bytes = readFileBytes(adventure_.path(name));
            break;
        case Typing::Discard:
            break;
        }
    }
    scriptText_->setPlainText(ScriptText::fromFile(bytes));
    scriptNameLabel_->setText(name);
    setLoadedFile(adventure_.path(name));
    loadedHere_ = true;
    scriptText_->repaint();
    setGravarColour(Qt::black);
    // Loading clears the status label; what the save had to say stays.
    statusLine_->setText(saved);
    return true;
}

void ScriptWindow::FonteKeyPress(const QKeyEvent& key) {
    if (producesCharacter(key))
        setGravarColour(kMaroon);
}

void ScriptWindow::bnGrvScpClick() {
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    const QString said = saveScript();
    if (!said.isEmpty())
        statusLine_->setText(said);
}

QString ScriptWindow::saveScript() {
    // A whole transfer is sending or replacing the adventure's files; the
    // step that wanted this save stops, its text kept.
    if (document_.transferRunning())
        throw OrvalisError(ItemTransfer::transferRunningText());
    // Nothing was loaded: there is no file to write, and the text stays.
    if (scriptNameLabel_->text().isEmpty())
        return QStringLiteral("Nenhum script carregado!");
    // The script goes back where it was read from, also after another
    // adventure was opened: written into the new folder under its old name it
    // could replace a different script of the same name.
    // toRawText keeps non-breaking spaces, which toPlainText would turn into spaces.
    // Another program changed the file since it was read: it is not written
    // over unless the author keeps this text.
    if (document_.disk().changedOutside(loadedFile_) &&
        (!hasUnsavedTyping() || document_.askAboutOutsideChange(loadedFile_) ==
                                     AdventureDocument::OutsideChoice::UseDisk)) {
        readLoadedScriptAgain();
        return QStringLiteral("Lido de novo do disco.");
    }
    writeFileSafely(loadedFile_, ScriptText::toFile(scriptText_->document()->toRawText()));
    // The cue clears only once the file is written.
    setGravarColour(Qt::black);
    if (!loadedHere_)
        return QStringLiteral("Gravado em %1!").arg(QFileInfo(loadedFile_).dir().dirName());
    return {};
}

void ScriptWindow::bnExeScpClick() {
    if (!adventure_.isOpen())
        return;
    const GamePlayer::WindowId window = player_->findWindow(adventure_.name());
    if (window) {
        ListFile::write(adventure_.folder() + QStringLiteral("scp.txt"),
                        {ScriptText::handOffName(scriptNameLabel_->text())});
        QCoreApplication::processEvents();
        player_->bringToFront(window);
    } else {
        player_->start(adventure_.folder() + adventure_.name() + QStringLiteral(".exe"),
                       QStringLiteral("atv"));
    }
}

void ScriptWindow::bnUplScpClick() {
    const QString name = scriptNameLabel_->text();
    ItemTransfer::Context c{&connection_, adventure_.name(), adventure_.folder(),
                            [this](const QString& text) { statusLine_->setText(text); }};
    if (!connection_.password().isEmpty() && connection_.isReady() && (name.isEmpty() || !loadedHere_)) {
        // No script, or one read from another adventure: sending it would put
        // an empty or foreign file under this adventure's name.
        statusLine_->setText(QStringLiteral("Nenhum script carregado!"));
        return;
    }
    ItemTransfer::uploadScript(c, name, [&] {
        writeFileSafely(adventure_.folder() + name, ScriptText::toFile(scriptText_->document()->toRawText()));
        setGravarColour(Qt::black);
    });
}

void ScriptWindow::bnDwnScpClick() {
    const QString name = scriptNameLabel_->text();
    if (name.isEmpty() && connection_.isReady()) {
        statusLine_->setText(QStringLiteral("Nenhum script carregado!"));
        return;
    }
    const QString folder = adventure_.folder();
    // The fetched script replaces the typed text. Only a download that will
    // be made asks; saving first is offered only where the fetched file does
    // not overwrite what was just saved.
    if (connection_.isReady() && hasUnsavedTyping()) {
        const bool sameFile = loadedFile_ == folder + name;
        const QString question =
            sameFile ? QStringLiteral("%1 tem alterações não gravadas, que o Down vai substituir pela cópia "
                                      "do servidor. Descartar as alterações?")
                           .arg(loadedScriptDescription())
                     : QStringLiteral("%1 tem alterações não gravadas. Gravar antes de trazer \"%2\" do servidor?")
                           .arg(loadedScriptDescription(), name);
        switch (askAboutTyping(question, !sameFile && !loadedFile_.isEmpty())) {
        case Typing::Keep:
            return;
        case Typing::Save:
            saveScript();
            break;
        case Typing::Discard:
            break;
        }
    }
    if (!ItemTransfer::downloadScript(
            {&connection_, adventure_.name(), folder, [this](const QString& text) { statusLine_->setText(text); },
             [this](const QString& file) { return Question::replaceChangedFile(this, file); }},
            name))
        return;
    scriptText_->setPlainText(ScriptText::fromFile(readFileBytes(folder + name)));
    setLoadedFile(folder + name);
    loadedHere_ = true;
    scriptText_->repaint();
    setGravarColour(Qt::black);
}

bool ScriptWindow::JanScpKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    // A hidden window never acts on a key.
    if (!isVisible())
        return false;
    modifiers &= Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;
    if (key == Qt::Key_S && modifiers == Qt::ControlModifier) {
        bnGrvScpClick();
        return true;
    }
    if (key == Qt::Key_F5 && modifiers == Qt::NoModifier) {
        bnExeScpClick();
        return true;
    }
    if (key == Qt::Key_F && modifiers == Qt::ControlModifier) {
        openFindBar();
        return true;
    }
    if (key == Qt::Key_F3 && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
        if (findBox_->text().isEmpty())
            openFindBar();
        else
            findNext(modifiers == Qt::ShiftModifier);
        return true;
    }
    if (key == Qt::Key_Escape && modifiers == Qt::NoModifier && findBar_->isVisible()) {
        closeFindBar();
        return true;
    }
    return false;
}

void ScriptWindow::openFindBar() {
    findStatus_->clear();
    // What is selected is most often what the author wants to find.
    const QString selected = scriptText_->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        findBox_->setText(selected);
    findBar_->show();
    findBar_->raise();
    findBox_->setFocus(Qt::ShortcutFocusReason);
    findBox_->selectAll();
}

void ScriptWindow::closeFindBar() {
    findBar_->hide();
    findStatus_->clear();
    scriptText_->setFocus(Qt::ShortcutFocusReason);
}

bool ScriptWindow::findNext(bool backwards) {
    const QString wanted = findBox_->text();
    findStatus_->clear();
    if (wanted.isEmpty())
        return false;
    const QTextDocument::FindFlags flags = backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextCursor found = scriptText_->document()->find(wanted, scriptText_->textCursor(), flags);
    if (found.isNull()) {
        // Round the end (or the start) of the text.
        QTextCursor from(scriptText_->document());
        if (backwards)
            from.movePosition(QTextCursor::End);
        found = scriptText_->document()->find(wanted, from, flags);
    }
    if (found.isNull()) {
        findStatus_->setText(QStringLiteral("não encontrado"));
        return false;
    }
    scriptText_->setTextCursor(found);
    scriptText_->ensureCursorVisible();
    return true;
}

void ScriptWindow::keyPressEvent(QKeyEvent* event) {
    if (!handleKeyDown(event, [this](int key, Qt::KeyboardModifiers m) { return JanScpKeyDown(key, m); }))
        ToolWindow::keyPressEvent(event);
}

bool ScriptWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == findBox_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers held = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier |
                                                               Qt::AltModifier | Qt::MetaModifier);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (held == Qt::NoModifier || held == Qt::ShiftModifier)) {
            reportErrors([&] { findNext(held == Qt::ShiftModifier); });
            return true;
        }
        if (handleKeyDown(key, [this](int k, Qt::KeyboardModifiers m) { return JanScpKeyDown(k, m); }))
            return true;
    }
    // The window's keys are not typing: nothing goes into the text and the
    // unsaved-edit cue stays as it is.
    if (watched == scriptText_ && event->type() == QEvent::KeyPress &&
        handleKeyDown(static_cast<QKeyEvent*>(event),
                      [this](int k, Qt::KeyboardModifiers m) { return JanScpKeyDown(k, m); }))
        return true;
    if (watched == scriptText_ && event->type() == QEvent::KeyPress)
        reportErrors([&] { FonteKeyPress(*static_cast<QKeyEvent*>(event)); });
    if (watched == scriptText_->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ControlModifier)) {
            // The press that follows an exit places no cursor in this text.
            if (const std::optional<QString> script = exitScriptAt(mouse->position().toPoint())) {
                reportErrors([&] { openScript(*script); });
                return true;
            }
        }
    }
    return ToolWindow::eventFilter(watched, event);
}

bool ScriptWindow::hasUnsavedTyping() const {
    return gravarColour_ != QColor(Qt::black);
}

QString ScriptWindow::loadedScriptDescription() const {
    const QFileInfo file(loadedFile_);
    // Named with its adventure once another one is open: that is where
    // "Gravar" writes it.
    if (!loadedHere_)
        return QStringLiteral("O script \"%1\" da aventura %2").arg(file.fileName(), file.dir().dirName());
    return QStringLiteral("O script \"%1\"").arg(file.fileName());
}

ScriptWindow::Typing ScriptWindow::askAboutTyping(const QString& text, bool canSave) {
    QList<Question::Choice> choices;
    if (canSave)
        choices << Question::Choice{kSave, QStringLiteral("btSalvarSim"), QStringLiteral("Gravar"), true, false};
    choices << Question::Choice{kDiscard, QStringLiteral("btSalvarNao"), QStringLiteral("Descartar"), false, false}
            << Question::Choice{kCancel, QStringLiteral("btSalvarCancela"), QStringLiteral("Cancelar"), !canSave,
                                true};
    switch (Question::ask(this, QStringLiteral("JanSalvar"), QStringLiteral("Alterações não gravadas"), text,
                          choices)) {
    case kSave:
        return Typing::Save;
    case kDiscard:
        return Typing::Discard;
    default:
        return Typing::Keep;
    }
}

void ScriptWindow::selectLoadedScript() {
    const QList<QListWidgetItem*> found =
        loadedHere_ ? scriptList_->findItems(scriptNameLabel_->text(), Qt::MatchExactly) : QList<QListWidgetItem*>{};
    if (found.isEmpty()) {
        scriptList_->clearSelection();
        scriptList_->setCurrentItem(nullptr);
        return;
    }
    scriptList_->setCurrentItem(found.first());
}

void ScriptWindow::setGravarColour(const QColor& colour) {
    gravarColour_ = colour;
    DrawSmallButtonUp(saveButton_, colour);
    keepDraft();
}

}  // namespace orv
