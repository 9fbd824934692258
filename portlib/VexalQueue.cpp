#include "portlib/VexalQueue.h"

#include <algorithm>
#include <cstring>

namespace vexal {

CVexalData::CVexalData(uint32_t dwDeviceId, uint32_t dwCapacity) : m_dwDeviceId(dwDeviceId), m_buffer(dwCapacity, 0) {}

void CVexalData::Append(const uint8_t* pData, uint32_t n) {
    if (n == 0 || pData == nullptr) return;
    const uint64_t nNeeded = static_cast<uint64_t>(m_dwCount) + n;
    if (nNeeded > m_buffer.size()) {
        // Exact growth: the new buffer holds the waiting bytes and the new ones, nothing more.
        std::vector<uint8_t> grown(static_cast<size_t>(nNeeded), 0);
        std::memcpy(grown.data(), m_buffer.data(), m_dwCount);
        m_buffer.swap(grown);
    }
    std::memcpy(m_buffer.data() + m_dwCount, pData, n);
    m_dwCount = static_cast<uint32_t>(nNeeded);
}

uint32_t CVexalData::Take(uint8_t* pDest, uint32_t w) {
    const uint32_t k = std::min(m_dwCount, w);
    if (k == 0) return 0;
    std::memcpy(pDest, m_buffer.data(), k);
    const uint32_t nRest = m_dwCount - k;
    if (nRest > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + k, nRest);
    } else {
        std::fill(m_buffer.begin(), m_buffer.end(), 0);
    }
    m_dwCount = nRest;
    return k;
}

bool CVexalData::TakeRecord(uint8_t* pDest) {
    if (m_dwCount < kStatusRecordSize) return false;
    std::memcpy(pDest, m_buffer.data(), kStatusRecordSize);
    m_dwCount -= kStatusRecordSize;
    std::memmove(m_buffer.data(), m_buffer.data() + kStatusRecordSize, m_dwCount);
    return true;
}

}  // namespace vexal
