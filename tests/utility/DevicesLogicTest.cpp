// "Devices…" as its logic alone, over a watch the test drives: the status
// words, what the list shows as events come, and that the watch starts and
// stops on the library thread with nothing shown after the stop.
#include "LogicTestSupport.h"
#include "utility/logic/DevicesLogic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace vexal;
using namespace vexal::utility;
using namespace vexal::utility::test;
using namespace vexal::utility::devices_ids;
using namespace std::chrono_literals;

namespace {

// Stands in for the hub's watch; the test plays its relay thread.
class CFakeWatch final : public IDeviceWatch {
public:
    explicit CFakeWatch(CLibraryJobs& jobs) : m_jobs(jobs) {}
    bool Start(EventFn fnEvent, std::string& strError) override {
        m_bStartOnWorker = m_jobs.OnWorkerThread();
        ++m_nStarts;
        std::lock_guard lock(m_mutex);
        if (!m_strFail.empty()) {
            strError = m_strFail;
            return false;
        }
        m_fnEvent = std::move(fnEvent);
        return true;
    }
    void Stop() override {
        m_bStopOnWorker = m_jobs.OnWorkerThread();
        ++m_nStops;
        std::lock_guard lock(m_mutex);
        m_fnEvent = nullptr;
    }
    // An event as the relay thread passes it on (from the test's thread).
    void Emit(client::SDeviceEvent event) {
        std::lock_guard lock(m_mutex);
        ASSERT_TRUE(m_fnEvent) << "no event after the stop";
        m_fnEvent(std::move(event));
    }

    CLibraryJobs& m_jobs;
    std::string m_strFail;
    std::atomic<int> m_nStarts{0}, m_nStops{0};
    std::atomic<bool> m_bStartOnWorker{false}, m_bStopOnWorker{false};

private:
    std::mutex m_mutex;
    EventFn m_fnEvent;
};

client::SDeviceEvent Added(int nId, std::string strVid = {}, std::string strPid = {}, std::string strType = {}) {
    client::SDeviceEvent e;
    e.eKind = client::EDeviceEvent::DeviceAdded;
    e.nId = nId;
    e.device = {nId, strVid, strPid, strType};
    return e;
}
client::SDeviceEvent Status(int nId, model::CStatusRecord record) {
    client::SDeviceEvent e;
    e.eKind = client::EDeviceEvent::Status;
    e.nId = nId;
    e.record = record;
    return e;
}
client::SDeviceEvent Link(client::ELinkState eState) {
    client::SDeviceEvent e;
    e.eKind = client::EDeviceEvent::Link;
    e.eLink = eState;
    return e;
}
client::SDeviceEvent Removed(int nId) {
    client::SDeviceEvent e;
    e.eKind = client::EDeviceEvent::DeviceRemoved;
    e.nId = nId;
    return e;
}

// The list as "id|vid|pid|type|status" rows.
std::vector<std::u16string> Rows(const CRecordingView& view) {
    std::vector<std::u16string> rows;
    for (const auto& cells : view.m_rows) {
        std::u16string row;
        for (size_t i = 0; i < cells.size(); ++i) row += (i == 0 ? u"" : u"|") + cells[i];
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(DevicesLogic, PrintersStatusInWordsAndEachDevicesRow) {
    EXPECT_EQ(PrinterStatusText(std::nullopt), u"No status yet");
    EXPECT_EQ(PrinterStatusText(model::CStatusRecord{0x10, 0x00, 0x00, 0x00}), u"Ready");
    EXPECT_EQ(PrinterStatusText(model::CStatusRecord{0x10, 0x00, 0x03, 0x00}), u"Paper low");
    // Paper out also trips the near-end sensor: not called low as well.
    EXPECT_EQ(PrinterStatusText(model::CStatusRecord{0x18, 0x00, 0x0f, 0x00}), u"Off-line, Out of paper");
    EXPECT_EQ(PrinterStatusText(model::CStatusRecord{0x34, 0x48, 0x00, 0x00}),
              u"Cover open, Drawer open, Cutter error, Recoverable error");
    EXPECT_EQ(PrinterStatusText(model::CStatusRecord{0x10, 0x24, 0x00, 0x00}),
              u"Mechanical error, Unrecoverable error");

    EXPECT_EQ(DeviceRowCells({10, "5a4d", "0e28", ""}, std::nullopt),
              (std::vector<std::u16string>{u"10", u"5a4d", u"0e28", u"Local Printer", u"No status yet"}));
    EXPECT_EQ(DeviceRowCells({40, "1234", "abcd", "msr"}, std::nullopt),
              (std::vector<std::u16string>{u"40", u"1234", u"abcd", u"msr", u""}));
    EXPECT_EQ(DeviceRowCells({19, "", "", ""}, model::CStatusRecord{0x10, 0, 0, 0}),
              (std::vector<std::u16string>{u"19", u"-", u"-", u"POS Printer", u"Ready"}));
}

TEST(DevicesLogic, ListFollowsTheWatchAndCloseStopsItOnTheLibraryThreadFirst) {
    CHandQueue queue;
    CLibraryJobs jobs(queue);
    auto pWatch = std::make_shared<CFakeWatch>(jobs);
    CDevicesLogic devices(jobs, pWatch);
    CRecordingView view;
    devices.Attach(&view);
    devices.OnInit();
    EXPECT_EQ(devices.State(), CDevicesLogic::EState::Starting);
    EXPECT_TRUE(devices.IsBusy());
    ASSERT_TRUE(queue.RunNext());  // the start's continuation
    EXPECT_EQ(devices.State(), CDevicesLogic::EState::Watching);
    EXPECT_TRUE(pWatch->m_bStartOnWorker);

    // The present picture, then changes; each reaches the logic only through the UI queue.
    pWatch->Emit(Link(client::ELinkState::Online));
    pWatch->Emit(Added(10, "5a4d", "0e28"));
    pWatch->Emit(Status(10, {0x10, 0x00, 0x00, 0x00}));
    pWatch->Emit(Added(40, "1234", "abcd", "msr"));
    EXPECT_TRUE(view.m_rows.empty()) << "nothing shown before the UI queue runs";
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(queue.RunNext());
    EXPECT_EQ(view.GetText(kLink), u"on-line");
    EXPECT_EQ(Rows(view), (std::vector<std::u16string>{u"10|5a4d|0e28|Local Printer|Ready", u"40|1234|abcd|msr|"}));

    pWatch->Emit(Added(11, "5a4d", "0e29"));
    pWatch->Emit(Status(10, {0x18, 0x00, 0x0f, 0x00}));
    pWatch->Emit(Status(10, {0x35, 0x00, 0x00, 0x00}));  // the second kind: not the printer's status
    pWatch->Emit(Status(12, {0x10, 0x00, 0x00, 0x00}));  // a record of no device listed
    pWatch->Emit(Removed(40));
    pWatch->Emit(Link(client::ELinkState::Offline));
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(queue.RunNext());
    EXPECT_EQ(view.GetText(kLink), u"off-line");
    EXPECT_EQ(Rows(view), (std::vector<std::u16string>{u"10|5a4d|0e28|Local Printer|Off-line, Out of paper",
                                                       u"11|5a4d|0e29|POS Printer|No status yet"}));

    // An event already on its way when the user closes is not shown; the
    // window closes only once the watch has stopped.
    pWatch->Emit(Removed(10));
    devices.OnClicked(kClose);
    EXPECT_EQ(devices.State(), CDevicesLogic::EState::Stopping);
    EXPECT_FALSE(devices.OnCloseRequest()) << "a second close waits for the same stop";
    EXPECT_FALSE(view.m_closed.has_value());
    ASSERT_TRUE(queue.RunNext());  // the event
    EXPECT_EQ(view.m_rows.size(), 2u);
    ASSERT_TRUE(queue.RunNext());  // the stop's continuation
    EXPECT_EQ(view.m_closed, std::optional<int>(kRejected));
    EXPECT_EQ(pWatch->m_nStops.load(), 1);
    EXPECT_TRUE(pWatch->m_bStopOnWorker);
    EXPECT_FALSE(devices.IsBusy());
    EXPECT_TRUE(devices.OnCloseRequest());
    EXPECT_FALSE(queue.RunNext(100ms)) << "nothing more is posted";
    devices.Attach(nullptr);
}

TEST(DevicesLogic, ACloseDuringTheStartAndAStartThatFailsStillStopAndClose) {
    CHandQueue queue;
    CLibraryJobs jobs(queue);
    {
        auto pWatch = std::make_shared<CFakeWatch>(jobs);
        CDevicesLogic devices(jobs, pWatch);
        CRecordingView view;
        devices.Attach(&view);
        devices.OnInit();
        EXPECT_FALSE(devices.OnCloseRequest());
        ASSERT_TRUE(queue.RunNext());  // the start: the stop follows it
        EXPECT_FALSE(view.m_closed.has_value());
        ASSERT_TRUE(queue.RunNext());
        EXPECT_EQ(view.m_closed, std::optional<int>(kRejected));
        EXPECT_EQ(pWatch->m_nStarts.load(), 1);
        EXPECT_EQ(pWatch->m_nStops.load(), 1);
        devices.Attach(nullptr);
    }
    auto pWatch = std::make_shared<CFakeWatch>(jobs);
    pWatch->m_strFail = "127.0.0.1:9100: the session has no device";
    CDevicesLogic devices(jobs, pWatch);
    CRecordingView view;
    devices.Attach(&view);
    devices.OnInit();
    ASSERT_TRUE(queue.RunNext());
    EXPECT_EQ(devices.State(), CDevicesLogic::EState::Failed);
    EXPECT_EQ(view.GetText(kStatus), u"The devices cannot be watched: 127.0.0.1:9100: the session has no device");
    EXPECT_TRUE(view.m_rows.empty());
    devices.OnClicked(kClose);
    ASSERT_TRUE(queue.RunNext());
    EXPECT_EQ(view.m_closed, std::optional<int>(kRejected));
    devices.Attach(nullptr);
}
