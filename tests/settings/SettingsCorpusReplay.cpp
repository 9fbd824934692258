// Replays the settings fuzz corpus through the fuzz entry in every ordinary
// build: each seed as it is, then every prefix of its reply under each of the
// decoders, so a decoder that accepts a reply shorter than what it takes from
// it (the entry traps then) fails here without a fuzzing run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);

int main(int argc, char** argv)
{
    const std::filesystem::path dir = argc > 1 ? argv[1] : SETTINGS_CORPUS_DIR;
    std::error_code ec;
    size_t nFiles = 0;
    size_t nRuns = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ++nFiles;
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++nRuns;
        if (bytes.empty()) continue;
        // The selector's low bits pick the decoder (13 of them), the high ones its parameter.
        for (unsigned nSelector = 0; nSelector < 256; ++nSelector) {
            bytes[0] = static_cast<uint8_t>(nSelector);
            for (size_t nLength = 1; nLength <= bytes.size(); ++nLength) {
                // An exactly sized copy, so a sanitizer build sees any read past the end.
                const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(nLength));
                LLVMFuzzerTestOneInput(prefix.data(), prefix.size());
                ++nRuns;
            }
        }
    }
    std::printf("replayed %zu corpus files from %s in %zu runs\n", nFiles, dir.c_str(), nRuns);
    return (ec || nFiles == 0) ? 1 : 0;  // an empty or missing corpus is a fault
}
