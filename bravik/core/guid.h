// Property-set identifiers in the 16-byte memory order the descriptors and requests use.
#pragma once

#include <cstdint>
#include <string>

namespace bravik
{

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    friend bool operator==(const Guid&, const Guid&) = default;
};
static_assert(sizeof(Guid) == 16);

// Data1..Data3 little-endian, Data4 as stored.
Guid guidFromBytes(const uint8_t* bytes);
void guidToBytes(const Guid& guid, uint8_t* bytes);
// "5E5D360B-E45F-4581-9B0B-374669BA05D4" (upper case, no braces).
std::string guidToText(const Guid& guid);

// The extension units the library knows.
constexpr Guid XU_GUID_EEP{
    0x5E5D360B, 0xE45F, 0x4581, {0x9B, 0x0B, 0x37, 0x46, 0x69, 0xBA, 0x05, 0xD4}};
constexpr Guid XU_GUID_SPI{
    0xECDADF03, 0x8FE3, 0x4D27, {0x89, 0x3B, 0xA1, 0x8D, 0x25, 0xAE, 0xEE, 0x09}};
constexpr Guid XU_GUID_CREATIVE{
    0xF679EF5B, 0x54DF, 0x4BFC, {0xB8, 0xCB, 0xCA, 0x7E, 0x89, 0xA5, 0x23, 0x3F}};
constexpr Guid XU_GUID_SKYPE{
    0xB42153BD, 0x35D6, 0x45CA, {0xB2, 0x03, 0x4E, 0x01, 0x49, 0xB3, 0x01, 0xBC}};

// The one unit this build talks to.
constexpr Guid kConfiguredXuGuid = XU_GUID_EEP;

} // namespace bravik
