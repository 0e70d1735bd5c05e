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
#include "widgets/UndoKeys.h"
#include "widgets/Question.h"
#include "core/Adventure.h"
#include "document/AdventureDocument.h"
#include "document/MapEdits.h"
#include "net/Connection.h"
#include "widgets/DragState.h"
#include "widgets/Shape.h"
#include "imaging/ImageFiles.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QApplication>
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

MapImageView::MapImageView(QWidget* parent, const MapModel& map) : QWidget(parent), map_(map) {
    setObjectName(QStringLiteral("Mapa"));
    resize(map_.image().isNull() ? QSize(2000, 1200) : map_.image().size());
}

void MapImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), map_.image(), event->rect());
    if (devicePixelRatioF() != 1.0)
        sharpenNames(painter, event->rect());
}

void MapImageView::sharpenNames(QPainter& painter, const QRect& exposed) {
    // The map image stays at one pixel per point: it is what "Gravar img"
    // writes, the same on every screen. Only a name whose box on the image is
    // exactly what drawing it gives (not covered since by a tile or another
    // name) is drawn again, so the picture shown never says anything else.
    const QImage& image = map_.image();
    const QFontMetrics metrics(map_.font());
    const int firstRow = std::max(0, exposed.top() / MapModel::CellHeight);
    const int lastRow = std::min(MapModel::Rows - 1, exposed.bottom() / MapModel::CellHeight);
    if (namePictures_.size() > 2 * MapModel::Cells)
        namePictures_.clear();
    painter.setFont(map_.font());
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = 0; column < MapModel::Columns; ++column) {
            const int cell = row * MapModel::Columns + column;
            const QString name = map_.name(cell);
            if (name.isEmpty())
                continue;
            const QRect box = map_.nameArea(cell, name);
            if (!box.intersects(exposed) || !image.rect().contains(box))
                continue;
            auto drawn = namePictures_.find(name);
            if (drawn == namePictures_.end())
                drawn = namePictures_.insert(name, map_.namePicture(name).convertToFormat(image.format()));
            if (image.copy(box) != *drawn)
                continue;
            painter.fillRect(box, Qt::white);
            painter.setPen(Qt::black);
            painter.drawText(box.x(), box.y() + metrics.ascent(), name);
        }
    }
}

void MapImageView::mousePressEvent(QMouseEvent* event) {
    // The map takes the keys from the name box, for undo and redo.
    setFocus(Qt::MouseFocusReason);
    if (onPress)
        reportErrors([&] { onPress(event); });
}

void MapImageView::mouseMoveEvent(QMouseEvent* event) {
    if (onDrag && event->buttons() != Qt::NoButton)
        reportErrors([&] { onDrag(event); });
}

void MapImageView::mouseReleaseEvent(QMouseEvent* event) {
    if (onRelease)
        onRelease(event);
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

MapWindow::MapWindow(QWidget* parent, AdventureDocument& document, Connection& connection,
                     const ScriptSettings& settings, DragState& drag)
    : QWidget(parent), document_(document), adventure_(document.adventure()), connection_(connection),
      settings_(settings), drag_(drag), tilePicture_(TileSet::picture(0)) {
    setObjectName(QStringLiteral("JanMap"));
    setAutoFillBackground(true);
    scrollBox_ = new QScrollArea(this);
    scrollBox_->setObjectName(QStringLiteral("Sbox1"));
    scrollBox_->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scrollBox_);
    mapView_ = new MapImageView(nullptr, map());
    mapView_->setFocusPolicy(Qt::ClickFocus);
    mapView_->onPress = [this](QMouseEvent* e) { MapaMouseDown(e->position().toPoint(), e->modifiers()); };
    mapView_->onDrag = [this](QMouseEvent* e) { MapaMouseMove(e->position().toPoint()); };
    mapView_->onRelease = [this](QMouseEvent*) { MapaMouseUp(); };
    scrollBox_->setWidget(mapView_);

    // The selection marker lies on the map image itself, so it scrolls with it.
    selectionMarker_ = new Shape(mapView_, QStringLiteral("Shp2"), QRect(3, 1, 20, 20), Shape::Kind::Ellipse, QColor(0, 0, 255));
    selectionMarker_->onPress = [this](QMouseEvent*) { Shp2MouseDown(); };
    // Under the selection marker, which stays on top and clickable.
    exitOverlay_ = new ExitOverlay(mapView_, map());
    exitOverlay_->stackUnder(selectionMarker_);

    buildToolPanel();
    imageEditor_ = new PositionImageEditor(this, document_, connection_, settings_, drag_);
    hide();
    connect(&connection_, &Connection::stateChanged, this, [this] { showTransferButtons(); });
    connect(&document_, &AdventureDocument::opened, this, [this] { exitOverlay_->refresh(); });
    connect(&document_, &AdventureDocument::mapReplaced, this, [this] { fitView(); });
    connect(&document_, &AdventureDocument::cellsChanged, this, [this](QRect area) { showCells(area); });
    // A rename everywhere of the selected position: the name box follows
    // (unless the author is typing another name there).
    connect(&document_, &AdventureDocument::renamed, this, [this](const QString& from) {
        if (nameBox_->text() == from && map().name(position_) != from)
            showSelectedName();
    });
}

const MapModel& MapWindow::map() const {
    return document_.map();
}

void MapWindow::buildToolPanel() {
    auto* panel = new QFrame(this);
    toolPanel_ = panel;
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
    paintMarker_ = new Shape(sheet, QStringLiteral("Shp1"), QRect(105, tileTop(0) + 15, 15, 30), Shape::Kind::Ellipse,
                      kMaroon);
    paintMarker_->onPress = [this](QMouseEvent*) { Shp1MouseDown(); };
    palette_->setWidget(sheet);

    makeLabel(panel, QStringLiteral("lbNomPos"), QStringLiteral("Nome da posição:"), {5, 378},
              captionStyle(Qt::black));

    nameBox_ = new QLineEdit(panel);
    nameBox_->setObjectName(QStringLiteral("edNomPos"));
    nameBox_->setGeometry(5, 400, 135, 18);
    nameBox_->setFrame(false);
    QFont mono(QStringLiteral("Courier New"));
    mono.setPixelSize(13);
    mono.setBold(true);
    nameBox_->setFont(mono);
    nameBox_->setTextMargins(2, 0, 0, 0);
    nameBox_->installEventFilter(this);

    cellNumber_ = makeLabel(panel, QStringLiteral("Mtp"), QStringLiteral("000"), {5, 425}, captionStyle(Qt::black));
    cellNumber_->resize(40, cellNumber_->height());
    imageCaption_ = makeLabel(panel, QStringLiteral("lbEdImg"), QStringLiteral("imagem:"), {48, 425},
                         captionStyle(Qt::black));
    imageCaption_->setGeometry(48, 425, 58, imageCaption_->height());
    imageCaption_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    imageButton_ = makeIconButton(panel, QStringLiteral("btEdImg"), {110, 422}, [this] { btEdImgClick(); });
    imageCaption_->hide();
    imageButton_->hide();

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
        {"btUpMap", "lbUpMap", "Upload mapa", 570, grey, [this] { btUpMapClick(); }, &uploadButton_, &uploadCaption_},
        {"btDwMap", "lbDwMap", "Download", 600, grey, [this] { btDwMapClick(); }, &downloadButton_, &downloadCaption_},
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
    for (QWidget* w : {static_cast<QWidget*>(uploadButton_), static_cast<QWidget*>(uploadCaption_),
                       static_cast<QWidget*>(downloadButton_), static_cast<QWidget*>(downloadCaption_)})
        w->hide();

    statusLine_ = makeStatusLabel(panel, QStringLiteral("Msg1"), {5, 628}, 137);
}

void MapWindow::opened() {
    statusLine_->clear();
    showTransferButtons();
    // The author works here now: the keys go to the map without a first click.
    mapView_->setFocus(Qt::OtherFocusReason);
}

void MapWindow::showTransferButtons() {
    if (connection_.isReady()) {
        uploadButton_->show();
        uploadCaption_->show();
        downloadButton_->show();
        downloadCaption_->show();
        imageEditor_->showTransferButtons();
    }
}

void MapWindow::fitView() {
    if (!map().image().isNull())
        mapView_->resize(map().image().size());
    exitOverlay_->resize(mapView_->size());
    exitOverlay_->refresh();
    mapView_->update();
}

void MapWindow::showCells(QRect area) {
    // An undone clear may bring back a picture of another size.
    if (!map().image().isNull() && map().image().size() != mapView_->size()) {
        fitView();
        return;
    }
    mapView_->update(area);
    exitOverlay_->refresh();
}

void MapWindow::setPaintMode(bool on) {
    paintMode_ = on;
    paintMarker_->setFillColour(on ? kRed : kMaroon);
    if (on)
        mapView_->setCursor(Qt::DragMoveCursor);
    else
        mapView_->unsetCursor();
}

void MapWindow::showImageButton(bool visible) {
    imageCaption_->setVisible(visible);
    imageButton_->setVisible(visible);
}

void MapWindow::MapTileClick(int tile) {
    if (tile < 0 || tile >= TileSet::Count)
        return;
    paintMarker_->move(paintMarker_->x(), tiles_[tile]->y() + 15);
    QPainter(&tilePicture_).drawImage(0, 0, TileSet::picture(tile));
    tile_ = tile;
}

void MapWindow::Shp1MouseDown() {
    setPaintMode(!paintMode_);
}

void MapWindow::Shp2MouseDown() {
    setPaintMode(!paintMode_);
}

void MapWindow::MapaMouseDown(QPoint at, Qt::KeyboardModifiers modifiers) {
    painting_ = false;
    run_ = nullptr;
    // Outside the 20 x 20 grid there is no cell, so nothing to select or paint.
    const int cell = MapModel::cellAt(at.x(), at.y());
    if (cell < 0)
        return;
    showSelectedCell(cell);
    if (paintMode_) {
        // The tile covers the name drawn in the cell; the name line stays.
        painting_ = true;
        runTile_ = tile_;
        lastPoint_ = at;
        paintInRun(cell);
        // Shift keeps painting armed, for cells far apart.
        if (!(modifiers & Qt::ShiftModifier))
            setPaintMode(false);
    }
    if (onCellSelected)
        onCellSelected(cell);
}

void MapWindow::paintInRun(int cell) {
    EditHistory& history = document_.mapHistory();
    // The run goes on only while it is still the newest step (an undo in the
    // middle of a drag ends it; the cells after it start a new one).
    if (run_ && (history.index() == 0 || history.command(history.index() - 1) != run_))
        run_ = nullptr;
    if (run_) {
        run_->add(cell);
        return;
    }
    auto run = std::make_unique<PaintRun>(document_, runTile_);
    PaintRun* started = run.get();
    started->add(cell);
    history.perform(std::move(run));
    // A run that changed nothing is not kept; the next cell starts another.
    if (history.index() > 0 && history.command(history.index() - 1) == started)
        run_ = started;
}

void MapWindow::MapaMouseMove(QPoint at) {
    if (!painting_)
        return;
    // A quick move skips cells between two events: every cell on the way
    // is painted, in steps shorter than the smallest side of a cell.
    const QPoint from = lastPoint_;
    lastPoint_ = at;
    const QPoint delta = at - from;
    const int steps = std::max(1, delta.manhattanLength() / 20);
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + delta * i / steps;
        const int cell = MapModel::cellAt(p.x(), p.y());
        if (cell >= 0 && !(run_ && run_->contains(cell)))
            paintInRun(cell);
    }
}

void MapWindow::MapaMouseUp() {
    painting_ = false;
    run_ = nullptr;
}

bool MapWindow::emptySelectedCell() {
    const QString name = map().name(position_);
    enum { Empty, Keep };
    if (!name.isEmpty() && MapCompiler::isUsableFileName(name) &&
        fileExists(adventure_.folder() + name + QStringLiteral(".scp")) &&
        Question::ask(this, QStringLiteral("JanApagar"), QStringLiteral("Apagar posição"),
                      QStringLiteral("Apagar a posição \"%1\" do mapa? O roteiro \"%2\" fica na pasta da "
                                     "aventura como está.")
                          .arg(name, name + QStringLiteral(".scp")),
                      {{Empty, QStringLiteral("btApagarSim"), QStringLiteral("Apagar")},
                       {Keep, QStringLiteral("btApagarNao"), QStringLiteral("Cancelar"), true, true}}) != Empty)
        return false;
    document_.mapHistory().perform(std::make_unique<EmptyCell>(document_, position_));
    showSelectedName();
    return true;
}

void MapWindow::selectCell(int cell) {
    if (cell < 0 || cell >= MapModel::Cells)
        return;
    showSelectedCell(cell);
    const int column = MapModel::column(cell);
    const int row = MapModel::row(cell);
    // The whole cell in view, with room around it for its neighbours.
    scrollBox_->ensureVisible(column * MapModel::CellWidth + MapModel::CellWidth / 2,
                              row * MapModel::CellHeight + MapModel::CellHeight / 2, MapModel::CellWidth,
                              MapModel::CellHeight);
    if (onCellSelected)
        onCellSelected(cell);
}

void MapWindow::showSelectedCell(int cell) {
    statusLine_->clear();
    position_ = cell;
    cellNumber_->setText(QString::number(cell));
    const QString name = map().name(cell);
    nameBox_->setText(name);
    imageEditor_->setPositionName(name);
    if (!name.isEmpty()) {
        showImageButton(true);
        const QString image = name + QLatin1Char('.') + settings_.imageExtension;
        if (MapCompiler::isUsableFileName(name) && fileExists(adventure_.folder() + image))
            imageEditor_->openEditor();
        else
            imageEditor_->hide();
    } else {
        showImageButton(false);
        imageEditor_->hide();
    }
    const int column = MapModel::column(cell);
    const int row = MapModel::row(cell);
    // In the cell's top-left corner, above where its name is written.
    selectionMarker_->move(column * MapModel::CellWidth + 3, row * MapModel::CellHeight + 1);
}

void MapWindow::edNomPosKeyPress(QChar key) {
    if (key != QChar(13))
        return;
    const QString name = nameBox_->text();
    if (name.isEmpty())
        return;
    // Only a cell with a tile stands for a position.
    if (map().tile(position_).isEmpty())
        return;
    // The name becomes the script's file name in the adventure folder.
    if (!MapCompiler::isUsableFileName(name))
        throw OrvalisError(
            QStringLiteral("O nome \"%1\" não pode ser usado como nome de arquivo (sem barras, \".\" ou \"..\").")
                .arg(name));
    imageEditor_->setPositionName(name);
    const QString script = adventure_.folder() + name + QStringLiteral(".scp");
    EditHistory& history = document_.mapHistory();
    // An existing script may hold the author's own work: it is never replaced here.
    try {
        if (!fileExists(script)) {
            QStringList named = map().lines();
            named[2 * position_] = name;
            ListFile::write(script, MapCompiler::buildPositionBlock(named, position_, settings_.defaultScriptMode,
                                                                    settings_.imageExtension, adventure_.folder()));
        }
    } catch (...) {
        // The name is stored though its script could not be written (it is
        // not drawn then); that much can be undone too.
        history.perform(std::make_unique<NamePosition>(document_, position_, name, false));
        throw;
    }
    history.perform(std::make_unique<NamePosition>(document_, position_, name));
    showImageButton(true);
}

void MapWindow::btCsMapClick() {
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    // The map and its file are emptied at once: a map holding any cell asks first.
    const QStringList& lines = map().lines();
    const bool holdsCells = std::any_of(lines.begin(), lines.end(), [](const QString& l) { return !l.isEmpty(); });
    enum { Clear, Keep };
    if (holdsCells &&
        Question::ask(this, QStringLiteral("JanLimpar"), QStringLiteral("Limpar mapa"),
                      QStringLiteral("Limpar o mapa de \"%1\"? Todas as posições do mapa e o arquivo \"%2\" "
                                     "ficam vazios.")
                          .arg(adventure_.name(), adventure_.name() + QStringLiteral(".map")),
                      {{Clear, QStringLiteral("btLimparSim"), QStringLiteral("Limpar")},
                       {Keep, QStringLiteral("btLimparNao"), QStringLiteral("Cancelar"), true, true}}) != Clear)
        return;
    document_.mapHistory().perform(std::make_unique<ClearMap>(document_));
    if (document_.saveMap())
        statusLine_->setText(QStringLiteral("Ok!"));
}

void MapWindow::btGrMapClick() {
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    if (document_.saveMap())
        statusLine_->setText(QStringLiteral("Ok, gravado!"));
}

void MapWindow::btImgSavClick() {
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    saveImage(adventure_.folder(), adventure_.name() + QStringLiteral("-mapa"), map().image(),
              QStringLiteral("png"));
    statusLine_->setText(QStringLiteral("Imagem gravada."));
}

ItemTransfer::Context MapWindow::transferContext() {
    return {&connection_, adventure_.name(), adventure_.folder(),
            [this](const QString& text) { statusLine_->setText(text); }, [this](const QString& file) { return Question::replaceChangedFile(this, file); }};
}

void MapWindow::btUpMapClick() {
    ItemTransfer::uploadMap(transferContext(), [this] { document_.saveMap(); }, [this] { document_.loadMap(); });
}

void MapWindow::btDwMapClick() {
    ItemTransfer::downloadMap(transferContext(), [this] { document_.loadMap(); });
}

void MapWindow::btMapCplClick() {
    if (document_.transferRunning()) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    MapCompiler::compile(map().lines(), settings_, adventure_.folder());
    statusLine_->setText(QStringLiteral("Scpts compilados."));
}

void MapWindow::btEdImgClick() {
    imageEditor_->openEditor();
}

void MapWindow::undoEdit() {
    if (nameBox_->hasFocus())
        return;
    if (document_.transferRunning() && document_.nextMapStepRewritesFiles(true)) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    EditHistory& history = document_.mapHistory();
    const bool taken = history.undoStep();
    afterStep(taken, history.index());
}

void MapWindow::redoEdit() {
    if (nameBox_->hasFocus())
        return;
    if (document_.transferRunning() && document_.nextMapStepRewritesFiles(false)) {
        statusLine_->setText(ItemTransfer::transferRunningText());
        return;
    }
    EditHistory& history = document_.mapHistory();
    const bool taken = history.redoStep();
    afterStep(taken, history.index() - 1);
}

void MapWindow::afterStep(bool taken, int stepIndex) {
    if (!taken)
        return;
    statusLine_->clear();
    // The selected position's name came back or went: the name box and the
    // picture button follow, as when the cell is selected.
    const auto* step = dynamic_cast<const MapEdit*>(document_.mapHistory().command(stepIndex));
    if (step && (step->part().wholeMap || step->part().lines.contains(2 * position_)))
        showSelectedName();
}

void MapWindow::showSelectedName() {
    const QString name = map().name(position_);
    nameBox_->setText(name);
    imageEditor_->setPositionName(name);
    showImageButton(!name.isEmpty());
    if (name.isEmpty())
        imageEditor_->hide();
}

bool MapWindow::JanMapKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    // A hidden window never acts on a key.
    if (!isVisible())
        return false;
    modifiers &= Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;
    if (key == Qt::Key_F2 && modifiers == Qt::NoModifier) {
        exitOverlay_->setVisible(!exitOverlay_->isVisible());
        return true;
    }
    if (key == Qt::Key_S && modifiers == Qt::ControlModifier) {
        btGrMapClick();
        return true;
    }
    if (nameBox_->hasFocus())
        return false;
    // Delete from inside the position image editor is not meant for the map.
    const QWidget* focus = QApplication::focusWidget();
    if (key == Qt::Key_Delete && modifiers == Qt::NoModifier && !(focus && imageEditor_->isAncestorOf(focus))) {
        emptySelectedCell();
        return true;
    }
    switch (undoKeyOf(key, modifiers)) {
    case UndoKey::Undo:
        undoEdit();
        return true;
    case UndoKey::Redo:
        redoEdit();
        return true;
    case UndoKey::None:
        return false;
    }
    return false;
}

void MapWindow::keyPressEvent(QKeyEvent* event) {
    if (!handleKeyDown(event, [this](int key, Qt::KeyboardModifiers m) { return JanMapKeyDown(key, m); }))
        QWidget::keyPressEvent(event);
}

bool MapWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == nameBox_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            reportErrors([this] { edNomPosKeyPress(QChar(13)); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace orv
