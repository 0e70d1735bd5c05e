#pragma once
#include "document/EditHistory.h"

#include <QImage>
#include <QObject>
#include <QPen>
#include <QRect>

namespace orv {

// A picture the author draws on (the position picture, the panel picture):
// the window shows it, strokes and fills change it here, and each stroke or
// fill is one step of its history.
class EditedPicture : public QObject {
    Q_OBJECT
public:
    EditedPicture(EditHistory& history, QObject* parent = nullptr);

    const QImage& image() const { return image_; }
    // The picture shown is replaced (another file opened): its earlier
    // strokes no longer apply and are let go of.
    void replace(QImage image);
    // Which picture the steps belong to; a replaced picture is another one.
    quint64 generation() const { return generation_; }

    // A stroke: begun on a press, drawn line by line as the pointer moves,
    // ended on the release, when it becomes one step. Lines drawn with no
    // stroke begun are a step each.
    void beginStroke();
    void drawLine(QPoint from, QPoint to, const QPen& pen);
    void endStroke();
    // One step: `area` (clipped to the picture) filled with `colour`.
    void fill(QRect area, const QColor& colour);

    // Puts pixels back over the picture at `at` (undo and redo).
    void putBack(QPoint at, const QImage& pixels);

signals:
    void changed(QRect area);  // in picture coordinates
    void replaced();

private:
    void record(QRect area, const QImage& before);

    EditHistory& history_;
    QImage image_;
    quint64 generation_ = 0;
    bool stroking_ = false;
    QImage strokeStart_;  // the picture as the stroke found it, shared until the first line
    QRect strokeArea_;
};

}  // namespace orv
