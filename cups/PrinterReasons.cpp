#include "cups/PrinterReasons.h"

#include <string_view>

namespace vexal::cups {
namespace {

struct SReason {
    std::string_view strModel;  // as model::RecordReasons names it
    std::string_view strCups;   // empty: none
    std::string_view strText;
    bool bHolds;
};

// In the order the texts read best: what the user has to fix first.
constexpr SReason kReasons[] = {
    {"media-empty", "media-empty-error", "out of paper", true},
    {"cover-open", "cover-open-error", "cover open", true},
    {"mechanical-error", "other-error", "mechanical error", true},
    {"cutter-error", "other-error", "cutter error", true},
    {"unrecoverable-error", "other-error", "unrecoverable error", true},
    {"recoverable-error", "other-error", "recoverable error", true},
    {"media-low", "media-low-report", "paper low", false},
    {"drawer-open", "", "drawer open", false},
    {"offline-report", "offline-report", "off-line", true},
};

bool Has(const std::vector<std::string>& vec, std::string_view str) {
    for (const auto& s : vec)
        if (s == str) return true;
    return false;
}

}  // namespace

std::set<std::string> CupsReasons(const std::vector<std::string>& vecReasons) {
    std::set<std::string> out;
    for (const auto& r : kReasons)
        if (!r.strCups.empty() && Has(vecReasons, r.strModel)) out.emplace(r.strCups);
    return out;
}

std::vector<std::string> StateLines(const std::set<std::string>& before, const std::set<std::string>& after) {
    std::vector<std::string> lines;
    for (const auto& k : after)
        if (!before.count(k)) lines.push_back("STATE: +" + k);
    for (const auto& k : before)
        if (!after.count(k)) lines.push_back("STATE: -" + k);
    return lines;
}

bool HoldsPrinting(const std::vector<std::string>& vecReasons) {
    for (const auto& r : kReasons)
        if (r.bHolds && Has(vecReasons, r.strModel)) return true;
    return false;
}

std::string StatusText(int nDevice, const std::vector<std::string>& vecReasons) {
    std::string strText;
    for (const auto& r : kReasons)
        if (Has(vecReasons, r.strModel)) strText += std::string(strText.empty() ? "" : ", ") + std::string(r.strText);
    return "Printer " + std::to_string(nDevice) + ": " + (strText.empty() ? "ready" : strText);
}

}  // namespace vexal::cups
