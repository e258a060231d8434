#include "setup/setup_layout.h"

namespace
{

// Below the design size in either direction, every measure shrinks with the panel.
struct DesignScale {
    int w, h, refW, refH;
    bool below() const { return w < refW || h < refH; }
    int x(int v) const { return below() ? w * v / refW : v; }
    int y(int v) const { return below() ? h * v / refH : v; }
};

} // namespace

SetupIcons setupIcons(int w, int h, int ox, int oy)
{
    const DesignScale k{w, h, 148, 652};
    const int iw = k.x(108), ih = k.y(108), dx = k.x(4), dy = k.y(4), gap = k.y(5);
    SetupIcons r;
    r.folder = {ox + dx, oy + dy, iw, ih};
    r.stamp = {ox + dx, oy + dy + ih + gap, iw, ih};
    return r;
}

SetupButtons setupButtons(int bx, int by, int w, int h)
{
    const DesignScale k{w, h, 652, 108};
    const int bw = k.x(80), bh = k.y(80), margin = k.x(16);
    const int c = bx + w / 2;
    const int y = by + (h - bh) / 2;
    // The gap either side of the centre stays 16 at every size.
    return {{c - bw - 16, y, bw, bh}, {c + 16, y, bw, bh}, {bx + margin, y, bw, bh}};
}

SetupRect setupPage(int ax, int ay, int w, int h)
{
    const DesignScale k{w, h, 652, 492};
    const int mx = k.x(14), my = k.y(14);
    return {ax + mx, ay + my, w - 2 * mx, h - 2 * my};
}

SetupSample setupSample(int w, int h)
{
    const DesignScale k{w, h, 624, 464};
    const int sx = k.x(240), sy = k.y(40), right = k.x(20), rx = k.x(40), ry = k.y(20);
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
