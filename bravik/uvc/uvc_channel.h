// One device's extension-unit requests in the shape of UVCIOC_CTRL_QUERY.
#pragma once

#include <cstdint>

namespace bravik
{

constexpr uint8_t kUvcSetCur = 0x01;
constexpr uint8_t kUvcGetCur = 0x81;
constexpr uint8_t kUvcGetLen = 0x85;
constexpr uint8_t kUvcGetInfo = 0x86;

class IUvcChannel
{
public:
    virtual ~IUvcChannel() = default;
    // 0, or a positive errno. May be called from several threads.
    virtual int query(uint8_t unit, uint8_t selector, uint8_t query, uint16_t size,
                      uint8_t* data) = 0;
};

} // namespace bravik
