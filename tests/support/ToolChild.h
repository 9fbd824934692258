// A program (the command-line tool) run as a child whose standard output is
// read line by line as it comes, and which can be signalled as a user would
// with Ctrl-C. For tests and benchmarks of long-running commands (watch,
// recv). POSIX only.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class CToolChild {  // RAII: a child still running is killed on destruction
public:
    explicit CToolChild(std::vector<std::string> args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
        m_pid = ::fork();
        if (m_pid < 0) throw std::runtime_error("fork failed");
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_fd = out[0];
    }
    ~CToolChild() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_fd >= 0) ::close(m_fd);
    }
    CToolChild(const CToolChild&) = delete;
    CToolChild& operator=(const CToolChild&) = delete;

    // The next line within the time; nullopt when none came or the output ended.
    std::optional<std::string> Line(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const size_t nEnd = m_strBuffer.find('\n');
            if (nEnd != std::string::npos) {
                std::string strLine = m_strBuffer.substr(0, nEnd);
                m_strBuffer.erase(0, nEnd + 1);
                m_vecLines.push_back(strLine);
                return strLine;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0) return std::nullopt;
            m_strBuffer.append(buf, static_cast<size_t>(n));
        }
    }
    void Signal(int nSignal) const { ::kill(m_pid, nSignal); }
    // The exit status, waiting at most the limit (-1 when it did not end or
    // was killed); *pCpuMs gets the CPU time the child used.
    int Wait(std::chrono::milliseconds limit, double* pCpuMs = nullptr) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            int nStatus = 0;
            rusage ru{};
            if (::wait4(m_pid, &nStatus, WNOHANG, &ru) == m_pid) {
                m_pid = -1;
                if (pCpuMs != nullptr)
                    *pCpuMs = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
                              static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
                return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    // Every line read so far.
    const std::vector<std::string>& Lines() const { return m_vecLines; }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_strBuffer;
    std::vector<std::string> m_vecLines;
};
