// The session object itself, beside the stand-in port library, for what no
// export reaches: the GS I query of the session's own device while the poll
// thread watches that device's queue.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "cfglib/ZamoCtrl.h"
#include "fakeport/FakePort.h"

namespace {

std::atomic<int> g_nDataCalls{0};
void OnData(const char16_t*) { ++g_nDataCalls; }

TEST(SessionCoreTest, GsiReplyOfTheSessionDeviceIsNotTakenByThePollThread) {
    FakePort_Reset();
    const std::vector<uint8_t> name = {0x50, 0x00, 'H', '_', 'V', 'X', 'L', 0x00};
    FakePort_SetReply(0x50, name.data(), static_cast<uint32_t>(name.size()), 0);
    FakePort_SetPresent(10, 1);
    const std::vector<uint8_t> deviceName = {'P', 'r', 'i', 'n', 't', 'e', 'r', 0x00};

    vexal::cfg::CZamoConfigurationCtrl session;
    ASSERT_EQ(session.selectInterface(2, u"192.168.0.10"), 0);
    ASSERT_EQ(session.openServiceById(10), 10);
    session.setDataEvent(&OnData);
    for (int i = 0; i < 20; ++i) {
        // The device answers a little later each round, so that the reply
        // lands at every phase of the poll thread's 100 ms cycle.
        FakePort_SetDeviceReply(10, 0x1D, deviceName.data(), static_cast<uint32_t>(deviceName.size()),
                                static_cast<uint32_t>(40 + 17 * i));
        std::u16string strValue;
        EXPECT_EQ(session.getDeviceInfoByGSI(0x43, strValue), 0) << "round " << i;
        EXPECT_EQ(strValue, u"Printer");
    }
    EXPECT_EQ(g_nDataCalls.load(), 0);

    // The cache answers later calls without traffic.
    std::u16string strCached;
    EXPECT_EQ(session.getDeviceName(&strCached), 0);
    EXPECT_EQ(strCached, u"Printer");
    EXPECT_EQ(session.closeService(0), 0);
}

}  // namespace
