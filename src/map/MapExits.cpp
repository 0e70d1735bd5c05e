#include "MapExits.h"

#include "MapModel.h"

namespace orv {

namespace {
QString lineAt(const QStringList& lines, int index) {
    return index >= 0 && index < lines.size() ? lines.at(index) : QString();
}
}  // namespace

bool MapExits::isPosition(const QStringList& mapLines, int cell) {
    return cell >= 0 && cell < MapModel::Cells && !lineAt(mapLines, 2 * cell).isEmpty() &&
           !lineAt(mapLines, 2 * cell + 1).isEmpty();
}

MapExits::Position MapExits::of(const QStringList& mapLines, int cell) {
    Position position{cell, lineAt(mapLines, 2 * cell), false, {}, {}};
    if (!isPosition(mapLines, cell))
        return position;
    position.usableName = MapCompiler::isUsableFileName(position.name);
    for (const MapCompiler::Door& door : MapCompiler::doors(mapLines, cell)) {
        if (door.leadsSomewhere())
            position.exits.append({door.direction, door.target, door.targetName});
        else
            position.deadDoors.append({door.direction, door.target, door.target < 0});
    }
    return position;
}

QList<MapExits::Position> MapExits::list(const QStringList& mapLines) {
    QList<Position> positions;
    for (int cell = 0; cell < MapModel::Cells; ++cell)
        if (isPosition(mapLines, cell))
            positions.append(of(mapLines, cell));
    return positions;
}

}  // namespace orv
