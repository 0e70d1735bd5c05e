#pragma once
#include <QImage>

namespace orv {

// The 20 map tiles, 100 x 60 each: 0 blank, 1 to 16 rooms with doors,
// 17 vertical corridor, 18 horizontal corridor, 19 crossing. Every picture
// shows its doors on the sides the map compiler leaves by.
namespace TileSet {

constexpr int Count = 20;
constexpr int Width = 100;
constexpr int Height = 60;

const QImage& picture(int tile);  // tile outside 0..19 gives the blank tile

// Sides with a door, as the map compiler reads them (north, east, south, west).
struct Doors { bool north, east, south, west; };
Doors doorsOf(int tile);

}  // namespace TileSet
}  // namespace orv
