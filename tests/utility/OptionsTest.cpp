// The command line and the pure helpers behind the main window's texts.
#include "utility/qt/LumaroApp.h"
#include "utility/qt/UtilityOptions.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vexal::utility;

static SParseResult Parse(QStringList args) {
    args.prepend("Vexal_Configuration_Utility");
    return ParseUtilityOptions(args);
}

TEST(OptionsTest, GoodValuesAreTakenAndDefaultsStay) {
    const SParseResult none = Parse({});
    ASSERT_EQ(none.eOutcome, EParseOutcome::Run);
    EXPECT_EQ(none.options.nInterface, 16);
    EXPECT_FALSE(none.options.address || none.options.nTcpPort || none.options.nSerial || none.options.bConnect);

    const SParseResult r = Parse(
        {"--interface", "Ethernet", "--address", "10.0.0.5", "--tcp-port", "9200", "--serial", "COM7", "--connect"});
    ASSERT_EQ(r.eOutcome, EParseOutcome::Run) << r.strText.toStdString();
    EXPECT_EQ(r.options.nInterface, 2);
    EXPECT_EQ(r.options.address, (Ipv4Octets{10, 0, 0, 5}));
    EXPECT_EQ(r.options.nTcpPort, 9200);
    EXPECT_EQ(r.options.nSerial, 7u);
    EXPECT_TRUE(r.options.bConnect);
    EXPECT_EQ(Parse({"--interface=bluetooth"}).options.nInterface, 4);
    EXPECT_EQ(Parse({"--interface", "usb"}).options.nInterface, 16);

    EXPECT_EQ(Parse({"--help"}).eOutcome, EParseOutcome::Help);
    EXPECT_TRUE(Parse({"--help"}).strText.contains("--tcp-port"));
    EXPECT_FALSE(Parse({"--help"}).strText.contains("<executable_name>"));
    EXPECT_EQ(Parse({"--version"}).eOutcome, EParseOutcome::Version);
}

TEST(OptionsTest, BadValuesAreErrorsNamingTheOption) {
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{"--interface", "serial"}, "--interface"},
        {{"--address", "10.0.0"}, "--address"},
        {{"--address", "10.0.0.256"}, "--address"},
        {{"--address", "10..0.1"}, "--address"},
        {{"--address", "0x0a.0.0.1"}, "--address"},
        {{"--tcp-port", "0"}, "--tcp-port"},
        {{"--tcp-port", "65536"}, "--tcp-port"},
        {{"--tcp-port", "91x"}, "--tcp-port"},
        {{"--serial", "COM0"}, "--serial"},
        {{"--serial", "/dev/ttyS0"}, "--serial"},
        {{"--serial", "com3"}, "--serial"},
        {{"--bogus"}, "bogus"},
        {{"stray"}, "stray"},
    };
    for (const auto& [args, strNamed] : cases) {
        const SParseResult r = Parse(args);
        EXPECT_EQ(r.eOutcome, EParseOutcome::Error) << args.join(' ').toStdString();
        EXPECT_TRUE(r.strText.contains(strNamed)) << r.strText.toStdString();
    }
}

TEST(OptionsTest, SerialListPortTextModelLabelAndLogFolder) {
    const std::vector<std::u16string> none = SerialPortEntries(0);
    ASSERT_EQ(none.size(), 40u);
    EXPECT_EQ(none.front(), u"COM1:");
    EXPECT_EQ(none.back(), u"COM40:");
    EXPECT_EQ(SerialPortEntries(7),
              (std::vector<std::u16string>{u"COM1:", u"COM2:", u"COM3:", u"COM4:", u"COM5:", u"COM6:", u"COM7:"}));

    EXPECT_EQ(BuildPortText(16, {192, 168, 0, 17}, 9100, u"COM3:"), u"");
    EXPECT_EQ(BuildPortText(4, {192, 168, 0, 17}, 9100, u"COM3:"), u"COM3");
    EXPECT_EQ(BuildPortText(2, {10, 0, 0, 5}, 9100, u"COM3:"), u"10.0.0.5:9100");

    EXPECT_EQ(ModelLabelText(u"_VX-H400"), u"VX-H400");
    EXPECT_EQ(ModelLabelText(u"X"), u"");
    EXPECT_EQ(ModelLabelText(u""), u"");

    EXPECT_EQ(DefaultLogDirectory("/run/state", "/home/ann"), "/run/state/vexal");
    EXPECT_EQ(DefaultLogDirectory("", "/home/ann"), "/home/ann/.local/state/vexal");
    EXPECT_EQ(DefaultLogDirectory("relative/dir", "/home/ann"), "/home/ann/.local/state/vexal");
}

TEST(OptionsTest, LogFolderIsSetOnlyWhenUnset) {
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    qunsetenv("VEXAL_LOG_DIR");
    CLumaroApp::PrepareLogDirectory();
    EXPECT_EQ(qEnvironmentVariable("VEXAL_LOG_DIR"), state.path() + "/vexal");
    EXPECT_TRUE(QDir(state.path() + "/vexal").exists());
    qputenv("VEXAL_LOG_DIR", "/somewhere/else");
    CLumaroApp::PrepareLogDirectory();
    EXPECT_EQ(qEnvironmentVariable("VEXAL_LOG_DIR"), "/somewhere/else");
    qunsetenv("VEXAL_LOG_DIR");
    qunsetenv("XDG_STATE_HOME");
}
