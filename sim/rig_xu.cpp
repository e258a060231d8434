// The extension-unit surface (shaped like uvcvideo's control query) and the EM28xx
// driver's property requests, with the request log.
#include "scopesim/scopesim.h"
#include "sim/rig_state.h"
#include "sim/usb_descriptors.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace scopesim
{

namespace
{

constexpr uint8_t kSetCur = 0x01, kGetCur = 0x81, kGetMin = 0x82, kGetMax = 0x83, kGetRes = 0x84,
                  kGetLen = 0x85, kGetInfo = 0x86, kGetDef = 0x87;
constexpr auto kKernelControlTimeout = std::chrono::milliseconds(5000);

uint16_t bmControls(const Device& d)
{
    uint16_t bits = 0;
    for (int s = 1; s <= kControlCount; ++s)
        if (!d.absent.count(s))
            bits = static_cast<uint16_t>(bits | 1u << (s - 1));
    return bits;
}

Device* pluggedVideo(RigState* rig, int index)
{
    if (!rig || index < 0)
        return nullptr;
    for (auto& d : rig->devices)
        if (d->video() && d->plugged && index-- == 0)
            return d.get();
    return nullptr;
}

// The logs are for looking back at what just happened; a rig polled for hours must not grow
// with them. The oldest half goes once the log holds twice the limit.
template <typename T> void keepRecent(std::vector<T>& log)
{
    if (log.size() >= 2 * kRecentLogEntries)
        log.erase(log.begin(), log.begin() + static_cast<long>(kRecentLogEntries));
}

void logBus(RigState& rig, const Device& d, const BusTransfer& t)
{
    BusAccess b;
    b.atMs = rigNow(rig);
    b.deviceId = d.id;
    b.write = t.write;
    b.device = t.device;
    b.address = t.address;
    b.value = t.value;
    b.block = t.block;
    b.blockData = t.blockData;
    keepRecent(rig.bus);
    rig.bus.push_back(std::move(b));
}

// Waits out a stall as the kernel would: until the device answers again (it has lost the
// request by then) or the control timeout passes. ENODEV when the device or the rig went.
int waitOutStall(Session& s, int id)
{
    const uint64_t generation = s.rig()->generation;
    const auto deadline = std::chrono::steady_clock::now() + kKernelControlTimeout;
    for (;;) {
        RigState* rig = s.rig();
        if (!rig || rig->generation != generation)
            return ENODEV;
        Device* d = rig->byId(id);
        if (!d || !d->plugged)
            return ENODEV;
        if (!d->stalledAt(rigNow(*rig)) || std::chrono::steady_clock::now() >= deadline)
            return ETIMEDOUT;
        rigWake().wait_for(s.lock(), std::chrono::milliseconds(2));
    }
}

int query(Session& s, Device& d, uint8_t unit, uint8_t selector, uint8_t q, uint16_t size,
          uint8_t* data)
{
    if (!d.scope || unit != kXuUnitId || selector < 1 || selector > kControlCount ||
        d.absent.count(selector))
        return ENOENT;
    const uint16_t len = ScopeModel::controlLength(selector);
    uint16_t want = len;
    switch (q) {
    case kGetLen:
        want = 2;
        break;
    case kGetInfo:
        want = 1;
        break;
    case kSetCur:
    case kGetCur:
    case kGetMin:
    case kGetMax:
    case kGetRes:
    case kGetDef:
        break;
    default:
        return EINVAL;
    }
    if (size != want)
        return ENOBUFS;
    if (!data)
        return EFAULT;
    const int id = d.id;
    if (d.stalledAt(rigNow(*s.rig())))
        return waitOutStall(s, id);
    RigState& rig = *s.rig();
    const uint32_t now = rigNow(rig);
    std::optional<BusTransfer> t;
    int r = 0;
    switch (q) {
    case kGetLen:
        data[0] = static_cast<uint8_t>(len);
        data[1] = static_cast<uint8_t>(len >> 8);
        break;
    case kGetInfo:
        data[0] = 0x03; // GET and SET supported
        break;
    case kGetMin:
    case kGetDef:
        std::memset(data, 0, size);
        break;
    case kGetMax:
        std::memset(data, 0xFF, size);
        break;
    case kGetRes:
        std::memset(data, 0, size);
        data[0] = 1;
        break;
    case kSetCur:
        r = d.scope->setCur(selector, data, size, now, &t);
        break;
    case kGetCur: {
        std::vector<uint8_t> tmp(size);
        r = d.scope->getCur(selector, tmp.data(), size, now, &t);
        if (r == 0)
            std::memcpy(data, tmp.data(), size);
        break;
    }
    }
    if (t)
        logBus(rig, d, *t);
    return r;
}

void logRequest(RigState& rig, Request rq)
{
    keepRecent(rig.requests);
    rig.requests.push_back(std::move(rq));
}

} // namespace

bool isEm28xx(int id)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byId(id) : nullptr;
    return d && d->em;
}

namespace
{
// The bytes a property request carries, for the log.
std::vector<uint8_t> propertyBytes(uint32_t property, const void* data, uint32_t dataLen)
{
    std::vector<uint8_t> out;
    if (!data)
        return out;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    if (property == 0x1005) {
        auto* rq = static_cast<const Em28xxRegisterRequest*>(data);
        put32(rq->selector);
        put32(rq->length);
    } else if (property == 0x1007) {
        auto* rq = static_cast<const Em28xxI2cRequest*>(data);
        put32(rq->selector);
        put32(rq->write);
    } else {
        auto* p = static_cast<const uint8_t*>(data);
        out.assign(p, p + dataLen);
    }
    return out;
}

int32_t emRequest(int id, uint32_t property, void* data, bool set)
{
    Session s;
    RigState* rig = s.rig();
    if (!rig)
        return kEmNotConnected;
    Device* d = rig->byId(id);
    int32_t r;
    uint32_t dataLen = 0;
    if (!d || !d->em || !d->plugged)
        r = kEmNotConnected;
    else if (d->stalledAt(rigNow(*rig)))
        r = kEmTimeout;
    else {
        r = set ? d->em->setProperty(property, data, rigNow(*rig))
                : d->em->getProperty(property, data, rigNow(*rig));
        dataLen = d->em->dataLength(property);
    }
    Request rq;
    rq.atMs = rigNow(*rig);
    rq.deviceId = id;
    rq.kind = set ? RequestKind::Em28xxSet : RequestKind::Em28xxGet;
    rq.property = property;
    if (r == 0 || set)
        rq.data = propertyBytes(property, data, dataLen);
    rq.result = r;
    logRequest(*rig, std::move(rq));
    return r;
}
} // namespace

int32_t em28xxSetProperty(int id, uint32_t property, void* data)
{
    return emRequest(id, property, data, true);
}

int32_t em28xxGetProperty(int id, uint32_t property, void* data)
{
    return emRequest(id, property, data, false);
}

} // namespace scopesim

using namespace scopesim;

extern "C" {

int scopesim_xu_device_count(void)
{
    Session s;
    int n = 0;
    if (s.rig())
        for (auto& d : s.rig()->devices)
            n += d->video() && d->plugged;
    return n;
}

int scopesim_xu_device_id(int index)
{
    Session s;
    Device* d = pluggedVideo(s.rig(), index);
    return d ? d->id : 0;
}

int scopesim_xu_device_usb_ids(int id, int* vid, int* pid)
{
    Session s;
    Device* d = s.rig() ? s.rig()->byId(id) : nullptr;
    if (!d || !d->video() || !d->plugged)
        return ENODEV;
    if (vid)
        *vid = d->spec.vid;
    if (pid)
        *pid = d->spec.pid;
    return 0;
}

int scopesim_xu_descriptors(int id, unsigned char* buf, int cap)
{
    std::vector<uint8_t> bytes;
    {
        Session s;
        Device* d = s.rig() ? s.rig()->byId(id) : nullptr;
        // An unplugged device has no sysfs folder to read them from.
        if (!d || !d->video() || !d->plugged)
            return -1;
        DescriptorSpec spec;
        spec.vid = d->spec.vid;
        spec.pid = d->spec.pid;
        spec.rev = d->spec.rev;
        spec.deviceClass = d->spec.deviceClass;
        spec.subClass = d->spec.subClass;
        spec.protocol = d->spec.protocol;
        spec.video = d->spec.kind != SpecKind::Em28xx;
        spec.interfaces = d->spec.interfaces;
        spec.interfaceClass = plainInterfaceClass(d->spec);
        spec.extensionUnit = d->scope != nullptr;
        spec.bmControls = bmControls(*d);
        spec.sizes = d->sizes;
        spec.fps = d->spec.fps;
        bytes = buildDescriptors(spec);
    }
    if (buf && cap > 0)
        std::memcpy(buf, bytes.data(), std::min<size_t>(bytes.size(), static_cast<size_t>(cap)));
    return static_cast<int>(bytes.size());
}

int scopesim_xu_query(int id, unsigned char unit, unsigned char selector, unsigned char q,
                      unsigned short size, unsigned char* data)
{
    Session s;
    RigState* rig = s.rig();
    if (!rig)
        return ENODEV;
    Device* d = rig->byId(id);
    if (!d || !d->video() || !d->plugged)
        return ENODEV;
    const uint64_t generation = rig->generation;
    Request rq;
    rq.deviceId = id;
    rq.unit = unit;
    rq.selector = selector;
    rq.query = q;
    if (q == kSetCur && data)
        rq.data.assign(data, data + size);
    int r = query(s, *d, unit, selector, q, size, data);
    // A wait may have outlived the rig: log only into the rig the request went to.
    if (s.rig() && s.rig()->generation == generation) {
        if (q != kSetCur && r == 0)
            rq.data.assign(data, data + size);
        rq.atMs = rigNow(*rig);
        rq.result = r;
        logRequest(*rig, std::move(rq));
    }
    return r;
}

} // extern "C"
