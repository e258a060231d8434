// An in-memory UVC camera for the transports: descriptors with chosen extension units, and
// a channel that answers UVC queries with the kernel's rules and logs each one.
#pragma once

#include "bravik/core/guid.h"
#include "bravik/uvc/device_list_platform.h"
#include "bravik/uvc/uvc_channel.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace bravik::test
{

struct XuSpec {
    uint8_t unitId = 4;
    Guid guid = XU_GUID_EEP;
    uint8_t numControls = 5;
    std::vector<uint8_t> bmControls = {0x1F};
};

// Device descriptor, one configuration with a VideoControl interface (camera terminal 1,
// processing unit 2, the given extension units, output terminal 3) and a streaming interface.
std::vector<uint8_t> buildDescriptors(uint16_t vid, uint16_t pid, const std::vector<XuSpec>& units);

struct FakeQuery {
    uint8_t unit = 0, selector = 0, query = 0;
    uint16_t size = 0;
    std::vector<uint8_t> data; // as sent (SET_CUR) or as answered (GET_CUR)
    std::chrono::steady_clock::time_point at;
};

class FakeUvcDevice : public IUvcChannel
{
public:
    // The scope bridge's mailbox: selectors 1-4 carry 4 bytes, 5 carries 18.
    FakeUvcDevice();

    int query(uint8_t unit, uint8_t selector, uint8_t query, uint16_t size, uint8_t* data) override;

    std::vector<FakeQuery> log();
    void clearLog();
    // Only SET_CUR and GET_CUR, the mailbox traffic.
    std::vector<FakeQuery> transfers();

    uint8_t unitId = 4;
    std::map<int, uint16_t> lengths; // selector → length; missing: ENOENT
    std::map<int, int> failCur;      // selector → errno for GET_CUR/SET_CUR
    std::map<int, int> failLen;      // selector → errno for GET_LEN
    // Fills a GET_CUR answer (bytes 0 and 1 arrive as the caller set them).
    std::function<void(uint8_t selector, uint8_t* data, uint16_t size)> answer;

private:
    std::mutex m_mutex;
    std::vector<FakeQuery> m_log;
};

struct FakeDevice {
    std::string displayName;
    std::shared_ptr<FakeUvcDevice> channel; // null: binding fails
    std::vector<uint8_t> descriptors;
};

class FakePlatform : public DeviceListPlatform
{
public:
    std::vector<DeviceEntry> listDevices() override;
    std::vector<FakeDevice> devices;
    int binds = 0;
};

// A scope at 05E3:0510 with the family unit at id 4.
FakeDevice scopeDevice(std::shared_ptr<FakeUvcDevice> channel = std::make_shared<FakeUvcDevice>());

} // namespace bravik::test
