// vexalcfg status, watch, send and recv as a user runs them, against the
// simulator over TCP, its pty and the simulated USB bus: what they print,
// what reaches the devices, the refusals that send nothing, and a watch that
// outlives a hub which drops the link, falls silent or sends garbage.
#include "HubSimFixture.h"
#include "ToolChild.h"
#include "tools/ToolSystem.h"

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

using nlohmann::json;
using vexal::tools::RunProcess;
using vexal::tools::SProcessResult;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

std::string TempPath(const std::string& strName) {
    return ::testing::TempDir() + "vexalcfg-dev-" + std::to_string(::getpid()) + "-" + strName;
}

void WriteFile(const std::string& strPath, const std::string& strData) {
    std::ofstream(strPath, std::ios::binary) << strData;
}

// The tool as a child whose lines are read as they come.
class CChild : public CToolChild {
public:
    explicit CChild(std::vector<std::string> args) : CToolChild(WithTool(std::move(args))) {}
    std::optional<std::string> Line(std::chrono::milliseconds limit = 10s) { return CToolChild::Line(limit); }
    // Reads JSON lines until one matches; nullopt when none did in time.
    std::optional<json> Until(const std::function<bool(const json&)>& pred, std::chrono::milliseconds limit = 10s) {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline) {
            const auto line = Line(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
            if (!line) break;
            json doc = json::parse(*line, nullptr, false);
            if (doc.is_discarded()) ADD_FAILURE() << "not JSON: " << *line;
            if (!doc.is_discarded() && pred(doc)) return doc;
        }
        return std::nullopt;
    }
    void Interrupt() { Signal(SIGINT); }

private:
    static std::vector<std::string> WithTool(std::vector<std::string> args) {
        args.insert(args.begin(), VEXALCFG_BINARY);
        return args;
    }
};

SProcessResult Tool(std::vector<std::string> args) {
    args.insert(args.begin(), VEXALCFG_BINARY);
    return RunProcess(args);
}

auto Event(const std::string& strEvent, int nId = -1) {
    return [strEvent, nId](const json& e) { return e["event"] == strEvent && (nId < 0 || e.value("id", -1) == nId); };
}

// The three links the simulator offers, each as the tool names it.
enum class ELink { Tcp, Pty, Usb };

class DeviceCommands : public ::testing::TestWithParam<ELink> {
protected:
    void SetUp() override {
        SHubSimOptions options;
        if (GetParam() == ELink::Pty) options.bPty = true;
        if (GetParam() == ELink::Usb) {
            m_strUsbDir = TempPath("usb");
            ::mkdir(m_strUsbDir.c_str(), 0700);
            ::setenv("VEXAL_USB_SIM_DIR", m_strUsbDir.c_str(), 1);
            options.strUsbSimDir = m_strUsbDir;
        }
        m_pHub = std::make_unique<CHubSimFixture>(options);
    }
    void TearDown() override {
        m_pHub.reset();
        ::unsetenv("VEXAL_USB_SIM_DIR");
        if (!m_strUsbDir.empty()) ::rmdir(m_strUsbDir.c_str());
    }
    std::vector<std::string> On(std::vector<std::string> args) const {
        std::vector<std::string> link;
        switch (GetParam()) {
        case ELink::Tcp: link = {"--ethernet", m_pHub->Address() + ":" + std::to_string(m_pHub->Port())}; break;
        case ELink::Pty: link = {"--serial", m_pHub->PtyPath() + ":115200"}; break;
        case ELink::Usb: link = {"--usb"}; break;
        }
        args.insert(args.begin(), link.begin(), link.end());
        return args;
    }
    std::string Control(const std::string& strLine) { return m_pHub->Control(strLine); }

    std::unique_ptr<CHubSimFixture> m_pHub;
    std::string m_strUsbDir;
};

}  // namespace

TEST_P(DeviceCommands, StatusWatchSendAndRecvOverTheLink) {
    auto r = Tool(On({"--json", "status"}));
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    json status = json::parse(r.strStdout);
    EXPECT_EQ(status["model"], "VX-H400_VXL");
    EXPECT_EQ(status["firmware"], "2.10.3");
    EXPECT_EQ(status["link"], "on-line");
    EXPECT_EQ(status["devices"][0], json({{"id", 10}, {"vid", "5a4d"}, {"pid", "0e28"}, {"type", nullptr}}));
    EXPECT_EQ(status["devices"].size(), 4u);
    EXPECT_EQ(status["printers"], json::parse(R"([{"id": 10, "record": "10000000", "reasons": ["none"]}])"));

    // A watch sees what happens to the devices while it runs.
    ASSERT_EQ(Control("SET custom_devices.types.2 [\"1234&abcd\"]"), "OK");
    {
        CChild watch(On({"--json", "watch"}));
        const auto first = watch.Line();
        ASSERT_TRUE(first);
        EXPECT_EQ(json::parse(*first)["event"], "link");
        ASSERT_TRUE(watch.Until(Event("status", 10)));  // the picture when it began, its last line
        ASSERT_EQ(Control("PLUG 40 echo 1234 ABCD"), "OK");
        const auto added = watch.Until(Event("device-added", 40));
        ASSERT_TRUE(added);
        EXPECT_EQ((*added)["vid"], "1234");
        EXPECT_EQ((*added)["pid"], "abcd");
        EXPECT_EQ((*added)["type"], "msr");  // the custom table lists it under type 2
        ASSERT_EQ(Control("PRINTER 10 PAPER LOW").rfind("OK", 0), 0u);
        const auto low = watch.Until(Event("status", 10));
        ASSERT_TRUE(low);
        EXPECT_EQ((*low)["record"], "10000300");
        EXPECT_EQ((*low)["reasons"], json({"media-low"}));
        ASSERT_EQ(Control("ALARM WRITE 10 4"), "OK");
        const auto alarm = watch.Until(Event("alarm", 10));
        ASSERT_TRUE(alarm);
        EXPECT_EQ((*alarm)["alarm"], 1203);
        EXPECT_EQ((*alarm)["detail"], "write-timeout");
        ASSERT_EQ(Control("UNPLUG 40"), "OK");
        ASSERT_TRUE(watch.Until(Event("device-removed", 40)));
        watch.Interrupt();
        EXPECT_EQ(watch.Wait(5s), 0);
        for (const auto& line : watch.Lines())
            EXPECT_NE(json::parse(line)["time"].get<std::string>().find('Z'), std::string::npos) << line;
    }

    // Sent in frames, in order: the paper runs out within the piece.
    std::string strData(5000, '\0');
    for (size_t i = 0; i < strData.size(); ++i) strData[i] = static_cast<char>(i * 7);
    const std::string strFile = TempPath("receipt.bin");
    WriteFile(strFile, strData);
    ASSERT_EQ(Control("RX CLEAR"), "OK");
    ASSERT_EQ(Control("PRINTER 10 PAPER OUT AFTER 4500").rfind("OK", 0), 0u);
    r = Tool(On({"send", "10", strFile}));
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(r.strStdout, "sent 5000 bytes to device 10\n");
    std::istringstream payloads(Control("RX 10").substr(3));
    std::string strReceived, strHex;
    while (payloads >> strHex)
        for (size_t i = 0; i + 1 < strHex.size(); i += 2)
            strReceived.push_back(static_cast<char>(std::stoi(strHex.substr(i, 2), nullptr, 16)));
    EXPECT_EQ(strReceived, strData);
    r = Tool(On({"--json", "status"}));
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(json::parse(r.strStdout)["printers"][0]["reasons"], json({"offline-report", "media-low", "media-empty"}));

    // The off-line printer's alarm ends the send, named.
    ASSERT_EQ(Control("PRINTER 10 OFFLINE-ALARM 2").rfind("OK", 0), 0u);
    r = Tool(On({"send", "10", strFile}));
    EXPECT_EQ(r.nExitStatus, 1);
    EXPECT_NE(r.strStderr.find("write alarm 1202 (device-offline)"), std::string::npos) << r.strStderr;
    std::remove(strFile.c_str());

    // A scanner's reads, as they come: once the first arrives, none lost or
    // doubled. Read n is the two bytes n0 n1 (n from 0 to 9, round again).
    ASSERT_EQ(Control("PLUG 40 echo"), "OK");
    {
        CChild recv(On({"recv", "40", "--hex", "--for", "20"}));
        std::vector<int> bytes;
        auto take = [&bytes](const std::string& strLine) {
            std::istringstream in(strLine);
            for (std::string strByte; in >> strByte;) bytes.push_back(std::stoi(strByte, nullptr, 16));
        };
        for (int n = 1; n < 200 && bytes.size() < 10; ++n) {
            ASSERT_EQ(Control("SEND 40 " + std::to_string(n % 10) + "0 " + std::to_string(n % 10) + "1"), "OK");
            if (auto line = recv.Line(150ms)) take(*line);
        }
        while (auto line = recv.Line(300ms)) take(*line);
        ASSERT_GE(bytes.size(), 10u);
        ASSERT_EQ(bytes.size() % 2, 0u);
        for (size_t i = 0; i < bytes.size(); i += 2) {
            EXPECT_EQ(bytes[i + 1], bytes[i] + 1) << i;
            if (i > 0) {
                EXPECT_EQ(bytes[i] >> 4, ((bytes[i - 2] >> 4) + 1) % 10) << i;
            }
        }
        recv.Interrupt();
        EXPECT_EQ(recv.Wait(5s), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, DeviceCommands, ::testing::Values(ELink::Tcp, ELink::Pty, ELink::Usb), [](const auto& info) {
        return std::string(info.param == ELink::Tcp ? "Tcp" : info.param == ELink::Pty ? "Pty" : "Usb");
    });

TEST(DeviceCommandsInput, BadArgumentsAndFilesAreRefusedBeforeAnythingIsSent) {
    CHubSimFixture hub;
    const std::string strHub = hub.Address() + ":" + std::to_string(hub.Port());
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--ethernet", strHub});
        return Tool(args);
    };
    for (const auto& args : std::vector<std::vector<std::string>>{{"send", "0"},
                                                                  {"send", "255", "-"},
                                                                  {"send", "ten", "-"},
                                                                  {"send", "10", "a", "b"},
                                                                  {"recv", "-1"},
                                                                  {"recv", "10"},
                                                                  {"status", "extra"},
                                                                  {"watch", "--for", "0"},
                                                                  {"recv", "40", "--for", "-2"}}) {
        const auto r = run(args);
        EXPECT_EQ(r.nExitStatus, 2) << args[0] << " " << args[1] << ": " << r.strStderr;
    }
    const std::string strHosts = TempPath("hosts.txt");
    WriteFile(strHosts, strHub + "\n");
    EXPECT_EQ(Tool({"--hosts", strHosts, "watch"}).nExitStatus, 2);
    std::remove(strHosts.c_str());
    EXPECT_EQ(hub.Control("FRAMES"), "OK 0");  // none of them reached the hub

    ASSERT_EQ(hub.Control("PLUG 30 sink"), "OK");
    ASSERT_EQ(hub.Control("RX CLEAR"), "OK");
    const std::string strFifo = TempPath("fifo");
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
    auto r = run({"send", "30", strFifo});
    EXPECT_EQ(r.nExitStatus, 1);
    EXPECT_NE(r.strStderr.find("not a regular file"), std::string::npos) << r.strStderr;
    std::remove(strFifo.c_str());
    r = run({"send", "30", ::testing::TempDir()});
    EXPECT_NE(r.strStderr.find("is a directory"), std::string::npos) << r.strStderr;
    const std::string strBig = TempPath("big.bin");
    {
        std::ofstream big(strBig, std::ios::binary);
        big.seekp((16 << 20) + 1);
        big.put('x');
    }
    r = run({"send", "30", strBig});
    EXPECT_EQ(r.nExitStatus, 1);
    EXPECT_NE(r.strStderr.find("larger than 16 MiB"), std::string::npos) << r.strStderr;
    std::remove(strBig.c_str());
    const std::string strEmpty = TempPath("empty.bin");
    WriteFile(strEmpty, "");
    r = run({"send", "31", strEmpty});  // nobody at 31
    EXPECT_EQ(r.nExitStatus, 1);
    EXPECT_NE(r.strStderr.find("device 31 is not present; nothing sent"), std::string::npos) << r.strStderr;
    r = run({"--json", "send", "30", strEmpty});
    EXPECT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(json::parse(r.strStdout)["bytes"], 0);
    std::remove(strEmpty.c_str());
    EXPECT_EQ(hub.Control("RX 30"), "OK");
    EXPECT_EQ(hub.Control("RX 31"), "OK");
}

TEST(DeviceCommandsFaults, WatchOutlivesAHubThatDropsTheLinkFallsSilentOrSendsGarbage) {
    CHubSimFixture hub;
    const auto tStart = Clock::now();
    CChild watch({"--ethernet", hub.Address() + ":" + std::to_string(hub.Port()), "--json", "watch", "--for", "30"});
    ASSERT_TRUE(watch.Until(Event("status", 10)));

    // The hub closes the connection: lost and found again, and the new
    // connection reports presence again.
    ASSERT_EQ(hub.Control("KICK"), "OK");
    auto link = watch.Until(Event("link"), 15s);
    ASSERT_TRUE(link);
    EXPECT_EQ((*link)["state"], "off-line");
    link = watch.Until(Event("link"), 15s);
    ASSERT_TRUE(link);
    EXPECT_EQ((*link)["state"], "on-line");
    ASSERT_EQ(hub.Control("PLUG 12 printer"), "OK");
    ASSERT_TRUE(watch.Until(Event("device-added", 12)));
    EXPECT_TRUE(watch.Until(Event("status", 12)));  // asked for its status as it came

    // Junk between the frames costs nothing.
    ASSERT_EQ(hub.Control("FAULT GARBAGE ON"), "OK");
    ASSERT_EQ(hub.Control("PRINTER 10 COVER OPEN").rfind("OK", 0), 0u);
    const auto cover = watch.Until(Event("status", 10));
    ASSERT_TRUE(cover);
    EXPECT_EQ((*cover)["reasons"], json({"offline-report", "cover-open"}));
    ASSERT_EQ(hub.Control("FAULT CLEAR"), "OK");

    // Silent: off-line without the connection going; back when it answers.
    ASSERT_EQ(hub.Control("FAULT SILENT ON"), "OK");
    link = watch.Until(Event("link"), 15s);
    ASSERT_TRUE(link);
    EXPECT_EQ((*link)["state"], "off-line");
    ASSERT_EQ(hub.Control("FAULT SILENT OFF"), "OK");
    link = watch.Until(Event("link"), 15s);
    ASSERT_TRUE(link);
    EXPECT_EQ((*link)["state"], "on-line");
    for (const auto& line : watch.Lines()) {
        const json e = json::parse(line);
        EXPECT_FALSE(e["event"] == "device-removed") << line;  // off-line is not unplugged
    }

    // Silent again until the end: --for still ends it, cleanly.
    ASSERT_EQ(hub.Control("FAULT SILENT ON"), "OK");
    const int nExit = watch.Wait(35s);
    EXPECT_EQ(nExit, 0);
    EXPECT_LT(Clock::now() - tStart, 36s);
}
