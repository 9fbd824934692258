// The hub session over a library that is not ours: what it cannot read is
// reported, never dropped quietly.
#include "client/CfgEntryPoints.h"
#include "client/HubSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

// A stand-in for the calls of a connect, noting each in order.
std::vector<std::string> g_vecCalls;
int32_t g_nOpenResult = 0;

void Note(const std::string& strCall, int32_t nSession) {
    g_vecCalls.push_back(strCall + " " + std::to_string(nSession));
}
int32_t ZAMO_CALL SelectInterface(int32_t nInterface, const char16_t* pszPort) {
    g_vecCalls.push_back("selectInterface " + std::to_string(nInterface) + " " +
                         std::string(pszPort, pszPort + std::char_traits<char16_t>::length(pszPort)));
    return 7;
}
int32_t ZAMO_CALL SelectCommandMode(int32_t nSession, int32_t) {
    Note("selectCommandMode", nSession);
    return ZAMO_E_FAIL;  // not judged
}
int32_t ZAMO_CALL OpenService(int32_t nSession) {
    Note("openService", nSession);
    return 3;
}
int32_t ZAMO_CALL GetResult(int32_t nSession) {
    Note("getResult", nSession);
    return g_nOpenResult;
}
int32_t Fill(ZamoText* pText, const std::u16string& strText) {
    std::copy(strText.begin(), strText.end(), pText->data);
    pText->data[strText.size()] = u'\0';
    pText->length = static_cast<uint32_t>(strText.size());
    return 0;
}
int32_t ZAMO_CALL GetName(int32_t nSession, ZamoText* pText) {
    Note("getVexalName", nSession);
    return Fill(pText, u"_VX-H400");
}
int32_t ZAMO_CALL GetVersion(int32_t nSession, ZamoText* pText) {
    Note("getVexalVersion", nSession);
    return Fill(pText, u"2.10");
}
int32_t ZAMO_CALL CloseService(int32_t nSession, int32_t) {
    Note("closeService", nSession);
    return 0;
}

}  // namespace

// The main window's connect: every call as it always went, the session left
// registered when it did not open, closed only when asked, never on the way out.
TEST(HubSessionTest, ConnectMakesTheUtilitysCallsAndLeavesTheSessionRegisteredUntilClosed) {
    client::CCfgLibrary api;
    api.Fn().m_pfn_selectInterface = SelectInterface;
    api.Fn().m_pfn_selectCommandMode = SelectCommandMode;
    api.Fn().m_pfn_openService = OpenService;
    api.Fn().m_pfn_getResult = GetResult;
    api.Fn().m_pfn_getVexalName = GetName;
    api.Fn().m_pfn_getVexalVersion = GetVersion;
    api.Fn().m_pfn_closeService = CloseService;
    g_vecCalls.clear();
    {
        client::CHubSession session(api);
        g_nOpenResult = ZAMO_E_TIMEOUT;
        const auto failed = session.Connect(2, u"10.0.0.5:9100");
        EXPECT_EQ(failed.nSession, 7);
        EXPECT_EQ(failed.nOpen, 3);
        EXPECT_EQ(failed.nResult, ZAMO_E_TIMEOUT);
        EXPECT_TRUE(failed.strModel.empty());
        EXPECT_EQ(g_vecCalls, (std::vector<std::string>{"selectInterface 2 10.0.0.5:9100", "selectCommandMode 7",
                                                        "openService 7", "getResult 7"}));
        g_vecCalls.clear();
        g_nOpenResult = 0;
        const auto opened = session.Connect(16, u"");
        EXPECT_EQ(opened.nResult, 0);
        EXPECT_EQ(opened.strModel, "_VX-H400");
        EXPECT_EQ(opened.strFirmware, "2.10");
        EXPECT_EQ(session.Handle(), 7);
        EXPECT_EQ(g_vecCalls.back(), "getVexalVersion 7");
        EXPECT_EQ(std::count(g_vecCalls.begin(), g_vecCalls.end(), "closeService 7"), 0);
        g_vecCalls.clear();
    }
    EXPECT_TRUE(g_vecCalls.empty()) << "the session is the caller's to close";
    client::CHubSession session(api);
    session.Connect(16, u"");
    session.CloseSession(7);
    EXPECT_EQ(g_vecCalls.back(), "closeService 7");
    EXPECT_EQ(session.Handle(), 0);
}

TEST(HubSessionTest, CustomEntriesThatCannotBeReadAreReportedAndARestoreDoesNotCallTheListTheSame) {
    client::CCfgLibrary api;
    api.Fn().m_pfn_getCustomDeviceList = ListWithEntriesNotOurs;
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
