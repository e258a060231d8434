// The USB device scan on a fake tree, and the Windows-form ids it composes.
#include "fake_system.h"

using namespace platformtest;

using Ids = std::vector<std::string>;

TEST(UsbIds, HardwareIdsCarryVendorProductAndRevision)
{
    platform::UsbDevice d;
    d.vid = 0x0BDA;
    d.pid = 0x0169;
    d.rev = 0x0100;
    platform::composeUsbIds(d);
    EXPECT_EQ(d.hardwareIds, (Ids{"USB\\VID_0BDA&PID_0169&REV_0100", "USB\\VID_0BDA&PID_0169"}));
}

// The devices a bridge is commonly found behind or beside, on a fake tree; each composes its
// compatible ids as Windows does.
class UsbTestVectors : public ::testing::Test
{
protected:
    UsbTestVectors()
    {
        t.usbDevice("usb1", "1d6b", "0002", "0601", "09", "00", "01", 1, "09/00/00");
        t.usbDevice("1-1", "046d", "c077", "7200", "00", "00", "00", 1, "03/01/02");   // mouse
        t.usbDevice("1-2", "05e3", "0608", "8537", "09", "00", "01", 1, "09/00/00");   // hub
        t.usbDevice("1-2.1", "0781", "5567", "0126", "00", "00", "00", 1, "08/06/50"); // stick
        t.usbDevice("1-2.3", "046d", "0825", "0012", "ef", "02", "01", 4, "0e/01/00"); // webcam
        t.usbDevice("1-3", "04fc", "6333", "0100", "00", "00", "00", 2, "0e/01/00");   // bridge
    }
    const platform::UsbDevice& at(const std::vector<platform::UsbDevice>& list,
                                  const std::string& port)
    {
        for (const auto& d : list)
            if (fs::path(d.path).filename() == port)
                return d;
        ADD_FAILURE() << port << " not scanned";
        static platform::UsbDevice none;
        return none;
    }
    FakeTree t;
    FakeIoctls io;
};

TEST_F(UsbTestVectors, SingleInterfaceDevicesAreKnownByClassFromDeviceOrInterface)
{
    auto list = platform::makeLinuxUsbScan(context(t, io))->scan();
    ASSERT_EQ(list.size(), 6u);
    // Class 0 with one interface: the interface's class, in the Class_ form.
    EXPECT_EQ(at(list, "1-1").compatibleIds, (Ids{"USB\\Class_03&SubClass_01&Prot_02",
                                                  "USB\\Class_03&SubClass_01", "USB\\Class_03"}));
    EXPECT_EQ(at(list, "1-2.1").compatibleIds, (Ids{"USB\\Class_08&SubClass_06&Prot_50",
                                                    "USB\\Class_08&SubClass_06", "USB\\Class_08"}));
    // A class of its own on the device wins over the interface's.
    EXPECT_EQ(at(list, "1-2").compatibleIds, (Ids{"USB\\Class_09&SubClass_00&Prot_01",
                                                  "USB\\Class_09&SubClass_00", "USB\\Class_09"}));
    EXPECT_EQ(at(list, "usb1").compatibleIds.front(), "USB\\Class_09&SubClass_00&Prot_01");
}

TEST_F(UsbTestVectors, CompositeDevicesGetDeviceClassFormsAndComposite)
{
    auto list = platform::makeLinuxUsbScan(context(t, io))->scan();
    EXPECT_EQ(at(list, "1-2.3").compatibleIds,
              (Ids{"USB\\DevClass_EF&SubClass_02&Prot_01", "USB\\DevClass_EF&SubClass_02",
                   "USB\\DevClass_EF", "USB\\COMPOSITE"}));
    EXPECT_EQ(at(list, "1-3").compatibleIds,
              (Ids{"USB\\DevClass_00&SubClass_00&Prot_00", "USB\\DevClass_00&SubClass_00",
                   "USB\\DevClass_00", "USB\\COMPOSITE"}));
    EXPECT_EQ(at(list, "1-3").hardwareIds.front(), "USB\\VID_04FC&PID_6333&REV_0100");
}

TEST_F(UsbTestVectors, InterfaceOfTheActiveConfigurationIsTheOneRead)
{
    // Configuration 2 is active; its interface is a mass-storage one, configuration 1's HID.
    fs::path dev = t.usbDevice("1-4", "1234", "0001", "0100", "00", "00", "00", 1, "03/01/01");
    t.file(dev / "bConfigurationValue", "2\n");
    t.file(dev / "1-4:2.0" / "bInterfaceClass", "08\n");
    t.file(dev / "1-4:2.0" / "bInterfaceSubClass", "06\n");
    t.file(dev / "1-4:2.0" / "bInterfaceProtocol", "50\n");
    auto list = platform::makeLinuxUsbScan(context(t, io))->scan();
    EXPECT_EQ(at(list, "1-4").compatibleIds.front(), "USB\\Class_08&SubClass_06&Prot_50");
}

TEST(LinuxUsbScan, HubTreeOrderBusThenPortPath)
{
    FakeTree t;
    FakeIoctls io;
    // Created out of order; names that sort wrongly as text ("1-10" before "1-2", "10-1"
    // before "2-1") must come out by bus and port numbers.
    for (const char* port : {"2-1", "usb10", "10-1", "1-10", "1-2.10", "1-2", "usb2", "1-2.9",
                             "1-2.9.1", "usb1", "1-9"})
        t.usbDevice(port, "1234", "5678");
    auto list = platform::makeLinuxUsbScan(context(t, io))->scan();
    std::vector<std::string> order;
    for (const auto& d : list)
        order.push_back(fs::path(d.path).filename().string());
    EXPECT_EQ(order, (Ids{"usb1", "1-2", "1-2.9", "1-2.9.1", "1-2.10", "1-9", "1-10", "usb2", "2-1",
                          "usb10", "10-1"}));
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
