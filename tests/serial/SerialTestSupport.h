// Shared by the serial tests: a scriptable serial endpoint, a temporary device
// directory, log reading and waits.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Serial.h"
#include "platform/WakeSignal.h"

namespace serial_test {

// What a fake serial device shows and what was done to it; the test keeps it
// while the port owns the endpoint.
struct SFakeLine {
    std::mutex m;
    std::vector<uint8_t> incoming;  // received bytes waiting
    std::vector<uint8_t> written;   // bytes the port wrote
    std::atomic<uint32_t> dwModem{vexal::platform::kModemCts | vexal::platform::kModemDsr};
    std::atomic<int> nApplyError{0};
    vexal::platform::SSerialLinePlan plan;  // the last one applied
    std::atomic<int> nOutputPurges{0};
    std::atomic<int> nReads{0};
    std::atomic<size_t> nLargestAsk{0};
    std::atomic<bool> bBlockReads{false};  // reads wait until woken
    std::atomic<bool> bDestroyed{false};
};

class CFakeSerial final : public vexal::platform::ISerialEndpoint {
public:
    explicit CFakeSerial(std::shared_ptr<SFakeLine> pLine) : m_pLine(std::move(pLine)) {}
    ~CFakeSerial() override { m_pLine->bDestroyed = true; }

    int ReadLine(vexal::platform::SSerialLineState& state) override;
    int ApplyLine(const vexal::platform::SSerialLinePlan& plan) override;
    void SetTimeouts(const vexal::platform::SSerialTimeouts&) override {}
    int Purge(bool bInput, bool bOutput) override;
    bool ModemStatus(uint32_t& dwBits, int& nErr) override;
    bool WaitingBytes(uint32_t& dwCount, int& nErr) override;
    vexal::platform::EDeviceIo WaitReceive(uint32_t ms, const vexal::platform::CWakeSignal* pWake, int& nErr) override;
    vexal::platform::EDeviceIo Read(uint8_t* pBuffer, size_t nSize, size_t& nRead,
                                    const vexal::platform::CWakeSignal* pWake, int& nErr) override;
    // One byte at a time with a yield between, so unserialised writers would interleave.
    vexal::platform::EDeviceIo Write(const uint8_t* pData, size_t nLength, size_t& nWritten,
                                     const vexal::platform::CWakeSignal* pWake, int& nErr) override;

private:
    std::shared_ptr<SFakeLine> m_pLine;
};

// A factory that hands out fakes on the given line and counts the opens.
vexal::platform::SerialEndpointFactory FakeFactory(std::shared_ptr<SFakeLine> pLine, std::atomic<int>& nOpens);

// A fresh directory under the temporary folder, removed by the destructor.
class CTempDir {
public:
    explicit CTempDir(const std::string& strTag);
    ~CTempDir();
    const std::filesystem::path& Path() const { return m_path; }
    std::u16string Wide() const;

private:
    std::filesystem::path m_path;
};

// Sets VEXAL_DEVICE_DIR for the scope.
class CDeviceDirScope {
public:
    explicit CDeviceDirScope(const std::filesystem::path& dir);
    ~CDeviceDirScope();
};

// Every log file under dir/VQTLog as ASCII (UTF-16LE with the high bytes dropped).
std::string ReadLogText(const std::filesystem::path& dir);
size_t CountOf(const std::string& text, const std::string& what);
bool WaitFor(const std::function<bool()>& pred, uint32_t ms);
// CPU time of the whole process in ms.
uint64_t ProcessCpuMs();

}  // namespace serial_test
