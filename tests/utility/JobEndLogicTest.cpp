// A job whose work throws still ends: the window that waited takes input
// again, the user is told why, and whoever waits for the job's end hears of
// it (the window's logic alone, through a view that only records).
#include "client/CfgEntryPoints.h"
#include "LogicTestSupport.h"
#include "utility/logic/DialogLogic.h"
#include "utility/logic/FindHubsLogic.h"
#include "utility/logic/ProgressLogic.h"
#include "utility/logic/SettingsFilesLogic.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

using namespace vexal;
using namespace vexal::utility;
using namespace vexal::utility::test;
using namespace std::chrono_literals;

namespace {

class CJobLogic final : public CDialogLogic {
public:
    const SDialogDesc& Desc() const override {
        static const SDialogDesc s_desc;
        return s_desc;
    }
    bool Run(CLibraryJobs& jobs, std::function<int()> fnWork, std::function<void()> fnNotDone) {
        return StartJob<int>(
            jobs, std::move(fnWork), [](int) { ADD_FAILURE() << "no result to deliver"; }, fnNotDone);
    }
};

// Something listening on a loopback port that is not a hub.
class CListener {
public:
    CListener() {
        m_nFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t nLen = sizeof sa;
        if (bind(m_nFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(m_nFd, 8) != 0 ||
            getsockname(m_nFd, reinterpret_cast<sockaddr*>(&sa), &nLen) != 0)
            ADD_FAILURE() << "no loopback listener";
        m_wPort = ntohs(sa.sin_port);
    }
    ~CListener() { close(m_nFd); }
    uint16_t Port() const { return m_wPort; }

private:
    int m_nFd = -1;
    uint16_t m_wPort = 0;
};

bool Contains(const std::u16string& strText, const std::u16string& strPart) {
    return strText.find(strPart) != std::u16string::npos;
}

}  // namespace

TEST(JobEnd, AWorkThatThrowsGivesTheWindowBackAndSaysWhy) {
    CHandQueue ui;
    CLibraryJobs jobs(ui);
    CJobLogic logic;
    CRecordingView view;
    logic.Attach(&view);
    int nNotDone = 0;
    ASSERT_TRUE(logic.Run(
        jobs, []() -> int { throw std::runtime_error("the port vanished"); }, [&] { ++nNotDone; }));
    EXPECT_EQ(view.m_nBusy, 1);
    ASSERT_TRUE(ui.RunNext());
    EXPECT_EQ(view.m_nBusy, 0) << "the window takes input again";
    EXPECT_FALSE(jobs.IsBusy());
    EXPECT_EQ(nNotDone, 1) << "a chain that reports its end does";
    ASSERT_EQ(view.m_messages.size(), 1u);
    EXPECT_TRUE(Contains(view.m_messages[0].first, u"the port vanished"));
    EXPECT_EQ(view.m_messages[0].second, EMsgIcon::Warning);
    logic.Attach(nullptr);
}

TEST(JobEnd, FindHubsListsAnIdentificationThatThrowsAndStillCloses) {
    CListener listener;
    client::CCfgLibrary api;
    api.Fn().m_pfn_selectInterface = [](int32_t, const char16_t*) -> int32_t {
        throw std::runtime_error("library fault");
    };
    CHandQueue ui;
    CLibraryJobs jobs(ui);
    CFindHubsLogic find(api, jobs, u"127.0.0.1", listener.Port());
    CRecordingView view;
    find.Attach(&view);
    find.OnInit();
    find.OnClicked(find_ids::kSearch);
    // The timer and the UI queue by hand, until the search has ended.
    for (int i = 0; i < 400 && find.IsBusy(); ++i) {
        find.OnTimer(CFindHubsLogic::kPollTimer);
        ui.RunNext(10ms);
    }
    EXPECT_FALSE(find.IsBusy());
    EXPECT_EQ(view.m_nRows, 1) << "the address that answered is listed";
    find.OnClicked(find_ids::kClose);
    EXPECT_EQ(view.m_closed, std::optional<int>(kRejected));
    find.Attach(nullptr);
}

TEST(JobEnd, ASaveWhoseWorkThrowsTakesThePopupDownAndEnds) {
    client::CCfgLibrary api;
    api.Fn().m_pfn_getVexalName = [](int32_t, ZamoText*) -> int32_t { throw 42; };  // not even a std::exception
    CHandQueue ui;
    CLibraryJobs jobs(ui);
    CProgressLogic progress;
    CRecordingView window;
    window.m_chosenFile = "/nonexistent/never-written.json";
    client::CHubSession session(api);
    session.Attach(1);
    CSettingsFilesLogic files(window, session, jobs, progress);
    int nEnded = 0;
    files.Save(u"VX-H400_VXL", "USB", [&] { ++nEnded; });
    EXPECT_TRUE(files.IsBusy());
    ASSERT_TRUE(ui.RunNext());
    EXPECT_FALSE(files.IsBusy());
    EXPECT_FALSE(progress.IsShown());
    EXPECT_EQ(nEnded, 1);
    ASSERT_EQ(window.m_messages.size(), 1u);
    EXPECT_TRUE(Contains(window.m_messages[0].first, u"not saved"))
        << std::string(window.m_messages[0].first.begin(), window.m_messages[0].first.end());
}
