#pragma once
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QThreadPool>

#include <memory>
#include <vector>

class QPainter;

namespace orv {

// The adventure's pictures as one sheet of thumbnails: 120 x 80 cells on a
// grey background, each picture fitted into the 100 x 60 box of its cell.
//
// The sheet is never held as one picture: only the thumbnails are kept, at
// the size they are drawn, and any part of the sheet is painted from them
// when it is shown. They are read on a pool of threads and come in while the
// interface goes on answering.
class ImageLibrary : public QObject {
    Q_OBJECT
public:
    static constexpr int CellWidth = 120;
    static constexpr int CellHeight = 80;
    static constexpr int BoxWidth = 100;
    static constexpr int BoxHeight = 60;
    static constexpr int BoxOffset = 10;  // the box's corner inside its cell

    explicit ImageLibrary(QObject* parent = nullptr);
    ~ImageLibrary() override;

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

    // Re-reads the folder's picture list and sizes the sheet at once, then
    // returns; the thumbnails are read on the pool, several at a time and in
    // list order, JPEGs only at the scale their thumbnail needs. Each one is
    // announced by thumbnailsArrived, and finished follows the last. A build
    // still running is dropped first. Every picture gets its cell, even when
    // some cannot be read: those get the broken mark and their names and
    // errors are kept in failures(), in list order.
    void build(const QString& folder, int scrollAreaWidth);
    // Stops reading the pictures not yet started; those already in stay.
    void cancel();
    // Cancels and gives back the thumbnails' memory; the sheet is then
    // painted empty until the next build.
    void release();

    bool isBuilding() const { return building_; }
    // Thumbnails in (drawn or marked broken) of the current build.
    int arrivedCount() const { return arrived_; }
    // Pictures the pool has started to read for the current build.
    int picturesRead() const;
    // Blocks until the pool has no picture in hand. For tests and tools: the
    // window never waits on it.
    void waitForReaders() const { pool_.waitForDone(); }
    // Whether the thumbnail of image `index` has come in.
    bool hasArrived(int index) const {
        return index >= 0 && index < int(cells_.size()) && cells_[index].state != CellState::Pending;
    }

    QSize size() const { return built_ ? sheetSize(int(images_.size()), columns_) : QSize(0, 0); }
    // Paints the part `area` of the sheet (sheet coordinates) from the
    // thumbnails in so far: grey where a picture has not come in.
    void paint(QPainter& painter, const QRect& area) const;
    // The whole sheet as one picture, as far as it has come in.
    QImage sheet() const;

    const QStringList& images() const { return images_; }
    int columns() const { return columns_; }
    // One "name: error" line per picture that raised an error while the
    // sheet was last built; complete once finished has been emitted.
    const QStringList& failures() const { return failures_; }

    // The image whose cell holds point `at` of the sheet, or -1 past the last one.
    int indexAt(QPoint at) const;

signals:
    // Thumbnails came in; `area` of the sheet covers their cells.
    void thumbnailsArrived(const QRect& area);
    // The last thumbnail of the build has come in.
    void finished();

public:
    struct Batch;  // one build's work, shared with the pool's threads

private:
    enum class CellState : unsigned char { Pending, Drawn, Broken };
    struct Cell {
        QImage picture;  // at the size drawn, three bytes a pixel
        QPoint at;
        CellState state = CellState::Pending;
    };

    static void readPictures(const std::shared_ptr<Batch>& batch);
    void takeArrived(const std::shared_ptr<Batch>& batch);
    void stopBatch();

    mutable QThreadPool pool_;
    std::shared_ptr<Batch> batch_;
    std::vector<Cell> cells_;
    std::vector<std::pair<int, QString>> failed_;  // index, "name: error"
    QStringList images_;
    QStringList failures_;
    int columns_ = 1;
    int arrived_ = 0;
    bool built_ = false;  // size() is empty until the first build
    bool building_ = false;
};

}  // namespace orv
