// The tool's pure parts: connection options and hosts files as the tool and
// Python take them (client/Targets), the Prometheus target list. (Address
// ranges: tests/client. The settings, their rules, backups and plans are
// the model's: tests/model.)
#include "client/Targets.h"
#include "tools/PrometheusTargets.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace vexal::client;
using vexal::tools::PrometheusFileSd;

TEST(ToolTargets, ConnectionsAndHostsFiles) {
    std::string e;
    EXPECT_EQ(ParseEthernet("192.168.0.17", e)->strPortText, "192.168.0.17:9100");
    EXPECT_EQ(ParseEthernet("10.0.0.1:9101", e)->strPortText, "10.0.0.1:9101");
    EXPECT_FALSE(ParseEthernet("10.0.0.1:0", e));
    EXPECT_FALSE(ParseEthernet("hub.local", e));
    auto serial = ParseSerial("COM3", e);
    EXPECT_EQ(serial->nInterface, 4);
    EXPECT_EQ(serial->strPortText, "COM3");
    // A device path goes down as it stands, in the place of COM<n>.
    serial = ParseSerial("/dev/ttyUSB0:115200:8:0:0:0", e);
    EXPECT_EQ(serial->nInterface, 32);
    EXPECT_EQ(serial->strPortText, "/dev/ttyUSB0:115200:8:0:0:0");
    EXPECT_EQ(serial->strLabel, "/dev/ttyUSB0");
    EXPECT_FALSE(ParseSerial("/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", e));
    EXPECT_NE(e.find("link without ':'"), std::string::npos) << e;
    EXPECT_FALSE(ParseSerial("COM3:115200:8", e));
    EXPECT_FALSE(ParseSerial("COM3:0", e));
    EXPECT_FALSE(ParseSerial("COM3:0:8:0:0:0", e)) << "baud 0 in either form";
    EXPECT_FALSE(ParseSerial("ttyS0", e));
    EXPECT_FALSE(ParseSerial("", e));

    auto hosts = ParseHostsText("# store hubs\n10.0.0.1\n\n  10.0.0.2:9101  # till 2\n", "hubs.txt", e);
    ASSERT_TRUE(hosts) << e;
    EXPECT_EQ(*hosts, (std::vector<std::string>{"10.0.0.1", "10.0.0.2:9101"}));
    EXPECT_FALSE(ParseHostsText("10.0.0.1\n10.0.0.2 10.0.0.3\n", "hubs.txt", e));
    EXPECT_EQ(e, "hubs.txt:2: '10.0.0.2 10.0.0.3' is not an address ADDR[:PORT]");
    EXPECT_FALSE(ParseHostsText("# nothing\n", "hubs.txt", e));
}

TEST(ToolPrometheus, HubsGroupedByModelInScanOrderWithoutWhatIsNoHub) {
    using vexal::client::SFoundHub;
    const std::vector<SFoundHub> hubs = {
        {"10.0.0.9", true, "VX-H400_VXL", "2.10.3", ""},         {"10.0.0.3", true, "VX-H410_HMX-T302", "1.0", ""},
        {"10.0.0.4", false, "", "", "open 10.0.0.4:9101: 1006"},  // a printer on the port
        {"10.0.0.5", true, "VX-H400_VXL", "2.11.0", ""},         {"10.0.0.6", true, "Bad\xff\xfeName", "1.0", ""},
    };
    const auto list = nlohmann::json::parse(PrometheusFileSd(hubs, 9101));
    EXPECT_EQ(list, nlohmann::json::parse(R"([
        {"targets": ["10.0.0.6:9101"], "labels": {"model": "Bad\ufffd\ufffdName"}},
        {"targets": ["10.0.0.9:9101", "10.0.0.5:9101"], "labels": {"model": "VX-H400_VXL"}},
        {"targets": ["10.0.0.3:9101"], "labels": {"model": "VX-H410_HMX-T302"}}])"));
    // Nothing found is an empty list, so that Prometheus drops the old targets.
    EXPECT_EQ(PrometheusFileSd({}, 9100), "[]\n");
    EXPECT_EQ(PrometheusFileSd({hubs[2]}, 9100), "[]\n");
}
