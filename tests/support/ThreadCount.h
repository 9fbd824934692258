// Threads of this process right now, for tests that check a session leaves none behind.
#pragma once

#include <cstddef>
#include <filesystem>
#include <system_error>

// Counts the entries of /proc/self/task; 0 if it cannot be read.
inline size_t ProcessThreadCount() {
    size_t n = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++n;
    return n;
}
