#include "platform/capture.h"

namespace platform
{

cv::Mat Capture::query()
{
    cv::Mat frame;
    if (!grab() || !retrieve(frame))
        return {};
    return frame;
}

} // namespace platform
