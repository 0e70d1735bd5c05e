// Undo and redo of map edits on the map model alone.
#include "map/MapHistory.h"
#include "map/MapModel.h"
#include "map/TileSet.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <random>

using orv::MapHistory;
using orv::MapModel;

namespace {

class MapHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        background_ = dir_.path() + "/defmap.bmp";
        QImage picture(2000, 1200, QImage::Format_RGB32);
        picture.fill(QColor(214, 214, 206));
        ASSERT_TRUE(picture.save(background_, "BMP"));
        map_ = std::make_unique<MapModel>(background_);
        map_->reset();
    }

    // What naming a position does to the map, recorded as one step.
    void name(int cell, const QString& text) { name(history_, cell, text); }
    void name(MapHistory& history, int cell, const QString& text) {
        MapHistory::Before before = MapHistory::beforeNaming(*map_, cell, text);
        map_->setName(cell, text);
        map_->drawName(cell);
        history.commit(*map_, std::move(before));
    }
    void clearMap() { clearMap(history_); }
    void clearMap(MapHistory& history) {
        MapHistory::Before before = MapHistory::beforeWholeMap(*map_);
        map_->reset();
        history.commit(*map_, std::move(before));
    }

    struct State {
        QStringList lines;
        QImage image;
    };
    State state() const { return {map_->lines(), map_->image().copy()}; }
    void expectState(const State& s, const char* what) const {
        EXPECT_EQ(map_->lines(), s.lines) << what;
        EXPECT_TRUE(map_->image() == s.image) << what;
    }

    QTemporaryDir dir_;
    QString background_;
    std::unique_ptr<MapModel> map_;
    MapHistory history_;
};

TEST_F(MapHistoryTest, UndoAndRedoPaintingNamingAndClearing) {
    const State fresh = state();
    EXPECT_FALSE(history_.undo(*map_));
    history_.paint(*map_, 43, 6);
    const State painted = state();
    // Wider than the cell: the name reaches into the cells on both sides.
    name(43, "um nome bem mais largo que a sala");
    const State named = state();
    EXPECT_NE(named.image.copy(200, 120, 100, 60), painted.image.copy(200, 120, 100, 60));
    clearMap();
    const State cleared = state();
    ASSERT_EQ(history_.undoCount(), 3);

    auto change = history_.undo(*map_);
    ASSERT_TRUE(change);
    EXPECT_TRUE(change->wholeMap);
    expectState(named, "clear undone");
    change = history_.undo(*map_);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->lines, QList<int>{86});
    EXPECT_LT(change->area.left(), 300);
    EXPECT_GT(change->area.right(), 400);
    expectState(painted, "naming undone");
    change = history_.undo(*map_);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->lines, QList<int>{87});
    EXPECT_EQ(change->area, QRect(300, 120, 100, 60));
    expectState(fresh, "painting undone");
    EXPECT_FALSE(history_.undo(*map_));
    EXPECT_EQ(history_.redoCount(), 3);

    ASSERT_TRUE(history_.redo(*map_));
    expectState(painted, "painting redone");
    ASSERT_TRUE(history_.redo(*map_));
    expectState(named, "naming redone");
    ASSERT_TRUE(history_.redo(*map_));
    expectState(cleared, "clear redone");
    EXPECT_FALSE(history_.redo(*map_));

    // A new step after an undo drops what could have been redone.
    history_.undo(*map_);
    history_.paint(*map_, 0, 1);
    EXPECT_FALSE(history_.canRedo());
    EXPECT_EQ(history_.undoCount(), 3);
}

// Random edits, each state kept; undoing walks back through every one of
// them in order and redoing forward again.
TEST_F(MapHistoryTest, RandomEditsUndoAndRedoThroughEveryState) {
    MapHistory history(1000, qsizetype(1) << 30);  // room for every step
    std::mt19937 random(7);
    std::uniform_int_distribution<int> cell(0, 399), tile(0, 19), kind(0, 9);
    const QStringList names = {"sala", "torre", "cozinha de pedra", "x", "corredor muito comprido"};
    std::vector<State> states{state()};
    for (int i = 0; i < 40; ++i) {
        const int k = kind(random);
        if (k < 6) {
            history.paint(*map_, cell(random), tile(random));
        } else if (k < 9) {
            name(history, cell(random), names[random() % names.size()]);
        } else {
            clearMap(history);
        }
        const State now = state();
        if (now.lines == states.back().lines && now.image == states.back().image)
            continue;  // nothing changed, nothing recorded
        states.push_back(now);
    }
    ASSERT_EQ(history.undoCount(), int(states.size()) - 1);
    for (int i = int(states.size()) - 2; i >= 0; --i) {
        ASSERT_TRUE(history.undo(*map_));
        expectState(states[i], "undo");
    }
    for (std::size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(history.redo(*map_));
        expectState(states[i], "redo");
    }
}

TEST_F(MapHistoryTest, StepsThatChangeNothingAreNotRecorded) {
    history_.paint(*map_, 5, 7);
    history_.paint(*map_, 5, 7);
    EXPECT_EQ(history_.undoCount(), 1);
    clearMap();
    clearMap();  // an empty map cleared again
    EXPECT_EQ(history_.undoCount(), 2);
}

TEST_F(MapHistoryTest, MemoryStaysWithinItsLimits) {
    MapHistory few(3);
    for (int cell = 0; cell < 10; ++cell)
        few.paint(*map_, cell, 12);
    EXPECT_EQ(few.undoCount(), 3);
    for (int i = 0; i < 3; ++i)
        few.undo(*map_);
    EXPECT_EQ(map_->tile(7), "");
    EXPECT_FALSE(few.undo(*map_));
    EXPECT_EQ(map_->tile(6), "12");  // older steps were let go

    // Clearing keeps two whole pictures; a small byte limit holds one such step.
    const qsizetype picture = map_->image().sizeInBytes();
    MapHistory small(100, picture * 3);
    for (int i = 0; i < 4; ++i) {
        small.paint(*map_, 100 + i, 3);
        MapHistory::Before before = MapHistory::beforeWholeMap(*map_);
        map_->reset();
        small.commit(*map_, std::move(before));
        EXPECT_LE(small.bytes(), picture * 3);
    }
    EXPECT_LE(small.undoCount(), 2);
    ASSERT_TRUE(small.undo(*map_));
    EXPECT_EQ(map_->tile(103), "3");

    // One step larger than the limit is still kept, alone.
    MapHistory tiny(100, 10);
    tiny.paint(*map_, 1, 1);
    tiny.paint(*map_, 2, 2);
    EXPECT_EQ(tiny.undoCount(), 1);
}

TEST_F(MapHistoryTest, ALoadedOrResetMapStartsAfresh) {
    history_.paint(*map_, 43, 6);
    map_->reset();  // as loading the map does first
    map_->setTile(7, 2);
    EXPECT_FALSE(history_.undo(*map_));
    EXPECT_EQ(history_.undoCount(), 0);
    EXPECT_EQ(map_->tile(7), "2");
    EXPECT_EQ(map_->tile(43), "");

    history_.paint(*map_, 8, 4);
    history_.clear();
    EXPECT_FALSE(history_.canUndo());
    EXPECT_EQ(history_.bytes(), 0);
}

TEST_F(MapHistoryTest, UndoingAClearPutsBackAPictureOfAnotherSize) {
    history_.paint(*map_, 0, 9);
    const State before = state();
    QImage wide(2200, 1300, QImage::Format_RGB32);
    wide.fill(Qt::darkGreen);
    ASSERT_TRUE(wide.save(background_, "BMP"));
    clearMap();
    EXPECT_EQ(map_->image().size(), QSize(2200, 1300));
    ASSERT_TRUE(history_.undo(*map_));
    expectState(before, "clear undone");
    ASSERT_TRUE(history_.redo(*map_));
    EXPECT_EQ(map_->image().size(), QSize(2200, 1300));
    EXPECT_EQ(map_->lines(), QStringList(801, QString()));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);  // fonts, for the names drawn on the map
    return RUN_ALL_TESTS();
}
