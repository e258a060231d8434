#include "sim/em28xx_model.h"

#include "scopesim/rig.h"

#include <cstring>

namespace scopesim
{

namespace
{
constexpr int kBusyReadsPerWrite = 2; // the window stays busy for a couple of polls
bool due(uint32_t now, uint32_t until)
{
    return static_cast<int32_t>(until - now) > 0;
}
} // namespace

Em28xxModel::Em28xxModel()
{
    m_regs[0x08] = 0xFF;
    m_regs[kEmGpioReg] = 0xFF; // buttons up (active low)
    m_regs[0x0A] = 0x27;       // chip id
}

void Em28xxModel::pressRecord(uint32_t until)
{
    m_recordHeld = true;
    m_recordUntil = until;
}

uint32_t Em28xxModel::dataLength(uint32_t property) const
{
    switch (property) {
    case 0x1006:
        return m_regSelected ? m_selLen : 0;
    case 0x1008:
        return m_i2cSelected ? m_i2cLen : 0;
    case 0x1027:
    case 0x1028:
        return 4;
    default:
        return 0;
    }
}

uint8_t Em28xxModel::reg(uint8_t r, uint32_t now) const
{
    uint8_t v = m_regs[r];
    if (r == kEmGpioReg && m_recordHeld && due(now, m_recordUntil))
        v = static_cast<uint8_t>(v & ~kEmRecordBit);
    if (r == kEmIndirectBusyReg)
        v = static_cast<uint8_t>((v & ~1) | (m_busyReads > 0 ? 1 : 0));
    return v;
}

uint16_t Em28xxModel::indirect(uint8_t index) const
{
    auto it = m_indirect.find(index);
    return it == m_indirect.end() ? 0 : it->second;
}

uint8_t Em28xxModel::i2c(uint8_t address, uint8_t r) const
{
    auto it = m_i2c.find(static_cast<uint16_t>(address << 8 | r));
    return it == m_i2c.end() ? 0 : it->second;
}

uint8_t Em28xxModel::readReg(uint8_t r, uint32_t now)
{
    uint8_t v = reg(r, now);
    if (r == kEmIndirectBusyReg && m_busyReads > 0)
        --m_busyReads;
    return v;
}

void Em28xxModel::writeReg(uint8_t r, uint8_t v)
{
    if (r == kEmIndirectBusyReg)
        return; // status, read only
    if (r == 0x42) {
        m_regs[r] = v;
        // Writing the index starts the indirect write of the value held in 0x40/0x41;
        // while busy the window ignores a new index.
        if (m_busyReads == 0) {
            m_indirect[v] = static_cast<uint16_t>(m_regs[0x40] | m_regs[0x41] << 8);
            m_busyReads = kBusyReadsPerWrite;
        }
        return;
    }
    m_regs[r] = v;
}

int32_t Em28xxModel::setProperty(uint32_t property, void* data, uint32_t now)
{
    if (!data)
        return kEmInvalidArg;
    switch (property) {
    case 0x1005: {
        auto* rq = static_cast<Em28xxRegisterRequest*>(data);
        if (rq->selector == 0) {
            m_regSelected = false;
            return 0;
        }
        uint32_t len = rq->selector & 0xFF;
        uint32_t r = (rq->selector >> 8) & 0xFF;
        if (len == 0 || len != rq->length || (rq->selector >> 16) != 0 || r + len > 256)
            return kEmInvalidArg;
        m_regSelected = true;
        m_selReg = static_cast<uint8_t>(r);
        m_selLen = len;
        return 0;
    }
    case 0x1006: {
        if (!m_regSelected)
            return kEmNotSelected;
        auto* bytes = static_cast<const uint8_t*>(data);
        for (uint32_t i = 0; i < m_selLen; ++i)
            writeReg(static_cast<uint8_t>(m_selReg + i), bytes[i]);
        return 0;
    }
    case 0x1007: {
        auto* rq = static_cast<Em28xxI2cRequest*>(data);
        if (rq->selector == 0) {
            m_i2cSelected = false;
            return 0;
        }
        if ((rq->selector >> 24) != 0x01 || (rq->selector & 0xFF) == 0)
            return kEmInvalidArg;
        m_i2cSelected = true;
        m_i2cAddr = static_cast<uint8_t>(rq->selector >> 16);
        m_i2cReg = static_cast<uint8_t>(rq->selector >> 8);
        m_i2cLen = rq->selector & 0xFF;
        m_i2cWrite = rq->write == 1;
        return 0;
    }
    case 0x1008: {
        if (!m_i2cSelected)
            return kEmNotSelected;
        if (!m_i2cWrite)
            return kEmInvalidArg; // selected for a read
        auto* bytes = static_cast<const uint8_t*>(data);
        for (uint32_t i = 0; i < m_i2cLen; ++i)
            m_i2c[static_cast<uint16_t>(m_i2cAddr << 8 | static_cast<uint8_t>(m_i2cReg + i))] =
                bytes[i];
        return 0;
    }
    default:
        (void)now;
        return kEmInvalidArg;
    }
}

int32_t Em28xxModel::getProperty(uint32_t property, void* data, uint32_t now)
{
    if (!data)
        return kEmInvalidArg;
    switch (property) {
    case 0x1006: {
        if (!m_regSelected)
            return kEmNotSelected;
        auto* bytes = static_cast<uint8_t*>(data);
        for (uint32_t i = 0; i < m_selLen; ++i)
            bytes[i] = readReg(static_cast<uint8_t>(m_selReg + i), now);
        return 0;
    }
    case 0x1008: {
        if (!m_i2cSelected)
            return kEmNotSelected;
        if (m_i2cWrite)
            return kEmInvalidArg; // selected for a write
        auto* bytes = static_cast<uint8_t*>(data);
        for (uint32_t i = 0; i < m_i2cLen; ++i)
            bytes[i] = i2c(m_i2cAddr, static_cast<uint8_t>(m_i2cReg + i));
        return 0;
    }
    case 0x1027:
    case 0x1028: {
        // Driver information words; the viewer fetches them once and ignores them.
        uint32_t v = property == 0x1027 ? 0x00002861u : 0x00000001u;
        std::memcpy(data, &v, sizeof v);
        return 0;
    }
    default:
        return kEmInvalidArg;
    }
}

} // namespace scopesim
