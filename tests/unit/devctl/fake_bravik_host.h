// The test program's side of the stand-in libBravik: the calls it got, what its register
// reads return (in turn, the last one repeating; nothing scripted: the read fails) and
// whether it finds the camera.
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
    std::map<std::pair<int, int>, std::deque<uint16_t>> reads;
    bool hasCamera = true;
};
Host& host();

} // namespace fakebravik
