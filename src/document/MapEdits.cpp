#include "document/MapEdits.h"

#include "document/AdventureDocument.h"
#include "map/MapModel.h"

#include <QPainter>

#include <algorithm>

namespace orv {

namespace {

qsizetype sizeOf(const QStringList& lines) {
    qsizetype bytes = 0;
    for (const QString& line : lines)
        bytes += qsizetype(sizeof(QString)) + line.size() * qsizetype(sizeof(QChar));
    return bytes;
}

// Text glyphs may reach a pixel or two past the name's white box, so a
// little more than the box is kept.
constexpr int kMargin = 3;

QRect cellArea(int cell) {
    return QRect(MapModel::column(cell) * MapModel::CellWidth, MapModel::row(cell) * MapModel::CellHeight,
                 MapModel::CellWidth, MapModel::CellHeight);
}

}  // namespace

MapEdit::MapEdit(AdventureDocument& document, const QString& text) : Edit(text), document_(document) {}

MapEdit::State MapEdit::capture() const {
    const MapModel& map = document_.map();
    State state;
    if (part_.wholeMap) {
        // Shares the list and the picture; the map's next change detaches them.
        state.lines = map.lines();
        state.pixels = map.image();
        return state;
    }
    for (int n : part_.lines)
        state.lines.append(map.lines().at(n));
    if (!part_.area.isEmpty())
        state.pixels = map.image().copy(part_.area);
    return state;
}

void MapEdit::record(Part part, const std::function<void()>& change) {
    part.lines.removeIf([](int n) { return n < 0 || n >= MapModel::LineCount; });
    part.area = part.area.intersected(document_.map().image().rect());
    part_ = std::move(part);
    before_ = capture();
    const auto done = [this] {
        after_ = capture();
        bytes_ = sizeOf(before_.lines) + sizeOf(after_.lines) + before_.pixels.sizeInBytes() +
                 after_.pixels.sizeInBytes();
    };
    try {
        change();
    } catch (...) {
        done();
        throw;
    }
    done();
}

bool MapEdit::changedNothing() const {
    return before_.lines == after_.lines && before_.pixels == after_.pixels;
}

void MapEdit::again() {
    document_.putBackMap(part_, after_);
}

void MapEdit::back() {
    document_.putBackMap(part_, before_);
}

void MapEdit::forget() {
    before_ = {};
    after_ = {};
    bytes_ = 0;
}

PaintTile::PaintTile(AdventureDocument& document, int cell, int tile)
    : MapEdit(document, QStringLiteral("pintar")), cell_(cell), tile_(tile) {}

void PaintTile::perform() {
    record({false, {2 * cell_ + 1}, cellArea(cell_)}, [this] { document_.paintTile(cell_, tile_); });
}

PaintRun::PaintRun(AdventureDocument& document, int tile)
    : Edit(QStringLiteral("pintar")), document_(document), tile_(tile) {}

bool PaintRun::contains(int cell) const {
    return cells_.contains(cell);
}

void PaintRun::add(int cell) {
    if (cell < 0 || cell >= MapModel::Cells || contains(cell))
        return;
    cells_.append(cell);
    auto step = std::make_unique<PaintTile>(document_, cell, tile_);
    steps_.push_back(std::move(step));
    steps_.back()->perform();
}

bool PaintRun::changedNothing() const {
    return std::all_of(steps_.begin(), steps_.end(), [](const auto& s) { return s->changedNothing(); });
}

qsizetype PaintRun::bytes() const {
    qsizetype total = 0;
    for (const auto& s : steps_)
        total += s->bytes();
    return total;
}

// The cells' steps were never pushed, so their redo puts back their state.
void PaintRun::again() {
    for (const auto& s : steps_)
        s->redo();
}

void PaintRun::back() {
    for (auto s = steps_.rbegin(); s != steps_.rend(); ++s)
        (*s)->undo();
}

void PaintRun::forget() {
    for (const auto& s : steps_)
        s->release();
}

EmptyCell::EmptyCell(AdventureDocument& document, int cell)
    : MapEdit(document, QStringLiteral("apagar")), cell_(cell) {}

void EmptyCell::perform() {
    const int row = MapModel::row(cell_);
    const QRect rowArea(0, row * MapModel::CellHeight, document_.map().image().width(), MapModel::CellHeight);
    record({false, {2 * cell_, 2 * cell_ + 1}, rowArea}, [this, row] {
        // The row is drawn on a copy, which keeps the document's own map
        // untouched until the result is put back in one go.
        MapModel redrawn = document_.map();
        redrawn.setLine(2 * cell_, QString());
        redrawn.setLine(2 * cell_ + 1, QString());
        redrawn.redrawRow(row);
        State emptied;
        emptied.lines = QStringList{QString(), QString()};
        emptied.pixels = redrawn.image().copy(part().area);
        document_.putBackMap(part(), emptied);
    });
}

NamePosition::NamePosition(AdventureDocument& document, int cell, QString name, bool draw)
    : MapEdit(document, QStringLiteral("nomear")), cell_(cell), name_(std::move(name)), draw_(draw) {}

void NamePosition::perform() {
    const QRect box = document_.map().nameArea(cell_, name_).adjusted(-kMargin, -kMargin, kMargin, kMargin);
    record({false, {2 * cell_}, box}, [this] { document_.nameCell(cell_, name_, draw_); });
}

ClearMap::ClearMap(AdventureDocument& document) : MapEdit(document, QStringLiteral("limpar mapa")) {}

void ClearMap::perform() {
    record({true, {}, {}}, [this] { document_.clearMapInPlace(); });
}

}  // namespace orv
