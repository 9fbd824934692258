// A transport for tests: ReadPort hands out blocks the test feeds, WritePort
// records; optionally ReadPort blocks until released, like a stuck device.
#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "portlib/PortInterface.h"

namespace vexal::test {

class CFakePort : public CPortInterface {
public:
    // One block per read cycle, as a transport would deliver it.
    void Feed(std::vector<uint8_t> block) {
        std::lock_guard lock(m_mutex);
        m_blocks.push_back(std::move(block));
    }
    size_t BlocksLeft() {
        std::lock_guard lock(m_mutex);
        return m_blocks.size();
    }
    // Makes ReadPort block (ignoring the stop request) until Release().
    void BlockReads() { m_bBlock = true; }
    void Release() {
        {
            std::lock_guard lock(m_mutex);
            m_bBlock = false;
        }
        m_cond.notify_all();
    }

    uint32_t SetDeviceOption(const DeviceOption& option) override {
        m_lastOption = option;
        return CPortInterface::SetDeviceOption(option);
    }
    uint32_t OpenPort() override {
        ++m_nOpenCalls;
        if (!m_bOpenSucceeds) return 0;
        m_bOpen = true;
        m_dwLinkState = ZAMO_LINK_ONLINE;
        return CPortInterface::OpenPort();
    }
    void ClosePort() override {
        ++m_nCloseCalls;
        m_bOpen = false;
        CPortInterface::ClosePort();
    }
    int32_t WritePort(const uint8_t* pData, uint32_t dwLength) override {
        if (pData == nullptr || dwLength == 0) return 0;
        std::lock_guard lock(m_mutex);
        m_written.insert(m_written.end(), pData, pData + dwLength);
        return static_cast<int32_t>(dwLength);
    }
    int32_t ReadPort(uint8_t* pBuffer, uint32_t dwSize) override {
        std::unique_lock lock(m_mutex);
        ++m_nReads;
        if (m_bBlock) {
            m_bInBlockedRead = true;
            m_cond.wait(lock, [&] { return !m_bBlock.load(); });
            m_bInBlockedRead = false;
        }
        if (m_blocks.empty()) return 0;
        std::vector<uint8_t> block = std::move(m_blocks.front());
        m_blocks.pop_front();
        const uint32_t n = std::min<uint32_t>(dwSize, static_cast<uint32_t>(block.size()));
        std::copy(block.begin(), block.begin() + n, pBuffer);
        return static_cast<int32_t>(n);
    }

    std::atomic<bool> m_bOpenSucceeds{true};
    std::atomic<int> m_nOpenCalls{0};
    std::atomic<int> m_nCloseCalls{0};
    std::atomic<int> m_nReads{0};
    std::atomic<bool> m_bInBlockedRead{false};
    std::vector<uint8_t> m_written;
    DeviceOption m_lastOption{};

    using CPortInterface::m_settings;

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<std::vector<uint8_t>> m_blocks;
    std::atomic<bool> m_bBlock{false};
};

// "VQT", device, big-endian length, payload.
inline std::vector<uint8_t> Frame(uint8_t device, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> f{0x56,
                           0x51,
                           0x54,
                           device,
                           static_cast<uint8_t>(payload.size() >> 8),
                           static_cast<uint8_t>(payload.size() & 0xFF)};
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace vexal::test
