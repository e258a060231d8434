#include "sim/usb_descriptors.h"

#include <cmath>

namespace scopesim
{

const uint8_t kXuGuidBytes[16] = {0x0B, 0x36, 0x5D, 0x5E, 0x5F, 0xE4, 0x81, 0x45,
                                  0x9B, 0x0B, 0x37, 0x46, 0x69, 0xBA, 0x05, 0xD4};

namespace
{

constexpr uint8_t kCsInterface = 0x24;
constexpr uint8_t kTerminalCamera = 1, kTerminalProcessing = 2, kTerminalOutput = 3;

class Bytes
{
public:
    std::vector<uint8_t> v;
    Bytes& u8(unsigned x)
    {
        v.push_back(static_cast<uint8_t>(x));
        return *this;
    }
    Bytes& u16(unsigned x) { return u8(x & 0xFF).u8(x >> 8); }
    Bytes& u32(uint32_t x) { return u16(x & 0xFFFF).u16(x >> 16); }
    Bytes& raw(const uint8_t* p, size_t n)
    {
        v.insert(v.end(), p, p + n);
        return *this;
    }
    Bytes& add(const Bytes& b) { return raw(b.v.data(), b.v.size()); }
    size_t size() const { return v.size(); }
};

Bytes interfaceDesc(unsigned number, unsigned alt, unsigned endpoints, unsigned cls, unsigned sub,
                    unsigned proto = 0)
{
    Bytes b;
    b.u8(9).u8(4).u8(number).u8(alt).u8(endpoints).u8(cls).u8(sub).u8(proto).u8(0);
    return b;
}

Bytes videoControl(const DescriptorSpec& s)
{
    Bytes units;
    // Camera input terminal.
    units.u8(18).u8(kCsInterface).u8(0x02).u8(kTerminalCamera).u16(0x0201).u8(0).u8(0);
    units.u16(0).u16(0).u16(0).u8(3).u8(0).u8(0).u8(0);
    // Processing unit: brightness, contrast, hue, saturation.
    units.u8(11).u8(kCsInterface).u8(0x05).u8(kTerminalProcessing).u8(kTerminalCamera);
    units.u16(0).u8(2).u8(0x0F).u8(0x00).u8(0);
    uint8_t outputSource = kTerminalProcessing;
    if (s.extensionUnit) {
        // The bridge's register unit: one input pin, two bytes of control bits.
        units.u8(24 + 1 + 2).u8(kCsInterface).u8(0x06).u8(kXuUnitId).raw(kXuGuidBytes, 16);
        units.u8(5).u8(1).u8(kTerminalProcessing).u8(2);
        units.u16(s.bmControls).u8(0);
        outputSource = kXuUnitId;
    }
    units.u8(9)
        .u8(kCsInterface)
        .u8(0x03)
        .u8(kTerminalOutput)
        .u16(0x0101)
        .u8(0)
        .u8(outputSource)
        .u8(0);

    Bytes header;
    const unsigned total = 13 + static_cast<unsigned>(units.size());
    header.u8(13).u8(kCsInterface).u8(0x01).u16(0x0100).u16(total).u32(48000000).u8(1).u8(1);

    Bytes b = interfaceDesc(0, 0, 1, 0x0E, 0x01);
    b.add(header).add(units);
    // Status interrupt endpoint and its class-specific part.
    b.u8(7).u8(5).u8(0x83).u8(0x03).u16(16).u8(8);
    b.u8(5).u8(0x25).u8(0x03).u16(16);
    return b;
}

Bytes videoStreaming(const DescriptorSpec& s)
{
    static const uint8_t yuy2[16] = {0x59, 0x55, 0x59, 0x32, 0x00, 0x00, 0x10, 0x00,
                                     0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const uint32_t interval = static_cast<uint32_t>(std::lround(1e7 / (s.fps > 0 ? s.fps : 30)));
    Bytes formats;
    formats.u8(27).u8(kCsInterface).u8(0x04).u8(1).u8(static_cast<unsigned>(s.sizes.size()));
    formats.raw(yuy2, 16).u8(16).u8(1).u8(0).u8(0).u8(0).u8(0);
    unsigned index = 1;
    for (const FrameSize& f : s.sizes) {
        const uint32_t frameBytes = static_cast<uint32_t>(f.width) * f.height * 2;
        const uint32_t bitRate = static_cast<uint32_t>(frameBytes * 8.0 * (s.fps > 0 ? s.fps : 30));
        formats.u8(30).u8(kCsInterface).u8(0x05).u8(index++).u8(0);
        formats.u16(static_cast<unsigned>(f.width)).u16(static_cast<unsigned>(f.height));
        formats.u32(bitRate).u32(bitRate).u32(frameBytes).u32(interval).u8(1).u32(interval);
    }
    formats.u8(6).u8(kCsInterface).u8(0x0D).u8(1).u8(1).u8(4);

    Bytes header;
    const unsigned total = 14 + static_cast<unsigned>(formats.size());
    header.u8(14).u8(kCsInterface).u8(0x01).u8(1).u16(total).u8(0x81).u8(0).u8(kTerminalOutput);
    header.u8(0).u8(0).u8(0).u8(1).u8(0);

    Bytes b = interfaceDesc(1, 0, 0, 0x0E, 0x02);
    b.add(header).add(formats);
    b.add(interfaceDesc(1, 1, 1, 0x0E, 0x02));
    b.u8(7).u8(5).u8(0x81).u8(0x05).u16(0x1400).u8(1);
    return b;
}

} // namespace

std::array<uint8_t, 3> plainInterfaceClass(const DeviceSpec& d)
{
    if (d.interfaceClass)
        return *d.interfaceClass;
    if (d.deviceClass)
        return {d.deviceClass, d.subClass, d.protocol};
    return {0xFF, 0x00, 0x00};
}

std::vector<uint8_t> buildDescriptors(const DescriptorSpec& s)
{
    Bytes body;
    unsigned interfaces;
    if (s.video) {
        interfaces = 2;
        body.u8(8).u8(0x0B).u8(0).u8(2).u8(0x0E).u8(0x03).u8(0).u8(0);
        body.add(videoControl(s)).add(videoStreaming(s));
    } else {
        interfaces = static_cast<unsigned>(s.interfaces < 1 ? 1 : s.interfaces);
        for (unsigned i = 0; i < interfaces; ++i) {
            body.add(interfaceDesc(i, 0, 1, s.interfaceClass[0], s.interfaceClass[1],
                                   s.interfaceClass[2]));
            body.u8(7).u8(5).u8(0x81 + i).u8(0x03).u16(8).u8(12);
        }
    }
    Bytes d;
    d.u8(18).u8(1).u16(0x0200).u8(s.deviceClass).u8(s.subClass).u8(s.protocol).u8(64);
    d.u16(s.vid).u16(s.pid).u16(s.rev).u8(1).u8(2).u8(0).u8(1);
    d.u8(9).u8(2).u16(9 + static_cast<unsigned>(body.size())).u8(interfaces).u8(1).u8(0);
    d.u8(0x80).u8(250);
    d.add(body);
    return d.v;
}

} // namespace scopesim
