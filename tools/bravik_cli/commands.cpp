#include "tools/bravik_cli/commands.h"

#include "bravik/core/display_name.h"
#include "bravik/uvc/default_platform.h"
#include "bravik/uvc/descriptor_parser.h"
#include "tools/bravik_cli/results.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace bravik::cli
{
namespace
{

constexpr int kTubeDevice = 0x7A;
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

int printUnits(const std::vector<uint8_t>& bytes, const std::string& origin)
{
    const UvcDescriptors d = parseUvcDescriptors(bytes.data(), bytes.size());
    for (const auto& u : d.units)
        std::printf("%s\n", formatUnitLine(u).c_str());
    if (!d.ok()) {
        std::fprintf(stderr, "bravik: %s: malformed descriptors: %s\n", origin.c_str(),
                     d.error.c_str());
        return kExitFailed;
    }
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

} // namespace

int usageError(const std::string& message)
{
    std::fprintf(stderr, "bravik: %s\n(bravik --help tells the commands)\n", message.c_str());
    return kExitUsage;
}

int failure(const std::string& what, int result)
{
    std::fprintf(stderr, "bravik: %s failed: %s\n", what.c_str(), describeResult(result).c_str());
    return kExitFailed;
}

bool openDevice(DeviceSession& session, const Options& o)
{
    const int result = session.open(o.vid, o.pid);
    if (!session.unit()) {
        char what[64];
        std::snprintf(what, sizeof what, "opening device %04x:%04x", unsigned(o.vid),
                      unsigned(o.pid));
        failure(what, result < 0 ? result : BV_E_FAIL);
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
        std::ifstream in(o.args[0], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "bravik: cannot read %s\n", o.args[0].c_str());
            return kExitFailed;
        }
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        return printUnits(bytes, o.args[0]);
    }
    for (const auto& d : defaultPlatform()->listDevices()) {
        const Ids ids = idsOf(d.displayName);
        if (ids.vid != o.vid || ids.pid != o.pid)
            continue;
        if (!d.readDescriptors || !d.readDescriptors(bytes)) {
            std::fprintf(stderr, "bravik: cannot read the descriptors of %s\n",
                         d.displayName.c_str());
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
        return usageError("check takes at most an EEPROM address");
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
    int result = api.readReg(session.unit(), BV_MODE_A16D16, kTubeDevice, 0x0000, &tube);
    if (result != BV_OK)
        return failure("reading the tube sensor", result);
    std::printf("tube sensor 0x7a register 0x0000 = 0x%04x%s\n", unsigned(tube),
                tube == 0xFFFF ? " (no answer: is the tube plugged in?)" : "");

    uint8_t original[BV_EEPROM_BLOCK], pattern[BV_EEPROM_BLOCK], back[BV_EEPROM_BLOCK];
    if ((result = api.readEeprom(session.unit(), address, original)) != BV_OK)
        return failure("reading the EEPROM", result);
    for (int i = 0; i < BV_EEPROM_BLOCK; ++i)
        pattern[i] = uint8_t(original[i] ^ (0xA5 + 7 * i));
    if ((result = api.writeEeprom(session.unit(), address, pattern)) != BV_OK)
        return failure("writing the EEPROM", result);
    if ((result = api.readEeprom(session.unit(), address, back)) != BV_OK)
        return failure("reading the EEPROM back", result);
    const bool same = std::equal(pattern, pattern + BV_EEPROM_BLOCK, back);
    if ((result = api.writeEeprom(session.unit(), address, original)) != BV_OK)
        return failure("restoring the EEPROM block", result);
    if ((result = api.readEeprom(session.unit(), address, back)) != BV_OK)
        return failure("reading the restored EEPROM block", result);
    const bool restored = std::equal(original, original + BV_EEPROM_BLOCK, back);
    std::printf("eeprom block 0x%04x: write and read back %s, restored %s\n", unsigned(address),
                same ? "ok" : "MISMATCH", restored ? "ok" : "MISMATCH");
    return same && restored && tube != 0xFFFF ? kExitOk : kExitFailed;
}

} // namespace bravik::cli
