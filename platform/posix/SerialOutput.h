// The output side of a serial line: a write that reports only what left the
// line, and a purge that ends a write in progress.
//
// write() on a tty returns once the bytes sit in the driver's output queue;
// bytes that CTS holds back stay there, and a purge or close throws them
// away. So a write waits for the queue to drain, within its time-out, and
// counts what is still queued as not sent (discarding it when the time-out
// ends, so that it never leaves later). A purge discards the queue and ends
// the write in progress, which reports what had left before the purge.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <sys/types.h>

#include "platform/DeviceIo.h"
#include "platform/posix/PollWait.h"

namespace vexal::platform {

class CWakeSignal;

// The system calls on the line's descriptor; tests supply a line of their own.
class ISerialOutputOps {
public:
    virtual ~ISerialOutputOps() = default;
    // write(2): the bytes taken, or -1 with nErr.
    virtual ssize_t Put(const uint8_t* pData, size_t nLength, int& nErr) = 0;
    // Bytes taken but not yet sent (TIOCOUTQ). False with nErr when the device cannot say.
    virtual bool Queued(size_t& nQueued, int& nErr) = 0;
    // Discards the bytes not yet sent (tcflush). 0 or an error code.
    virtual int Flush() = 0;
    // Waits up to ms for room in the output queue (poll for POLLOUT).
    virtual EPollOutcome WaitRoom(uint32_t ms, const CWakeSignal* pWake, short& nRevents, int& nErr) = 0;
};

class CSerialOutput {
public:
    explicit CSerialOutput(ISerialOutputOps& ops) : m_ops(ops) {}

    // Writes all bytes and waits until they left the line, for at most
    // nLimitMs. nSent counts only bytes that left. Woken when pWake was set
    // or a purge ended it.
    EDeviceIo Write(const uint8_t* pData, size_t nLength, uint64_t nLimitMs, const CWakeSignal* pWake, size_t& nSent,
                    int& nErr);
    // Discards the unsent bytes and ends a write in progress. 0 or an error code.
    int Purge();

private:
    // Bytes written but not yet sent. A device that cannot tell (not a tty)
    // counts as drained; one that fails (hung up) as holding nWritten.
    size_t Unsent(size_t nWritten);

    ISerialOutputOps& m_ops;
    // A purge and a writer's next Put never cross: a purge either comes
    // before the Put (the writer sees it and stops) or flushes what it put.
    std::mutex m_csPut;
    uint64_t m_nPurges = 0;      // under m_csPut
    size_t m_nPurgedUnsent = 0;  // under m_csPut: what the last purge discarded
};

// A write with no write time-out still ends after this long.
inline constexpr uint32_t kSerialWriteCapMs = 10000;

}  // namespace vexal::platform
