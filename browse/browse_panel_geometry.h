// Where the thumbnail strip's controls go inside its rectangle.
#pragma once

#include "app/skin_geometry.h"

#include <array>

struct BrowsePanelGeometry {
    std::array<SkinRect, 3> filters;  // All, Photo, Video
    SkinRect prev, next;
    std::array<SkinRect, 4> slots;
    SkinRect deleteIcon;  // inside each slot
};

BrowsePanelGeometry computeBrowsePanelGeometry(int x, int y, int w, int h);
