// The family scope's register map, as the viewer, the bravik tool and the simulated scope all
// see it: the bridge's USB ids, the devices on its serial bus, their registers and values.
// Header only and free of dependencies, so every room and the rig may include it.
#pragma once

#include <cstdint>

namespace scope
{

// The bridge (USB 05E3:0510) that carries the extension unit.
constexpr int kVid = 0x05E3;
constexpr int kPid = 0x0510;

// Devices on the bridge's serial bus.
constexpr uint8_t kBridge = 0x00;
constexpr uint8_t kTube = 0x7A;
constexpr uint8_t kEeprom = 0xA0;
constexpr uint8_t kController = 0xDC;

// The tube's sensor. Its presence register reads the chip id while the tube is in, and all
// ones (nobody answers on the bus) while it is out.
constexpr uint16_t kTubePresence = 0x0000;
constexpr uint16_t kTubeChipId = 0x5A10;
constexpr uint16_t kNoTube = 0xFFFF;
// The picture mode: the eight colour bars, or the live picture.
constexpr uint16_t kTubePicture = 0x8400;
constexpr uint16_t kPictureBars = 0x16;
constexpr uint16_t kPictureLive = 0x02;
constexpr uint16_t kTubeBoost = 0xA070;
constexpr uint16_t kBoostOn = 0x017A;
constexpr uint16_t kBoostOff = 0x002A;

// The button and LED controller. Its status byte holds the LED level in bits 0-3 and the
// button held in bits 4-7; an LED command is carried in the address byte itself.
constexpr uint8_t kStatus = 0x00;
constexpr uint8_t kLedLevelMask = 0x0F;
constexpr int kButtonShift = 4;
constexpr uint8_t kLedCommand = 0x40;     // with the level in bits 0-3
constexpr uint8_t kLedCommandMask = 0xC0; // the bits that make an address an LED command
constexpr uint8_t kLedSwitchBit = 0x20;
constexpr int kLedMax = 15;

// What the status byte's button bits say is held.
enum ButtonCode {
    NoButton = 0,
    SnapshotButton = 1,
    RecordButton = 2,
    LedUpButton = 3,
    LedDownButton = 4
};

// The bridge's own registers guarding EEPROM writes: the control register's bit write-protects,
// the enable register's bit lets writes through.
constexpr uint8_t kBridgeControl = 0x00;
constexpr uint8_t kBridgeEnable = 0x06;
constexpr uint8_t kEepromWriteBit = 0x08;

} // namespace scope
