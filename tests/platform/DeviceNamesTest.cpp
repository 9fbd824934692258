#include "platform/DeviceNames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace vexal::platform;

TEST(DeviceNames, OnlyPrefixAndDigitsFromOneNameAPort) {
    EXPECT_EQ(ParsePortNumber("COM1", "COM"), 1u);
    EXPECT_EQ(ParsePortNumber("COM40", "COM"), 40u);
    EXPECT_EQ(ParsePortNumber("LPT2", "LPT"), 2u);
    for (const char* bad : {"COM", "COM0", "com1", "COM1/../x", "COM 1", "COM-1", "COM1:", "LPT1", "COM99999999999"})
        EXPECT_FALSE(ParsePortNumber(bad, "COM")) << bad;
}

TEST(DeviceNames, APathNamesItsOwnDeviceAndNoNameOfTheDirectoryIsOne) {
    EXPECT_EQ(DevicePathOf(u"/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathOf(u"/dev/serial/by-id/usb-Caf\u00e9-if00"), "/dev/serial/by-id/usb-Caf\xc3\xa9-if00");
    for (const char16_t* psz : {u"COM1", u"LPT1", u"ttyUSB0", u"./ttyS0", u"", u"\\\\.\\COM3", u" /dev/ttyS0"})
        EXPECT_FALSE(DevicePathOf(psz));
    EXPECT_FALSE(DevicePathOf(std::u16string_view(u"/dev/ttyS0\0/x", 13))) << "a NUL would cut the path";
}

TEST(DeviceNames, LinksListResolveAndFallBack) {
    fs::path dir = fs::temp_directory_path() / ("vexal-devnames-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "tty-target").put('x');
    fs::create_symlink(dir / "tty-target", dir / "COM7");
    fs::create_symlink(dir / "tty-target", dir / "COM1");
    fs::create_symlink(dir / "missing", dir / "COM3");
    fs::create_symlink(dir / "tty-target", dir / "COMX");
    setenv("VEXAL_DEVICE_DIR", dir.c_str(), 1);

    auto links = ListPortLinks("COM");
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].strName, "COM1");
    EXPECT_EQ(links[2].strName, "COM7");
    EXPECT_EQ(links[1].strTarget, "");  // COM3 dangles
    EXPECT_EQ(links[0].strProvider, "");
    EXPECT_EQ(HighestComNumber(), 7u);

    EXPECT_EQ(ResolvePortName("COM7", "COM", "/dev/ttyS"), fs::canonical(dir / "tty-target").string());
    EXPECT_FALSE(ResolvePortName("COM3", "COM", "/dev/ttyS"));             // dangling link fails
    EXPECT_EQ(ResolvePortName("COM5", "COM", "/dev/ttyS"), "/dev/ttyS4");  // no link
    EXPECT_FALSE(ResolvePortName("COM1/../x", "COM", "/dev/ttyS"));

    // A Bluetooth serial port: an rfcomm device anywhere on the link chain.
    fs::create_symlink(dir / "tty-target", dir / "rfcomm0");
    fs::create_symlink("rfcomm0", dir / "COM9");
    EXPECT_EQ(PortProvider("COM9", "COM"), "rfcomm");
    EXPECT_EQ(ListPortLinks("COM").back().strProvider, "rfcomm");
    EXPECT_EQ(PortProvider("COM7", "COM"), "");
    // A device path is judged by its own chain, wherever it lies.
    EXPECT_EQ(PortProvider((dir / "rfcomm0").string(), "COM"), "rfcomm");
    EXPECT_EQ(PortProvider((dir / "COM9").string(), "COM"), "rfcomm");
    EXPECT_EQ(PortProvider((dir / "tty-target").string(), "COM"), "");
    EXPECT_EQ(AsciiPortName(u"COM9"), "COM9");
    EXPECT_FALSE(AsciiPortName(u"COM\u00e99"));

    fs::remove_all(dir);
    EXPECT_EQ(HighestComNumber(), 0u);
    unsetenv("VEXAL_DEVICE_DIR");
}
