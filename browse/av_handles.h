// Owners for the video library's handles, so that every way out of a reader frees them.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <filesystem>
#include <memory>
#include <string>

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ParserClose {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

using AvInput = std::unique_ptr<AVFormatContext, InputCloser>;
using AvCodec = std::unique_ptr<AVCodecContext, CodecFree>;
using AvParser = std::unique_ptr<AVCodecParserContext, ParserClose>;
using AvPacket = std::unique_ptr<AVPacket, PacketFree>;
using AvFrame = std::unique_ptr<AVFrame, FrameFree>;

// A local regular file opened for its headers only (no stream-info search, which decodes), or
// null. Not a FIFO or a device, which would wait for a writer; no protocol but local files, so a
// playlist cannot reach elsewhere.
inline AvInput openHeadersOnly(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* raw = nullptr;
    const int opened = avformat_open_input(&raw, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    return AvInput(opened < 0 ? nullptr : raw);
}
