#include "bravik/core/transfers.h"

#include "bravik/core/hresult.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace bravik
{
namespace
{

enum Selector { kAddr8 = 1, kAddr16 = 2, kData8 = 3, kData16 = 4, kBlock = 5 };

// Bytes each control's layout writes: a shorter control cannot carry the transfer.
constexpr uint32_t kLayoutBytes[] = {0, 3, 4, 3, 4, 2 + kEepromBlock};

struct ModeRow {
    uint8_t command;
    int addressSelector;
    int dataSelector;
    bool wideData;
    int pauseMs;
};

constexpr ModeRow kModes[] = {
    {3, kAddr16, kData16, true, 0},  // A16D16
    {7, kAddr16, kData8, false, 10}, // A16D8
    {6, kAddr8, kData16, true, 0},   // A8D16
    {2, kAddr8, kData8, false, 0},   // A8D8
};

const ModeRow* modeRow(int mode)
{
    return mode >= 0 && mode <= 3 ? &kModes[mode] : nullptr;
}

// S_OK when both controls can carry the transfer, kControlAbsent when one cannot, or the
// failure of a length query asked again (one that failed at creation is retried here).
int needControls(CUVCXU& xu, int a, int b)
{
    for (int selector : {a, b}) {
        const int r = xu.requerySize(selector);
        if (r < 0)
            return r;
        if (!xu.present(selector) || xu.m_table[selector].size < kLayoutBytes[selector])
            return kControlAbsent;
    }
    return S_OK;
}

uint8_t* bufferOf(CUVCXU& xu, int selector)
{
    return xu.m_table[selector].buffer.get();
}

int sendControl(CUVCXU& xu, int selector)
{
    return xu.m_unit->SetProperty(uint32_t(selector), xu.m_table[selector].size,
                                  bufferOf(xu, selector));
}

int readControl(CUVCXU& xu, int selector)
{
    return xu.m_unit->GetProperty(uint32_t(selector), xu.m_table[selector].size,
                                  bufferOf(xu, selector));
}

int sendAddress(CUVCXU& xu, int selector, uint8_t command, uint8_t device, int address)
{
    uint8_t* b = bufferOf(xu, selector);
    b[0] = command;
    b[1] = device;
    b[2] = uint8_t(address);
    if (selector == kAddr16)
        b[3] = uint8_t(address >> 8);
    return sendControl(xu, selector);
}

void pause(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    else
        std::this_thread::yield();
}

} // namespace

int readRegister(CUVCXU& xu, int mode, int device, int address, uint16_t* value)
{
    const ModeRow* m = modeRow(mode);
    if (!m) {
        *value = 0;
        return S_OK;
    }
    if (const int need = needControls(xu, m->addressSelector, m->dataSelector); need != S_OK) {
        *value = 0;
        return need;
    }
    const uint8_t dev = uint8_t(device);
    int result = sendAddress(xu, m->addressSelector, m->command, dev, address);
    if (result < 0) {
        *value = 0;
        return result;
    }
    uint8_t* d = bufferOf(xu, m->dataSelector);
    d[0] = m->command;
    d[1] = dev;
    result = readControl(xu, m->dataSelector);
    if (result < 0) {
        *value = 0;
        return result;
    }
    const uint16_t low = d[2];
    const uint16_t high = m->wideData ? d[3] : 0;
    *value = uint16_t(high * 256 + low);
    return S_OK;
}

int writeRegister(CUVCXU& xu, int mode, int device, int address, const uint16_t* value)
{
    const ModeRow* m = modeRow(mode);
    if (!m)
        return S_OK;
    const uint16_t v = *value;
    if (const int need = needControls(xu, m->addressSelector, m->dataSelector); need != S_OK)
        return need;
    const uint8_t dev = uint8_t(device);
    int result = sendAddress(xu, m->addressSelector, m->command, dev, address);
    if (result < 0)
        return result;
    uint8_t* d = bufferOf(xu, m->dataSelector);
    d[0] = m->command;
    d[1] = dev;
    d[2] = uint8_t(v);
    if (m->wideData)
        d[3] = uint8_t(v >> 8);
    result = sendControl(xu, m->dataSelector);
    pause(m->pauseMs);
    return result;
}

// The address stage of a 16-byte EEPROM block and the head of its data stage; the block
// control's buffer in *block. S_OK, the failing request's result, or kControlAbsent.
static int startEepromBlock(CUVCXU& xu, int address, uint8_t** block)
{
    if (const int need = needControls(xu, kAddr16, kBlock); need != S_OK)
        return need;
    const int result = sendAddress(xu, kAddr16, 3, kEepromDevice, address);
    if (result < 0)
        return result;
    uint8_t* d = bufferOf(xu, kBlock);
    d[0] = 7;
    d[1] = kEepromDevice;
    *block = d;
    return S_OK;
}

int readEepromBlock(CUVCXU& xu, int address, uint8_t* out)
{
    uint8_t* d = nullptr;
    int result = startEepromBlock(xu, address, &d);
    if (result != S_OK)
        return result;
    result = readControl(xu, kBlock);
    if (result < 0)
        return result;
    std::memcpy(out, d + 2, kEepromBlock);
    return S_OK;
}

int writeEepromBlock(CUVCXU& xu, int address, const uint8_t* data)
{
    const int a8d8 = int(TransferMode::A8D8);
    uint16_t reg = 0;
    if (readRegister(xu, a8d8, kBridgeDevice, 0x00, &reg) == S_OK) {
        reg &= 0xF7;
        writeRegister(xu, a8d8, kBridgeDevice, 0x00, &reg);
    }
    if (readRegister(xu, a8d8, kBridgeDevice, 0x06, &reg) == S_OK) {
        reg |= 0x08;
        writeRegister(xu, a8d8, kBridgeDevice, 0x06, &reg);
    }
    uint8_t* d = nullptr;
    int result = startEepromBlock(xu, address, &d);
    if (result != S_OK)
        return result;
    std::memcpy(d + 2, data, kEepromBlock);
    result = sendControl(xu, kBlock);
    pause(10);
    return result;
}

} // namespace bravik
