// An EM28xx-bridged camera as its driver's property interface shows it: bridge registers
// (snapshot latch, GPIO with the record button, the indirect-register window) and I2C.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace scopesim
{

constexpr uint8_t kEmSnapLatchReg = 0x0C;
constexpr uint8_t kEmSnapLatchBit = 0x20;
constexpr uint8_t kEmGpioReg = 0x09;
constexpr uint8_t kEmRecordBit = 0x04; // active low
constexpr uint8_t kEmIndirectBusyReg = 0x43;

class Em28xxModel
{
public:
    Em28xxModel();

    // The driver's property requests (ids 0x1005..0x1008, 0x1027, 0x1028); result codes
    // as the driver gives them (0, or negative on failure).
    int32_t setProperty(uint32_t property, void* data, uint32_t now);
    int32_t getProperty(uint32_t property, void* data, uint32_t now);

    void pressSnapshot() { m_regs[kEmSnapLatchReg] |= kEmSnapLatchBit; }
    void pressRecord(uint32_t until);

    // Bytes the data of a request carries with the present selection.
    uint32_t dataLength(uint32_t property) const;

    uint8_t reg(uint8_t r, uint32_t now) const;
    uint16_t indirect(uint8_t index) const;
    uint8_t i2c(uint8_t address, uint8_t r) const;

private:
    void writeReg(uint8_t r, uint8_t v);
    uint8_t readReg(uint8_t r, uint32_t now);

    uint8_t m_regs[256] = {};
    std::map<uint8_t, uint16_t> m_indirect;
    std::map<uint16_t, uint8_t> m_i2c; // (address << 8) | register
    int m_busyReads = 0;
    bool m_recordHeld = false;
    uint32_t m_recordUntil = 0;
    // Selection made by 0x1005 / 0x1007 for the following data request.
    bool m_regSelected = false;
    uint8_t m_selReg = 0;
    uint32_t m_selLen = 0;
    bool m_i2cSelected = false;
    uint8_t m_i2cAddr = 0, m_i2cReg = 0;
    uint32_t m_i2cLen = 0;
    bool m_i2cWrite = false;
};

} // namespace scopesim
