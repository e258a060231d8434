#include "browse/bounded_photo.h"

#include <opencv2/imgcodecs.hpp>

#include <fstream>

namespace
{

int readByte(std::istream& in)
{
    const int c = in.get();
    return in ? c : -1;
}

int readBig16(std::istream& in)
{
    const int hi = readByte(in), lo = readByte(in);
    return hi < 0 || lo < 0 ? -1 : (hi << 8) | lo;
}

bool isStartOfFrame(int marker)
{
    // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

long long pixelsAt(const JpegSize& s, int scale)
{
    const long long w = (s.width + scale - 1) / scale, h = (s.height + scale - 1) / scale;
    return w * h;
}

int reducedFlag(int scale)
{
    switch (scale) {
    case 2:
        return cv::IMREAD_REDUCED_COLOR_2;
    case 4:
        return cv::IMREAD_REDUCED_COLOR_4;
    case 8:
        return cv::IMREAD_REDUCED_COLOR_8;
    default:
        return cv::IMREAD_COLOR;
    }
}

} // namespace

bool readJpegSize(const std::string& path, JpegSize& size)
{
    std::ifstream in(path, std::ios::binary);
    if (readByte(in) != 0xFF || readByte(in) != 0xD8)
        return false;
    for (;;) {
        int c = readByte(in);
        if (c != 0xFF)
            return false;
        while (c == 0xFF)
            c = readByte(in); // fill bytes
        if (c < 0)
            return false;
        const int marker = c;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // markers without a length
        if (marker == 0xD9 || marker == 0xDA)
            return false; // end of image or scan data before any frame header
        const int length = readBig16(in);
        if (length < 2)
            return false;
        if (isStartOfFrame(marker)) {
            if (length < 7 || readByte(in) < 0)
                return false;
            const int h = readBig16(in), w = readBig16(in);
            if (h <= 0 || w <= 0)
                return false;
            size = {w, h};
            return true;
        }
        in.seekg(length - 2, std::ios::cur);
        if (!in)
            return false;
    }
}

cv::Mat decodePhotoBounded(const std::string& path, int minWidth, int minHeight)
{
    JpegSize size;
    if (!readJpegSize(path, size))
        return {};
    int scale = 1;
    while (scale <= 8 && pixelsAt(size, scale) > kMaxPhotoPixels)
        scale *= 2;
    if (scale > 8)
        return {};
    if (minWidth > 0 && minHeight > 0) {
        while (scale < 8 && (size.width / (scale * 2)) >= minWidth &&
               (size.height / (scale * 2)) >= minHeight)
            scale *= 2;
    }
    try {
        return cv::imread(path, reducedFlag(scale));
    } catch (const cv::Exception&) {
        return {};
    }
}
