// Register and EEPROM transfers through the bridge's mailbox controls.
#pragma once

#include "bravik/core/uvc_xu.h"

#include <cstdint>

namespace bravik
{

enum class TransferMode { A16D16 = 0, A16D8 = 1, A8D16 = 2, A8D8 = 3 };

constexpr uint8_t kEepromDevice = 0xA0;
constexpr uint8_t kBridgeDevice = 0x00;
constexpr int kEepromBlock = 16;

// Modes above 3 do nothing and report 0 (reads store 0).
int readRegister(CUVCXU& xu, int mode, int device, int address, uint16_t* value);
int writeRegister(CUVCXU& xu, int mode, int device, int address, const uint16_t* value);
int readEepromBlock(CUVCXU& xu, int address, uint8_t* out);
// Prepares the bridge for EEPROM writes first.
int writeEepromBlock(CUVCXU& xu, int address, const uint8_t* data);

} // namespace bravik
