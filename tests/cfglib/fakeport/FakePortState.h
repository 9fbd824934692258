// The stand-in port library's state, shared by its 18 entries (libzamoport.so)
// and the test controls (libzamoport_fakecontrol.so), so that the stand-in
// exports exactly the port library's names.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "include/zamoport.h"

namespace fakeport {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kPortId = 10000;

struct SPending {
    uint32_t dwDevice = 0;
    Clock::time_point due;
    std::vector<uint8_t> bytes;
};

struct SReply {
    std::vector<uint8_t> bytes;
    uint32_t dwDelayMs = 0;
};

struct SFake {
    std::mutex lock;
    std::string strLog;
    std::vector<uint8_t> written;
    std::map<uint32_t, std::deque<uint8_t>> queues;
    std::vector<SPending> pending;                           // replies for device 0 not yet due
    std::map<std::pair<uint32_t, uint8_t>, SReply> replies;  // (device, first payload byte)
    uint32_t present[256] = {};
    ZamoAlarmCallback alarms[256] = {};
    uint32_t dwOpenResult = 1;
    uint32_t dwOpenCount = 0;
    uint32_t dwReferences = 0;
    uint32_t dwWriteLimit = 0;
    bool bWriteFailure = false;
    int32_t nWriteFailure = 0;
    uint32_t dwPnp = 0;
    std::atomic<uint32_t> dwPowerStateDelayMs{0};
    std::atomic<uint32_t> dwPowerStateCallers{0};
    uint32_t fields[18] = {};
    std::string strOptionName;
    std::vector<uint8_t> frameBuffer;  // bytes of a frame still being written
};

// The one fake, shared by both libraries.
SFake& Fake();
void LogLocked(SFake& f, const std::string& strLine);
std::string Utf8(const char16_t* psz);
// Moves replies that are due into their device's queue.
void DeliverDueLocked(SFake& f);
// Answers complete hub frames found in what was written.
void ParseFramesLocked(SFake& f, const uint8_t* pData, uint32_t dwLength);
// Copies at most dwSize bytes (dwSize-1 and a NUL for text); returns nSource.
uint32_t CopyOut(const void* pSource, size_t nSource, void* pBuffer, uint32_t dwSize, bool bText);

}  // namespace fakeport
