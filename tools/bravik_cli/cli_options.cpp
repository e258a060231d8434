#include "tools/bravik_cli/cli_options.h"

#include <cctype>
#include <cstdlib>

namespace bravik::cli
{
namespace
{

const char* const kModes[] = {"A16D16", "A16D8", "A8D16", "A8D8"};

bool takeValue(const std::string& arg, const std::string& name, int& i, int argc, char** argv,
               std::string& value)
{
    if (arg == name) {
        if (i + 1 >= argc)
            return false;
        value = argv[++i];
        return true;
    }
    value = arg.substr(name.size() + 1);
    return true;
}

} // namespace

const char* const kUsage =
    "usage: bravik [--simulate[=SCENARIO]] [--vid HHHH --pid HHHH] COMMAND [ARGS]\n"
    "\n"
    "Reads and writes registers and EEPROM of a scope's bridge through its UVC extension unit.\n"
    "All numbers are hexadecimal, with or without 0x. The device is 05E3:0510 unless\n"
    "--vid/--pid say otherwise.\n"
    "\n"
    "commands:\n"
    "  list                             the video-input devices, the chosen one marked *\n"
    "  read  MODE DEVICE ADDRESS        one register; MODE: A16D16 A16D8 A8D16 A8D8 (or 0..3)\n"
    "  write MODE DEVICE ADDRESS VALUE  one register\n"
    "  eeprom-read  ADDRESS LENGTH      hex dump of LENGTH bytes, in 16-byte blocks\n"
    "  eeprom-write ADDRESS FILE        writes FILE's bytes; first saves the blocks it\n"
    "                                   overwrites to a backup file and prints its name\n"
    "  units [DESCRIPTORS_FILE]         the extension units of the device, or of a saved\n"
    "                                   sysfs 'descriptors' file\n"
    "  check [--write-test] [ADDRESS]   opens the device, reads the tube sensor (0x7A,\n"
    "                                   register 0) and the EEPROM block at ADDRESS (default\n"
    "                                   0x1F00); only with --write-test it saves the block to\n"
    "                                   a backup file, writes a pattern, reads it back and\n"
    "                                   restores the block and the write protection\n"
    "\n"
    "options:\n"
    "  --simulate[=SCENARIO]  run on the simulated rig (default rig, or a scenario file);\n"
    "                         without a command it runs 'check'\n"
    "  --vid HHHH, --pid HHHH the device's USB vendor and product id\n"
    "  --help                 this text\n"
    "\n"
    "The library's own diagnostics go to syslog at debug level; BRAVIK_DEBUG=1 sends them to\n"
    "stderr instead.\n";

std::optional<int> parseHex(const std::string& text, int max)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    for (char c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    const unsigned long v = std::strtoul(digits.c_str(), nullptr, 16);
    if (v > static_cast<unsigned long>(max))
        return std::nullopt;
    return static_cast<int>(v);
}

std::optional<int> parseMode(const std::string& text)
{
    for (int m = 0; m < 4; ++m) {
        std::string upper;
        for (char c : text)
            upper += char(std::toupper(static_cast<unsigned char>(c)));
        if (upper == kModes[m] || text == std::to_string(m))
            return m;
    }
    return std::nullopt;
}

const char* modeName(int mode)
{
    return mode >= 0 && mode < 4 ? kModes[mode] : "?";
}

std::optional<Options> parseOptions(int argc, char** argv, std::string* error)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--write-test") {
            o.writeTest = true;
        } else if (arg == "--simulate") {
            o.simulate = true;
        } else if (arg.rfind("--simulate=", 0) == 0) {
            o.simulate = true;
            o.scenario = arg.substr(11);
            if (o.scenario.empty()) {
                *error = "--simulate= needs a scenario file";
                return std::nullopt;
            }
        } else if (arg == "--vid" || arg.rfind("--vid=", 0) == 0 || arg == "--pid" ||
                   arg.rfind("--pid=", 0) == 0) {
            const std::string name = arg.substr(0, 5);
            if (!takeValue(arg, name, i, argc, argv, value)) {
                *error = name + " needs a value";
                return std::nullopt;
            }
            auto id = parseHex(value, 0xFFFF);
            if (!id) {
                *error = name + ": '" + value + "' is not a 16-bit hex number";
                return std::nullopt;
            }
            (name == "--vid" ? o.vid : o.pid) = *id;
        } else if (arg.size() > 1 && arg[0] == '-' && arg.rfind("--", 0) == 0) {
            *error = "unknown option " + arg;
            return std::nullopt;
        } else if (o.command.empty()) {
            o.command = arg;
        } else {
            o.args.push_back(arg);
        }
    }
    if (o.writeTest && o.command != "check" && !(o.command.empty() && o.simulate)) {
        *error = "--write-test belongs to check";
        return std::nullopt;
    }
    return o;
}

} // namespace bravik::cli
