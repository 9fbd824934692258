// What "Save settings…", "Load settings…" and "Find hubs…" decide without
// a window: the plan's rows and notes, the clone start, the warning before a
// write that moves the hub, file names; the search's queue, stop and status
// against a listening socket on loopback.
#include "utility/logic/BackupRestore.h"
#include "utility/logic/HubSearch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

using namespace vexal;
using namespace vexal::utility;

namespace {

model::SSettingsValues Values(model::GroupValues lan, model::GroupValues bluetooth) {
    model::SSettingsValues s;
    s.groups["lan"] = std::move(lan);
    s.groups["bluetooth"] = std::move(bluetooth);
    return s;
}

const model::GroupValues kLan = {{"mac", "00:1b:5f:40:12:7a"}, {"dhcp", "off"},
                                 {"ip", "192.168.0.10"},       {"mask", "255.255.255.0"},
                                 {"gateway", "192.168.0.1"},   {"dns", "192.168.0.1"}};
const model::GroupValues kBluetooth = {
    {"name", "Till 1"}, {"pin", "1234"}, {"encryption", "on"}, {"mode", "2"}, {"auto_connect", "on"}};

}  // namespace

TEST(BackupRestoreLogic, RowsNotesCloneStartAndTheWarningBeforeAMove) {
    // The backup is another hub's: other MAC, other address, other name.
    model::GroupValues lanBackup = kLan, btBackup = kBluetooth;
    lanBackup["mac"] = "00:1b:5f:40:12:7b";
    lanBackup["ip"] = "10.0.0.5";
    lanBackup["gateway"] = "10.0.0.254";
    btBackup["name"] = "Till 2";
    const auto backup = Values(lanBackup, btBackup);
    const auto hub = Values(kLan, kBluetooth);
    EXPECT_TRUE(CloneByDefault(backup, hub));
    EXPECT_FALSE(CloneByDefault(hub, hub));
    EXPECT_FALSE(CloneByDefault(model::SSettingsValues{}, hub)) << "no MAC to compare: a plain restore";

    model::SRestoreOptions clone;
    clone.bClone = true;
    auto plans = model::PlanRestore(backup, hub, clone);
    auto rows = RestoreRows(plans, {});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].strGroup, "Bluetooth");
    EXPECT_EQ(rows[0].strAction, "same");
    EXPECT_EQ(rows[1].strGroup, "LAN");
    EXPECT_EQ(rows[1].strAction, "will write");
    EXPECT_EQ(rows[1].strDetail, "gateway 192.168.0.1 \u2192 10.0.0.254");
    auto summary = RestoreSummary(plans, {});
    EXPECT_EQ(summary.strNote, "1 group will be written and read back.");
    EXPECT_TRUE(summary.bCanWrite);
    EXPECT_FALSE(MovesConnectedHub(plans, "192.168.0.10")) << "a clone keeps the address";

    plans = model::PlanRestore(backup, hub, {});
    rows = RestoreRows(plans, {});
    EXPECT_EQ(rows[0].strDetail, "name Till 1 \u2192 Till 2");
    EXPECT_EQ(rows[1].strDetail,
              "mac 00:1b:5f:40:12:7a \u2192 00:1b:5f:40:12:7b (read-only, kept), ip 192.168.0.10 "
              "\u2192 10.0.0.5, gateway 192.168.0.1 \u2192 10.0.0.254");
    EXPECT_TRUE(MovesConnectedHub(plans, "192.168.0.10"));
    EXPECT_FALSE(MovesConnectedHub(plans, "127.0.0.1")) << "reached at another address: the link stays";

    // After writing: what came of each group, and the note says so.
    std::vector<SApplied> applied(plans.size());
    applied[0] = {true, true, {}};
    applied[1] = {true, false, "setLanInfo: 1011: no reply from the hub in time"};
    rows = RestoreRows(plans, applied);
    EXPECT_EQ(rows[0].strAction, "written");
    EXPECT_EQ(rows[1].strAction, "failed");
    EXPECT_EQ(rows[1].strDetail, "setLanInfo: 1011: no reply from the hub in time");
    summary = RestoreSummary(plans, applied);
    EXPECT_EQ(summary.strNote, "1 group written and read back; 1 group failed (see the list).");
    EXPECT_TRUE(summary.bWarning);
    EXPECT_FALSE(summary.bCanWrite) << "written once: a second write would need a fresh plan";

    // A target that breaks a rule refuses the whole write; the same settings need none.
    btBackup["pin"] = "12";
    plans = model::PlanRestore(Values(kLan, btBackup), hub, {});
    EXPECT_EQ(RestoreRows(plans, {})[0].strAction, "refused");
    EXPECT_FALSE(RestoreSummary(plans, {}).bCanWrite);
    summary = RestoreSummary(model::PlanRestore(hub, hub, {}), {});
    EXPECT_EQ(summary.strNote, "The hub already holds these settings: nothing to write.");
    EXPECT_FALSE(summary.bCanWrite);
}

TEST(BackupRestoreLogic, SecretsAreMaskedInRowsAndFailuresAndAChangeStillShows) {
    const model::GroupValues netHub = {
        {"telnet", "on"}, {"snmp", "on"}, {"ro_community", "public"}, {"rw_community", "Shop-rw-2024"}};
    model::GroupValues netBackup = netHub, btBackup = kBluetooth;
    netBackup["rw_community"] = "Backup-rw-9931";
    netBackup["telnet"] = "off";
    btBackup["pin"] = "8642";
    model::SSettingsValues hub = Values(kLan, kBluetooth), backup = Values(kLan, btBackup);
    hub.groups["netproto"] = netHub;
    backup.groups["netproto"] = netBackup;
    const auto plans = model::PlanRestore(backup, hub, {});
    const std::vector<std::string> secrets = {"1234", "8642", "Shop-rw-2024", "Backup-rw-9931"};
    auto noSecret = [&](const std::string& strText) {
        for (const auto& strSecret : secrets)
            if (strText.find(strSecret) != std::string::npos) return false;
        return true;
    };
    std::map<std::string, std::string> detail;
    for (const auto& row : RestoreRows(plans, {})) {
        EXPECT_TRUE(noSecret(row.strDetail)) << row.strDetail;
        detail[row.strGroup] = row.strDetail;
    }
    EXPECT_EQ(detail["Bluetooth"], "pin ******** \u2192 ********");
    EXPECT_EQ(detail["Net protocols"], "telnet on \u2192 off, rw_community ******** \u2192 ********");

    // A failure that quotes what the hub kept and what was asked.
    std::vector<SApplied> applied(plans.size());
    for (size_t i = 0; i < plans.size(); ++i)
        if (plans[i].strKind == "netproto")
            applied[i] = {true, false, "the hub kept rw_community=Shop-rw-2024 (asked Backup-rw-9931)"};
    bool bShown = false;
    for (const auto& row : RestoreRows(plans, applied)) {
        EXPECT_TRUE(noSecret(row.strDetail)) << row.strDetail;
        bShown = bShown || row.strDetail == "the hub kept rw_community=******** (asked ********)";
    }
    EXPECT_TRUE(bShown);
}

TEST(BackupRestoreLogic, FileNamesSourcesAndSaveOutcomes) {
    EXPECT_EQ(SuggestedBackupName("VX-H400/VXL:2", "2026-12-08T08:30:00Z"), "VX-H400_VXL_2 2026-12-08.json");
    EXPECT_EQ(SuggestedBackupName("", ""), "hub.json");
    EXPECT_EQ(BackupSource(2, "192.168.0.10:9100"), "192.168.0.10:9100");
    EXPECT_EQ(BackupSource(4, "COM3"), "COM3");
    EXPECT_EQ(BackupSource(16, ""), "USB");
    auto outcome = SaveOutcomeText("/tmp/a.json", {"wlan: getWlanInfo: 1011: no reply"}, {});
    EXPECT_EQ(outcome.strText,
              "The hub's settings were saved to /tmp/a.json, without what could not be read:\n"
              "wlan: getWlanInfo: 1011: no reply");
    EXPECT_TRUE(outcome.bWarning);
    outcome = SaveOutcomeText("/tmp/a.json", {}, "/tmp/a.json: cannot write: Permission denied");
    EXPECT_EQ(outcome.strText, "The settings were not saved.\n/tmp/a.json: cannot write: Permission denied");
}

namespace {
// A TCP listener that accepts (the system completes the connection) and never answers.
class CListener {
public:
    explicit CListener(const char* pszAddress, uint16_t wPort = 0) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(wPort);
        ::inet_pton(AF_INET, pszAddress, &a.sin_addr);
        socklen_t n = sizeof a;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), n) == 0 && ::listen(m_fd, 8) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &n) == 0)
            m_wPort = ntohs(a.sin_port);
    }
    ~CListener() { ::close(m_fd); }
    uint16_t Port() const { return m_wPort; }

private:
    int m_fd = -1;
    uint16_t m_wPort = 0;
};

// Polls as the window's timer does, until fnDone or 5 s.
template <class F>
bool Poll(F fnDone) {
    for (int i = 0; i < 500; ++i) {
        if (fnDone()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}
}  // namespace

TEST(HubSearchLogic, AnsweringAddressesAreAskedOneAtATimeStopDropsTheRest) {
    CListener listener("127.0.0.3");
    ASSERT_NE(listener.Port(), 0);
    const std::vector<uint32_t> range = {0x7F000002u, 0x7F000003u, 0x7F000004u};  // 127.0.0.2-4
    CHubSearch search;
    EXPECT_EQ(search.State(), CHubSearch::EState::Idle);
    search.Start(range, listener.Port());
    std::optional<uint32_t> next;
    ASSERT_TRUE(Poll([&] { return (next = search.NextToIdentify()).has_value(); }));
    EXPECT_EQ(*next, 0x7F000003u);
    EXPECT_FALSE(search.NextToIdentify()) << "one identification at a time";
    EXPECT_EQ(search.State(), CHubSearch::EState::Searching);
    search.NotStarted(*next);  // the library thread was busy: asked again later
    ASSERT_EQ(search.NextToIdentify(), std::optional<uint32_t>(0x7F000003u));
    search.Identified({"127.0.0.3", true, "_VX-H400", "2.10.3", {}});
    ASSERT_TRUE(Poll([&] { return search.State() == CHubSearch::EState::Done; })) << search.StatusText();
    EXPECT_EQ(search.Percent(), 100);
    EXPECT_EQ(search.StatusText(), "Done: 3 addresses searched, 1 hub found.");
    const SFoundRow row = FoundRow(search.Found().at(0));
    EXPECT_TRUE(row.bUsable);
    EXPECT_FALSE(FoundRow({"127.0.0.9", false, {}, {}, "open 127.0.0.9: 1007: no device ID"}).bUsable);

    // Two answer: stopped while the first is asked, the second never is.
    CListener second("127.0.0.2", listener.Port());
    ASSERT_NE(second.Port(), 0);
    search.Start(range, listener.Port());
    ASSERT_TRUE(Poll([&] { return (next = search.NextToIdentify()).has_value(); }));
    ASSERT_TRUE(Poll([&] { return search.Percent() == 100; }));
    search.Stop();
    EXPECT_EQ(search.State(), CHubSearch::EState::Stopping) << "the identification under way still ends";
    EXPECT_EQ(search.StatusText(), "Stopping…");
    search.Identified({"127.0.0.3", false, {}, {}, "open 127.0.0.3: 1007"});
    ASSERT_TRUE(Poll([&] { return search.State() == CHubSearch::EState::Stopped; }));
    EXPECT_FALSE(search.NextToIdentify());
    EXPECT_EQ(search.Found().size(), 1u);
    EXPECT_EQ(search.HubCount(), 0u);
}
