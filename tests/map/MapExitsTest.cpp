// The exit list against the blocks the compiler writes, on random maps.
#include "map/MapCompiler.h"
#include "map/MapExits.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
#include <set>

using orv::MapCompiler;
using orv::MapExits;

namespace {

using Direction = MapCompiler::Direction;

// The sides with a door, per tile text, north, east, south, west.
std::vector<Direction> doorsOf(const QString& tile) {
    static const std::map<QString, std::vector<Direction>> table = {
        {"2", {Direction::North}},
        {"3", {Direction::East}},
        {"4", {Direction::South}},
        {"5", {Direction::West}},
        {"6", {Direction::North, Direction::East}},
        {"7", {Direction::North, Direction::South}},
        {"8", {Direction::North, Direction::West}},
        {"9", {Direction::North, Direction::East, Direction::South}},
        {"10", {Direction::North, Direction::East, Direction::West}},
        {"11", {Direction::North, Direction::South, Direction::West}},
        {"12", {Direction::North, Direction::East, Direction::South, Direction::West}},
        {"13", {Direction::East, Direction::South}},
        {"14", {Direction::East, Direction::West}},
        {"15", {Direction::East, Direction::South, Direction::West}},
        {"16", {Direction::South, Direction::West}},
    };
    const auto found = table.find(tile);
    return found == table.end() ? std::vector<Direction>{} : found->second;
}

// Rooms of every kind, plenty of corridors so searches walk, some cells
// never painted and some tile texts that are no tile number.
QStringList randomMap(std::mt19937& random) {
    static const QStringList tiles = {"",   "",   "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",
                                      "9",  "10", "11", "12", "13", "14", "15", "16", "17", "17", "17",
                                      "18", "18", "18", "19", "19", " 6", "06", "x"};
    static const QStringList names = {"",     "",       "",      "",          "sala", "torre", "cozinha",
                                      "poço", "sala 2", "a/b",   "..",        "\t",   "ç",     "Área",
                                      "x",    "y",      "longo nome de sala"};
    std::uniform_int_distribution<int> tile(0, tiles.size() - 1);
    std::uniform_int_distribution<int> name(0, names.size() - 1);
    QStringList lines(801, QString());
    for (int cell = 0; cell < 400; ++cell) {
        lines[2 * cell] = names[name(random)];
        lines[2 * cell + 1] = tiles[tile(random)];
    }
    return lines;
}

TEST(MapExits, ListMatchesTheCompilersBlocksOnRandomMaps) {
    QTemporaryDir folder;  // no pictures in it, so no block has a "telpos" line
    ASSERT_TRUE(folder.isValid());
    const QString adventure = folder.path() + QLatin1Char('/');
    std::mt19937 random(20240615);
    for (int round = 0; round < 150; ++round) {
        const QStringList lines = randomMap(random);
        const QList<MapExits::Position> positions = MapExits::list(lines);
        std::set<int> listed;
        for (const MapExits::Position& p : positions) {
            SCOPED_TRACE(testing::Message() << "round " << round << " cell " << p.cell);
            ASSERT_TRUE(listed.insert(p.cell).second);
            ASSERT_TRUE(listed.empty() || *listed.rbegin() == p.cell);  // cell order
            EXPECT_EQ(p.name, lines[2 * p.cell]);
            EXPECT_EQ(p.usableName, MapCompiler::isUsableFileName(p.name));

            // The exit lines, exactly as the block has them.
            const QStringList block = MapCompiler::buildPositionBlock(lines, p.cell, "1", "png", adventure);
            QStringList written;
            for (const MapExits::Exit& e : p.exits) {
                written << QStringLiteral("  %1= %2").arg(MapCompiler::directionName(e.direction), e.targetName);
                EXPECT_EQ(e.targetName, lines[2 * e.target]);
            }
            EXPECT_EQ(written, block.mid(3, block.size() - 5));

            // Every door of the tile is either an exit or a dead door, in order.
            std::vector<Direction> sides;
            auto e = p.exits.begin();
            auto d = p.deadDoors.begin();
            while (e != p.exits.end() || d != p.deadDoors.end()) {
                const bool takeExit = d == p.deadDoors.end() ||
                                      (e != p.exits.end() && e->direction < d->direction);
                sides.push_back(takeExit ? (e++)->direction : (d++)->direction);
            }
            EXPECT_EQ(sides, doorsOf(lines[2 * p.cell + 1]));
            for (const MapExits::DeadDoor& dead : p.deadDoors) {
                EXPECT_EQ(dead.leftGrid, dead.target < 0);
                if (!dead.leftGrid)
                    EXPECT_EQ(lines[2 * dead.target], "");
            }
        }
        // Exactly the cells the compiler writes a script for.
        for (int cell = 0; cell < 400; ++cell)
            EXPECT_EQ(listed.count(cell) == 1, !lines[2 * cell].isEmpty() && !lines[2 * cell + 1].isEmpty());
    }
}

TEST(MapExits, DeadDoorsTellAnUnnamedTargetFromTheGridEdge) {
    QStringList lines(801, QString());
    auto put = [&](int cell, const char* name, const char* tile) {
        lines[2 * cell] = QString::fromUtf8(name);
        lines[2 * cell + 1] = QString::fromLatin1(tile);
    };
    put(3, "torre", "12");  // row 0: north runs off the top, west ends on cell 2
    put(2, "", "5");
    put(4, "", "18");       // east walks the corridor to cell 5
    put(5, "sala", "1");
    put(23, "a/b", "7");    // south ends on cell 43, unnamed and unpainted
    const QList<MapExits::Position> positions = MapExits::list(lines);
    ASSERT_EQ(positions.size(), 3);

    const MapExits::Position& torre = positions[0];
    EXPECT_EQ(torre.cell, 3);
    EXPECT_TRUE(torre.usableName);
    ASSERT_EQ(torre.exits.size(), 2);
    EXPECT_EQ(torre.exits[0].direction, Direction::East);
    EXPECT_EQ(torre.exits[0].target, 5);
    EXPECT_EQ(torre.exits[0].targetName, "sala");
    EXPECT_EQ(torre.exits[1].direction, Direction::South);
    EXPECT_EQ(torre.exits[1].target, 23);
    ASSERT_EQ(torre.deadDoors.size(), 2);
    EXPECT_EQ(torre.deadDoors[0].direction, Direction::North);
    EXPECT_TRUE(torre.deadDoors[0].leftGrid);
    EXPECT_EQ(torre.deadDoors[1].direction, Direction::West);
    EXPECT_FALSE(torre.deadDoors[1].leftGrid);
    EXPECT_EQ(torre.deadDoors[1].target, 2);

    EXPECT_TRUE(positions[1].exits.isEmpty());  // a closed room
    EXPECT_TRUE(positions[1].deadDoors.isEmpty());

    const MapExits::Position& ab = positions[2];
    EXPECT_FALSE(ab.usableName);
    ASSERT_EQ(ab.exits.size(), 1);
    EXPECT_EQ(ab.exits[0].targetName, "torre");
    ASSERT_EQ(ab.deadDoors.size(), 1);
    EXPECT_EQ(ab.deadDoors[0].target, 43);

    // A cell that is no position lists nothing, whatever its tile.
    EXPECT_TRUE(MapExits::of(lines, 2).deadDoors.isEmpty());
    EXPECT_FALSE(MapExits::isPosition(lines, 400));
    EXPECT_EQ(MapCompiler::directionName(Direction::West), "oeste");
}

}  // namespace
