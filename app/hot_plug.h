// Video devices arriving and leaving while the program runs.
#pragma once

#include <string>

// Bit 1 (2): the scope's own bridge changed; bit 0 (1): another video device did. Collects
// the changes seen while another tab is current; the live view clears it.
extern int g_UsbState;

// Whether a device interface name belongs to the scope's own bridge (USB 05E3:0510).
bool isHandle(const std::string& interfaceName);
