#pragma once
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <optional>

namespace orv {

class MapModel;

// The undo and redo history of the map's edits. A step keeps the map list
// lines it changed and the pixels of the map image area it drew on, as they
// were before and after, so undo and redo put back exactly what the author
// saw. Only the map in memory changes: files written by an edit stay as they are.
//
// Memory is bounded: past the step or byte limit the oldest steps go (the
// newest step is always kept). A map that was reset or loaded since the last
// step is another map, and the history is dropped then.
class MapHistory {
public:
    // What an undo or redo changed, for the window to redraw.
    struct Change {
        bool wholeMap = false;  // every line and the whole image (the image may change size)
        QRect area;             // otherwise: the image area
        QList<int> lines;       // and these map list lines
    };

    // The state of the touched lines and area before an edit; hand it back
    // to commit() once the edit is done.
    class Before {
    public:
        Before() = default;

    private:
        friend class MapHistory;
        struct State {
            QStringList lines;
            QImage pixels;
        };
        bool wholeMap = false;
        QList<int> lineNumbers;
        QRect area;
        State state;
        std::uint64_t generation = 0;
    };

    static constexpr int DefaultStepLimit = 200;
    static constexpr qsizetype DefaultByteLimit = qsizetype(64) * 1024 * 1024;

    explicit MapHistory(int stepLimit = DefaultStepLimit, qsizetype byteLimit = DefaultByteLimit);

    // Before an edit of some lines and one area of the map image (clipped to
    // the image), or of the whole map.
    static Before before(const MapModel& map, QList<int> lineNumbers, QRect area);
    static Before beforeWholeMap(const MapModel& map);
    // Before naming a position: its name line and the area the new name
    // will be drawn on.
    static Before beforeNaming(const MapModel& map, int cell, const QString& name);

    // Records the step from `before` to the map as it is now. A step that
    // changed nothing is not recorded. Whatever could be redone is dropped.
    void commit(const MapModel& map, Before before);

    // Painting a tile into a cell, done and recorded: the tile picture over
    // the cell and its tile line; the name line stays.
    void paint(MapModel& map, int cell, int tile);

    std::optional<Change> undo(MapModel& map);
    std::optional<Change> redo(MapModel& map);

    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    int undoCount() const { return int(undo_.size()); }
    int redoCount() const { return int(redo_.size()); }
    qsizetype bytes() const { return bytes_; }

    // A new history: another adventure or a freshly loaded map.
    void clear();

private:
    struct Step {
        bool wholeMap = false;
        QList<int> lineNumbers;
        QRect area;
        Before::State before;
        Before::State after;
        qsizetype bytes = 0;
    };

    static Before::State capture(const MapModel& map, bool wholeMap, const QList<int>& lineNumbers, QRect area);
    static void apply(MapModel& map, const Step& step, const Before::State& state);
    static Change changeOf(const Step& step);
    bool isCurrent(const MapModel& map) const;
    void trim();

    int stepLimit_;
    qsizetype byteLimit_;
    std::deque<Step> undo_;
    std::deque<Step> redo_;
    qsizetype bytes_ = 0;
    std::uint64_t generation_ = 0;  // of the map the steps belong to
};

}  // namespace orv
