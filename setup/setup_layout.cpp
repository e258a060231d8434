#include "setup/setup_layout.h"

SetupIcons setupIcons(int w, int h, int ox, int oy)
{
    int iw = 108, ih = 108, dx = 4, dy = 4, gap = 5;
    if (w < 148 || h < 652) {
        iw = w * 108 / 148;
        ih = h * 108 / 652;
        dx = w * 4 / 148;
        dy = h * 4 / 652;
        gap = h * 5 / 652;
    }
    SetupIcons r;
    r.folder = {ox + dx, oy + dy, iw, ih};
    r.stamp = {ox + dx, oy + dy + ih + gap, iw, ih};
    return r;
}

SetupButtons setupButtons(int bx, int by, int w, int h)
{
    int bw = 80, bh = 80, margin = 16;
    if (w < 652 || h < 108) {
        bw = w * 80 / 652;
        bh = h * 80 / 108;
        margin = w * 16 / 652;
    }
    const int c = bx + w / 2;
    const int y = by + (h - bh) / 2;
    // The gap either side of the centre stays 16 at every size.
    return {{c - bw - 16, y, bw, bh}, {c + 16, y, bw, bh}, {bx + margin, y, bw, bh}};
}

SetupRect setupPage(int ax, int ay, int w, int h)
{
    int mx = 14, my = 14;
    if (w < 652 || h < 492) {
        mx = w * 14 / 652;
        my = h * 14 / 492;
    }
    return {ax + mx, ay + my, w - 2 * mx, h - 2 * my};
}

SetupSample setupSample(int w, int h)
{
    int sx = 240, sy = 40, right = 20, rx = 40, ry = 20;
    if (w < 624 || h < 464) {
        sx = w * 240 / 624;
        sy = h * 40 / 464;
        right = w * 20 / 624;
        rx = w * 40 / 624;
        ry = h * 20 / 464;
    }
    const int e = h - ry - sy;
    const int q = (w - right - sx) / 4;
    const int f = e >= 3 * q ? q : e / 3;
    SetupSample s;
    s.sample = {sx, sy, 4 * f, 3 * f};
    s.radioX = rx;
    s.radioY = ry;
    s.radioW = sx - rx - 8;
    s.radioH = h - ry;
    s.radioStep = s.radioH < 160 ? s.radioH * 40 / 160 : 40;
    return s;
}

std::string firstFreeFolderName(const std::function<bool(const std::string&)>& taken)
{
    for (int n = 1;; ++n) {
        const std::string name = n == 1 ? std::string("DCIM") : "DCIM (" + std::to_string(n) + ")";
        if (!taken(name))
            return name;
    }
}
