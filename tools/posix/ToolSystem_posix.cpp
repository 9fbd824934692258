#include "tools/ToolSystem.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vexal::tools {

CUtf8Arguments::CUtf8Arguments(int argc, char** argv) : m_args(argv, argv + argc) {
    for (auto& s : m_args) m_pointers.push_back(s.data());
    m_pointers.push_back(nullptr);
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::string SelfExecutable() {
    char szPath[4096];
    const ssize_t n = ::readlink("/proc/self/exe", szPath, sizeof szPath - 1);
    if (n <= 0) return "vexalcfg";
    return std::string(szPath, static_cast<size_t>(n));
}

SProcessResult RunProcess(const std::vector<std::string>& vecArgs) {
    SProcessResult result;
    std::vector<std::string> args = vecArgs;
    std::vector<char*> argv;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return result;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) ::close(fd);
        return result;
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int nNull = ::open("/dev/null", O_RDONLY);
        if (nNull >= 0) ::dup2(nNull, STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* outputs[2] = {&result.strStdout, &result.strStderr};
    int nOpen = 2;
    while (nOpen > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                outputs[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --nOpen;
            }
        }
    }
    for (auto& fd : fds)
        if (fd.fd >= 0) ::close(fd.fd);
    int nStatus = 0;
    while (::waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    result.nExitStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    return result;
}

}  // namespace vexal::tools
