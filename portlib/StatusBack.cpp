#include "portlib/StatusBack.h"

#include <cstring>

namespace vexal {

namespace {
// One 256-bit set of allowed values per byte position, built once.
struct CByteSets {
    bool status[4][256] = {};
    bool second[4][256] = {};
    bool startsAny[256] = {};  // may start either kind of record
    CByteSets() {
        const uint8_t s1[] = {0x10, 0x14, 0x18, 0x1C, 0x30, 0x34, 0x38, 0x3C, 0x54, 0x58, 0x5C};
        const uint8_t s2[] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x20, 0x40, 0x60};
        const uint8_t s3[] = {0x00, 0x03, 0x0C, 0x0F};
        const uint8_t s4[] = {0x00, 0x0F, 0x4F};
        for (uint8_t x : s1) status[0][x] = true;
        for (uint8_t x : s2) status[1][x] = true;
        for (uint8_t x : s3) status[2][x] = true;
        for (uint8_t x : s4) status[3][x] = true;
        const uint8_t i2[] = {0x40, 0x41, 0x42, 0x44, 0x48, 0x4C, 0x60};
        const uint8_t i3[] = {0x40, 0x41, 0x42};
        second[0][0x35] = true;
        for (uint8_t x : i2) second[1][x] = true;
        for (uint8_t x : i3) second[2][x] = true;
        second[3][0x00] = true;
        for (int x = 0; x < 256; ++x) startsAny[x] = status[0][x] || second[0][x];
    }
};
const CByteSets& Sets() {
    static const CByteSets sets;
    return sets;
}
}  // namespace

bool IsStatusRecordByte(uint32_t nPos, uint8_t x) { return nPos < 4 && Sets().status[nPos][x]; }
bool IsSecondRecordByte(uint32_t nPos, uint8_t x) { return nPos < 4 && Sets().second[nPos][x]; }

uint32_t FilterStatusBack(const uint8_t* b, uint32_t n, uint8_t* pData, IStatusBackSink& sink, bool bTrace) {
    const CByteSets& sets = Sets();
    uint8_t pending[4];
    uint32_t nPending = 0;
    uint32_t k = 0;  // status-record bytes matched
    uint32_t m = 0;  // second-kind bytes matched
    uint32_t nData = 0;
    auto flush = [&](EStatusTrace kind) {
        std::memcpy(pData + nData, pending, nPending);
        nData += nPending;
        if (bTrace) sink.OnStatusTrace(kind, pending, nPending);
        nPending = 0;
        k = 0;
        m = 0;
    };
    uint32_t i = 0;
    while (i < n) {
        if (nPending == 0 && !bTrace) {
            // Fast path: a run of bytes that start no record is plain data.
            uint32_t j = i;
            while (j < n && !sets.startsAny[b[j]]) ++j;
            if (j > i) {
                std::memcpy(pData + nData, b + i, j - i);
                nData += j - i;
                i = j;
                continue;
            }
        }
        const uint8_t x = b[i];
        bool bMatched = false;
        if (k < 4 && sets.status[k][x]) {
            pending[nPending++] = x;
            ++k;
            bMatched = true;
        } else if (m < 4 && sets.second[m][x]) {
            pending[nPending++] = x;
            ++m;
            bMatched = true;
        }
        if (bMatched) {
            ++i;
            if (k > 0 && m > 0) {
                flush(EStatusTrace::Mixed);
            } else if (k == 4 || m == 4) {
                sink.OnStatusRecord(pending, m == 4);
                nPending = 0;
                k = 0;
                m = 0;
            }
            continue;
        }
        if (nPending > 0) {
            flush(EStatusTrace::Flushed);  // x is examined again
            continue;
        }
        pData[nData++] = x;
        if (bTrace) sink.OnStatusTrace(EStatusTrace::Single, &x, 1);
        ++i;
    }
    // An unfinished candidate at the end of the block is ordinary data.
    if (nPending > 0) flush(EStatusTrace::Flushed);
    return nData;
}

}  // namespace vexal
