// Per-device byte queues of a port: receive queues (CVexalData) and status
// queues (CVexalStatus). Plain values; the port guards each list with its lock.
#pragma once
#include <cstdint>
#include <vector>

namespace vexal {

inline constexpr uint32_t kReceiveQueueCapacity = 1024;
inline constexpr uint32_t kStatusQueueCapacity = 12;
inline constexpr uint32_t kStatusRecordSize = 4;

class CVexalData {
public:
    CVexalData(uint32_t dwDeviceId, uint32_t dwCapacity = kReceiveQueueCapacity);

    uint32_t DeviceId() const { return m_dwDeviceId; }
    uint32_t Count() const { return m_dwCount; }
    uint32_t Capacity() const { return static_cast<uint32_t>(m_buffer.size()); }
    const uint8_t* Data() const { return m_buffer.data(); }

    // Appends n bytes; grows the buffer to exactly count + n when they do not fit.
    void Append(const uint8_t* pData, uint32_t n);
    // Takes up to w bytes from the front into pDest; returns how many were taken.
    uint32_t Take(uint8_t* pDest, uint32_t w);
    // Takes the oldest 4-byte record; false (pDest untouched) when fewer than 4 wait.
    bool TakeRecord(uint8_t* pDest);
    // Forgets the waiting bytes (capacity stays).
    void Clear() { m_dwCount = 0; }

private:
    uint32_t m_dwDeviceId;
    uint32_t m_dwCount = 0;
    std::vector<uint8_t> m_buffer;
};

// A status queue holds whole 4-byte status records; same rules, smaller start.
class CVexalStatus : public CVexalData {
public:
    explicit CVexalStatus(uint32_t dwDeviceId, uint32_t dwCapacity = kStatusQueueCapacity)
        : CVexalData(dwDeviceId, dwCapacity) {}
};

}  // namespace vexal
