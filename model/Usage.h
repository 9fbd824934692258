// Which of the hub's host interfaces may be used. USB always may; the hub
// reports Bluetooth, LAN and WLAN each as off (0) or on (1), or not at all
// (2): an interface it does not report is left as it is.
#pragma once
#include "model/KeyValues.h"

#include <cstdint>

namespace vexal::model {

inline constexpr int32_t kUsageOff = 0;
inline constexpr int32_t kUsageOn = 1;
inline constexpr int32_t kUsageNotReported = 2;

struct SUsage {
    int32_t nUsb = kUsageOn;
    int32_t nBluetooth = kUsageNotReported;
    int32_t nLan = kUsageNotReported;
    int32_t nWlan = kUsageNotReported;
    bool operator==(const SUsage&) const = default;
};

// A value the hub reported as off or on; anything else counts as not reported.
inline bool IsUsageReported(int32_t nValue) { return nValue == kUsageOff || nValue == kUsageOn; }

// The meaning of the hub's error byte when it refuses a change ("value out
// of range" for 3); "refused" for a byte without one.
const char* UsageErrorMeaning(int32_t nError);

// Key values: usb (read-only, always on), bluetooth, lan, wlan (on|off|n/a).
const SGroupDef& UsageGroup();
GroupValues ToKeyValues(const SUsage& value);
void ApplyKeyValues(SUsage& value, const GroupValues& values);

}  // namespace vexal::model
