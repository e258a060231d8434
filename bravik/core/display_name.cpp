#include "bravik/core/display_name.h"

#include <cstdlib>

namespace bravik
{
namespace
{

// Up to 4 characters from pos, parsed as hex the way strtol does (0 when none is a digit).
// A name that ends early gives fewer characters instead of a read past its end.
int hexField(const std::string& name, size_t pos)
{
    char field[5] = {};
    for (size_t i = 0; i < 4 && pos + i < name.size(); ++i)
        field[i] = name[pos + i];
    return int(std::strtol(field, nullptr, 16));
}

} // namespace

void parseDisplayIds(std::string name, int* pid, int* vid)
{
    for (char& c : name)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    size_t p = name.find("PID");
    if (p == std::string::npos)
        return;
    *pid = hexField(name, p + 4);
    size_t v = name.find("VID");
    if (v != std::string::npos)
        *vid = hexField(name, v + 4);
}

} // namespace bravik
