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

// Shared by the commands.
int usageError(const std::string& message);
int failure(const std::string& what, int result);
// Opens the device of the options; false after printing why.
bool openDevice(DeviceSession& session, const Options& o);

} // namespace bravik::cli
