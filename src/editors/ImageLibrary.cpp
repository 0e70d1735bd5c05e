#include "ImageLibrary.h"

#include "core/OrvalisError.h"
#include "imaging/ImageFiles.h"

#include <QColor>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QThread>
#include <algorithm>
#include <atomic>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace orv {

namespace {
const QColor kSheetGrey(198, 198, 198);
const QColor kBrokenMark(128, 0, 0);

QRect cellRect(int index, int columns) {
    return {(index % columns) * ImageLibrary::CellWidth, (index / columns) * ImageLibrary::CellHeight,
            ImageLibrary::CellWidth, ImageLibrary::CellHeight};
}

// The box of a picture that could not be read: outlined and crossed.
const QImage& brokenMark() {
    static const QImage mark = [] {
        QImage box(ImageLibrary::BoxWidth, ImageLibrary::BoxHeight, QImage::Format_RGB32);
        box.fill(kSheetGrey);
        QPainter painter(&box);
        painter.setPen(QPen(kBrokenMark, 1));
        painter.drawRect(box.rect().adjusted(0, 0, -1, -1));
        painter.drawLine(box.rect().topLeft(), box.rect().bottomRight());
        painter.drawLine(box.rect().bottomLeft(), box.rect().topRight());
        return box;
    }();
    return mark;
}

}  // namespace

// What the pool's threads and the library share for one build. The threads
// take the pictures in list order from `next`; each thumbnail made is queued
// in `ready`, and the library is woken once for all that are waiting, so a
// quick run of pictures costs the interface one event, not one each.
struct ImageLibrary::Batch {
    struct Arrival {
        int index = 0;
        QImage picture;  // null: the cell gets the broken mark
        QPoint at;
        QString failure;
    };

    QString folder;
    QStringList names;
    int columns = 1;
    std::atomic<int> next{0};
    std::atomic<int> started{0};
    std::atomic<bool> cancelled{false};

    QMutex mutex;
    ImageLibrary* receiver = nullptr;  // null once the build is dropped
    std::vector<Arrival> ready;
    bool wakePosted = false;
};

namespace {

using Arrival = ImageLibrary::Batch::Arrival;

// One picture made ready for its cell: read, scaled to the size it is drawn
// at and laid on the sheet's grey, or the error that stopped its reading.
Arrival makeThumbnail(const QString& folder, const QString& name, int index, int columns) {
    Arrival arrival;
    arrival.index = index;
    // A fresh picture for every file: a transparent PNG must not show the
    // previous picture through, and a file that cannot be decoded must not
    // repeat the previous thumbnail.
    QImage picture;
    try {
        picture = loadImageForBox(folder, name, QSize(ImageLibrary::BoxWidth, ImageLibrary::BoxHeight));
    } catch (const OrvalisError& error) {
        // One damaged PNG must not cost the author the rest of the sheet.
        arrival.failure = name + QStringLiteral(": ") + error.text();
        return arrival;
    }
    if (picture.isNull())
        return arrival;
    // A JPEG read smaller still has its sides on the same side of the box's
    // as in the file, so it gets the place the full picture would.
    const QRect place = ImageLibrary::thumbnailRect(picture.size(), index, columns);
    QImage drawn = picture.size() == place.size()
        ? picture
        : picture.scaled(place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (drawn.hasAlphaChannel()) {
        // Laid on the grey now, exactly as drawing it on the sheet would.
        QImage flat(drawn.size(), QImage::Format_RGB32);
        flat.fill(kSheetGrey);
        QPainter(&flat).drawImage(0, 0, drawn);
        drawn = flat;
    }
    // The sheet is 24-bit colour: three bytes a pixel lose nothing.
    arrival.picture = drawn.convertToFormat(QImage::Format_RGB888);
    arrival.at = place.topLeft();
    return arrival;
}

}  // namespace

ImageLibrary::ImageLibrary(QObject* parent) : QObject(parent) {
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

ImageLibrary::~ImageLibrary() {
    stopBatch();
    // The pool's destructor waits for the pictures in hand; nothing they
    // make reaches this object any more.
}

QStringList ImageLibrary::listImages(const QString& folder) {
    QStringList names;
    QDir dir(folder);
    // JPEGs come first whatever their names: the groups are read one pattern
    // at a time. Without QDir::Hidden and QDir::System those files stay out.
    for (const char* pattern : {"*.jpg", "*.bmp", "*.gif", "*.png"})
        names += dir.entryList({QString::fromLatin1(pattern)}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    return names;
}

int ImageLibrary::columnCountFor(int scrollAreaWidth) {
    // A very narrow window still shows the pictures, one per row.
    return std::max(1, (scrollAreaWidth - 10) / CellWidth);
}

QSize ImageLibrary::sheetSize(int imageCount, int columns) {
    return {columns * CellWidth, (imageCount / columns + 1) * CellHeight};
}

QRect ImageLibrary::thumbnailRect(QSize picture, int index, int columns) {
    const int x0 = (index % columns) * CellWidth + BoxOffset;
    const int y0 = (index / columns) * CellHeight + BoxOffset;
    const int w = picture.width();
    const int h = picture.height();
    const bool wide = w > BoxWidth;
    const bool tall = h > BoxHeight;
    const int drawnW = wide ? BoxWidth : w;
    const int drawnH = tall ? BoxHeight : h;
    const int x = wide ? x0 : x0 + (BoxWidth - w) / 2;
    const int y = tall ? y0 : y0 + (BoxHeight - h) / 2;
    return {x, y, drawnW, drawnH};
}

void ImageLibrary::build(const QString& folder, int scrollAreaWidth) {
    stopBatch();
    images_ = listImages(folder);
    failures_.clear();
    failed_.clear();
    columns_ = columnCountFor(scrollAreaWidth);
    std::vector<Cell>(images_.size()).swap(cells_);
    arrived_ = 0;
    built_ = true;
    building_ = !images_.isEmpty();

    auto batch = std::make_shared<Batch>();
    batch->folder = folder;
    batch->names = images_;
    batch->columns = columns_;
    batch->receiver = this;
    batch_ = batch;
    if (!building_)
        return;
    // Each thread takes the next picture in list order until none is left,
    // so the first rows come in first whatever the size of the adventure.
    const int threads = std::min<int>(pool_.maxThreadCount(), int(images_.size()));
    for (int t = 0; t < threads; ++t)
        pool_.start([batch] { readPictures(batch); });
}

void ImageLibrary::readPictures(const std::shared_ptr<Batch>& batch) {
    const int count = int(batch->names.size());
    while (!batch->cancelled.load(std::memory_order_relaxed)) {
        const int index = batch->next.fetch_add(1);
        if (index >= count)
            return;
        batch->started.fetch_add(1);
        Batch::Arrival arrival = makeThumbnail(batch->folder, batch->names[index], index, batch->columns);
        QMutexLocker lock(&batch->mutex);
        // The receiver is cleared under this lock before the library lets
        // go of the build, so it is alive while this posts to it.
        ImageLibrary* receiver = batch->receiver;
        if (!receiver)
            return;
        batch->ready.push_back(std::move(arrival));
        if (!batch->wakePosted) {
            batch->wakePosted = true;
            QMetaObject::invokeMethod(receiver, [receiver, batch] { receiver->takeArrived(batch); },
                                      Qt::QueuedConnection);
        }
    }
}

void ImageLibrary::takeArrived(const std::shared_ptr<Batch>& batch) {
    // A wake posted just before the build was dropped finds nothing to do.
    if (batch != batch_ || !building_)
        return;
    std::vector<Batch::Arrival> arrivals;
    {
        QMutexLocker lock(&batch->mutex);
        arrivals.swap(batch->ready);
        batch->wakePosted = false;
    }
    QRect area;
    for (Batch::Arrival& arrival : arrivals) {
        Cell& cell = cells_[arrival.index];
        if (arrival.picture.isNull()) {
            cell.state = CellState::Broken;
        } else {
            cell.state = CellState::Drawn;
            cell.picture = std::move(arrival.picture);
            cell.at = arrival.at;
        }
        if (!arrival.failure.isEmpty())
            failed_.emplace_back(arrival.index, std::move(arrival.failure));
        area |= cellRect(arrival.index, columns_);
    }
    arrived_ += int(arrivals.size());
    if (arrived_ == images_.size()) {
        building_ = false;
        std::sort(failed_.begin(), failed_.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& failure : failed_)
            failures_ << failure.second;
    }
    if (!arrivals.empty())
        emit thumbnailsArrived(area);
    // What the signal ran may have dropped or restarted the build.
    if (batch == batch_ && arrived_ == images_.size() && !building_ && !arrivals.empty())
        emit finished();
}

void ImageLibrary::stopBatch() {
    building_ = false;
    if (!batch_)
        return;
    batch_->cancelled = true;
    QMutexLocker lock(&batch_->mutex);
    batch_->receiver = nullptr;
    batch_->ready.clear();
}

void ImageLibrary::cancel() {
    stopBatch();
}

void ImageLibrary::release() {
    stopBatch();
    std::vector<Cell>().swap(cells_);
    failed_.clear();
    failed_.shrink_to_fit();
    arrived_ = 0;
#ifdef __GLIBC__
    // Thousands of small thumbnails leave the heap's pages in use long after
    // they are freed; hand them back now.
    malloc_trim(0);
#endif
}

int ImageLibrary::picturesRead() const {
    return batch_ ? batch_->started.load() : 0;
}

void ImageLibrary::paint(QPainter& painter, const QRect& area) const {
    const QRect shown = area & QRect(QPoint(0, 0), size());
    if (shown.isEmpty())
        return;
    painter.fillRect(shown, kSheetGrey);
    if (cells_.empty())
        return;
    const int count = int(cells_.size());
    const int firstRow = shown.top() / CellHeight;
    const int lastRow = shown.bottom() / CellHeight;
    const int firstColumn = shown.left() / CellWidth;
    const int lastColumn = std::min(columns_ - 1, shown.right() / CellWidth);
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const int index = row * columns_ + column;
            if (index >= count)
                return;
            const Cell& cell = cells_[index];
            if (cell.state == CellState::Drawn)
                painter.drawImage(cell.at, cell.picture);
            else if (cell.state == CellState::Broken)
                painter.drawImage(column * CellWidth + BoxOffset, row * CellHeight + BoxOffset, brokenMark());
        }
    }
}

QImage ImageLibrary::sheet() const {
    if (size().isEmpty())
        return {};
    QImage picture(size(), QImage::Format_RGB32);
    QPainter painter(&picture);
    paint(painter, picture.rect());
    return picture;
}

int ImageLibrary::indexAt(QPoint at) const {
    if (at.x() < 0 || at.y() < 0 || at.x() >= columns_ * CellWidth)
        return -1;
    const int index = (at.y() / CellHeight) * columns_ + at.x() / CellWidth;
    return index < images_.size() ? index : -1;
}

}  // namespace orv
