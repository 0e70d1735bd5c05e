#include "MapCompiler.h"

#include "MapModel.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "core/Adventure.h"

#include "core/DurableWrite.h"

#include <QHash>
#include <QLatin1StringView>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <vector>

namespace orv {

namespace {

struct Side {
    int rowStep;
    int columnStep;
    QLatin1StringView keyword;
    std::array<QLatin1StringView, 8> doorTiles;
    std::array<QLatin1StringView, 2> passTiles;
};

using L = QLatin1StringView;

// Tile numbers are compared as the exact text of the tile line: " 6" or "06"
// is no door. Tile 3 leaves east and tile 4 south, whatever their pictures.
const std::array<Side, 4> kSides = {{
    {-1, 0, L("  norte= "), {L("2"), L("6"), L("7"), L("8"), L("9"), L("10"), L("11"), L("12")}, {L("17"), L("19")}},
    {0, 1, L("  leste= "), {L("3"), L("6"), L("9"), L("10"), L("12"), L("13"), L("14"), L("15")}, {L("18"), L("19")}},
    {1, 0, L("  sul= "), {L("4"), L("7"), L("9"), L("11"), L("12"), L("13"), L("15"), L("16")}, {L("17"), L("19")}},
    {0, -1, L("  oeste= "), {L("5"), L("8"), L("10"), L("11"), L("12"), L("14"), L("15"), L("16")}, {L("18"), L("19")}},
}};

// A short map list reads as empty lines past its end, like a fresh map.
QString lineAt(const QStringList& lines, int index) {
    return index >= 0 && index < lines.size() ? lines.at(index) : QString();
}

QString nameOf(const QStringList& lines, int cell) { return lineAt(lines, 2 * cell); }
QString tileOf(const QStringList& lines, int cell) { return lineAt(lines, 2 * cell + 1); }

template <std::size_t N>
bool isOneOf(const QString& tile, const std::array<QLatin1StringView, N>& set) {
    for (QLatin1StringView t : set)
        if (tile == t)
            return true;
    return false;
}

bool isControl(char16_t u) { return u < 0x20 || (u >= 0x7F && u <= 0x9F); }

QString scriptError(const QString& name, const QString& why) {
    // Control characters would cut or garble the message; show them as "?".
    QString shown = name;
    for (QChar& c : shown)
        if (isControl(c.unicode()))
            c = QLatin1Char('?');
    return QStringLiteral("Não foi possível gravar o script da posição \"%1\": %2").arg(shown, why);
}

}  // namespace

int MapCompiler::exitTarget(const QStringList& mapLines, int cell, Direction direction) {
    if (cell < 0 || cell >= MapModel::Cells)
        return -1;
    const Side& side = kSides[static_cast<int>(direction)];
    // The search walks rows and columns, not bare cell numbers: it never
    // reads outside the 400 cells, and an east or west search stops at the
    // side of the grid instead of wrapping onto the next row. A door (or a
    // corridor chain) that runs off any edge leads nowhere.
    int row = MapModel::row(cell) + side.rowStep;
    int column = MapModel::column(cell) + side.columnStep;
    auto inside = [&] {
        return row >= 0 && row < MapModel::Rows && column >= 0 && column < MapModel::Columns;
    };
    while (inside() && isOneOf(tileOf(mapLines, row * MapModel::Columns + column), side.passTiles)) {
        row += side.rowStep;
        column += side.columnStep;
    }
    return inside() ? row * MapModel::Columns + column : -1;
}

QList<MapCompiler::Door> MapCompiler::doors(const QStringList& mapLines, int cell) {
    QList<Door> found;
    if (cell < 0 || cell >= MapModel::Cells)
        return found;
    const QString tile = tileOf(mapLines, cell);
    for (int d = 0; d < 4; ++d) {
        if (!isOneOf(tile, kSides[d].doorTiles))
            continue;
        const auto direction = static_cast<Direction>(d);
        const int target = exitTarget(mapLines, cell, direction);
        found.append({direction, target, target < 0 ? QString() : nameOf(mapLines, target)});
    }
    return found;
}

QString MapCompiler::directionName(Direction direction) {
    return QString(kSides[static_cast<int>(direction)].keyword).trimmed().chopped(1);
}

QStringList MapCompiler::buildPositionBlock(const QStringList& mapLines, int cell,
                                            const QString& defaultScriptMode,
                                            const QString& imageExtension,
                                            const QString& adventureFolder) {
    const QString name = nameOf(mapLines, cell);
    QStringList block;
    block.reserve(10);
    block << QStringLiteral("//=== Posição: ") + name + QStringLiteral(" ==================")
          << QStringLiteral("  setmode= ") + defaultScriptMode
          << QStringLiteral("  retscp= ") + name;
    const QString image = name + QLatin1Char('.') + imageExtension;
    if (fileExists(adventureFolder + image))
        block << QStringLiteral("  telpos= ") + image;
    for (const Door& door : doors(mapLines, cell))
        if (door.leadsSomewhere())
            block << kSides[static_cast<int>(door.direction)].keyword + door.targetName;
    block << QStringLiteral("  msg= Nome desta posição ") + name << QStringLiteral("  fim");
    return block;
}

bool MapCompiler::isUsableFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (isControl(u) || u == u'/' || u == u'\\')
            return false;
    }
    return true;
}

MapCompiler::CompileCount MapCompiler::compile(const QStringList& mapLines, const QString& defaultScriptMode,
                                               const QString& imageExtension, const QString& scriptWriteMode,
                                               const QString& adventureFolder) {
    const bool replace = scriptWriteMode == QLatin1String("1");
    const bool createOnly = scriptWriteMode == QLatin1String("2");
    const bool insert = scriptWriteMode == QLatin1String("3");
    if (!replace && !createOnly && !insert)
        throw OrvalisError(
            QStringLiteral("Modo de gravação dos scripts desconhecido: \"%1\"").arg(scriptWriteMode));

    CompileCount count;
    // Every block is built in memory first and the scripts are written
    // together, synced to the disk once for the lot. A position that stops
    // the compile (a name that cannot be a file name, a script that cannot be
    // read or written) stops it there: the scripts of the positions before it
    // are written, then its error is thrown.
    struct Script {
        QString name;
        QString path;
        QByteArray bytes;
    };
    std::vector<Script> scripts;
    QHash<QString, size_t> byPath;  // a name used twice writes its script twice
    std::optional<OrvalisError> stop;
    for (int cell = 0; cell < MapModel::Cells && !stop; ++cell) {
        const QString name = nameOf(mapLines, cell);
        if (name.isEmpty() || tileOf(mapLines, cell).isEmpty())
            continue;
        // A name with a separator would write into another folder (or
        // outside the adventure); such a name stops the compile here.
        if (!isUsableFileName(name)) {
            stop = OrvalisError(scriptError(name, QStringLiteral("o nome não pode ser usado como nome de arquivo")));
            break;
        }
        const QString scriptPath = adventureFolder + name + QStringLiteral(".scp");
        const auto earlier = byPath.constFind(scriptPath);
        // Mode "1" does not care whether the script is there.
        const bool exists = !replace && (earlier != byPath.cend() || fileExists(scriptPath));
        if (createOnly && exists) {
            ++count.kept;
            continue;
        }
        QByteArray bytes = ListFile::joinLines(
            buildPositionBlock(mapLines, cell, defaultScriptMode, imageExtension, adventureFolder));
        if (insert && exists) {
            // The old text goes below the new block byte for byte, as one
            // more line: its own last break plus one more, so each such
            // compile leaves one more empty line at the end.
            try {
                bytes += (earlier != byPath.cend() ? scripts[*earlier].bytes : readFileBytes(scriptPath)) +
                         QByteArrayLiteral("\r\n");
            } catch (const OrvalisError& error) {
                stop = OrvalisError(scriptError(name, error.text()));
                break;
            }
        }
        if (earlier != byPath.cend()) {
            scripts[*earlier].bytes = std::move(bytes);
        } else {
            byPath.insert(scriptPath, scripts.size());
            scripts.push_back({name, scriptPath, std::move(bytes)});
        }
        ++count.written;
    }

    DurableBatch batch;
    std::vector<std::pair<QString, QByteArray>> files;
    files.reserve(scripts.size());
    for (Script& script : scripts)
        files.emplace_back(script.path, std::move(script.bytes));
    try {
        batch.addAll(files);
    } catch (const WriteError& error) {
        // The scripts before the refused one are in the batch and are written.
        const auto refused = std::find_if(scripts.begin(), scripts.end(),
                                          [&](const Script& s) { return s.path == error.path(); });
        stop = OrvalisError(scriptError(refused != scripts.end() ? refused->name : QString(), error.text()));
    }
    try {
        batch.commit();
    } catch (const WriteError& error) {
        // The sync or a rename failed: the position of that file is named
        // (a folder that could not be synced, by the last script in it); the
        // scripts renamed before it stay.
        const auto failed = std::find_if(scripts.begin(), scripts.end(),
                                         [&](const Script& s) { return s.path == error.path(); });
        const Script& named = failed != scripts.end() ? *failed : scripts[batch.size() - 1];
        throw OrvalisError(scriptError(named.name, error.text()));
    }
    if (stop)
        throw *stop;
    return count;
}

MapCompiler::CompileCount MapCompiler::compile(const QStringList& mapLines, const ScriptSettings& settings,
                                               const QString& adventureFolder) {
    return compile(mapLines, settings.defaultScriptMode, settings.imageExtension, settings.scriptWriteMode,
            adventureFolder);
}

}  // namespace orv
