#include "MapCheck.h"

#include "document/PlainText.h"
#include "map/MapExits.h"
#include "map/MapModel.h"

#include <QHash>

namespace orv::MapCheck {

namespace {

QString lineAt(const QStringList& lines, int index) {
    return index >= 0 && index < lines.size() ? lines.at(index) : QString();
}

QString shown(const QString& name) {
    return shownText(name);
}

QString where(int cell) {
    return QStringLiteral("linha %1, coluna %2").arg(MapModel::row(cell) + 1).arg(MapModel::column(cell) + 1);
}

QString doorWords(MapCompiler::Direction direction) {
    switch (direction) {
    case MapCompiler::Direction::North: return QStringLiteral("ao norte");
    case MapCompiler::Direction::East: return QStringLiteral("a leste");
    case MapCompiler::Direction::South: return QStringLiteral("ao sul");
    case MapCompiler::Direction::West: return QStringLiteral("a oeste");
    }
    return {};
}

}  // namespace

QList<Problem> problems(const QStringList& mapLines) {
    QList<Problem> found;
    QHash<QString, int> firstCell;
    for (int cell = 0; cell < MapModel::Cells; ++cell) {
        const QString name = lineAt(mapLines, 2 * cell);
        if (name.isEmpty())
            continue;
        const bool compiled = !lineAt(mapLines, 2 * cell + 1).isEmpty();
        if (!compiled) {
            found.append({cell, name, Kind::NameWithoutTile, std::nullopt});
        } else {
            for (const MapExits::DeadDoor& door : MapExits::of(mapLines, cell).deadDoors)
                found.append({cell, name, Kind::DoorWithoutTarget, door.direction});
            // Only the cells the compiler writes a script for can replace
            // each other's script.
            const auto earlier = firstCell.constFind(name);
            if (earlier != firstCell.constEnd())
                found.append({cell, name, Kind::RepeatedName, std::nullopt, *earlier});
            else
                firstCell.insert(name, cell);
        }
        if (!MapCompiler::isUsableFileName(name))
            found.append({cell, name, Kind::UnusableName, std::nullopt});
    }
    return found;
}

QString kindKey(Kind kind) {
    switch (kind) {
    case Kind::NameWithoutTile: return QStringLiteral("nome-sem-tile");
    case Kind::DoorWithoutTarget: return QStringLiteral("porta-sem-destino");
    case Kind::RepeatedName: return QStringLiteral("nome-repetido");
    case Kind::UnusableName: return QStringLiteral("nome-invalido");
    }
    return {};
}

QString describe(const Problem& problem) {
    QString what;
    switch (problem.kind) {
    case Kind::NameWithoutTile:
        what = QStringLiteral("nome sem tile (a posição não ganha script)");
        break;
    case Kind::DoorWithoutTarget:
        what = QStringLiteral("porta %1 sem destino").arg(doorWords(*problem.direction));
        break;
    case Kind::RepeatedName:
        what = QStringLiteral("nome repetido (já usado na %1; o script de lá é substituído)")
                   .arg(where(problem.earlierCell));
        break;
    case Kind::UnusableName:
        what = QStringLiteral("nome que não pode ser nome de arquivo");
        break;
    }
    return QStringLiteral("%1 (%2): %3").arg(shown(problem.name), where(problem.cell), what);
}

QByteArray toJson(const QList<Problem>& problems) {
    QByteArray out = "[";
    bool first = true;
    for (const Problem& p : problems) {
        out += first ? "\n  " : ",\n  ";
        first = false;
        out += "{\"celula\": " + QByteArray::number(p.cell) + ", \"posicao\": ";
        appendJsonString(out, p.name);
        out += ", \"problema\": \"" + kindKey(p.kind).toLatin1() + "\", \"direcao\": ";
        if (p.direction)
            out += '"' + MapCompiler::directionName(*p.direction).toLatin1() + '"';
        else
            out += "null";
        out += '}';
    }
    out += first ? "]\n" : "\n]\n";
    return out;
}

}  // namespace orv::MapCheck
