#include "exporter/WorkerProcesses.h"

#include "platform/Clock.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace vexal::exporter {

namespace {

constexpr uint32_t kReapEveryMs = 20;

// The read end of a worker's output; closed on every way out.
class CPipeEnd {
public:
    explicit CPipeEnd(int fd) : m_fd(fd) {}
    ~CPipeEnd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    CPipeEnd(const CPipeEnd&) = delete;
    CPipeEnd& operator=(const CPipeEnd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

CWorkerProcesses::CWorkerProcesses(uint32_t nGraceMs) : m_nGraceMs(nGraceMs) {
    m_reaper = std::thread([this] { ReaperThread(); });
}

CWorkerProcesses::~CWorkerProcesses() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_cv.notify_all();
    m_reaper.join();
}

size_t CWorkerProcesses::Alive() const {
    std::lock_guard lock(m_mutex);
    return m_vecChildren.size() + m_nRunning;
}

bool CWorkerProcesses::Run(const std::vector<std::string>& vecArgs, uint64_t nDeadlineMs, SWorkerAnswer& answer,
                           std::string& strError) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        strError = std::string("no pipe for a worker: ") + std::strerror(errno);
        return false;
    }
    CPipeEnd readEnd(fds[0]);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    // A group of its own: a kill reaches whatever the worker started too.
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    for (const std::string& s : vecArgs) argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    pid_t nPid = -1;
    const int nSpawn = posix_spawn(&nPid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    if (nSpawn != 0) {
        strError = "the probe worker " + vecArgs[0] + " could not start: " + std::strerror(nSpawn);
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        ++m_nRunning;
    }
    std::string strOutput;
    EAnswer eAnswer = EAnswer::Incomplete;
    bool bEnded = false;
    while (eAnswer == EAnswer::Incomplete && !bEnded) {
        const uint64_t nNow = platform::TickMs();
        if (nNow >= nDeadlineMs) break;
        pollfd pfd{readEnd.Get(), POLLIN, 0};
        const int nReady = ::poll(&pfd, 1, static_cast<int>(std::min<uint64_t>(nDeadlineMs - nNow, 60000)));
        if (nReady < 0 && errno != EINTR) break;
        if (nReady <= 0) continue;
        char buffer[8192];
        const ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            bEnded = true;
        } else {
            strOutput.append(buffer, static_cast<size_t>(n));
        }
        eAnswer = DecodeWorkerAnswer(strOutput, answer);
    }
    const bool bAnswered = eAnswer == EAnswer::Complete;
    Reap(nPid, bAnswered ? platform::TickMs() + m_nGraceMs : 0);
    if (bAnswered) return true;
    if (eAnswer == EAnswer::Bad)
        strError = "the probe worker's answer is malformed";
    else if (bEnded)
        strError = "the probe worker ended without an answer";
    else
        strError = "no answer within the time-out";
    return false;
}

void CWorkerProcesses::Reap(pid_t nPid, uint64_t nKillAtMs) {
    if (nKillAtMs == 0) ::kill(-nPid, SIGKILL);
    {
        std::lock_guard lock(m_mutex);
        --m_nRunning;
        m_vecChildren.push_back({nPid, nKillAtMs});
    }
    m_cv.notify_all();
}

void CWorkerProcesses::ReaperThread() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        const uint64_t nNow = platform::TickMs();
        for (auto it = m_vecChildren.begin(); it != m_vecChildren.end();) {
            // Seen ended but left a zombie, so that its group's number is not
            // handed out again before the group (what the worker started) is
            // killed too.
            siginfo_t info{};
            const int nWait = ::waitid(P_PID, static_cast<id_t>(it->nPid), &info, WEXITED | WNOHANG | WNOWAIT);
            if ((nWait == 0 && info.si_pid == it->nPid) || (nWait < 0 && errno == ECHILD)) {
                ::kill(-it->nPid, SIGKILL);
                int nStatus = 0;
                ::waitpid(it->nPid, &nStatus, 0);
                it = m_vecChildren.erase(it);
                continue;
            }
            if (m_bStop || nNow >= it->nKillAtMs) ::kill(-it->nPid, SIGKILL);
            ++it;
        }
        if (m_bStop && m_vecChildren.empty() && m_nRunning == 0) return;
        if (m_vecChildren.empty() && !m_bStop)
            m_cv.wait(lock);
        else
            m_cv.wait_for(lock, std::chrono::milliseconds(kReapEveryMs));
    }
}

}  // namespace vexal::exporter
