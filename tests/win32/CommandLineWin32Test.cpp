// The Windows program's command line: the Linux program's options and
// messages, parsed without a toolkit.
#include <gtest/gtest.h>

#include "utility/win32/CommandLine.h"

namespace vexal::utility::win32::test {
namespace {

SParsedCommandLine Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "C:\\Program Files\\Vexal\\Vexal_Configuration_Utility.exe");
    return ParseCommandLine(args, "1.0.0");
}

TEST(CommandLineWin32, OptionsValuesAndTheMessagesOfBadOnes) {
    const auto run = Parse(
        {"--interface", "Ethernet", "--address=10.0.0.5", "--tcp-port", "9101", "--serial", "COM12", "--connect"});
    ASSERT_EQ(run.eOutcome, EParsed::Run) << run.strText;
    EXPECT_EQ(run.options.nInterface, 2);
    EXPECT_EQ(run.options.address, (Ipv4Octets{10, 0, 0, 5}));
    EXPECT_EQ(run.options.nTcpPort, 9101);
    EXPECT_EQ(run.options.nSerial, 12u);
    EXPECT_TRUE(run.options.bConnect);
    EXPECT_EQ(Parse({}).options.nInterface, 16);
    EXPECT_FALSE(Parse({}).options.bConnect);

    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"--interface", "wifi"}, "Bad value for --interface: 'wifi' (usb, ethernet or bluetooth)"},
        {{"--address", "10.0.0"}, "Bad value for --address: '10.0.0' (four numbers 0-255, e.g. 192.168.0.17)"},
        {{"--address", "10.0..5"}, "Bad value for --address: '10.0..5' (four numbers 0-255, e.g. 192.168.0.17)"},
        {{"--address", "10.0.0.256"}, "Bad value for --address: '10.0.0.256' (four numbers 0-255, e.g. 192.168.0.17)"},
        {{"--tcp-port", "0"}, "Bad value for --tcp-port: '0' (1-65535)"},
        {{"--tcp-port", "+80"}, "Bad value for --tcp-port: '+80' (1-65535)"},
        {{"--tcp-port", "65536"}, "Bad value for --tcp-port: '65536' (1-65535)"},
        {{"--serial", "COM256"}, "Bad value for --serial: 'COM256' (COM1 to COM255)"},
        {{"--serial", "LPT1"}, "Bad value for --serial: 'LPT1' (COM1 to COM255)"},
        {{"--colour"}, "Unknown option 'colour'."},
        {{"--address"}, "Missing value after '--address'."},
        {{"--connect=yes"}, "Unexpected value after '--connect'."},
        {{"hub"}, "Unexpected argument: hub"},
    };
    for (const auto& [args, strMessage] : bad) {
        const auto parsed = Parse(args);
        EXPECT_EQ(parsed.eOutcome, EParsed::Error) << args.front();
        EXPECT_EQ(parsed.strText, strMessage);
    }

    const auto help = Parse({"--tcp-port", "x", "-h"});  // help wins over a bad value, as Qt's parser does
    EXPECT_EQ(help.eOutcome, EParsed::Help);
    EXPECT_EQ(help.strText.rfind("Usage: Vexal_Configuration_Utility.exe [options]\n", 0), 0u) << help.strText;
    EXPECT_NE(help.strText.find("  --tcp-port <N>"), std::string::npos);
    EXPECT_EQ(Parse({"--version"}).strText, "Vexal_Configuration_Utility 1.0.0");
}

}  // namespace
}  // namespace vexal::utility::win32::test
