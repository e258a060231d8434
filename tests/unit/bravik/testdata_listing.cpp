#include "testdata_listing.h"

#include <fstream>
#include <sstream>

namespace bravik::test
{
namespace
{

std::string trim(std::string s)
{
    const char* space = " \t`";
    s.erase(0, s.find_first_not_of(space));
    s.erase(s.find_last_not_of(space) + 1);
    return s;
}

} // namespace

std::string testdataDir()
{
    return std::string(ORVEX_TESTDATA_DIR) + "/uvc-descriptors";
}

std::map<std::string, std::vector<std::string>> readTestdataListing()
{
    std::map<std::string, std::vector<std::string>> out;
    std::ifstream in(testdataDir() + "/README.md");
    std::string line;
    while (std::getline(in, line)) {
        // | file.bin | vid:pid | id {GUID} n 0xbits; id {GUID} n 0xbits |
        std::vector<std::string> cells;
        std::stringstream row(line);
        std::string cell;
        while (std::getline(row, cell, '|'))
            cells.push_back(trim(cell));
        if (cells.size() < 4 || cells[1].size() < 5 ||
            cells[1].substr(cells[1].size() - 4) != ".bin")
            continue;
        std::vector<std::string>& lines = out[cells[1]];
        if (cells[3] == "none")
            continue;
        std::stringstream units(cells[3]);
        std::string unit;
        while (std::getline(units, unit, ';')) {
            std::stringstream f(trim(unit));
            std::string id, guid, count, bits;
            f >> id >> guid >> count >> bits;
            lines.push_back("unit " + id + " " + guid + " controls " + count + " bmControls " +
                            bits);
        }
    }
    return out;
}

} // namespace bravik::test
