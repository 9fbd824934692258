// Aligned tables for people, and the progress line on a terminal.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::tools {

// Rows of cells, columns padded to their widest cell; the last column is not padded.
std::string FormatTable(const std::vector<std::vector<std::string>>& rows, const std::string& strIndent = "");

// "[ 3/32] label" on standard error, rewritten in place; silent when standard
// error is not a terminal. The line is cleared on destruction.
class CProgress {
public:
    CProgress(std::string strLabel, size_t nTotal);
    ~CProgress();
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;
    void Step(size_t nDone, const std::string& strDetail = "");

private:
    std::string m_strLabel;
    size_t m_nTotal;
    bool m_bShown;
    bool m_bDrawn = false;
};

}  // namespace vexal::tools
