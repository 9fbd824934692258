// A text object the library assigns or appends to. Large, so that a list of
// every device still fits, and made fresh for each call, so that nothing of
// an earlier answer can show through.
#pragma once
#include "zamocfg.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexal::client {

class CLibText {
public:
    static constexpr uint32_t kCapacity = 64 * 1024;  // UTF-16 units, NUL included

    CLibText() : m_data(kCapacity, u'\0') {
        m_text.data = m_data.data();
        m_text.capacity = kCapacity;
        m_text.length = 0;
    }
    CLibText(const CLibText&) = delete;
    CLibText& operator=(const CLibText&) = delete;

    ZamoText* Get() { return &m_text; }
    // What the library put there, never beyond the storage.
    std::u16string Text() const {
        const uint32_t nLength = m_text.length < kCapacity ? m_text.length : kCapacity - 1;
        return std::u16string(m_data.data(), nLength);
    }
    // The same as UTF-8.
    std::string Utf8() const;
    // The library cuts a text that does not fit: a full object may hold a cut one.
    bool IsFull() const { return m_text.length + 1 >= kCapacity; }

private:
    std::vector<char16_t> m_data;
    ZamoText m_text{};
};

}  // namespace vexal::client
