// The shared camera dumps and, from their README, the `units` lines each should give.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace bravik::test
{

std::string testdataDir();
// file name → expected lines; empty when the dumps are absent.
std::map<std::string, std::vector<std::string>> readTestdataListing();

} // namespace bravik::test
