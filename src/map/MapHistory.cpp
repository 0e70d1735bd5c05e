#include "MapHistory.h"

#include "MapModel.h"

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

}  // namespace

MapHistory::MapHistory(int stepLimit, qsizetype byteLimit)
    : stepLimit_(std::max(1, stepLimit)), byteLimit_(byteLimit) {}

MapHistory::Before::State MapHistory::capture(const MapModel& map, bool wholeMap, const QList<int>& lineNumbers,
                                              QRect area) {
    Before::State state;
    if (wholeMap) {
        // Shares the list and the picture; the map's next change detaches them.
        state.lines = map.lines();
        state.pixels = map.image();
        return state;
    }
    for (int n : lineNumbers)
        state.lines.append(map.lines().at(n));
    if (!area.isEmpty())
        state.pixels = map.image().copy(area);
    return state;
}

MapHistory::Before MapHistory::before(const MapModel& map, QList<int> lineNumbers, QRect area) {
    Before b;
    lineNumbers.erase(std::remove_if(lineNumbers.begin(), lineNumbers.end(),
                                     [](int n) { return n < 0 || n >= MapModel::LineCount; }),
                      lineNumbers.end());
    b.lineNumbers = std::move(lineNumbers);
    b.area = area.intersected(map.image().rect());
    b.state = capture(map, false, b.lineNumbers, b.area);
    b.generation = map.generation();
    return b;
}

MapHistory::Before MapHistory::beforeWholeMap(const MapModel& map) {
    Before b;
    b.wholeMap = true;
    b.state = capture(map, true, {}, {});
    b.generation = map.generation();
    return b;
}

MapHistory::Before MapHistory::beforeNaming(const MapModel& map, int cell, const QString& name) {
    const QRect box = map.nameArea(cell, name).adjusted(-kMargin, -kMargin, kMargin, kMargin);
    return before(map, {2 * cell}, box);
}

void MapHistory::commit(const MapModel& map, Before before) {
    Step step;
    step.wholeMap = before.wholeMap;
    step.lineNumbers = std::move(before.lineNumbers);
    step.area = before.area;
    step.before = std::move(before.state);
    step.after = capture(map, step.wholeMap, step.lineNumbers, step.area);
    if (step.before.lines == step.after.lines && step.before.pixels == step.after.pixels)
        return;
    step.bytes = sizeOf(step.before.lines) + sizeOf(step.after.lines) + step.before.pixels.sizeInBytes() +
                 step.after.pixels.sizeInBytes();

    // Steps recorded on a map that has since been reset or loaded do not
    // belong to this one.
    if (before.generation != generation_)
        clear();
    redo_.clear();
    bytes_ = 0;
    for (const Step& s : undo_)
        bytes_ += s.bytes;
    undo_.push_back(std::move(step));
    bytes_ += undo_.back().bytes;
    generation_ = map.generation();
    trim();
}

void MapHistory::trim() {
    while (undo_.size() > 1 && (int(undo_.size()) > stepLimit_ || bytes_ > byteLimit_)) {
        bytes_ -= undo_.front().bytes;
        undo_.pop_front();
    }
}

void MapHistory::paint(MapModel& map, int cell, int tile) {
    const QRect area(MapModel::column(cell) * MapModel::CellWidth, MapModel::row(cell) * MapModel::CellHeight,
                     MapModel::CellWidth, MapModel::CellHeight);
    Before b = before(map, {2 * cell + 1}, area);
    map.drawTile(cell, tile);
    map.setTile(cell, tile);
    commit(map, std::move(b));
}

void MapHistory::apply(MapModel& map, const Step& step, const Before::State& state) {
    if (step.wholeMap) {
        map.replaceLines(state.lines);
        map.image() = state.pixels;
        return;
    }
    for (int i = 0; i < step.lineNumbers.size(); ++i)
        map.setLine(step.lineNumbers[i], state.lines[i]);
    if (!state.pixels.isNull()) {
        QPainter painter(&map.image());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(step.area.topLeft(), state.pixels);
    }
}

MapHistory::Change MapHistory::changeOf(const Step& step) {
    Change change;
    change.wholeMap = step.wholeMap;
    change.area = step.area;
    change.lines = step.lineNumbers;
    return change;
}

bool MapHistory::isCurrent(const MapModel& map) const {
    return map.generation() == generation_;
}

std::optional<MapHistory::Change> MapHistory::undo(MapModel& map) {
    if (!isCurrent(map))
        clear();
    if (undo_.empty())
        return std::nullopt;
    Step step = std::move(undo_.back());
    undo_.pop_back();
    apply(map, step, step.before);
    const Change change = changeOf(step);
    redo_.push_back(std::move(step));
    return change;
}

std::optional<MapHistory::Change> MapHistory::redo(MapModel& map) {
    if (!isCurrent(map))
        clear();
    if (redo_.empty())
        return std::nullopt;
    Step step = std::move(redo_.back());
    redo_.pop_back();
    apply(map, step, step.after);
    const Change change = changeOf(step);
    undo_.push_back(std::move(step));
    return change;
}

void MapHistory::clear() {
    undo_.clear();
    redo_.clear();
    bytes_ = 0;
}

}  // namespace orv
