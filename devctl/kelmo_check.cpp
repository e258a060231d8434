// Telling the family camera apart from other video inputs: its tube sensor can replace the
// live picture by eight colour bars, which no other camera sends.
#include "devctl/orvex_io_control_box.h"

#include "app/data_files.h"
#include "devctl/scope_registers.h"
#include "devctl/scope_unit.h"
#include "platform/clock.h"

#include <cstdlib>

namespace
{
constexpr uint32_t kPictureSettleMs = 30;
constexpr std::chrono::milliseconds kBarsWait{1000};

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kRowBytes = size_t{kWidth} * 3;
constexpr size_t kSampleRow = 240;

// Row 240, columns 40 + 80 i: white, yellow, cyan, green, magenta, red, blue, black (B, G, R).
constexpr uint8_t kDataTable[8][3] = {{0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0x00},
                                      {0x00, 0xFF, 0x00}, {0xFF, 0x00, 0xFF}, {0x00, 0x00, 0xFF},
                                      {0xFF, 0x00, 0x00}, {0x00, 0x00, 0x00}};

// The camera sends its bars as YUYV or MJPEG, and the conversion back to BGR (limited-range
// BT.601, JPEG's rounding) moves full-scale bytes by a few steps: 0xFF may arrive as 0xFE.
// A sample within this many steps of the table counts; a picture that only resembles the
// bars (75 % bars, bars left in limited range at 16..235) stays well outside.
constexpr int kSampleTolerance = 8;

bool near(uint8_t got, uint8_t want)
{
    return std::abs(static_cast<int>(got) - static_cast<int>(want)) <= kSampleTolerance;
}

bool matchesBars(const uint8_t* row)
{
    for (int i = 0; i < 8; ++i) {
        const uint8_t* p = row + static_cast<ptrdiff_t>(40 + 80 * i) * 3;
        logLine("IOControlBox isKelmo() dataTable[%d] data(0x%x, 0x%x, 0x%x)\n", i, p[0], p[1],
                p[2]);
        if (!near(p[0], kDataTable[i][0]) || !near(p[1], kDataTable[i][1]) ||
            !near(p[2], kDataTable[i][2]))
            return false;
    }
    return true;
}
} // namespace

bool ScopeUnit::checkKelmo(bool restore)
{
    if (restore) {
        writeRegister(BV_MODE_A16D8, scope::kTube, scope::kTubePicture, scope::kPictureLive);
        platform::clock().sleep(kPictureSettleMs);
        return true;
    }
    if (!m_pEEPXU) {
        logLine("IOControlBox checkKelmo() m_pEEPXU=%s\n", "NULL");
        if (opening())
            missedLook(); // still opening
        return false;
    }
    const std::optional<uint16_t> answer =
        tryRead(BV_MODE_A16D16, scope::kTube, scope::kTubePresence);
    if (!answer) {
        // Asked again by the box, which has the search run again once the unit answers.
        logLine("IOControlBox checkKelmo() the extension unit does not answer\n");
        missedLook();
        return false;
    }
    const uint16_t wData = *answer;
    logLine("IOControlBox checkKelmo() wData=0x%x\n", wData);
    if (wData == scope::kNoTube)
        return false;
    // The bars must be on before the search looks at the pictures: this write is waited for
    // up to the library's own time-out (the unit has just answered).
    writeRegister(BV_MODE_A16D8, scope::kTube, scope::kTubePicture, scope::kPictureBars, kBarsWait);
    platform::clock().sleep(kPictureSettleMs);
    return true;
}

bool COrvexIOControlBox::isKelmo(const uint8_t* pixels)
{
    if (!pixels)
        return false;
    return matchesBars(pixels + kSampleRow * kRowBytes);
}

bool COrvexIOControlBox::isKelmo(const cv::Mat& frame)
{
    if (frame.cols != kWidth || frame.rows != kHeight || frame.type() != CV_8UC3)
        return false;
    // Rows of a region or a padded frame are further apart than 1920 bytes.
    return matchesBars(frame.ptr<uint8_t>(static_cast<int>(kSampleRow)));
}
