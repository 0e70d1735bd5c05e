#pragma once
#include "core/Adventure.h"
#include "document/EditHistory.h"
#include "document/EditedPicture.h"
#include "document/MapEdits.h"
#include "document/PanelSettings.h"
#include "map/MapModel.h"

#include <QObject>
#include <QRect>

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

    Adventure& adventure() { return adventure_; }
    const Adventure& adventure() const { return adventure_; }
    const MapModel& map() const { return map_; }
    PanelSettings panel() const { return PanelSettings(adventure_.settingsList()); }

    // One history per editor, so that a key pressed in one window never
    // takes back what the author did in another.
    EditHistory& mapHistory() { return mapHistory_; }
    EditHistory& panelHistory() { return panelHistory_; }
    EditHistory& positionPictureHistory() { return positionPictureHistory_; }

    // The picture in the position image editor and the one in the panel editor.
    EditedPicture& positionPicture() { return positionPicture_; }
    EditedPicture& panelPicture() { return panelPicture_; }

    // A new, empty map (the start-up); throws when the background cannot be
    // read.
    void resetMap();
    // Opens the adventure: its name and folder, then its map when it has a
    // map file, then its files (Adventure::readFiles; the group password
    // read is announced by passwordRead). A missing map file leaves the map
    // as it was.
    void open(const QString& name);
    // The open adventure's map file, read anew.
    void loadMap();
    // After a download replaced one of the open adventure's files: the map,
    // the settings list or the current-status list in memory is read again
    // from it, so that the older copy never overwrites the newer file.
    void reload(const QString& fileName);
    // The map list to the open adventure's map file.
    void saveMap() const;
    // The end of the program: the map, the settings list and the
    // current-status list (these two when they hold lines), each tried even
    // when an earlier one failed; the error names every file not written.
    // Done once.
    void saveAtExit();

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

private:
    void newMap();

    Adventure adventure_;
    MapModel map_;
    EditHistory mapHistory_;
    EditHistory panelHistory_;
    EditHistory positionPictureHistory_;
    EditedPicture positionPicture_;
    EditedPicture panelPicture_;
    bool exitSaved_ = false;
};

}  // namespace orv
