#include "browse/video_length.h"

#include "browse/av_handles.h"

#include <filesystem>

namespace
{
// Frame rates above this, or below one a second, are a damaged header, not a camera.
constexpr double kMaxFrameRate = 1000;
} // namespace

IndexedLength indexedLength(const std::string& path)
{
    IndexedLength length;
    const AvInput input = openHeadersOnly(path);
    if (!input)
        return length;
    const int v = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0)
        return length;
    AVStream* st = input->streams[v];
    const int listed = avformat_index_get_entries_count(st);
    if (listed <= 0)
        return length;
    // A file cut short may keep an index at its front (a MOV made for streaming) that lists
    // frames whose bytes are gone: only the frames the file still holds count.
    std::error_code ec;
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(path, ec));
    int n = 0;
    while (!ec && n < listed) {
        const AVIndexEntry* e = avformat_index_get_entry(st, n);
        if (!e || e->pos < 0 || e->pos + e->size > bytes)
            break;
        ++n;
    }
    length.frames = n;
    if (n <= 0)
        return length;
    const AVIndexEntry* first = avformat_index_get_entry(st, 0);
    const AVIndexEntry* last = avformat_index_get_entry(st, n - 1);
    if (!first || !last || st->time_base.num <= 0 || st->time_base.den <= 0)
        return length;
    // The last frame lasts as long as the frames before it did on average.
    const double span = double(last->timestamp - first->timestamp);
    double perFrame = n > 1 ? span / (n - 1) : 0;
    if (n == 1 && st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
        perFrame = av_q2d(av_inv_q(st->avg_frame_rate)) / av_q2d(st->time_base);
    const double frameSeconds = perFrame * av_q2d(st->time_base);
    // A time base the demuxer had to make up (a track's time scale of 0) gives frames of many
    // seconds each: then the index says how many frames, not how long.
    if (span >= 0 && frameSeconds >= 1.0 / kMaxFrameRate && frameSeconds <= 1.0)
        length.seconds = (span + perFrame) * av_q2d(st->time_base);
    return length;
}
