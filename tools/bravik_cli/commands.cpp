#include "tools/bravik_cli/commands.h"

#include "bravik/core/display_name.h"
#include "bravik/uvc/default_platform.h"
#include "bravik/uvc/descriptor_parser.h"
#include "devctl/scope_registers.h"
#include "platform/bounded_file.h"
#include "tools/bravik_cli/results.h"

#include <cstdio>

namespace bravik::cli
{
namespace
{

constexpr int kDefaultCheckAddress = 0x1F00;

struct Ids {
    int vid = -1;
    int pid = -1;
};

Ids idsOf(const std::string& displayName)
{
    Ids ids;
    parseDisplayIds(displayName, &ids.pid, &ids.vid);
    return ids;
}

void printIds(const Ids& ids)
{
    if (ids.vid < 0 || ids.pid < 0)
        std::printf("----:----");
    else
        std::printf("%04x:%04x", unsigned(ids.vid), unsigned(ids.pid));
}

// A sysfs descriptors file holds a few kilobytes; a whole configuration cannot pass 64 KiB.
constexpr size_t kDescriptorsMaxSize = 1024 * 1024;

int printUnits(const std::vector<uint8_t>& bytes, const std::string& origin)
{
    const std::string name = files::printable(origin);
    if (bytes.empty()) {
        std::fprintf(stderr, "bravik: %s: holds no USB descriptors\n", name.c_str());
        return kExitFailed;
    }
    const UvcDescriptors d = parseUvcDescriptors(bytes.data(), bytes.size());
    for (const auto& u : d.units)
        std::printf("%s\n", formatUnitLine(u).c_str());
    if (!d.ok()) {
        std::fprintf(stderr, "bravik: %s: malformed descriptors: %s\n", name.c_str(),
                     files::printable(d.error).c_str());
        return kExitFailed;
    }
    if (!d.hasVideoControl) {
        std::fprintf(stderr, "bravik: %s: no video-control interface (not a UVC camera)\n",
                     name.c_str());
        return kExitFailed;
    }
    if (d.units.empty())
        std::fprintf(stderr, "bravik: %s: the camera has no extension unit\n", name.c_str());
    return kExitOk;
}

bool registerArgs(const Options& o, size_t count, int& mode, int& device, int& address)
{
    if (o.args.size() != count)
        return false;
    auto m = parseMode(o.args[0]);
    auto d = parseHex(o.args[1], 0xFF);
    auto a = parseHex(o.args[2], 0xFFFF);
    if (!m || !d || !a)
        return false;
    mode = *m;
    device = *d;
    address = *a;
    return true;
}

bool eightBitAddress(int mode)
{
    return mode == BV_MODE_A8D16 || mode == BV_MODE_A8D8;
}

} // namespace

int usageError(const std::string& message)
{
    std::fprintf(stderr, "bravik: %s\n(bravik --help tells the commands)\n",
                 files::printable(message).c_str());
    return kExitUsage;
}

bool readInputFile(const std::string& path, size_t maxBytes, std::string& out)
{
    std::string why;
    if (files::readBoundedFile(path, maxBytes, out, &why))
        return true;
    std::fprintf(stderr, "bravik: %s\n", files::refusal(path, why).c_str());
    return false;
}

int failure(const std::string& what, int result)
{
    // Once a unit is open, the library's plain failure of a transfer is its time-out.
    const std::string why = result == BV_E_FAIL ? describeTimeout(result) : describeResult(result);
    std::fprintf(stderr, "bravik: %s failed: %s\n", what.c_str(), why.c_str());
    return kExitFailed;
}

bool openDevice(DeviceSession& session, const Options& o)
{
    const int result = session.open(o.vid, o.pid);
    if (!session.unit()) {
        std::fprintf(stderr, "bravik: opening device %04x:%04x failed: %s\n", unsigned(o.vid),
                     unsigned(o.pid), describeResult(result < 0 ? result : BV_E_FAIL).c_str());
        return false;
    }
    if (result != BV_OK)
        std::fprintf(stderr, "bravik: warning: %s\n", describeResult(result).c_str());
    return true;
}

int runList(const Options& o)
{
    if (!o.args.empty())
        return usageError("list takes no arguments");
    const auto devices = defaultPlatform()->listDevices();
    if (devices.empty()) {
        std::fprintf(stderr, "bravik: no video-input device found\n");
        return kExitFailed;
    }
    for (const auto& d : devices) {
        const Ids ids = idsOf(d.displayName);
        std::printf("%c ", ids.vid == o.vid && ids.pid == o.pid ? '*' : ' ');
        printIds(ids);
        std::printf("  %s\n", d.displayName.c_str());
    }
    return kExitOk;
}

int runUnits(const Options& o)
{
    if (o.args.size() > 1)
        return usageError("units takes at most one file");
    std::vector<uint8_t> bytes;
    if (o.args.size() == 1) {
        std::string text;
        if (!readInputFile(o.args[0], kDescriptorsMaxSize, text))
            return kExitFailed;
        bytes.assign(text.begin(), text.end());
        return printUnits(bytes, o.args[0]);
    }
    for (const auto& d : defaultPlatform()->listDevices()) {
        const Ids ids = idsOf(d.displayName);
        if (ids.vid != o.vid || ids.pid != o.pid)
            continue;
        if (!d.readDescriptors || !d.readDescriptors(bytes)) {
            std::fprintf(stderr, "bravik: cannot read the descriptors of %s\n",
                         files::printable(d.displayName).c_str());
            return kExitFailed;
        }
        return printUnits(bytes, d.displayName);
    }
    std::fprintf(stderr, "bravik: no device %04x:%04x\n", unsigned(o.vid), unsigned(o.pid));
    return kExitFailed;
}

int runRead(const Options& o, const BravikApi& api)
{
    int mode, device, address;
    if (!registerArgs(o, 3, mode, device, address))
        return usageError("read needs MODE DEVICE ADDRESS (hex numbers, e.g. read A16D16 7A 0000)");
    if (eightBitAddress(mode) && address > 0xFF)
        return usageError(std::string(modeName(mode)) + " carries 8-bit addresses; " + o.args[2] +
                          " is above 0xff");
    DeviceSession session(api);
    if (!openDevice(session, o))
        return kExitFailed;
    uint16_t value = 0;
    const int result = api.readReg(session.unit(), mode, device, address, &value);
    if (result != BV_OK)
        return failure("reading the register", result);
    const bool wide = mode == BV_MODE_A16D16 || mode == BV_MODE_A8D16;
    std::printf(wide ? "0x%04x\n" : "0x%02x\n", unsigned(value));
    return kExitOk;
}

int runWrite(const Options& o, const BravikApi& api)
{
    int mode, device, address;
    std::optional<int> value;
    if (!registerArgs(o, 4, mode, device, address) || !(value = parseHex(o.args[3], 0xFFFF)))
        return usageError("write needs MODE DEVICE ADDRESS VALUE (hex numbers)");
    if (eightBitAddress(mode) && address > 0xFF)
        return usageError(std::string(modeName(mode)) + " carries 8-bit addresses; " + o.args[2] +
                          " is above 0xff");
    const bool wide = mode == BV_MODE_A16D16 || mode == BV_MODE_A8D16;
    if (!wide && *value > 0xFF)
        return usageError(std::string(modeName(mode)) + " carries 8-bit values");
    DeviceSession session(api);
    if (!openDevice(session, o))
        return kExitFailed;
    const uint16_t v = uint16_t(*value);
    const int result = api.writeReg(session.unit(), mode, device, address, &v);
    if (result != BV_OK)
        return failure("writing the register", result);
    std::printf("wrote 0x%0*x to device 0x%02x register 0x%04x (%s)\n", wide ? 4 : 2, unsigned(v),
                unsigned(device), unsigned(address), modeName(mode));
    return kExitOk;
}

int runCheck(const Options& o, const BravikApi& api)
{
    if (o.args.size() > 1)
        return usageError("check takes at most an EEPROM address (and --write-test)");
    int address = kDefaultCheckAddress;
    if (o.args.size() == 1) {
        auto a = parseHex(o.args[0], 0xFFFF - 15);
        if (!a)
            return usageError("check: bad EEPROM address " + o.args[0]);
        address = *a;
    }
    DeviceSession session(api);
    if (!openDevice(session, o))
        return kExitFailed;
    std::printf("opened %04x:%04x\n", unsigned(session.foundVid()), unsigned(session.foundPid()));

    uint16_t tube = 0;
    int result =
        api.readReg(session.unit(), BV_MODE_A16D16, scope::kTube, scope::kTubePresence, &tube);
    if (result != BV_OK)
        return failure("reading the tube sensor", result);
    std::printf("tube sensor 0x7a register 0x0000 = 0x%04x%s\n", unsigned(tube),
                tube == scope::kNoTube ? " (no answer: is the tube plugged in?)" : "");

    uint8_t original[BV_EEPROM_BLOCK];
    if ((result = api.readEeprom(session.unit(), address, original)) != BV_OK)
        return failure("reading the EEPROM", result);
    std::printf("eeprom block 0x%04x:", unsigned(address));
    for (uint8_t b : original)
        std::printf(" %02x", b);
    std::printf("\n");
    const bool tubeOk = tube != scope::kNoTube;
    if (!o.writeTest) {
        std::printf("nothing written (check --write-test writes, reads back and restores the "
                    "block)\n");
        return tubeOk ? kExitOk : kExitFailed;
    }
    const int tested = runEepromWriteTest(api, session.unit(), address, original);
    return tested == kExitOk && tubeOk ? kExitOk : kExitFailed;
}

} // namespace bravik::cli
