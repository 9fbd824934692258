#include "SerialTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

#include "platform/Clock.h"

namespace serial_test {

using namespace vexal::platform;

int CFakeSerial::ReadLine(SSerialLineState& state) {
    std::lock_guard lock(m_pLine->m);
    state.dwBaud = m_pLine->plan.dwBaud;
    state.dwDataBits = m_pLine->plan.dwDataBits;
    state.parity = m_pLine->plan.parity;
    state.bTwoStopBits = m_pLine->plan.bTwoStopBits;
    state.bCtsHandshake = m_pLine->plan.bCtsHandshake;
    state.bXonXoff = m_pLine->plan.bXonXoff;
    return 0;
}

int CFakeSerial::ApplyLine(const SSerialLinePlan& plan) {
    if (m_pLine->nApplyError != 0) return m_pLine->nApplyError;
    std::lock_guard lock(m_pLine->m);
    m_pLine->plan = plan;
    return 0;
}

int CFakeSerial::Purge(bool bInput, bool bOutput) {
    std::lock_guard lock(m_pLine->m);
    if (bInput) m_pLine->incoming.clear();
    if (bOutput) ++m_pLine->nOutputPurges;
    return 0;
}

bool CFakeSerial::ModemStatus(uint32_t& dwBits, int& nErr) {
    nErr = 0;
    dwBits = m_pLine->dwModem;
    return true;
}

bool CFakeSerial::WaitingBytes(uint32_t& dwCount, int& nErr) {
    nErr = 0;
    std::lock_guard lock(m_pLine->m);
    dwCount = static_cast<uint32_t>(m_pLine->incoming.size());
    return true;
}

EDeviceIo CFakeSerial::WaitReceive(uint32_t ms, const CWakeSignal* pWake, int& nErr) {
    nErr = 0;
    const uint64_t t0 = TickMs();
    while (TickMs() - t0 < ms) {
        {
            std::lock_guard lock(m_pLine->m);
            if (!m_pLine->incoming.empty()) return EDeviceIo::Done;
        }
        if (pWake != nullptr && pWake->SleepMs(5)) return EDeviceIo::Woken;
    }
    return EDeviceIo::TimedOut;
}

EDeviceIo CFakeSerial::Read(uint8_t* pBuffer, size_t nSize, size_t& nRead, const CWakeSignal* pWake, int& nErr) {
    nErr = 0;
    nRead = 0;
    ++m_pLine->nReads;
    size_t nLargest = m_pLine->nLargestAsk;
    while (nSize > nLargest && !m_pLine->nLargestAsk.compare_exchange_weak(nLargest, nSize)) {
    }
    if (m_pLine->bBlockReads) {
        // Stands for a long Bluetooth read: only the wake ends it.
        while (pWake != nullptr && !pWake->SleepMs(1000)) {
        }
        return EDeviceIo::Woken;
    }
    std::lock_guard lock(m_pLine->m);
    nRead = std::min(nSize, m_pLine->incoming.size());
    std::copy_n(m_pLine->incoming.begin(), nRead, pBuffer);
    m_pLine->incoming.erase(m_pLine->incoming.begin(), m_pLine->incoming.begin() + static_cast<ptrdiff_t>(nRead));
    return nRead == nSize ? EDeviceIo::Done : EDeviceIo::TimedOut;
}

EDeviceIo CFakeSerial::Write(const uint8_t* pData, size_t nLength, size_t& nWritten, const CWakeSignal*, int& nErr) {
    nErr = 0;
    for (nWritten = 0; nWritten < nLength; ++nWritten) {
        {
            std::lock_guard lock(m_pLine->m);
            m_pLine->written.push_back(pData[nWritten]);
        }
        std::this_thread::yield();
    }
    return EDeviceIo::Done;
}

SerialEndpointFactory FakeFactory(std::shared_ptr<SFakeLine> pLine, std::atomic<int>& nOpens) {
    return [pLine, &nOpens](std::u16string_view, int& nErr) -> std::unique_ptr<ISerialEndpoint> {
        nErr = 0;
        ++nOpens;
        pLine->bDestroyed = false;
        return std::make_unique<CFakeSerial>(pLine);
    };
}

CTempDir::CTempDir(const std::string& strTag)
    : m_path(std::filesystem::temp_directory_path() /
             ("vexal-" + strTag + "-" + std::to_string(getpid()) + "-" + std::to_string(TickMs()))) {
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

CTempDir::~CTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::u16string CTempDir::Wide() const {
    const std::string s = m_path.string();
    return std::u16string(s.begin(), s.end());
}

CDeviceDirScope::CDeviceDirScope(const std::filesystem::path& dir) { setenv("VEXAL_DEVICE_DIR", dir.c_str(), 1); }
CDeviceDirScope::~CDeviceDirScope() { unsetenv("VEXAL_DEVICE_DIR"); }

std::string ReadLogText(const std::filesystem::path& dir) {
    std::string text;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir / "VQTLog", ec)) {
        std::ifstream in(e.path(), std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i + 1 < raw.size(); i += 2) text.push_back(raw[i]);
    }
    return text;
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

bool WaitFor(const std::function<bool()>& pred, uint32_t ms) {
    const uint64_t t0 = TickMs();
    while (!pred()) {
        if (TickMs() - t0 > ms) return false;
        SleepMs(5);
    }
    return true;
}

uint64_t ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

}  // namespace serial_test
