// The arithmetic of the skinned window: where each of the thirteen tiles goes for a client
// size, and where the frame's own children sit on them. Pure integer arithmetic, so it is
// checked without a display.
#pragma once

#include <array>
#include <cstddef>

struct SkinRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const SkinRect&) const = default;
};

struct SkinSize {
    int w = 0, h = 0;
    bool operator==(const SkinSize&) const = default;
};

constexpr int kDesignWidth = 1152;
constexpr int kDesignHeight = 684;

// The tiles, numbered as their pictures (background11.bmp..background23.bmp).
enum SkinTile : int {
    TileTopLeft = 11, // the tab buttons
    TileLeftEdge = 12,
    TileBottomLeft = 13, // the power-off button
    TileRightEdge = 14,
    TileTopEdge = 15,
    TileTopRight = 16,
    TileBottomEdge = 17,
    TileBottomRight = 18,
    TileSide = 19,      // each tab's tool column
    TileStrip = 20,     // the thumbnail strip
    TileTopBar = 21,    // the status and the notice
    TileBottomBar = 22, // the box, the player, the setup buttons
    TileScreen = 23,    // the picture
};
constexpr int kFirstTile = TileTopLeft, kLastTile = TileScreen;

struct SkinGeometry {
    int width = 0, height = 0;
    bool scaled = false;
    std::array<SkinRect, kLastTile + 1> tile{};
    const SkinRect& operator[](int n) const { return tile[static_cast<size_t>(n)]; }
};

// Natural sizes of the corner tiles 11, 13, 16 and 18 as loaded (a picture that could not
// be loaded takes its design size, so the layout stays usable).
struct CornerSizes {
    SkinSize t11{136, 368}, t13{136, 106}, t16{32, 16}, t18{32, 16};
};

SkinGeometry computeSkinGeometry(int width, int height, const CornerSizes& corners = {});

// Placement of the frame's children, each given the tile it sits on.
SkinRect statusLabelRect(const SkinGeometry& g);
SkinRect noticeLabelRect(const SkinGeometry& g, int statusWidth);
SkinRect screenRect(const SkinGeometry& g);
SkinRect fullScreenButtonRect(const SkinGeometry& g);
// Inside a screen of the given size (full-screen mode).
SkinRect exitButtonRect(int screenWidth, int screenHeight);
// The power-off button's region inside the bottom-left tile (tile coordinates).
SkinRect powerOffRegion(int tileWidth, int tileHeight);
// A tab button inside the top-left tile for its design y (20, 133, 246).
SkinRect tabButtonRect(int tileWidth, int tileHeight, int designY);
// The client size the frame asks for on a screen of the given width.
SkinSize initialClientSize(const SkinGeometry& design, int screenWidth);

// n scaled by actual/reference when actual is smaller than the reference, else n.
inline int scaleBelow(int n, int actual, int reference)
{
    return actual < reference ? n * actual / reference : n;
}
