#include "ImageLibrary.h"

#include "core/OrvalisError.h"
#include "imaging/ImageFiles.h"

#include <QColor>
#include <QDir>
#include <QPainter>
#include <QtConcurrent/QtConcurrentMap>
#include <algorithm>
#include <numeric>

namespace orv {

namespace {
const QColor kSheetGrey(198, 198, 198);
const QColor kBrokenMark(128, 0, 0);
}  // namespace

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

namespace {

// One picture made ready for its cell: read and scaled to the size it is
// drawn at, or the error that stopped its reading.
struct Thumbnail {
    QImage picture;  // null: the cell gets the broken mark
    QRect place;
    QString failure;
};

Thumbnail makeThumbnail(const QString& folder, const QString& name, int index, int columns) {
    Thumbnail thumbnail;
    // A fresh picture for every file: a transparent PNG must not show the
    // previous picture through, and a file that cannot be decoded must not
    // repeat the previous thumbnail.
    QImage picture;
    try {
        picture = loadImageForBox(folder, name, QSize(ImageLibrary::BoxWidth, ImageLibrary::BoxHeight));
    } catch (const OrvalisError& error) {
        // One damaged PNG must not cost the author the rest of the sheet.
        thumbnail.failure = name + QStringLiteral(": ") + error.text();
        return thumbnail;
    }
    if (picture.isNull())
        return thumbnail;
    // A JPEG read smaller still has its sides on the same side of the box's
    // as in the file, so it gets the place the full picture would.
    thumbnail.place = ImageLibrary::thumbnailRect(picture.size(), index, columns);
    thumbnail.picture = picture.size() == thumbnail.place.size()
        ? picture
        : picture.scaled(thumbnail.place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return thumbnail;
}

}  // namespace

void ImageLibrary::build(const QString& folder, int scrollAreaWidth) {
    images_ = listImages(folder);
    failures_.clear();
    columns_ = columnCountFor(scrollAreaWidth);
    sheet_ = QImage(sheetSize(int(images_.size()), columns_), QImage::Format_RGB32);
    sheet_.fill(kSheetGrey);

    // Pictures are read and scaled several at a time on the pool's threads;
    // the sheet itself is drawn here only, cell after cell in list order, each
    // as soon as its picture is ready.
    QList<int> indexes(images_.size());
    std::iota(indexes.begin(), indexes.end(), 0);
    const QStringList names = images_;
    const int columns = columns_;
    QFuture<Thumbnail> thumbnails = QtConcurrent::mapped(indexes, [folder, names, columns](int i) {
        return makeThumbnail(folder, names[i], i, columns);
    });
    QPainter painter(&sheet_);
    for (int i = 0; i < images_.size(); ++i) {
        const Thumbnail thumbnail = thumbnails.resultAt(i);
        if (!thumbnail.failure.isEmpty())
            failures_ << thumbnail.failure;
        if (thumbnail.picture.isNull())
            drawBrokenMark(painter, i);
        else
            painter.drawImage(thumbnail.place.topLeft(), thumbnail.picture);
    }
}

void ImageLibrary::drawBrokenMark(QPainter& painter, int index) const {
    const QRect box((index % columns_) * CellWidth + BoxOffset, (index / columns_) * CellHeight + BoxOffset,
                    BoxWidth, BoxHeight);
    painter.save();
    painter.setPen(QPen(kBrokenMark, 1));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.drawLine(box.topLeft(), box.bottomRight());
    painter.drawLine(box.bottomLeft(), box.topRight());
    painter.restore();
}

int ImageLibrary::indexAt(QPoint at) const {
    if (at.x() < 0 || at.y() < 0 || at.x() >= columns_ * CellWidth)
        return -1;
    const int index = (at.y() / CellHeight) * columns_ + at.x() / CellWidth;
    return index < images_.size() ? index : -1;
}

}  // namespace orv
