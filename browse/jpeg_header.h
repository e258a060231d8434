// What a JPEG file's headers say about its picture, read without decoding it: the frame size,
// the colour components with their sampling, and how the scans are laid out. These decide how
// much memory the decoder would take before it is allowed to start.
#pragma once

#include <array>
#include <string>
#include <string_view>

struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;
    // Horizontal and vertical sampling factor (1..4) of each component.
    std::array<int, 4> hSampling{};
    std::array<int, 4> vSampling{};
    bool progressive = false;
    // The first scan holds fewer components than the frame: the decoder then keeps every
    // coefficient of the picture, as for a progressive file.
    bool multiScan = false;
};

enum class JpegParse {
    Ok,         // frame header and first scan header read
    NotJpeg,    // not a JPEG, or one the decoder would refuse (duplicate frame, 12-bit, lossless)
    Incomplete, // the bytes end before the first scan
};

// Reads the headers up to the first scan. Strict: a byte sequence the decoder would have to
// repair is NotJpeg. width and height are set as soon as the frame header was read, even
// when the result is not Ok.
JpegParse parseJpegHeader(std::string_view bytes, JpegHeader& out);

// The headers of a JPEG file (a regular file only), reading no more of it than the headers
// take; false when they cannot be read.
bool readJpegHeader(const std::string& path, JpegHeader& out);
