#include "browse/video_thumbnail.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

int videoMarkSide(int w, int h)
{
    if (w >= 80 && h >= 80)
        return 80;
    return std::max(std::min(w, h) - 4, 1);
}

std::string durationLabel(long long frameCount, int fps, double containerSeconds,
                          double indexedSeconds)
{
    long long d = -1;
    if (indexedSeconds >= 0 && indexedSeconds < 1e12)
        d = static_cast<long long>(indexedSeconds);
    else if (fps > 0 && frameCount > 0)
        d = frameCount / fps;
    else if (containerSeconds >= 0)
        d = static_cast<long long>(containerSeconds);
    if (d < 0)
        return "--";
    char text[64];
    std::snprintf(text, sizeof text, "%2lld : %2lld : %2lld", d / 3600, (d / 60) % 60, d % 60);
    return text;
}

namespace
{

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t be32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint64_t be64(const unsigned char* p)
{
    return uint64_t(be32(p)) << 32 | be32(p + 4);
}

bool readAt(std::ifstream& in, uint64_t pos, unsigned char* buf, size_t n)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(pos));
    in.read(reinterpret_cast<char*>(buf), static_cast<std::streamsize>(n));
    return static_cast<size_t>(in.gcount()) == n;
}

// RIFF AVI: the main header (avih) sits in the first LIST hdrl; microseconds per frame ×
// total frames.
double aviDuration(std::ifstream& in)
{
    unsigned char h[32 + 20];
    // "RIFF" size "AVI " "LIST" size "hdrl" "avih" size, then the header's first five fields.
    if (!readAt(in, 0, h, sizeof h))
        return -1;
    if (std::memcmp(h + 12, "LIST", 4) != 0 || std::memcmp(h + 20, "hdrl", 4) != 0 ||
        std::memcmp(h + 24, "avih", 4) != 0 || le32(h + 28) < 20)
        return -1;
    const double usPerFrame = le32(h + 32), frames = le32(h + 48);
    if (usPerFrame <= 0 || frames <= 0)
        return -1;
    return usPerFrame * frames / 1e6;
}

// QuickTime/MP4: moov → mvhd holds the time scale and the duration.
double movDuration(std::ifstream& in, uint64_t fileSize)
{
    uint64_t pos = 0, end = fileSize;
    bool inMoov = false;
    for (int guard = 0; guard < 10000 && pos + 8 <= end; ++guard) {
        unsigned char b[16];
        if (!readAt(in, pos, b, 8))
            return -1;
        uint64_t size = be32(b);
        uint64_t header = 8;
        if (size == 1) {
            if (!readAt(in, pos + 8, b + 8, 8))
                return -1;
            size = be64(b + 8);
            header = 16;
        } else if (size == 0) {
            size = end - pos;
        }
        if (size < header || size > end - pos)
            return -1;
        if (!inMoov && std::memcmp(b + 4, "moov", 4) == 0) {
            inMoov = true;
            end = pos + size;
            pos += header;
            continue;
        }
        if (inMoov && std::memcmp(b + 4, "mvhd", 4) == 0) {
            unsigned char v[32];
            if (size < header + 4 || !readAt(in, pos + header, v, 4))
                return -1;
            const bool wide = v[0] == 1;
            const uint64_t need = wide ? 32 : 20;
            if (size < header + need || !readAt(in, pos + header, v, need))
                return -1;
            const double scale = wide ? be32(v + 20) : be32(v + 12);
            const double duration = wide ? static_cast<double>(be64(v + 24)) : be32(v + 16);
            if (scale <= 0 || duration <= 0 || duration == double(UINT32_MAX) ||
                duration == double(UINT64_MAX))
                return -1;
            return duration / scale;
        }
        pos += size;
    }
    return -1;
}

} // namespace

double containerDurationSeconds(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return -1;
    const auto size = static_cast<uint64_t>(std::max<std::streamoff>(in.tellg(), 0));
    unsigned char magic[12];
    if (!readAt(in, 0, magic, sizeof magic))
        return -1;
    if (std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "AVI ", 4) == 0)
        return aviDuration(in);
    return movDuration(in, size);
}
