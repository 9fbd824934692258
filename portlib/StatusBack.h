// The status-back filter: takes 4-byte printer status records out of a block
// of received bytes and passes every other byte on, in order. Pure function.
#pragma once
#include <cstdint>

namespace vexal {

// Whether x is allowed as byte nPos (0..3) of a status record / of the second kind.
bool IsStatusRecordByte(uint32_t nPos, uint8_t x);
bool IsSecondRecordByte(uint32_t nPos, uint8_t x);

enum class EStatusTrace {
    Flushed,  // "1filter": pending bytes of a broken candidate passed on
    Single,   // "2filter": one byte that starts no candidate
    Mixed,    // "3filter": pending bytes that mixed the two kinds
};

class IStatusBackSink {
public:
    virtual ~IStatusBackSink() = default;
    // A complete record (4 bytes); bSecondKind for the second kind.
    virtual void OnStatusRecord(const uint8_t* pRecord, bool bSecondKind) = 0;
    // Only called when tracing is asked for.
    virtual void OnStatusTrace(EStatusTrace kind, const uint8_t* pBytes, uint32_t n) = 0;
};

// Filters n bytes; the passed-on bytes go to pData, which must hold n bytes.
// Bytes of a candidate still incomplete at the end are passed on as data.
// Returns the number of data bytes.
uint32_t FilterStatusBack(const uint8_t* pBytes, uint32_t n, uint8_t* pData, IStatusBackSink& sink, bool bTrace);

}  // namespace vexal
