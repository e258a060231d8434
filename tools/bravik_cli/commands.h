// The tool's commands. Each prints its result on stdout, its failures on stderr, and returns
// the exit status.
#pragma once

#include "tools/bravik_cli/cli_options.h"
#include "tools/bravik_cli/library_api.h"

namespace bravik::cli
{

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int runList(const Options& o);
int runUnits(const Options& o);
int runRead(const Options& o, const BravikApi& api);
int runWrite(const Options& o, const BravikApi& api);
int runEepromRead(const Options& o, const BravikApi& api);
int runEepromWrite(const Options& o, const BravikApi& api);
int runCheck(const Options& o, const BravikApi& api);

// Writes a pattern into the block at address, reads it back and restores original (its
// bytes before), with a backup file first; the restore runs on every path.
int runEepromWriteTest(const BravikApi& api, BVUnit* unit, int address,
                       const uint8_t (&original)[BV_EEPROM_BLOCK]);

class BridgeProtection;
// Puts the write protection back; false after saying that it failed.
bool restoreProtection(BridgeProtection& protection);

// Shared by the commands.
int usageError(const std::string& message);
int failure(const std::string& what, int result);
// A file named on the command line, read whole within maxBytes; false after saying why.
bool readInputFile(const std::string& path, size_t maxBytes, std::string& out);
// Opens the device of the options; false after printing why.
bool openDevice(DeviceSession& session, const Options& o);

} // namespace bravik::cli
