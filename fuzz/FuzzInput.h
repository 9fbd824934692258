// What every fuzz target does with its input first, and how it reports a
// broken invariant.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::fuzz {

// A broken invariant is a crash, so the fuzzer keeps the input that broke it.
inline void Require(bool bCondition) {
    if (!bCondition) std::abort();
}

// The input from byte nSkip on, copied into a buffer of exactly its size, so
// a sanitizer sees any read past its end.
class CExactInput {
public:
    CExactInput(const uint8_t* pData, size_t nSize, size_t nSkip)
        : m_nSize(nSize > nSkip ? nSize - nSkip : 0), m_pBytes(std::make_unique<uint8_t[]>(m_nSize)) {
        std::copy_n(pData + (nSize - m_nSize), m_nSize, m_pBytes.get());
    }
    std::span<const uint8_t> Bytes() const { return {m_pBytes.get(), m_nSize}; }
    std::string_view Text() const { return {reinterpret_cast<const char*>(m_pBytes.get()), m_nSize}; }

private:
    size_t m_nSize;
    std::unique_ptr<uint8_t[]> m_pBytes;
};

// The lines of a text, the last one included even when empty.
inline std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    size_t nStart = 0;
    while (nStart <= text.size()) {
        const size_t nEnd = std::min(text.find('\n', nStart), text.size());
        lines.emplace_back(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return lines;
}

}  // namespace vexal::fuzz
