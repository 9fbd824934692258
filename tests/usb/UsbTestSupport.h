// Helpers of the USB tests: a private folder, a wait, the port's log text.
#pragma once
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>

#include "platform/Clock.h"

namespace vexal::test {

class CTempDir {
public:
    explicit CTempDir(const std::string& strTag)
        : m_path(std::filesystem::temp_directory_path() / ("vexal-" + strTag + "-" + std::to_string(::getpid()) + "-" +
                                                           std::to_string(std::random_device()()))) {
        std::filesystem::create_directories(m_path);
    }
    ~CTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string Str() const { return m_path.string(); }
    std::u16string Wide() const {
        const std::string s = Str();
        return std::u16string(s.begin(), s.end());
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline bool WaitFor(const std::function<bool()>& pred, uint32_t ms) {
    for (const uint64_t t0 = platform::TickMs(); !pred(); platform::SleepMs(5))
        if (platform::TickMs() - t0 > ms) return false;
    return true;
}

// Every log file under dir/VQTLog as ASCII (UTF-16LE with the high bytes dropped).
inline std::string ReadLogText(const std::filesystem::path& dir) {
    std::string text;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir / "VQTLog", ec)) {
        std::ifstream in(e.path(), std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (size_t i = 0; i < raw.size(); i += 2) text.push_back(raw[i]);
    }
    return text;
}

inline size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

}  // namespace vexal::test
