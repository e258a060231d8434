// Geometry of the setup tab's icons, buttons, page and sample, scaled from the design
// sizes when the skin is smaller; plus the free-name rule of the add-folder button.
#pragma once

#include <functional>
#include <string>

struct SetupRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const SetupRect&) const = default;
};

// The two page icons in the side column (design tile 148 x 652) whose top-left is (ox, oy).
struct SetupIcons {
    SetupRect folder, stamp;
};
SetupIcons setupIcons(int tileW, int tileH, int ox, int oy);

// Confirm, cancel and add folder in the bottom bar (design 652 x 108) at (bx, by).
struct SetupButtons {
    SetupRect confirm, cancel, add;
};
SetupButtons setupButtons(int bx, int by, int barW, int barH);

// The page panel inside the content area (design 652 x 492) at (ax, ay).
SetupRect setupPage(int ax, int ay, int areaW, int areaH);

// The sample view and the radio column inside a page panel (design 624 x 464).
struct SetupSample {
    SetupRect sample;
    int radioX = 0, radioY = 0, radioW = 0, radioH = 0, radioStep = 40;
};
SetupSample setupSample(int panelW, int panelH);

// "DCIM", then "DCIM (2)", "DCIM (3)" ...: the first name for which taken() is false.
std::string firstFreeFolderName(const std::function<bool(const std::string&)>& taken);
