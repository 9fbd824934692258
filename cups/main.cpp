// The CUPS backend "vexal": prints through a Vexal hub to a printer behind
// it. Run by cupsd with a job (job-id user title copies options [file],
// the device URI in DEVICE_URI), or without arguments for the device list.
// The hub is reached through the configuration library, loaded by name.
#include "client/CfgLibrary.h"
#include "client/PortApiTable.h"
#include "cups/BackendArgs.h"
#include "cups/BackendJob.h"
#include "cups/DeviceList.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace vexal::cups;

std::atomic<bool> g_bCancel{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnTerminate(int) { g_bCancel.store(true); }

// Whole lines at once: CUPS reads standard error line by line, unbuffered.
void WriteLine(int nFd, const std::string& strLine) {
    const std::string strOut = strLine + "\n";
    size_t nDone = 0;
    while (nDone < strOut.size()) {
        const ssize_t n = ::write(nFd, strOut.data() + nDone, strOut.size() - nDone);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        nDone += static_cast<size_t>(n);
    }
}

void Log(const std::string& strLine) { WriteLine(STDERR_FILENO, strLine); }

// A descriptor closed on every way out.
class CFd {
public:
    explicit CFd(int nFd) : m_nFd(nFd) {}
    ~CFd() {
        if (m_nFd > STDERR_FILENO) ::close(m_nFd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_nFd; }

private:
    int m_nFd;
};

std::optional<size_t> ReadSome(int nFd, uint8_t* pBuffer, size_t nSize, std::string& strError) {
    // Fill the piece: a pipe hands out a little at a time.
    size_t nDone = 0;
    while (nDone < nSize) {
        const ssize_t n = ::read(nFd, pBuffer + nDone, nSize - nDone);
        if (n < 0 && errno == EINTR) {
            if (g_bCancel.load()) break;
            continue;
        }
        if (n < 0) {
            strError = std::strerror(errno);
            return std::nullopt;
        }
        if (n == 0) break;
        nDone += static_cast<size_t>(n);
    }
    return nDone;
}

bool LoadLibraries(vexal::client::CCfgLibrary& cfg, vexal::client::CPortApiTable& port) {
    if (!cfg.Load()) {
        Log("ERROR: " + cfg.LastError());
        return false;
    }
    if (!port.Load(cfg)) {
        Log("ERROR: " + port.LastError());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // A cancelled job gets SIGTERM: the send stops at its next write and the
    // session closes on the way out.
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    vexal::client::CCfgLibrary cfg;
    vexal::client::CPortApiTable port;
    if (argc == 1) {
        if (!LoadLibraries(cfg, port)) return kBackendFailed;
        ListPrinters(
            cfg, port, [](const std::string& strLine) { WriteLine(STDOUT_FILENO, strLine); },
            [](const std::string& strLine) { Log("DEBUG: " + strLine); });
        return kBackendOk;
    }
    const std::vector<std::string> vecArgs(argv + 1, argv + argc);
    std::string strError;
    const auto job = ParseJobArgs(vecArgs, strError);
    if (!job) {
        Log((vecArgs.size() == 5 || vecArgs.size() == 6 ? "ERROR: " : "") + strError);
        return kBackendFailed;
    }
    const char* pszUri = std::getenv("DEVICE_URI");
    const auto uri = ParseDeviceUri(pszUri != nullptr ? pszUri : argv[0], strError);
    if (!uri) {
        Log("ERROR: " + strError);
        return kBackendFailed;
    }
    CFd file(job->strFile ? ::open(job->strFile->c_str(), O_RDONLY | O_CLOEXEC) : STDIN_FILENO);
    if (file.Get() < 0) {
        Log("ERROR: " + *job->strFile + ": " + std::strerror(errno));
        return kBackendFailed;
    }
    SJobInput input;
    input.fnRead = [&file](uint8_t* pBuffer, size_t nSize, std::string& strWhy) {
        return ReadSome(file.Get(), pBuffer, nSize, strWhy);
    };
    if (job->strFile)
        input.fnRewind = [&file](std::string& strWhy) {
            if (::lseek(file.Get(), 0, SEEK_SET) == 0) return true;
            strWhy = std::strerror(errno);
            return false;
        };
    if (!LoadLibraries(cfg, port)) return kBackendFailed;
    CBackendJob backendJob(cfg, port, Log, g_bCancel);
    return backendJob.Run(*uri, *job, input);
}
