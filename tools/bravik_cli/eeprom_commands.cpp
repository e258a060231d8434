// EEPROM dumps and writes, block by block; a write saves what it overwrites first.
#include "tools/bravik_cli/commands.h"

#include "tools/bravik_cli/bridge_protection.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace bravik::cli
{
namespace
{

constexpr int kEepromSpace = 0x10000;

// Reads length bytes from address on, a block at a time.
int readRange(const BravikApi& api, BVUnit* unit, int address, int length,
              std::vector<uint8_t>& out)
{
    out.clear();
    for (int at = address; at < address + length; at += BV_EEPROM_BLOCK) {
        uint8_t block[BV_EEPROM_BLOCK];
        const int result = api.readEeprom(unit, at, block);
        if (result != BV_OK)
            return result;
        out.insert(out.end(), block, block + BV_EEPROM_BLOCK);
    }
    out.resize(size_t(length));
    return BV_OK;
}

// A new file in the working directory; never overwrites an earlier backup.
std::string saveBackup(int address, const std::vector<uint8_t>& bytes)
{
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    for (int n = 0; n < 100; ++n) {
        char name[96];
        std::snprintf(name, sizeof name,
                      n ? "bravik-eeprom-%04x-%s-%d.bin" : "bravik-eeprom-%04x-%s.bin",
                      unsigned(address), stamp, n);
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            continue;
        const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
        if (::close(fd) == 0 && ok)
            return name;
        ::unlink(name);
        return {};
    }
    return {};
}

} // namespace

bool restoreProtection(BridgeProtection& protection)
{
    const int result = protection.restore();
    if (result == BV_OK)
        return true;
    failure("putting the bridge's EEPROM write protection back", result);
    return false;
}

int runEepromWriteTest(const BravikApi& api, BVUnit* unit, int address,
                       const uint8_t (&original)[BV_EEPROM_BLOCK])
{
    const std::vector<uint8_t> saved(original, original + BV_EEPROM_BLOCK);
    const std::string backup = saveBackup(address, saved);
    if (backup.empty()) {
        std::fprintf(
            stderr,
            "bravik: cannot write a backup file in the working directory; nothing written\n");
        return kExitFailed;
    }
    std::printf("backup of 0x%04x..0x%04x saved to %s\n", unsigned(address),
                unsigned(address + BV_EEPROM_BLOCK - 1), backup.c_str());
    BridgeProtection protection(api, unit);
    int result = protection.save();
    if (result != BV_OK)
        return failure("reading the bridge's EEPROM write protection; nothing written", result);

    uint8_t pattern[BV_EEPROM_BLOCK], back[BV_EEPROM_BLOCK];
    for (int i = 0; i < BV_EEPROM_BLOCK; ++i)
        pattern[i] = uint8_t(original[i] ^ (0xA5 + 7 * i));
    bool same = false;
    if ((result = api.writeEeprom(unit, address, pattern)) != BV_OK)
        failure("writing the test pattern", result);
    else if ((result = api.readEeprom(unit, address, back)) != BV_OK)
        failure("reading the test pattern back", result);
    else
        same = std::equal(pattern, pattern + BV_EEPROM_BLOCK, back);

    // Whatever happened above, the block gets its bytes back.
    bool restored = false;
    if ((result = api.writeEeprom(unit, address, original)) != BV_OK)
        failure("restoring the EEPROM block", result);
    else if ((result = api.readEeprom(unit, address, back)) != BV_OK)
        failure("reading the restored EEPROM block", result);
    else
        restored = std::equal(original, original + BV_EEPROM_BLOCK, back);
    const bool protectedAgain = restoreProtection(protection);
    std::printf("eeprom block 0x%04x: write and read back %s, restored %s\n", unsigned(address),
                same ? "ok" : "FAILED", restored ? "ok" : "FAILED");
    if (!restored)
        std::fprintf(stderr,
                     "bravik: the block may hold the test pattern; its bytes are in %s (undo: "
                     "bravik eeprom-write 0x%04x %s)\n",
                     backup.c_str(), unsigned(address), backup.c_str());
    else
        std::printf("write protection %s\n", protectedAgain ? "restored" : "NOT restored");
    return same && restored && protectedAgain ? kExitOk : kExitFailed;
}

int runEepromRead(const Options& o, const BravikApi& api)
{
    std::optional<int> address, length;
    if (o.args.size() != 2 || !(address = parseHex(o.args[0], kEepromSpace - 1)) ||
        !(length = parseHex(o.args[1], kEepromSpace)) || *length == 0)
        return usageError("eeprom-read needs ADDRESS LENGTH (hex, LENGTH above 0)");
    if (*address + *length > kEepromSpace)
        return usageError("eeprom-read: the range ends beyond address 0xffff");
    DeviceSession session(api);
    if (!openDevice(session, o))
        return kExitFailed;
    std::vector<uint8_t> bytes;
    const int result = readRange(api, session.unit(), *address, *length, bytes);
    if (result != BV_OK)
        return failure("reading the EEPROM", result);
    for (size_t i = 0; i < bytes.size(); i += BV_EEPROM_BLOCK) {
        std::printf("%04x:", unsigned(*address + int(i)));
        for (size_t j = i; j < bytes.size() && j < i + BV_EEPROM_BLOCK; ++j)
            std::printf(" %02x", bytes[j]);
        std::printf("\n");
    }
    return kExitOk;
}

int runEepromWrite(const Options& o, const BravikApi& api)
{
    std::optional<int> address;
    if (o.args.size() != 2 || !(address = parseHex(o.args[0], kEepromSpace - 1)))
        return usageError("eeprom-write needs ADDRESS FILE");
    std::string text;
    if (!readInputFile(o.args[1], kEepromSpace, text))
        return kExitFailed;
    const std::vector<uint8_t> data(text.begin(), text.end());
    if (data.empty())
        return usageError("eeprom-write: " + o.args[1] + " is empty");
    const int blocks = int((data.size() + BV_EEPROM_BLOCK - 1) / BV_EEPROM_BLOCK);
    const int span = blocks * BV_EEPROM_BLOCK;
    if (*address + span > kEepromSpace)
        return usageError("eeprom-write: the data ends beyond address 0xffff");

    DeviceSession session(api);
    if (!openDevice(session, o))
        return kExitFailed;
    std::vector<uint8_t> previous;
    int result = readRange(api, session.unit(), *address, span, previous);
    if (result != BV_OK)
        return failure("reading the blocks to back up", result);
    const std::string backup = saveBackup(*address, previous);
    if (backup.empty()) {
        std::fprintf(
            stderr,
            "bravik: cannot write a backup file in the working directory; nothing written\n");
        return kExitFailed;
    }
    std::printf("backup of 0x%04x..0x%04x saved to %s (undo: bravik eeprom-write 0x%04x %s)\n",
                unsigned(*address), unsigned(*address + span - 1), backup.c_str(),
                unsigned(*address), backup.c_str());

    BridgeProtection protection(api, session.unit());
    if ((result = protection.save()) != BV_OK)
        return failure("reading the bridge's EEPROM write protection; nothing written", result);
    // A last partial block keeps the bytes it does not cover.
    std::vector<uint8_t> wanted = previous;
    std::copy(data.begin(), data.end(), wanted.begin());
    for (int b = 0; b < blocks && result == BV_OK; ++b) {
        const int at = *address + b * BV_EEPROM_BLOCK;
        result = api.writeEeprom(session.unit(), at, wanted.data() + size_t(b) * BV_EEPROM_BLOCK);
        if (result != BV_OK) {
            char what[64];
            std::snprintf(what, sizeof what, "writing the EEPROM block at 0x%04x", unsigned(at));
            failure(what, result);
            std::fprintf(stderr, "bravik: the backup is %s\n", backup.c_str());
        }
    }
    if (!restoreProtection(protection) || result != BV_OK)
        return kExitFailed;
    std::vector<uint8_t> back;
    if ((result = readRange(api, session.unit(), *address, span, back)) != BV_OK)
        return failure("reading the written blocks back", result);
    if (back != wanted) {
        std::fprintf(stderr, "bravik: the EEPROM reads back different bytes; the backup is %s\n",
                     backup.c_str());
        return kExitFailed;
    }
    std::printf("wrote %zu bytes at 0x%04x, read back ok\n", data.size(), unsigned(*address));
    return kExitOk;
}

} // namespace bravik::cli
