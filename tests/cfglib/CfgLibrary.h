// The configuration library as a client loads it: by path with dlopen, each
// export looked up by name. One library directory per test program.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "include/zamocfg.h"

namespace cfglib_test {

#define CFGLIB_TEST_EXPORTS(X)                                                                                        \
    X(selectInterface) X(selectCommandMode) X(setTimeout) X(openService) X(openServiceById) X(closeService) X(isOpen) \
    X(getDeviceId) X(directIO) X(setTransaction) X(setReadMode) X(convertHID) X(getResult) X(setStatusUpdateEvent)    \
    X(setDataEvent) X(getVexalName) X(getVexalVersion) X(getUsbList) X(getUsbInfo) X(getDevIdList)

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

}  // namespace cfglib_test
