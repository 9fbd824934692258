#include "tools/StdStreams.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vexal::tools {

namespace {

std::atomic<bool> g_bStop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnStopSignal(int) { g_bStop.store(true); }

}  // namespace

bool ReadStandardInput(std::string& strData, size_t nMax, std::string& strError) {
    std::string strRead;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            if (g_bStop.load()) {
                strError = "standard input: interrupted";
                return false;
            }
            continue;
        }
        if (n < 0) {
            strError = std::string("standard input: cannot read: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        strRead.append(buffer, static_cast<size_t>(n));
        if (strRead.size() > nMax) {
            strError = "standard input: more than " + std::to_string(nMax) + " bytes";
            return false;
        }
    }
    strData = std::move(strRead);
    return true;
}

void SetBinaryStdout() {}

bool WriteStdout(const void* pData, size_t nSize) {
    const char* p = static_cast<const char*>(pData);
    while (nSize > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, nSize);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        nSize -= static_cast<size_t>(n);
    }
    return true;
}

void CatchStopRequests() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read of standard input ends to look at the flag.
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

const std::atomic<bool>& StopFlag() { return g_bStop; }

}  // namespace vexal::tools
