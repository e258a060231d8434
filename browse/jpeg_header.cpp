#include "browse/jpeg_header.h"

#include "platform/bounded_file.h"

#include <cstddef>
#include <initializer_list>

namespace
{

// Metadata a camera writes before the picture (EXIF with its preview, ICC profile, maker
// notes) takes a few hundred KiB at most; headers not found within this are not looked for.
constexpr size_t kHeaderSearchLimit = 16u << 20;
// Most files have their headers within the first block read.
constexpr size_t kFirstRead = 64u << 10;

class Reader
{
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    bool has(size_t n) const { return m_bytes.size() - m_pos >= n; }
    int byte() { return static_cast<unsigned char>(m_bytes[m_pos++]); }
    int big16()
    {
        const int hi = byte();
        return (hi << 8) | byte();
    }
    void skip(size_t n) { m_pos += n; }

private:
    std::string_view m_bytes;
    size_t m_pos = 0;
};

enum Marker {
    kSoi = 0xD8,
    kEoi = 0xD9,
    kSos = 0xDA,
    kTem = 0x01,
};

bool isRestart(int m)
{
    return m >= 0xD0 && m <= 0xD7;
}

// Frame headers the decoder reads: baseline, extended, progressive, and their arithmetic-coded
// forms.
bool isDecodableFrame(int m)
{
    return m == 0xC0 || m == 0xC1 || m == 0xC2 || m == 0xC9 || m == 0xCA;
}

// Lossless and hierarchical frames, which the decoder refuses.
bool isOtherFrame(int m)
{
    return m == 0xC3 || (m >= 0xC5 && m <= 0xC7) || m == 0xCB || (m >= 0xCD && m <= 0xCF);
}

struct FrameIds {
    std::array<int, 4> id{};
};

JpegParse readFrame(Reader& in, int marker, int length, JpegHeader& out, FrameIds& ids)
{
    if (length < 8)
        return JpegParse::NotJpeg;
    if (!in.has(size_t(length) - 2))
        return JpegParse::Incomplete;
    const int precision = in.byte();
    const int height = in.big16(), width = in.big16();
    const int n = in.byte();
    if (precision != 8 || height <= 0 || width <= 0 || n < 1 || n > 4 || length != 8 + 3 * n)
        return JpegParse::NotJpeg;
    out.width = width;
    out.height = height;
    out.components = n;
    out.progressive = marker == 0xC2 || marker == 0xCA;
    for (int c = 0; c < n; ++c) {
        ids.id[size_t(c)] = in.byte();
        const int sampling = in.byte();
        in.byte(); // quantisation table
        const int h = sampling >> 4, v = sampling & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4)
            return JpegParse::NotJpeg;
        out.hSampling[size_t(c)] = h;
        out.vSampling[size_t(c)] = v;
    }
    return JpegParse::Ok;
}

JpegParse readScan(Reader& in, int length, JpegHeader& out, const FrameIds& ids)
{
    if (length < 3)
        return JpegParse::NotJpeg;
    if (!in.has(size_t(length) - 2))
        return JpegParse::Incomplete;
    const int n = in.byte();
    if (n < 1 || n > out.components || length != 6 + 2 * n)
        return JpegParse::NotJpeg;
    for (int c = 0; c < n; ++c) {
        const int id = in.byte();
        in.byte(); // entropy tables
        bool known = false;
        for (int k = 0; k < out.components; ++k)
            known = known || ids.id[size_t(k)] == id;
        if (!known)
            return JpegParse::NotJpeg;
    }
    out.multiScan = n < out.components;
    return JpegParse::Ok;
}

} // namespace

JpegParse parseJpegHeader(std::string_view bytes, JpegHeader& out)
{
    out = {};
    Reader in(bytes);
    if (!in.has(2))
        return JpegParse::Incomplete;
    if (in.byte() != 0xFF || in.byte() != kSoi)
        return JpegParse::NotJpeg;
    bool sawFrame = false;
    FrameIds ids;
    for (;;) {
        if (!in.has(1))
            return JpegParse::Incomplete;
        if (in.byte() != 0xFF)
            return JpegParse::NotJpeg; // stray bytes between segments
        int marker = 0xFF;
        while (marker == 0xFF) { // fill bytes
            if (!in.has(1))
                return JpegParse::Incomplete;
            marker = in.byte();
        }
        if (marker == kTem || isRestart(marker))
            continue; // markers without a length
        if (marker == 0x00 || marker == kSoi || marker == kEoi || isOtherFrame(marker))
            return JpegParse::NotJpeg;
        if (!in.has(2))
            return JpegParse::Incomplete;
        const int length = in.big16();
        if (length < 2)
            return JpegParse::NotJpeg;
        if (isDecodableFrame(marker)) {
            if (sawFrame)
                return JpegParse::NotJpeg;
            sawFrame = true;
            const JpegParse r = readFrame(in, marker, length, out, ids);
            if (r != JpegParse::Ok)
                return r;
        } else if (marker == kSos) {
            return sawFrame ? readScan(in, length, out, ids) : JpegParse::NotJpeg;
        } else {
            if (!in.has(size_t(length) - 2))
                return JpegParse::Incomplete;
            in.skip(size_t(length) - 2);
        }
    }
}

bool readJpegHeader(const std::string& path, JpegHeader& out)
{
    for (const size_t limit : {kFirstRead, kHeaderSearchLimit}) {
        std::string head;
        if (!files::readFileHead(path, limit, head))
            return false;
        const JpegParse r = parseJpegHeader(head, out);
        if (r == JpegParse::Ok)
            return true;
        if (r == JpegParse::NotJpeg || head.size() < limit)
            return false;
    }
    return false;
}
