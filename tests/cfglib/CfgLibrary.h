// The configuration library as a client loads it: by path with dlopen, each
// export looked up by name. One library directory per test program.
#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "include/zamocfg.h"

namespace cfglib_test {

// clang-format off
#define CFGLIB_TEST_EXPORTS(X)                                                                                        \
    X(selectInterface) X(selectCommandMode) X(setTimeout) X(openService) X(openServiceById) X(closeService) X(isOpen) \
    X(getDeviceId) X(directIO) X(setTransaction) X(setReadMode) X(convertHID) X(getResult) X(setStatusUpdateEvent)    \
    X(setDataEvent) X(getVexalName) X(getVexalVersion) X(getUsbList) X(getUsbInfo) X(getDevIdList)
// clang-format on

struct SCfgApi {
#define CFGLIB_TEST_MEMBER(name) decltype(&::name) name = nullptr;
    CFGLIB_TEST_EXPORTS(CFGLIB_TEST_MEMBER)
#undef CFGLIB_TEST_MEMBER
    void* hLibrary = nullptr;

    // Loads CFGLIB_DIR/libZamoCfg.so once per process (never unloaded: poll
    // threads may outlive a test). Throws when it or a name is missing.
    static const SCfgApi& Get();
    // Looks up any name of the loaded library (null when missing).
    void* Symbol(const char* pszName) const;
};

// The per-process folder the library's log goes to (set before loading).
const std::string& LogDir();
// Everything written to the library's log so far, as plain ASCII.
std::string LogText();

// A UTF-16 text buffer for ZamoText outputs.
struct CText {
    explicit CText(uint32_t nCapacity = 256) : storage(nCapacity, u'\0'), text{storage.data(), nCapacity, 0} {}
    std::string Ascii() const;
    std::vector<char16_t> storage;
    ZamoText text;
};

inline int64_t ElapsedMs(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// What the status and data callbacks delivered, for tests that register
// OnStatus and OnData; read and change it under g_eventLock.
extern std::mutex g_eventLock;
extern std::vector<int32_t> g_statuses;
extern std::vector<std::u16string> g_data;
void OnStatus(int32_t n);
void OnData(const char16_t* psz);

// Waits until pred (called under g_eventLock) holds or the limit passes.
template <typename TPred>
bool WaitFor(TPred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            std::lock_guard lock(g_eventLock);
            if (pred()) return true;
        }
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace cfglib_test
