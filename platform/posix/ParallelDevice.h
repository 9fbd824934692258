// The parallel backend over the calls it makes on a printer port's
// descriptor (lp, usblp), so that a test can supply a port of its own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sys/types.h>

#include "platform/Parallel.h"
#include "platform/posix/PollWait.h"

namespace vexal::platform {

class IParallelOps {
public:
    virtual ~IParallelOps() = default;
    // LPGETSTATUS. 0 or an error code.
    virtual int GetStatus(int& nStatus) = 0;
    // read(2) and write(2): the count, or -1 with nErr.
    virtual ssize_t Get(uint8_t* pBuffer, size_t nSize, int& nErr) = 0;
    virtual ssize_t Put(const uint8_t* pData, size_t nLength, int& nErr) = 0;
    // Waits up to ms for POLLOUT: a USB printer reports it once its last
    // write has completed (lp has no poll and is always ready).
    virtual EPollOutcome WaitWritten(uint32_t ms, const CWakeSignal* pWake, short& nRevents, int& nErr) = 0;
    // The driver's abort-on-error flag (LPGETFLAGS, LPABORT). False when the
    // device has none.
    virtual bool GetAbortOnError(bool& bOn) = 0;
    virtual bool SetAbortOnError(bool bOn) = 0;
};

// The endpoint over ops; validBits are the status bits the device reports.
std::unique_ptr<IParallelEndpoint> MakeParallelEndpoint(std::unique_ptr<IParallelOps> pOps, uint8_t validBits);

}  // namespace vexal::platform
