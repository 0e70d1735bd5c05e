#include "MapWindow.h"

#include "MapModel.h"
#include "app/ProgramState.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace orv {

MapImageView::MapImageView(QWidget* parent, MapModel& map) : QWidget(parent), map_(map) {
    setObjectName(QStringLiteral("Mapa"));
    resize(map_.image().isNull() ? QSize(2000, 1200) : map_.image().size());
}

void MapImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), map_.image(), event->rect());
}

void MapImageView::mousePressEvent(QMouseEvent* event) {
    if (onPress)
        onPress(event);
}

MapWindow::MapWindow(QWidget* parent, ProgramState& state, MapModel& map, std::function<bool()> isReady)
    : QWidget(parent), state_(state), map_(map), isReady_(std::move(isReady)) {
    setObjectName(QStringLiteral("JanMap"));
    setAutoFillBackground(true);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("Sbox1"));
    scroll_->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);
    view_ = new MapImageView(nullptr, map_);
    scroll_->setWidget(view_);
    hide();
}

void MapWindow::opened() {}

void MapWindow::mapChanged() {
    if (!map_.image().isNull())
        view_->resize(map_.image().size());
    view_->update();
}

}  // namespace orv
