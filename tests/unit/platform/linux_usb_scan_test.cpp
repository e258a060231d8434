// The USB device scan on a fake tree, and the Windows-form ids it composes.
#include "fake_system.h"

using namespace platformtest;

TEST(UsbIds, ComposedLikeTheWindowsDeviceIds)
{
    platform::UsbDevice d;
    d.vid = 0x0BDA;
    d.pid = 0x0169;
    d.rev = 0x0100;
    d.interfaces = 2;
    platform::composeUsbIds(d);
    EXPECT_EQ(d.hardwareIds, (std::vector<std::string>{"USB\\VID_0BDA&PID_0169&REV_0100",
                                                       "USB\\VID_0BDA&PID_0169"}));
    EXPECT_EQ(d.compatibleIds, (std::vector<std::string>{"USB\\DevClass_00&SubClass_00&Prot_00",
                                                         "USB\\DevClass_00&SubClass_00",
                                                         "USB\\DevClass_00", "USB\\COMPOSITE"}));
    platform::UsbDevice hub;
    hub.deviceClass = 0x09;
    hub.protocol = 0x02;
    hub.interfaces = 1;
    platform::composeUsbIds(hub);
    EXPECT_EQ(hub.compatibleIds.front(), "USB\\DevClass_09&SubClass_00&Prot_02");
    EXPECT_EQ(hub.compatibleIds.size(), 3u);
}

TEST(LinuxUsbScan, ReadsDevicesSkipsInterfacesAndKeepsPortOrder)
{
    FakeTree t;
    FakeIoctls io;
    t.usbDevice("usb1", "1d6b", "0002", "0515", "09", "00", "01");
    t.usbDevice("1-10", "05e3", "0510", "0100", "ef", "02", "01", 2);
    t.usbDevice("1-2", "04fc", "6333", "0102", "00", "00", "00", 3);
    t.usbDevice("1-9", "0451", "8142");
    auto list = platform::makeLinuxUsbScan(context(t, io))->scan();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(fs::path(list[0].path).filename(), "1-2");
    EXPECT_EQ(fs::path(list[1].path).filename(), "1-9");
    EXPECT_EQ(fs::path(list[2].path).filename(), "1-10");
    EXPECT_EQ(fs::path(list[3].path).filename(), "usb1");
    EXPECT_EQ(list[0].hardwareIds[0], "USB\\VID_04FC&PID_6333&REV_0102");
    EXPECT_EQ(list[0].compatibleIds[0], "USB\\DevClass_00&SubClass_00&Prot_00");
    EXPECT_EQ(list[0].interfaces, 3);
    EXPECT_EQ(list[0].compatibleIds.back(), "USB\\COMPOSITE");
    EXPECT_EQ(list[2].compatibleIds[0], "USB\\DevClass_EF&SubClass_02&Prot_01");
    EXPECT_EQ(list[3].compatibleIds[0], "USB\\DevClass_09&SubClass_00&Prot_01");
}

TEST(LinuxUsbScan, DevicesWithMissingOrGarbageAttributesAreSkipped)
{
    FakeTree t;
    FakeIoctls io;
    fs::path a = t.usbDevice("1-1", "05e3", "0510");
    t.file(a / "idVendor", "0x5e3\n");
    fs::path b = t.usbDevice("1-2", "05e3", "0510");
    fs::remove(t.root() / b / "bcdDevice");
    fs::path c = t.usbDevice("1-3", "05e3", "0510");
    t.file(c / "bDeviceClass", "100\n");
    fs::path d = t.usbDevice("1-4", "05e3", "0510");
    t.file(d / "idProduct", "");
    fs::path e = t.usbDevice("1-5", "05e3", "0510");
    t.file(e / "bNumInterfaces", "lots\n"); // optional: taken as one interface
    t.file("sys/bus/usb/devices/stray", "not a folder");
    auto list = platform::makeLinuxUsbScan(context(t, io))->scan();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(fs::path(list[0].path).filename(), "1-5");
    EXPECT_EQ(list[0].interfaces, 1);
}

TEST(LinuxUsbScan, ThisMachineScansWithoutError)
{
    platform::LinuxContext real;
    for (const auto& d : platform::makeLinuxUsbScan(real)->scan()) {
        ASSERT_EQ(d.hardwareIds.size(), 2u);
        EXPECT_EQ(d.hardwareIds[0].rfind("USB\\VID_", 0), 0u);
    }
}
