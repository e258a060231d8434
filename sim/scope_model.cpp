#include "sim/scope_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace scopesim
{

namespace
{
// Transfer commands: address width and data width of a register transfer.
constexpr uint8_t kA16D16 = 3, kA16D8 = 7, kA8D16 = 6, kA8D8 = 2;
constexpr uint8_t kBlockData = 7;

// Bridge register 0x00 bit 3 write-protects the EEPROM; 0x06 bit 3 enables its writes.
constexpr uint8_t kBridgeReset0 = 0x48;
constexpr uint8_t kBridgeReset6 = 0x01;

bool wideData(uint8_t command)
{
    return command == kA16D16 || command == kA8D16;
}

bool due(uint32_t now, uint32_t until)
{
    return static_cast<int32_t>(until - now) > 0;
}
} // namespace

ScopeModel::ScopeModel(bool tubeIn, std::vector<uint8_t> eeprom)
    : m_tubeIn(tubeIn), m_eeprom(std::move(eeprom))
{
    size_t size = kEepromMinSize;
    while (size < m_eeprom.size())
        size *= 2;
    m_eeprom.resize(size, 0xFF); // unwritten EEPROM cells read erased
    m_bridge[scope::kBridgeControl] = kBridgeReset0;
    m_bridge[scope::kBridgeEnable] = kBridgeReset6;
    resetTube();
}

uint16_t ScopeModel::controlLength(int selector)
{
    // Address stages and 8/16-bit data carry command, device and up to two bytes;
    // the block control carries command, device and 16 data bytes.
    switch (selector) {
    case 1:
    case 2:
    case 3:
    case 4:
        return 4;
    case 5:
        return 18;
    default:
        return 0;
    }
}

void ScopeModel::resetTube()
{
    // The sensor powers up with the tube: live picture, boost off.
    m_tube.clear();
    m_tube[scope::kTubePicture] = scope::kPictureLive;
    m_tube[scope::kTubeBoost] = scope::kBoostOff;
}

uint16_t ScopeModel::reg16(uint16_t address) const
{
    auto it = m_tube.find(address);
    return it == m_tube.end() ? 0 : it->second;
}

bool ScopeModel::testPictureAt(uint32_t atMs) const
{
    const bool before = m_pictureChanged && static_cast<int32_t>(atMs - m_pictureSince) < 0;
    return before ? m_tubeIn && m_testPictureBefore : testPicture();
}

uint8_t ScopeModel::status(uint32_t now) const
{
    return static_cast<uint8_t>((buttonCode(now) << scope::kButtonShift) |
                                (m_ledLevel & scope::kLedLevelMask));
}

int ScopeModel::buttonCode(uint32_t now) const
{
    return m_button && due(now, m_buttonUntil) ? m_button : 0;
}

void ScopeModel::pressButton(int code, uint32_t until)
{
    m_button = code;
    m_buttonUntil = until;
    // The controller steps its own LED level on its LED buttons.
    if (code == scope::LedUpButton)
        m_ledLevel = std::min(m_ledLevel + 1, scope::kLedMax);
    else if (code == scope::LedDownButton)
        m_ledLevel = std::max(m_ledLevel - 1, 0);
}

void ScopeModel::setTube(bool in)
{
    if (in && !m_tubeIn)
        resetTube();
    m_tubeIn = in;
}

bool ScopeModel::eepromWritable() const
{
    return !(m_bridge[scope::kBridgeControl] & scope::kEepromWriteBit) &&
           (m_bridge[scope::kBridgeEnable] & scope::kEepromWriteBit);
}

uint16_t ScopeModel::peek(uint8_t device, uint16_t address, uint32_t now) const
{
    switch (device) {
    case scope::kBridge:
        return m_bridge[address & 0xFF];
    case scope::kTube:
        if (!m_tubeIn)
            return scope::kNoTube;
        return address == scope::kTubePresence ? scope::kTubeChipId : reg16(address);
    case scope::kController:
        return (address & 0xFF) == scope::kStatus ? status(now) : 0;
    case scope::kEeprom:
        return m_eeprom[address % m_eeprom.size()];
    default:
        return 0xFFFF; // nobody answers: the bus reads all ones
    }
}

uint16_t ScopeModel::busRead(uint8_t device, uint16_t address, bool wide, uint32_t now)
{
    uint16_t v;
    if (device == scope::kEeprom && wide)
        v = static_cast<uint16_t>(m_eeprom[address % m_eeprom.size()] |
                                  m_eeprom[(address + 1u) % m_eeprom.size()] << 8);
    else
        v = peek(device, address, now);
    return wide ? v : static_cast<uint16_t>(v & 0xFF);
}

void ScopeModel::busWrite(uint8_t device, uint16_t address, uint16_t value, bool wide)
{
    switch (device) {
    case scope::kBridge:
        m_bridge[address & 0xFF] = static_cast<uint8_t>(value);
        break;
    case scope::kTube:
        if (m_tubeIn && address != scope::kTubePresence)
            m_tube[address] = wide ? value : static_cast<uint16_t>(value & 0xFF);
        break;
    case scope::kController: {
        uint8_t a = static_cast<uint8_t>(address);
        if ((a & scope::kLedCommandMask) == scope::kLedCommand) {
            // LED command in the address byte: level in bits 0-3, switch in bit 5.
            m_ledLevel = a & scope::kLedLevelMask;
            m_ledSwitch = (a & scope::kLedSwitchBit) != 0;
        } else if (a == scope::kStatus) {
            // A written-back status: the level follows; buttons are physical.
            m_ledLevel = value & scope::kLedLevelMask;
        }
        break;
    }
    case scope::kEeprom:
        if (eepromWritable()) {
            m_eeprom[address % m_eeprom.size()] = static_cast<uint8_t>(value);
            if (wide)
                m_eeprom[(address + 1u) % m_eeprom.size()] = static_cast<uint8_t>(value >> 8);
        }
        break;
    default:
        break;
    }
}

int ScopeModel::dataStageFits(int selector) const
{
    if (!m_latch)
        return EPIPE;
    const uint8_t c = m_latch->command;
    switch (selector) {
    case 3:
        return c == kA16D8 || c == kA8D8 ? 0 : EPIPE;
    case 4:
        return c == kA16D16 || c == kA8D16 ? 0 : EPIPE;
    case 5:
        return c == kA16D16 && m_latch->wideAddress ? 0 : EPIPE;
    default:
        return EPIPE;
    }
}

int ScopeModel::setCur(int selector, const uint8_t* data, uint16_t size, uint32_t now,
                       std::optional<BusTransfer>* transfer)
{
    (void)now;
    if (size < 4)
        return EPIPE;
    if (selector == 1 || selector == 2) {
        const uint8_t c = data[0];
        const bool okCommand =
            selector == 1 ? (c == kA8D8 || c == kA8D16) : (c == kA16D16 || c == kA16D8);
        if (!okCommand)
            return EPIPE;
        Latch l;
        l.command = c;
        l.device = data[1];
        l.wideAddress = selector == 2;
        l.address = selector == 2 ? static_cast<uint16_t>(data[2] | data[3] << 8) : data[2];
        m_latch = l;
        return 0;
    }
    if (int e = dataStageFits(selector))
        return e;
    if (data[1] != m_latch->device)
        return EPIPE;
    const uint8_t expected = selector == 5 ? kBlockData : m_latch->command;
    if (data[0] != expected)
        return EPIPE;
    BusTransfer t;
    t.write = true;
    t.device = m_latch->device;
    t.address = m_latch->address;
    if (selector == 5) {
        if (size < 18)
            return EPIPE;
        t.block = true;
        t.blockData.assign(data + 2, data + 18);
        if (t.device == scope::kEeprom && eepromWritable())
            for (int i = 0; i < 16; ++i)
                m_eeprom[(t.address + static_cast<unsigned>(i)) % m_eeprom.size()] = data[2 + i];
    } else {
        const bool wide = selector == 4;
        t.value = wide ? static_cast<uint16_t>(data[2] | data[3] << 8) : data[2];
        const bool barsBefore = testPicture();
        busWrite(t.device, t.address, t.value, wide);
        if (testPicture() != barsBefore) {
            m_testPictureBefore = barsBefore;
            m_pictureSince = now;
            m_pictureChanged = true;
        }
    }
    if (transfer)
        *transfer = std::move(t);
    return 0;
}

int ScopeModel::getCur(int selector, uint8_t* data, uint16_t size, uint32_t now,
                       std::optional<BusTransfer>* transfer)
{
    std::memset(data, 0, size);
    if (selector == 1 || selector == 2) {
        // The address stage reads back what was latched.
        if (m_latch && m_latch->wideAddress == (selector == 2) && size >= 4) {
            data[0] = m_latch->command;
            data[1] = m_latch->device;
            data[2] = static_cast<uint8_t>(m_latch->address);
            if (selector == 2)
                data[3] = static_cast<uint8_t>(m_latch->address >> 8);
        }
        return 0;
    }
    if (int e = dataStageFits(selector))
        return e;
    BusTransfer t;
    t.device = m_latch->device;
    t.address = m_latch->address;
    data[0] = selector == 5 ? kBlockData : m_latch->command;
    data[1] = m_latch->device;
    if (selector == 5) {
        if (size < 18)
            return EPIPE;
        t.block = true;
        for (int i = 0; i < 16; ++i) {
            uint16_t a = static_cast<uint16_t>(t.address + i);
            data[2 + i] = t.device == scope::kEeprom ? m_eeprom[a % m_eeprom.size()] : 0xFF;
        }
        t.blockData.assign(data + 2, data + 18);
    } else {
        const bool wide = wideData(m_latch->command);
        t.value = busRead(t.device, t.address, wide, now);
        data[2] = static_cast<uint8_t>(t.value);
        if (wide)
            data[3] = static_cast<uint8_t>(t.value >> 8);
    }
    if (transfer)
        *transfer = std::move(t);
    return 0;
}

} // namespace scopesim
