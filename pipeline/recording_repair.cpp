#include "pipeline/recording_repair.h"

#include "pipeline/recording_file.h"
#include "platform/bounded_file.h"
#include "platform/file_ops.h"
#include "platform/log_line.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

uint32_t le32(const char* p)
{
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 |
           uint32_t(uint8_t(p[3])) << 24;
}

bool hasAviExtension(const std::string& name)
{
    std::string ext = std::filesystem::path(name).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext == ".avi";
}

// Opens a plain file for reading without following a link or waiting on a FIFO.
int openPlainFile(const std::string& path, struct stat& st)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool readAt(int fd, uint64_t at, char* buf, size_t n)
{
    return ::pread(fd, buf, n, off_t(at)) == ssize_t(n);
}

bool lacksIndex(int fd, uint64_t size)
{
    char head[12];
    if (!readAt(fd, 0, head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "AVI ", 4) != 0)
        return false; // not an AVI this program writes: none of our business
    // Walk the top-level chunks of the first RIFF: a finished file has idx1 after movi.
    uint64_t at = 12;
    for (int chunks = 0; chunks < 4096 && at + 8 <= size; ++chunks) {
        char chunk[8];
        if (!readAt(fd, at, chunk, sizeof chunk))
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

// The user may write the file: the permission bits say so (root passes access() anyway).
bool writable(int fd, const struct stat& st)
{
    return (st.st_mode & 0222) != 0 &&
           ::faccessat(AT_FDCWD, files::descriptorPath(fd).c_str(), W_OK, AT_EACCESS) == 0;
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
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

Input openInput(const std::string& path)
{
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        return nullptr;
    Input input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return nullptr;
    return input;
}

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

// Whether the packet's chunk says it runs past the end of the file (the demuxer hands over
// the part that is there). Its header is at the packet's position or just before the data.
bool chunkRunsPast(int fd, uint64_t pos, uint64_t size, uint64_t fileSize)
{
    if (pos + size > fileSize)
        return true;
    auto declared = [&](uint64_t at, uint64_t& length) {
        char header[8];
        if (!readAt(fd, at, header, sizeof header))
            return false;
        length = le32(header + 4);
        const std::string kind(header + 2, 2);
        return (kind == "dc" || kind == "db" || kind == "wb" || kind == "pc") && length >= size;
    };
    uint64_t length = 0;
    if (declared(pos, length))
        return pos + 8 + length > fileSize;
    if (pos >= 8 && declared(pos - 8, length))
        return pos + length > fileSize;
    return false;
}

// Remuxes every stream of input into output; the video frames written, or -1. The video
// stream is timed one frame per tick as the recorder wrote it; the other streams keep their
// own times. Packets the end of the file cut off are dropped.
int remux(AVFormatContext* input, int video, int rawFd, uint64_t fileSize, AVFormatContext* output)
{
    AVStream* in = input->streams[video];
    AVRational rate = in->avg_frame_rate.num > 0 ? in->avg_frame_rate : in->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = AVRational{15, 1};
    const AVRational tick = av_inv_q(rate);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* is = input->streams[i];
        AVStream* os = avformat_new_stream(output, nullptr);
        if (!os || avcodec_parameters_copy(os->codecpar, is->codecpar) < 0)
            return -1;
        os->codecpar->codec_tag = is->codecpar->codec_tag;
        os->disposition = is->disposition;
        av_dict_copy(&os->metadata, is->metadata, 0);
        os->time_base = int(i) == video ? tick : is->time_base;
        if (int(i) == video)
            os->avg_frame_rate = rate;
    }
    if (avformat_write_header(output, nullptr) < 0)
        return -1;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet)
        return -1;
    int frames = 0;
    int64_t next = 0;
    while (av_read_frame(input, packet.get()) >= 0) {
        const int s = packet->stream_index;
        const bool torn = packet->pos >= 0 && chunkRunsPast(rawFd, uint64_t(packet->pos),
                                                            uint64_t(packet->size), fileSize);
        const bool keep = !torn && !(packet->flags & AV_PKT_FLAG_CORRUPT) && packet->size > 0;
        if (keep && s == video) {
            // One frame per tick, in order, as the recorder wrote them.
            packet->pts = packet->dts = next++;
            packet->duration = 1;
            av_packet_rescale_ts(packet.get(), tick, output->streams[s]->time_base);
            if (in->codecpar->codec_id == AV_CODEC_ID_MPEG4)
                markKeyFrame(*packet);
            ++frames;
        } else if (keep) {
            av_packet_rescale_ts(packet.get(), input->streams[s]->time_base,
                                 output->streams[s]->time_base);
        }
        packet->pos = -1;
        const bool ok = !keep || av_interleaved_write_frame(output, packet.get()) >= 0;
        av_packet_unref(packet.get());
        if (!ok)
            return -1;
    }
    return frames > 0 && av_write_trailer(output) >= 0 ? frames : -1;
}

// The new file reads back with every stream and all the frames written.
bool verified(const std::string& path, unsigned streams, int video, int frames)
{
    Input back = openInput(path);
    if (!back || back->nb_streams != streams)
        return false;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    int seen = 0;
    while (packet && av_read_frame(back.get(), packet.get()) >= 0) {
        seen += packet->stream_index == video;
        av_packet_unref(packet.get());
    }
    return seen == frames;
}

// Writes the repaired file to the hidden temporary file tempFd; the video frames, or -1.
int writeRepair(int originalFd, uint64_t fileSize, int tempFd, unsigned* streams, int* video)
{
    Input input = openInput(files::descriptorPath(originalFd));
    if (!input)
        return -1;
    *streams = input->nb_streams;
    *video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (*video < 0)
        return -1;
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "avi", nullptr) < 0 || !out)
        return -1;
    std::unique_ptr<AVFormatContext, OutputCloser> output(out);
    // Opened through the descriptor: the temporary name is never looked up again.
    if (avio_open(&output->pb, files::descriptorPath(tempFd).c_str(), AVIO_FLAG_WRITE) < 0)
        return -1;
    const int frames = remux(input.get(), *video, originalFd, fileSize, output.get());
    if (avio_closep(&output->pb) < 0)
        return -1;
    return frames;
}

enum class Marked { repaired, finished, readOnly, failed, notOurs };

// What to do with the AVI a marker names; the repair itself when it lacks its index.
Marked repairMarked(const std::string& avi, int* kept)
{
    struct stat st {
    };
    files::Fd fd(openPlainFile(avi, st));
    if (fd.get() < 0 || st.st_uid != ::geteuid())
        return Marked::notOurs;
    if (!lacksIndex(fd.get(), uint64_t(st.st_size)))
        return Marked::finished;
    switch (repairRecording(avi, kept)) {
    case RepairResult::repaired:
        return Marked::repaired;
    case RepairResult::readOnly:
        return Marked::readOnly;
    case RepairResult::failed:
        break;
    }
    return Marked::failed;
}

// The process a marker names, when it is another one that still runs: that recording is being
// written now (a second window of the program on the same folder), not left unfinished. Our
// own number is a process before us that had it (numbers come round again in a container).
pid_t liveWriter(const std::string& marker)
{
    std::string text;
    if (!files::readBoundedFile(marker, 32, text))
        return 0;
    char* end = nullptr;
    const long pid = std::strtol(text.c_str(), &end, 10);
    if (pid <= 0 || pid > INT32_MAX || end == text.c_str() || pid == ::getpid())
        return 0;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM ? pid_t(pid) : 0;
}

} // namespace

bool recordingLacksIndex(const std::string& path)
{
    struct stat st {
    };
    files::Fd fd(openPlainFile(path, st));
    return fd.get() >= 0 && lacksIndex(fd.get(), uint64_t(st.st_size));
}

RepairResult repairRecording(const std::string& path, int* kept)
{
    if (kept)
        *kept = 0;
    struct stat st {
    };
    files::Fd original(openPlainFile(path, st));
    if (original.get() < 0)
        return RepairResult::failed;
    if (!writable(original.get(), st))
        return RepairResult::readOnly;
    files::TempFile temp = files::createTemp(path, ".repair", 0600);
    if (temp.fd < 0)
        return RepairResult::failed;
    files::Fd tempFd(temp.fd);
    unsigned streams = 0;
    int video = -1;
    const int frames = writeRepair(original.get(), uint64_t(st.st_size), temp.fd, &streams, &video);
    // The original stays until the new file is whole, read back, and its name still holds the
    // file that was read.
    const bool ok =
        frames > 0 && verified(files::descriptorPath(temp.fd), streams, video, frames) &&
        ::fchmod(temp.fd, st.st_mode & 07777) == 0 && ::fsync(temp.fd) == 0 &&
        files::sameFile(original.get(), path) && files::publish(temp.path, path, true) == 0;
    if (!ok) {
        ::unlink(temp.path.c_str());
        return RepairResult::failed;
    }
    if (kept)
        *kept = frames;
    return RepairResult::repaired;
}

int repairRecordings(const std::string& folder)
{
    const std::string suffix = ".recording";
    std::error_code ec;
    int repaired = 0;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= suffix.size() + 1 || name[0] != '.' || !name.ends_with(suffix))
            continue;
        const std::string aviName = name.substr(1, name.size() - 1 - suffix.size());
        const std::string marker = it->path().string();
        struct stat ms {
        };
        if (!hasAviExtension(aviName) || ::lstat(marker.c_str(), &ms) != 0 ||
            !S_ISREG(ms.st_mode) || ms.st_uid != ::geteuid())
            continue; // not a marker this program made
        const std::string avi = (it->path().parent_path() / aviName).string();
        struct stat as {
        };
        if (::lstat(avi.c_str(), &as) != 0 && errno == ENOENT) {
            ::unlink(marker.c_str()); // its recording is gone
            continue;
        }
        if (const pid_t writer = liveWriter(marker)) {
            logLine("Preview repairRecordings() %s is being recorded by process %d: left alone\n",
                    avi.c_str(), int(writer));
            continue;
        }
        int kept = 0;
        switch (repairMarked(avi, &kept)) {
        case Marked::repaired:
            ++repaired;
            logLine("Preview repairRecordings() %s had no index: repaired, %d frames kept\n",
                    avi.c_str(), kept);
            ::unlink(marker.c_str());
            break;
        case Marked::finished:
            ::unlink(marker.c_str());
            break;
        case Marked::readOnly:
            logLine("Preview repairRecordings() %s has no index but is read-only: left as it is\n",
                    avi.c_str());
            break;
        case Marked::failed:
            logLine("Preview repairRecordings() %s has no index and could not be repaired\n",
                    avi.c_str());
            break;
        case Marked::notOurs:
            logLine("Preview repairRecordings() %s is not a file of this user: left alone\n",
                    avi.c_str());
            break;
        }
    }
    return repaired;
}
