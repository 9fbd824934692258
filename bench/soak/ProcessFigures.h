// What the soak watches of its own process: resident memory, open
// descriptors and threads, as the kernel reports them under /proc/self.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace vexal::soak {

struct SProcessFigures {
    int64_t nRssKiB = -1;   // VmRSS
    int nThreads = -1;      // Threads
    int nDescriptors = -1;  // entries of /proc/self/fd, the listing's own one left out
};

// The number after "Key:" in the text of /proc/<pid>/status ("VmRSS:  1234 kB"
// gives 1234); nothing when the key is missing or carries no number.
std::optional<int64_t> StatusNumber(std::string_view strStatus, std::string_view strKey);

// Reads the three figures now; a figure that cannot be read stays -1.
SProcessFigures ReadProcessFigures();

}  // namespace vexal::soak
