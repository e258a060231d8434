// The test program's side of the stand-in libBravik: what it was asked, what its register
// reads return and whether it finds a camera.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fakebravik
{

struct Host {
    std::vector<std::string> calls;
    // Reads of (device, address) in turn; the last value repeats. A register with nothing
    // scripted fails its read and leaves the value alone.
    std::map<std::pair<int, int>, std::deque<uint16_t>> reads;
    bool hasCamera = true;

    void reset() { *this = Host(); }
    void script(int device, int address, std::initializer_list<uint16_t> values)
    {
        reads[{device, address}] = values;
    }
    // Calls since the mark, and a new mark.
    std::vector<std::string> since(size_t& mark)
    {
        std::vector<std::string> out(calls.begin() + static_cast<long>(mark), calls.end());
        mark = calls.size();
        return out;
    }
};

Host& host();

} // namespace fakebravik
