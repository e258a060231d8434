#include "capture/em2800_prop.h"

#include "app/data_files.h"
#include "platform/services.h"

namespace
{
const char* const kBridgeNames[] = {
    "USB 2800 Video",  "USB 2801 Video",  "USB 2700 Camera", "USB 2701 Camera",
    "USB 2840 Video",  "USB 2841 Video",  "USB 2820 Video",  "USB 2821 Video",
    "USB 2710 Camera", "USB 2711 Camera", "USB 2860 Video",  "USB 2861 Video",
    "USB 2880 Video",  "USB 2881 Video",  "USB 2750 Camera", "USB 2751 Camera",
};
// The driver's name buffers: longer configured names are cut, as they always were.
constexpr size_t kRegistryNameMax = 255;
constexpr size_t kFriendlyNameMax = 259;
} // namespace

int CEM2800Prop::GetTwainName(std::string* narrow, std::string* wide)
{
    platform::Registry& reg = platform::registry();
    std::optional<std::string> v = reg.readString("Software\\USB2800\\TwainDS", "RealDSName");
    if (!v)
        v = reg.readString("Software\\USB2800\\TwainDS", "DSName");
    if (!v)
        return 0;
    std::string name = v->substr(0, kRegistryNameMax);
    if (narrow)
        *narrow = name;
    if (wide)
        *wide = name;
    return 1;
}

platform::Em28xxProperties* CEM2800Prop::Open()
{
    std::string name;
    if (!GetTwainName(&name, nullptr))
        name = "USB 2820 Video";
    std::vector<platform::VideoInput> inputs = platform::videoInputs().enumerate();
    auto findByPrefix = [&](const std::string& prefix) -> const platform::VideoInput* {
        for (const platform::VideoInput& in : inputs) {
            const std::string friendly = in.friendlyName.substr(0, kFriendlyNameMax);
            if (!prefix.empty() && friendly.compare(0, prefix.size(), prefix) == 0)
                return &in;
        }
        return nullptr;
    };
    const platform::VideoInput* bridge = findByPrefix(name);
    for (const char* n : kBridgeNames) {
        if (bridge)
            break;
        bridge = findByPrefix(n);
    }
    // Linux has no such names: its em28xx driver names the node after a board guess, and the
    // video input list names it by the USB product string. The driver itself says which node
    // is the bridge.
    for (const platform::VideoInput& in : inputs) {
        if (bridge)
            break;
        if (in.driver == "em28xx")
            bridge = &in;
    }
    if (!bridge)
        return nullptr;
    std::string why;
    m_props = platform::em28xx().open(*bridge, &why);
    if (!m_props) {
        if (!why.empty())
            logLine("Preview InitEM2800Prop() %s\n", why.c_str());
        return nullptr;
    }
    uint32_t info = 0;
    m_props->getProperty(platform::kEmPropInfo1, &info);
    m_props->getProperty(platform::kEmPropInfo2, &info);
    return m_props.get();
}

void CEM2800Prop::deselect(uint32_t property)
{
    if (property == platform::kEmPropRegSelect) {
        platform::Em28xxRegisterRequest none;
        m_props->setProperty(property, &none);
    } else {
        platform::Em28xxI2cRequest none;
        m_props->setProperty(property, &none);
    }
}

int32_t CEM2800Prop::registerTransfer(uint8_t reg, uint32_t length, uint8_t* data, bool write)
{
    if (!m_props)
        return m_result = kNotOpen;
    platform::Em28xxRegisterRequest req;
    req.selector = (static_cast<uint32_t>(reg) << 8) | length;
    req.length = length;
    req.data = data;
    m_result = m_props->setProperty(platform::kEmPropRegSelect, &req);
    if (m_result >= 0)
        m_result = write ? m_props->setProperty(platform::kEmPropRegData, data)
                         : m_props->getProperty(platform::kEmPropRegData, data);
    if (m_result < 0)
        deselect(platform::kEmPropRegSelect);
    return m_result;
}

int32_t CEM2800Prop::ReadReg(uint8_t reg, uint32_t length, uint8_t* data)
{
    return registerTransfer(reg, length, data, false);
}

int32_t CEM2800Prop::WriteReg(uint8_t reg, uint32_t length, uint8_t* data)
{
    return registerTransfer(reg, length, data, true);
}

int32_t CEM2800Prop::WriteIndirect(uint8_t index, const uint16_t* value)
{
    if (!m_props)
        return m_result = kNotOpen;
    int reads = 0;
    for (;; ++reads) {
        if (reads >= 2000)
            return m_result = kBusy;
        uint8_t busy = 0;
        if (ReadReg(0x43, 1, &busy) < 0)
            return m_result = kBusy;
        if (!(busy & 0x01))
            break;
    }
    uint8_t bytes[2] = {static_cast<uint8_t>(*value & 0xFF), static_cast<uint8_t>(*value >> 8)};
    if (WriteReg(0x40, 2, bytes) < 0)
        return m_result;
    uint8_t idx = index;
    if (WriteReg(0x42, 1, &idx) < 0)
        return m_result;
    return m_result = 0;
}

bool CEM2800Prop::CheckSnapButton()
{
    uint8_t v = 0;
    if (ReadReg(0x0C, 1, &v) < 0 || m_result == kNotOpen)
        return false;
    if (!(v & 0x20))
        return false;
    v = static_cast<uint8_t>(v & ~0x20);
    WriteReg(0x0C, 1, &v);
    return true;
}

int32_t CEM2800Prop::ReadGpio(uint8_t* value)
{
    uint8_t scratch = 0;
    ReadReg(8, 1, &scratch);
    return ReadReg(9, 1, value);
}

int32_t CEM2800Prop::SetI2C(uint8_t address, uint8_t reg, uint32_t length, uint8_t* data)
{
    if (!m_props)
        return m_result = kNotOpen;
    platform::Em28xxI2cRequest req;
    req.selector = 0x01000000u | (static_cast<uint32_t>(address) << 16) |
                   (static_cast<uint32_t>(reg) << 8) | length;
    req.data = data;
    req.write = 1;
    m_result = m_props->setProperty(platform::kEmPropI2cSelect, &req);
    if (m_result >= 0)
        m_result = m_props->setProperty(platform::kEmPropI2cData, data);
    if (m_result < 0)
        deselect(platform::kEmPropI2cSelect);
    return m_result;
}

void EM2800PropHolder::init()
{
    m_prop = std::make_unique<CEM2800Prop>();
    logLine("Preview InitEM2800Prop() pCEM2800Prop(%s)\n", "TRUE");
    if (m_prop->Open()) {
        uint8_t data = 0x20;
        m_prop->SetI2C(0xB8, 7, 1, &data);
        logLine("Preview InitEM2800Prop() pCEM2800Prop->SetI2C(0x%x)\n", data);
    } else {
        m_prop.reset();
    }
}

void EM2800PropHolder::destroy()
{
    logLine("Preview DestroyEM2800Prop() pCEM2800Prop(%s)\n", m_prop ? "TRUE" : "FALSE");
    m_prop.reset();
}
