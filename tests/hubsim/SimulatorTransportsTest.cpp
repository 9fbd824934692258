// The pty and simulated-USB transports, the state file, and the fixture's own promises.
#include "HubSimFixture.h"
#include "RawHubClient.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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
    CTempDir()
    {
        std::random_device random;
        m_path = fs::temp_directory_path() / ("hubsim-test-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        fs::create_directories(m_path);
    }
    ~CTempDir()
    {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

nlohmann::json ReadJson(const fs::path& path)
{
    std::ifstream in(path);
    return nlohmann::json::parse(in);
}

// Waits until cond holds or about two seconds pass.
template <typename Cond> bool Eventually(Cond cond)
{
    for (int i = 0; i < 200; ++i) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

}  // namespace

TEST(SimulatorTransports, PtyServesTheHubAndSurvivesHostCloses)
{
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

TEST(SimulatorTransports, UsbHubPublishesUnplugsAndReplugs)
{
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

TEST(SimulatorTransports, UsbCommandsWithoutUsbAreRefused)
{
    CHubSimFixture hub;
    EXPECT_EQ(hub.Control("USB UNPLUG").rfind("ERR", 0), 0u);
}

TEST(SimulatorTransports, StateFileLoadsSavesAndSurvivesRestart)
{
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

TEST(SimulatorTransports, BrokenStateFileStopsTheStartWithAReason)
{
    CTempDir dir;
    const fs::path state = dir.Path() / "broken.json";
    {
        std::ofstream out(state);
        out << R"({"telnet": 9})";
    }
    CHubSimFixture::Options options;
    options.strStateFile = state.string();
    try {
        CHubSimFixture hub(options);
        FAIL() << "started with a bad state file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("telnet"), std::string::npos) << e.what();
    }
    std::ifstream in(state);
    std::string strText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(strText, R"({"telnet": 9})") << "the file is left as it was";
}

TEST(SimulatorTransports, FixtureRestartKeepsThePortWhileAHostHoldsAConnection)
{
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

TEST(SimulatorTransports, FixtureStopsTheProcessAndRefusesControlAfterwards)
{
    CHubSimFixture hub;
    const uint16_t nPort = hub.Port();
    hub.Stop();
    EXPECT_FALSE(hub.Running());
    EXPECT_THROW(hub.Control("PING"), std::runtime_error);
    int nError = 0;
    EXPECT_FALSE(CRawHubClient::Tcp(nPort, &nError).Open());
}

TEST(SimulatorTransports, SeveralTransportsShareOneState)
{
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
TEST(SimulatorTransports, StandardInputControlAndStartLines)
{
    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(::pipe2(toChild, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(fromChild, O_CLOEXEC), 0);
    const std::string strBinary = CHubSimFixture::BinaryPath();
    std::vector<std::string> args = {strBinary, "--listen", "127.0.0.1:0", "--no-control", "--stdin-control"};
    std::vector<char*> argv;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(toChild[0], STDIN_FILENO);
        ::dup2(fromChild[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    const std::string strInput = "PING\nFAULT NOREPLY zz\nQUIT\n";
    ASSERT_EQ(::write(toChild[1], strInput.data(), strInput.size()), static_cast<ssize_t>(strInput.size()));

    std::string strOutput;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fromChild[0], POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(fromChild[0], buffer, sizeof buffer);
        if (n <= 0) break;
        strOutput.append(buffer, static_cast<size_t>(n));
    }
    ::close(toChild[1]);
    ::close(fromChild[0]);
    int nStatus = -1;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;

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

TEST(SimulatorTransports, BadCommandLinesStopTheStart)
{
    for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{
             {"--listen", "127.0.0.1:99999"}, {"--listen", "nowhere"}, {"--split", "0:5"}, {"--usb-sim", "/nonexistent/dir"}}) {
        CHubSimFixture::Options options;
        options.extraArgs = extra;
        EXPECT_THROW(CHubSimFixture hub(options), std::runtime_error) << extra[0] << " " << extra[1];
    }
}
