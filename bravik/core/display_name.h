// USB ids out of a device's display name ("...VID_05E3&PID_0510...").
#pragma once

#include <string>

namespace bravik
{

// Upper-cases the name; reads the 4 characters after the first "PID" and a separator as hex
// into *pid and, only if "PID" was there, likewise after the first "VID" into *vid. Ids the
// name does not carry keep their previous values.
void parseDisplayIds(std::string name, int* pid, int* vid);

} // namespace bravik
