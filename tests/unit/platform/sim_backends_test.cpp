// The simulated backends: the rig's devices behind the same interfaces as the machine's.
#include "platform/clock.h"
#include "platform/services.h"
#include "support/rig_session.h"

#include <scopesim/rig.h>

#include <opencv2/core.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace
{

class SimBackends : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(scopesim::startText(
            "usb vid 1D6B pid 0002 class 09/00/01\n"
            "camera \"Integrated Camera\" size 1280x720\n"
            "camera \"Q3400 39HD Camera\" vid 1B3F pid 2247 size 800x800,640x480\n"
            "scope \"USB Inspection Camera\"\n"
            "em28xx \"Pellar USB 2861 Video\"\n"
            "registry \"Pellar USB 2861 Video\"\n",
            "sim", &error))
            << error;
        platform::useSimBackends();
    }
    void TearDown() override
    {
        platform::useLinuxBackends();
        scopesim::stop();
    }
    void advance(uint32_t ms) { time.advance(ms); }

    RigTime time;
};

} // namespace

TEST_F(SimBackends, VideoInputsAreTheRigsCamerasInRigOrder)
{
    EXPECT_EQ(platform::backend(), platform::Backend::Sim);
    auto list = platform::videoInputs().enumerate();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].friendlyName, "Integrated Camera");
    EXPECT_EQ(list[1].friendlyName, "Q3400 39HD Camera");
    EXPECT_EQ(list[2].vid, 0x05E3);
    EXPECT_EQ(list[2].pid, 0x0510);
    EXPECT_EQ(list[3].friendlyName, "Pellar USB 2861 Video");
    EXPECT_FALSE(list[1].description.empty());
}

TEST_F(SimBackends, CaptureSizesFollowBothPropertiesAndTheDevice)
{
    auto cap = platform::captures().openCamera(1);
    ASSERT_NE(cap, nullptr);
    EXPECT_EQ(cap->get(platform::kPropFrameWidth), 800);
    EXPECT_EQ(cap->get(platform::kPropFrameHeight), 800);
    // 800 x 800 uncompressed fills the bus at 19.2 frames a second.
    EXPECT_NEAR(cap->get(platform::kPropFps), 19.2, 0.01);
    EXPECT_EQ(cap->get(platform::kPropFrameCount), -1);
    // Width alone changes nothing; with the height the device takes its nearest mode.
    EXPECT_TRUE(cap->set(platform::kPropFrameWidth, 640));
    EXPECT_EQ(cap->get(platform::kPropFrameWidth), 800);
    EXPECT_TRUE(cap->set(platform::kPropFrameHeight, 490));
    EXPECT_EQ(cap->get(platform::kPropFrameWidth), 640);
    EXPECT_EQ(cap->get(platform::kPropFrameHeight), 480);
    EXPECT_EQ(cap->get(platform::kPropFps), 30);
    // The stream restarted with the new size: its first frame comes a period later.
    advance(40);
    cv::Mat f = cap->query();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.size(), cv::Size(640, 480));
    EXPECT_EQ(f.type(), CV_8UC3);
    EXPECT_FALSE(cap->set(platform::kPropFps, 5));
    // A frame kept by the caller stays as it was when the next one comes.
    cv::Mat kept = f;
    cv::Mat copy = f.clone();
    advance(500);
    ASSERT_FALSE(cap->query().empty());
    EXPECT_EQ(cv::norm(kept, copy, cv::NORM_L1), 0.0);

    auto scope = platform::captures().openCamera(2);
    ASSERT_NE(scope, nullptr);
    advance(40);
    EXPECT_EQ(scope->query().size(), cv::Size(640, 480));
    EXPECT_EQ(platform::captures().openCamera(4), nullptr);
    EXPECT_EQ(platform::captures().openCamera(-1), nullptr);
}

TEST_F(SimBackends, AnUnpluggedCameraStaysDeadForItsCapture)
{
    auto cap = platform::captures().openCamera(0);
    ASSERT_NE(cap, nullptr);
    advance(100);
    EXPECT_TRUE(cap->grab());
    ASSERT_TRUE(scopesim::plug("Integrated Camera", false));
    EXPECT_FALSE(cap->grab());
    cv::Mat m;
    EXPECT_FALSE(cap->retrieve(m));
    EXPECT_TRUE(m.empty());
    EXPECT_TRUE(cap->query().empty());
    ASSERT_TRUE(scopesim::plug("Integrated Camera", true));
    EXPECT_FALSE(cap->grab()) << "a re-plugged device is a new device";
    auto again = platform::captures().openCamera(0);
    ASSERT_NE(again, nullptr);
    advance(100);
    EXPECT_TRUE(again->grab());
    // Frames that stop: grabs fail on an open capture, nothing else changes.
    ASSERT_TRUE(scopesim::setFrames("Integrated Camera", false));
    advance(100);
    EXPECT_FALSE(again->grab());
}

TEST_F(SimBackends, UsbScanComposesIdsForEveryRigDevice)
{
    auto usb = platform::usbScan().scan();
    ASSERT_EQ(usb.size(), 5u);
    // The hub has one interface; the cameras are composite (VideoControl and streaming).
    EXPECT_EQ(usb[0].compatibleIds[0], "USB\\Class_09&SubClass_00&Prot_01");
    EXPECT_EQ(usb[1].compatibleIds.front(), "USB\\DevClass_EF&SubClass_02&Prot_01");
    EXPECT_EQ(usb[1].compatibleIds.back(), "USB\\COMPOSITE");
    EXPECT_EQ(usb[2].hardwareIds[1], "USB\\VID_1B3F&PID_2247");
    EXPECT_EQ(usb[3].hardwareIds[0], "USB\\VID_05E3&PID_0510&REV_0100");
    // The EM28xx grabber: class 0, one vendor-specific interface.
    EXPECT_EQ(usb[4].compatibleIds[0], "USB\\Class_FF&SubClass_00&Prot_00");
}

TEST_F(SimBackends, RegistryAndEm28xxReachTheRig)
{
    EXPECT_EQ(platform::registry().readString("Software\\USB2800\\TwainDS", "RealDSName"),
              "Pellar USB 2861 Video");
    auto list = platform::videoInputs().enumerate();
    EXPECT_EQ(platform::em28xx().open(list[0]), nullptr);
    auto em = platform::em28xx().open(list[3]);
    ASSERT_NE(em, nullptr);
    uint8_t v = 0;
    platform::Em28xxRegisterRequest rq{0x09u << 8 | 1u, 1, &v};
    ASSERT_EQ(em->setProperty(platform::kEmPropRegSelect, &rq), 0);
    ASSERT_EQ(em->getProperty(platform::kEmPropRegData, &v), 0);
    EXPECT_EQ(v & 0x04, 0x04);
    uint8_t byte = 0x20;
    platform::Em28xxI2cRequest i2c{0x01000000u | 0xB8u << 16 | 7u << 8 | 1u, &byte, 1};
    ASSERT_EQ(em->setProperty(platform::kEmPropI2cSelect, &i2c), 0);
    ASSERT_EQ(em->setProperty(platform::kEmPropI2cData, &byte), 0);
    EXPECT_EQ(scopesim::em28xxI2c("Pellar USB 2861 Video", 0xB8, 7), 0x20);
}

TEST_F(SimBackends, LinuxBackendsComeBackOnRequest)
{
    platform::useLinuxBackends();
    EXPECT_EQ(platform::backend(), platform::Backend::Linux);
    EXPECT_FALSE(platform::registry().readString("Software\\USB2800\\TwainDS", "RealDSName"));
}
