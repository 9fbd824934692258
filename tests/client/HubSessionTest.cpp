// The hub session over a library that is not ours: what it cannot read is
// reported, never dropped quietly.
#include "client/HubSession.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vexal;

namespace {

// Lists two pieces that are not "vvvv&pppp" entries for type 2 (msr).
int32_t ListWithEntriesNotOurs(int32_t, uint8_t nType, ZamoText* pList) {
    const std::u16string text = nType == 2 ? u"1a2b&00ff,1a2b&0\x1B,zz," : u"";
    const size_t n = std::min<size_t>(text.size(), pList->capacity - 1);
    std::copy_n(text.begin(), n, pList->data);
    pList->data[n] = u'\0';
    pList->length = static_cast<uint32_t>(n);
    return 0;
}

}  // namespace

TEST(HubSessionTest, CustomEntriesThatCannotBeReadAreReportedAndARestoreDoesNotCallTheListTheSame) {
    client::CfgApiTable api;
    api.m_pfn_getCustomDeviceList = ListWithEntriesNotOurs;
    client::CHubSession session(api);
    session.Attach(1);
    std::vector<std::string> entries;
    EXPECT_FALSE(session.ReadCustomList(2, entries));
    EXPECT_EQ(entries, std::vector<std::string>{"1a2b&00ff"});
    EXPECT_EQ(session.Error(),
              "getCustomDeviceList: the hub lists entries that are not \"vvvv&pppp\": '1a2b&0\\x1B', 'zz'");
    // A backup leaves the list out and names it; a restore finds the hub not read whole and plans nothing.
    model::SHubSettings hub;
    std::vector<std::string> errors;
    EXPECT_FALSE(session.ReadSettings({"custom"}, hub, errors));
    EXPECT_EQ(hub.custom.count(2), 0u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("custom msr: getCustomDeviceList: the hub lists entries", 0), 0u) << errors[0];
    model::SSettingsValues backup;
    backup.custom[2] = {"1a2b&00ff"};
    model::SRestoreOptions options;
    options.only = {"custom"};
    std::vector<model::SGroupPlan> plans;
    errors.clear();
    EXPECT_FALSE(session.PlanRestore(backup, options, hub, plans, errors));
    EXPECT_TRUE(plans.empty());
    EXPECT_EQ(session.Error(), "the hub could not be read whole; nothing written");
}
