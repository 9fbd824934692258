#include "ProcessFigures.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace vexal::soak {

std::optional<int64_t> StatusNumber(std::string_view strStatus, std::string_view strKey) {
    size_t nLineStart = 0;
    while (nLineStart < strStatus.size()) {
        size_t nLineEnd = strStatus.find('\n', nLineStart);
        if (nLineEnd == std::string_view::npos) nLineEnd = strStatus.size();
        const std::string_view strLine = strStatus.substr(nLineStart, nLineEnd - nLineStart);
        if (strLine.size() > strKey.size() && strLine.substr(0, strKey.size()) == strKey &&
            strLine[strKey.size()] == ':') {
            size_t i = strKey.size() + 1;
            while (i < strLine.size() && (strLine[i] == ' ' || strLine[i] == '\t')) ++i;
            if (i == strLine.size() || !std::isdigit(static_cast<unsigned char>(strLine[i]))) return std::nullopt;
            int64_t nValue = 0;
            for (; i < strLine.size() && std::isdigit(static_cast<unsigned char>(strLine[i])); ++i)
                nValue = nValue * 10 + (strLine[i] - '0');
            return nValue;
        }
        nLineStart = nLineEnd + 1;
    }
    return std::nullopt;
}

SProcessFigures ReadProcessFigures() {
    SProcessFigures figures;
    std::ifstream status("/proc/self/status");
    std::stringstream text;
    text << status.rdbuf();
    const std::string strStatus = text.str();
    figures.nRssKiB = StatusNumber(strStatus, "VmRSS").value_or(-1);
    figures.nThreads = static_cast<int>(StatusNumber(strStatus, "Threads").value_or(-1));

    std::error_code error;
    int nEntries = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end; it.increment(error))
        ++nEntries;
    // The listing holds a descriptor of its own while it runs.
    figures.nDescriptors = error ? -1 : nEntries - 1;
    return figures;
}

}  // namespace vexal::soak
