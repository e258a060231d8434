#include "app/hot_plug.h"

int g_UsbState = 0;

bool isHandle(const std::string& name)
{
    auto has = [&](const char* s) { return name.find(s) != std::string::npos; };
    return (has("Vid_05e3") && has("Pid_0510")) || (has("VID_05E3") && has("PID_0510")) ||
           (has("COACH") && has("CAP"));
}
