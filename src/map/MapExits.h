#pragma once
#include "MapCompiler.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace orv {

// What compiling the map would make of its exits, position by position,
// taken from the compiler's own door search. The exit lines do not depend
// on the script settings (mode, picture extension, write mode), only on the
// map list, so the map list is all this needs.
class MapExits {
public:
    using Direction = MapCompiler::Direction;

    // An exit line the position block would carry: "  norte= torre".
    struct Exit {
        Direction direction;
        int target;  // the cell the search ended on
        QString targetName;
    };

    // A door of the tile that leads nowhere: its search ended on an unnamed
    // cell (target >= 0) or ran off the grid (leftGrid, target -1).
    struct DeadDoor {
        Direction direction;
        int target;
        bool leftGrid;
    };

    // A position the compiler writes a script for: a cell with a name and a tile.
    struct Position {
        int cell;
        QString name;
        // Whether the name can stand as the script's file name; the compile
        // stops at the first position whose name cannot.
        bool usableName;
        QList<Exit> exits;         // north, east, south, west
        QList<DeadDoor> deadDoors;  // north, east, south, west
    };

    // Every named cell with a tile, in cell order.
    static QList<Position> list(const QStringList& mapLines);
    // One cell; a cell without a name or a tile gives a Position with no
    // doors listed (it is no position).
    static Position of(const QStringList& mapLines, int cell);
    // Whether the compiler would write a script for the cell.
    static bool isPosition(const QStringList& mapLines, int cell);
};

}  // namespace orv
