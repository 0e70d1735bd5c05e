// The map window driven as the author drives it: palette clicks, presses on
// the map image, typing in the name box, the map buttons.
#include "core/Cp1252.h"
#include "core/ListFile.h"
#include "widgets/PictureBox.h"
#include "support/TestAdventure.h"
#include "widgets/Shape.h"
#include "core/OrvalisError.h"
#include "map/MapCompiler.h"
#include "map/MapModel.h"
#include "map/MapWindow.h"
#include "map/PositionImageEditor.h"
#include "map/TileSet.h"
#include "support/QtTestMain.h"
#include "support/Questions.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace orv;

namespace {

// What the error report would have shown, from the shared test main.
QStringList& reported() {
    return test::reportedErrors();
}

class MapWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QString ws = dir_.path() + QLatin1Char('/');
        // Larger than the grid, so that presses beyond it land on the picture.
        QImage background(2100, 1300, QImage::Format_RGB32);
        background.fill(QColor(214, 214, 206));
        ASSERT_TRUE(background.save(ws + "defmap.bmp", "BMP"));
        ASSERT_TRUE(QDir().mkpath(ws + "Floresta"));
        state_ = std::make_unique<test::TestAdventure>(ws, "Floresta");
        QStringList settings(60, "0");
        settings[58] = "320";
        settings[59] = "200";
        state_->setSettings(settings);
        document().resetMap();
        map_ = &document().map();
        host_ = std::make_unique<QWidget>();
        host_->resize(1297, 722);
        window_ = new MapWindow(host_.get(), document(), state_->connection, state_->settings, state_->drag);
        window_->setGeometry(0, 0, 1297, 722);
        host_->show();
        window_->show();
        window_->opened();
        reported().clear();
    }

    AdventureDocument& document() { return state_->document; }
    // The map as the document holds it, changed outside the window's edits.
    MapModel& changeMap() { return const_cast<MapModel&>(document().map()); }

    template <class T = QWidget>
    T* child(const QString& name) {
        T* found = window_->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QString text(const QString& label) { return child<QLabel>(label)->text(); }
    QString file(const QString& name) const { return state_->adventure.folder() + name; }
    QByteArray bytes(const QString& name) const {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void put(const QString& name, const QByteArray& content) const {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QWidget* view = window_->mapView();
        if (at.isNull()) {  // QTest takes (0, 0) for "the middle of the widget"
            QMouseEvent event(QEvent::MouseButtonPress, at, view->mapToGlobal(at), button, button, {});
            QApplication::sendEvent(view, &event);
            return;
        }
        QTest::mousePress(view, button, {}, at);
        QTest::mouseRelease(view, button, {}, at);
    }
    void chooseTile(int tile) { QTest::mouseClick(child<PictureBox>(QString("Map%1").arg(tile)), Qt::LeftButton); }
    void arm() { QTest::mouseClick(child<Shape>("Shp1"), Qt::LeftButton); }
    void paint(int tile, QPoint at) {
        chooseTile(tile);
        arm();
        press(at);
    }
    void type(const QString& name) {
        QLineEdit* box = child<QLineEdit>("edNomPos");
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, name);
        QTest::keyClick(box, Qt::Key_Return);
    }
    void click(const QString& button) { QTest::mouseClick(child<PictureBox>(button), Qt::LeftButton); }
    // A key as the author presses it: to whatever has the keyboard focus.
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : window_->mapView(), k, modifiers);
    }
    void activate() {
        host_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(host_.get()));
    }

    QTemporaryDir dir_;
    std::unique_ptr<test::TestAdventure> state_;
    const MapModel* map_ = nullptr;
    std::unique_ptr<QWidget> host_;
    MapWindow* window_ = nullptr;
};

TEST_F(MapWindowTest, PressOnTheMapSelectsTheCellUnderIt) {
    EXPECT_EQ(text("Mtp"), "000");
    click("btGrMap");
    const struct { QPoint at; int cell; QPoint marker; } cases[] = {
        {{350, 150}, 43, {303, 121}}, {{0, 0}, 0, {3, 1}}, {{1999, 1199}, 399, {1903, 1141}}};
    for (const auto& c : cases) {
        press(c.at, Qt::RightButton);
        EXPECT_EQ(window_->currentPosition(), c.cell);
        EXPECT_EQ(text("Mtp"), QString::number(c.cell));
        EXPECT_EQ(child("Shp2")->pos(), c.marker);
        EXPECT_EQ(text("Msg1"), "");
    }
}

TEST_F(MapWindowTest, PressesOutsideTheGridDoNothing) {
    press({350, 150});
    click("btGrMap");
    chooseTile(5);
    arm();
    const QImage before = map_->image().copy();
    const QStringList lines = map_->lines();
    for (QPoint at : {QPoint(2000, 10), QPoint(10, 1200), QPoint(2099, 1299)})
        press(at);
    EXPECT_EQ(text("Mtp"), "43");
    EXPECT_EQ(text("Msg1"), "Ok, gravado!");
    EXPECT_TRUE(window_->paintMode());
    EXPECT_EQ(map_->lines(), lines);
    EXPECT_EQ(map_->image(), before);
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(MapWindowTest, PaintingATileIntoANamedCellKeepsItsNameAndDisarms) {
    paint(1, {350, 150});
    type("sala");
    chooseTile(7);
    EXPECT_EQ(child("Shp1")->y(), 5 + 65 * 7 + 15);
    EXPECT_EQ(window_->currentTilePicture(), TileSet::picture(7));
    arm();
    EXPECT_EQ(child<Shape>("Shp1")->fillColour(), QColor(255, 0, 0));
    EXPECT_EQ(window_->mapView()->cursor().shape(), Qt::DragMoveCursor);
    press({310, 125});
    EXPECT_EQ(map_->lines()[87], "7");
    EXPECT_EQ(map_->lines()[86], "sala");
    EXPECT_FALSE(window_->paintMode());
    EXPECT_EQ(child<Shape>("Shp1")->fillColour(), QColor(128, 0, 0));
    EXPECT_EQ(window_->mapView()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(map_->image().copy(300, 120, 100, 60), TileSet::picture(7).convertToFormat(QImage::Format_RGB32));
    // One cell per arming: the next press only selects.
    press({450, 150});
    EXPECT_EQ(map_->lines()[89], "");
}

TEST_F(MapWindowTest, TileZeroCountsAsATileAndCanBeNamed) {
    chooseTile(3);
    chooseTile(0);
    QTest::mouseClick(child<Shape>("Shp2"), Qt::RightButton);  // the other way to arm
    EXPECT_TRUE(window_->paintMode());
    press({10, 10});
    EXPECT_EQ(map_->lines()[1], "0");
    type("clareira");
    EXPECT_EQ(map_->lines()[0], "clareira");
    EXPECT_EQ(text("lbNoPos"), "clareira");
    EXPECT_TRUE(child("btEdImg")->isVisibleTo(window_));
    EXPECT_EQ(bytes("clareira.scp"),
              ListFile::joinLines(MapCompiler::buildPositionBlock(map_->lines(), 0, "1", "png", file(""))));
}

TEST_F(MapWindowTest, EnterWithoutATileOrWithoutANameChangesNothing) {
    press({350, 150});
    const QImage before = map_->image().copy();
    type("sala");
    EXPECT_EQ(child<QLineEdit>("edNomPos")->text(), "sala");  // other keys edit the box
    EXPECT_EQ(map_->lines()[86], "");
    EXPECT_FALSE(QFile::exists(file("sala.scp")));
    EXPECT_FALSE(child("btEdImg")->isVisibleTo(window_));
    paint(4, {350, 150});
    type("");
    EXPECT_EQ(map_->lines()[86], "");
    EXPECT_TRUE(QDir(file("")).entryList(QDir::Files).isEmpty());
    EXPECT_NE(map_->image(), before);  // only the painted tile changed it
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(MapWindowTest, NamingWritesAScriptOnlyWhenNoneExists) {
    paint(6, {350, 150});
    type("sala");
    put("sala.scp", "// minha sala\r\n");
    put("cozinha.scp", "// minha cozinha\r\n");
    type("salao");
    EXPECT_EQ(map_->lines()[86], "salao");
    EXPECT_EQ(text("lbNoPos"), "salao");
    EXPECT_EQ(bytes("sala.scp"), "// minha sala\r\n");
    EXPECT_TRUE(bytes("salao.scp").startsWith(cp1252::encode(QString("//=== Posição: salao "))));
    type("cozinha");
    EXPECT_EQ(bytes("cozinha.scp"), "// minha cozinha\r\n");
    // Two cells may share a name, and with it one script.
    paint(14, {450, 150});
    type("cozinha");
    EXPECT_EQ(map_->lines()[86], "cozinha");
    EXPECT_EQ(map_->lines()[88], "cozinha");
    EXPECT_EQ(bytes("cozinha.scp"), "// minha cozinha\r\n");
}

TEST_F(MapWindowTest, ANameThatIsNoFileNameIsRefused) {
    paint(6, {350, 150});
    type("../fora");
    ASSERT_EQ(reported().size(), 1);
    EXPECT_TRUE(reported().first().contains("../fora"));
    EXPECT_EQ(map_->lines()[86], "");
    EXPECT_FALSE(QFile::exists(state_->adventure.workspaceFolder() + "fora.scp"));
}

TEST_F(MapWindowTest, MapButtonsSaveClearPictureAndCompile) {
    paint(7, {350, 150});
    type("sala");
    click("btGrMap");
    EXPECT_EQ(text("Msg1"), "Ok, gravado!");
    EXPECT_EQ(ListFile::read(file("Floresta.map")), map_->lines());

    click("btImgSav");
    EXPECT_EQ(text("Msg1"), "Imagem gravada.");
    QImageReader reader(file("Floresta-mapa.png"));
    EXPECT_EQ(reader.format(), "png");
    EXPECT_EQ(reader.size(), QSize(2100, 1300));

    QFile::remove(file("sala.scp"));
    click("btMapCpl");
    EXPECT_EQ(text("Msg1"), "Scpts compilados.");
    EXPECT_TRUE(QFile::exists(file("sala.scp")));

    test::Questions questions;
    questions.click("JanLimpar", "btLimparSim");
    click("btCsMap");
    EXPECT_EQ(questions.names(), QStringList{"JanLimpar"});
    EXPECT_EQ(text("Msg1"), "Ok!");
    EXPECT_EQ(bytes("Floresta.map"), QByteArray("\r\n").repeated(801));
    EXPECT_EQ(map_->lines(), QStringList(801, QString()));
    EXPECT_TRUE(QFile::exists(file("sala.scp")));

    // A compile that fails shows its error and no success message.
    changeMap().setName(5, "a/b");
    changeMap().setTile(5, 1);
    click("btMapCpl");
    EXPECT_EQ(text("Msg1"), "Ok!");
    EXPECT_EQ(reported().size(), 1);
}

// The background is decoded once and kept, yet "Limpar mapa" always starts
// from the background file as it is now: unpainted by earlier drawing, a
// replaced file in effect, a missing one an error.
TEST_F(MapWindowTest, ClearingStartsFromTheBackgroundFileAsItIsNow) {
    const QString background = state_->adventure.workspaceFolder() + "defmap.bmp";
    paint(7, {50, 30});
    test::Questions questions;
    questions.click("JanLimpar", "btLimparSim");
    click("btCsMap");
    EXPECT_EQ(map_->image().pixelColor(50, 10), QColor(214, 214, 206));  // the tile is gone

    // Another picture of the same size: only the modification time tells.
    QImage night(2100, 1300, QImage::Format_RGB32);
    night.fill(QColor(20, 30, 60));
    ASSERT_TRUE(night.save(background, "BMP"));
    QFile file(background);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
    file.close();
    click("btCsMap");
    EXPECT_EQ(map_->image().pixelColor(50, 10), QColor(20, 30, 60));
    EXPECT_EQ(window_->mapView()->grab().toImage().pixelColor(50, 10), QColor(20, 30, 60));

    // A picture of another size.
    QImage wide(2200, 1300, QImage::Format_RGB32);
    wide.fill(QColor(90, 0, 0));
    ASSERT_TRUE(wide.save(background, "BMP"));
    document().resetMap();
    EXPECT_EQ(map_->image().size(), QSize(2200, 1300));
    EXPECT_EQ(map_->image().pixelColor(50, 10), QColor(90, 0, 0));

    ASSERT_TRUE(QFile::remove(background));
    changeMap().setName(3, "sala");
    EXPECT_THROW(document().resetMap(), OrvalisError);
    EXPECT_EQ(map_->lines(), QStringList(801, QString()));
}

TEST_F(MapWindowTest, SelectionMarkerFollowsTheScrollBox) {
    press({1999, 1199});
    QScrollArea* box = window_->scrollBox();
    box->horizontalScrollBar()->setValue(500);
    box->verticalScrollBar()->setValue(300);
    QWidget* marker = child("Shp2");
    EXPECT_EQ(marker->mapTo(box->viewport(), QPoint()), QPoint(1403, 841));
    press({350, 150});
    EXPECT_EQ(marker->mapTo(box->viewport(), QPoint()), QPoint(-197, -179));
}

TEST_F(MapWindowTest, SelectingANamedCellOpensItsPictureWhenThereIsOne) {
    paint(6, {350, 150});
    type("sala");
    paint(14, {450, 150});
    type("cozinha");
    QImage red(320, 200, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(file("sala.png")));
    PositionImageEditor* editor = window_->imageEditor();
    press({450, 150});
    EXPECT_FALSE(editor->isVisible());
    EXPECT_TRUE(child("lbEdImg")->isVisible());
    press({350, 150});
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->canvas().pixel(10, 10), QColor(Qt::red).rgb());
    press({550, 150});
    EXPECT_FALSE(editor->isVisible());
    EXPECT_FALSE(child("lbEdImg")->isVisible());
    // "imagem:" on a position without a picture makes a white one.
    press({450, 150});
    click("btEdImg");
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(QImage(file("cozinha.png")).size(), QSize(320, 200));
}

TEST_F(MapWindowTest, OpeningWhileReadyShowsTheTransferButtons) {
    const char* transfer[] = {"btUpMap", "lbUpMap", "btDwMap", "lbDwMap", "bnEdUp", "bnEdDwn"};
    for (const char* name : transfer)
        EXPECT_TRUE(child(name)->isHidden()) << name;
    EXPECT_EQ(child("Msg5")->x(), 140);
    state_->setReady(true);
    click("btGrMap");
    window_->opened();
    EXPECT_EQ(text("Msg1"), "");
    for (const char* name : transfer)
        EXPECT_FALSE(child(name)->isHidden()) << name;
    EXPECT_EQ(child("Msg5")->x(), 270);
    click("btUpMap");
    click("btDwMap");
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(MapWindowTest, ToolPanelMovesByItsBar) {
    QWidget* panel = child("PanMap");
    EXPECT_EQ(panel->geometry(), QRect(90, 15, 145, 650));
    auto* bar = child<PictureBox>("brPikMap");
    QTest::mousePress(bar, Qt::LeftButton, {}, {10, 10});
    QTest::mouseMove(bar, {40, 5});
    QTest::mouseRelease(bar, Qt::LeftButton, {}, {40, 5});
    EXPECT_EQ(panel->pos(), QPoint(120, 10));
    EXPECT_EQ(state_->drag.dragging, 0);
}

// Undo and redo through the keys, with the map saved in between: the map in
// memory goes back and forth, files already written stay as they are.
TEST_F(MapWindowTest, CtrlZUndoesPaintingAndNamingAndCtrlYRedoes) {
    activate();
    const QImage fresh = map_->image().copy();
    paint(6, {350, 150});
    const QImage painted = map_->image().copy();
    type("sala");
    const QImage named = map_->image().copy();
    const QStringList namedLines = map_->lines();
    click("btGrMap");
    const QByteArray savedMap = bytes("Floresta.map");
    const QByteArray script = bytes("sala.scp");

    // Still typing in the name box: the keys edit its text, not the map.
    child<QLineEdit>("edNomPos")->setFocus();
    ASSERT_TRUE(child("edNomPos")->hasFocus());
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(map_->lines(), namedLines);

    press({350, 150});  // the map takes the focus
    EXPECT_TRUE(window_->mapView()->hasFocus());
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(map_->lines()[86], "");
    EXPECT_EQ(map_->lines()[87], "6");
    EXPECT_EQ(map_->image(), painted);
    EXPECT_EQ(child<QLineEdit>("edNomPos")->text(), "");
    EXPECT_EQ(text("lbNoPos"), "");
    EXPECT_FALSE(child("btEdImg")->isVisibleTo(window_));
    // On screen too (right of the selection marker).
    EXPECT_EQ(window_->mapView()->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(325, 120, 75, 20),
              painted.copy(325, 120, 75, 20));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(map_->lines(), QStringList(801, QString()));
    EXPECT_EQ(map_->image(), fresh);
    key(Qt::Key_Z, Qt::ControlModifier);  // nothing more to undo
    EXPECT_EQ(map_->image(), fresh);
    // The written files stay; the map reaches its file by the next save.
    EXPECT_EQ(bytes("Floresta.map"), savedMap);
    EXPECT_EQ(bytes("sala.scp"), script);

    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(map_->lines()[87], "6");
    EXPECT_EQ(map_->image(), painted);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(map_->lines(), namedLines);
    EXPECT_EQ(map_->image(), named);
    EXPECT_EQ(child<QLineEdit>("edNomPos")->text(), "sala");
    EXPECT_TRUE(child("btEdImg")->isVisibleTo(window_));

    // Undo, then an edit of its own: nothing is left to redo.
    key(Qt::Key_Z, Qt::ControlModifier);
    paint(1, {150, 30});
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(map_->lines()[86], "");
    click("btGrMap");
    EXPECT_EQ(ListFile::read(file("Floresta.map")), map_->lines());
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(MapWindowTest, ClearingTheMapCanBeUndoneButItsFileStaysWritten) {
    activate();
    paint(12, {50, 30});
    type("praca");
    const QImage before = map_->image().copy();
    const QStringList lines = map_->lines();
    test::Questions questions;
    questions.click("JanLimpar", "btLimparSim");
    click("btCsMap");
    press({1500, 900});
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(map_->lines(), lines);
    EXPECT_EQ(map_->image(), before);
    EXPECT_EQ(bytes("Floresta.map"), QByteArray("\r\n").repeated(801));
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(map_->lines(), QStringList(801, QString()));
}

// "Limpar mapa" empties the map and its file at once: a map holding any cell
// asks first, and "Cancelar" (or closing the question) leaves both as they were.
TEST_F(MapWindowTest, ClearingAMapWithCellsAsksFirst) {
    test::Questions questions;
    click("btCsMap");  // an empty map: nothing to lose, nothing asked
    EXPECT_TRUE(questions.asked().isEmpty());
    EXPECT_EQ(text("Msg1"), "Ok!");

    paint(3, {50, 30});
    type("praca");
    click("btGrMap");
    const QByteArray saved = bytes("Floresta.map");
    const QStringList lines = map_->lines();
    questions.click("JanLimpar", "btLimparNao");
    click("btCsMap");
    questions.press("JanLimpar", {Qt::Key_Escape});
    click("btCsMap");
    EXPECT_EQ(questions.names(), (QStringList{"JanLimpar", "JanLimpar"}));
    EXPECT_TRUE(questions.asked().first().text.contains("Floresta.map"));
    EXPECT_EQ(map_->lines(), lines);
    EXPECT_EQ(bytes("Floresta.map"), saved);
    EXPECT_EQ(text("Msg1"), "Ok, gravado!");

    questions.click("JanLimpar", "btLimparSim");
    click("btCsMap");
    EXPECT_EQ(map_->lines(), QStringList(801, QString()));
    EXPECT_EQ(bytes("Floresta.map"), QByteArray("\r\n").repeated(801));
    EXPECT_EQ(text("Msg1"), "Ok!");
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(MapWindowTest, AnotherAdventureOrALoadedMapStartsANewHistory) {
    activate();
    paint(4, {50, 30});
    ASSERT_TRUE(document().mapHistory().canUndo());
    QDir().mkpath(state_->adventure.workspaceFolder() + "Outra");
    state_->adventure.open("Outra");
    EXPECT_FALSE(document().mapHistory().canUndo());
    press({50, 30});
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(map_->lines()[1], "4");

    paint(5, {150, 30});
    document().saveMap();
    document().loadMap();
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(map_->lines()[3], "5");
}

// The exit overlay: over the map image but not on it, shown and hidden by
// F2, following the edits and the scrolling.
TEST_F(MapWindowTest, F2ShowsAndHidesTheExitOverlay) {
    activate();
    paint(14, {350, 150});  // cell 43, doors east and west
    type("sala");
    paint(5, {450, 150});  // cell 44, door west
    type("cozinha");
    press({350, 150});
    auto* overlay = child<ExitOverlay>("MapExits");
    ASSERT_EQ(overlay, window_->exitOverlay());
    EXPECT_TRUE(overlay->isHidden());
    const QImage picture = map_->image().copy();
    const QImage plain = window_->mapView()->grab().toImage();

    key(Qt::Key_F2);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->geometry(), window_->mapView()->rect());
    const QImage shown = window_->mapView()->grab().toImage();
    EXPECT_NE(shown.copy(300, 120, 200, 60), plain.copy(300, 120, 200, 60));
    // Arrows both ways between the rooms, blue; sala's west door leads to an
    // unnamed cell, a red cross.
    auto count = [&](const QImage& image, QRect area, QColor colour) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += image.pixelColor(x, y) == colour;
        return n;
    };
    EXPECT_GT(count(shown, QRect(370, 130, 60, 40), QColor(0, 80, 220)), 20);
    EXPECT_GT(count(shown, QRect(300, 140, 15, 20), QColor(255, 0, 0)), 5);
    EXPECT_EQ(count(plain, QRect(300, 140, 15, 20), QColor(255, 0, 0)), 0);
    ASSERT_EQ(overlay->positions().size(), 2);
    EXPECT_EQ(overlay->positions()[0].exits.size(), 1);

    // The map picture and the saved picture never hold it.
    EXPECT_EQ(map_->image(), picture);
    click("btImgSav");
    EXPECT_EQ(QImage(file("Floresta-mapa.png")).convertToFormat(QImage::Format_RGB32), picture);

    // Every edit shows at once.
    paint(14, {550, 150});
    press({550, 150});
    type("quarto");
    ASSERT_EQ(overlay->positions().size(), 3);
    EXPECT_EQ(overlay->positions()[2].exits.size(), 1);
    EXPECT_EQ(overlay->positions()[2].deadDoors.size(), 1);
    // A loaded map may hold names no file can have; they are marked.
    changeMap().setName(45, "a/b");
    emit document().mapReplaced();
    EXPECT_FALSE(overlay->positions()[2].usableName);
    const QImage marked = window_->mapView()->grab().toImage();
    EXPECT_GT(count(marked, QRect(500, 120, 100, 60), QColor(255, 128, 0)), 50);

    // It scrolls with the map.
    window_->scrollBox()->horizontalScrollBar()->setValue(300);
    window_->scrollBox()->verticalScrollBar()->setValue(100);
    QWidget* viewport = window_->scrollBox()->viewport();
    EXPECT_EQ(overlay->mapTo(viewport, QPoint()), window_->mapView()->mapTo(viewport, QPoint()));
    EXPECT_EQ(overlay->mapTo(viewport, QPoint()), QPoint(-300, -100));

    // Hidden, it reads nothing however the map changes.
    press({550, 150});
    key(Qt::Key_F2);
    EXPECT_TRUE(overlay->isHidden());
    const int readings = overlay->readings();
    paint(3, {650, 150});
    type("torre");
    key(Qt::Key_Z, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(overlay->readings(), readings);
    const QImage hidden = window_->mapView()->grab().toImage();
    for (QColor colour : {QColor(0, 80, 220), QColor(255, 0, 0), QColor(255, 128, 0)})
        EXPECT_EQ(count(hidden, QRect(0, 0, 800, 300), colour), 0);
    // F2 also works from the name box.
    child<QLineEdit>("edNomPos")->setFocus();
    key(Qt::Key_F2);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_TRUE(reported().isEmpty());
}

}  // namespace

// Selecting a cell from elsewhere (the references window) does what a press
// on it does with painting off, brings it into view and is told like a press.
TEST_F(MapWindowTest, SelectCellSelectsAsAPressDoesAndScrollsItIntoView) {
    paint(6, {1850, 1150});
    type("porao");
    press({50, 30});
    QList<int> told;
    window_->onCellSelected = [&](int cell) { told << cell; };
    chooseTile(9);
    arm();  // armed: a press would paint, selectCell never does
    QScrollArea* box = window_->scrollBox();
    box->horizontalScrollBar()->setValue(0);
    box->verticalScrollBar()->setValue(0);
    const QStringList lines = map_->lines();
    window_->selectCell(398);  // row 19, column 18
    EXPECT_EQ(window_->currentPosition(), 398);
    EXPECT_EQ(text("Mtp"), "398");
    EXPECT_EQ(child<QLineEdit>("edNomPos")->text(), "porao");
    EXPECT_TRUE(child("lbEdImg")->isVisible());
    EXPECT_EQ(child("Shp2")->pos(), QPoint(1803, 1141));
    EXPECT_EQ(map_->lines(), lines);
    EXPECT_TRUE(window_->paintMode());
    const QRect cell(1800, 1140, 100, 60);
    const QRect seen(box->horizontalScrollBar()->value(), box->verticalScrollBar()->value(),
                     box->viewport()->width(), box->viewport()->height());
    EXPECT_TRUE(seen.contains(cell)) << seen.x() << "," << seen.y();
    EXPECT_EQ(told, QList<int>{398});
    press({150, 30});
    EXPECT_EQ(told, (QList<int>{398, 1}));
    window_->selectCell(400);  // no such cell
    window_->selectCell(-1);
    EXPECT_EQ(window_->currentPosition(), 1);
    EXPECT_EQ(told.size(), 2);
    EXPECT_TRUE(reported().isEmpty());
}

namespace {

// A press and moves with the left button held, then the release, as a drag
// of the mouse sends them to the map image.
void drag(QWidget* view, const QList<QPoint>& points, Qt::KeyboardModifiers modifiers = {}) {
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, held, modifiers);
        QApplication::sendEvent(view, &event);
    };
    send(QEvent::MouseButtonPress, points.first(), Qt::LeftButton);
    for (qsizetype i = 1; i < points.size(); ++i) {
        QMouseEvent move(QEvent::MouseMove, points[i], view->mapToGlobal(points[i]), Qt::NoButton, Qt::LeftButton,
                         modifiers);
        QApplication::sendEvent(view, &move);
    }
    send(QEvent::MouseButtonRelease, points.last(), Qt::NoButton);
}

}  // namespace

TEST_F(MapWindowTest, DraggingPaintsEveryCellThePointerEntersAsOneStep) {
    activate();
    const QImage fresh = map_->image().copy();
    // Not armed: a drag only selects where it started.
    drag(window_->mapView(), {{50, 30}, {450, 30}});
    EXPECT_EQ(map_->lines(), QStringList(801, QString()));
    EXPECT_EQ(window_->currentPosition(), 0);

    chooseTile(5);
    arm();
    // One quick move right across cells 0..4 (the cells between are passed
    // through too), back over a painted one, then down through cell 23 into 24.
    drag(window_->mapView(), {{50, 30}, {450, 30}, {250, 40}, {450, 90}});
    for (int cell : {0, 1, 2, 3, 4, 23, 24})
        EXPECT_EQ(map_->tile(cell), "5") << cell;
    EXPECT_EQ(map_->tile(5), "");
    EXPECT_EQ(map_->tile(22), "");
    EXPECT_FALSE(window_->paintMode());  // the press disarmed it, as a click does
    EXPECT_EQ(document().mapHistory().undoCount(), 1);
    const QImage painted = map_->image().copy();
    EXPECT_NE(painted, fresh);

    key(Qt::Key_Z, Qt::ControlModifier);  // the whole run at once
    EXPECT_EQ(map_->lines(), QStringList(801, QString()));
    EXPECT_EQ(map_->image(), fresh);
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(map_->tile(24), "5");
    EXPECT_EQ(map_->image(), painted);

    // A drag after that is a step of its own.
    chooseTile(7);
    arm();
    drag(window_->mapView(), {{50, 150}, {150, 150}});
    EXPECT_EQ(map_->tile(40), "7");
    EXPECT_EQ(map_->tile(41), "7");
    EXPECT_EQ(document().mapHistory().undoCount(), 2);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(map_->image(), painted);
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(MapWindowTest, ShiftKeepsPaintingArmed) {
    chooseTile(2);
    arm();
    QTest::mouseClick(window_->mapView(), Qt::LeftButton, Qt::ShiftModifier, {150, 30});
    EXPECT_EQ(map_->tile(1), "2");
    EXPECT_TRUE(window_->paintMode());
    QTest::mouseClick(window_->mapView(), Qt::LeftButton, Qt::ShiftModifier, {950, 570});
    EXPECT_EQ(map_->tile(189), "2");
    EXPECT_TRUE(window_->paintMode());
    press({350, 150});  // without Shift: painted, and disarmed as before
    EXPECT_EQ(map_->tile(43), "2");
    EXPECT_FALSE(window_->paintMode());
    press({550, 150});
    EXPECT_EQ(map_->tile(45), "");
    EXPECT_EQ(document().mapHistory().undoCount(), 3);
}

TEST_F(MapWindowTest, DeleteEmptiesTheSelectedCellAskingWhenItHasAScript) {
    activate();
    const QImage fresh = map_->image().copy();
    test::Questions questions;

    // A tile and no name: emptied without a question.
    paint(4, {150, 30});
    press({150, 30});
    key(Qt::Key_Delete);
    EXPECT_EQ(map_->lines(), QStringList(801, QString()));
    EXPECT_EQ(map_->image(), fresh);
    EXPECT_TRUE(questions.asked().isEmpty());
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(map_->tile(1), "4");

    // A long name reaching into its neighbours, with its script written.
    paint(6, {350, 150});
    type("biblioteca_do_castelo");
    ASSERT_TRUE(QFile::exists(file("biblioteca_do_castelo.scp")));
    const QByteArray script = bytes("biblioteca_do_castelo.scp");
    const QStringList named = map_->lines();
    const QImage withName = map_->image().copy();
    press({350, 150});
    questions.click("JanApagar", "btApagarNao");
    key(Qt::Key_Delete);
    ASSERT_EQ(questions.names(), QStringList{"JanApagar"});
    EXPECT_EQ(questions.asked().first().buttons, (QStringList{"btApagarSim", "btApagarNao"}));
    EXPECT_EQ(map_->lines(), named);
    EXPECT_EQ(map_->image(), withName);

    questions.click("JanApagar", "btApagarSim");
    key(Qt::Key_Delete);
    EXPECT_EQ(map_->name(43), "");
    EXPECT_EQ(map_->tile(43), "");
    EXPECT_EQ(map_->tile(1), "4");
    EXPECT_EQ(child<QLineEdit>("edNomPos")->text(), "");
    // Drawn as a reset map draws it, the neighbours' parts of the name too.
    EXPECT_EQ(map_->image().copy(0, 120, 2000, 60), fresh.copy(0, 120, 2000, 60));
    EXPECT_EQ(bytes("biblioteca_do_castelo.scp"), script);  // the script stays

    key(Qt::Key_Z, Qt::ControlModifier);  // one step back
    EXPECT_EQ(map_->lines(), named);
    EXPECT_EQ(map_->image(), withName);
    EXPECT_EQ(child<QLineEdit>("edNomPos")->text(), "biblioteca_do_castelo");

    // Delete in the name box edits the text there.
    QLineEdit* box = child<QLineEdit>("edNomPos");
    box->setFocus();
    box->setCursorPosition(0);
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(box->text(), "iblioteca_do_castelo");
    EXPECT_EQ(map_->lines(), named);
    EXPECT_EQ(questions.asked().size(), 2);
    EXPECT_TRUE(reported().isEmpty());
}

TEST_F(MapWindowTest, SelectionMarkerStandsBesideTheName) {
    for (int cell : {0, 43, 219, 399}) {
        const QString name = "sala_de_jantar_grande";
        const QPoint at(MapModel::column(cell) * 100 + 50, MapModel::row(cell) * 60 + 30);
        paint(1, at);
        type(name);
        press(at);
        const QRect marker = child("Shp2")->geometry();
        EXPECT_EQ(marker.size(), QSize(20, 20));
        EXPECT_FALSE(marker.intersects(map_->nameArea(cell, name))) << cell;
        EXPECT_TRUE(QRect(at.x() - 50, at.y() - 30, 100, 60).contains(marker)) << cell;
    }
}

TEST_F(MapWindowTest, CtrlSSavesTheMapOnlyWhileTheWindowIsShown) {
    activate();
    paint(3, {50, 30});
    key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(ListFile::read(file("Floresta.map")), map_->lines());
    EXPECT_EQ(text("Msg1"), "Ok, gravado!");
    // From the name box too.
    paint(4, {150, 30});
    child("edNomPos")->setFocus();
    key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(ListFile::read(file("Floresta.map"))[3], "4");

    paint(5, {250, 30});
    const QByteArray saved = bytes("Floresta.map");
    window_->hide();
    EXPECT_FALSE(window_->JanMapKeyDown(Qt::Key_S, Qt::ControlModifier));
    EXPECT_FALSE(window_->JanMapKeyDown(Qt::Key_Delete, Qt::NoModifier));
    EXPECT_EQ(bytes("Floresta.map"), saved);
    EXPECT_EQ(map_->tile(2), "5");
}
