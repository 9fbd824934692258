// "Find hubs…" as its logic alone, through a view that only records: what
// either renderer shows for ranges that cannot be searched.
#include "LogicTestSupport.h"
#include "utility/logic/FindHubsLogic.h"

#include <gtest/gtest.h>

using namespace vexal;
using namespace vexal::utility;
using namespace vexal::utility::test;
using namespace vexal::utility::find_ids;

TEST(FindHubsLogic, RangesThatCannotBeSearchedAreRefusedAndNothingStarts) {
    client::CCfgLibrary api;
    CIdleQueue queue;
    CLibraryJobs jobs(queue);
    CFindHubsLogic find(api, jobs, u"10.0.0.0/8", 9100);
    CRecordingView view;
    find.Attach(&view);
    find.OnInit();
    EXPECT_EQ(view.GetText(kRange), u"10.0.0.0/8");
    EXPECT_EQ(view.GetText(kStatus), u"Give the addresses to search and press Search.");
    EXPECT_FALSE(view.IsEnabled(kStop));
    EXPECT_FALSE(view.IsEnabled(kUse));

    find.OnClicked(kSearch);
    ASSERT_EQ(view.m_messages.size(), 1u);
    EXPECT_EQ(view.m_messages[0].first,
              u"The addresses to search cannot be used: /8 is too large a range (at most /22, 1024 addresses).\n"
              u"Give ranges such as 192.168.0.0/24, each at most a /22, separated by commas.");
    EXPECT_EQ(view.m_messages[0].second, EMsgIcon::Warning);
    EXPECT_TRUE(view.m_timers.empty()) << "no search runs";
    EXPECT_FALSE(find.IsBusy());
    EXPECT_TRUE(view.IsEnabled(kSearch));
    EXPECT_EQ(view.GetText(kStatus), u"Give the addresses to search and press Search.");

    // Nothing found, nothing chosen: "Use this hub" does nothing, Close closes at once.
    find.OnClicked(kUse);
    EXPECT_FALSE(view.m_closed.has_value());
    find.OnClicked(kClose);
    EXPECT_EQ(view.m_closed, std::optional<int>(kRejected));
    EXPECT_FALSE(find.Chosen().has_value());
    find.Attach(nullptr);
}
