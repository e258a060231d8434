// An extension-unit object opened on a fake scope through the whole stack.
#pragma once

#include "bravik/core/bv_api.h"
#include "fake_uvc_device.h"

#include <gtest/gtest.h>

namespace bravik::test
{

struct OpenScope {
    explicit OpenScope(std::shared_ptr<FakeUvcDevice> dev = std::make_shared<FakeUvcDevice>(),
                       const XuOptions& options = {})
        : device(std::move(dev))
    {
        platform.devices.push_back(scopeDevice(device));
        int pid = 0, vid = 0;
        result = uvcInitialize(platform, &holder, &unit, 0x0510, 0x05E3, &pid, &vid, options);
        device->clearLog();
    }
    ~OpenScope() { uvcRelease(&holder, &unit); }

    std::shared_ptr<FakeUvcDevice> device;
    FakePlatform platform;
    FilterHolder* holder = nullptr;
    CUVCXU* unit = nullptr;
    int result = 0;
};

inline std::vector<uint8_t> bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> out;
    for (int b : list)
        out.push_back(uint8_t(b));
    return out;
}

} // namespace bravik::test
