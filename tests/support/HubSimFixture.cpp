#include "HubSimFixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#ifndef HUBSIM_BINARY
#error "HUBSIM_BINARY must name the vexal-hubsim program"
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartLimit = std::chrono::seconds(5);
constexpr auto kAnswerLimit = std::chrono::seconds(5);

int RemainingMs(Clock::time_point deadline) {
    const auto n = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return n < 0 ? 0 : static_cast<int>(n);
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

uint16_t PortAfterColon(const std::string& strText) {
    const auto nColon = strText.rfind(':');
    if (nColon == std::string::npos) throw std::runtime_error("hub simulator printed a bad address: " + strText);
    return static_cast<uint16_t>(std::stoul(strText.substr(nColon + 1)));
}

// Waits for the child to exit for at most nMs; true when it has been reaped.
bool WaitExit(pid_t pid, int nMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(nMs);
    for (;;) {
        int nStatus = 0;
        const pid_t r = ::waitpid(pid, &nStatus, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

std::string CHubSimFixture::BinaryPath() { return HUBSIM_BINARY; }

CHubSimFixture::CHubSimFixture(const Options& opts) : m_options(opts) { Start(opts.nListenPort); }

CHubSimFixture::~CHubSimFixture() {
    try {
        Stop();
    } catch (...) {
        // A destructor must not throw; Stop already forces the child down.
    }
}

void CHubSimFixture::Start(uint16_t nPort) {
    std::vector<std::string> args = {
        BinaryPath(), "--listen",    m_options.strListenAddress + ":" + std::to_string(nPort),
        "--control",  "127.0.0.1:0", "--exit-on-stdin-eof"};
    if (m_options.bGreet) args.push_back("--greet");
    if (!m_options.strStateFile.empty()) args.insert(args.end(), {"--state", m_options.strStateFile});
    if (m_options.bPty) args.push_back("--pty");
    if (!m_options.strComLink.empty()) args.insert(args.end(), {"--com-link", m_options.strComLink});
    if (!m_options.strUsbSimDir.empty()) args.insert(args.end(), {"--usb-sim", m_options.strUsbSimDir});
    args.insert(args.end(), m_options.extraArgs.begin(), m_options.extraArgs.end());

    std::vector<char*> argv;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);

    int errFd = -1;
    if (!m_options.strStderrFile.empty()) {
        errFd = ::open(m_options.strStderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (errFd < 0) throw std::runtime_error("cannot open " + m_options.strStderrFile);
    }
    int outPipe[2];
    int inPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        CloseFd(errFd);
        throw std::runtime_error("pipe failed");
    }
    if (::pipe2(inPipe, O_CLOEXEC) != 0) {
        for (int fd : {outPipe[0], outPipe[1]}) ::close(fd);
        CloseFd(errFd);
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        for (int fd : {outPipe[0], outPipe[1], inPipe[0], inPipe[1]}) ::close(fd);
        CloseFd(errFd);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(inPipe[0], STDIN_FILENO);
        if (errFd >= 0) ::dup2(errFd, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(inPipe[0]);
    CloseFd(errFd);
    m_pid = pid;
    m_nStdoutFd = outPipe[0];
    m_nStdinFd = inPipe[1];

    std::string strOutput;
    std::string strLine;
    const auto deadline = Clock::now() + kStartLimit;
    bool bReady = false;
    std::string strFailure;
    while (!bReady && strFailure.empty()) {
        pollfd pfd{m_nStdoutFd, POLLIN, 0};
        const int nWait = RemainingMs(deadline);
        if (nWait == 0 || ::poll(&pfd, 1, nWait) <= 0) {
            if (errno == EINTR) continue;
            strFailure = "not ready within 5 s";
            break;
        }
        char buffer[512];
        const ssize_t n = ::read(m_nStdoutFd, buffer, sizeof buffer);
        if (n <= 0) {
            strFailure = "exited before it was ready";
            break;
        }
        strOutput.append(buffer, static_cast<size_t>(n));
        size_t nNewline;
        while ((nNewline = strOutput.find('\n')) != std::string::npos) {
            strLine = strOutput.substr(0, nNewline);
            strOutput.erase(0, nNewline + 1);
            if (strLine.rfind("LISTEN ", 0) == 0)
                m_nPort = PortAfterColon(strLine);
            else if (strLine.rfind("CONTROL ", 0) == 0)
                m_nControlPort = PortAfterColon(strLine);
            else if (strLine.rfind("PTY ", 0) == 0)
                m_strPtyPath = strLine.substr(4);
            else if (strLine.rfind("USB ", 0) == 0)
                m_strUsbBase = strLine.substr(4);
            else if (strLine.rfind("ERROR ", 0) == 0)
                strFailure = strLine.substr(6);
            else if (strLine == "READY")
                bReady = true;
        }
    }
    if (!bReady) {
        Stop();
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
        m_nControlFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(m_nControlPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_nControlFd < 0 || ::connect(m_nControlFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            CloseControl();
            throw std::runtime_error("cannot reach the hub simulator's control port");
        }
    }
    const std::string strOut = line + "\n";
    size_t nSent = 0;
    while (nSent < strOut.size()) {
        const ssize_t n = ::send(m_nControlFd, strOut.data() + nSent, strOut.size() - nSent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            CloseControl();
            throw std::runtime_error("control command not sent");
        }
        nSent += static_cast<size_t>(n);
    }
    const auto deadline = Clock::now() + kAnswerLimit;
    size_t nNewline;
    while ((nNewline = m_strControlBuffer.find('\n')) == std::string::npos) {
        pollfd pfd{m_nControlFd, POLLIN, 0};
        const int nWait = RemainingMs(deadline);
        if (nWait == 0 || ::poll(&pfd, 1, nWait) <= 0) {
            if (nWait > 0 && errno == EINTR) continue;
            CloseControl();  // a late answer must not be taken for the next command's
            throw std::runtime_error("no answer to control command '" + line + "'");
        }
        char buffer[4096];
        const ssize_t n = ::recv(m_nControlFd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            CloseControl();
            throw std::runtime_error("control connection closed during '" + line + "'");
        }
        m_strControlBuffer.append(buffer, static_cast<size_t>(n));
    }
    std::string strAnswer = m_strControlBuffer.substr(0, nNewline);
    m_strControlBuffer.erase(0, nNewline + 1);
    return strAnswer;
}

void CHubSimFixture::Stop() {
    if (m_pid > 0) {
        bool bAsked = false;
        try {
            bAsked = Control("QUIT").rfind("OK", 0) == 0;
        } catch (const std::exception&) {
        }
        {
            std::lock_guard<std::mutex> lock(m_controlMutex);
            CloseControl();
        }
        CloseFd(m_nStdinFd);  // also asks it to quit
        if (!WaitExit(m_pid, bAsked ? 3000 : 1000)) {
            ::kill(m_pid, SIGTERM);
            if (!WaitExit(m_pid, 2000)) {
                ::kill(m_pid, SIGKILL);
                WaitExit(m_pid, 5000);
            }
        }
        m_pid = -1;
    }
    CloseFd(m_nStdoutFd);
    CloseFd(m_nStdinFd);
}

void CHubSimFixture::Restart() {
    const uint16_t nPort = m_nPort;
    Stop();
    m_strPtyPath.clear();
    m_strUsbBase.clear();
    Start(nPort);
}
