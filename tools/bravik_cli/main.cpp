// bravik: a technician's access to a scope's bridge registers and EEPROM without the viewer.
#include "platform/bounded_file.h"
#include "tools/bravik_cli/cli_options.h"
#include "tools/bravik_cli/commands.h"
#include "tools/bravik_cli/library_api.h"
#include "tools/bravik_cli/rig_runner.h"

#include <cstdio>
#include <exception>

using namespace bravik::cli;

namespace
{

int runDeviceCommand(const Options& o, const BravikApi& api)
{
    const std::string& c = o.command;
    if (c == "read")
        return runRead(o, api);
    if (c == "write")
        return runWrite(o, api);
    if (c == "eeprom-read")
        return runEepromRead(o, api);
    if (c == "eeprom-write")
        return runEepromWrite(o, api);
    if (c == "check")
        return runCheck(o, api);
    return usageError("unknown command '" + c + "'");
}

int run(int argc, char** argv)
{
    std::string error;
    auto parsed = parseOptions(argc, argv, &error);
    if (!parsed)
        return usageError(error);
    Options o = *parsed;
    if (o.help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (o.command.empty()) {
        if (!o.simulate)
            return usageError("no command given");
        o.command = "check";
    }
    // A saved descriptors file needs neither a device nor the library.
    if (o.command == "units" && !o.args.empty() && !o.simulate)
        return runUnits(o);

    const std::string dir = programDir();
    RigRunner rig;
    if (o.simulate && !rig.start(dir + "/libscopesim.so", o.scenario, &error)) {
        if (!error.empty())
            std::fprintf(stderr, "bravik: %s\n", files::printable(error).c_str());
        return kExitFailed;
    }
    if (o.command == "list")
        return runList(o);
    if (o.command == "units")
        return runUnits(o);

    BravikLibrary library;
    if (!loadWholeLibrary(library, dir + "/libBravik.so", &error)) {
        std::fprintf(stderr, "bravik: %s\n", error.c_str());
        return kExitFailed;
    }
    const BravikApi& api = library.api();
    api.initializeCom(2);
    const int status = runDeviceCommand(o, api);
    api.uninitializeCom();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // Whatever goes wrong ends in one line and exit 1, never in an abort.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bravik: %s\n", files::printable(e.what()).c_str());
    } catch (...) {
        std::fprintf(stderr, "bravik: unexpected failure\n");
    }
    return kExitFailed;
}
