// The soak's fault plan: time is cut into slots, and in each slot every hub
// is under one fault of its link's cycle (or none). Links start at staggered
// places in their cycle, so faults come and go at different hubs at different
// times, and two slots in three of each hub are fault-free. Pure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexal::soak {

enum class ELinkKind { Tcp, Pty, Usb };

enum class EFault {
    None,
    Delay,      // every reply late, but within every command's wait
    LongDelay,  // replies later than the shortest waits (1.5 s): some calls time out
    Drop,       // the hub closes the link after a few frames, on every new link too
    Kick,       // the hub closes the link once
    Silent,     // the hub answers nothing
    Garbage,    // junk bytes before every frame the hub sends
    Split,      // every frame the hub sends comes in small pieces with pauses
    Unplug,     // the hub leaves the simulated USB bus until the slot ends
    Restart,    // the simulator is stopped and started again on the same address
};

inline constexpr uint32_t kDelayMs = 300;
inline constexpr uint32_t kLongDelayMs = 2000;
inline constexpr uint32_t kDropAfterFrames = 3;
inline constexpr uint32_t kSplitBytes = 5;  // header pieces too
inline constexpr uint32_t kSplitPauseMs = 20;

// The fault of link nLink (its index among all links) in slot nSlot.
// bRestarts: a TCP hub's cycle includes a restart of its simulator.
EFault PlannedFault(ELinkKind eKind, size_t nLink, uint64_t nSlot, bool bRestarts);

// Control commands that switch the fault on, and those that end it (none for
// the one-shot Kick; Restart is not a control command: the caller restarts).
std::vector<std::string> FaultOnCommands(EFault eFault);
std::vector<std::string> FaultOffCommands(EFault eFault);

const char* FaultName(EFault eFault);
inline constexpr size_t kFaultKinds = static_cast<size_t>(EFault::Restart) + 1;

}  // namespace vexal::soak
