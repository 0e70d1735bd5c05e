#pragma once
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace orv {

// The map: 20 x 20 cells held as a list of 801 lines (line 2k the position
// name of cell k, line 2k + 1 its tile number as text, line 800 always empty)
// and the map image, on which tiles and names are painted as they are edited.
class MapModel {
public:
    static constexpr int Columns = 20;
    static constexpr int Rows = 20;
    static constexpr int Cells = Columns * Rows;
    static constexpr int LineCount = 2 * Cells + 1;
    static constexpr int CellWidth = 100;
    static constexpr int CellHeight = 60;

    // backgroundPath is the workspace's "defmap.bmp".
    explicit MapModel(QString backgroundPath);

    // 801 empty lines and the map background; throws when the background
    // cannot be read (the lines are reset before that). The background is
    // decoded once and kept; it is read again only when the file's size or
    // modification time has changed since.
    void reset();
    // Reset, read the map file (padded or cut to 801 lines), draw every
    // cell that has a tile.
    void load(const QString& mapFile);
    // Reset, take these lines (padded or cut to 801), draw every cell that
    // has a tile: as loading them from a file.
    void show(QStringList lines);
    void save(const QString& mapFile) const;

    // The lines of a map file as the map holds them: padded with empty lines
    // or cut to 801. Throws when the file cannot be read. Needs no image, so
    // it serves where nothing is drawn.
    static QStringList readLines(const QString& mapFile);

    const QStringList& lines() const { return lines_; }
    QString name(int cell) const { return lines_.at(2 * cell); }
    QString tile(int cell) const { return lines_.at(2 * cell + 1); }
    void setName(int cell, const QString& name) { lines_[2 * cell] = name; }
    void setTile(int cell, int tile) { lines_[2 * cell + 1] = QString::number(tile); }
    // Puts back lines as they were (undo and redo); the list keeps its 801
    // lines whatever it is given.
    void setLine(int index, const QString& text) { lines_[index] = text; }
    void replaceLines(QStringList lines);

    // Counts resets: a map that was reset or loaded is another map, even
    // when its lines happen to be the same.
    std::uint64_t generation() const { return generation_; }

    const QImage& image() const { return image_; }
    QImage& image() { return image_; }
    const QFont& font() const { return font_; }

    void drawTile(int cell, int tile);
    void drawName(int cell);
    // One row of cells drawn anew from the list on the background, as
    // loading the map draws them (a rename changes names in place).
    void redrawRow(int row);
    // Where drawName puts the name's white box (it may reach into the
    // neighbouring cells left and right).
    QRect nameArea(int cell, const QString& name) const;
    // The name's white box as drawName paints it, on its own.
    QImage namePicture(const QString& name) const;

    // Cell under a point of the map image, or -1 outside the grid.
    static int cellAt(int x, int y);
    static int column(int cell) { return cell % Columns; }
    static int row(int cell) { return cell / Columns; }

private:
    void drawCell(class QPainter& painter, int cell);
    void paintName(class QPainter& painter, int cell);

    QImage background();

    // The decoded map background and the file state it was read from.
    struct CachedBackground {
        QImage picture;
        std::uintmax_t size = 0;
        std::int64_t modified = 0;  // file clock ticks
    };

    QString backgroundPath_;
    CachedBackground background_;
    QStringList lines_;
    QImage image_;
    QFont font_;
    std::uint64_t generation_ = 0;
};

}  // namespace orv
