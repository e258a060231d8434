// Library results as words for people.
#pragma once

#include <string>

namespace bravik::cli
{

// "0x80004005 (no matching device, no filter bound, or the request timed out)"
std::string describeResult(int result);
// "0x80004005 (the request timed out: the camera did not answer)"
std::string describeTimeout(int result);

} // namespace bravik::cli
