#pragma once
#include <cstdint>

namespace orv {

// One record shared by every drag handle and by the drawing surfaces.
struct DragState {
    int startX = 0;
    int startY = 0;
    std::uint8_t dragging = 0;
};

}  // namespace orv
