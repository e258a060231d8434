#include "tools/bravik_cli/results.h"

#include "bravik/include/bravik/bravik.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bravik::cli
{

namespace
{
std::string codeText(int result)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", unsigned(result));
    return code;
}
} // namespace

std::string describeResult(int result)
{
    std::string what;
    switch (result) {
    case BV_OK:
        what = "success";
        break;
    case BV_CONTROL_ABSENT:
        what = "the extension unit lacks a control this transfer needs; nothing was sent";
        break;
    case BV_BUFFER_ALLOC_FAILED:
        what = "some controls of the unit got no buffer";
        break;
    case BV_E_INVALIDARG:
        what = "invalid argument";
        break;
    case BV_E_FAIL:
        what = "no matching device, no filter bound, or the request timed out";
        break;
    case BV_E_POINTER:
        what = "missing pointer";
        break;
    case BV_E_NOINTERFACE:
        what = "the device offers no request channel";
        break;
    default:
        if ((unsigned(result) & 0xFFFF0000u) == 0x80070000u) {
            const int e = result & 0xFFFF;
            what = e == ETIMEDOUT ? "the request timed out (system error " + std::to_string(e) + ")"
                                  : "system error " + std::to_string(e) + ": " + std::strerror(e);
        } else {
            what = "unknown result";
        }
    }
    return codeText(result) + " (" + what + ")";
}

std::string describeTimeout(int result)
{
    return codeText(result) + " (the request timed out: the camera did not answer)";
}

} // namespace bravik::cli
