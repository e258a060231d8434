#include "bravik/core/guid.h"

#include <cstdio>

namespace bravik
{

Guid guidFromBytes(const uint8_t* b)
{
    Guid g;
    g.data1 = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    g.data2 = uint16_t(b[4] | b[5] << 8);
    g.data3 = uint16_t(b[6] | b[7] << 8);
    for (int i = 0; i < 8; ++i)
        g.data4[i] = b[8 + i];
    return g;
}

void guidToBytes(const Guid& g, uint8_t* b)
{
    for (int i = 0; i < 4; ++i)
        b[i] = uint8_t(g.data1 >> (8 * i));
    b[4] = uint8_t(g.data2);
    b[5] = uint8_t(g.data2 >> 8);
    b[6] = uint8_t(g.data3);
    b[7] = uint8_t(g.data3 >> 8);
    for (int i = 0; i < 8; ++i)
        b[8 + i] = g.data4[i];
}

std::string guidToText(const Guid& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  unsigned(g.data1), unsigned(g.data2), unsigned(g.data3), g.data4[0], g.data4[1],
                  g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

} // namespace bravik
