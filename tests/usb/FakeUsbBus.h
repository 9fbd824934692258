// A USB bus for tests: devices the test lists, open results it chooses, and
// devices whose reads and writes follow a script.
#pragma once
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Usb.h"

namespace vexal::test {

using platform::EUsbResult;

// One scripted slice: its result, the bytes a read delivers, the count a write takes.
struct SFakeSlice {
    EUsbResult eResult = EUsbResult::Ok;
    std::vector<uint8_t> bytes;
    size_t nAccept = 0;
};

class CFakeUsbDevice final : public platform::IUsbDevice {
public:
    // Scripted reads go to one thread only: the port's own reader then sees
    // empty slices, which time out (or, stuck, end only by a cancel).
    std::thread::id m_served = std::this_thread::get_id();
    bool m_bStuck = false;
    std::atomic<bool> m_bInStuckRead{false};
    std::atomic<size_t> m_nLastReadSize{0};
    std::atomic<int> m_nReadSlices{0}, m_nWriteSlices{0};

    EUsbResult Read(uint8_t* pBuffer, size_t nSize, uint32_t dwTimeoutMs, size_t& nDone) override {
        std::unique_lock lock(m_cs);
        nDone = 0;
        const bool bServed = std::this_thread::get_id() == m_served;
        if (bServed) ++m_nReadSlices, m_nLastReadSize = nSize;
        if (m_reads.empty() || !bServed) {
            m_bInStuckRead = m_bStuck;
            const auto cancelled = [&] { return m_bCancelled; };
            if (m_bStuck)
                m_cv.wait(lock, cancelled);
            else
                m_cv.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs), cancelled);
            return m_bCancelled ? EUsbResult::Cancelled : EUsbResult::TimedOut;
        }
        SFakeSlice slice = std::move(m_reads.front());
        m_reads.pop_front();
        nDone = std::min(nSize, slice.bytes.size());
        std::copy_n(slice.bytes.begin(), nDone, pBuffer);
        return slice.eResult;
    }
    EUsbResult Write(const uint8_t* pData, size_t nLength, uint32_t, size_t& nDone) override {
        std::lock_guard lock(m_cs);
        ++m_nWriteSlices;
        SFakeSlice slice{EUsbResult::Ok, {}, nLength};
        if (!m_writes.empty()) slice = m_writes.front(), m_writes.pop_front();
        nDone = std::min(nLength, slice.nAccept);
        m_written.insert(m_written.end(), pData, pData + nDone);
        return slice.eResult;
    }
    void Cancel() override {
        std::lock_guard lock(m_cs);
        m_bCancelled = true;
        m_cv.notify_all();
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

private:
    std::mutex m_cs;
    std::condition_variable m_cv;
    std::deque<SFakeSlice> m_reads, m_writes;
    std::vector<uint8_t> m_written;
    bool m_bCancelled = false;
};

// What the port owns; the device stays with the bus for the test to inspect.
class CFakeUsbHandle final : public platform::IUsbDevice {
public:
    explicit CFakeUsbHandle(std::shared_ptr<CFakeUsbDevice> p) : m_p(std::move(p)) {}
    EUsbResult Read(uint8_t* b, size_t n, uint32_t ms, size_t& d) override { return m_p->Read(b, n, ms, d); }
    EUsbResult Write(const uint8_t* b, size_t n, uint32_t ms, size_t& d) override { return m_p->Write(b, n, ms, d); }
    void Cancel() override { m_p->Cancel(); }

private:
    std::shared_ptr<CFakeUsbDevice> m_p;
};

class CFakeUsbBus final : public platform::IUsbBus {
public:
    std::vector<platform::SUsbDeviceInfo> Enumerate() override {
        std::lock_guard lock(m_cs);
        return m_devices;
    }
    EUsbResult TestOpen(const std::string& strPath) override {
        std::lock_guard lock(m_cs);
        auto it = m_testResults.find(strPath);
        return it == m_testResults.end() ? EUsbResult::Ok : it->second;
    }
    std::unique_ptr<platform::IUsbDevice> Open(const std::string& strPath, EUsbResult& eResult) override {
        std::lock_guard lock(m_cs);
        ++m_nOpens;
        const bool bListed =
            std::any_of(m_devices.begin(), m_devices.end(), [&](auto& d) { return d.strPath == strPath; });
        eResult = m_eOpenResult != EUsbResult::Ok ? m_eOpenResult : bListed ? EUsbResult::Ok : EUsbResult::NoDevice;
        if (eResult != EUsbResult::Ok) return nullptr;
        m_opened.push_back(std::make_shared<CFakeUsbDevice>());
        if (m_pfnPrepare) m_pfnPrepare(*m_opened.back());
        return std::make_unique<CFakeUsbHandle>(m_opened.back());
    }

    void SetDevices(std::vector<platform::SUsbDeviceInfo> v) {
        std::lock_guard lock(m_cs);
        m_devices = std::move(v);
    }
    void SetTestResult(const std::string& s, EUsbResult e) {
        std::lock_guard lock(m_cs);
        m_testResults[s] = e;
    }
    void SetOpenResult(EUsbResult e) {
        std::lock_guard lock(m_cs);
        m_eOpenResult = e;
    }
    std::shared_ptr<CFakeUsbDevice> LastDevice() {
        std::lock_guard lock(m_cs);
        return m_opened.empty() ? nullptr : m_opened.back();
    }
    std::function<void(CFakeUsbDevice&)> m_pfnPrepare;  // on each new device
    std::atomic<int> m_nOpens{0};

private:
    std::mutex m_cs;
    std::vector<platform::SUsbDeviceInfo> m_devices;
    std::map<std::string, EUsbResult> m_testResults;
    EUsbResult m_eOpenResult = EUsbResult::Ok;
    std::vector<std::shared_ptr<CFakeUsbDevice>> m_opened;
};

}  // namespace vexal::test
