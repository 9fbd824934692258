#include "Log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace hubsim {

namespace {
std::mutex g_logMutex;
std::atomic<bool> g_bVerbose{false};
}  // namespace

void LogLine(const std::string& strLine) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fprintf(stderr, "hubsim: %s\n", strLine.c_str());
    std::fflush(stderr);
}

void SetVerbose(bool bVerbose) { g_bVerbose = bVerbose; }
bool IsVerbose() { return g_bVerbose; }

}  // namespace hubsim
