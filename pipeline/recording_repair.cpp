#include "pipeline/recording_repair.h"

#include "app/data_files.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace
{

uint32_t le32(const char* p)
{
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 |
           uint32_t(uint8_t(p[3])) << 24;
}

bool hasAviExtension(const std::filesystem::path& p)
{
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext == ".avi";
}

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputCloser {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb)
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// Without the index the demuxer cannot know which frames are key frames; an MPEG-4 frame
// says so itself (a VOP of coding type I).
void markKeyFrame(AVPacket& packet)
{
    const uint8_t* d = packet.data;
    for (int i = 0; i + 4 < packet.size; ++i) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0xB6) {
            if ((d[i + 4] >> 6) == 0)
                packet.flags |= AV_PKT_FLAG_KEY;
            else
                packet.flags &= ~AV_PKT_FLAG_KEY;
            return;
        }
    }
}

// Whether the frame's chunk says it runs past the end of the file (the demuxer hands over
// the part that is there). Its header is at the packet's position or just before the data.
bool chunkRunsPast(std::ifstream& file, uint64_t pos, uint64_t size, uint64_t fileSize)
{
    if (pos + size > fileSize)
        return true;
    auto declared = [&](uint64_t at, uint64_t& length) {
        char header[8];
        file.clear();
        if (!file.seekg(std::streamoff(at)) || !file.read(header, 8))
            return false;
        length = le32(header + 4);
        return header[2] == 'd' && (header[3] == 'c' || header[3] == 'b') && length >= size;
    };
    uint64_t length = 0;
    if (declared(pos, length))
        return pos + 8 + length > fileSize;
    if (pos >= 8 && declared(pos - 8, length))
        return pos + length > fileSize;
    return false;
}

} // namespace

bool recordingLacksIndex(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char head[12];
    if (!in.read(head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "AVI ", 4) != 0)
        return false; // not an AVI this program writes: none of our business
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec)
        return false;
    // Walk the top-level chunks of the first RIFF: a finished file has idx1 after movi.
    uint64_t at = 12;
    for (int chunks = 0; chunks < 4096 && at + 8 <= size; ++chunks) {
        char chunk[12];
        in.seekg(std::streamoff(at));
        if (!in.read(chunk, 8))
            return true;
        if (std::memcmp(chunk, "idx1", 4) == 0)
            return false;
        const uint64_t length = le32(chunk + 4);
        if (length == 0 && std::memcmp(chunk, "LIST", 4) == 0)
            return true; // a list whose size was never filled in
        at += 8 + length + (length & 1);
    }
    return true;
}

bool repairRecording(const std::string& path, int* kept)
{
    if (kept)
        *kept = 0;
    std::error_code ec;
    const uint64_t fileSize = std::filesystem::file_size(path, ec);
    if (ec)
        return false;
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        return false;
    std::unique_ptr<AVFormatContext, InputCloser> input(opened);
    std::ifstream raw(path, std::ios::binary);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return false;
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0)
        return false;

    const std::filesystem::path target(path);
    const std::string temp =
        (target.parent_path() / ("." + target.filename().string() + ".repair")).string();
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "avi", temp.c_str()) < 0 || !out)
        return false;
    std::unique_ptr<AVFormatContext, OutputCloser> output(out);
    AVStream* in = input->streams[video];
    AVStream* os = avformat_new_stream(output.get(), nullptr);
    if (!os || avcodec_parameters_copy(os->codecpar, in->codecpar) < 0)
        return false;
    os->codecpar->codec_tag = in->codecpar->codec_tag;
    AVRational rate = in->avg_frame_rate.num > 0 ? in->avg_frame_rate : in->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = AVRational{15, 1};
    const AVRational tick = av_inv_q(rate);
    os->time_base = tick;
    os->avg_frame_rate = rate;
    if (avio_open(&output->pb, temp.c_str(), AVIO_FLAG_WRITE) < 0)
        return false;
    bool ok = avformat_write_header(output.get(), nullptr) >= 0;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    int frames = 0;
    int64_t next = 0;
    while (ok && packet && av_read_frame(input.get(), packet.get()) >= 0) {
        const bool ours = packet->stream_index == video;
        // A frame the kill cut off: its chunk says it runs past the end of the file (the
        // demuxer hands over the part that is there).
        const bool torn = packet->pos >= 0 && chunkRunsPast(raw, uint64_t(packet->pos),
                                                            uint64_t(packet->size), fileSize);
        const bool corrupt = packet->flags & AV_PKT_FLAG_CORRUPT;
        if (ours && !torn && !corrupt && packet->size > 0) {
            packet->stream_index = 0;
            // One frame per tick, in order, as the recorder wrote them.
            packet->pts = packet->dts = next++;
            packet->duration = 1;
            av_packet_rescale_ts(packet.get(), tick, os->time_base);
            if (in->codecpar->codec_id == AV_CODEC_ID_MPEG4)
                markKeyFrame(*packet);
            packet->pos = -1;
            ok = av_interleaved_write_frame(output.get(), packet.get()) >= 0;
            ++frames;
        }
        av_packet_unref(packet.get());
    }
    ok = ok && frames > 0 && av_write_trailer(output.get()) >= 0;
    ok = ok && avio_closep(&output->pb) >= 0;
    input.reset();
    if (ok)
        std::filesystem::rename(temp, path, ec);
    if (!ok || ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    if (kept)
        *kept = frames;
    return true;
}

int repairRecordings(const std::string& folder)
{
    std::error_code ec;
    int repaired = 0;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path p = it->path();
        if (!it->is_regular_file(ec) || p.filename().string().starts_with(".") ||
            !hasAviExtension(p) || !recordingLacksIndex(p.string()))
            continue;
        int kept = 0;
        if (repairRecording(p.string(), &kept)) {
            ++repaired;
            logLine("Preview repairRecordings() %s had no index: repaired, %d frames kept\n",
                    p.string().c_str(), kept);
        } else {
            logLine("Preview repairRecordings() %s has no index and could not be repaired\n",
                    p.string().c_str());
        }
    }
    return repaired;
}
