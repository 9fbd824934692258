// The interface list behind the default range of a search for hubs. Only
// read: nothing is sent on any network.
#include "platform/NetInterfaces.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vexal::platform;

TEST(NetInterfaces, LoopbackIsListedWithItsAddressPrefixAndFlags) {
    const auto list = ListIpv4Interfaces();
    const auto it =
        std::find_if(list.begin(), list.end(), [](const SIpv4Interface& i) { return i.dwAddress == 0x7F000001u; });
    ASSERT_NE(it, list.end()) << "127.0.0.1 not listed among " << list.size() << " addresses";
    EXPECT_TRUE(it->bLoopback);
    EXPECT_TRUE(it->bUp);
    EXPECT_EQ(it->nPrefix, 8);
    EXPECT_FALSE(it->strName.empty());
    for (const auto& i : list) EXPECT_TRUE(i.nPrefix >= 0 && i.nPrefix <= 32) << i.strName;
}
