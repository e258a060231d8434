// A V4L2 capture node streamed by the capture thread itself: one format negotiation per
// start, memory-mapped buffers, a poll that stop and interrupt cut short, every ready
// buffer drained and only the newest kept. A node that reports itself gone (ENODEV,
// POLLERR, POLLHUP) is never touched again.
#pragma once

#include "platform/linux/ioctl_ops.h"
#include "platform/streaming_capture.h"

#include <memory>
#include <string>

namespace platform
{

// Opens the node (the stream owns the descriptor from then on); null with errno set when
// it cannot be opened.
std::unique_ptr<FrameStream> openV4l2Stream(const IoctlOps& ops, const std::string& path);

} // namespace platform
