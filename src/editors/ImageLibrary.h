#pragma once
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>

namespace orv {

// The adventure's pictures as one sheet of thumbnails: 120 x 80 cells on a
// grey background, each picture fitted into the 100 x 60 box of its cell.
class ImageLibrary {
public:
    static constexpr int CellWidth = 120;
    static constexpr int CellHeight = 80;
    static constexpr int BoxWidth = 100;
    static constexpr int BoxHeight = 60;
    static constexpr int BoxOffset = 10;  // the box's corner inside its cell

    // The picture files of folder: every "*.jpg", then "*.bmp", "*.gif" and
    // "*.png" files, plain files only, each group by name.
    static QStringList listImages(const QString& folder);

    // (scroll area width - 10) div 120, but never less than one column.
    static int columnCountFor(int scrollAreaWidth);

    // Columns x 120 by (count div columns + 1) x 80.
    static QSize sheetSize(int imageCount, int columns);

    // Where a picture of the given size is drawn on the sheet as image
    // `index`: unscaled and centred when it fits the box, otherwise
    // stretched to the box along the side that does not fit.
    static QRect thumbnailRect(QSize picture, int index, int columns);

    // Re-reads the folder's pictures and draws the sheet. Every picture is
    // drawn, even when some cannot be read: those cells get the broken mark
    // and their names and errors are kept in failures(), in list order.
    // Pictures are read several at a time; JPEGs only at the scale their
    // thumbnail needs.
    void build(const QString& folder, int scrollAreaWidth);

    const QImage& sheet() const { return sheet_; }
    const QStringList& images() const { return images_; }
    int columns() const { return columns_; }
    // One "name: error" line per picture that raised an error while the
    // sheet was last built.
    const QStringList& failures() const { return failures_; }

    // The image whose cell holds point `at` of the sheet, or -1 past the last one.
    int indexAt(QPoint at) const;

private:
    void drawBrokenMark(class QPainter& painter, int index) const;

    QImage sheet_;
    QStringList images_;
    QStringList failures_;
    int columns_ = 1;
};

}  // namespace orv
