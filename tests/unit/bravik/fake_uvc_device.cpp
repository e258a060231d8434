#include "fake_uvc_device.h"

#include "bravik/core/hresult.h"
#include "bravik/uvc/uvc_filter.h"

#include <cerrno>
#include <cstring>

namespace bravik::test
{
namespace
{

void put16(std::vector<uint8_t>& v, uint16_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

} // namespace

std::vector<uint8_t> buildDescriptors(uint16_t vid, uint16_t pid, const std::vector<XuSpec>& units)
{
    std::vector<uint8_t> vc; // class-specific VideoControl descriptors after the header
    const uint8_t terminal[] = {18, 0x24, 0x02, 1, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0};
    vc.insert(vc.end(), terminal, terminal + sizeof terminal);
    const uint8_t processing[] = {11, 0x24, 0x05, 2, 1, 0, 0, 2, 0, 0, 0};
    vc.insert(vc.end(), processing, processing + sizeof processing);
    for (const auto& u : units) {
        std::vector<uint8_t> x = {uint8_t(25 + u.bmControls.size()), 0x24, 0x06, u.unitId};
        uint8_t g[16];
        guidToBytes(u.guid, g);
        x.insert(x.end(), g, g + 16);
        x.push_back(u.numControls);
        x.push_back(1); // one input pin
        x.push_back(2); // fed by the processing unit
        x.push_back(uint8_t(u.bmControls.size()));
        x.insert(x.end(), u.bmControls.begin(), u.bmControls.end());
        x.push_back(0); // iExtension
        vc.insert(vc.end(), x.begin(), x.end());
    }
    const uint8_t output[] = {9, 0x24, 0x03, 3, 0x01, 0x01, 0, 2, 0};
    vc.insert(vc.end(), output, output + sizeof output);

    std::vector<uint8_t> header = {13, 0x24, 0x01, 0x00, 0x01};
    put16(header, uint16_t(13 + vc.size()));
    const uint8_t rest[] = {0x00, 0x6C, 0xDC, 0x02, 1, 1};
    header.insert(header.end(), rest, rest + sizeof rest);

    std::vector<uint8_t> config = {8, 0x0B, 0, 2, 0x0E, 0x03, 0, 0}; // interface association
    const uint8_t vcInterface[] = {9, 0x04, 0, 0, 0, 0x0E, 0x01, 0x00, 0};
    config.insert(config.end(), vcInterface, vcInterface + 9);
    config.insert(config.end(), header.begin(), header.end());
    config.insert(config.end(), vc.begin(), vc.end());
    const uint8_t vsInterface[] = {9, 0x04, 1, 0, 0, 0x0E, 0x02, 0x00, 0};
    config.insert(config.end(), vsInterface, vsInterface + 9);

    std::vector<uint8_t> out = {18, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 0x40};
    put16(out, vid);
    put16(out, pid);
    const uint8_t tail[] = {0x00, 0x01, 1, 2, 0, 1};
    out.insert(out.end(), tail, tail + 6);
    std::vector<uint8_t> cfg = {9, 0x02};
    put16(cfg, uint16_t(9 + config.size()));
    const uint8_t cfgTail[] = {2, 1, 0, 0x80, 0xFA};
    cfg.insert(cfg.end(), cfgTail, cfgTail + 5);
    out.insert(out.end(), cfg.begin(), cfg.end());
    out.insert(out.end(), config.begin(), config.end());
    return out;
}

FakeUvcDevice::FakeUvcDevice() : lengths{{1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 18}} {}

int FakeUvcDevice::query(uint8_t unit, uint8_t selector, uint8_t query, uint16_t size,
                         uint8_t* data)
{
    std::lock_guard lock(m_mutex);
    FakeQuery q{unit, selector, query, size, {}, std::chrono::steady_clock::now()};
    auto finish = [&](int e) {
        if (data && size && e == 0)
            q.data.assign(data, data + size);
        m_log.push_back(q);
        return e;
    };
    if (query == kUvcSetCur && data)
        q.data.assign(data, data + size);
    if (unit != unitId || !lengths.count(selector))
        return finish(ENOENT);
    const uint16_t length = lengths[selector];
    if (query == kUvcGetLen) {
        if (size != 2)
            return finish(ENOBUFS);
        if (failLen.count(selector))
            return finish(failLen[selector]);
        data[0] = uint8_t(length);
        data[1] = uint8_t(length >> 8);
        return finish(0);
    }
    if (query != kUvcGetCur && query != kUvcSetCur)
        return finish(EINVAL);
    if (size != length)
        return finish(ENOBUFS);
    if (failCur.count(selector))
        return finish(failCur[selector]);
    if (query == kUvcGetCur && answer)
        answer(selector, data, size);
    return finish(0);
}

std::vector<FakeQuery> FakeUvcDevice::log()
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

void FakeUvcDevice::clearLog()
{
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

std::vector<FakeQuery> FakeUvcDevice::transfers()
{
    std::vector<FakeQuery> out;
    for (auto& q : log())
        if (q.query == kUvcSetCur || q.query == kUvcGetCur)
            out.push_back(q);
    return out;
}

std::vector<DeviceEntry> FakePlatform::listDevices()
{
    std::vector<DeviceEntry> entries;
    for (const auto& d : devices) {
        DeviceEntry e;
        e.displayName = d.displayName;
        e.bind = [this, d](std::shared_ptr<IBaseFilter>& filter) -> int32_t {
            ++binds;
            if (!d.channel)
                return E_FAIL;
            filter = std::make_shared<UvcFilter>(
                d.channel, parseUvcDescriptors(d.descriptors.data(), d.descriptors.size()));
            return S_OK;
        };
        e.readDescriptors = [d](std::vector<uint8_t>& bytes) {
            bytes = d.descriptors;
            return true;
        };
        entries.push_back(std::move(e));
    }
    return entries;
}

FakeDevice scopeDevice(std::shared_ptr<FakeUvcDevice> channel)
{
    return {composeDisplayName(0x05E3, 0x0510, "/dev/video2"), std::move(channel),
            buildDescriptors(0x05E3, 0x0510, {XuSpec{}})};
}

} // namespace bravik::test
