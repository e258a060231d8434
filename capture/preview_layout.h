// Where the live-view tools go in the tool column beside the picture.
#pragma once

#include "app/skin_geometry.h"

#include <array>

struct ToolColumn {
    std::array<SkinRect, 4> buttons; // snapshot, record, mirror, rotate
};

struct ZoomPlace {
    SkinRect bar, label;
};

// The column tile is a x b (design 148 x 652) with its top-left corner at (px, py).
ToolColumn toolColumn(int a, int b, int px, int py);
// The zoom bar flush with the column's right edge below the label bar, the zoom label on it.
ZoomPlace zoomPlace(int a, int b, int px, int py, int topBarHeight);
