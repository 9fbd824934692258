#include "tools/Output.h"

#include "tools/ToolSystem.h"

#include <algorithm>

namespace vexal::tools {

std::string FormatTable(const std::vector<std::vector<std::string>>& rows, const std::string& strIndent) {
    std::vector<size_t> widths;
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) widths.push_back(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    std::string out;
    for (const auto& row : rows) {
        std::string line = strIndent;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

CProgress::CProgress(std::string strLabel, size_t nTotal)
    : m_strLabel(std::move(strLabel)), m_nTotal(nTotal), m_bShown(StderrIsTerminal()) {}

CProgress::~CProgress() {
    if (m_bDrawn) std::fputs("\r\033[K", stderr);
}

void CProgress::Step(size_t nDone, const std::string& strDetail) {
    if (!m_bShown) return;
    std::fprintf(stderr, "\r\033[K%s [%zu/%zu] %s", m_strLabel.c_str(), nDone, m_nTotal, strDetail.c_str());
    std::fflush(stderr);
    m_bDrawn = true;
}

}  // namespace vexal::tools
