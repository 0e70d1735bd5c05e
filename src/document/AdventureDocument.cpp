#include "document/AdventureDocument.h"

#include "core/ErrorReport.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "core/WriteObserver.h"
#include "document/PanelEdits.h"
#include "document/RenameEdit.h"

#include <QFileInfo>
#include <QPainter>
#include <utility>

namespace orv {

namespace {
// What is said to the author of a change that waits for a whole transfer
// (the editors' status lines say the same).
QString transferRunningText() {
    return QStringLiteral("Aguarde o fim da transferência.");
}
}  // namespace

AdventureDocument::AdventureDocument(const QString& workspaceFolder, QObject* parent)
    : QObject(parent), adventure_(workspaceFolder), map_(workspaceFolder + QStringLiteral("defmap.bmp")),
      positionPicture_(positionPictureHistory_), panelPicture_(panelHistory_) {
    connect(&adventure_, &Adventure::opened, this, [this] {
        // Edits of one adventure are never taken back in another.
        mapHistory_.clear();
        panelHistory_.clear();
        positionPictureHistory_.clear();
        emit opened();
    });
    connect(&adventure_, &Adventure::settingsChanged, this, &AdventureDocument::settingsChanged);
    connect(&adventure_, &Adventure::currentStatusChanged, this, &AdventureDocument::currentStatusChanged);

    // Every change of the work reaches the journal within a moment.
    journalTimer_.setSingleShot(true);
    journalTimer_.setInterval(250);
    connect(&journalTimer_, &QTimer::timeout, this, &AdventureDocument::writeJournal);
    connect(this, &AdventureDocument::cellsChanged, this, [this] {
        mapUnsaved_ = true;
        workChanged();
    });
    connect(this, &AdventureDocument::settingsChanged, this, [this] { workChanged(); });
    connect(this, &AdventureDocument::currentStatusChanged, this, [this] { workChanged(); });
    connect(&positionPicture_, &EditedPicture::changed, this, [this] {
        positionPictureUnsaved_ = true;
        workChanged();
    });
    connect(&positionPicture_, &EditedPicture::replaced, this, [this] {
        positionPictureUnsaved_ = false;
        workChanged(false);
    });
    connect(&disk_, &DiskCopies::changed, this, reported([this](const QString& path) { outsideChange(path); }));

    // The references follow the work and the files a moment after each
    // change, so that a burst of edits reads the folder once.
    referencesTimer_.setSingleShot(true);
    referencesTimer_.setInterval(200);
    connect(&referencesTimer_, &QTimer::timeout, this, &AdventureDocument::refreshReferencesNow);
    const auto later = [this] { referencesTimer_.start(); };
    for (auto signal : {&AdventureDocument::opened, &AdventureDocument::mapReplaced,
                        &AdventureDocument::settingsChanged, &AdventureDocument::currentStatusChanged})
        connect(this, signal, this, later);
    connect(this, &AdventureDocument::cellsChanged, this, later);
    connect(this, &AdventureDocument::fileChangedOutside, this, later);
    connect(&disk_, &DiskCopies::changed, this, later);
    // Files written by any part of the program (on any thread).
    setWriteObserver(this, [this](const QString&) {
        QMetaObject::invokeMethod(this, [this] { referencesTimer_.start(); }, Qt::QueuedConnection);
    });
    connect(&journal_, &RecoveryJournal::writeFailed, this, [this](const QString& text) {
        emit journalFailed(
            QStringLiteral("O diário de recuperação não pôde ser gravado; a edição continua, mas o trabalho não "
                           "gravado pode se perder numa queda do programa.\n") + text);
    });
}

AdventureDocument::~AdventureDocument() {
    setWriteObserver(this, nullptr);
}

ReferenceIndex::InMemory AdventureDocument::heldLists() const {
    return {map_.lines(), adventure_.currentStatusList(), adventure_.settingsList()};
}

void AdventureDocument::refreshReferencesNow() {
    referencesTimer_.stop();
    if (adventure_.isOpen())
        references_.refresh(adventure_.folder(), adventure_.name(), heldLists());
    else
        references_.clear();
    emit referencesChanged();
}

RenamePlan AdventureDocument::planRename(const QString& from, const QString& to) {
    refreshReferencesNow();
    return Rename::plan(references_, from, to);
}

bool AdventureDocument::nextMapStepRewritesFiles(bool undo) const {
    // As undoStep and redoStep skip the steps that let go of their content.
    const EditHistory& history = mapHistory_;
    int i = undo ? history.index() - 1 : history.index();
    while (i >= 0 && i < history.count() && history.command(i)->isObsolete())
        i += undo ? -1 : 1;
    if (i < 0 || i >= history.count())
        return false;
    return dynamic_cast<const RenameEdit*>(history.command(i)) != nullptr;
}

void AdventureDocument::renameEverywhere(const QString& from, const QString& to) {
    // A rename rewrites files a whole transfer may be sending or replacing.
    if (transferRunning_)
        throw OrvalisError(transferRunningText());
    mapHistory_.perform(std::make_unique<RenameEdit>(*this, from, to));
}

void AdventureDocument::applyRename(RenamePlan& plan) {
    // The files a rename takes away go by the program's own doing.
    for (const auto& [from, to] : plan.renamedFiles)
        disk_.forget(adventure_.path(from));
    plan.transaction.commit();
    if (plan.mapChanges) {
        QList<int> rows;
        for (int line = 0; line < MapModel::LineCount && line < plan.mapLines.size(); line += 2) {
            if (map_.lines().at(line) == plan.mapLines.at(line))
                continue;
            map_.setName(line / 2, plan.mapLines.at(line));
            const int row = MapModel::row(line / 2);
            if (!rows.contains(row))
                rows.append(row);
        }
        for (int row : rows) {
            map_.redrawRow(row);
            emit cellsChanged(QRect(0, row * MapModel::CellHeight, map_.image().width(), MapModel::CellHeight));
        }
        // The map file was written with the rest, from these lines.
        mapUnsaved_ = false;
    }
    if (plan.currentStatusChanges)
        adventure_.changeCurrentStatus([&](QStringList& list) { list = plan.currentStatus; });
    if (plan.settingsChange)
        adventure_.changeSettings([&](QStringList& list) { list = plan.settings; });
    workChanged(false);
    refreshReferencesNow();
    emit renamed(plan.from, plan.to, plan.renamedFiles);
}

void AdventureDocument::knowOwnFiles() {
    for (const char* ext : {".map", ".ini", ".obx"})
        disk_.know(adventure_.file(ext));
}

AdventureDocument::OutsideChoice AdventureDocument::askAboutOutsideChange(const QString& path) {
    // Without anyone to ask, the work in memory stays.
    const OutsideChoice choice = askOutside_ ? askOutside_(QFileInfo(path).fileName()) : OutsideChoice::KeepMine;
    if (choice == OutsideChoice::KeepMine)
        disk_.know(path);  // chosen: the next save may write over it
    return choice;
}

void AdventureDocument::outsideChange(const QString& path) {
    if (!adventure_.isOpen())
        return;
    if (path == DiskCopies::key(adventure_.file(".map"))) {
        if (!mapUnsaved_ || askAboutOutsideChange(path) == OutsideChoice::UseDisk)
            loadMap();
    } else if (path == DiskCopies::key(adventure_.file(".ini"))) {
        if (!adventure_.settingsUnsaved() || askAboutOutsideChange(path) == OutsideChoice::UseDisk)
            reload(adventure_.name() + QStringLiteral(".ini"));
    } else if (path == DiskCopies::key(adventure_.file(".obx"))) {
        reload(adventure_.name() + QStringLiteral(".obx"));
    } else {
        emit fileChangedOutside(path);
    }
}

bool AdventureDocument::mayWriteOver(const QString& path, bool unsaved, const std::function<void()>& readAgain) {
    // For file systems that tell of no change: each save looks itself.
    if (!disk_.changedOutside(path))
        return true;
    if (unsaved && askAboutOutsideChange(path) == OutsideChoice::KeepMine)
        return true;
    readAgain();
    return false;
}

void AdventureDocument::workChanged(bool edited) {
    if (!adventure_.isOpen() || !journaling_)
        return;
    if (edited)
        lastEdit_ = QDateTime::currentDateTimeUtc();
    if (!journalTimer_.isActive())
        journalTimer_.start();
}

void AdventureDocument::setTransferRunning(bool running) {
    if (std::exchange(transferRunning_, running) != running)
        emit transferRunningChanged(running);
}

bool AdventureDocument::hasUnsavedWork() const {
    return adventure_.isOpen() && (mapUnsaved_ || adventure_.settingsUnsaved() || scriptDraft_ || registersDraft_ ||
                                   positionPictureUnsaved_);
}

JournalState AdventureDocument::journalState() const {
    JournalState state;
    state.workspaceFolder = adventure_.workspaceFolder();
    state.adventure = adventure_.name();
    state.time = lastEdit_.isValid() ? lastEdit_ : QDateTime::currentDateTimeUtc();
    state.mapLines = map_.lines();
    state.mapImage = map_.image();
    state.settings = adventure_.settingsList();
    state.currentStatus = adventure_.currentStatusList();
    state.script = scriptDraft_;
    state.registers = registersDraft_;
    if (positionPictureUnsaved_ && !positionPicture_.image().isNull())
        state.positionPicture = JournalState::Picture{positionPictureName_, positionPicture_.image()};
    return state;
}

void AdventureDocument::writeJournal() {
    journalTimer_.stop();
    if (!adventure_.isOpen())
        return;
    if (hasUnsavedWork()) {
        journal_.keep(journalState());
        journaled_ = true;
    } else if (journaled_) {
        // Everything is in the files: nothing to recover.
        journal_.remove(adventure_.workspaceFolder(), adventure_.name());
        journaled_ = false;
    }
}

void AdventureDocument::keepJournalNow() {
    writeJournal();
    journal_.waitForWrites();
}

void AdventureDocument::setScriptDraft(std::optional<TextDraft> draft) {
    if (draft == scriptDraft_)
        return;
    scriptDraft_ = std::move(draft);
    workChanged();
}

void AdventureDocument::setRegistersDraft(std::optional<TextDraft> draft) {
    if (draft == registersDraft_)
        return;
    registersDraft_ = std::move(draft);
    workChanged();
}

void AdventureDocument::positionPictureSaved() {
    positionPictureUnsaved_ = false;
    workChanged(false);
}

void AdventureDocument::newMap() {
    mapHistory_.clear();
    emit mapReplaced();
}

void AdventureDocument::resetMap() {
    // The lines are emptied even when the background then fails to read.
    try {
        map_.reset();
    } catch (...) {
        newMap();
        throw;
    }
    newMap();
}

QStringList AdventureDocument::saveOpenAdventure() {
    QStringList failures;
    const auto attempt = [&failures](const std::function<void()>& save) {
        try {
            save();
        } catch (const OrvalisError& error) {
            failures.append(error.text());
        }
    };
    attempt([this] { saveMap(); });
    attempt([this] {
        if (mayWriteOver(adventure_.file(".ini"), adventure_.settingsUnsaved(),
                         [this] { reload(adventure_.name() + QStringLiteral(".ini")); }))
            adventure_.saveSettingsAtExit();
    });
    attempt([this] {
        if (mayWriteOver(adventure_.file(".obx"), false, [this] { reload(adventure_.name() + QStringLiteral(".obx")); }))
            adventure_.saveCurrentStatusAtExit();
    });
    return failures;
}

void AdventureDocument::open(const QString& name) {
    // Opening writes the open adventure's files, which a whole transfer is
    // reading or writing; the author opens another once it has ended.
    if (transferRunning_)
        throw OrvalisError(transferRunningText());
    // The adventure open so far keeps its work: written to its files, and
    // its journal kept when any of them could not be written.
    QStringList failures;
    if (adventure_.isOpen()) {
        failures = saveOpenAdventure();
        if (failures.isEmpty()) {
            journalTimer_.stop();
            journal_.remove(adventure_.workspaceFolder(), adventure_.name());
        } else {
            keepJournalNow();
        }
    }
    mapUnsaved_ = false;
    positionPictureUnsaved_ = false;
    scriptDraft_.reset();
    registersDraft_.reset();
    journaled_ = false;
    disk_.forgetAll();
    adventure_.open(name);
    // An adventure without a map file starts on an empty map, never on the
    // cells of the one open before.
    if (fileExists(adventure_.file(".map"))) {
        loadMap();
    } else {
        // A background that cannot be read leaves the lines empty; the
        // opening goes on and the error is told at its end.
        try {
            resetMap();
        } catch (const OrvalisError& error) {
            failures.append(error.text());
        }
    }
    adventure_.readFiles([this](const QString& password) { emit passwordRead(password); });
    knowOwnFiles();
    if (!failures.isEmpty())
        throw OrvalisError(failures.join(QLatin1Char('\n')));
}

void AdventureDocument::recover(const JournalState& state) {
    open(state.adventure);
    // The map as it was drawn; a journal without the picture draws it anew.
    if (state.mapImage.isNull()) {
        map_.show(state.mapLines);
    } else {
        map_.replaceLines(state.mapLines);
        map_.image() = state.mapImage;
    }
    emit mapReplaced();
    mapUnsaved_ = true;
    adventure_.changeSettings([&](QStringList& lines) { lines = state.settings; });
    adventure_.changeCurrentStatus([&](QStringList& lines) { lines = state.currentStatus; });
    scriptDraft_ = state.script;
    registersDraft_ = state.registers;
    emit draftsRecovered();
    if (state.positionPicture) {
        positionPictureName_ = state.positionPicture->name;
        positionPicture_.replace(state.positionPicture->image);
        positionPictureUnsaved_ = true;
        emit positionPictureRecovered(positionPictureName_);
    }
    lastEdit_ = state.time;
    writeJournal();
}

void AdventureDocument::loadMap() {
    mapUnsaved_ = false;
    try {
        map_.load(adventure_.file(".map"));
        disk_.know(adventure_.file(".map"));
    } catch (...) {
        newMap();
        throw;
    }
    newMap();
}

void AdventureDocument::reload(const QString& fileName) {
    if (fileName == adventure_.name() + QStringLiteral(".map")) {
        loadMap();
        return;
    }
    if (fileName == adventure_.name() + QStringLiteral(".ini"))
        panelHistory_.releaseWhere([](const Edit& e) { return dynamic_cast<const PanelAreaEdit*>(&e) != nullptr; });
    adventure_.reload(fileName);
    disk_.know(adventure_.path(fileName));
}

bool AdventureDocument::saveMap() {
    // A map changed by another program is not written over unseen.
    if (!mayWriteOver(adventure_.file(".map"), mapUnsaved_, [this] { loadMap(); }))
        return false;
    map_.save(adventure_.file(".map"));
    mapUnsaved_ = false;
    workChanged(false);
    return true;
}

void AdventureDocument::saveAtExit() {
    if (exitSaved_ || !adventure_.isOpen())
        return;
    exitSaved_ = true;
    const QStringList failures = saveOpenAdventure();
    if (!failures.isEmpty()) {
        // What could not be written stays in the journal for the next start.
        keepJournalNow();
        throw OrvalisError(failures.join(QLatin1Char('\n')));
    }
    journalTimer_.stop();
    journal_.remove(adventure_.workspaceFolder(), adventure_.name());
}

void AdventureDocument::paintTile(int cell, int tile) {
    map_.drawTile(cell, tile);
    map_.setTile(cell, tile);
    emit cellsChanged(QRect(MapModel::column(cell) * MapModel::CellWidth, MapModel::row(cell) * MapModel::CellHeight,
                            MapModel::CellWidth, MapModel::CellHeight));
}

void AdventureDocument::nameCell(int cell, const QString& name, bool draw) {
    map_.setName(cell, name);
    if (draw)
        map_.drawName(cell);
    // A name may reach past its cell to the left and right, never above or below.
    emit cellsChanged(QRect(0, MapModel::row(cell) * MapModel::CellHeight, map_.image().width(), MapModel::CellHeight));
}

void AdventureDocument::clearMapInPlace() {
    try {
        map_.reset();
    } catch (...) {
        emit cellsChanged(map_.image().rect());
        throw;
    }
    emit cellsChanged(map_.image().rect());
}

void AdventureDocument::putBackMap(const MapEdit::Part& part, const MapEdit::State& state) {
    if (part.wholeMap) {
        map_.replaceLines(state.lines);
        map_.image() = state.pixels;
        emit cellsChanged(map_.image().rect());
        return;
    }
    for (int i = 0; i < part.lines.size(); ++i)
        map_.setLine(part.lines[i], state.lines[i]);
    if (!state.pixels.isNull()) {
        QPainter painter(&map_.image());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(part.area.topLeft(), state.pixels);
    }
    emit cellsChanged(part.area);
}

void AdventureDocument::putBackSettings(const QList<int>& lines, const QStringList& texts, PanelArea area) {
    adventure_.changeSettings([&](QStringList& list) {
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i] < list.size())
                list[lines[i]] = texts[i];
    });
    emit panelAreaChanged(area);
}

}  // namespace orv
