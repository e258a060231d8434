// How large a video frame may be decoded, decided before any decoder is opened: a small file
// whose headers claim huge frames must not take gigabytes when its thumbnail is made or it is
// played.
#pragma once

#include <string>

// 8K UHD (7680 × 4320, 33.2 MP): beyond any camera this program records from, with room to
// spare; larger frames, or frames of unknown size, are not decoded.
constexpr long long kMaxVideoPixels = 7680LL * 4320;

// True when the file is a regular file with at least one video stream and every video stream's
// frame size is known and within kMaxVideoPixels. The size is the one the first frames state in
// their own headers where the codec has them (JPEG frame header, H.264 sequence parameters,
// MPEG-4 object layer: read by the codec's parser, never decoded), else the container's.
// A container claim above the budget refuses the file whatever the frames say.
bool videoWithinBudget(const std::string& path);
