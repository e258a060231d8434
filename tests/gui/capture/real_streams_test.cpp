// The search and the live view on cameras that stream as real ones do: a shared USB 2.0
// bus, MJPEG and YUYV frames converted on the way in, a picture that only resembles the
// colour bars.
#include "support/frame_harness.h"

#include <scopesim/stream.h>

namespace
{

int idOf(const std::string& name)
{
    return scopesim::findVideoInput(name)->id;
}

class SharedBus : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "Integrated Camera" size 640x480 scene gradient bus 1
scope "USB Inspection Camera" tube in bus 1
)";
    }
};

class MjpegScope : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "Integrated Camera" size 1280x720 scene gradient
scope "USB Inspection Camera" tube in formats mjpeg
)";
    }
};

class LookAlike : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "Integrated Camera" size 640x480 scene chart
scope "USB Inspection Camera" tube out
)";
    }
};

class FullHd : public PreviewFixture
{
    std::string scenario() const override
    {
        return R"(camera "N5 HD Scope" size 640x480,1920x1080 formats yuyv,mjpeg
camera "N9 HD Scope" size 640x480,1920x1080 formats yuyv unplugged
)";
    }
};

} // namespace

TEST_F(SharedBus, OnlyTheChosenCameraStreamsAfterTheSearch)
{
    // Both uncompressed 640 x 480 streams cannot share one bus: the webcam, tried first,
    // must let go of it before the scope can show its bars.
    startUp();
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(0) Not Kelmo")) << log.text();
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(1) Is K2200")) << log.text();
    EXPECT_TRUE(log.has("Preview refreshCamera() K2200(1) QueryFrame OK!"));
    ASSERT_EQ(preview->capture(), preview->cameraAt(1));
    ASSERT_NE(preview->capture(), nullptr);
    EXPECT_EQ(preview->cameraAt(0), nullptr);
    EXPECT_EQ(preview->cameraCount(), 2u) << "positions stay";
    EXPECT_EQ(scopesim::busLoad(idOf("USB Inspection Camera")), 640u * 480 * 2 * 30);
    tick(10);
    ASSERT_NE(preview->grabFrame(), nullptr);
    preview->releaseFrame();
}

TEST_F(MjpegScope, BarsSentAsMjpegAreStillRecognised)
{
    startUp();
    EXPECT_EQ(scopesim::pixelFormat(idOf("USB Inspection Camera")), scopesim::PixelFormat::Mjpeg);
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(1) Is K2200")) << log.text();
    EXPECT_EQ(preview->modelIndex(SlotKelmo), 1);
    EXPECT_NE(preview->capture(), nullptr);
}

TEST_F(LookAlike, AChartOfColourBarsIsNotTheFamilyCamera)
{
    // The scope answers only once its tube is in; the webcam films a bar chart meanwhile.
    startUp();
    EXPECT_TRUE(log.has("Preview refreshCamera() haveKelmo(FALSE), Count(2)"));
    scopesim::setTube("USB Inspection Camera", true);
    searchAgain();
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(0) Not Kelmo")) << log.text();
    EXPECT_TRUE(log.has("Preview refreshCamera() camera(1) Is K2200"));
    EXPECT_EQ(preview->modelIndex(SlotKelmo), 1);
}

TEST_F(FullHd, AFullHdCameraStreamsMjpegAtItsFullRate)
{
    startUp();
    ASSERT_TRUE(log.has("Preview refreshCamera() Index(0) QueryFrame OK!")) << log.text();
    platform::Capture* cap = preview->capture();
    ASSERT_NE(cap, nullptr);
    EXPECT_EQ(cap->get(platform::kPropFrameWidth), 1920);
    EXPECT_EQ(scopesim::pixelFormat(idOf("N5 HD Scope")), scopesim::PixelFormat::Mjpeg);
    EXPECT_EQ(cap->get(platform::kPropFps), 30);
    // New frames over one second of 10 ms ticks.
    int frames = 0;
    for (int i = 0; i < 100; ++i) {
        rig->clock->advance(10);
        frames += cap->grab() ? 1 : 0;
    }
    EXPECT_GE(frames, 29);

    // A camera that offers only YUYV gives what the bus can carry at that size.
    scopesim::plug("N5 HD Scope", false);
    scopesim::plug("N9 HD Scope", true);
    settleEvents();
    tick(2);
    ASSERT_TRUE(log.has("Preview refreshCamera() Index(0) QueryFrame OK!"));
    cap = preview->capture();
    ASSERT_NE(cap, nullptr);
    EXPECT_EQ(scopesim::pixelFormat(idOf("N9 HD Scope")), scopesim::PixelFormat::Yuyv);
    EXPECT_NEAR(cap->get(platform::kPropFps), 5.93, 0.01);
}
