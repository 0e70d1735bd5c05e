#include "MapModel.h"

#include "TileSet.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"

#include <QFontMetrics>
#include <QImageReader>
#include <QPainter>

#include <filesystem>
#include <system_error>

namespace orv {

namespace {
QFont mapFont() {
    // Arial 10 points at the screen's 96 dpi: 13 pixels, whatever the device.
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    font.setBold(true);
    // The saved map picture must not depend on the screen: left to itself,
    // the font drops its hinting as soon as the screen is scaled, and the
    // names' letters come out otherwise. Light hinting is what an unscaled
    // screen gives by default.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}
}  // namespace

MapModel::MapModel(QString backgroundPath)
    : backgroundPath_(std::move(backgroundPath)), font_(mapFont()) {
    for (int i = 0; i < LineCount; ++i)
        lines_.append(QString());
}

void MapModel::reset() {
    ++generation_;
    lines_.clear();
    for (int i = 0; i < LineCount; ++i)
        lines_.append(QString());
    // Shares the kept picture; the first drawing on the map image copies it.
    image_ = background();
    font_ = mapFont();
}

QImage MapModel::background() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path file = backgroundPath_.toStdU16String();
    const std::uintmax_t size = fs::file_size(file, error);
    const std::int64_t modified = error ? 0 : fs::last_write_time(file, error).time_since_epoch().count();
    if (!error && !background_.picture.isNull() && background_.size == size && background_.modified == modified)
        return background_.picture;

    // A background that went missing or unreadable is an error now, as it
    // would be when read afresh.
    background_ = {};
    QImageReader reader(backgroundPath_);
    const QImage picture = reader.read();
    if (picture.isNull())
        throw OrvalisError(QStringLiteral("Não foi possível ler o fundo do mapa \"%1\": %2")
                               .arg(backgroundPath_, reader.errorString()));
    const QImage decoded = picture.convertToFormat(QImage::Format_RGB32);
    // Kept only when the file's state is known, so a change can be noticed.
    if (!error)
        background_ = {decoded, size, modified};
    return decoded;
}

QStringList MapModel::readLines(const QString& mapFile) {
    QStringList read = ListFile::read(mapFile);
    if (read.size() > LineCount)
        read.resize(LineCount);
    while (read.size() < LineCount)
        read.append(QString());
    return read;
}

void MapModel::load(const QString& mapFile) {
    show(readLines(mapFile));
}

void MapModel::show(QStringList lines) {
    reset();
    replaceLines(std::move(lines));
    QPainter painter(&image_);
    for (int cell = 0; cell < Cells; ++cell)
        drawCell(painter, cell);
}

void MapModel::drawCell(QPainter& painter, int cell) {
    const QString t = tile(cell);
    if (t.isEmpty())
        return;
    bool ok = false;
    const int number = t.toInt(&ok);
    // Only the exact texts "1" to "19" have a picture; "0" and anything else
    // leave the background and just carry the name.
    if (ok && number >= 1 && number <= 19 && t == QString::number(number))
        painter.drawImage(column(cell) * CellWidth, row(cell) * CellHeight, TileSet::picture(number));
    paintName(painter, cell);
}

void MapModel::paintName(QPainter& painter, int cell) {
    const QString n = name(cell);
    if (n.isEmpty())
        return;
    // Centred on the 90 pixels inside the room's outline; a name wider than
    // that starts left of the cell (the offset may be negative).
    const QFontMetrics metrics(font_);
    const QRect box = nameArea(cell, n);
    painter.setFont(font_);
    painter.fillRect(box, Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(box.x(), box.y() + metrics.ascent(), n);
}

QImage MapModel::namePicture(const QString& name) const {
    const QFontMetrics metrics(font_);
    QImage picture(QSize(metrics.horizontalAdvance(name), metrics.height()), QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    painter.drawText(0, metrics.ascent(), name);
    return picture;
}

QRect MapModel::nameArea(int cell, const QString& name) const {
    const QFontMetrics metrics(font_);
    const int w = metrics.horizontalAdvance(name);
    const int x = column(cell) * CellWidth + 5 + (90 - w) / 2;
    const int y = row(cell) * CellHeight + 23;
    return QRect(x, y, w, metrics.height());
}

void MapModel::replaceLines(QStringList lines) {
    lines.resize(LineCount);
    lines_ = std::move(lines);
}

void MapModel::save(const QString& mapFile) const {
    ListFile::write(mapFile, lines_);
}

void MapModel::drawTile(int cell, int tile) {
    QPainter painter(&image_);
    painter.drawImage(column(cell) * CellWidth, row(cell) * CellHeight, TileSet::picture(tile));
}

void MapModel::redrawRow(int row) {
    const QRect band(0, row * CellHeight, image_.width(), CellHeight);
    QPainter painter(&image_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(band.topLeft(), background(), band);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (int column = 0; column < Columns; ++column)
        drawCell(painter, row * Columns + column);
}

void MapModel::drawName(int cell) {
    QPainter painter(&image_);
    paintName(painter, cell);
}

int MapModel::cellAt(int x, int y) {
    if (x < 0 || y < 0 || x >= Columns * CellWidth || y >= Rows * CellHeight)
        return -1;
    return (y / CellHeight) * Columns + x / CellWidth;
}

}  // namespace orv
