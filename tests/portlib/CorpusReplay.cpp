// Replays every file of the fuzz corpus through the fuzz entry, so the seeds
// (and any crash found and kept there) run in every ordinary build.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "PortlibFuzzEntry.h"

int main(int argc, char** argv) {
    const std::filesystem::path dir = argc > 1 ? argv[1] : PORTLIB_CORPUS_DIR;
    std::error_code ec;
    size_t nFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        vexal::PortlibFuzzOne(bytes.data(), bytes.size());
        ++nFiles;
    }
    std::printf("replayed %zu corpus files from %s\n", nFiles, dir.c_str());
    return (ec || nFiles == 0) ? 1 : 0;  // an empty or missing corpus is a fault
}
