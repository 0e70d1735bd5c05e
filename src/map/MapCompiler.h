#pragma once
#include <QString>
#include <QStringList>

namespace orv {

struct ScriptSettings;

// Turns the map into position scripts: for every named cell with a tile, a
// short block naming the position's picture, its exits through doors and
// corridors, and a message, written to name + ".scp" in the adventure folder.
class MapCompiler {
public:
    enum class Direction { North, East, South, West };

    // One door of a cell's tile and where its exit search ends: target is
    // the cell reached, or -1 when the search left the grid; targetName is
    // that cell's name line (empty when unnamed or off the grid).
    struct Door {
        Direction direction;
        int target;
        QString targetName;
        // The position block carries an exit line for this door.
        bool leadsSomewhere() const { return target >= 0 && !targetName.isEmpty(); }
    };

    // The doors of the tile in `cell`, north, east, south, west, each with
    // the result of its exit search. The position block's exit lines are
    // exactly the doors that lead somewhere, in this order.
    static QList<Door> doors(const QStringList& mapLines, int cell);

    // "norte", "leste", "sul", "oeste": the keyword of an exit line.
    static QString directionName(Direction direction);

    // The block of one cell, as lines (no line breaks). Used by the compile
    // and by naming a single position on the map.
    static QStringList buildPositionBlock(const QStringList& mapLines, int cell,
                                          const QString& defaultScriptMode,
                                          const QString& imageExtension,
                                          const QString& adventureFolder);

    // The cell an exit search from `cell` ends on, or -1 when the search
    // leaves the grid. Does not look at whether `cell` has a door that way.
    static int exitTarget(const QStringList& mapLines, int cell, Direction direction);

    // What a compile did: scripts written, and scripts left as they were
    // because they already existed (write mode "2").
    struct CompileCount {
        int written = 0;
        int kept = 0;
    };

    // Writes the script of every named cell with a tile, in cell order,
    // following the script write mode: "1" replaces, "2" writes only missing
    // scripts, "3" puts the new block above the old text. Throws OrvalisError
    // naming the position at the first script that cannot be written; the
    // scripts written before it stay.
    static CompileCount compile(const QStringList& mapLines, const QString& defaultScriptMode,
                                const QString& imageExtension, const QString& scriptWriteMode,
                                const QString& adventureFolder);
    static CompileCount compile(const QStringList& mapLines, const ScriptSettings& settings,
                                const QString& adventureFolder);

    // Whether a position name can stand as a file name in the adventure
    // folder: no path separators, control characters, "." or "..".
    static bool isUsableFileName(const QString& name);
};

}  // namespace orv
