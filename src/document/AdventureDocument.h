#pragma once
#include "core/Adventure.h"
#include "document/DiskCopies.h"
#include "document/EditHistory.h"
#include "document/EditedPicture.h"
#include "document/MapEdits.h"
#include "document/PanelSettings.h"
#include "document/RecoveryJournal.h"
#include "document/ReferenceIndex.h"
#include "document/Rename.h"
#include "map/MapModel.h"

#include <QObject>
#include <QRect>
#include <QTimer>

namespace orv {

// The open adventure as the author works on it: the adventure with its
// settings and current-status lists, the map, the pictures being drawn and
// the history of each editor's edits. Opening, loading the map, reading
// files again after a download and the saves at the end of the program
// happen here; every window that shows this work is handed the document and
// follows what it announces.
class AdventureDocument : public QObject {
    Q_OBJECT
public:
    // workspaceFolder ends with a separator; the map background is its
    // "defmap.bmp".
    explicit AdventureDocument(const QString& workspaceFolder, QObject* parent = nullptr);
    ~AdventureDocument() override;

    Adventure& adventure() { return adventure_; }
    const Adventure& adventure() const { return adventure_; }
    const MapModel& map() const { return map_; }
    PanelSettings panel() const { return PanelSettings(adventure_.settingsList()); }

    // One history per editor, so that a key pressed in one window never
    // takes back what the author did in another.
    EditHistory& mapHistory() { return mapHistory_; }
    // Whether the map step that Ctrl+Z (undo) or Ctrl+Y would take next
    // rewrites the adventure's files (a rename), which waits while a whole
    // transfer runs.
    bool nextMapStepRewritesFiles(bool undo) const;
    EditHistory& panelHistory() { return panelHistory_; }
    EditHistory& positionPictureHistory() { return positionPictureHistory_; }

    // The picture in the position image editor and the one in the panel editor.
    EditedPicture& positionPicture() { return positionPicture_; }
    EditedPicture& panelPicture() { return panelPicture_; }

    // A new, empty map (the start-up); throws when the background cannot be
    // read.
    void resetMap();
    // Opens the adventure. The one open before is saved first, as the exit
    // saves would save it (the error naming every file that could not be
    // written comes once the new one is open; its journal is kept then).
    // Then the name and folder, the map (an empty one when there is no map
    // file), then the adventure's files (Adventure::readFiles; the group
    // password read is announced by passwordRead).
    void open(const QString& name);
    // The open adventure's map file, read anew.
    void loadMap();
    // After a download replaced one of the open adventure's files: the map,
    // the settings list or the current-status list in memory is read again
    // from it, so that the older copy never overwrites the newer file.
    void reload(const QString& fileName);
    // The map list to the open adventure's map file. False when the file had
    // been changed by another program and the author took that version,
    // which is read in instead.
    bool saveMap();
    // The end of the program: the map, the settings list and the
    // current-status list (these two when they hold lines), each tried even
    // when an earlier one failed; the error names every file not written.
    // Done once; the journal goes when all were written.
    void saveAtExit();

    // The work in progress the windows hold: the script editor's and the
    // registers editor's unsaved text (none once saved or read again).
    using TextDraft = JournalState::Text;
    void setScriptDraft(std::optional<TextDraft> draft);
    void setRegistersDraft(std::optional<TextDraft> draft);
    const std::optional<TextDraft>& scriptDraft() const { return scriptDraft_; }
    const std::optional<TextDraft>& registersDraft() const { return registersDraft_; }
    // The position picture shown holds strokes not yet saved.
    void setPositionPictureName(const QString& name) { positionPictureName_ = name; }
    const QString& positionPictureName() const { return positionPictureName_; }
    void positionPictureSaved();

    // The map holds edits not yet written to its file.
    bool mapUnsaved() const { return mapUnsaved_; }
    // Anything the author would lose if the program stopped now.
    bool hasUnsavedWork() const;

    // A whole transfer of the adventure is running: its files are being sent
    // or replaced, so the windows write none of them meanwhile. Set by the
    // connection window; announced by transferRunningChanged.
    bool transferRunning() const { return transferRunning_; }
    void setTransferRunning(bool running);

    // The journal of the work in progress: kept up to date within a moment
    // of each edit while there is unsaved work, gone when there is none.
    RecoveryJournal& journal() { return journal_; }
    // Writes the journal now and waits for it (tests, and before another
    // adventure is opened).
    void keepJournalNow();
    // Measurements compare editing with and without the journal.
    void setJournaling(bool on) { journaling_ = on; }
    // The state the journal keeps, as of now.
    JournalState journalState() const;
    // Opens the journal's adventure and puts back its work in progress;
    // nothing is written to the adventure's files.
    void recover(const JournalState& state);

    // Files changed by another program. The document's own (the map, the
    // settings and current-status lists) are read again when nothing of
    // them is unsaved; otherwise, and before any save over such a file, the
    // author chooses. Windows keep their own files known here too.
    enum class OutsideChoice { KeepMine, UseDisk };
    using OutsideQuestion = std::function<OutsideChoice(const QString& fileName)>;
    void setOutsideQuestion(OutsideQuestion ask) { askOutside_ = std::move(ask); }
    OutsideChoice askAboutOutsideChange(const QString& path);
    DiskCopies& disk() { return disk_; }

    // The web of names of the open adventure, as of the last refresh: it is
    // refreshed a moment after each change of the work and each file written
    // or changed outside, and announced by referencesChanged.
    const ReferenceIndex& references() const { return references_; }
    void refreshReferencesNow();
    // Renaming a position or an object everywhere (files, references, the
    // map and the lists in memory), one step of the map's history. The plan
    // says what it would do, or why it cannot; renameEverywhere throws that
    // reason. The map is written with the rest, unsaved edits included.
    RenamePlan planRename(const QString& from, const QString& to);
    void renameEverywhere(const QString& from, const QString& to);
    // Puts the files and lists as `plan` makes them (the rename's edit).
    void applyRename(RenamePlan& plan);

    // Map changes, for the map edits; each announces what it changed.
    void paintTile(int cell, int tile);
    void nameCell(int cell, const QString& name, bool draw);
    void clearMapInPlace();
    void putBackMap(const MapEdit::Part& part, const MapEdit::State& state);
    // Settings lines put back by an undo or redo of a panel area's edit.
    void putBackSettings(const QList<int>& lines, const QStringList& texts, PanelArea area);

signals:
    void opened();
    // Another map: reset, loaded, downloaded. Its history starts afresh.
    void mapReplaced();
    // Some cells changed; `area` is the part of the map image drawn anew
    // (the whole image after an undone clear, which may change its size).
    void cellsChanged(QRect area);
    void settingsChanged();
    void currentStatusChanged();
    // An undo or redo changed this area's lines.
    void panelAreaChanged(orv::PanelArea area);
    // The group password read when an adventure is opened (first empty).
    void passwordRead(const QString& password);
    // A recovered journal put back these drafts and this picture.
    void draftsRecovered();
    void positionPictureRecovered(const QString& name);
    // The journal could not be written; said once until it works again.
    void journalFailed(const QString& text);
    // A file a window holds was changed by another program.
    void fileChangedOutside(const QString& path);
    void referencesChanged();
    // A position or object was renamed everywhere (or a rename taken back):
    // each file given as (old name, new name).
    void renamed(const QString& from, const QString& to, const QList<QPair<QString, QString>>& files);
    void transferRunningChanged(bool running);

private:
    void newMap();
    // The work changed (by an edit of the author's, or by a save or a read);
    // the journal follows within a moment.
    void workChanged(bool edited = true);
    void writeJournal();
    QStringList saveOpenAdventure();
    void outsideChange(const QString& path);
    // Before a save over `path`: false when the file changed outside and the
    // author took the disk's version (read in instead of written over).
    bool mayWriteOver(const QString& path, bool unsaved, const std::function<void()>& readAgain);
    void knowOwnFiles();
    ReferenceIndex::InMemory heldLists() const;

    Adventure adventure_;
    MapModel map_;
    EditHistory mapHistory_;
    EditHistory panelHistory_;
    EditHistory positionPictureHistory_;
    EditedPicture positionPicture_;
    EditedPicture panelPicture_;
    bool exitSaved_ = false;
    bool transferRunning_ = false;
    bool mapUnsaved_ = false;
    bool positionPictureUnsaved_ = false;
    QString positionPictureName_;
    std::optional<TextDraft> scriptDraft_;
    std::optional<TextDraft> registersDraft_;
    QDateTime lastEdit_;
    bool journaled_ = false;  // a journal of the open adventure may exist
    bool journaling_ = true;
    RecoveryJournal journal_;
    QTimer journalTimer_;
    DiskCopies disk_;
    OutsideQuestion askOutside_;
    ReferenceIndex references_;
    QTimer referencesTimer_;
};

}  // namespace orv
