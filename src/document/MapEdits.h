#pragma once
#include "document/EditHistory.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QStringList>

#include <memory>
#include <vector>

namespace orv {

class AdventureDocument;

// The map edits the author can take back: painting a tile into a cell,
// naming a position, clearing the map. Each keeps the map list lines it
// changed and the pixels of the map image area it drew on, before and
// after, so that undo and redo put back exactly what the author saw. Only
// the map in memory changes: files an edit wrote stay as they are.
class MapEdit : public Edit {
public:
    // The lines and image area an edit touches, or the whole map.
    struct Part {
        bool wholeMap = false;
        QList<int> lines;
        QRect area;
    };
    struct State {
        QStringList lines;
        QImage pixels;
    };

    bool changedNothing() const override;
    qsizetype bytes() const override { return bytes_; }
    const Part& part() const { return part_; }

protected:
    MapEdit(AdventureDocument& document, const QString& text);
    // Records the state of `part`, runs `change` and records the state after
    // it, also when it throws.
    void record(Part part, const std::function<void()>& change);

    AdventureDocument& document_;

    // Put back the map as it was after and before the edit.
    void again() override;
    void back() override;
    void forget() override;

private:
    State capture() const;

    Part part_;
    State before_;
    State after_;
    qsizetype bytes_ = 0;
};

// The tile picture over the cell and its tile line; the name line stays.
class PaintTile : public MapEdit {
public:
    PaintTile(AdventureDocument& document, int cell, int tile);
    void perform() override;

private:
    int cell_;
    int tile_;
};

// A drag of the painting pointer over several cells: one step however many
// cells it painted. Each cell is painted (and shown) as the pointer enters it.
class PaintRun : public Edit {
public:
    PaintRun(AdventureDocument& document, int tile);
    // Paints `cell` as part of the run; a cell the run already painted is
    // passed over.
    void add(int cell);
    bool contains(int cell) const;
    void perform() override {}
    bool changedNothing() const override;
    qsizetype bytes() const override;

protected:
    void again() override;
    void back() override;
    void forget() override;

private:
    AdventureDocument& document_;
    int tile_;
    QList<int> cells_;
    std::vector<std::unique_ptr<PaintTile>> steps_;
};

// The cell emptied as a reset map has it: both its lines empty and its row
// drawn again on the background (a long name may have reached into the
// neighbouring cells).
class EmptyCell : public MapEdit {
public:
    EmptyCell(AdventureDocument& document, int cell);
    void perform() override;

private:
    int cell_;
};

// Stores the name in the cell's name line and, unless `draw` is false (its
// script could not be written), draws it in the cell.
class NamePosition : public MapEdit {
public:
    NamePosition(AdventureDocument& document, int cell, QString name, bool draw = true);
    void perform() override;

private:
    int cell_;
    QString name_;
    bool draw_;
};

// "Limpar mapa": every line emptied and the background drawn again. A
// background that cannot be read throws after the lines were emptied.
class ClearMap : public MapEdit {
public:
    explicit ClearMap(AdventureDocument& document);
    void perform() override;
};

}  // namespace orv
