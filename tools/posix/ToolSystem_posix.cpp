#include "tools/ToolSystem.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

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

CPrivateDeviceDir::~CPrivateDeviceDir() {
    if (!m_strLink.empty()) ::unlink(m_strLink.c_str());
    if (!m_strDir.empty()) ::rmdir(m_strDir.c_str());
}

bool CPrivateDeviceDir::Link(const std::string& strDevice, const std::string& strComName, std::string& strError) {
    struct stat st {};
    if (::stat(strDevice.c_str(), &st) != 0) {
        strError = strDevice + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISCHR(st.st_mode)) {
        strError = strDevice + ": not a character device";
        return false;
    }
    const char* pszTmp = std::getenv("TMPDIR");
    std::string strTemplate = std::string(pszTmp != nullptr && *pszTmp != '\0' ? pszTmp : "/tmp") + "/vexalcfg-XXXXXX";
    if (::mkdtemp(strTemplate.data()) == nullptr) {
        strError = "cannot make a device directory in " + strTemplate + ": " + std::strerror(errno);
        return false;
    }
    m_strDir = strTemplate;
    const std::string strLink = m_strDir + "/" + strComName;
    if (::symlink(strDevice.c_str(), strLink.c_str()) != 0) {
        strError = "cannot link " + strLink + ": " + std::strerror(errno);
        return false;
    }
    m_strLink = strLink;
    ::setenv("VEXAL_DEVICE_DIR", m_strDir.c_str(), 1);
    return true;
}

}  // namespace vexal::tools
