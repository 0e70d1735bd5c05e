#include "MapWindow.h"
#include "core/ErrorReport.h"

#include "MapCompiler.h"
#include "MapModel.h"
#include "PositionImageEditor.h"
#include "TileSet.h"
#include "widgets/Controls.h"
#include "core/ListFile.h"
#include "core/OrvalisError.h"
#include "widgets/PictureBox.h"
#include "core/Adventure.h"
#include "net/Connection.h"
#include "widgets/DragState.h"
#include "widgets/Shape.h"
#include "imaging/ImageFiles.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace orv {

namespace {

const QColor kGrey(198, 198, 198);
const QColor kMaroon(128, 0, 0);
const QColor kRed(255, 0, 0);

// Palette places: tile N at (5, 5 + 65 N), the paint marker at x = 105
// beside the chosen tile.
constexpr int kTileLeft = 5;
int tileTop(int tile) { return 5 + 65 * tile; }

void setWindowColour(QWidget* widget, const QColor& colour) {
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, colour);
    widget->setPalette(pal);
}

LabelStyle captionStyle(const QColor& colour) {
    return LabelStyle{13, true, true, colour};
}

}  // namespace

MapImageView::MapImageView(QWidget* parent, MapModel& map) : QWidget(parent), map_(map) {
    setObjectName(QStringLiteral("Mapa"));
    resize(map_.image().isNull() ? QSize(2000, 1200) : map_.image().size());
}

void MapImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), map_.image(), event->rect());
}

void MapImageView::mousePressEvent(QMouseEvent* event) {
    // The map takes the keys from the name box, for undo and redo.
    setFocus(Qt::MouseFocusReason);
    if (onPress)
        reportErrors([&] { onPress(event); });
}

namespace {

const QColor kExitColour(0, 80, 220);
const QColor kDeadDoorColour(255, 0, 0);
const QColor kBadNameColour(255, 128, 0);

QRect cellRect(int cell) {
    return QRect(MapModel::column(cell) * MapModel::CellWidth, MapModel::row(cell) * MapModel::CellHeight,
                 MapModel::CellWidth, MapModel::CellHeight);
}

// Unit steps of a direction on screen, and the right-hand side of it.
QPoint stepOf(MapExits::Direction d) {
    switch (d) {
    case MapExits::Direction::North: return {0, -1};
    case MapExits::Direction::East: return {1, 0};
    case MapExits::Direction::South: return {0, 1};
    case MapExits::Direction::West: return {-1, 0};
    }
    return {};
}

// The middle of a cell's side.
QPointF sideOf(const QRect& cell, QPoint step) {
    const QPointF centre = QRectF(cell).center();
    return centre + QPointF(step.x() * cell.width() / 2.0, step.y() * cell.height() / 2.0);
}

void drawArrow(QPainter& painter, QPointF from, QPointF to) {
    painter.drawLine(from, to);
    const QLineF line(to, from);
    if (line.length() < 1)
        return;
    const QPointF along = (from - to) / line.length();
    const QPointF across(-along.y(), along.x());
    QPolygonF head;
    head << to << to + along * 9 + across * 4 << to + along * 9 - across * 4;
    painter.drawPolygon(head);
}

}  // namespace

ExitOverlay::ExitOverlay(QWidget* parent, const MapModel& map) : QWidget(parent), map_(map) {
    setObjectName(QStringLiteral("MapExits"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    resize(parent->size());
    hide();
}

void ExitOverlay::refresh() {
    outOfDate_ = true;
    if (isVisible())
        update();
}

void ExitOverlay::showEvent(QShowEvent* event) {
    outOfDate_ = true;
    QWidget::showEvent(event);
}

const QList<MapExits::Position>& ExitOverlay::positions() {
    if (outOfDate_) {
        positions_ = MapExits::list(map_.lines());
        outOfDate_ = false;
        ++readings_;
    }
    return positions_;
}

void ExitOverlay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect exposed = event->rect();
    // Arrows run from a little inside the door's cell to a little inside the
    // target's facing side, shifted right of their way, so that two exits
    // back and forth between the same cells show as two arrows.
    constexpr double kInsetX = 10, kInsetY = 10, kShift = 5;
    for (const MapExits::Position& p : positions()) {
        const QRect cell = cellRect(p.cell);
        for (const MapExits::Exit& e : p.exits) {
            const QPoint step = stepOf(e.direction);
            const QPointF inset(step.x() * kInsetX, step.y() * kInsetY);
            const QPointF shift(-step.y() * kShift, step.x() * kShift);
            const QPointF from = sideOf(cell, step) - inset + shift;
            const QPointF to = sideOf(cellRect(e.target), -step) + inset + shift;
            if (!exposed.intersects(QRectF(from, to).normalized().adjusted(-10, -10, 10, 10).toAlignedRect()))
                continue;
            painter.setPen(QPen(kExitColour, 2));
            painter.setBrush(kExitColour);
            drawArrow(painter, from, to);
        }
        if (!exposed.intersects(cell.adjusted(-10, -10, 10, 10)))
            continue;
        for (const MapExits::DeadDoor& d : p.deadDoors) {
            // A red cross on the door; a door off the grid also gets a bar
            // on the edge it runs into.
            const QPoint step = stepOf(d.direction);
            const QPointF door = sideOf(cell, step) - QPointF(step.x() * 8, step.y() * 8);
            painter.setPen(QPen(kDeadDoorColour, 3));
            painter.drawLine(door + QPointF(-5, -5), door + QPointF(5, 5));
            painter.drawLine(door + QPointF(-5, 5), door + QPointF(5, -5));
            if (d.leftGrid) {
                const QPointF edge = sideOf(cell, step) - QPointF(step.x() * 2, step.y() * 2);
                const QPointF across(step.y() * 12, step.x() * 12);
                painter.drawLine(edge - across, edge + across);
            }
        }
        if (!p.usableName) {
            painter.setPen(QPen(kBadNameColour, 3, Qt::DashLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRectF(cell).adjusted(3, 3, -3, -3));
        }
    }
}

MapWindow::MapWindow(QWidget* parent, Adventure& adventure, Connection& connection, const ScriptSettings& settings,
                     DragState& drag, MapModel& map, std::function<void()> loadMap)
    : QWidget(parent), adventure_(adventure), connection_(connection), settings_(settings), drag_(drag), map_(map),
      loadMap_(std::move(loadMap)),
      tipMap_(TileSet::picture(0)) {
    setObjectName(QStringLiteral("JanMap"));
    setAutoFillBackground(true);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("Sbox1"));
    scroll_->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);
    view_ = new MapImageView(nullptr, map_);
    view_->setFocusPolicy(Qt::ClickFocus);
    view_->onPress = [this](QMouseEvent* e) { MapaMouseDown(e->position().toPoint()); };
    scroll_->setWidget(view_);

    // The selection marker lies on the map image itself, so it scrolls with it.
    shp2_ = new Shape(view_, QStringLiteral("Shp2"), QRect(40, 20, 20, 20), Shape::Kind::Ellipse, QColor(0, 0, 255));
    shp2_->onPress = [this](QMouseEvent*) { Shp2MouseDown(); };
    // Under the selection marker, which stays on top and clickable.
    exits_ = new ExitOverlay(view_, map_);
    exits_->stackUnder(shp2_);

    buildToolPanel();
    editor_ = new PositionImageEditor(this, adventure_, connection_, settings_, drag_);
    hide();
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
    // Edits of one adventure's map are not undone on another's.
    connect(&adventure_, &Adventure::opened, this, [this] {
        history_.clear();
        exits_->refresh();
    });
}

void MapWindow::buildToolPanel() {
    auto* panel = new QFrame(this);
    panMap_ = panel;
    panel->setObjectName(QStringLiteral("PanMap"));
    panel->setGeometry(90, 15, 145, 650);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    setWindowColour(panel, kGrey);

    makeDragHandle(panel, QStringLiteral("brPikMap"), QRect(2, 3, 141, 20), drag_, panel, false);

    palette_ = new QScrollArea(panel);
    palette_->setObjectName(QStringLiteral("Sbox2"));
    palette_->setGeometry(5, 25, 135, 346);
    palette_->setFrameShape(QFrame::Box);
    palette_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    palette_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    palette_->setStyleSheet(QStringLiteral("QScrollBar:vertical { width: 12px; }"));
    auto* sheet = new QWidget;
    sheet->setObjectName(QStringLiteral("Sbox2Conteudo"));
    setWindowColour(sheet, kGrey);
    sheet->resize(121, tileTop(TileSet::Count));
    for (int n = 0; n < TileSet::Count; ++n) {
        auto* tile = new PictureBox(sheet, QStringLiteral("Map%1").arg(n),
                                    QRect(kTileLeft, tileTop(n), TileSet::Width, TileSet::Height),
                                    TileSet::picture(n));
        tile->onClick = [this, n] { MapTileClick(n); };
        tiles_[n] = tile;
    }
    shp1_ = new Shape(sheet, QStringLiteral("Shp1"), QRect(105, tileTop(0) + 15, 15, 30), Shape::Kind::Ellipse,
                      kMaroon);
    shp1_->onPress = [this](QMouseEvent*) { Shp1MouseDown(); };
    palette_->setWidget(sheet);

    makeLabel(panel, QStringLiteral("lbNomPos"), QStringLiteral("Nome da posição:"), {5, 378},
              captionStyle(Qt::black));

    edNomPos_ = new QLineEdit(panel);
    edNomPos_->setObjectName(QStringLiteral("edNomPos"));
    edNomPos_->setGeometry(5, 400, 135, 18);
    edNomPos_->setFrame(false);
    QFont mono(QStringLiteral("Courier New"));
    mono.setPixelSize(13);
    mono.setBold(true);
    edNomPos_->setFont(mono);
    edNomPos_->setTextMargins(2, 0, 0, 0);
    edNomPos_->installEventFilter(this);

    mtp_ = makeLabel(panel, QStringLiteral("Mtp"), QStringLiteral("000"), {5, 425}, captionStyle(Qt::black));
    mtp_->resize(40, mtp_->height());
    lbEdImg_ = makeLabel(panel, QStringLiteral("lbEdImg"), QStringLiteral("imagem:"), {48, 425},
                         captionStyle(Qt::black));
    lbEdImg_->setGeometry(48, 425, 58, lbEdImg_->height());
    lbEdImg_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    btEdImg_ = makeIconButton(panel, QStringLiteral("btEdImg"), {110, 422}, [this] { btEdImgClick(); });
    lbEdImg_->hide();
    btEdImg_->hide();

    struct Tool {
        const char* button;
        const char* label;
        const char* caption;
        int top;
        QColor colour;
        std::function<void()> action;
        PictureBox** keepButton = nullptr;  // the transfer pair is kept to show it later
        QLabel** keepLabel = nullptr;
    };
    const QColor grey(128, 128, 128);
    const Tool tools[] = {
        {"btCsMap", "lbCsMap", "Limpar mapa", 450, grey, [this] { btCsMapClick(); }},
        {"btGrMap", "lbGrMap", "Gravar mapa", 480, grey, [this] { btGrMapClick(); }},
        {"btImgSav", "lbImgSav", "Gravar img", 510, QColor(0, 128, 0), [this] { btImgSavClick(); }},
        {"btMapCpl", "lbMapCpl", "Compilar...", 540, QColor(0, 0, 128), [this] { btMapCplClick(); }},
        {"btUpMap", "lbUpMap", "Upload mapa", 570, grey, [this] { btUpMapClick(); }, &btUpMap_, &lbUpMap_},
        {"btDwMap", "lbDwMap", "Download", 600, grey, [this] { btDwMapClick(); }, &btDwMap_, &lbDwMap_},
    };
    for (const Tool& t : tools) {
        PictureBox* button = makeIconButton(panel, QString::fromLatin1(t.button), {5, t.top}, t.action);
        QLabel* label = makeLabel(panel, QString::fromLatin1(t.label), QString::fromUtf8(t.caption), {38, t.top + 3},
                                  captionStyle(t.colour));
        if (t.keepButton) {
            *t.keepButton = button;
            *t.keepLabel = label;
        }
    }
    for (QWidget* w : {static_cast<QWidget*>(btUpMap_), static_cast<QWidget*>(lbUpMap_),
                       static_cast<QWidget*>(btDwMap_), static_cast<QWidget*>(lbDwMap_)})
        w->hide();

    msg1_ = makeStatusLabel(panel, QStringLiteral("Msg1"), {5, 628}, 137);
}

void MapWindow::opened() {
    msg1_->clear();
    showTransferButtons();
}

void MapWindow::showTransferButtons() {
    if (connection_.isReady()) {
        btUpMap_->show();
        lbUpMap_->show();
        btDwMap_->show();
        lbDwMap_->show();
        editor_->showTransferButtons();
    }
}

void MapWindow::mapChanged() {
    // A loaded map starts a history of its own.
    history_.clear();
    fitView();
}

void MapWindow::fitView() {
    if (!map_.image().isNull())
        view_->resize(map_.image().size());
    exits_->resize(view_->size());
    exits_->refresh();
    view_->update();
}

QString MapWindow::mapFile() const {
    return adventure_.folder() + adventure_.name() + QStringLiteral(".map");
}

void MapWindow::redrawRow(int cell) {
    // A name may reach past its cell to the left and right, never above or below.
    view_->update(0, MapModel::row(cell) * MapModel::CellHeight, view_->width(), MapModel::CellHeight);
}

void MapWindow::setPaintMode(bool on) {
    paintMode_ = on;
    shp1_->setFillColour(on ? kRed : kMaroon);
    if (on)
        view_->setCursor(Qt::DragMoveCursor);
    else
        view_->unsetCursor();
}

void MapWindow::showImageButton(bool visible) {
    lbEdImg_->setVisible(visible);
    btEdImg_->setVisible(visible);
}

void MapWindow::MapTileClick(int tile) {
    if (tile < 0 || tile >= TileSet::Count)
        return;
    shp1_->move(shp1_->x(), tiles_[tile]->y() + 15);
    QPainter(&tipMap_).drawImage(0, 0, TileSet::picture(tile));
    tile_ = tile;
}

void MapWindow::Shp1MouseDown() {
    setPaintMode(!paintMode_);
}

void MapWindow::Shp2MouseDown() {
    setPaintMode(!paintMode_);
}

void MapWindow::MapaMouseDown(QPoint at) {
    // Outside the 20 x 20 grid there is no cell, so nothing to select or paint.
    const int cell = MapModel::cellAt(at.x(), at.y());
    if (cell < 0)
        return;
    msg1_->clear();
    position_ = cell;
    mtp_->setText(QString::number(cell));
    const QString name = map_.name(cell);
    edNomPos_->setText(name);
    editor_->setPositionName(name);
    if (!name.isEmpty()) {
        showImageButton(true);
        const QString image = name + QLatin1Char('.') + settings_.imageExtension;
        if (MapCompiler::isUsableFileName(name) && fileExists(adventure_.folder() + image))
            editor_->openEditor();
        else
            editor_->hide();
    } else {
        showImageButton(false);
        editor_->hide();
    }
    const int column = MapModel::column(cell);
    const int row = MapModel::row(cell);
    shp2_->move(column * MapModel::CellWidth + 40, row * MapModel::CellHeight + 20);
    if (paintMode_) {
        // The tile covers the name drawn in the cell; the name line stays.
        history_.paint(map_, cell, tile_);
        exits_->refresh();
        setPaintMode(false);
        view_->update(column * MapModel::CellWidth, row * MapModel::CellHeight, MapModel::CellWidth,
                      MapModel::CellHeight);
    }
}

void MapWindow::edNomPosKeyPress(QChar key) {
    if (key != QChar(13))
        return;
    const QString name = edNomPos_->text();
    if (name.isEmpty())
        return;
    // Only a cell with a tile stands for a position.
    if (map_.tile(position_).isEmpty())
        return;
    // The name becomes the script's file name in the adventure folder.
    if (!MapCompiler::isUsableFileName(name))
        throw OrvalisError(
            QStringLiteral("O nome \"%1\" não pode ser usado como nome de arquivo (sem barras, \".\" ou \"..\").")
                .arg(name));
    MapHistory::Before before = MapHistory::beforeNaming(map_, position_, name);
    map_.setName(position_, name);
    editor_->setPositionName(name);
    exits_->refresh();
    const QString script = adventure_.folder() + name + QStringLiteral(".scp");
    // An existing script may hold the author's own work: it is never replaced here.
    try {
        if (!fileExists(script))
            ListFile::write(script, MapCompiler::buildPositionBlock(map_.lines(), position_,
                                                                    settings_.defaultScriptMode,
                                                                    settings_.imageExtension, adventure_.folder()));
    } catch (...) {
        // The name is stored though its script could not be written; that
        // much can be undone too.
        history_.commit(map_, std::move(before));
        throw;
    }
    map_.drawName(position_);
    history_.commit(map_, std::move(before));
    redrawRow(position_);
    showImageButton(true);
}

void MapWindow::btCsMapClick() {
    MapHistory::Before before = MapHistory::beforeWholeMap(map_);
    try {
        map_.reset();
    } catch (...) {
        // The lines were emptied before the background failed to read.
        history_.commit(map_, std::move(before));
        exits_->refresh();
        throw;
    }
    history_.commit(map_, std::move(before));
    fitView();
    map_.save(mapFile());
    msg1_->setText(QStringLiteral("Ok!"));
}

void MapWindow::btGrMapClick() {
    map_.save(mapFile());
    msg1_->setText(QStringLiteral("Ok, gravado!"));
}

void MapWindow::btImgSavClick() {
    saveImage(adventure_.folder(), adventure_.name() + QStringLiteral("-mapa"), map_.image(),
              QStringLiteral("png"));
    msg1_->setText(QStringLiteral("Imagem gravada."));
}

ItemTransfer::Context MapWindow::transferContext() {
    return {&connection_, adventure_.name(), adventure_.folder(), [this](const QString& text) { msg1_->setText(text); }};
}

void MapWindow::btUpMapClick() {
    ItemTransfer::uploadMap(transferContext(), [this] { map_.save(mapFile()); }, loadMap_);
}

void MapWindow::btDwMapClick() {
    ItemTransfer::downloadMap(transferContext(), loadMap_);
}

void MapWindow::btMapCplClick() {
    MapCompiler::compile(map_.lines(), settings_, adventure_.folder());
    msg1_->setText(QStringLiteral("Scpts compilados."));
}

void MapWindow::btEdImgClick() {
    editor_->openEditor();
}

void MapWindow::undoEdit() {
    if (edNomPos_->hasFocus())
        return;
    if (const auto change = history_.undo(map_))
        showChange(*change);
}

void MapWindow::redoEdit() {
    if (edNomPos_->hasFocus())
        return;
    if (const auto change = history_.redo(map_))
        showChange(*change);
}

void MapWindow::showChange(const MapHistory::Change& change) {
    msg1_->clear();
    if (change.wholeMap)
        fitView();
    else {
        view_->update(change.area);
        exits_->refresh();
    }
    // The selected position's name came back or went: the name box and the
    // picture button follow, as when the cell is selected.
    if (change.wholeMap || change.lines.contains(2 * position_)) {
        const QString name = map_.name(position_);
        edNomPos_->setText(name);
        editor_->setPositionName(name);
        showImageButton(!name.isEmpty());
        if (name.isEmpty())
            editor_->hide();
    }
}

bool MapWindow::JanMapKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    modifiers &= Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;
    if (key == Qt::Key_F2 && modifiers == Qt::NoModifier) {
        exits_->setVisible(!exits_->isVisible());
        return true;
    }
    if (edNomPos_->hasFocus())
        return false;
    if (key == Qt::Key_Z && modifiers == Qt::ControlModifier) {
        undoEdit();
        return true;
    }
    if ((key == Qt::Key_Y && modifiers == Qt::ControlModifier) ||
        (key == Qt::Key_Z && modifiers == (Qt::ControlModifier | Qt::ShiftModifier))) {
        redoEdit();
        return true;
    }
    return false;
}

void MapWindow::keyPressEvent(QKeyEvent* event) {
    bool handled = false;
    reportErrors([&] { handled = JanMapKeyDown(event->key(), event->modifiers()); });
    if (handled)
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

bool MapWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edNomPos_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            reportErrors([this] { edNomPosKeyPress(QChar(13)); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace orv
