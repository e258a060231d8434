#include "browse/video_budget.h"

#include "browse/av_handles.h"
#include "browse/jpeg_header.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace
{
// Every stream's first frames lie within this many packets of the start in any file a
// thumbnail can be made of.
constexpr int kPacketLimit = 64;

bool sizeWithin(long long w, long long h)
{
    return w > 0 && h > 0 && w * h <= kMaxVideoPixels;
}

// What the first frames of one video stream say about their size.
struct FrameProbe {
    bool started = false;
    bool done = false;
    long long width = 0, height = 0;
    AvCodec codec;
    AvParser parser;

    void start(const AVCodecParameters& par)
    {
        started = true;
        if (par.codec_id == AV_CODEC_ID_MJPEG)
            return;
        parser.reset(av_parser_init(par.codec_id));
        codec.reset(avcodec_alloc_context3(nullptr));
        if (!parser || !codec || avcodec_parameters_to_context(codec.get(), &par) < 0) {
            done = true; // no parser: the container's size stands
            return;
        }
        parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        // Left unknown, so that a parser that reports through the codec context fills them.
        codec->width = codec->height = codec->coded_width = codec->coded_height = 0;
    }

    void look(const AVCodecParameters& par, const AVPacket& packet)
    {
        if (packet.size <= 0)
            return;
        if (par.codec_id == AV_CODEC_ID_MJPEG) {
            // Each frame is a JPEG with its own frame header; the decoder goes by that alone.
            JpegHeader header;
            parseJpegHeader(
                std::string_view(reinterpret_cast<const char*>(packet.data), size_t(packet.size)),
                header);
            width = header.width;
            height = header.height;
            done = true;
            return;
        }
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser.get(), codec.get(), &out, &outSize, packet.data, packet.size,
                         packet.pts, packet.dts, packet.pos);
        width = std::max({parser->width, parser->coded_width, codec->width, codec->coded_width});
        height =
            std::max({parser->height, parser->coded_height, codec->height, codec->coded_height});
        done = width > 0 && height > 0;
    }
};

} // namespace

bool videoWithinBudget(const std::string& path)
{
    AvInput input = openHeadersOnly(path);
    if (!input)
        return false;
    AVFormatContext* raw = input.get();
    auto isVideo = [&](unsigned i) {
        return raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    };

    std::vector<FrameProbe> probes;
    AvPacket packet(av_packet_alloc());
    if (!packet)
        return false;
    for (int n = 0; n < kPacketLimit; ++n) {
        // Streams may appear while the file is read (transport streams).
        probes.resize(raw->nb_streams);
        bool pending = false;
        for (unsigned i = 0; i < raw->nb_streams; ++i)
            pending = pending || (isVideo(i) && !probes[i].done);
        if (!pending || av_read_frame(raw, packet.get()) < 0)
            break;
        const int s = packet->stream_index;
        if (s >= 0 && unsigned(s) < probes.size() && unsigned(s) < raw->nb_streams &&
            isVideo(unsigned(s)) && !probes[size_t(s)].done) {
            FrameProbe& p = probes[size_t(s)];
            const AVCodecParameters& par = *raw->streams[s]->codecpar;
            if (!p.started)
                p.start(par);
            if (!p.done)
                p.look(par, *packet);
            if (p.done && p.width > 0 && !sizeWithin(p.width, p.height)) {
                av_packet_unref(packet.get());
                return false;
            }
        }
        av_packet_unref(packet.get());
    }

    probes.resize(raw->nb_streams);
    bool video = false;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        if (!isVideo(i))
            continue;
        const AVCodecParameters& par = *raw->streams[i]->codecpar;
        const FrameProbe& p = probes[i];
        if ((par.width > 0 || par.height > 0) && !sizeWithin(par.width, par.height))
            return false;
        const bool ownSize = p.width > 0 && p.height > 0;
        // An MJPEG frame without a readable frame header has no size the decoder can be held to.
        if (par.codec_id == AV_CODEC_ID_MJPEG && p.done && !ownSize)
            return false;
        if (!sizeWithin(ownSize ? p.width : par.width, ownSize ? p.height : par.height))
            return false;
        video = true;
    }
    return video;
}
