#include "ImageLibrary.h"

#include "core/OrvalisError.h"
#include "imaging/ImageFiles.h"

#include <QColor>
#include <QDir>
#include <QPainter>
#include <algorithm>

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

void ImageLibrary::build(const QString& folder, int scrollAreaWidth) {
    images_ = listImages(folder);
    failures_.clear();
    columns_ = columnCountFor(scrollAreaWidth);
    sheet_ = QImage(sheetSize(int(images_.size()), columns_), QImage::Format_RGB32);
    sheet_.fill(kSheetGrey);
    for (int i = 0; i < images_.size(); ++i) {
        // A fresh picture for every file: a transparent PNG must not show the
        // previous picture through, and a file that cannot be decoded must
        // not repeat the previous thumbnail.
        QImage picture;
        try {
            loadImage(folder, images_[i], picture);
        } catch (const OrvalisError& error) {
            // One damaged PNG must not cost the author the rest of the sheet.
            failures_ << images_[i] + QStringLiteral(": ") + error.text();
            picture = QImage();
        }
        if (picture.isNull())
            drawBrokenMark(i);
        else
            drawThumbnail(i, picture);
    }
}

void ImageLibrary::drawThumbnail(int index, const QImage& picture) {
    const QRect place = thumbnailRect(picture.size(), index, columns_);
    QPainter painter(&sheet_);
    // Scaled once here; the sheet is then only copied to the screen.
    if (place.size() == picture.size())
        painter.drawImage(place.topLeft(), picture);
    else
        painter.drawImage(place.topLeft(),
                          picture.scaled(place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void ImageLibrary::drawBrokenMark(int index) {
    const QRect box((index % columns_) * CellWidth + BoxOffset, (index / columns_) * CellHeight + BoxOffset,
                    BoxWidth, BoxHeight);
    QPainter painter(&sheet_);
    painter.setPen(QPen(kBrokenMark, 1));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.drawLine(box.topLeft(), box.bottomRight());
    painter.drawLine(box.bottomLeft(), box.topRight());
}

int ImageLibrary::indexAt(QPoint at) const {
    if (at.x() < 0 || at.y() < 0 || at.x() >= columns_ * CellWidth)
        return -1;
    const int index = (at.y() / CellHeight) * columns_ + at.x() / CellWidth;
    return index < images_.size() ? index : -1;
}

}  // namespace orv
