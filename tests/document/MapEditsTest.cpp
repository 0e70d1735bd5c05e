// Undo and redo of the map's edits on the document alone: painting, naming
// and clearing as steps of the map's history.
#include "document/AdventureDocument.h"
#include "document/MapEdits.h"
#include "map/MapModel.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace orv;

namespace {

class MapEditsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        background_ = dir_.path() + "/defmap.bmp";
        QImage picture(2000, 1200, QImage::Format_RGB32);
        picture.fill(QColor(214, 214, 206));
        ASSERT_TRUE(picture.save(background_, "BMP"));
        document_ = std::make_unique<AdventureDocument>(dir_.path() + "/");
        document_->resetMap();
    }

    const MapModel& map() const { return document_->map(); }
    EditHistory& history() { return document_->mapHistory(); }
    void paint(int cell, int tile) { paint(history(), cell, tile); }
    void paint(EditHistory& h, int cell, int tile) { h.perform(std::make_unique<PaintTile>(*document_, cell, tile)); }
    void name(int cell, const QString& text) { name(history(), cell, text); }
    void name(EditHistory& h, int cell, const QString& text) {
        h.perform(std::make_unique<NamePosition>(*document_, cell, text));
    }
    void clearMap() { clearMap(history()); }
    void clearMap(EditHistory& h) { h.perform(std::make_unique<ClearMap>(*document_)); }

    struct State {
        QStringList lines;
        QImage image;
    };
    State state() const { return {map().lines(), map().image().copy()}; }
    void expectState(const State& s, const char* what) const {
        EXPECT_EQ(map().lines(), s.lines) << what;
        EXPECT_TRUE(map().image() == s.image) << what;
    }

    QTemporaryDir dir_;
    QString background_;
    std::unique_ptr<AdventureDocument> document_;
};

TEST_F(MapEditsTest, UndoAndRedoPaintingNamingAndClearing) {
    QList<QRect> shown;
    QObject::connect(document_.get(), &AdventureDocument::cellsChanged, [&](QRect area) { shown.append(area); });
    const State fresh = state();
    EXPECT_FALSE(history().undoStep());
    paint(43, 6);
    const State painted = state();
    // Wider than the cell: the name reaches into the cells on both sides.
    name(43, "um nome bem mais largo que a sala");
    const State named = state();
    EXPECT_NE(named.image.copy(200, 120, 100, 60), painted.image.copy(200, 120, 100, 60));
    clearMap();
    const State cleared = state();
    ASSERT_EQ(history().undoCount(), 3);

    shown.clear();
    ASSERT_TRUE(history().undoStep());
    expectState(named, "clear undone");
    EXPECT_EQ(shown.value(0), map().image().rect());
    ASSERT_TRUE(history().undoStep());
    const auto* naming = dynamic_cast<const MapEdit*>(history().command(history().index()));
    ASSERT_NE(naming, nullptr);
    EXPECT_EQ(naming->part().lines, QList<int>{86});
    EXPECT_LT(naming->part().area.left(), 300);
    EXPECT_GT(naming->part().area.right(), 400);
    expectState(painted, "naming undone");
    ASSERT_TRUE(history().undoStep());
    EXPECT_EQ(shown.value(2), QRect(300, 120, 100, 60));
    expectState(fresh, "painting undone");
    EXPECT_FALSE(history().undoStep());
    EXPECT_EQ(history().redoCount(), 3);

    ASSERT_TRUE(history().redoStep());
    expectState(painted, "painting redone");
    ASSERT_TRUE(history().redoStep());
    expectState(named, "naming redone");
    ASSERT_TRUE(history().redoStep());
    expectState(cleared, "clear redone");
    EXPECT_FALSE(history().redoStep());

    // A new step after an undo drops what could have been redone.
    history().undoStep();
    paint(0, 1);
    EXPECT_FALSE(history().canRedo());
    EXPECT_EQ(history().undoCount(), 3);
}

// Random edits, each state kept; undoing walks back through every one of
// them in order and redoing forward again.
TEST_F(MapEditsTest, RandomEditsUndoAndRedoThroughEveryState) {
    EditHistory roomy(nullptr, 1000, qsizetype(1) << 30);  // room for every step
    std::mt19937 random(7);
    std::uniform_int_distribution<int> cell(0, 399), tile(0, 19), kind(0, 9);
    const QStringList names = {"sala", "torre", "cozinha de pedra", "x", "corredor muito comprido"};
    std::vector<State> states{state()};
    for (int i = 0; i < 40; ++i) {
        const int k = kind(random);
        if (k < 6)
            paint(roomy, cell(random), tile(random));
        else if (k < 9)
            name(roomy, cell(random), names[random() % names.size()]);
        else
            clearMap(roomy);
        const State now = state();
        if (now.lines == states.back().lines && now.image == states.back().image)
            continue;  // nothing changed, nothing recorded
        states.push_back(now);
    }
    ASSERT_EQ(roomy.undoCount(), int(states.size()) - 1);
    for (int i = int(states.size()) - 2; i >= 0; --i) {
        ASSERT_TRUE(roomy.undoStep());
        expectState(states[i], "undo");
    }
    for (std::size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(roomy.redoStep());
        expectState(states[i], "redo");
    }
}

TEST_F(MapEditsTest, StepsThatChangeNothingAreNotRecordedAndKeepTheRedo) {
    paint(5, 7);
    paint(5, 7);
    EXPECT_EQ(history().undoCount(), 1);
    clearMap();
    clearMap();  // an empty map cleared again
    EXPECT_EQ(history().undoCount(), 2);
    history().undoStep();
    paint(5, 7);  // the same tile again: nothing new, the clear can still be redone
    EXPECT_EQ(history().redoCount(), 1);
}

TEST_F(MapEditsTest, MemoryStaysWithinItsLimits) {
    EditHistory few(nullptr, 3);
    for (int cell = 0; cell < 10; ++cell)
        paint(few, cell, 12);
    EXPECT_EQ(few.undoCount(), 3);
    for (int i = 0; i < 3; ++i)
        few.undoStep();
    EXPECT_EQ(map().tile(7), "");
    EXPECT_FALSE(few.undoStep());
    EXPECT_EQ(map().tile(6), "12");  // older steps were let go

    // Clearing keeps two whole pictures; a small byte limit holds one such step.
    const qsizetype picture = map().image().sizeInBytes();
    EditHistory small(nullptr, 100, picture * 3);
    for (int i = 0; i < 4; ++i) {
        paint(small, 100 + i, 3);
        clearMap(small);
        EXPECT_LE(small.bytes(), picture * 3);
    }
    EXPECT_LE(small.undoCount(), 2);
    ASSERT_TRUE(small.undoStep());
    EXPECT_EQ(map().tile(103), "3");
    // The steps let go of are passed over: nothing older comes back.
    while (small.undoStep()) {
    }
    EXPECT_EQ(map().tile(102), "");
    EXPECT_EQ(map().tile(100), "");

    // One step larger than the limit is still kept, alone.
    EditHistory tiny(nullptr, 100, 10);
    paint(tiny, 1, 1);
    paint(tiny, 2, 2);
    EXPECT_EQ(tiny.undoCount(), 1);
}

TEST_F(MapEditsTest, ALoadedOrResetMapStartsAfresh) {
    paint(43, 6);
    document_->resetMap();
    EXPECT_FALSE(history().undoStep());
    EXPECT_EQ(map().tile(43), "");

    paint(8, 4);
    QDir().mkpath(dir_.path() + "/Duna");
    document_->adventure().open("Duna");
    EXPECT_FALSE(history().canUndo());
    EXPECT_EQ(map().tile(8), "4");  // another adventure without a map file keeps the map
    paint(9, 4);
    document_->saveMap();
    document_->loadMap();
    EXPECT_FALSE(history().canUndo());
    EXPECT_EQ(map().tile(9), "4");
}

TEST_F(MapEditsTest, UndoingAClearPutsBackAPictureOfAnotherSize) {
    paint(0, 9);
    const State before = state();
    QImage wide(2200, 1300, QImage::Format_RGB32);
    wide.fill(Qt::darkGreen);
    ASSERT_TRUE(wide.save(background_, "BMP"));
    clearMap();
    EXPECT_EQ(map().image().size(), QSize(2200, 1300));
    ASSERT_TRUE(history().undoStep());
    expectState(before, "clear undone");
    ASSERT_TRUE(history().redoStep());
    EXPECT_EQ(map().image().size(), QSize(2200, 1300));
    EXPECT_EQ(map().lines(), QStringList(801, QString()));
}

// A clear whose background cannot be read has emptied the lines: that much
// is a step, and the error still reaches the author.
TEST_F(MapEditsTest, AFailedClearIsReportedAndCanBeTakenBack) {
    paint(4, 2);
    name(4, "sala");
    const QStringList lines = map().lines();
    ASSERT_TRUE(QFile::remove(background_));
    EXPECT_ANY_THROW(clearMap());
    EXPECT_EQ(map().lines(), QStringList(801, QString()));
    ASSERT_TRUE(history().undoStep());
    EXPECT_EQ(map().lines(), lines);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);  // fonts, for the names drawn on the map
    return RUN_ALL_TESTS();
}

// A run of painted cells and an emptied cell, each one step; a run that was
// let go of for memory is passed over as other steps are.
TEST_F(MapEditsTest, PaintRunsAndEmptiedCellsAreOneStepEach) {
    const State fresh = state();
    auto run = std::make_unique<PaintRun>(*document_, 9);
    PaintRun* kept = run.get();
    for (int cell : {20, 21, 22, 21, 42})
        kept->add(cell);
    history().perform(std::move(run));
    EXPECT_EQ(history().undoCount(), 1);
    EXPECT_EQ(map().tile(21), "9");
    EXPECT_EQ(map().tile(42), "9");
    kept->add(43);  // a drag goes on in the same step
    EXPECT_EQ(map().tile(43), "9");
    const State longer = state();
    history().undoStep();
    expectState(fresh, "the run undone");
    history().redoStep();
    expectState(longer, "the run redone");

    // A long name over its neighbours: emptying the cell draws the row as a
    // reset map has it, and both lines go.
    name(21, "um_nome_muito_comprido_demais");
    const State named = state();
    history().perform(std::make_unique<EmptyCell>(*document_, 21));
    EXPECT_EQ(map().name(21), "");
    EXPECT_EQ(map().tile(21), "");
    EXPECT_EQ(map().tile(20), "9");
    MapModel expected(background_);
    QStringList lines = longer.lines;
    lines[43] = "";
    expected.show(lines);
    EXPECT_TRUE(map().image() == expected.image());
    const State emptied = state();
    history().undoStep();
    expectState(named, "the emptying undone");
    history().redoStep();
    expectState(emptied, "the emptying redone");
    // An empty cell emptied again is no step.
    const int steps = history().undoCount();
    history().perform(std::make_unique<EmptyCell>(*document_, 21));
    EXPECT_EQ(history().undoCount(), steps);
}
