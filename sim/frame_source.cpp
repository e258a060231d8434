#include "sim/frame_source.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace scopesim
{

namespace
{

constexpr int kTexAround = 512; // texels round the pipe
constexpr int kTexAlong = 512;  // texels along it (wraps)
constexpr double kTexelsPerUnit = 96.0;
constexpr double kFocal = 0.9;

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth value noise on a wrapping grid of `cell` texels.
double noise(int x, int y, int cell, uint32_t seed)
{
    const int gx = kTexAround / cell, gy = kTexAlong / cell;
    int x0 = x / cell, y0 = y / cell;
    double fx = static_cast<double>(x % cell) / cell, fy = static_cast<double>(y % cell) / cell;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    auto at = [&](int cx, int cy) {
        return (hash(static_cast<uint32_t>(cx % gx), static_cast<uint32_t>(cy % gy), seed) &
                0xFFFF) /
               65535.0;
    };
    double a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
    return (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
}

// The unrolled pipe wall: steel with rust patches, weld seams across it every so often and
// a seam along it, a wet strip along the bottom.
std::vector<cv::Vec3f> makeTexture()
{
    std::vector<cv::Vec3f> tex(static_cast<size_t>(kTexAround) * kTexAlong);
    for (int v = 0; v < kTexAlong; ++v) {
        for (int u = 0; u < kTexAround; ++u) {
            double grain =
                0.5 * noise(u, v, 64, 1) + 0.3 * noise(u, v, 16, 2) + 0.2 * noise(u, v, 4, 3);
            double rust = std::clamp((noise(u, v, 32, 7) - 0.55) * 4.0, 0.0, 1.0);
            cv::Vec3f steel(100.0f, 108.0f, 112.0f);
            cv::Vec3f brown(38.0f, 78.0f, 140.0f);
            cv::Vec3f c = steel * static_cast<float>(1.0 - rust) + brown * static_cast<float>(rust);
            c *= static_cast<float>(0.7 + 0.6 * grain);
            int seam = v % 128;
            if (seam < 5)
                c *= seam == 2 ? 1.5f : 0.45f; // weld bead between two dark grooves
            if (std::abs(u - kTexAround * 4 / 5) < 2)
                c *= 0.6f;
            double bottom = std::abs(u - kTexAround / 4) / (kTexAround / 10.0);
            if (bottom < 1.0) {
                double wet = 1.0 - bottom;
                c = c * static_cast<float>(1.0 - 0.5 * wet) +
                    cv::Vec3f(60.0f, 70.0f, 60.0f) * static_cast<float>(0.5 * wet);
            }
            tex[static_cast<size_t>(v) * kTexAround + u] = c;
        }
    }
    return tex;
}

const std::vector<cv::Vec3f>& texture()
{
    static const std::vector<cv::Vec3f> tex = makeTexture();
    return tex;
}

// Per frame size: where each pixel looks on the wall and how much LED light reaches it.
struct Geometry {
    std::vector<int> around;
    std::vector<float> depth;
    std::vector<float> shade;
};

std::shared_ptr<const Geometry> geometry(int w, int h)
{
    static std::mutex lock;
    static std::map<std::pair<int, int>, std::shared_ptr<const Geometry>> cache;
    std::lock_guard<std::mutex> g(lock);
    auto& slot = cache[{w, h}];
    if (slot)
        return slot;
    auto geo = std::make_shared<Geometry>();
    const size_t n = static_cast<size_t>(w) * h;
    geo->around.resize(n);
    geo->depth.resize(n);
    geo->shade.resize(n);
    const double cx = w * 0.52, cy = h * 0.47, scale = 0.5 * std::min(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            size_t i = static_cast<size_t>(y) * w + x;
            double dx = (x - cx) / scale, dy = (y - cy) / scale;
            double r = std::max(std::sqrt(dx * dx + dy * dy), 0.02);
            double a = std::atan2(dy, dx);
            double z = kFocal / r;
            int u = static_cast<int>((a / (2 * M_PI) + 1.0) * kTexAround) % kTexAround;
            geo->around[i] = u;
            geo->depth[i] = static_cast<float>(z * kTexelsPerUnit);
            // Light from the head falls off with distance; the lens darkens the corners.
            double falloff = 1.0 / (1.0 + (z / 1.4) * (z / 1.4));
            double vignette = 1.0 - 0.25 * std::min(1.0, r * r / 2.0);
            geo->shade[i] = static_cast<float>(1.6 * falloff * vignette);
        }
    }
    slot = geo;
    return slot;
}

uint8_t sat(double v)
{
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

} // namespace

void renderPipe(cv::Mat& out, int width, int height, double seconds, double light, double gain)
{
    out.create(height, width, CV_8UC3);
    const auto& tex = texture();
    auto geo = geometry(width, height);
    const double travel = seconds * 0.12 * kTexelsPerUnit;
    const int sway = static_cast<int>(std::lround(6.0 * std::sin(seconds * 0.21)));
    const float k = static_cast<float>(std::clamp(light, 0.0, 1.0) * gain);
    // Sensor noise grows with gain; a cheap generator keeps the frame fast to make.
    uint32_t rng = static_cast<uint32_t>(seconds * 1000.0) * 2654435761u + 1u;
    const float noiseAmp = static_cast<float>(3.0 * gain);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x) {
            size_t i = static_cast<size_t>(y) * width + x;
            int u = (geo->around[i] + sway + kTexAround) % kTexAround;
            int v = static_cast<int>(geo->depth[i] + travel) & (kTexAlong - 1);
            const cv::Vec3f& t = tex[static_cast<size_t>(v) * kTexAround + u];
            float s = geo->shade[i] * k;
            rng = rng * 1664525u + 1013904223u;
            float n = (static_cast<float>(rng >> 24) / 255.0f - 0.5f) * noiseAmp;
            row[3 * x + 0] = sat(t[0] * s + n);
            row[3 * x + 1] = sat(t[1] * s + n);
            row[3 * x + 2] = sat(t[2] * s + n);
        }
    }
}

void renderGradient(cv::Mat& out, int width, int height, double seconds)
{
    out.create(height, width, CV_8UC3);
    const int shift = static_cast<int>(seconds * 40.0);
    const int bar = static_cast<int>(seconds * 90.0) % std::max(1, width + 40) - 20;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.ptr<uint8_t>(y);
        double shadeY = 0.35 + 0.65 * (1.0 - static_cast<double>(y) / height);
        for (int x = 0; x < width; ++x) {
            double hue = ((x + shift) % width) / static_cast<double>(width) * 6.0;
            double f = hue - std::floor(hue);
            double r, g, b;
            switch (static_cast<int>(hue) % 6) {
            case 0:
                r = 1, g = f, b = 0;
                break;
            case 1:
                r = 1 - f, g = 1, b = 0;
                break;
            case 2:
                r = 0, g = 1, b = f;
                break;
            case 3:
                r = 0, g = 1 - f, b = 1;
                break;
            case 4:
                r = f, g = 0, b = 1;
                break;
            default:
                r = 1, g = 0, b = 1 - f;
                break;
            }
            bool inBar = x >= bar && x < bar + 20;
            row[3 * x + 0] = inBar ? 255 : sat(255.0 * b * shadeY);
            row[3 * x + 1] = inBar ? 255 : sat(255.0 * g * shadeY);
            row[3 * x + 2] = inBar ? 255 : sat(255.0 * r * shadeY);
        }
    }
}

void renderBlack(cv::Mat& out, int width, int height)
{
    out.create(height, width, CV_8UC3);
    out.setTo(cv::Scalar::all(0));
}

void renderColourBars(cv::Mat& out, int width, int height, double level)
{
    static const uint8_t bars[8][3] = {
        {0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0x00}, {0x00, 0xFF, 0x00},
        {0xFF, 0x00, 0xFF}, {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0x00}, {0x00, 0x00, 0x00},
    }; // B, G, R
    out.create(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* c = bars[x * 8 / width];
            for (int k = 0; k < 3; ++k)
                row[3 * x + k] = static_cast<uint8_t>(c[k] * level + 0.5);
        }
    }
}

} // namespace scopesim
