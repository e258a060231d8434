#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace scopesim;

namespace
{

std::string slurp(const std::filesystem::path& p)
{
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string errorOf(const std::string& text)
{
    ParseResult r = parseScenario(text, "f.txt");
    EXPECT_FALSE(r.ok) << text;
    EXPECT_TRUE(r.scenario.devices.empty());
    return r.error;
}

} // namespace

TEST(ScenarioParser, ReadsEveryKindOfLineWithItsOptions)
{
    ParseResult r = parseScenario(
        "# a desk\n"
        "\n"
        "camera \"Cam one\" vid 04fc pid 6333 rev 0102 class 00/00/00 size 800x800,640x480 "
        "fps 25 scene pipe description \"usb-1.2\"   # trailing comment\n"
        "scope \"Scope\" tube out eeprom data/e.bin absent 5,3 unplugged\n"
        "em28xx \"Pellar X\" size 720x576\n"
        "usb vid 1D6B pid 0002 class 09/00/01 interfaces 3 interface 09/00/02\n"
        "registry \"Pellar X\"\n"
        "at 2000 plug \"Scope\"\n"
        "at 100 tube \"Scope\" in\n"
        "at 300 button \"Scope\" led-down\n"
        "at 400 button \"Pellar X\" record 750\n"
        "at 500 stall \"Cam one\" 1200\n"
        "at 600 frames \"Cam one\" off\n"
        "at 700 unplug \"Pellar X\"\n",
        "desk.txt", "/base");
    ASSERT_TRUE(r.ok) << r.error;
    const Scenario& s = r.scenario;
    ASSERT_EQ(s.devices.size(), 4u);

    const DeviceSpec& cam = s.devices[0];
    EXPECT_EQ(cam.kind, SpecKind::Camera);
    EXPECT_EQ(cam.name, "Cam one");
    EXPECT_EQ(cam.vid, 0x04FC);
    EXPECT_EQ(cam.pid, 0x6333);
    EXPECT_EQ(cam.rev, 0x0102);
    EXPECT_EQ(cam.deviceClass, 0);
    EXPECT_EQ(cam.sizes, (std::vector<FrameSize>{{800, 800}, {640, 480}}));
    EXPECT_EQ(cam.fps, 25);
    EXPECT_EQ(cam.scene, Scene::Pipe);
    EXPECT_EQ(cam.description, "usb-1.2");
    EXPECT_EQ(cam.line, 3);

    const DeviceSpec& scope = s.devices[1];
    EXPECT_EQ(scope.kind, SpecKind::Scope);
    EXPECT_EQ(scope.vid, 0x05E3);
    EXPECT_EQ(scope.pid, 0x0510);
    EXPECT_FALSE(scope.tubeIn);
    EXPECT_FALSE(scope.plugged);
    EXPECT_EQ(scope.eepromFile, "/base/data/e.bin");
    EXPECT_EQ(scope.absentControls, (std::vector<int>{5, 3}));

    EXPECT_EQ(s.devices[2].kind, SpecKind::Em28xx);
    EXPECT_EQ(s.devices[2].sizes.front(), (FrameSize{720, 576}));
    EXPECT_EQ(s.devices[3].kind, SpecKind::Usb);
    EXPECT_EQ(s.devices[3].deviceClass, 0x09);
    EXPECT_EQ(s.devices[3].protocol, 0x01);
    EXPECT_EQ(s.devices[3].interfaces, 3);
    EXPECT_EQ(s.devices[3].interfaceClass, (std::array<uint8_t, 3>{0x09, 0x00, 0x02}));
    EXPECT_FALSE(s.devices[0].interfaceClass) << "only plain devices are given one";
    EXPECT_EQ(s.registryName, "Pellar X");

    ASSERT_EQ(s.events.size(), 7u);
    EXPECT_EQ(s.events[0].kind, EventKind::Plug);
    EXPECT_EQ(s.events[0].atMs, 2000u);
    EXPECT_TRUE(s.events[1].on);
    EXPECT_EQ(s.events[2].button, ButtonKind::LedDown);
    EXPECT_EQ(s.events[2].ms, 200u); // default hold
    EXPECT_EQ(s.events[3].button, ButtonKind::Record);
    EXPECT_EQ(s.events[3].ms, 750u);
    EXPECT_EQ(s.events[4].kind, EventKind::Stall);
    EXPECT_EQ(s.events[4].ms, 1200u);
    EXPECT_FALSE(s.events[5].on);
    EXPECT_EQ(s.events[6].kind, EventKind::Unplug);
}

TEST(ScenarioParser, BusAndFormatsOfAVideoInput)
{
    auto r = scopesim::parseScenario("camera \"A\" bus 3 formats mjpeg\n"
                                     "scope \"S\" bus 3\n"
                                     "em28xx \"E\" formats yuyv\n",
                                     "f.txt");
    ASSERT_TRUE(r.ok) << r.error;
    const auto& d = r.scenario.devices;
    EXPECT_EQ(d[0].bus, 3);
    EXPECT_FALSE(d[0].yuyv);
    EXPECT_TRUE(d[0].mjpeg);
    EXPECT_EQ(d[1].bus, 3);
    EXPECT_TRUE(d[1].yuyv && d[1].mjpeg) << "both by default";
    EXPECT_EQ(d[2].bus, 0) << "a bus of its own";
    EXPECT_TRUE(d[2].yuyv);
    EXPECT_FALSE(d[2].mjpeg);
}

TEST(ScenarioParser, DefaultsFollowTheDeviceKind)
{
    ParseResult r = parseScenario("camera \"A\"\nscope \"B\"\nem28xx \"C\"\n", "x");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.scenario.devices[0].scene, Scene::Gradient);
    EXPECT_EQ(r.scenario.devices[0].sizes.front(), (FrameSize{640, 480}));
    EXPECT_TRUE(r.scenario.devices[1].tubeIn);
    EXPECT_TRUE(r.scenario.devices[1].plugged);
    EXPECT_EQ(r.scenario.devices[1].sizes, (std::vector<FrameSize>{{640, 480}}));
    EXPECT_EQ(r.scenario.devices[2].deviceClass, 0);
    EXPECT_FALSE(r.scenario.registryName);
}

TEST(ScenarioParser, ShippedScenariosParse)
{
    const std::filesystem::path dir = std::filesystem::path(ORVEX_SOURCE_DIR) / "sim" / "scenarios";
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        ParseResult r = parseScenario(slurp(e.path()), e.path().string(), dir.string());
        EXPECT_TRUE(r.ok) << r.error;
        ++files;
    }
    EXPECT_GE(files, 4);
}

TEST(ScenarioParser, TheDeskHasTheSquareCameraBetweenWebcamAndScope)
{
    auto path = std::filesystem::path(ORVEX_SOURCE_DIR) / "sim" / "scenarios" / "desk.txt";
    ParseResult r = parseScenario(slurp(path), "desk.txt");
    ASSERT_TRUE(r.ok) << r.error;
    std::vector<std::string> video;
    for (const auto& d : r.scenario.devices)
        if (d.kind != SpecKind::Usb)
            video.push_back(d.name);
    ASSERT_EQ(video.size(), 3u);
    EXPECT_EQ(video[0], "Integrated Camera");
    EXPECT_NE(video[1].find("Q3400 39HD"), std::string::npos);
    EXPECT_EQ(r.scenario.devices.back().kind, SpecKind::Scope);
}

TEST(ScenarioParser, BadLinesNameFileLineAndProblem)
{
    EXPECT_EQ(errorOf("camera \"A\"\ncamera \"B\" colour red\n"),
              "f.txt:2: unknown word 'colour' in a camera line");
    EXPECT_EQ(errorOf("camera \"A\" vid 12G4 pid 0001\n"),
              "f.txt:1: bad hex number '12G4' after 'vid' (expected HHHH)");
    EXPECT_EQ(errorOf("usb vid 12345 pid 1\n"),
              "f.txt:1: bad hex number '12345' after 'vid' (expected HHHH)");
    EXPECT_EQ(errorOf("camera \"A\"\n\nscope \"A\"\n"),
              "f.txt:3: duplicate name \"A\" (first on line 1)");
    EXPECT_EQ(errorOf("camera \"A\n"), "f.txt:1: missing closing quote");
    EXPECT_EQ(errorOf("camera A\n"), "f.txt:1: 'camera' needs a quoted name, not 'A'");
    EXPECT_EQ(errorOf("camera \"\"\n"), "f.txt:1: empty name");
    EXPECT_EQ(errorOf("camera \"A\" size 640\n"),
              "f.txt:1: bad size '640' (expected WxH, even numbers from 16 to 8192)");
    EXPECT_EQ(errorOf("camera \"A\" fps 0\n"), "f.txt:1: bad frame rate '0' (expected 1..240)");
    EXPECT_EQ(errorOf("camera \"A\" fps\n"), "f.txt:1: 'fps' needs a value");
    EXPECT_EQ(errorOf("camera \"A\" vid 0001\n"), "f.txt:1: vid and pid go together");
    EXPECT_EQ(errorOf("usb vid 0001\n"), "f.txt:1: a usb line needs vid and pid");
    EXPECT_EQ(errorOf("usb vid 1 pid 2 class 9/0\n"),
              "f.txt:1: bad class '9/0' (expected CC/SS/PP in hex)");
    EXPECT_EQ(errorOf("usb vid 1 pid 2 interface 03/01/2G\n"),
              "f.txt:1: bad interface '03/01/2G' (expected CC/SS/PP in hex)");
    EXPECT_EQ(errorOf("camera \"A\" interface 03/01/02\n"),
              "f.txt:1: unknown word 'interface' in a camera line");
    EXPECT_EQ(errorOf("scope \"S\" tube half\n"),
              "f.txt:1: bad tube state 'half' (expected in or out)");
    EXPECT_EQ(errorOf("scope \"S\" absent 6\n"),
              "f.txt:1: bad control '6' after 'absent' (expected 1..5)");
    EXPECT_EQ(errorOf("camera \"A\" bus 0\n"), "f.txt:1: bad bus '0' (expected 1..127)");
    EXPECT_EQ(errorOf("scope \"S\" bus 128\n"), "f.txt:1: bad bus '128' (expected 1..127)");
    EXPECT_EQ(errorOf("camera \"A\" formats h264\n"),
              "f.txt:1: bad formats 'h264' (expected yuyv, mjpeg or yuyv,mjpeg)");
    EXPECT_EQ(errorOf("camera \"A\" formats yuyv,\n"),
              "f.txt:1: bad formats 'yuyv,' (expected yuyv, mjpeg or yuyv,mjpeg)");
    EXPECT_EQ(errorOf("usb vid 1 pid 2 bus 1\n"), "f.txt:1: unknown word 'bus' in a usb line");
    EXPECT_EQ(errorOf("camera \"A\" scene fog\n"),
              "f.txt:1: unknown scene 'fog' (expected pipe, gradient, black, chart or still)");
    EXPECT_EQ(errorOf("scope \"S\" scene chart\n"),
              "f.txt:1: unknown scope scene 'chart' (expected pipe or still)");
    EXPECT_EQ(errorOf("scope \"S\" vid 0001 pid 0002\n"),
              "f.txt:1: unknown word 'vid' in a scope line");
    EXPECT_EQ(errorOf("webcam \"A\"\n"), "f.txt:1: unknown word 'webcam'");
    EXPECT_EQ(errorOf("camera x\"A\"\n"), "f.txt:1: stray quote inside 'x'");
    EXPECT_EQ(errorOf("camera \"A\"x\n"), "f.txt:1: a quoted word must be followed by a blank");
    EXPECT_EQ(errorOf("registry \"A\"\nregistry \"B\"\n"),
              "f.txt:2: a second registry line (first on line 1)");
}

TEST(ScenarioParser, BadEventsAreRefused)
{
    EXPECT_EQ(errorOf("at 10 plug \"Nobody\"\n"),
              "f.txt:1: no device named \"Nobody\" above this line");
    EXPECT_EQ(errorOf("camera \"C\"\nat 10 tube \"C\" out\n"),
              "f.txt:2: 'tube' does not apply to the camera \"C\"");
    EXPECT_EQ(errorOf("em28xx \"E\"\nat 10 button \"E\" led-up\n"),
              "f.txt:2: 'button' does not apply to the em28xx \"E\"");
    EXPECT_EQ(errorOf("camera \"C\"\nat soon plug \"C\"\n"),
              "f.txt:2: bad time 'soon' after 'at' (expected milliseconds)");
    EXPECT_EQ(errorOf("camera \"C\"\nat -5 plug \"C\"\n"),
              "f.txt:2: bad time '-5' after 'at' (expected milliseconds)");
    EXPECT_EQ(errorOf("scope \"S\"\nat 1 button \"S\" zoom\n"),
              "f.txt:2: unknown button 'zoom' (expected snapshot, record, led-up or led-down)");
    EXPECT_EQ(errorOf("scope \"S\"\nat 1 stall \"S\"\n"), "f.txt:2: 'stall \"S\"' needs a value");
    EXPECT_EQ(errorOf("scope \"S\"\nat 1 frames \"S\" maybe\n"),
              "f.txt:2: bad frames state 'maybe' (expected on or off)");
    EXPECT_EQ(errorOf("scope \"S\"\nat 1 plug \"S\" now\n"),
              "f.txt:2: unexpected 'now' after the event");
    EXPECT_EQ(errorOf("scope \"S\"\nat 1 explode \"S\"\n"), "f.txt:2: unknown event 'explode'");
    // An event may only name a device declared above it.
    EXPECT_EQ(errorOf("at 1 plug \"S\"\nscope \"S\"\n"),
              "f.txt:1: no device named \"S\" above this line");
}

TEST(ScenarioParser, CommandLinesAreEventsWithoutTime)
{
    EventResult e = parseEventLine("button \"X\" snapshot 300");
    ASSERT_TRUE(e.ok) << e.error;
    EXPECT_EQ(e.event.kind, EventKind::Button);
    EXPECT_EQ(e.event.name, "X");
    EXPECT_EQ(e.event.ms, 300u);
    EXPECT_TRUE(parseEventLine("tube \"X\" out").ok);
    EXPECT_FALSE(parseEventLine("at 5 tube \"X\" out").ok);
    EXPECT_FALSE(parseEventLine("").ok);
    EXPECT_EQ(parseEventLine("tube \"X\"").error, "'tube \"X\"' needs a value");
}
