// Small files whose headers claim huge pictures: a decoder that believes them takes gigabytes.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace hostile
{

inline std::string be16(int v)
{
    return {char((v >> 8) & 0xFF), char(v & 0xFF)};
}

inline std::string le16(uint32_t v)
{
    return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}

inline std::string le32(uint32_t v)
{
    return le16(v & 0xFFFF) + le16(v >> 16);
}

inline std::string segment(int marker, const std::string& body)
{
    return std::string{'\xFF', char(marker)} + be16(int(body.size()) + 2) + body;
}

// A progressive JPEG of a few hundred bytes claiming w × h, three components without subsampling:
// one DC scan over a few bytes. The decoder keeps every coefficient of a progressive picture,
// so 40000 × 40000 asks it for about 9.6 GB whatever the scale.
inline std::string progressiveJpeg(int w, int h)
{
    std::string jpeg = "\xFF\xD8";
    jpeg += segment(0xDB, std::string(1, '\0') + std::string(64, '\x01'));
    jpeg += segment(0xC2, std::string("\x08") + be16(h) + be16(w) +
                              std::string("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00", 10));
    // DC table 0: one code of one bit for category 0.
    std::string dht(1, '\0');
    dht += '\x01';
    dht += std::string(15, '\0');
    dht += '\0';
    jpeg += segment(0xC4, dht);
    jpeg += segment(0xDA, std::string("\x03\x01\x00\x02\x00\x03\x00\x00\x00\x00", 10));
    jpeg += std::string(400, '\0');
    return jpeg + "\xFF\xD9";
}

// A small baseline JPEG (made by the encoder) whose frame header claims w × h.
inline std::string baselineJpeg(int w, int h)
{
    std::vector<unsigned char> bytes;
    cv::imencode(".jpg", cv::Mat(48, 64, CV_8UC3, cv::Scalar(40, 120, 200)), bytes);
    std::string jpeg(bytes.begin(), bytes.end());
    const size_t sof = jpeg.find("\xFF\xC0");
    if (sof == std::string::npos)
        return {};
    jpeg.replace(sof + 5, 4, be16(h) + be16(w));
    return jpeg;
}

// A mid-grey baseline JPEG of w × h (multiples of 16) with complete scan data, so that it
// decodes as a whole picture: 4 bytes for each 16 × 16 block (four luma blocks, two chroma
// blocks, each a zero DC difference and an end of block in the standard tables); 16000 × 16000
// takes 4 MB on disk and over a gigabyte decoded.
inline std::string greyJpeg(int w, int h)
{
    std::string jpeg = baselineJpeg(w, h);
    const size_t sos = jpeg.find("\xFF\xDA");
    if (jpeg.empty() || sos == std::string::npos)
        return {};
    jpeg.resize(sos + 14);
    const size_t blocks = size_t(w / 16) * size_t(h / 16);
    jpeg.reserve(jpeg.size() + 4 * blocks + 2);
    for (size_t i = 0; i < blocks; ++i)
        jpeg += std::string("\x28\xA2\x8A\x00", 4);
    return jpeg + "\xFF\xD9";
}

inline std::string riff(const std::string& id, const std::string& body)
{
    std::string c = id + le32(uint32_t(body.size())) + body;
    if (body.size() % 2)
        c += '\0';
    return c;
}

// An AVI with one MJPEG frame, its headers stating w × h.
inline std::string mjpegAvi(const std::string& frame, int w, int h)
{
    const uint32_t size = uint32_t(frame.size());
    const std::string avih = le32(40000) + le32(0) + le32(0) + le32(0x10) + le32(1) + le32(0) +
                             le32(1) + le32(size) + le32(uint32_t(w)) + le32(uint32_t(h)) +
                             std::string(16, '\0');
    const std::string strh = std::string("vidsMJPG") + le32(0) + le32(0) + le32(0) + le32(1) +
                             le32(25) + le32(0) + le32(1) + le32(size) + le32(0xFFFFFFFF) +
                             le32(0) + le16(0) + le16(0) + le16(uint32_t(w)) + le16(uint32_t(h));
    const std::string strf = le32(40) + le32(uint32_t(w)) + le32(uint32_t(h)) + le16(1) + le16(24) +
                             "MJPG" + le32(uint32_t(w) * uint32_t(h) * 3) + std::string(16, '\0');
    const std::string hdrl =
        riff("LIST", "hdrl" + riff("avih", avih) +
                         riff("LIST", "strl" + riff("strh", strh) + riff("strf", strf)));
    const std::string movi = riff("LIST", "movi" + riff("00dc", frame));
    const std::string idx1 = riff("idx1", std::string("00dc") + le32(0x10) + le32(4) + le32(size));
    return riff("RIFF", "AVI " + hdrl + movi + idx1);
}

} // namespace hostile
