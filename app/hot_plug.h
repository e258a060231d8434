// Video devices arriving and leaving while the program runs.
#pragma once

#include <string>

// The changes seen while another tab is current, as the bits below; the live view clears it.
extern int g_UsbState;
// Another video device came or went (or the scope's unit answered late): search again.
constexpr int kUsbOtherDevice = 1;
// The scope's own bridge came or went; with no other change the box is opened again too.
constexpr int kUsbOwnBridge = 2;

// Whether a device interface name belongs to the scope's own bridge (USB 05E3:0510).
bool isHandle(const std::string& interfaceName);
