#include "bravik/uvc/descriptor_parser.h"

#include <algorithm>
#include <cstdio>

namespace bravik
{
namespace
{

constexpr uint8_t kConfigurationType = 0x02;
constexpr uint8_t kInterfaceType = 0x04;
constexpr uint8_t kCsInterfaceType = 0x24;
constexpr uint8_t kVideoClass = 0x0E;
constexpr uint8_t kVideoControlSubclass = 0x01;
constexpr uint8_t kFirstEntitySubtype = 0x02; // input terminal
constexpr uint8_t kLastEntitySubtype = 0x07;  // encoding unit
constexpr uint8_t kExtensionUnitSubtype = 0x06;

std::string at(const char* what, size_t offset)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s at offset %zu", what, offset);
    return text;
}

// bLength covers the fixed part, the source ids and the control bitmap.
bool parseExtensionUnit(const uint8_t* p, size_t len, ExtensionUnitDescriptor& unit)
{
    if (len < 22)
        return false;
    const size_t pins = p[21];
    if (len < 23 + pins)
        return false;
    const size_t controlSize = p[22 + pins];
    if (len < 23 + pins + controlSize)
        return false;
    unit.unitId = p[3];
    unit.guid = guidFromBytes(p + 4);
    unit.numControls = p[20];
    unit.bmControls.assign(p + 23 + pins, p + 23 + pins + controlSize);
    unit.raw.assign(p, p + len);
    return true;
}

} // namespace

const ExtensionUnitDescriptor* UvcDescriptors::find(uint32_t unitId, const Guid& guid) const
{
    for (const auto& u : units)
        if (u.unitId == unitId && u.guid == guid)
            return &u;
    return nullptr;
}

UvcDescriptors parseUvcDescriptors(const uint8_t* data, size_t size)
{
    UvcDescriptors out;
    bool inVideoControl = false;
    size_t offset = 0;
    while (offset < size) {
        const size_t left = size - offset;
        if (left < 2) {
            out.error = at("truncated descriptor header", offset);
            break;
        }
        const uint8_t* p = data + offset;
        const size_t len = p[0];
        const uint8_t type = p[1];
        if (len < 2) {
            out.error = at("descriptor with bLength below 2", offset);
            break;
        }
        if (len > left) {
            out.error = at("descriptor running past the end", offset);
            break;
        }
        if (type == kConfigurationType || type == kInterfaceType) {
            if (len < 9) {
                out.error = at("short configuration or interface descriptor", offset);
                break;
            }
            inVideoControl =
                type == kInterfaceType && p[5] == kVideoClass && p[6] == kVideoControlSubclass;
            out.hasVideoControl = out.hasVideoControl || inVideoControl;
        } else if (type == kCsInterfaceType && inVideoControl) {
            if (len < 3) {
                out.error = at("short class-specific descriptor", offset);
                break;
            }
            const uint8_t subtype = p[2];
            if (subtype >= kFirstEntitySubtype && subtype <= kLastEntitySubtype) {
                if (len < 4) {
                    out.error = at("short terminal or unit descriptor", offset);
                    break;
                }
                out.highestEntityId = std::max(out.highestEntityId, int(p[3]));
            }
            if (subtype == kExtensionUnitSubtype) {
                ExtensionUnitDescriptor unit;
                if (!parseExtensionUnit(p, len, unit)) {
                    out.error = at("short extension unit descriptor", offset);
                    break;
                }
                out.units.push_back(std::move(unit));
            }
        }
        offset += len;
    }
    return out;
}

std::string formatUnitLine(const ExtensionUnitDescriptor& unit)
{
    std::string hex;
    char digits[4];
    for (size_t i = unit.bmControls.size(); i-- > 0;) {
        const uint8_t b = unit.bmControls[i];
        if (hex.empty()) {
            if (b == 0)
                continue;
            std::snprintf(digits, sizeof digits, "%x", b);
        } else {
            std::snprintf(digits, sizeof digits, "%02x", b);
        }
        hex += digits;
    }
    if (hex.empty())
        hex = "0";
    char head[96];
    std::snprintf(head, sizeof head, "unit %u {%s} controls %u bmControls 0x",
                  unsigned(unit.unitId), guidToText(unit.guid).c_str(), unsigned(unit.numControls));
    return head + hex;
}

} // namespace bravik
