// The family scope behind its bridge: the extension unit's register mailbox and the devices
// on the bridge's serial bus (tube sensor, button/LED controller, EEPROM, bridge registers).
#pragma once

#include "devctl/scope_registers.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace scopesim
{

constexpr int kEepromMinSize = 8192;
constexpr int kEepromMaxSize = 65536;
constexpr int kControlCount = 5;
constexpr int kLedPowerOnLevel = 8; // the controller lights the head at power-up

// One register transfer as a bus device saw it.
struct BusTransfer {
    bool write = false;
    uint8_t device = 0;
    uint16_t address = 0;
    uint16_t value = 0;
    bool block = false;
    std::vector<uint8_t> blockData;
};

class ScopeModel
{
public:
    ScopeModel(bool tubeIn, std::vector<uint8_t> eeprom);

    // Length of control selector 1..5 (0 for others).
    static uint16_t controlLength(int selector);

    // Mailbox stages; 0 or an errno (EPIPE: the bridge stalled the request as malformed).
    // A completed data stage fills *transfer.
    int setCur(int selector, const uint8_t* data, uint16_t size, uint32_t now,
               std::optional<BusTransfer>* transfer);
    int getCur(int selector, uint8_t* data, uint16_t size, uint32_t now,
               std::optional<BusTransfer>* transfer);

    // Direct bus access (the register semantics, without the mailbox).
    uint16_t busRead(uint8_t device, uint16_t address, bool wide, uint32_t now);
    void busWrite(uint8_t device, uint16_t address, uint16_t value, bool wide);
    // Reads without side effects, for inspection.
    uint16_t peek(uint8_t device, uint16_t address, uint32_t now) const;

    void setTube(bool in);
    bool tubeIn() const { return m_tubeIn; }
    // A scope::ButtonCode, held until `until`.
    void pressButton(int code, uint32_t until);
    int buttonCode(uint32_t now) const;

    bool testPicture() const
    {
        return m_tubeIn && (reg16(scope::kTubePicture) & 0xFF) == scope::kPictureBars;
    }
    // What a frame taken at atMs shows: a frame the sensor took before the picture mode
    // changed still carries the old picture when it is read later.
    bool testPictureAt(uint32_t atMs) const;
    bool boost() const { return m_tubeIn && reg16(scope::kTubeBoost) == scope::kBoostOn; }
    int ledLevel() const { return m_ledLevel; }
    bool ledSwitch() const { return m_ledSwitch; }
    const std::vector<uint8_t>& eeprom() const { return m_eeprom; }
    bool eepromWritable() const;

private:
    struct Latch {
        uint8_t command = 0;
        uint8_t device = 0;
        uint16_t address = 0;
        bool wideAddress = false;
    };
    uint16_t reg16(uint16_t address) const;
    uint8_t status(uint32_t now) const;
    void resetTube();
    int dataStageFits(int selector) const;

    bool m_tubeIn;
    std::map<uint16_t, uint16_t> m_tube;
    uint8_t m_bridge[256] = {};
    std::vector<uint8_t> m_eeprom;
    int m_ledLevel = kLedPowerOnLevel;
    bool m_ledSwitch = false;
    int m_button = 0;
    uint32_t m_buttonUntil = 0;
    std::optional<Latch> m_latch;
    bool m_testPictureBefore = false;
    uint32_t m_pictureSince = 0;
    bool m_pictureChanged = false;
};

} // namespace scopesim
