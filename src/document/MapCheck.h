#pragma once
#include "map/MapCompiler.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace orv {

// What is wrong with a map, read from the same exit list the compiler and the
// map's exit overlay use. For every named cell, in cell order:
//   a name with no tile (the compiler skips the cell),
//   each door of its tile whose search finds no named cell,
//   a name an earlier cell with a tile already has (its script replaces the
//   earlier one's),
//   a name that cannot be a file name (the compile stops there).
namespace MapCheck {

enum class Kind { NameWithoutTile, DoorWithoutTarget, RepeatedName, UnusableName };

struct Problem {
    int cell;
    QString name;
    Kind kind;
    std::optional<MapCompiler::Direction> direction;  // doors only
    int earlierCell = -1;                              // repeated names only
};

QList<Problem> problems(const QStringList& mapLines);

// "nome-sem-tile", "porta-sem-destino", "nome-repetido", "nome-invalido".
QString kindKey(Kind kind);

// One line for a person: the name, its row and column (from 1) and what is
// wrong, with the door's direction in words. Control characters in the name
// are shown as "?", so a name cannot drive the terminal.
QString describe(const Problem& problem);

// A JSON array of {"celula", "posicao", "problema", "direcao"} objects, in
// UTF-8, ending with a line break.
QByteArray toJson(const QList<Problem>& problems);

}  // namespace MapCheck
}  // namespace orv
