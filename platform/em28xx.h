// The EM28xx bridge driver's property interface: select a register or I2C transfer, then
// move its data. Result codes: 0, or negative on failure.
#pragma once

#include "platform/video_inputs.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform
{

constexpr uint32_t kEmPropRegSelect = 0x1005;
constexpr uint32_t kEmPropRegData = 0x1006;
constexpr uint32_t kEmPropI2cSelect = 0x1007;
constexpr uint32_t kEmPropI2cData = 0x1008;
constexpr uint32_t kEmPropInfo1 = 0x1027;
constexpr uint32_t kEmPropInfo2 = 0x1028;

// Data of kEmPropRegSelect; the register data itself goes with kEmPropRegData.
struct Em28xxRegisterRequest {
    uint32_t selector = 0; // (register << 8) | length; 0 deselects
    uint32_t length = 0;
    uint8_t* data = nullptr;
};
// Data of kEmPropI2cSelect; the bytes go with kEmPropI2cData.
struct Em28xxI2cRequest {
    uint32_t selector = 0; // 0x01000000 | (8-bit address << 16) | (register << 8) | length
    uint8_t* data = nullptr;
    uint32_t write = 0; // 1: write
};

constexpr int32_t kEmFail = static_cast<int32_t>(0x80004005);
constexpr int32_t kEmNotImplemented = static_cast<int32_t>(0x80004001);
constexpr int32_t kEmInvalidArg = static_cast<int32_t>(0x80070057);
constexpr int32_t kEmNotSelected = static_cast<int32_t>(0x8000FFFF);
// A system error number as a failure code.
constexpr int32_t emErrno(int e)
{
    return static_cast<int32_t>(0x80070000u | (e & 0xFFFF));
}

class Em28xxProperties
{
public:
    virtual ~Em28xxProperties() = default;
    virtual int32_t setProperty(uint32_t id, void* data) = 0;
    virtual int32_t getProperty(uint32_t id, void* data) = 0;
};

class Em28xxAccess
{
public:
    virtual ~Em28xxAccess() = default;
    // Null when the input is no reachable EM28xx bridge; why then says what is missing
    // (when it is something the user can change).
    virtual std::unique_ptr<Em28xxProperties> open(const VideoInput& input,
                                                   std::string* why = nullptr) = 0;
};

} // namespace platform
