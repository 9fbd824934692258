// The backend's own input without CUPS: device URIs, the job's arguments,
// the device list's lines, and a status record as CUPS states.
#include "cups/BackendArgs.h"
#include "cups/PrinterReasons.h"
#include "include/zamocfg.h"
#include "model/DeviceStatus.h"

#include <gtest/gtest.h>

namespace {

using namespace vexal::cups;

SDeviceUri Parsed(const std::string& strUri) {
    std::string strError;
    const auto uri = ParseDeviceUri(strUri, strError);
    EXPECT_TRUE(uri) << strUri << ": " << strError;
    return uri.value_or(SDeviceUri{});
}

std::string Refusal(const std::string& strUri) {
    std::string strError;
    EXPECT_FALSE(ParseDeviceUri(strUri, strError)) << strUri;
    EXPECT_FALSE(strError.empty()) << strUri;
    return strError;
}

TEST(BackendUri, NetworkHubs) {
    auto uri = Parsed("vexal://192.168.0.10/10");
    EXPECT_EQ(uri.eLink, EHubLink::Network);
    EXPECT_EQ(uri.address.nInterface, ZAMO_IF_ETHERNET);
    EXPECT_EQ(uri.address.strPortText, "192.168.0.10:9100");
    EXPECT_EQ(uri.nDevice, 10);
    uri = Parsed("vexal://10.0.0.5:9101/0x0b");
    EXPECT_EQ(uri.address.strPortText, "10.0.0.5:9101");
    EXPECT_EQ(uri.nDevice, 11);
    EXPECT_EQ(Parsed("vexal://127.0.0.1%3A9100/12").address.strPortText, "127.0.0.1:9100") << "%-escapes decoded";

    EXPECT_NE(Refusal("vexal://192.168.0.10/").find("names no device"), std::string::npos);
    EXPECT_NE(Refusal("vexal://192.168.0.10/255").find("'255'"), std::string::npos);
    Refusal("vexal://192.168.0.10/0");
    Refusal("vexal://192.168.0.10");
    Refusal("vexal:///10");
    EXPECT_NE(Refusal("vexal://hub.local/10").find("not an IPv4 address"), std::string::npos);
    EXPECT_NE(Refusal("vexal://10.0.0.5:0/10").find("not a TCP port"), std::string::npos);
    Refusal("vexal://10.0.0.5/x/10");
    Refusal("vexal://10.0.0.5/10?waitjob=false");
    Refusal("socket://10.0.0.5/10");
    Refusal("vexal://10.0.0.5/1%0");  // a cut escape
    Refusal("vexal://10.0.0.5%00/10");
    Refusal("vexal://10.0.0.5/1 0");
}

TEST(BackendUri, UsbAndSerialHubs) {
    auto uri = Parsed("vexal:/usb/10");
    EXPECT_EQ(uri.eLink, EHubLink::Usb);
    EXPECT_EQ(uri.address.nInterface, ZAMO_IF_USB);
    EXPECT_TRUE(uri.strUsbLocation.empty());
    uri = Parsed("vexal:/usb/1-4.2/12");
    EXPECT_EQ(uri.strUsbLocation, "1-4.2");
    EXPECT_EQ(uri.nDevice, 12);
    EXPECT_NE(Refusal("vexal:/usb/COM1/10").find("not a place on the USB bus"), std::string::npos);
    Refusal("vexal:/usb/1 4/10");
    Refusal("vexal:/usb/");

    uri = Parsed("vexal:/serial/COM3/10");
    EXPECT_EQ(uri.eLink, EHubLink::Serial);
    EXPECT_EQ(uri.address.nInterface, ZAMO_IF_SERIAL);
    EXPECT_EQ(uri.address.strPortText, "COM3");
    EXPECT_EQ(Parsed("vexal:/serial/COM3:115200/10").address.strPortText, "COM3:115200");
    uri = Parsed("vexal:/serial/COM3:115200:8:0:0:0/10");
    EXPECT_EQ(uri.address.nInterface, ZAMO_IF_SERIAL_EXPLICIT);
    EXPECT_EQ(Parsed("vexal:/serial/dev/ttyUSB0/10").address.strPortText, "/dev/ttyUSB0");
    EXPECT_EQ(Parsed("vexal:/serial/%2Fdev%2Fserial%2Fby-id%2Fhub/10").address.strPortText, "/dev/serial/by-id/hub");
    EXPECT_NE(Refusal("vexal:/serial/COM0/10").find("neither COM<n> nor a device path"), std::string::npos);
    Refusal("vexal:/serial/COM3:0/10");
    Refusal("vexal:/serial//10");
    Refusal("vexal:/serial/10");
    Refusal("vexal:/parallel/LPT1/10");
}

TEST(BackendUri, ListedUrisReadBack) {
    EXPECT_EQ(UsbDeviceUri(10), "vexal:/usb/10");
    EXPECT_EQ(Parsed(UsbDeviceUri(19)).nDevice, 19);
    EXPECT_EQ(SerialDeviceUri("COM5", 10), "vexal:/serial/COM5/10");
    for (const std::string strPort : {"COM5", "/dev/rfcomm0", "/dev/serial/by-id/usb-Vexal hub \"2\"%", "/COM7"}) {
        const auto uri = Parsed(SerialDeviceUri(strPort, 11));
        EXPECT_EQ(uri.address.strPortText, strPort);
        EXPECT_EQ(uri.nDevice, 11);
    }
    EXPECT_EQ(DeviceListLine("vexal:/usb/10", "Vexal \"VX\"", "a\\b", "MFG:Vexal;", "USB 1-1"),
              "direct vexal:/usb/10 \"Vexal VX\" \"ab\" \"MFG:Vexal;\" \"USB 1-1\"");
}

TEST(BackendArgs, JobArguments) {
    std::string strError;
    auto job = ParseJobArgs({"42", "anna", "receipt", "2", "", "/var/spool/cups/d00042-001"}, strError);
    ASSERT_TRUE(job) << strError;
    EXPECT_EQ(job->strJobId, "42");
    EXPECT_EQ(job->nCopies, 2);
    EXPECT_EQ(job->strFile, "/var/spool/cups/d00042-001");
    job = ParseJobArgs({"42", "anna", "receipt", "1", "raw"}, strError);
    ASSERT_TRUE(job);
    EXPECT_FALSE(job->strFile) << "five arguments: the job on standard input";
    EXPECT_FALSE(ParseJobArgs({"42", "anna", "receipt", "1"}, strError));
    EXPECT_NE(strError.find("Usage: vexal job-id user title copies options [file]"), std::string::npos);
    for (const std::string strCopies : {"0", "-1", "x", "", "2x", "10000", "99999999999"}) {
        EXPECT_FALSE(ParseJobArgs({"1", "u", "t", strCopies, ""}, strError)) << strCopies;
        EXPECT_NE(strError.find("copies"), std::string::npos);
    }
    EXPECT_FALSE(ParseJobArgs({"1", "u", "t", "1", "", ""}, strError)) << "an empty file name";
}

TEST(PrinterReasons, RecordsBecomeCupsStates) {
    using vexal::model::RecordReasons;
    const auto paperOut = RecordReasons({0x18, 0x00, 0x0F, 0x00});
    const auto ready = RecordReasons({0x10, 0x00, 0x00, 0x00});
    const auto low = RecordReasons({0x10, 0x00, 0x03, 0x00});
    const auto cover = RecordReasons({0x38, 0x00, 0x00, 0x00});
    const auto drawer = RecordReasons({0x14, 0x00, 0x00, 0x00});
    EXPECT_EQ(CupsReasons(paperOut),
              (std::set<std::string>{"media-empty-error", "media-low-report", "offline-report"}));
    EXPECT_TRUE(CupsReasons(ready).empty());
    EXPECT_EQ(CupsReasons(cover), (std::set<std::string>{"cover-open-error", "offline-report"}));
    EXPECT_EQ(CupsReasons(RecordReasons({0x18, 0x08, 0x00, 0x00})),
              (std::set<std::string>{"offline-report", "other-error"}));
    EXPECT_TRUE(CupsReasons(drawer).empty());

    EXPECT_TRUE(HoldsPrinting(paperOut));
    EXPECT_TRUE(HoldsPrinting(cover));
    EXPECT_FALSE(HoldsPrinting(low)) << "paper low still prints";
    EXPECT_FALSE(HoldsPrinting(drawer));
    EXPECT_FALSE(HoldsPrinting(ready));

    EXPECT_EQ(
        StateLines({}, CupsReasons(paperOut)),
        (std::vector<std::string>{"STATE: +media-empty-error", "STATE: +media-low-report", "STATE: +offline-report"}));
    EXPECT_EQ(StateLines(CupsReasons(paperOut), CupsReasons(low)),
              (std::vector<std::string>{"STATE: -media-empty-error", "STATE: -offline-report"}));
    EXPECT_TRUE(StateLines(CupsReasons(low), CupsReasons(low)).empty());

    EXPECT_EQ(StatusText(10, paperOut), "Printer 10: out of paper, paper low, off-line");
    EXPECT_EQ(StatusText(12, ready), "Printer 12: ready");
}

}  // namespace
