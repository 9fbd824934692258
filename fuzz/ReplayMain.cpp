// Replays a fuzz target's seed corpus through its LLVMFuzzerTestOneInput in an
// ordinary build, so the seeds (and every crash kept among them) run as a test
// under the normal and the sanitizer builds.
//
//   <area>_corpus_replay [--every-selector] DIR...
//
// Each seed runs whole and cut short at every length, since a decoder that
// takes more than it was given is the most common fault. With
// --every-selector every cut also runs under all 256 values of its first byte.
// Each run gets an exactly sized copy, so a sanitizer build sees any read past
// the end. An empty or missing corpus fails.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);

namespace {

void RunExactCopy(const std::vector<uint8_t>& input, size_t nLength, int nSelector) {
    auto pCopy = std::make_unique<uint8_t[]>(nLength);
    std::copy_n(input.begin(), nLength, pCopy.get());
    if (nSelector >= 0 && nLength > 0) pCopy[0] = static_cast<uint8_t>(nSelector);
    LLVMFuzzerTestOneInput(pCopy.get(), nLength);
}

}  // namespace

int main(int argc, char** argv) {
    bool bEverySelector = false;
    std::vector<std::filesystem::path> dirs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--every-selector") == 0)
            bEverySelector = true;
        else
            dirs.emplace_back(argv[i]);
    }
    if (dirs.empty()) {
        std::fprintf(stderr, "usage: %s [--every-selector] CORPUS_DIR...\n", argv[0]);
        return 2;
    }
    size_t nFiles = 0;
    size_t nRuns = 0;
    for (const auto& dir : dirs) {
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
            if (entry.is_regular_file()) files.push_back(entry.path());
        if (ec) {
            std::fprintf(stderr, "cannot read corpus %s: %s\n", dir.c_str(), ec.message().c_str());
            return 1;
        }
        std::sort(files.begin(), files.end());  // the same order on every machine
        for (const auto& path : files) {
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", path.c_str());
                return 1;
            }
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            ++nFiles;
            for (size_t nLength = 0; nLength <= bytes.size(); ++nLength, ++nRuns) RunExactCopy(bytes, nLength, -1);
            if (!bEverySelector) continue;
            for (int nSelector = 0; nSelector < 256; ++nSelector)
                for (size_t nLength = 1; nLength <= bytes.size(); ++nLength, ++nRuns)
                    RunExactCopy(bytes, nLength, nSelector);
        }
    }
    std::printf("replayed %zu corpus files in %zu runs\n", nFiles, nRuns);
    return nFiles == 0 ? 1 : 0;  // an empty corpus tests nothing
}
