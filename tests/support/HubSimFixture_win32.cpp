// The simulator fixture under Wine: vexal-hubsim stays a Linux program, which
// a Windows test cannot start itself. The Wine harness runs a service on
// loopback (scripts/hubsim-broker.py, address in VEXAL_HUBSIM_BROKER) that
// starts it on request and keeps it for as long as the request's connection
// lasts; control commands go straight to the simulator's control port.
#include "HubSimFixture.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartLimit = std::chrono::seconds(10);  // the service starts the program, then it starts
constexpr auto kAnswerLimit = std::chrono::seconds(5);

int RemainingMs(Clock::time_point deadline) {
    const auto n = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return n < 0 ? 0 : static_cast<int>(n);
}

void StartWinsock() {
    static const bool s_bStarted = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!s_bStarted) throw std::runtime_error("Winsock did not start");
}

// Sockets fit the fixture's int members: Windows socket handles are small numbers.
int AsInt(SOCKET s) { return static_cast<int>(s); }
SOCKET AsSocket(int fd) { return static_cast<SOCKET>(fd); }

void CloseFd(int& fd) {
    if (fd >= 0) closesocket(AsSocket(fd));
    fd = -1;
}

int ConnectLoopback(const std::string& strAddress, uint16_t nPort) {
    StartWinsock();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    if (inet_pton(AF_INET, strAddress.c_str(), &address.sin_addr) != 1 ||
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return -1;
    }
    return AsInt(s);
}

uint16_t PortAfterColon(const std::string& strText) {
    const auto nColon = strText.rfind(':');
    if (nColon == std::string::npos) throw std::runtime_error("hub simulator printed a bad address: " + strText);
    return static_cast<uint16_t>(std::stoul(strText.substr(nColon + 1)));
}

// Reads up to the next line break within the deadline; false when none came.
bool ReadLine(int fd, std::string& strBuffer, std::string& strLine, Clock::time_point deadline) {
    size_t nNewline;
    while ((nNewline = strBuffer.find('\n')) == std::string::npos) {
        const int nWait = RemainingMs(deadline);
        fd_set set;
        FD_ZERO(&set);
        FD_SET(AsSocket(fd), &set);
        timeval limit{nWait / 1000, (nWait % 1000) * 1000};
        if (nWait == 0 || select(0, &set, nullptr, nullptr, &limit) <= 0) return false;
        char buffer[4096];
        const int n = recv(AsSocket(fd), buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        strBuffer.append(buffer, static_cast<size_t>(n));
    }
    strLine = strBuffer.substr(0, nNewline);
    strBuffer.erase(0, nNewline + 1);
    if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
    return true;
}

bool SendAll(int fd, const std::string& strText) {
    size_t nSent = 0;
    while (nSent < strText.size()) {
        const int n = send(AsSocket(fd), strText.data() + nSent, static_cast<int>(strText.size() - nSent), 0);
        if (n <= 0) return false;
        nSent += static_cast<size_t>(n);
    }
    return true;
}

// The Linux path of a Windows path, as Wine maps it (files the simulator reads or writes).
std::string UnixPath(const std::string& strPath) {
    using FnUnixName = char*(__cdecl*)(const wchar_t*);
    const auto pfn = reinterpret_cast<FnUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (pfn == nullptr) throw std::runtime_error("the simulator fixture needs Wine");
    const int n = MultiByteToWideChar(CP_UTF8, 0, strPath.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, strPath.c_str(), -1, wide.data(), n);
    char* pszUnix = pfn(wide.c_str());
    if (pszUnix == nullptr) throw std::runtime_error("no Linux path for " + strPath);
    std::string strUnix = pszUnix;
    HeapFree(GetProcessHeap(), 0, pszUnix);
    return strUnix;
}

}  // namespace

std::string CHubSimFixture::BinaryPath() {
    const char* psz = std::getenv("VEXAL_HUBSIM");
    return psz != nullptr ? psz : "vexal-hubsim";
}

CHubSimFixture::CHubSimFixture(const Options& opts) : m_options(opts) { Start(opts.nListenPort); }

CHubSimFixture::~CHubSimFixture() {
    try {
        Stop();
    } catch (...) {
        // A destructor must not throw; the service stops the simulator anyway.
    }
}

void CHubSimFixture::Start(uint16_t nPort) {
    if (!m_options.strUsbSimDir.empty()) throw std::runtime_error("no simulated USB bus under Wine");
    const char* pszBroker = std::getenv("VEXAL_HUBSIM_BROKER");
    if (pszBroker == nullptr || *pszBroker == '\0')
        throw std::runtime_error("no simulator service: run under scripts/wine-harness.sh");
    const std::string strBroker = pszBroker;
    const auto nColon = strBroker.rfind(':');
    if (nColon == std::string::npos) throw std::runtime_error("VEXAL_HUBSIM_BROKER is not ADDR:PORT");

    std::vector<std::string> args = {"--listen", m_options.strListenAddress + ":" + std::to_string(nPort), "--control",
                                     "127.0.0.1:0"};
    if (m_options.bGreet) args.push_back("--greet");
    if (!m_options.strStateFile.empty()) args.insert(args.end(), {"--state", UnixPath(m_options.strStateFile)});
    if (m_options.bPty) args.push_back("--pty");
    // Under Wine the link is a Windows port name: COM<n> in the prefix's devices.
    if (!m_options.strComLink.empty()) args.insert(args.end(), {"--com-link", m_options.strComLink});
    args.insert(args.end(), m_options.extraArgs.begin(), m_options.extraArgs.end());
    if (!m_options.strStderrFile.empty()) args.insert(args.end(), {"--stderr-file", UnixPath(m_options.strStderrFile)});
    std::string strRequest = "START";
    for (const auto& a : args) {
        if (a.find_first_of("\t\n") != std::string::npos) throw std::runtime_error("bad simulator option: " + a);
        strRequest += "\t" + a;
    }

    m_nStdinFd = ConnectLoopback(strBroker.substr(0, nColon), PortAfterColon(strBroker));
    if (m_nStdinFd < 0) throw std::runtime_error("cannot reach the simulator service at " + strBroker);
    if (!SendAll(m_nStdinFd, strRequest + "\n")) {
        CloseFd(m_nStdinFd);
        throw std::runtime_error("simulator service: request not sent");
    }
    m_pid = 1;  // running, as far as the service is concerned
    const auto deadline = Clock::now() + kStartLimit;
    std::string strBuffer, strLine, strFailure;
    bool bReady = false;
    while (!bReady && strFailure.empty()) {
        if (!ReadLine(m_nStdinFd, strBuffer, strLine, deadline)) {
            strFailure = "not ready within 10 s";
            break;
        }
        if (strLine.rfind("LISTEN ", 0) == 0)
            m_nPort = PortAfterColon(strLine);
        else if (strLine.rfind("CONTROL ", 0) == 0)
            m_nControlPort = PortAfterColon(strLine);
        else if (strLine.rfind("PTY ", 0) == 0)
            m_strPtyPath = strLine.substr(4);
        else if (strLine.rfind("ERROR ", 0) == 0)
            strFailure = strLine.substr(6);
        else if (strLine == "READY")
            bReady = true;
    }
    if (!bReady) {
        CloseFd(m_nStdinFd);
        m_pid = -1;
        throw std::runtime_error("hub simulator " + BinaryPath() + ": " + strFailure);
    }
}

void CHubSimFixture::CloseControl() {
    CloseFd(m_nControlFd);
    m_strControlBuffer.clear();
}

std::string CHubSimFixture::Control(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_controlMutex);
    if (m_pid <= 0) throw std::runtime_error("hub simulator is not running");
    if (line.find('\n') != std::string::npos) throw std::runtime_error("a control command is one line");
    if (m_nControlFd < 0) {
        m_nControlFd = ConnectLoopback("127.0.0.1", m_nControlPort);
        if (m_nControlFd < 0) throw std::runtime_error("cannot reach the hub simulator's control port");
    }
    if (!SendAll(m_nControlFd, line + "\n")) {
        CloseControl();
        throw std::runtime_error("control command not sent");
    }
    std::string strAnswer;
    if (!ReadLine(m_nControlFd, m_strControlBuffer, strAnswer, Clock::now() + kAnswerLimit)) {
        CloseControl();  // a late answer must not be taken for the next command's
        throw std::runtime_error("no answer to control command '" + line + "'");
    }
    return strAnswer;
}

void CHubSimFixture::Stop() {
    if (m_pid > 0) {
        {
            std::lock_guard<std::mutex> lock(m_controlMutex);
            CloseControl();
        }
        // The service stops the simulator and says so once it has gone, so a
        // restart finds its port free.
        std::string strBuffer, strLine;
        if (SendAll(m_nStdinFd, "STOP\n"))
            ReadLine(m_nStdinFd, strBuffer, strLine, Clock::now() + std::chrono::seconds(12));
        m_pid = -1;
    }
    CloseFd(m_nStdinFd);
    CloseFd(m_nStdoutFd);
}

void CHubSimFixture::Restart() {
    const uint16_t nPort = m_nPort;
    Stop();
    m_strPtyPath.clear();
    m_strUsbBase.clear();
    Start(nPort);
}
