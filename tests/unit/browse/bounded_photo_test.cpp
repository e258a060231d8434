#include "browse/bounded_photo.h"
#include "browse/photo_budget.h"

#include "sim/frame_source.h"
#include "support/hostile_media.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <wx/image.h>

#include <cstdlib>

#include <sys/stat.h>

namespace
{

std::string encodeJpeg(const cv::Mat& img, int quality = 90)
{
    std::vector<unsigned char> bytes;
    cv::imencode(".jpg", img, bytes, {cv::IMWRITE_JPEG_QUALITY, quality});
    return std::string(bytes.begin(), bytes.end());
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

JpegHeader headerOf(const std::string& bytes)
{
    JpegHeader h;
    EXPECT_EQ(parseJpegHeader(bytes, h), JpegParse::Ok);
    return h;
}

// A baseline JPEG made by the encoder, its frame header claiming w × h.
std::string claimSize(const std::string& jpeg, int w, int h)
{
    std::string out = jpeg;
    const size_t sof = out.find("\xFF\xC0");
    EXPECT_NE(sof, std::string::npos);
    out.replace(sof + 5, 4, hostile::be16(h) + hostile::be16(w));
    return out;
}

} // namespace

TEST(PhotoHeader, ReadsTheFrameSizeBehindOtherSegments)
{
    TempDir dir;
    std::string jpeg = encodeJpeg(pipeScene(320, 240));
    // An application segment of 40 000 bytes before the frame header, as cameras write EXIF.
    jpeg.insert(2, hostile::segment(0xE1, std::string(40000 - 2, '\0')));
    // Beyond the first block read: more segments, 200 KB in all.
    for (int i = 0; i < 4; ++i)
        jpeg.insert(2, hostile::segment(0xE2, std::string(40000, 'i')));
    JpegHeader h;
    ASSERT_TRUE(readJpegHeader(dir.write("big-exif.jpg", jpeg), h));
    EXPECT_EQ(h.width, 320);
    EXPECT_EQ(h.height, 240);
    EXPECT_EQ(h.components, 3);
    EXPECT_FALSE(h.progressive);
    EXPECT_FALSE(h.multiScan);
    EXPECT_EQ(decodePhotoBounded(dir / "big-exif.jpg").size(), cv::Size(320, 240));
}

TEST(PhotoHeader, NotAJpegOrCutShortIsRefused)
{
    TempDir dir;
    JpegHeader h;
    EXPECT_FALSE(readJpegHeader(dir / "missing.jpg", h));
    EXPECT_FALSE(readJpegHeader(dir.write("empty.jpg", ""), h));
    EXPECT_FALSE(readJpegHeader(dir.write("text.jpg", "hello world"), h));
    EXPECT_FALSE(readJpegHeader(dir.str(), h));
    std::vector<unsigned char> png;
    cv::imencode(".png", pipeScene(32, 24), png);
    EXPECT_FALSE(readJpegHeader(dir.write("png.jpg", std::string(png.begin(), png.end())), h));
    // Another format with a .jpg name never reaches the decoder, which would read it.
    EXPECT_TRUE(decodePhotoBounded(dir / "png.jpg").empty());
    const std::string jpeg = encodeJpeg(pipeScene(64, 48));
    EXPECT_EQ(parseJpegHeader(jpeg.substr(0, 20), h), JpegParse::Incomplete);
    EXPECT_FALSE(readJpegHeader(dir.write("cut.jpg", jpeg.substr(0, 20)), h));
    EXPECT_TRUE(decodePhotoBounded(dir / "cut.jpg").empty());
    // A segment length below 2 would loop for ever on a naive reader.
    EXPECT_EQ(parseJpegHeader(std::string("\xFF\xD8\xFF\xE0\x00\x00", 6), h), JpegParse::NotJpeg);
    // What the decoder refuses or would have to guess at: a second frame header, 12-bit
    // samples, a lossless frame, a scan before the frame, stray bytes between segments.
    const size_t sof = jpeg.find("\xFF\xC0"), sos = jpeg.find("\xFF\xDA");
    const std::string frame = jpeg.substr(sof, 19);
    std::string twice = jpeg;
    twice.insert(sos, frame);
    std::string twelve = jpeg, lossless = jpeg, early = jpeg, stray = jpeg;
    twelve[sof + 4] = 12;
    lossless[sof + 1] = '\xC3';
    early.insert(2, jpeg.substr(sos, 14));
    stray.insert(sof, "x");
    for (const std::string* bad : {&twice, &twelve, &lossless, &early, &stray})
        EXPECT_EQ(parseJpegHeader(*bad, h), JpegParse::NotJpeg);
    // A FIFO is not waited on.
    ASSERT_EQ(::mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
    EXPECT_TRUE(decodePhotoBounded(dir / "fifo.jpg").empty());
}

// The files that took gigabytes: refused from their headers, never decoded; a camera's photo
// decodes as before.
TEST(PhotoBudget, HostileHeadersAreRefusedARealPhotoDecodes)
{
    TempDir dir;
    const std::string bomb = hostile::progressiveJpeg(40000, 40000);
    const JpegHeader p = headerOf(bomb);
    EXPECT_EQ(p.width, 40000);
    EXPECT_EQ(p.height, 40000);
    EXPECT_TRUE(p.progressive);
    EXPECT_GT(photoDecodeBytes(p, 8), 9'000'000'000LL); // the coefficients, at any scale
    EXPECT_EQ(photoDecodeScale(p), 0);
    EXPECT_EQ(photoDecodeScale(p, 148, 111), 0);
    EXPECT_TRUE(decodePhotoBounded(dir.write("progressive.jpg", bomb)).empty());

    const std::string baseline = claimSize(encodeJpeg(pipeScene(64, 48)), 56568, 56568);
    EXPECT_EQ(photoDecodeScale(headerOf(baseline), 148, 111), 0);
    EXPECT_TRUE(decodePhotoBounded(dir.write("baseline.jpg", baseline), 148, 111).empty());

    // Within the pixel budget but not the memory one: 7800 × 7800 progressive without
    // subsampling keeps 365 MB of coefficients.
    EXPECT_EQ(photoDecodeScale(headerOf(hostile::progressiveJpeg(7800, 7800))), 0);
    // 8000 × 8000 baseline (64 MP) is decoded at full size for the big view (192 MB), a
    // progressive 4:2:0 one of 7000 × 7000 at half size (147 MB of coefficients).
    EXPECT_EQ(photoDecodeScale(headerOf(claimSize(encodeJpeg(pipeScene(64, 48)), 8000, 8000))), 1);
    EXPECT_EQ(photoDecodeScale(headerOf(claimSize(encodeJpeg(pipeScene(64, 48)), 8001, 8000))), 0);
    std::string sub = hostile::progressiveJpeg(7000, 7000);
    sub[sub.find("\x03\x01\x11") + 2] = '\x22';
    EXPECT_EQ(photoDecodeScale(headerOf(sub)), 2);
    const JpegHeader allowed = headerOf(sub);
    EXPECT_LE(photoDecodeBytes(allowed, 2), kMaxPhotoDecodeBytes);
    EXPECT_GT(photoDecodeBytes(allowed, 1), kMaxPhotoDecodeBytes);

    const std::string real = dir.write("real.jpg", encodeJpeg(pipeScene(1280, 960)));
    EXPECT_EQ(decodePhotoBounded(real).size(), cv::Size(1280, 960));
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
