// The pty and simulated-USB transports, the state file, and the fixture's own promises.
#include "HubSimFixture.h"
#include "RawHubClient.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A private directory per test, removed afterwards.
class CTempDir {
public:
    CTempDir() {
        std::random_device random;
        m_path =
            fs::temp_directory_path() / ("hubsim-test-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        fs::create_directories(m_path);
    }
    ~CTempDir() {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

nlohmann::json ReadJson(const fs::path& path) {
    std::ifstream in(path);
    return nlohmann::json::parse(in);
}

// Waits until cond holds or about two seconds pass.
template <typename Cond>
bool Eventually(Cond cond) {
    for (int i = 0; i < 200; ++i) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

struct SRun {
    int nStatus = -1;  // as waitpid gives it
    std::string strOutput;
};

// Runs the simulator with these arguments and strInput as its whole standard
// input, and collects standard output until it exits; after nLimitMs it is killed.
SRun RunSimulator(const std::vector<std::string>& vecArgs, const std::string& strInput, int nLimitMs) {
    int toChild[2];
    int fromChild[2];
    SRun run;
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) return run;
    std::vector<std::string> args = vecArgs;
    args.insert(args.begin(), CHubSimFixture::BinaryPath());
    std::vector<char*> argv;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(toChild[0], STDIN_FILENO);
        ::dup2(fromChild[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (pid > 0 && !strInput.empty()) {
        const ssize_t nWritten = ::write(toChild[1], strInput.data(), strInput.size());
        EXPECT_EQ(nWritten, static_cast<ssize_t>(strInput.size()));
    }
    ::close(toChild[1]);  // the input ends here
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nLimitMs);
    while (pid > 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fromChild[0], POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(fromChild[0], buffer, sizeof buffer);
        if (n <= 0) break;
        run.strOutput.append(buffer, static_cast<size_t>(n));
    }
    ::close(fromChild[0]);
    if (pid > 0) {
        if (std::chrono::steady_clock::now() >= deadline) ::kill(pid, SIGKILL);
        ::waitpid(pid, &run.nStatus, 0);
    }
    return run;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(SimulatorTransports, PtyServesTheHubAndSurvivesHostCloses) {
    CTempDir dir;
    CHubSimFixture::Options options;
    options.bGreet = false;
    options.bPty = true;
    options.strComLink = (dir.Path() / "COM7").string();
    CHubSimFixture hub(options);
    ASSERT_FALSE(hub.PtyPath().empty());
    ASSERT_TRUE(fs::is_symlink(options.strComLink));
    EXPECT_EQ(fs::read_symlink(options.strComLink).string(), hub.PtyPath());

    for (int nRound = 0; nRound < 2; ++nRound) {
        CRawHubClient serial = CRawHubClient::Pty(options.strComLink);
        ASSERT_TRUE(serial.Open());
        // Bytes 0x0D and 0x03 must pass a raw pty unchanged.
        serial.SendFrame(0, Hex("02 64 03 01 00 00"));
        const auto reply = serial.Ask(Hex("03 64"));
        ASSERT_TRUE(reply) << "round " << nRound;
        EXPECT_EQ(*reply, Hex("03 64 03 01 00 00"));
        serial.SendFrame(255, Hex("01"));
        const auto report = serial.ReadFrameFor(255);
        ASSERT_TRUE(report);
        EXPECT_EQ(report->vecPayload, Hex("0A 14 64 65"));
    }
    {
        // A host that leaves mid-frame: the pty cannot tell, so the hub gives the frame up after a pause.
        CRawHubClient serial = CRawHubClient::Pty(hub.PtyPath());
        serial.Send(Hex("56 51 54 00 00 20 50"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2300));
    CRawHubClient serial = CRawHubClient::Pty(hub.PtyPath());
    EXPECT_EQ(serial.Ask(Hex("D0")), Hex("D0 01"));
    serial.Close();
    hub.Stop();
    EXPECT_FALSE(fs::is_symlink(options.strComLink)) << "the link goes with the hub";
}

TEST(SimulatorTransports, UsbHubPublishesUnplugsAndReplugs) {
    CTempDir dir;
    CHubSimFixture::Options options;
    options.bGreet = false;
    options.strUsbSimDir = dir.Path().string();
    CHubSimFixture hub(options);
    ASSERT_EQ(hub.UsbBasePath(), (dir.Path() / "1-1").string());
    const fs::path json = hub.UsbBasePath() + ".json";
    const fs::path sock = hub.UsbBasePath() + ".sock";
    ASSERT_TRUE(fs::exists(json));
    ASSERT_TRUE(fs::is_socket(sock));
    auto descriptor = ReadJson(json);
    EXPECT_EQ(descriptor["vid"], "5A4D");
    EXPECT_EQ(descriptor["pid"], "005D");
    EXPECT_EQ(descriptor["exclusive"], false);

    CRawHubClient usb = CRawHubClient::Unix(sock.string());
    ASSERT_TRUE(usb.Open());
    EXPECT_EQ(usb.Ask(Hex("D0")), Hex("D0 01"));

    ASSERT_EQ(hub.Control("USB UNPLUG"), "OK");
    EXPECT_FALSE(fs::exists(json));
    EXPECT_FALSE(fs::exists(sock));
    EXPECT_TRUE(usb.WaitClosed(2000));

    ASSERT_EQ(hub.Control("USB PLUG"), "OK");
    ASSERT_TRUE(Eventually([&] { return fs::exists(json); }));
    CRawHubClient again = CRawHubClient::Unix(sock.string());
    ASSERT_TRUE(again.Open());
    EXPECT_EQ(again.Ask(Hex("D2")), Hex("D2 00"));

    ASSERT_EQ(hub.Control("USB EXCLUSIVE ON"), "OK");
    EXPECT_EQ(ReadJson(json)["exclusive"], true);
    ASSERT_EQ(hub.Control("USB EXCLUSIVE OFF"), "OK");
    EXPECT_EQ(ReadJson(json)["exclusive"], false);

    // Refusing keeps the hub listed but its socket turns connections away.
    ASSERT_EQ(hub.Control("FAULT REFUSE ON"), "OK");
    EXPECT_TRUE(fs::exists(json));
    int nError = 0;
    EXPECT_FALSE(CRawHubClient::Unix(sock.string(), &nError).Open());
    EXPECT_EQ(nError, ECONNREFUSED);
    ASSERT_EQ(hub.Control("FAULT REFUSE OFF"), "OK");
    CRawHubClient third = CRawHubClient::Unix(sock.string());
    EXPECT_TRUE(third.Open());

    hub.Stop();
    EXPECT_FALSE(fs::exists(json)) << "a stopped hub leaves the bus";
    EXPECT_FALSE(fs::exists(sock));
}

TEST(SimulatorTransports, UsbCommandsWithoutUsbAreRefused) {
    CHubSimFixture hub;
    EXPECT_EQ(hub.Control("USB UNPLUG").rfind("ERR", 0), 0u);
}

TEST(SimulatorTransports, StateFileLoadsSavesAndSurvivesRestart) {
    CTempDir dir;
    const fs::path state = dir.Path() / "hub.json";
    {
        std::ofstream out(state);
        out << R"({"model": "Demo-Hub_VXL", "bluetooth": {"name": "Lane 4"}})";
    }
    CHubSimFixture::Options options;
    options.bGreet = false;
    options.strStateFile = state.string();
    CHubSimFixture hub(options);
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    const auto name = client.Ask(Hex("50"));
    ASSERT_TRUE(name);
    EXPECT_EQ(std::string(name->begin() + 2, name->end()), "Demo-Hub_VXL");
    const auto bt = client.Ask(Hex("11 00"));
    ASSERT_TRUE(bt);
    EXPECT_EQ(std::string(bt->begin() + 5, bt->end() - 1), "Lane 4");

    client.SendFrame(0, Hex("D1 00"));
    EXPECT_EQ(client.Ask(Hex("D0")), Hex("D0 00"));
    EXPECT_EQ(ReadJson(state)["telnet"], 0) << "saved on change";

    const uint16_t nPort = hub.Port();
    hub.Restart();
    EXPECT_EQ(hub.Port(), nPort);
    CRawHubClient after = CRawHubClient::Tcp(hub.Port());
    ASSERT_TRUE(after.Open());
    EXPECT_EQ(after.Ask(Hex("D0")), Hex("D0 00"));
    const auto name2 = after.Ask(Hex("50"));
    ASSERT_TRUE(name2);
    EXPECT_EQ(std::string(name2->begin() + 2, name2->end()), "Demo-Hub_VXL");
}

TEST(SimulatorTransports, BadStateFilesStopTheStartNamingFileAndPlaceAndStayAsTheyWere) {
    CTempDir dir;
    const std::string strGood = R"({"telnet": 1})";
    const std::string strDeep = R"({"bluetooth": {"name": )" + std::string(20000, '[') + std::string(20000, ']') + "}}";
    struct SCase {
        const char* pszName;
        std::string strContent;  // written as the file unless the name asks for something else
        std::string strReason;
    };
    const std::vector<SCase> cases = {
        {"value.json", R"({"telnet": 9})", "telnet: 9 is outside 0..1"},
        {"syntax.json", "{\"telnet\": 1,\n  \"model\": }", "line 2, column 12: not valid JSON (syntax error"},
        {"truncated.json", R"({"bluetooth": {"name": "Lane)", "line 1, column 29: not valid JSON"},
        {"empty.json", "", "the file is empty"},
        {"nul.json", std::string("{\"model\": \"A\"}\0{\"telnet\": 9}", 29), "line 1, column 15: contains a NUL byte"},
        {"latin1.json", "{\"model\": \"Caf\xE9\"}", "ill-formed UTF-8 byte; last read: '\"Caf\\xE9"},
        {"type.json", R"({"lan": {"ip": 7}})", "lan.ip: expected a dotted IPv4 address"},
        {"wide.json", R"({"snmp": 18446744073709551615})", "snmp: 18446744073709551615 is outside 0..1"},
        {"typo.json", R"({"bluetooth": {"nmae": "Till 4"}})", "bluetooth.nmae: unknown key"},
        {"device.json", R"({"devices": [{"id": 5, "knid": "echo"}]})", "devices.5.knid: unknown key"},
        {"deep.json", strDeep, "bluetooth.name: expected text"},
        {"long.json", "{\"model\": \"" + std::string(100000, 'M') + "\"}", "model: longer than 200 bytes"},
        {"huge.json", std::string(2 * 1024 * 1024, ' ') + strGood, "larger than 1024 KiB"},
        {"folder", "", "is a directory"},
        {"fifo", "", "not a regular file"},
        {"file/below.json", "", "cannot read: Not a directory"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        const fs::path path = dir.Path() / c.pszName;
        const std::string strName = c.pszName;
        if (strName == "folder") {
            fs::create_directory(path);
        } else if (strName == "fifo") {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);  // opening it for reading must not wait for a writer
        } else if (strName == "file/below.json") {
            std::ofstream(dir.Path() / "file") << strGood;
        } else {
            std::ofstream(path, std::ios::binary) << c.strContent;
        }
        const SRun run = RunSimulator(
            {"--listen", "127.0.0.1:0", "--no-control", "--exit-on-stdin-eof", "--state", path.string()}, "", 20000);
        ASSERT_TRUE(WIFEXITED(run.nStatus)) << run.nStatus;
        EXPECT_EQ(WEXITSTATUS(run.nStatus), 2);
        EXPECT_EQ(run.strOutput.rfind("ERROR " + path.string() + ": ", 0), 0u) << run.strOutput;
        EXPECT_NE(run.strOutput.find(c.strReason), std::string::npos) << run.strOutput;
        EXPECT_EQ(std::count(run.strOutput.begin(), run.strOutput.end(), '\n'), 1) << run.strOutput;
        if (fs::is_regular_file(path)) {
            EXPECT_EQ(ReadFile(path), c.strContent) << "the file is left as it was";
        }
        EXPECT_FALSE(fs::exists(path.string() + ".tmp"));
    }
    EXPECT_TRUE(fs::is_directory(dir.Path() / "folder"));
    EXPECT_TRUE(fs::is_fifo(dir.Path() / "fifo"));
}

TEST(SimulatorTransports, FixtureRestartKeepsThePortWhileAHostHoldsAConnection) {
    CHubSimFixture hub;
    CRawHubClient client = CRawHubClient::Tcp(hub.Port());
    ASSERT_TRUE(client.ReadFrameFor(254));
    const uint16_t nPort = hub.Port();
    hub.Restart();
    EXPECT_TRUE(client.WaitClosed(2000));
    EXPECT_EQ(hub.Port(), nPort);
    CRawHubClient next = CRawHubClient::Tcp(nPort);
    ASSERT_TRUE(next.Open());
    const auto greet = next.ReadFrame();
    ASSERT_TRUE(greet);
    EXPECT_EQ(greet->nDevice, 254);
    EXPECT_EQ(hub.Control("PING"), "OK PONG");
}

TEST(SimulatorTransports, FixtureStopsTheProcessAndRefusesControlAfterwards) {
    CHubSimFixture hub;
    const uint16_t nPort = hub.Port();
    hub.Stop();
    EXPECT_FALSE(hub.Running());
    EXPECT_THROW(hub.Control("PING"), std::runtime_error);
    int nError = 0;
    EXPECT_FALSE(CRawHubClient::Tcp(nPort, &nError).Open());
}

TEST(SimulatorTransports, SeveralTransportsShareOneState) {
    CTempDir dir;
    CHubSimFixture::Options options;
    options.bGreet = false;
    options.bPty = true;
    options.strUsbSimDir = dir.Path().string();
    CHubSimFixture hub(options);
    CRawHubClient tcp = CRawHubClient::Tcp(hub.Port());
    CRawHubClient usb = CRawHubClient::Unix(hub.UsbBasePath() + ".sock");
    CRawHubClient serial = CRawHubClient::Pty(hub.PtyPath());
    ASSERT_TRUE(tcp.Open() && usb.Open() && serial.Open());
    tcp.SendFrame(0, Hex("D3 01"));
    EXPECT_EQ(tcp.Ask(Hex("D2")), Hex("D2 01"));
    EXPECT_EQ(usb.Ask(Hex("D2")), Hex("D2 01"));
    EXPECT_EQ(serial.Ask(Hex("D2")), Hex("D2 01"));
    // Alarms go to every connected host.
    ASSERT_EQ(hub.Control("ALARM WRITE 10 1"), "OK");
    for (CRawHubClient* pClient : {&tcp, &usb, &serial}) {
        const auto alarm = pClient->ReadFrameFor(0);
        ASSERT_TRUE(alarm);
        EXPECT_EQ(alarm->vecPayload, Hex("74 0A 01"));
    }
}

// Without the fixture: the program itself, driven through standard input.
TEST(SimulatorTransports, StandardInputControlAndStartLines) {
    const SRun run = RunSimulator({"--listen", "127.0.0.1:0", "--no-control", "--stdin-control"},
                                  "PING\nFAULT NOREPLY zz\nQUIT\n", 20000);
    const std::string& strOutput = run.strOutput;
    EXPECT_TRUE(WIFEXITED(run.nStatus) && WEXITSTATUS(run.nStatus) == 0) << run.nStatus;

    // LISTEN first, READY before any answer, no CONTROL line, answers in order.
    ASSERT_EQ(strOutput.rfind("LISTEN 127.0.0.1:", 0), 0u) << strOutput;
    EXPECT_EQ(strOutput.find("CONTROL"), std::string::npos) << strOutput;
    const size_t nReady = strOutput.find("\nREADY\n");
    ASSERT_NE(nReady, std::string::npos) << strOutput;
    const std::string strAnswers = strOutput.substr(nReady + 7);
    EXPECT_EQ(strAnswers.substr(0, 8), "OK PONG\n");
    EXPECT_EQ(strAnswers.rfind("ERR ", 8), 8u) << strAnswers;
    EXPECT_NE(strAnswers.find("\nOK BYE\n"), std::string::npos) << strAnswers;
}

TEST(SimulatorTransports, BadCommandLinesStopTheStart) {
    for (const std::vector<std::string>& extra :
         std::vector<std::vector<std::string>>{{"--listen", "127.0.0.1:99999"},
                                               {"--listen", "nowhere"},
                                               {"--split", "0:5"},
                                               {"--usb-sim", "/nonexistent/dir"}}) {
        CHubSimFixture::Options options;
        options.extraArgs = extra;
        EXPECT_THROW(CHubSimFixture hub(options), std::runtime_error) << extra[0] << " " << extra[1];
    }
}
