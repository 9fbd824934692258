// "Save settings…", "Load settings…" and "Find hubs…" of the main window
// through the real library against simulated hubs on 127.0.0.x, with the
// command-line tool on the other side of the files. Every search is given
// a loopback range.
#include "HubSimFixture.h"
#include "MainWindowSupport.h"
#include "utility/logic/FindHubsLogic.h"
#include "utility/logic/RestoreLogic.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <nlohmann/json.hpp>

#include <map>
#include <sstream>

using namespace vexal::utility;
using namespace vexal::utility::test;
using namespace vexal::utility::main_ids;
using namespace std::chrono_literals;
using nlohmann::json;

namespace {

CHubSimFixture::Options At(const std::string& strAddress, uint16_t nPort = 0) {
    CHubSimFixture::Options o;
    o.strListenAddress = strAddress;
    o.nListenPort = nPort;
    return o;
}

std::string Target(const CHubSimFixture& hub) { return hub.Address() + ":" + std::to_string(hub.Port()); }

// vexalcfg against a hub; its standard output (the test fails on a bad exit).
std::string Tool(const CHubSimFixture& hub, const QStringList& args) {
    QProcess tool;
    tool.start(QStringLiteral(VEXALCFG_BINARY), QStringList{"--ethernet", QString::fromStdString(Target(hub))} + args);
    EXPECT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    return tool.readAllStandardOutput().toStdString();
}

// The restore outcome per group that the tool reports for a file (a dry run).
std::map<std::string, std::string> ToolPlan(const CHubSimFixture& hub, const QString& strFile, bool bClone) {
    QStringList args{"--json", "restore", strFile, "--dry-run"};
    if (bClone) args << "--clone";
    std::map<std::string, std::string> outcomes;
    const json doc = json::parse(Tool(hub, args));
    for (const auto& g : doc["groups"]) outcomes[g["group"].get<std::string>()] = g["outcome"].get<std::string>();
    return outcomes;
}

// The hub's write commands among what device 0 received.
bool SawWrite(CHubSimFixture& hub) {
    std::istringstream payloads(hub.Control("RX 0").substr(2));
    for (std::string p; payloads >> p;)
        for (const char* psz : {"14", "59", "25", "21", "D1", "D3", "D5", "D7", "0F", "02", "41", "42", "43"})
            if (p.compare(0, 2, psz) == 0) return true;
    return false;
}

std::string State(CHubSimFixture& hub, const std::string& strPath) { return hub.Control("GET " + strPath).substr(3); }

// A TCP listener that never answers: something on the hub's port that is
// not a hub (a printer, say). The system completes the connections.
class CSilentListener {
public:
    CSilentListener(const char* pszAddress, uint16_t wPort) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(wPort);
        ::inet_pton(AF_INET, pszAddress, &a.sin_addr);
        m_bListening = ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(m_fd, 8) == 0;
    }
    ~CSilentListener() { ::close(m_fd); }
    bool Listening() const { return m_bListening; }

private:
    int m_fd;
    bool m_bListening = false;
};

// The list of a dialog as address (or group) -> the other cells.
std::map<QString, QStringList> Rows(const CDialogBase& dlg, int nList) {
    std::map<QString, QStringList> rows;
    for (int r = 0; r < dlg.ListRowCount(nList); ++r)
        rows[dlg.ListCell(nList, r, 0)] = {dlg.ListCell(nList, r, 1), dlg.ListCell(nList, r, 2)};
    return rows;
}

// The window a modal run shows, which must render a logic of type L.
template <class L>
CDialogBase& WindowOf(QDialog& modal) {
    auto& dlg = dynamic_cast<CDialogBase&>(modal);
    EXPECT_NE(dynamic_cast<L*>(dlg.Logic()), nullptr) << "window " << dlg.DialogId();
    return dlg;
}

int RowOf(const CDialogBase& dlg, int nList, const QString& strFirst) {
    for (int r = 0; r < dlg.ListRowCount(nList); ++r)
        if (dlg.ListCell(nList, r, 0) == strFirst) return r;
    return -1;
}

}  // namespace

class BackupSearchHubTest : public CMainWindowHubTest {
protected:
    std::unique_ptr<CLumaroDlg> Connected(const CHubSimFixture& hub) {
        SUtilityOptions options;
        options.nInterface = 2;
        options.address = Ipv4Octets{127, 0, 0, static_cast<uint8_t>(std::stoi(hub.Address().substr(8)))};
        options.nTcpPort = hub.Port();
        options.bConnect = true;
        auto dlg = MakeMain(options, "ZamoCfg");
        EXPECT_TRUE(dlg->IsConnected());
        m_services.Clear();
        return dlg;
    }
    QString File(const QString& strName) const { return m_files.filePath(strName); }

    QTemporaryDir m_files;
};

TEST_F(BackupSearchHubTest, SaveWritesEveryGroupInTheToolsFormat) {
    CHubSimFixture hub(At("127.0.0.2"));
    ASSERT_EQ(hub.Control("SET bluetooth.name Till 1"), "OK");
    ASSERT_EQ(hub.Control("SET serial.100 [6,1,0,2]"), "OK");
    Tool(hub, {"custom", "add", "scale", "0b67", "555e"});
    auto dlg = Connected(hub);
    ASSERT_TRUE(dlg->IsEnabled(kSaveSettings));
    EXPECT_FALSE(dlg->IsEnabled(kFindHubs));
    m_services.QueueFile(File("till1.json"));
    ClickControl(*dlg, kSaveSettings);
    ASSERT_EQ(m_services.FileChoices().size(), 1u);
    EXPECT_EQ(m_services.FileChoices()[0].eAction, EFileAction::Save);
    EXPECT_TRUE(
        QString::fromStdU16String(m_services.FileChoices()[0].strSuggested).startsWith(dlg->GetText(kModel) + " 20"));
    ASSERT_EQ(m_services.Messages().size(), 1u);
    EXPECT_EQ(m_services.Messages()[0].strText, "The hub's settings were saved to " + File("till1.json") + ".");
    EXPECT_FALSE(PopupShown(*dlg, dlg->Progress()));

    QFile file(File("till1.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const json backup = json::parse(file.readAll().toStdString());
    EXPECT_EQ(backup["hub"]["source"], Target(hub));
    EXPECT_EQ(backup["settings"]["bluetooth"]["name"], "Till 1");
    EXPECT_EQ(backup["settings"]["custom"]["scale"], json({"0b67&555e"}));
    // The tool reads the file and finds the hub holding every group of it
    // (after the utility lets go: the hub serves one host at a time).
    ClickControl(*dlg, kDisconnect);
    const auto plan = ToolPlan(hub, File("till1.json"), false);
    for (const char* pszGroup : {"bluetooth", "lan", "wlan", "netproto", "usage", "serial 100", "custom scale"})
        EXPECT_EQ(plan.count(pszGroup) == 1 ? plan.at(pszGroup) : "missing", "same") << pszGroup;
}

TEST_F(BackupSearchHubTest, LoadShowsThePlanWritesOnlyWhenToldAndReadsBack) {
    CHubSimFixture a(At("127.0.0.2"));
    CHubSimFixture b(At("127.0.0.3"));
    for (const char* psz : {"SET bluetooth.name Till A", "SET lan.ip 10.0.0.5", "SET lan.gateway 10.0.0.254",
                            "SET wlan.ssid Store-7", "SET snmp_ro shop", "SET serial.100 [6,1,0,2]"})
        ASSERT_EQ(a.Control(psz), "OK") << psz;
    Tool(a, {"custom", "add", "scale", "0b67", "555e"});
    ASSERT_EQ(b.Control("SET lan.mac 00:1B:5F:40:12:7B"), "OK");
    const QString strFile = File("a.json");
    Tool(a, {"backup", strFile});  // the tool's file, read by the utility

    auto dlg = Connected(b);
    b.Control("RX CLEAR");
    // First a look only: the plan, with and without clone; then Close.
    std::map<QString, QStringList> cloned, plain;
    m_services.SetModalHandler([&](QDialog& modal) {
        auto& restore = WindowOf<CRestoreLogic>(modal);
        EXPECT_TRUE(restore.IsChecked(restore_ids::kClone)) << "another hub's file: clone to start with";
        cloned = Rows(restore, restore_ids::kList);
        EXPECT_TRUE(restore.IsEnabled(restore_ids::kWrite));
        ClickControl(restore, restore_ids::kClone);
        plain = Rows(restore, restore_ids::kList);
        ClickControl(restore, restore_ids::kClose);
        return restore.result();
    });
    m_services.QueueFile(strFile);
    ClickControl(*dlg, kLoadSettings);
    EXPECT_EQ(m_services.ModalRuns(), std::vector<QString>{"149"});
    EXPECT_EQ(cloned["Bluetooth"], (QStringList{"same", ""}));
    EXPECT_EQ(cloned["LAN"], (QStringList{"will write", "gateway 192.168.0.1 \u2192 10.0.0.254"}));
    EXPECT_EQ(cloned["WLAN"][0], "will write");
    EXPECT_EQ(cloned["USB-to-serial adapter 100"][0], "will write");
    EXPECT_EQ(cloned["Custom devices: Scale"], (QStringList{"will write", "add 0b67&555e"}));
    EXPECT_EQ(plain["Bluetooth"], (QStringList{"will write", "name VexalHub \u2192 Till A"}));
    EXPECT_TRUE(plain["LAN"][1].contains("ip 192.168.0.10 \u2192 10.0.0.5")) << plain["LAN"][1].toStdString();
    EXPECT_FALSE(SawWrite(b)) << "a look writes nothing";
    EXPECT_EQ(State(b, "wlan.ssid"), "ShopFloor");

    // Then a clone that is written and read back, group by group.
    std::map<QString, QStringList> written;
    m_services.SetModalHandler([&](QDialog& modal) {
        auto& restore = WindowOf<CRestoreLogic>(modal);
        ClickControl(restore, restore_ids::kWrite);
        written = Rows(restore, restore_ids::kList);
        EXPECT_EQ(restore.GetText(restore_ids::kNote), "5 groups written and read back.");
        EXPECT_FALSE(restore.IsEnabled(restore_ids::kWrite));
        return QDialog::Accepted;
    });
    m_services.Clear();
    m_services.QueueFile(strFile);
    ClickControl(*dlg, kLoadSettings);
    ASSERT_EQ(m_services.Messages().size(), 1u);
    EXPECT_EQ(m_services.Messages()[0].strText, "5 groups written and read back.");
    for (const QString strGroup :
         {"LAN", "WLAN", "Net protocols", "USB-to-serial adapter 100", "Custom devices: Scale"})
        EXPECT_EQ(written[strGroup][0], "written")
            << strGroup.toStdString() << ": " << written[strGroup][1].toStdString();
    EXPECT_EQ(State(b, "lan.gateway"), "10.0.0.254");
    EXPECT_EQ(State(b, "lan.ip"), "192.168.0.10") << "a clone keeps the hub's own address";
    EXPECT_EQ(State(b, "bluetooth.name"), "VexalHub");
    EXPECT_TRUE(dlg->IsConnected());
    // The tool finds nothing left to change for a clone.
    ClickControl(*dlg, kDisconnect);
    const auto plan = ToolPlan(b, strFile, true);
    for (const char* pszGroup : {"bluetooth", "lan", "serial 100", "custom scale"})
        EXPECT_EQ(plan.count(pszGroup), 1u) << pszGroup;
    for (const auto& [strGroup, strOutcome] : plan) EXPECT_EQ(strOutcome, "same") << strGroup;
}

TEST_F(BackupSearchHubTest, ABadFileIsRefusedWithItsPlaceAndNothingIsWritten) {
    CHubSimFixture hub(At("127.0.0.2"));
    const QString strGood = File("good.json");
    Tool(hub, {"backup", strGood});
    QFile good(strGood);
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QString strBackup = QString::fromUtf8(good.readAll());
    ASSERT_EQ(hub.Control("SET lan.ip 10.9.9.9"), "OK");  // a load that went on would write
    auto dlg = Connected(hub);
    struct SCase {
        QString strName, strContent, strMessage;  // the message as a pattern: the file and the place
    };
    const std::vector<SCase> cases = {
        {"cut.json", strBackup.left(strBackup.size() / 2), R"(/cut\.json:\d+:\d+: not a valid backup \(syntax error)"},
        {"folder", {}, "/folder: is a directory$"},
    };
    ASSERT_TRUE(QDir(m_files.path()).mkdir("folder"));
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.strName.toStdString());
        if (!c.strContent.isEmpty()) {
            QFile f(File(c.strName));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.strContent.toUtf8());
        }
        hub.Control("RX CLEAR");
        m_services.Clear();
        m_services.QueueFile(File(c.strName));
        ClickControl(*dlg, kLoadSettings);
        ASSERT_EQ(m_services.Messages().size(), 1u);
        const QString strText = m_services.Messages()[0].strText;
        EXPECT_TRUE(strText.startsWith("The file cannot be loaded; nothing was written to the hub.\n" + m_files.path()))
            << strText.toStdString();
        EXPECT_TRUE(strText.contains(QRegularExpression(c.strMessage))) << strText.toStdString();
        EXPECT_TRUE(m_services.ModalRuns().empty());
        EXPECT_EQ(hub.Control("RX 0"), "OK") << "the hub is not even read";
    }
    // A file whose groups break the hub's rules or hold a bad value: the plan
    // shows where, and those groups alone cannot be written.
    QFile rule(File("rule.json"));
    ASSERT_TRUE(rule.open(QIODevice::WriteOnly));
    rule.write(QString(strBackup)
                   .replace("\"ro_community\": \"public\"", "\"ro_community\": \"" + QString(5000, 'c') + "\"")
                   .replace("\"192.168.0.10\"", "\"192.168.0.999\"")
                   .toUtf8());
    rule.close();
    ASSERT_EQ(hub.Control("SET bluetooth.name Elsewhere"), "OK");
    m_services.Clear();
    m_services.SetModalHandler([](QDialog& modal) {
        auto& restore = WindowOf<CRestoreLogic>(modal);
        const auto rows = Rows(restore, restore_ids::kList);
        EXPECT_EQ(rows.at("Net protocols")[0], "refused");
        EXPECT_EQ(rows.at("LAN")[0], "refused");
        EXPECT_EQ(rows.at("LAN")[1], "settings.lan.ip: '192.168.0.999' is not an IPv4 address");
        EXPECT_EQ(rows.at("Bluetooth")[0], "will write");
        EXPECT_TRUE(restore.IsEnabled(restore_ids::kWrite));
        return QDialog::Rejected;
    });
    m_services.QueueFile(File("rule.json"));
    ClickControl(*dlg, kLoadSettings);
    EXPECT_EQ(m_services.ModalRuns().size(), 1u);
    EXPECT_FALSE(SawWrite(hub));
    EXPECT_EQ(State(hub, "lan.ip"), "10.9.9.9");
}

TEST_F(BackupSearchHubTest, FindListsWhatAnswersOffTheUiThreadAndFillsTheAddress) {
    CHubSimFixture first(At("127.0.0.2"));
    CHubSimFixture second(At("127.0.0.5", first.Port()));
    ASSERT_EQ(second.Control("SET model _VX-H300"), "OK");
    ASSERT_EQ(second.Control("SET firmware 3.0.1"), "OK");
    CSilentListener printer("127.0.0.4", first.Port());
    ASSERT_TRUE(printer.Listening());
    SUtilityOptions options;
    options.nTcpPort = first.Port();
    auto dlg = MakeMain(options, "ZamoCfg");
    dlg->SetSearchRanges([] { return QStringLiteral("127.0.0.0/29"); });
    std::map<QString, QStringList> rows;
    m_services.SetModalHandler([&](QDialog& modal) {
        auto& find = WindowOf<CFindHubsLogic>(modal);
        EXPECT_EQ(find.GetText(find_ids::kRange), "127.0.0.0/29");
        EXPECT_FALSE(find.IsEnabled(find_ids::kUse));
        CStallMonitor monitor;
        ClickControl(find, find_ids::kSearch);  // returns once the search has ended
        EXPECT_LT(monitor.LongestGap(), 250ms);
        rows = Rows(find, find_ids::kList);
        EXPECT_EQ(find.GetText(find_ids::kStatus), "Done: 6 addresses searched, 2 hubs found.");
        EXPECT_EQ(find.ProgressValue(find_ids::kProgress), 100);
        find.ListSelectRow(find_ids::kList, RowOf(find, find_ids::kList, "127.0.0.4"));
        EXPECT_FALSE(find.IsEnabled(find_ids::kUse)) << "not a hub";
        find.ListSelectRow(find_ids::kList, RowOf(find, find_ids::kList, "127.0.0.5"));
        ClickControl(find, find_ids::kUse);
        return find.result();
    });
    ClickControl(*dlg, kFindHubs);
    EXPECT_EQ(m_services.ModalRuns(), std::vector<QString>{"148"});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows["127.0.0.2"], (QStringList{"X-H400_VXL", "2.10.3"}));  // the model as the main window shows it
    EXPECT_EQ(rows["127.0.0.5"], (QStringList{"VX-H300", "3.0.1"}));
    EXPECT_EQ(rows["127.0.0.4"][0], "(not a hub)");
    EXPECT_TRUE(rows["127.0.0.4"][1].startsWith("open 127.0.0.4: ")) << rows["127.0.0.4"][1].toStdString();
    EXPECT_EQ(dlg->GetIpv4(kAddress), (Ipv4Octets{127, 0, 0, 5}));
    EXPECT_TRUE(dlg->IsChecked(kEthernet));
    EXPECT_TRUE(dlg->IsEnabled(kAddress));
    ClickControl(*dlg, kConnect);
    ASSERT_FALSE(m_services.Messages().empty());
    EXPECT_EQ(m_services.Messages().back().strText, "Success open port.");
    EXPECT_EQ(dlg->GetText(kModel), "VX-H300");
}

TEST_F(BackupSearchHubTest, StopEndsTheSearchAndACloseWaitsForTheAddressBeingAsked) {
    // Two silent listeners on one port: whichever is asked first, the other never is.
    uint16_t wPort = 0;
    {
        CHubSimFixture hub(At("127.0.0.6"));  // only to learn a free port
        wPort = hub.Port();
    }
    CSilentListener a("127.0.0.2", wPort), b("127.0.0.3", wPort);
    ASSERT_TRUE(a.Listening() && b.Listening());
    SUtilityOptions options;
    options.nTcpPort = wPort;
    auto dlg = MakeMain(options, "ZamoCfg");
    dlg->SetSearchRanges([] { return QStringLiteral("127.0.0.2/31"); });
    m_services.SetModalHandler([&](QDialog& modal) {
        auto& find = WindowOf<CFindHubsLogic>(modal);
        ClickDuringJob(find, find_ids::kSearch);
        EXPECT_TRUE(WaitFor([&] { return dlg->Worker().IsBusy(); }, 5s)) << "an address is being asked";
        ClickDuringJob(find, find_ids::kStop);
        EXPECT_EQ(find.GetText(find_ids::kStatus), "Stopping…");
        EXPECT_FALSE(find.IsEnabled(find_ids::kSearch));
        ClickDuringJob(find, find_ids::kClose);
        EXPECT_TRUE(find.isVisible()) << "the close waits for the session under way";
        EXPECT_TRUE(WaitFor([&] { return !find.isVisible(); }, 15s));
        EXPECT_EQ(find.GetText(find_ids::kStatus), "Stopped after 2 of 2 addresses: no hub found.");
        EXPECT_EQ(find.ListRowCount(find_ids::kList), 1);
        return find.result();
    });
    ClickControl(*dlg, kFindHubs);
    EXPECT_EQ(m_services.ModalRuns(), std::vector<QString>{"148"});
    EXPECT_FALSE(dlg->Worker().IsBusy()) << "the library thread is free again";
    EXPECT_FALSE(dlg->IsBusy());
    EXPECT_EQ(dlg->GetIpv4(kAddress), (Ipv4Octets{192, 168, 0, 17})) << "nothing chosen";
}
