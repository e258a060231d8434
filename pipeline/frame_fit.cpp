#include "pipeline/frame_fit.h"

#include <algorithm>

FitResult fitFrame(int w, int h, int W, int H, int rotation, bool fullScreen)
{
    FitResult r;
    const bool quarter = rotation == 1 || rotation == 3;
    if (fullScreen) {
        r.width = W;
        r.height = H;
    } else if (w == h) {
        r.width = r.height = std::min(W, H);
    } else {
        // 16:9 by the integer test (product first); everything else is shown as 4:3.
        const bool wide = h == w * 9 / 16;
        const int num = wide ? 9 : 3, den = wide ? 16 : 4;
        if (quarter) {
            r.width = W;
            r.height = H;
        } else {
            r.width = W;
            r.height = W * num / den;
            if (r.height > H) {
                r.height = H;
                r.width = H * den / num;
            }
        }
    }
    r.x = (W - r.width) / 2;
    r.y = (H - r.height) / 2;
    return r;
}
