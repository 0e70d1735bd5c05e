#include "document/EditedPicture.h"

#include <QPainter>

namespace orv {

namespace {

// The pixels one step on a picture changed, before and after.
class PictureEdit : public Edit {
public:
    PictureEdit(EditedPicture& picture, QRect area, QImage before, QImage after)
        : Edit(QStringLiteral("desenho")), picture_(picture), generation_(picture.generation()), area_(area),
          before_(std::move(before)), after_(std::move(after)) {}

    bool changedNothing() const override { return before_ == after_; }
    qsizetype bytes() const override { return before_.sizeInBytes() + after_.sizeInBytes(); }
    const EditedPicture& picture() const { return picture_; }
    quint64 generation() const { return generation_; }

private:
    void again() override { picture_.putBack(area_.topLeft(), after_); }
    void back() override { picture_.putBack(area_.topLeft(), before_); }
    void forget() override {
        before_ = {};
        after_ = {};
    }

    EditedPicture& picture_;
    quint64 generation_;
    QRect area_;
    QImage before_;
    QImage after_;
};

}  // namespace

EditedPicture::EditedPicture(EditHistory& history, QObject* parent) : QObject(parent), history_(history) {}

void EditedPicture::replace(QImage image) {
    image_ = std::move(image);
    const quint64 old = generation_++;
    stroking_ = false;
    strokeStart_ = QImage();
    history_.releaseWhere([this, old](const Edit& e) {
        const auto* p = dynamic_cast<const PictureEdit*>(&e);
        return p && &p->picture() == this && p->generation() <= old;
    });
    emit replaced();
}

void EditedPicture::beginStroke() {
    stroking_ = true;
    strokeStart_ = image_;
    strokeArea_ = QRect();
}

void EditedPicture::drawLine(QPoint from, QPoint to, const QPen& pen) {
    if (image_.isNull())
        return;
    const QImage before = stroking_ ? QImage() : image_;
    {
        QPainter painter(&image_);
        painter.setPen(pen);
        painter.drawLine(from, to);
    }
    const int reach = int(pen.widthF() / 2) + 2;
    const QRect area = QRect(from, to).normalized().adjusted(-reach, -reach, reach, reach).intersected(image_.rect());
    if (stroking_)
        strokeArea_ |= area;
    else
        record(area, before);
    emit changed(area);
}

void EditedPicture::endStroke() {
    if (!stroking_)
        return;
    stroking_ = false;
    const QImage before = std::exchange(strokeStart_, QImage());
    if (!strokeArea_.isEmpty() && before.size() == image_.size())
        record(strokeArea_, before);
}

void EditedPicture::fill(QRect area, const QColor& colour) {
    if (image_.isNull())
        return;
    const QImage before = image_;
    {
        QPainter painter(&image_);
        painter.fillRect(area, colour);
    }
    area = area.intersected(image_.rect());
    record(area, before);
    emit changed(area);
}

void EditedPicture::record(QRect area, const QImage& before) {
    if (area.isEmpty())
        return;
    history_.perform(std::make_unique<PictureEdit>(*this, area, before.copy(area), image_.copy(area)));
}

void EditedPicture::putBack(QPoint at, const QImage& pixels) {
    if (pixels.isNull())
        return;
    {
        QPainter painter(&image_);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(at, pixels);
    }
    emit changed(QRect(at, pixels.size()));
}

}  // namespace orv
