// vexalcfg as a user runs it, against simulated hubs: output, writes seen by
// the hub, refusals that send nothing, backup and restore, many hubs, scan.
#include "HubSimFixture.h"
#include "tools/ToolSystem.h"

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

using nlohmann::json;
using vexal::tools::kMaxTextFileSize;
using vexal::tools::RunProcess;
using vexal::tools::SProcessResult;

namespace {

SProcessResult Tool(std::vector<std::string> args) {
    args.insert(args.begin(), VEXALCFG_BINARY);
    return RunProcess(args);
}

std::string Target(const CHubSimFixture& hub) { return hub.Address() + ":" + std::to_string(hub.Port()); }

SProcessResult RunOn(const CHubSimFixture& hub, std::vector<std::string> args) {
    args.insert(args.begin(), {"--ethernet", Target(hub)});
    return Tool(args);
}

json State(CHubSimFixture& hub, const std::string& strPath) {
    const std::string strAnswer = hub.Control("GET " + strPath);
    EXPECT_EQ(strAnswer.rfind("OK ", 0), 0u) << strAnswer;
    json value = json::parse(strAnswer.substr(3), nullptr, false);
    return value.is_discarded() ? json(strAnswer.substr(3)) : value;  // texts come back bare
}

long Frames(CHubSimFixture& hub) { return std::stol(hub.Control("FRAMES").substr(3)); }

// The hub's write commands among the payloads device 0 received ("OK 50 51 D301 ...").
bool SawWrite(CHubSimFixture& hub) {
    std::istringstream payloads(hub.Control("RX 0").substr(2));
    for (std::string p; payloads >> p;)
        for (const char* psz : {"14", "59", "25", "21", "D1", "D3", "D5", "D7", "0F", "02", "41", "42", "43"})
            if (p.compare(0, 2, psz) == 0) return true;
    return false;
}

std::string TempPath(const std::string& strName) {
    return ::testing::TempDir() + "vexalcfg-" + std::to_string(::getpid()) + "-" + strName;
}

CHubSimFixture::Options At(const std::string& strAddress, uint16_t nPort = 0) {
    CHubSimFixture::Options o;
    o.strListenAddress = strAddress;
    o.nListenPort = nPort;
    return o;
}

}  // namespace

TEST(VexalCfgHub, InfoShowAndGetDescribeTheHubAsTablesAndJson) {
    CHubSimFixture hub;
    auto r = RunOn(hub, {"info"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_NE(r.strStdout.find("model        VX-H400_VXL"), std::string::npos) << r.strStdout;
    EXPECT_NE(r.strStdout.find("  10   Local Printer  5a4d  0e28"), std::string::npos) << r.strStdout;
    r = RunOn(hub, {"--json", "info"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    json info = json::parse(r.strStdout);
    EXPECT_EQ(info["firmware"], "2.10.3");
    EXPECT_EQ(info["device_ids"], json({10, 20, 100, 101}));
    EXPECT_EQ(info["usb_devices"][1], "5a4d&1200");
    EXPECT_EQ(info["devices"][1]["type"], "HID Input");

    r = RunOn(hub, {"show", "--json"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    json s = json::parse(r.strStdout)["settings"];
    EXPECT_EQ(s["bluetooth"]["name"], "VexalHub");
    EXPECT_EQ(s["bluetooth"]["encryption"], true);
    EXPECT_EQ(s["lan"]["mac"], "00:1b:5f:40:12:7a");
    EXPECT_EQ(s["lan"]["dhcp"], false);
    EXPECT_EQ(s["wlan"]["auth"], "wpa2-psk");
    EXPECT_EQ(s["wlan"]["psk"], "vexal-demo-key");
    EXPECT_EQ(s["wlan"]["device_name"], "VexalHub-WLAN");
    EXPECT_EQ(s["netproto"]["ro_community"], "public");
    EXPECT_EQ(s["usage"]["wlan"], "on");
    EXPECT_EQ(s["serial"]["101"]["baud"], "9600");
    EXPECT_EQ(s["custom"].size(), 10u);
    r = RunOn(hub, {"show"});
    EXPECT_NE(r.strStdout.find("LAN (lan)\n  mac      00:1b:5f:40:12:7a\n  dhcp     off\n  ip       192.168.0.10\n"),
              std::string::npos)
        << r.strStdout;
    r = RunOn(hub, {"get", "netproto"});
    EXPECT_EQ(r.strStdout, "telnet        on\nsnmp          off\nro_community  public\nrw_community  private\n");
}

TEST(VexalCfgHub, SetChangesOnlyTheGivenKeysAndTheHubHoldsThem) {
    CHubSimFixture hub;
    auto r = RunOn(hub, {"set", "lan", "ip=10.0.0.5", "dhcp=on"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(r.strStdout.substr(0, r.strStdout.find('\n')), "set: dhcp off -> on, ip 192.168.0.10 -> 10.0.0.5");
    EXPECT_EQ(State(hub, "lan.ip"), "10.0.0.5");
    EXPECT_EQ(State(hub, "lan.dhcp"), 1);
    EXPECT_EQ(State(hub, "lan.mask"), "255.255.255.0");
    ASSERT_EQ(RunOn(hub, {"set", "bluetooth", "name=Front Desk", "mode=3"}).nExitStatus, 0);
    EXPECT_EQ(State(hub, "bluetooth.name"), "Front Desk");
    EXPECT_EQ(hub.Control("GET bluetooth.mode"), "OK 3");
    EXPECT_EQ(State(hub, "bluetooth.pin"), "0000");
    ASSERT_EQ(RunOn(hub, {"set", "serial", "100", "baud=115200", "parity=even"}).nExitStatus, 0);
    EXPECT_EQ(State(hub, "serial.100"), json({6, 1, 0, 1}));
    r = RunOn(hub, {"--json", "set", "wlan", "auth=open"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(json::parse(r.strStdout)["values"]["cipher"], "none");
    EXPECT_EQ(State(hub, "wlan.auth"), 0);
    EXPECT_EQ(State(hub, "wlan.ssid"), "ShopFloor");
    ASSERT_EQ(RunOn(hub, {"set", "netproto", "rw_community=till-2"}).nExitStatus, 0);
    EXPECT_EQ(State(hub, "snmp_rw"), "till-2");
    ASSERT_EQ(RunOn(hub, {"set", "usage", "wlan=off"}).nExitStatus, 0);
    EXPECT_EQ(State(hub, "interfaces.wlan"), 0);

    r = RunOn(hub, {"--json", "custom", "add", "MSR", "1a2B", "00ff"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(json::parse(r.strStdout)["status"], 0);
    r = RunOn(hub, {"custom", "add", "msr", "1a2b", "00ff"});
    EXPECT_EQ(r.nExitStatus, 1);
    EXPECT_NE(r.strStderr.find("Fail-OverlapID"), std::string::npos) << r.strStderr;
    r = RunOn(hub, {"--json", "custom", "list", "msr"});
    EXPECT_EQ(json::parse(r.strStdout)["custom"], json({{"msr", {"1a2b&00ff"}}}));
    ASSERT_EQ(RunOn(hub, {"custom", "delete", "2", "1a2b", "00ff"}).nExitStatus, 0);
    EXPECT_EQ(State(hub, "custom_devices.types.2"), json::array());
}

TEST(VexalCfgHub, ValuesTheHubHoldsWithoutANameGoBackAsReadUnlessSet) {
    CHubSimFixture hub;
    hub.Control("SET bluetooth.encryption 2");
    hub.Control("SET bluetooth.mode 7");
    auto r = RunOn(hub, {"--json", "get", "bluetooth"});
    EXPECT_EQ(json::parse(r.strStdout)["values"]["mode"], "1");  // shown as the hub's lists read it
    ASSERT_EQ(RunOn(hub, {"set", "bluetooth", "pin=4711"}).nExitStatus, 0);
    EXPECT_EQ(hub.Control("GET bluetooth.encryption"), "OK 2");
    EXPECT_EQ(hub.Control("GET bluetooth.mode"), "OK 7");
    EXPECT_EQ(hub.Control("GET bluetooth.pin"), "OK 4711");
    ASSERT_EQ(RunOn(hub, {"set", "bluetooth", "mode=2"}).nExitStatus, 0);
    EXPECT_EQ(hub.Control("GET bluetooth.mode"), "OK 2");
    // A WLAN byte without a name goes back as read, through a set and through a backup and restore.
    hub.Control("SET wlan.cipher 9");
    r = RunOn(hub, {"set", "wlan", "ssid=Lab"});
    EXPECT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(State(hub, "wlan.ssid"), "Lab");
    EXPECT_EQ(State(hub, "wlan.cipher"), 9);
    const std::string strFile = TempPath("unnamed.json");
    r = RunOn(hub, {"--json", "backup", strFile});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(json::parse(r.strStdout)["complete"], true);
    hub.Control("SET wlan.cipher 3");
    r = RunOn(hub, {"--json", "restore", strFile});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(State(hub, "wlan.cipher"), 9);
    std::remove(strFile.c_str());
}

TEST(VexalCfgHub, SecretsShowOnlyWhereTheUserAsksForThem) {
    CHubSimFixture hub;
    const std::vector<std::string> secrets = {"Pin-4b1d",  "Psk-Known-7f3a9", "Ro-5e2a-c",
                                              "Rw-9c4f-c", "Pin-new-2",       "Rw-new-8d21"};
    for (const char* psz : {"SET bluetooth.pin Pin-4b1d", "SET wlan.psk Psk-Known-7f3a9", "SET snmp_ro Ro-5e2a-c",
                            "SET snmp_rw Rw-9c4f-c"})
        ASSERT_EQ(hub.Control(psz), "OK") << psz;
    // get and show are asked for the values.
    auto r = RunOn(hub, {"get", "wlan"});
    EXPECT_NE(r.strStdout.find("psk           Psk-Known-7f3a9"), std::string::npos) << r.strStdout;
    EXPECT_NE(RunOn(hub, {"--json", "show"}).strStdout.find("Rw-9c4f-c"), std::string::npos);
    // Nothing else shows them: set, restore, their JSON and their messages.
    const std::string strFile = TempPath("secrets.json");
    std::string strSeen;
    auto run = [&](std::vector<std::string> args) {
        const auto result = RunOn(hub, args);
        strSeen += result.strStdout + result.strStderr;
        return result;
    };
    r = run({"set", "wlan", "ssid=Lab"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_NE(r.strStdout.find("psk           ********\n"), std::string::npos) << r.strStdout;
    ASSERT_EQ(run({"backup", strFile}).nExitStatus, 0);
    struct stat info {};
    ASSERT_EQ(::stat(strFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the backup holds the secrets";
    r = run({"--json", "set", "bluetooth", "pin=Pin-new-2"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(json::parse(r.strStdout)["changed"][0],
              json({{"key", "pin"}, {"from", "********"}, {"to", "******** (changed)"}, {"read_only", false}}));
    EXPECT_EQ(State(hub, "bluetooth.pin"), "Pin-new-2");
    ASSERT_EQ(run({"set", "netproto", "rw_community=Rw-new-8d21"}).nExitStatus, 0);
    r = run({"restore", strFile, "--dry-run"});
    EXPECT_NE(r.strStdout.find("pin ******** -> ******** (changed)"), std::string::npos) << r.strStdout;
    ASSERT_EQ(run({"--json", "restore", strFile}).nExitStatus, 0);
    EXPECT_EQ(State(hub, "bluetooth.pin"), "Pin-4b1d");
    for (const auto& strSecret : secrets) EXPECT_EQ(strSeen.find(strSecret), std::string::npos) << strSecret;
    r = Tool({"--help"});
    EXPECT_NE(r.strStdout.find("get and show print them as the hub holds them"), std::string::npos) << r.strStdout;
    std::remove(strFile.c_str());
}

TEST(VexalCfgHub, RefusedValuesSendNothingToTheHub) {
    CHubSimFixture hub;
    const long nBefore = Frames(hub);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"set", "bluetooth", "pin=123"},
                                                 {"set", "lan", "ip=10.0.0.300"},
                                                 {"set", "wlan", "psk=short"},
                                                 {"set", "lan", "colour=red"},
                                                 {"custom", "add", "msr", "1a2", "00ff"},
                                                 {"set", "serial", "99", "baud=9600"}}) {
        auto r = RunOn(hub, args);
        EXPECT_EQ(r.nExitStatus, 2) << args[1] << " " << args.back();
        EXPECT_EQ(r.strStderr.rfind("vexalcfg: ", 0), 0u) << r.strStderr;
    }
    EXPECT_EQ(Frames(hub), nBefore);  // not even connected
    // A rule that needs the hub's other values: read, refuse, write nothing.
    hub.Control("RX CLEAR");
    auto r = RunOn(hub, {"set", "wlan", "auth=shared"});
    EXPECT_EQ(r.nExitStatus, 2);
    EXPECT_NE(r.strStderr.find("wlan wep_key: WEP key must be 5 or 13 characters (nothing written)"), std::string::npos)
        << r.strStderr;
    EXPECT_NE(hub.Control("RX 0").find(" 2000"), std::string::npos);  // it did read
    EXPECT_FALSE(SawWrite(hub)) << hub.Control("RX 0");
    // The hub's own refusal is reported with its meaning.
    r = RunOn(hub, {"set", "usage", "bluetooth=off", "lan=off", "wlan=off"});
    EXPECT_EQ(r.nExitStatus, 1);
    EXPECT_NE(r.strStderr.find("would block every interface"), std::string::npos) << r.strStderr;
    // Usage errors and help.
    EXPECT_EQ(Tool({"frobnicate"}).nExitStatus, 2);
    EXPECT_EQ(Tool({"show"}).nExitStatus, 2);
    r = Tool({"set", "--help"});
    EXPECT_EQ(r.nExitStatus, 0);
    EXPECT_NE(r.strStdout.find("wep_key"), std::string::npos);
}

TEST(VexalCfgHub, BackupAndRestoreMakeASecondHubEqualAndCloneKeepsItsOwnAddresses) {
    CHubSimFixture a(At("127.0.0.1"));
    CHubSimFixture b(At("127.0.0.2"));
    for (const char* psz : {"SET bluetooth.name Till A", "SET bluetooth.pin 4711", "SET lan.ip 10.0.0.5",
                            "SET lan.gateway 10.0.0.254", "SET wlan.ip 10.0.1.5", "SET wlan.ssid Store-7",
                            "SET snmp_ro shop", "SET telnet 0", "SET serial.100 [6,1,0,2]"})
        ASSERT_EQ(a.Control(psz), "OK") << psz;
    ASSERT_EQ(RunOn(a, {"custom", "add", "scale", "0b67", "555e"}).nExitStatus, 0);
    ASSERT_EQ(b.Control("SET lan.mac 00:1B:5F:40:12:7B"), "OK");
    const std::string strFile = TempPath("a.json");
    auto r = RunOn(a, {"backup", strFile});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    std::ifstream in(strFile);
    json backup = json::parse(in);
    EXPECT_EQ(backup["format"], "vexalcfg-backup");
    EXPECT_EQ(backup["version"], 1);
    EXPECT_EQ(backup["hub"]["model"], "VX-H400_VXL");
    EXPECT_EQ(backup["settings"]["custom"]["scale"], json({"0b67&555e"}));

    b.Control("RX CLEAR");
    r = RunOn(b, {"restore", strFile, "--dry-run"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_NE(r.strStdout.find("would write"), std::string::npos) << r.strStdout;
    EXPECT_FALSE(SawWrite(b)) << b.Control("RX 0");

    r = RunOn(b, {"--json", "restore", strFile, "--clone"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(State(b, "lan.ip"), "192.168.0.10");
    EXPECT_EQ(State(b, "wlan.ip"), "192.168.1.50");
    EXPECT_EQ(State(b, "bluetooth.name"), "VexalHub");
    EXPECT_EQ(b.Control("GET bluetooth.pin"), "OK 4711");
    EXPECT_EQ(State(b, "lan.gateway"), "10.0.0.254");
    EXPECT_EQ(State(b, "wlan.ssid"), "Store-7");
    EXPECT_EQ(State(b, "serial.100"), json({6, 1, 0, 2}));

    r = RunOn(b, {"restore", strFile, "--only", "lan,bluetooth"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_NE(r.strStdout.find("mac 00:1b:5f:40:12:7b -> 00:1b:5f:40:12:7a (read-only, not written)"),
              std::string::npos)
        << r.strStdout;
    EXPECT_EQ(State(b, "lan.mac"), "00:1B:5F:40:12:7B");
    r = RunOn(b, {"restore", strFile});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    auto settings = [](const SProcessResult& shown) {
        json s = json::parse(shown.strStdout)["settings"];
        s["lan"].erase("mac");
        return s;
    };
    EXPECT_EQ(settings(RunOn(a, {"--json", "show"})), settings(RunOn(b, {"--json", "show"})));
    std::remove(strFile.c_str());
}

TEST(VexalCfgHub, BadFilesAndValuesAreRefusedWithTheirPlaceBeforeAnythingIsWritten) {
    CHubSimFixture hub;
    const std::string strBase = TempPath("base.json");
    ASSERT_EQ(RunOn(hub, {"backup", strBase}).nExitStatus, 0);
    std::ifstream in(strBase);
    const std::string strBackup((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(hub.Control("SET lan.ip 10.9.9.9"), "OK");  // a restore that went on would write
    auto with = [&](const std::string& strFrom, const std::string& strTo) {
        std::string strText = strBackup;
        const size_t n = strText.find(strFrom);
        EXPECT_NE(n, std::string::npos) << strFrom;
        return n == std::string::npos ? strText : strText.replace(n, strFrom.size(), strTo);
    };
    const std::string strFolder = TempPath("folder"), strFifo = TempPath("fifo");
    ASSERT_EQ(::mkdir(strFolder.c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);  // read, it would wait for a writer forever
    const std::string strDeep = R"({"format": "vexalcfg-backup", "version": 1, "settings": {"lan": )" +
                                std::string(20000, '[') + std::string(20000, ']') + "}}";
    const std::string strLong(100000, 'x');
    struct SCase {
        std::vector<std::string> args;  // FILE stands for the case's file
        std::string strContent;         // written to the file, unless it is the folder or the FIFO
        int nExit;
        std::string strMessage;
        bool bReadsHub = false;  // the hub is read, but nothing is written
    };
    const std::vector<SCase> cases = {
        {{"restore", TempPath("missing.json")}, "", 1, TempPath("missing.json") + ": cannot read: No such file"},
        {{"restore", strFolder}, "", 1, strFolder + ": is a directory"},
        {{"--hosts", strFolder, "show"}, "", 1, strFolder + ": is a directory"},
        {{"restore", strFifo}, "", 1, strFifo + ": not a regular file"},
        {{"--hosts", strFifo, "show"}, "", 1, strFifo + ": not a regular file"},
        {{"restore", "FILE"}, std::string(kMaxTextFileSize, ' ') + strBackup, 1, ": larger than 16 MiB"},
        {{"restore", "FILE"}, " \n", 1, ": empty, not a backup"},
        {{"restore", "FILE"}, strBackup.substr(0, strBackup.size() * 2 / 3), 1, ": not a valid backup (syntax error"},
        // A bad group is refused alone: the hub is read, the group not written.
        {{"restore", "FILE"},
         with("\"192.168.0.10\"", "\"192.168.0.999\""),
         1,
         ": restore lan: refused: settings.lan.ip: '192.168.0.999' is not an IPv4 address",
         true},
        {{"restore", "FILE"}, strBackup + std::string("\0{}", 3), 1, ": not a valid backup (a NUL byte)"},
        {{"restore", "FILE"},
         with("\"VX-H400_VXL\"", "\"Caf\xE9\""),
         1,
         "(syntax error while parsing value - invalid string: ill-formed UTF-8 byte; last read: '\"Caf\\xE9"},
        {{"restore", "FILE"},
         with("\"version\": 1", "\"version\": 4294967297"),
         1,
         ": version: 4294967297 is not supported"},
        {{"restore", "FILE"}, strDeep, 1, ": restore lan: refused: settings.lan: expected an object", true},
        {{"restore", "FILE"},
         with("\"00:1b:5f:40:12:7a\"", "\"\\u001b[2J\""),
         1,
         ": restore lan: refused: settings.lan.mac: control characters are not allowed",
         true},
        {{"restore", "FILE", "--only", "netproto"},
         with("\"ro_community\": \"public\"", "\"ro_community\": \"" + std::string(5000, 'c') + "\""),
         1,
         "netproto ro_community: maximum length is 4095",
         true},
        {{"--hosts", "FILE", "show"},
         Target(hub) + "\n" + std::string("127.0.0.2\0junk\n", 15),
         1,
         "FILE:2: '127.0.0.2\\x00junk' is not an address"},
        {{"--hosts", "FILE", "show"},
         Target(hub) + "\n" + strLong + "\n" + Target(hub) + "\n",
         1,
         "FILE:2: '" + strLong.substr(0, 80) + "...' is not an address"},
        {{"set", "netproto", "ro_community=" + std::string(4096, 'c')},
         "",
         2,
         "set netproto ro_community: maximum length is 4095"},
    };
    const std::string strFile = TempPath("case.txt");
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.strMessage.substr(0, 60));
        std::ofstream(strFile, std::ios::binary | std::ios::trunc) << c.strContent;
        std::vector<std::string> args = c.args;
        std::replace(args.begin(), args.end(), std::string("FILE"), strFile);
        if (args[0] != "--hosts") args.insert(args.begin(), {"--ethernet", Target(hub)});
        std::string strMessage = c.strMessage;
        if (const size_t n = strMessage.find("FILE"); n != std::string::npos) strMessage.replace(n, 4, strFile);
        hub.Control("RX CLEAR");
        const long nFrames = Frames(hub);
        const auto r = Tool(args);
        const std::string strShown = r.strStderr.substr(0, 400);
        EXPECT_EQ(r.nExitStatus, c.nExit) << strShown;
        EXPECT_NE(r.strStderr.find(strMessage), std::string::npos) << strShown;
        EXPECT_LT(r.strStderr.size(), 400u) << "one short line, whatever the file holds";
        EXPECT_FALSE(SawWrite(hub)) << hub.Control("RX 0").substr(0, 400);
        if (!c.bReadsHub) {
            EXPECT_EQ(Frames(hub), nFrames) << "not even connected";
        }
    }
    EXPECT_EQ(State(hub, "lan.ip"), "10.9.9.9");
    EXPECT_EQ(State(hub, "snmp_ro"), "public");
    for (const auto& f : {strBase, strFile, strFolder, strFifo}) std::remove(f.c_str());
}

TEST(VexalCfgHub, HostsRunsEveryHubAndOneFailureStopsNoOther) {
    CHubSimFixture a(At("127.0.0.1")), b(At("127.0.0.2")), c(At("127.0.0.3"));
    ASSERT_EQ(b.Control("FAULT SILENT ON").rfind("OK", 0), 0u);
    const std::string strHosts = TempPath("hosts.txt");
    std::ofstream(strHosts) << "# three tills\n"
                            << Target(a) << "\n\n"
                            << Target(b) << "  # silent\n"
                            << Target(c) << "\n";
    auto r = Tool({"--hosts", strHosts, "--jobs", "3", "--timeout", "1", "get", "lan"});
    EXPECT_EQ(r.nExitStatus, 1) << r.strStderr;
    EXPECT_NE(r.strStdout.find(Target(a) + "  ok"), std::string::npos) << r.strStdout;
    EXPECT_NE(r.strStdout.find(Target(b) + "  FAILED  open " + Target(b)), std::string::npos) << r.strStdout;
    EXPECT_NE(r.strStdout.find("3 hubs: 2 succeeded, 1 failed"), std::string::npos) << r.strStdout;
    r = Tool({"--hosts", strHosts, "--timeout", "1", "--json", "get", "lan"});
    json list = json::parse(r.strStdout);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]["ok"], true);
    EXPECT_EQ(list[0]["result"]["values"]["ip"], "192.168.0.10");
    EXPECT_EQ(list[1]["ok"], false);
    EXPECT_EQ(list[2]["ok"], true);
    std::ofstream(strHosts) << "127.0.0.1\nnot-an-address\n";
    r = Tool({"--hosts", strHosts, "show"});
    EXPECT_EQ(r.nExitStatus, 1);
    EXPECT_NE(r.strStderr.find(strHosts + ":2: 'not-an-address'"), std::string::npos) << r.strStderr;
    std::remove(strHosts.c_str());
}

TEST(VexalCfgHub, ScanFindsTheHubsInARange) {
    CHubSimFixture first(At("127.0.0.2"));
    CHubSimFixture second(At("127.0.0.5", first.Port()));
    auto r = Tool({"--json", "scan", "127.0.0.0/29", "--port", std::to_string(first.Port())});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    json scan = json::parse(r.strStdout);
    EXPECT_EQ(scan["scanned"], 6);
    std::vector<std::string> found;
    for (const auto& h : scan["hubs"]) {
        found.push_back(h["address"]);
        EXPECT_EQ(h["model"], "VX-H400_VXL") << h["address"] << ": " << h["firmware"];
    }
    EXPECT_NE(std::find(found.begin(), found.end(), "127.0.0.2"), found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), "127.0.0.5"), found.end());
    EXPECT_EQ(std::find(found.begin(), found.end(), "127.0.0.4"), found.end());
    EXPECT_EQ(Tool({"scan", "127.0.0.0/21"}).nExitStatus, 2);
}

TEST(VexalCfgHub, ScanWritesThePrometheusTargetsOnlyWhenItCouldLookEverywhere) {
    CHubSimFixture first(At("127.0.0.34"));
    CHubSimFixture second(At("127.0.0.37", first.Port()));
    ASSERT_EQ(second.Control("SET model VX-H410_HMX-T302"), "OK");
    const std::string strPort = std::to_string(first.Port());
    const std::string strFile = TempPath("targets.json");
    auto scan = [&](const std::string& strRange) {
        return Tool({"scan", strRange, "--port", strPort, "--connect-timeout", "200", "--prometheus-sd", strFile});
    };
    auto r = scan("127.0.0.32/29");
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    std::string strText, e;
    ASSERT_TRUE(vexal::tools::ReadTextFile(strFile, strText, e)) << e;
    EXPECT_EQ(json::parse(strText), json::parse(R"([
        {"targets": ["127.0.0.34:)" + strPort + R"("], "labels": {"model": "VX-H400_VXL"}},
        {"targets": ["127.0.0.37:)" + strPort + R"("], "labels": {"model": "VX-H410_HMX-T302"}}])"));
    struct stat info {};
    ASSERT_EQ(::stat(strFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u) << "Prometheus must read it";

    // A failed scan leaves the list as it was: an unroutable range, a bad one.
    r = scan("224.0.0.0/30");
    EXPECT_EQ(r.nExitStatus, 1);
    // Whichever address of the range failed first is named (they are tried at once).
    const size_t nNamed = r.strStderr.find("scan: 224.0.0.");
    ASSERT_NE(nNamed, std::string::npos) << r.strStderr;
    EXPECT_EQ(r.strStderr.find(": Network is unreachable (nothing written)", nNamed), nNamed + 15) << r.strStderr;
    EXPECT_EQ(scan("127.0.0.0/21").nExitStatus, 2);
    std::string strAfter;
    ASSERT_TRUE(vexal::tools::ReadTextFile(strFile, strAfter, e)) << e;
    EXPECT_EQ(strAfter, strText);
    // A scan that finds nothing empties it, so that Prometheus drops the targets;
    // the broadcast address of the PC's own network (127.255.255.255 on lo) is no failure.
    r = scan("127.255.255.254/31");
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    ASSERT_TRUE(vexal::tools::ReadTextFile(strFile, strAfter, e)) << e;
    EXPECT_EQ(strAfter, "[]\n");
    std::remove(strFile.c_str());
}

TEST(VexalCfgHub, SerialDevicePathReachesTheHubOnItsPty) {
    CHubSimFixture::Options o;
    o.bPty = true;
    CHubSimFixture hub(o);
    auto r = Tool({"--serial", hub.PtyPath() + ":9600", "--json", "info"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(json::parse(r.strStdout)["model"], "VX-H400_VXL");
    r = Tool({"--serial", hub.PtyPath(), "get", "bluetooth"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_NE(r.strStdout.find("name          VexalHub"), std::string::npos) << r.strStdout;

    // The path goes down as it stands: nothing is linked (no temporary folder
    // can be made) and the device directory, whose COM1 dangles, is not asked.
    const std::string strDir = TempPath("devices");
    ASSERT_EQ(::mkdir(strDir.c_str(), 0700), 0);
    ASSERT_EQ(::symlink("gone", (strDir + "/COM1").c_str()), 0);
    r = RunProcess({"/usr/bin/env", "TMPDIR=" + strDir + "/missing", "VEXAL_DEVICE_DIR=" + strDir, VEXALCFG_BINARY,
                    "--serial", hub.PtyPath() + ":9600", "--json", "info"});
    EXPECT_EQ(r.nExitStatus, 0) << r.strStderr;
    std::remove((strDir + "/COM1").c_str());
    ::rmdir(strDir.c_str());
}
