// A USB bus for tests: devices the test lists, open results it chooses, and
// devices whose reads and writes follow a script.
#pragma once
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Usb.h"

namespace vexal::test {

// One scripted slice: the result and how many bytes it moves.
struct SFakeSlice {
    platform::EUsbResult eResult = platform::EUsbResult::Ok;
    std::vector<uint8_t> bytes;  // read: what arrives; write: unused
    size_t nAccept = 0;          // write: bytes the slice takes
};

class CFakeUsbDevice final : public platform::IUsbDevice {
public:
    platform::EUsbResult Read(uint8_t* pBuffer, size_t nSize, uint32_t dwTimeoutMs, size_t& nDone) override {
        std::unique_lock lock(m_cs);
        nDone = 0;
        const bool bServed = !m_bServeOnlyOne || std::this_thread::get_id() == m_served;
        if (bServed) {
            ++m_nReadSlices;
            m_nLastReadSize = nSize;
        }
        if (m_bBlockUntilCancel && !m_bCancelled) m_bInBlockedRead = true;
        if (m_reads.empty() || !bServed) {
            // Nothing for this thread: a slice that times out unless cancelled
            // (or, stuck, one that only a cancel ends).
            if (m_bBlockUntilCancel) m_cv.wait(lock, [&] { return m_bCancelled; });
            else m_cv.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs), [&] { return m_bCancelled; });
            return m_bCancelled ? platform::EUsbResult::Cancelled : platform::EUsbResult::TimedOut;
        }
        SFakeSlice slice = std::move(m_reads.front());
        m_reads.pop_front();
        nDone = std::min(nSize, slice.bytes.size());
        std::copy_n(slice.bytes.begin(), nDone, pBuffer);
        return slice.eResult;
    }
    platform::EUsbResult Write(const uint8_t* pData, size_t nLength, uint32_t, size_t& nDone) override {
        std::lock_guard lock(m_cs);
        ++m_nWriteSlices;
        SFakeSlice slice;
        if (!m_writes.empty()) {
            slice = m_writes.front();
            m_writes.pop_front();
        } else {
            slice.nAccept = nLength;
        }
        nDone = std::min(nLength, slice.nAccept);
        m_written.insert(m_written.end(), pData, pData + nDone);
        return slice.eResult;
    }
    void Cancel() override {
        {
            std::lock_guard lock(m_cs);
            m_bCancelled = true;
        }
        m_cv.notify_all();
    }

    // Scripted reads go to this thread only (the port's own reader then only
    // sees empty slices).
    void ServeOnly(std::thread::id id) {
        std::lock_guard lock(m_cs);
        m_bServeOnlyOne = true;
        m_served = id;
    }
    // Unscripted reads ignore their time limit: only Cancel ends them.
    void BlockUntilCancel() {
        std::lock_guard lock(m_cs);
        m_bBlockUntilCancel = true;
    }
    void ScriptRead(SFakeSlice slice) {
        std::lock_guard lock(m_cs);
        m_reads.push_back(std::move(slice));
    }
    void ScriptWrite(SFakeSlice slice) {
        std::lock_guard lock(m_cs);
        m_writes.push_back(std::move(slice));
    }
    std::vector<uint8_t> Written() {
        std::lock_guard lock(m_cs);
        return m_written;
    }

    std::atomic<int> m_nReadSlices{0};
    std::atomic<int> m_nWriteSlices{0};
    std::atomic<size_t> m_nLastReadSize{0};
    std::atomic<bool> m_bInBlockedRead{false};

private:
    std::mutex m_cs;
    std::condition_variable m_cv;
    std::deque<SFakeSlice> m_reads;
    std::deque<SFakeSlice> m_writes;
    std::vector<uint8_t> m_written;
    bool m_bCancelled = false;
    bool m_bServeOnlyOne = false;
    std::thread::id m_served;
    bool m_bBlockUntilCancel = false;
};

// What the port owns: the device itself stays with the bus, so a test may
// look at it after the port closed it.
class CFakeUsbHandle final : public platform::IUsbDevice {
public:
    explicit CFakeUsbHandle(std::shared_ptr<CFakeUsbDevice> pDevice) : m_pDevice(std::move(pDevice)) {}
    platform::EUsbResult Read(uint8_t* p, size_t n, uint32_t ms, size_t& nDone) override {
        return m_pDevice->Read(p, n, ms, nDone);
    }
    platform::EUsbResult Write(const uint8_t* p, size_t n, uint32_t ms, size_t& nDone) override {
        return m_pDevice->Write(p, n, ms, nDone);
    }
    void Cancel() override { m_pDevice->Cancel(); }

private:
    std::shared_ptr<CFakeUsbDevice> m_pDevice;
};

// An open hands out a new device, prepared by m_pfnPrepare.
class CFakeUsbBus final : public platform::IUsbBus {
public:
    std::vector<platform::SUsbDeviceInfo> Enumerate() override {
        std::lock_guard lock(m_cs);
        ++m_nEnumerations;
        return m_devices;
    }
    platform::EUsbResult TestOpen(const std::string& strPath) override {
        std::lock_guard lock(m_cs);
        auto it = m_testResults.find(strPath);
        return it == m_testResults.end() ? platform::EUsbResult::Ok : it->second;
    }
    std::unique_ptr<platform::IUsbDevice> Open(const std::string& strPath, platform::EUsbResult& eResult) override {
        std::lock_guard lock(m_cs);
        ++m_nOpens;
        eResult = m_eOpenResult;
        const bool bListed = std::any_of(m_devices.begin(), m_devices.end(),
                                         [&](const platform::SUsbDeviceInfo& d) { return d.strPath == strPath; });
        if (!bListed && eResult == platform::EUsbResult::Ok) eResult = platform::EUsbResult::NoDevice;
        if (eResult != platform::EUsbResult::Ok) return nullptr;
        auto pDevice = std::make_shared<CFakeUsbDevice>();
        if (m_pfnPrepare) m_pfnPrepare(*pDevice);
        m_opened.push_back(pDevice);
        return std::make_unique<CFakeUsbHandle>(pDevice);
    }

    void SetDevices(std::vector<platform::SUsbDeviceInfo> devices) {
        std::lock_guard lock(m_cs);
        m_devices = std::move(devices);
    }
    void SetTestResult(const std::string& strPath, platform::EUsbResult eResult) {
        std::lock_guard lock(m_cs);
        m_testResults[strPath] = eResult;
    }
    void SetOpenResult(platform::EUsbResult eResult) {
        std::lock_guard lock(m_cs);
        m_eOpenResult = eResult;
    }
    // Called on each new device before the port sees it (under the bus's lock).
    std::function<void(CFakeUsbDevice&)> m_pfnPrepare;
    // The device of the latest open.
    std::shared_ptr<CFakeUsbDevice> LastDevice() {
        std::lock_guard lock(m_cs);
        return m_opened.empty() ? nullptr : m_opened.back();
    }
    std::atomic<int> m_nOpens{0};
    std::atomic<int> m_nEnumerations{0};

private:
    std::mutex m_cs;
    std::vector<platform::SUsbDeviceInfo> m_devices;
    std::map<std::string, platform::EUsbResult> m_testResults;
    platform::EUsbResult m_eOpenResult = platform::EUsbResult::Ok;
    std::vector<std::shared_ptr<CFakeUsbDevice>> m_opened;
};

}  // namespace vexal::test
