// The camera search: finds the inspection camera among all video inputs, recognises its
// model and opens it with the frame size the model needs. It runs as steps over the frame's
// ticks, touches no window and answers through the hooks the tab gives it.
#pragma once

#include "capture/em2800_prop.h"
#include "capture/stepped_task.h"
#include "platform/capture.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

enum CameraKind { KindNone = 0, KindKelmo = 1, KindK1100 = 2, KindTelCap = 3, KindGeneric = 4 };

enum ModelSlot {
    SlotKelmo,
    SlotK1100,
    SlotTelCap,
    SlotChip,
    SlotHd1080,
    SlotHd720,
    SlotWide360,
    SlotSquare800,
    SlotSquare400,
    SlotVga480,
    kModelSlots
};

// The camera in use and what the search learnt, filled in as the search goes: one capture per
// device index (once the search has ended, only the one in use is left open), the one in use
// (null for none), its kind, the index each known model was found at (-1 for none) and whether
// the camera turns its picture with the rotate tool; for a K1100, its bridge's property object.
struct CameraChoice {
    CameraChoice() { modelIndex.fill(-1); }

    std::vector<std::unique_ptr<platform::Capture>> captures;
    platform::Capture* capture = nullptr;
    CameraKind kind = KindNone;
    std::array<int, kModelSlots> modelIndex;
    bool rotateShown = false;
    EM2800PropHolder bridge;

    platform::Capture* at(size_t i) const
    {
        return i < captures.size() ? captures[i].get() : nullptr;
    }
};

class CameraSearch
{
public:
    // What the search asks of the scope's unit and tells the tab's camera list.
    struct Hooks {
        // The family test: true when the tube answers; its colour bars are then on.
        std::function<bool()> barsOn;
        // The tube back to the live picture.
        std::function<void()> livePicture;
        // Whether a 640 x 480 BGR buffer shows the colour bars.
        std::function<bool(const uint8_t*)> showsBars;
        // The list of cameras was emptied (before the devices are counted again).
        std::function<void()> listCleared;
        // Device index was added to the list.
        std::function<void(int)> cameraAdded;
    };

    // choice: where the outcome goes; it outlives the search.
    CameraSearch(CameraChoice& choice, Hooks hooks) : m_choice(choice), m_hooks(std::move(hooks)) {}

    // Steps of one whole search. A search abandoned while the bars are on (started over, or
    // the window closed) puts the live picture back.
    SteppedTask run();

    // Steps that put into `out` a camera's newest frame; a stream that has not given its
    // first frame yet gets a short while. Empty when there is none.
    static SteppedTask newestFrame(platform::Capture* capture, cv::Mat& out);
    // Steps that put into `out` the first frame the camera took at or after clock tick
    // `since`, waiting up to a second for it: a frame already on its way shows what the sensor
    // saw before. Empty when the camera gives nothing new.
    static SteppedTask frameTakenSince(platform::Capture* capture, std::optional<uint32_t> since,
                                       cv::Mat& out);

private:
    SteppedTask searchCamera();
    SteppedTask openGeneric(platform::Capture* cap, int index, const char* okLine,
                            const char* failLine);
    void releaseUnusedCameras();

    CameraChoice& m_choice;
    Hooks m_hooks;
};
