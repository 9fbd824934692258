// Address ranges of a search for hubs, and the default ranges taken from a
// given list of interfaces (no interface of this machine is read).
#include "client/ScanRanges.h"

#include <gtest/gtest.h>

using namespace vexal::client;
using vexal::platform::SIpv4Interface;

TEST(ScanRanges, RangesAndListsOfThem) {
    std::string e;
    EXPECT_EQ(ParseCidr("10.1.2.3/22", e)->size(), 1022u);
    EXPECT_EQ(ParseCidr("10.1.2.3/22", e)->front(), 0x0A010001u);
    EXPECT_FALSE(ParseCidr("10.1.2.3/21", e));
    EXPECT_NE(e.find("at most /22"), std::string::npos);
    EXPECT_EQ(ParseCidr("127.0.0.9/29", e)->size(), 6u);
    EXPECT_EQ(*ParseCidr("127.0.0.9/32", e), std::vector<uint32_t>{0x7F000009u});
    EXPECT_EQ(*ParseCidr("127.0.0.9", e), std::vector<uint32_t>{0x7F000009u});
    EXPECT_EQ(ParseCidr("127.0.0.8/31", e)->size(), 2u);
    EXPECT_FALSE(ParseCidr("127.0.0/24", e));
    EXPECT_FALSE(ParseCidr("127.0.0.0/", e));
    EXPECT_FALSE(ParseCidr("127.0.0.0/+24", e));
    EXPECT_EQ(e, "'127.0.0.0/+24' is not an IPv4 range ADDR/BITS");

    // Commas or blanks between ranges; an address in two ranges is searched once.
    auto all = ParseRanges(" 127.0.0.0/30,127.0.0.2\t127.0.0.4/30 ,", 100, e);
    ASSERT_TRUE(all) << e;
    EXPECT_EQ(*all, (std::vector<uint32_t>{0x7F000001u, 0x7F000002u, 0x7F000005u, 0x7F000006u}));
    EXPECT_FALSE(ParseRanges("127.0.0.0/24, 10.0.0.0/8", 4096, e));
    EXPECT_EQ(e, "/8 is too large a range (at most /22, 1024 addresses)");
    EXPECT_FALSE(ParseRanges("10.0.0.0/22 10.0.4.0/22", 2000, e));
    EXPECT_EQ(e, "more than 2000 addresses in all");
    EXPECT_FALSE(ParseRanges(" , ", 100, e));
    EXPECT_EQ(e, "no range given");
}

TEST(ScanRanges, DefaultsAreTheUpNetworksNarrowedToA22) {
    const std::vector<SIpv4Interface> interfaces = {
        {"lo", 0x7F000001u, 8, true, true},        // loopback: never
        {"eth0", 0xC0A8000Au, 24, true, false},    // 192.168.0.10/24
        {"eth1", 0x0A010203u, 8, true, false},     // 10.1.2.3/8: the /22 around it
        {"wlan0", 0xC0A80163u, 24, false, false},  // down
        {"eth2", 0xA9FE0102u, 16, true, false},    // link-local
        {"tun0", 0x0A080001u, 32, true, false},    // no other host
        {"eth0:1", 0xC0A80014u, 24, true, false},  // same network as eth0
        {"eth3", 0xAC100105u, 23, true, false},    // 172.16.1.5/23 as it is
    };
    EXPECT_EQ(DefaultScanRanges(interfaces),
              (std::vector<std::string>{"192.168.0.0/24", "10.1.0.0/22", "172.16.0.0/23"}));
    EXPECT_TRUE(DefaultScanRanges({}).empty());
}

TEST(ScanRanges, BroadcastAddressesOfThePcsOwnNetworks) {
    const std::vector<SIpv4Interface> interfaces = {
        {"lo", 0x7F000001u, 8, true, true},      // 127.255.255.255
        {"eth0", 0xC0A80A05u, 24, true, false},  // 192.168.10.255
        {"tun0", 0x0A080001u, 32, true, false},  // no broadcast address
    };
    EXPECT_TRUE(IsLocalBroadcast(0x7FFFFFFFu, interfaces));
    EXPECT_TRUE(IsLocalBroadcast(0xC0A80AFFu, interfaces));
    EXPECT_TRUE(IsLocalBroadcast(0xFFFFFFFFu, {}));
    EXPECT_FALSE(IsLocalBroadcast(0xC0A80BFFu, interfaces)) << "192.168.11.255 is a host of a /22 elsewhere";
    EXPECT_FALSE(IsLocalBroadcast(0x0A080001u, interfaces));
    EXPECT_FALSE(IsLocalBroadcast(0x0A0800FFu, interfaces));
    EXPECT_FALSE(IsLocalBroadcast(0xE0000001u, interfaces)) << "multicast is no broadcast";
}
