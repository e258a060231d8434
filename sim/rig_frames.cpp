// Frames of the rig's video inputs: the scene is chosen under the lock, drawn outside it.
#include "sim/frame_plan.h"
#include "sim/frame_source.h"
#include "sim/rig_state.h"

#include <cmath>
#include <cstdlib>

namespace scopesim
{

namespace
{

// How much the LEDs light the pipe: level 0..15, the switch adds the second ring.
double ledLight(int level, bool second)
{
    double l = 0.08 + 0.92 * level / 15.0;
    if (second)
        l = std::min(1.0, l * 1.25);
    return l;
}

} // namespace

FramePlan planFrame(const Device& d, uint32_t atMs)
{
    FramePlan plan;
    plan.width = d.size.width;
    plan.height = d.size.height;
    const double fps = d.spec.fps > 0 ? d.spec.fps : 30;
    // Frames come at the device's rate: the scene moves in frame steps.
    plan.seconds = std::floor(atMs * fps / 1000.0) / fps;
    // A still scene is the pipe at its first moment, the same picture every frame: the rig
    // hands out the bytes it made once, as a real sensor costs its host nothing to draw.
    if (d.spec.scene == Scene::Still)
        plan.seconds = 0;
    if (d.scope) {
        if (!d.scope->tubeIn())
            plan.picture = Picture::Black;
        else if (d.scope->testPictureAt(atMs))
            plan.picture = Picture::Bars;
        else {
            plan.picture = Picture::Pipe;
            plan.light = ledLight(d.scope->ledLevel(), d.scope->ledSwitch());
            plan.gain = d.scope->boost() ? 1.9 : 1.0;
        }
    } else if (d.em) {
        plan.picture = Picture::Pipe;
        plan.light = 0.85;
    } else {
        switch (d.spec.scene) {
        case Scene::Pipe:
        case Scene::Still:
            plan.picture = Picture::Pipe;
            plan.light = 0.85;
            break;
        case Scene::Gradient:
            plan.picture = Picture::Gradient;
            break;
        case Scene::Black:
            plan.picture = Picture::Black;
            break;
        case Scene::Chart:
            plan.picture = Picture::Chart;
            break;
        }
    }
    return plan;
}

void renderPlan(const FramePlan& plan, cv::Mat& out)
{
    switch (plan.picture) {
    case Picture::Pipe:
        renderPipe(out, plan.width, plan.height, plan.seconds, plan.light, plan.gain);
        break;
    case Picture::Gradient:
        renderGradient(out, plan.width, plan.height, plan.seconds);
        break;
    case Picture::Black:
        renderBlack(out, plan.width, plan.height);
        break;
    case Picture::Bars:
        renderColourBars(out, plan.width, plan.height);
        break;
    case Picture::Chart:
        // A bar chart in front of a webcam: the same colours at broadcast 75 % level.
        renderColourBars(out, plan.width, plan.height, 0.75);
        break;
    }
}

bool grabFrame(int id, cv::Mat& out)
{
    FramePlan plan;
    {
        Session s;
        Device* d = s.rig() ? s.rig()->byId(id) : nullptr;
        if (!d || !d->video() || !d->plugged || !d->framesOn) {
            out.release();
            return false;
        }
        plan = planFrame(*d, rigNow(*s.rig()));
    }
    renderPlan(plan, out);
    return true;
}

bool setFrameSize(int id, int width, int height)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byId(id) : nullptr;
    if (!d || !d->video() || !d->plugged || d->sizes.empty())
        return false;
    // The nearest mode the device has, as a driver adjusts a format request.
    const FrameSize* best = &d->sizes.front();
    long bestCost = -1;
    for (const FrameSize& f : d->sizes) {
        long cost = std::labs(static_cast<long>(f.width) - width) +
                    std::labs(static_cast<long>(f.height) - height);
        if (bestCost < 0 || cost < bestCost) {
            bestCost = cost;
            best = &f;
        }
    }
    d->size = *best;
    return true;
}

std::vector<std::pair<int, int>> frameSizes(int id)
{
    Session s;
    std::vector<std::pair<int, int>> out;
    Device* d = s.rig() ? s.rig()->byId(id) : nullptr;
    if (d)
        for (const FrameSize& f : d->sizes)
            out.emplace_back(f.width, f.height);
    return out;
}

} // namespace scopesim
