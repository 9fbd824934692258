#include "FaultPlan.h"

#include <array>
#include <span>

namespace vexal::soak {

namespace {

using enum EFault;

// Two fault-free slots after every fault: one client thread drives every
// session, and each call to a faulted hub holds the others up for its
// time-out, so a denser plan would leave little time for calls that succeed.
constexpr std::array kTcpCycle{None,    None, Delay, None,      None, Drop, None,  None, Kick, None,   None,
                               Garbage, None, None,  LongDelay, None, None, Split, None, None, Restart};
constexpr std::array kTcpCycleNoRestart{None, None, Delay,   None, None, Drop,      None, None, Kick,
                                        None, None, Garbage, None, None, LongDelay, None, None, Split};
// The pty cannot be closed from the hub's side: it falls silent instead.
constexpr std::array kPtyCycle{None,    None, Delay, None,      None, Silent, None, None,
                               Garbage, None, None,  LongDelay, None, None,   Split};
constexpr std::array kUsbCycle{None,    None, Delay, None,  None, Drop, None,  None,
                               Garbage, None, None,  Split, None, None, Unplug};

std::span<const EFault> Cycle(ELinkKind eKind, bool bRestarts) {
    switch (eKind) {
    case ELinkKind::Tcp:
        return bRestarts ? std::span<const EFault>(kTcpCycle) : std::span<const EFault>(kTcpCycleNoRestart);
    case ELinkKind::Pty: return kPtyCycle;
    case ELinkKind::Usb: return kUsbCycle;
    }
    return {};
}

}  // namespace

EFault PlannedFault(ELinkKind eKind, size_t nLink, uint64_t nSlot, bool bRestarts) {
    const std::span<const EFault> cycle = Cycle(eKind, bRestarts);
    return cycle[(nSlot + nLink) % cycle.size()];
}

std::vector<std::string> FaultOnCommands(EFault eFault) {
    switch (eFault) {
    case Delay: return {"FAULT DELAY " + std::to_string(kDelayMs)};
    case LongDelay: return {"FAULT DELAY " + std::to_string(kLongDelayMs)};
    case Drop: return {"FAULT DROP " + std::to_string(kDropAfterFrames)};
    case Kick: return {"KICK"};
    case Silent: return {"FAULT SILENT ON"};
    case Garbage: return {"FAULT GARBAGE ON"};
    case Split: return {"FAULT SPLIT " + std::to_string(kSplitBytes) + " " + std::to_string(kSplitPauseMs)};
    case Unplug: return {"USB UNPLUG"};
    case None:
    case Restart: break;
    }
    return {};
}

std::vector<std::string> FaultOffCommands(EFault eFault) {
    switch (eFault) {
    case Delay:
    case LongDelay:
    case Drop:
    case Silent:
    case Garbage:
    case Split: return {"FAULT CLEAR"};
    case Unplug: return {"USB PLUG"};
    case None:
    case Kick:
    case Restart: break;
    }
    return {};
}

const char* FaultName(EFault eFault) {
    switch (eFault) {
    case None: return "none";
    case Delay: return "delay";
    case LongDelay: return "long delay";
    case Drop: return "drop";
    case Kick: return "kick";
    case Silent: return "silent";
    case Garbage: return "garbage";
    case Split: return "split";
    case Unplug: return "unplug";
    case Restart: return "restart";
    }
    return "?";
}

}  // namespace vexal::soak
