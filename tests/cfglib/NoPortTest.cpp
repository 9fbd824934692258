// The configuration library with no port library beside it: handles, the
// unknown-handle guard of every export, and the exported names.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CfgLibrary.h"

using namespace cfglib_test;

namespace {

template <typename TFn>
TFn Fn(const SCfgApi& api, const char* pszName) {
    auto pfn = reinterpret_cast<TFn>(api.Symbol(pszName));
    if (pfn == nullptr) throw std::runtime_error(std::string("missing export ") + pszName);
    return pfn;
}

// Every export but selectInterface, called with handle h: (tag, result).
std::vector<std::pair<std::string, int32_t>> CallAll(const SCfgApi& a, int32_t h) {
    CText t1, t2;
    uint8_t bytes[600] = {};
    int32_t n1 = 0, n2 = 0, n3 = 0, n4 = 0;
    const char16_t* psz = u"x";
#define CALL(tag, name, ...) \
    { tag, Fn<decltype(&::name)>(a, #name)(h, __VA_ARGS__) }
#define CALL0(tag, name) \
    { tag, Fn<decltype(&::name)>(a, #name)(h) }
    return {
        CALL("[selectCommandMode]", selectCommandMode, 0),
        CALL("[setTimeout]", setTimeout, 1),
        CALL0("[openService]", openService),
        CALL("[openServiceById]", openServiceById, 10),
        CALL("[closeService]", closeService, 0),
        CALL0("[isOpen]", isOpen),
        CALL0("[getDeviceId]", getDeviceId),
        CALL("[directIO]", directIO, bytes, 1),
        CALL("[setTransaction]", setTransaction, 1),
        CALL("[setReadMode]", setReadMode, 0),
        CALL("[convertHID]", convertHID, 1),
        CALL0("[getResult]", getResult),
        CALL("[setStatusUpdateEvent]", setStatusUpdateEvent, nullptr),
        CALL("[setDataEvent]", setDataEvent, nullptr),
        CALL("[GetBtConnectionMode]", getBluetoothConnectionMode, &n1),
        CALL("[GetBluetoothName]", getBluetoothName, &t1.text),
        CALL("[GetBluetoothPinCode]", getBluetoothPinCode, &t1.text),
        CALL("[getBluetoothAuthentication]", getBluetoothAuthentication, &n1),
        CALL("[SetBluetoothInfo]", setBluetoothInfo, 0x31, psz, psz, 0x30),
        CALL("[GetBluetoothAutoConnection]", getBluetoothAutoConnection, bytes),
        CALL("[SetBluetoothAutoConnection]", setBluetoothAutoConnection, 1),
        CALL("[getLanInfo]", getLanInfo, bytes),
        CALL("[setLanInfo]", setLanInfo, bytes, 30, bytes),
        CALL("[GetWlanInfo]", getWlanInfo, bytes),
        CALL("[SetWlanInfo]", setWlanInfo, bytes, 574, bytes),
        CALL("[GetSerialConfiguration]", getSerialConfiguration, 100, bytes, bytes + 1, bytes + 2, bytes + 3),
        CALL("[SetSerialConfiguration]", setSerialConfiguration, 100, 1, 2, 3, 4),
        CALL("[GetCustomDevice]", getCustomDeviceList, 1, &t1.text),
        CALL("[AddCustomDevice]", addCustomDevice, 1, u"5a4d", u"0e28"),
        CALL("[DeleteCustomDevice]", deleteCustomDevice, 1, u"5a4d", u"0e28"),
        CALL("[ReInitCustomDevice]", resetCustomDeviceList, 1),
        CALL("[GetListOfUsbID]", getUsbList, &t1.text),
        CALL("[getUsbInfo]", getUsbInfo, 10, &t1.text, &t2.text),
        CALL("[getDevIdList]", getDevIdList, bytes, &n1),
        CALL("[getTelnetAvailable]", getTelnetAvailable, bytes),
        CALL("[setTelnetAvailable]", setTelnetAvailable, 1),
        CALL("[getSNMPAvailable]", getSNMPAvailable, bytes),
        CALL("[setSNMPAvailable]", setSNMPAvailable, 1),
        CALL("[getSNMPROCommunity]", getSNMPROCommunity, &t1.text),
        CALL("[setSNMPROCommunity]", setSNMPROCommunity, psz),
        CALL("[getSNMPRWCommunity]", getSNMPRWCommunity, &t1.text),
        CALL("[setSNMPRWCommunity]", setSNMPRWCommunity, psz),
        CALL("[getVexalName]", getVexalName, &t1.text),
        CALL("[getVexalVersion]", getVexalVersion, &t1.text),
        CALL("[getInterfaceUsageStatus]", getInterfaceUsageStatus, &n1, &n2, &n3, &n4),
        CALL("[setInterfaceUsageStatus]", setInterfaceUsageStatus, 1, 1, 1, 1, &n1),
    };
#undef CALL
#undef CALL0
}

TEST(NoPortTest, UnknownHandlesGive1000AndLogTheirTag) {
    const SCfgApi& api = SCfgApi::Get();
    const int32_t hReleased = api.selectInterface(2, u"10.0.0.1");
    ASSERT_GT(hReleased, 0);
    ASSERT_EQ(api.closeService(hReleased, 0), 0) << "never opened: the port has no users";

    for (int32_t h : {0, -1, hReleased, 0x7FFFFFFF}) {
        const auto results = CallAll(api, h);
        ASSERT_EQ(results.size(), 46u);
        for (const auto& [strTag, nResult] : results)
            EXPECT_EQ(nResult, strTag == "[isOpen]" ? 0 : 1000) << strTag << " with handle " << h;
    }
    const std::string strLog = LogText();
    for (const auto& [strTag, nResult] : CallAll(api, 0)) {
        (void)nResult;
        EXPECT_NE(strLog.find(strTag + " Zamo object not created."), std::string::npos) << strTag;
    }
}

TEST(NoPortTest, HandlesGrowByOneAndAreNeverReused) {
    const SCfgApi& api = SCfgApi::Get();
    const int32_t h1 = api.selectInterface(2, u"10.0.0.1");
    EXPECT_EQ(api.selectInterface(99, u"10.0.0.1"), 0) << "unknown interface code";
    const int32_t h3 = api.selectInterface(4, u"COM1");
    EXPECT_EQ(h3, h1 + 2) << "the refused session kept its handle";
    EXPECT_EQ(api.closeService(h1, 0), 0);
    EXPECT_EQ(api.selectInterface(2, u"10.0.0.1"), h3 + 1);
    EXPECT_NE(LogText().find("[SelectInterface] error=1004."), std::string::npos);
}

// The first handle of a process is 1: checked in a fresh process (this
// program again, running only this case), since other cases may have made
// sessions in this one already.
TEST(NoPortTest, FirstHandleOfAProcessIsOne) {
    if (std::getenv("CFGLIB_FIRST_HANDLE_CHILD") != nullptr) {
        const SCfgApi& api = SCfgApi::Get();
        EXPECT_EQ(api.selectInterface(2, u"10.0.0.1"), 1);
        EXPECT_EQ(api.selectInterface(2, u"10.0.0.1"), 2);
        return;
    }
    char szSelf[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", szSelf, sizeof szSelf - 1), 0);
    std::string strFilter = "--gtest_filter=NoPortTest.FirstHandleOfAProcessIsOne";
    char* argv[] = {szSelf, strFilter.data(), nullptr};
    std::vector<std::string> env = {"CFGLIB_FIRST_HANDLE_CHILD=1"};
    for (char** pp = environ; *pp != nullptr; ++pp) env.emplace_back(*pp);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, szSelf, nullptr, nullptr, argv, envp.data()), 0);
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << "the child's check failed";
}

TEST(NoPortTest, SessionWithoutPortLibraryFailsOpenWith1000) {
    const SCfgApi& api = SCfgApi::Get();
    const int32_t h = api.selectInterface(2, u"10.0.0.1:9100");
    ASSERT_GT(h, 0);
    EXPECT_EQ(api.getResult(h), 0);
    EXPECT_EQ(api.openService(h), 1000);
    EXPECT_EQ(api.isOpen(h), 0);
    CText list;
    EXPECT_EQ(api.getUsbList(h, &list.text), 1011) << "nothing to write to, so no reply";
    uint8_t ids[254];
    int32_t nCount = -1;
    EXPECT_EQ(api.getDevIdList(h, ids, &nCount), 0);
    EXPECT_EQ(nCount, 0);
    EXPECT_EQ(api.getDevIdList(h, nullptr, &nCount), 1004);
    EXPECT_EQ(api.getDeviceId(h), 10);
}

TEST(NoPortTest, ExportsExactlyTheListedNames) {
    std::set<std::string> expected;
    std::ifstream list(CFGLIB_EXPORT_LIST);
    for (std::string strName; std::getline(list, strName);)
        if (!strName.empty()) expected.insert(strName);
    ASSERT_EQ(expected.size(), 47u);

    std::set<std::string> exported;
    const std::string strCommand = std::string("nm -D --defined-only ") + CFGLIB_FILE;
    FILE* pipe = popen(strCommand.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char szLine[512];
    while (std::fgets(szLine, sizeof szLine, pipe) != nullptr) {
        std::string strLine(szLine);
        while (!strLine.empty() && (strLine.back() == '\n' || strLine.back() == '\r')) strLine.pop_back();
        const size_t nSpace = strLine.rfind(' ');
        exported.insert(nSpace == std::string::npos ? strLine : strLine.substr(nSpace + 1));
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(exported, expected);
}

}  // namespace
