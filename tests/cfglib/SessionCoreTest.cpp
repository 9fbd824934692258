// The session object itself, beside the stand-in port library, for what no
// export reaches: the GS I query of the session's own device while the poll
// thread watches that device's queue.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
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

// A client whose data callback hands a query about the same device to its
// own worker thread and waits for the answer (as a UI that marshals calls
// does). The poll thread must not hold the device's read lock meanwhile.
vexal::cfg::CZamoConfigurationCtrl* g_pAskingSession = nullptr;
std::thread g_worker;
std::atomic<int> g_nWorkerResult{-1};  // -1 not yet asked, -2 no answer in time
void OnDataAsksTheDevice(const char16_t*) {
    if (g_worker.joinable()) return;  // one question is enough
    auto pDone = std::make_shared<std::promise<int32_t>>();
    std::future<int32_t> done = pDone->get_future();
    g_worker = std::thread([pDone] {
        std::u16string strValue;
        pDone->set_value(g_pAskingSession->getDeviceInfoByGSI(0x43, strValue));
    });
    g_nWorkerResult = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready ? done.get() : -2;
}

TEST(SessionCoreTest, DataCallbackRunsWithoutTheDeviceReadLockHeld) {
    FakePort_Reset();
    const std::vector<uint8_t> name = {0x50, 0x00, 'H', '_', 'V', 'X', 'L', 0x00};
    FakePort_SetReply(0x50, name.data(), static_cast<uint32_t>(name.size()), 0);
    FakePort_SetPresent(10, 1);
    const std::vector<uint8_t> deviceName = {'P', 'r', 'i', 'n', 't', 'e', 'r', 0x00};
    FakePort_SetDeviceReply(10, 0x1D, deviceName.data(), static_cast<uint32_t>(deviceName.size()), 0);

    vexal::cfg::CZamoConfigurationCtrl session;
    ASSERT_EQ(session.selectInterface(2, u"192.168.0.10"), 0);
    ASSERT_EQ(session.openServiceById(10), 10);
    g_pAskingSession = &session;
    session.setDataEvent(&OnDataAsksTheDevice);
    const uint8_t data[3] = {'a', 'b', 'c'};
    FakePort_Enqueue(10, data, sizeof data);

    const auto t0 = std::chrono::steady_clock::now();
    while (g_nWorkerResult.load() == -1 && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(g_nWorkerResult.load(), 0) << "-2: the query waited on the poll thread's callback";
    if (g_worker.joinable()) g_worker.join();
    session.setDataEvent(nullptr);
    EXPECT_EQ(session.closeService(0), 0);
}

}  // namespace
