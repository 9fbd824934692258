#include "FaultSet.h"

#include <cstdio>

namespace hubsim {

namespace {
std::string CommandList(const std::set<uint8_t>& commands) {
    if (commands.empty()) return "off";
    std::string out;
    char buf[8];
    for (uint8_t n : commands) {
        std::snprintf(buf, sizeof buf, "%s0x%02X", out.empty() ? "" : ",", n);
        out += buf;
    }
    return out;
}

// "0x24:-1,0x45:3", or "off".
std::string CommandCounts(const std::map<uint8_t, int>& counts) {
    if (counts.empty()) return "off";
    std::string out;
    char buf[24];
    for (const auto& [nCommand, nCount] : counts) {
        std::snprintf(buf, sizeof buf, "%s0x%02X:%d", out.empty() ? "" : ",", nCommand, nCount);
        out += buf;
    }
    return out;
}
}  // namespace

std::string SFaults::Describe() const {
    std::string out = "delay=" + std::to_string(nDelayMs) + " noreply=" + CommandList(setNoReply) +
                      " wrongheader=" + CommandList(setWrongHeader) + " short=" + CommandCounts(mapShortReply) +
                      " cut=" + CommandCounts(mapCutReply);
    out += std::string(" garbage=") + (bGarbage ? "on" : "off");
    out += " split=" +
           (nSplitBytes ? std::to_string(nSplitBytes) + ":" + std::to_string(nSplitPauseMs) : std::string("off"));
    out += std::string(" close=") + (eCloseOnAccept == ECloseOnAccept::Off    ? "off"
                                     : eCloseOnAccept == ECloseOnAccept::Once ? "once"
                                                                              : "always");
    out += " drop=" + (nDropAfterFrames ? std::to_string(nDropAfterFrames) : std::string("off"));
    out += std::string(" silent=") + (bSilent ? "on" : "off");
    out += std::string(" refuse=") + (bRefuse ? "on" : "off");
    return out;
}

SFaults CFaultSet::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_faults;
}

bool CFaultSet::TakeCloseOnAccept() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_faults.eCloseOnAccept == ECloseOnAccept::Off) return false;
    if (m_faults.eCloseOnAccept == ECloseOnAccept::Once) m_faults.eCloseOnAccept = ECloseOnAccept::Off;
    return true;
}

}  // namespace hubsim
