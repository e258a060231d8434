#include "browse/bounded_photo.h"

#include "sim/frame_source.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <wx/image.h>

#include <cstdlib>

namespace
{

std::string encodeJpeg(const cv::Mat& img, int quality = 90)
{
    std::vector<unsigned char> bytes;
    cv::imencode(".jpg", img, bytes, {cv::IMWRITE_JPEG_QUALITY, quality});
    return std::string(bytes.begin(), bytes.end());
}

// Rewrites the frame size in the start-of-frame header of a baseline JPEG.
std::string claimSize(std::string jpeg, int w, int h)
{
    const size_t sof = jpeg.find("\xFF\xC0");
    EXPECT_NE(sof, std::string::npos);
    jpeg[sof + 5] = static_cast<char>(h >> 8);
    jpeg[sof + 6] = static_cast<char>(h & 0xFF);
    jpeg[sof + 7] = static_cast<char>(w >> 8);
    jpeg[sof + 8] = static_cast<char>(w & 0xFF);
    return jpeg;
}

cv::Mat pipeScene(int w, int h)
{
    cv::Mat out;
    scopesim::renderPipe(out, w, h, 3.0, 0.8, 1.0);
    return out;
}

// The toolkit's normal-quality scaling, as the thumbnail slot does it.
cv::Mat toolkitScale(const cv::Mat& bgr, int w, int h)
{
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    wxImage img(rgb.cols, rgb.rows, rgb.data, true);
    wxImage scaled = img.Scale(w, h, wxIMAGE_QUALITY_NORMAL);
    return cv::Mat(h, w, CV_8UC3, scaled.GetData()).clone();
}

} // namespace

TEST(PhotoHeader, ReadsTheFrameSizeBehindOtherSegments)
{
    TempDir dir;
    std::string jpeg = encodeJpeg(pipeScene(320, 240));
    // An application segment of 40 000 bytes before the frame header, as cameras write EXIF.
    std::string app(4 + 40000 - 2, '\0');
    app[0] = '\xFF';
    app[1] = '\xE1';
    app[2] = static_cast<char>((40000 - 2 + 2) >> 8);
    app[3] = static_cast<char>((40000 - 2 + 2) & 0xFF);
    jpeg.insert(2, app);
    JpegSize size;
    ASSERT_TRUE(readJpegSize(dir.write("big-exif.jpg", jpeg), size));
    EXPECT_EQ(size.width, 320);
    EXPECT_EQ(size.height, 240);
    EXPECT_EQ(decodePhotoBounded(dir / "big-exif.jpg").size(), cv::Size(320, 240));
}

TEST(PhotoHeader, NotAJpegOrCutShortIsRefused)
{
    TempDir dir;
    JpegSize size;
    EXPECT_FALSE(readJpegSize(dir / "missing.jpg", size));
    EXPECT_FALSE(readJpegSize(dir.write("empty.jpg", ""), size));
    EXPECT_FALSE(readJpegSize(dir.write("text.jpg", "hello world"), size));
    std::vector<unsigned char> png;
    cv::imencode(".png", pipeScene(32, 24), png);
    EXPECT_FALSE(readJpegSize(dir.write("png.jpg", std::string(png.begin(), png.end())), size));
    EXPECT_TRUE(decodePhotoBounded(dir / "png.jpg").empty());
    const std::string jpeg = encodeJpeg(pipeScene(64, 48));
    EXPECT_FALSE(readJpegSize(dir.write("cut.jpg", jpeg.substr(0, 20)), size));
    EXPECT_TRUE(decodePhotoBounded(dir / "cut.jpg").empty());
    // A segment length below 2 would loop for ever on a naive reader.
    EXPECT_FALSE(
        readJpegSize(dir.write("zero.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x00", 6)), size));
}

TEST(BoundedPhoto, AHugeClaimIsDecodedReducedNeverAtFullSize)
{
    TempDir dir;
    const std::string small = encodeJpeg(pipeScene(64, 48), 75);
    ASSERT_LE(small.size(), 2048u);
    const std::string path = dir.write("claims-20000.jpg", claimSize(small, 20000, 20000));
    JpegSize size;
    ASSERT_TRUE(readJpegSize(path, size));
    ASSERT_EQ(size.width, 20000);
    const cv::Mat img = decodePhotoBounded(path);
    // 400 megapixels claimed: a quarter of each side (25 MP) is the least reduction under
    // the limit; or nothing.
    if (!img.empty()) {
        EXPECT_LE(static_cast<long long>(img.cols) * img.rows, kMaxPhotoPixels);
        EXPECT_EQ(img.size(), cv::Size(5000, 5000));
    }
}

TEST(BoundedPhoto, AClaimBeyondAnEighthOfTheLimitGivesNothing)
{
    TempDir dir;
    const std::string path =
        dir.write("claims-65000.jpg", claimSize(encodeJpeg(pipeScene(64, 48)), 65000, 65000));
    EXPECT_TRUE(decodePhotoBounded(path).empty());
}

TEST(BoundedPhoto, JustUnderTheLimitIsDecodedAtFullSizeAndJustOverAtHalf)
{
    TempDir dir;
    JpegSize size;
    // 7000 × 7000 = 49 MP: full size is allowed (not decoded here: only the choice matters).
    const std::string under =
        dir.write("under.jpg", claimSize(encodeJpeg(pipeScene(64, 48)), 7000, 7000));
    ASSERT_TRUE(readJpegSize(under, size));
    const cv::Mat a = decodePhotoBounded(under);
    if (!a.empty())
        EXPECT_EQ(a.size(), cv::Size(7000, 7000));
    // 7100 × 7100 = 50.4 MP: one halving.
    const std::string over =
        dir.write("over.jpg", claimSize(encodeJpeg(pipeScene(64, 48)), 7100, 7100));
    const cv::Mat b = decodePhotoBounded(over);
    if (!b.empty())
        EXPECT_EQ(b.size(), cv::Size(3550, 3550));
    EXPECT_FALSE(a.empty() && b.empty());
}

TEST(BoundedPhoto, AThumbnailDecodeStaysAtLeastTheAskedSize)
{
    TempDir dir;
    const std::string path = dir.write("capture.jpg", encodeJpeg(pipeScene(1280, 960)));
    EXPECT_EQ(decodePhotoBounded(path).size(), cv::Size(1280, 960));
    EXPECT_EQ(decodePhotoBounded(path, 320, 240).size(), cv::Size(320, 240));
    EXPECT_EQ(decodePhotoBounded(path, 321, 240).size(), cv::Size(640, 480));
    EXPECT_EQ(decodePhotoBounded(path, 100, 50).size(), cv::Size(160, 120));
}

TEST(BoundedPhoto, AReducedThumbnailLooksLikeTheToolkitScalingOfTheFullPicture)
{
    TempDir dir;
    const std::string path = dir.write("capture.jpg", encodeJpeg(pipeScene(1280, 960)));
    const cv::Mat full = decodePhotoBounded(path);
    const cv::Mat reduced = decodePhotoBounded(path, 320, 240);
    for (const cv::Size thumb : {cv::Size(148, 111), cv::Size(153, 115), cv::Size(70, 52)}) {
        const cv::Mat a = toolkitScale(full, thumb.width, thumb.height);
        const cv::Mat b = toolkitScale(reduced, thumb.width, thumb.height);
        cv::Mat diff;
        cv::absdiff(a, b, diff);
        const cv::Scalar mean = cv::mean(diff);
        for (int c = 0; c < 3; ++c)
            EXPECT_LE(mean[c], 4.0) << thumb << " channel " << c;
    }
}
