#include "platform/video_inputs.h"

#include <cerrno>
#include <cstring>

namespace platform
{

std::string describeOpenError(int err, bool userInNodeGroup, const std::string& nodeGroup)
{
    if ((err == EACCES || err == EPERM) && !userInNodeGroup && !nodeGroup.empty())
        return std::string(std::strerror(EACCES)) + ": the user is not in the " + nodeGroup +
               " group";
    return std::strerror(err);
}

} // namespace platform
