#include "model/DeviceStatus.h"

#include <charconv>
#include <cstdio>

namespace vexal::model {

namespace {

constexpr uint8_t kSecondKindFirstByte = 0x35;

struct SReasonBit {
    size_t nByte;
    uint8_t nMask;
    const char* pszReason;
};

// Byte and bit order is the order the reasons are listed in.
constexpr SReasonBit kReasonBits[] = {
    {0, 0x08, "offline-report"},    {0, 0x20, "cover-open"},   {0, 0x04, "drawer-open"},
    {1, 0x04, "mechanical-error"},  {1, 0x08, "cutter-error"}, {1, 0x20, "unrecoverable-error"},
    {1, 0x40, "recoverable-error"}, {2, 0x03, "media-low"},    {2, 0x0C, "media-empty"},
};

}  // namespace

std::optional<int> ParseDeviceId(std::string_view strText) {
    int nBase = 10;
    if (strText.size() > 2 && strText[0] == '0' && (strText[1] == 'x' || strText[1] == 'X')) {
        strText.remove_prefix(2);
        nBase = 16;
    }
    if (strText.empty() || strText.size() > 8) return std::nullopt;
    long nValue = 0;
    const auto [pEnd, ec] = std::from_chars(strText.data(), strText.data() + strText.size(), nValue, nBase);
    if (ec != std::errc() || pEnd != strText.data() + strText.size() || !IsDeviceId(nValue)) return std::nullopt;
    return static_cast<int>(nValue);
}

ERecordKind RecordKind(const CStatusRecord& record) {
    return record[0] == kSecondKindFirstByte ? ERecordKind::Second : ERecordKind::Status;
}

const char* RecordKindName(ERecordKind eKind) { return eKind == ERecordKind::Second ? "second" : "status"; }

std::vector<std::string> RecordReasons(const CStatusRecord& record) {
    if (RecordKind(record) == ERecordKind::Second) return {};
    std::vector<std::string> reasons;
    for (const SReasonBit& bit : kReasonBits)
        if ((record[bit.nByte] & bit.nMask) != 0) reasons.emplace_back(bit.pszReason);
    if (reasons.empty()) reasons.emplace_back("none");
    return reasons;
}

std::string RecordHex(const CStatusRecord& record) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%02x%02x%02x%02x", record[0], record[1], record[2], record[3]);
    return buf;
}

std::string RecordHexSpaced(const CStatusRecord& record) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%02x %02x %02x %02x", record[0], record[1], record[2], record[3]);
    return buf;
}

const char* AlarmName(uint32_t nCode) {
    switch (nCode) {
    case 1200: return "write-refused";
    case 1201: return "device-busy";
    case 1202: return "device-offline";
    case 1203: return "write-timeout";
    case 1204: return "write-error";
    default: return "unknown-alarm";
    }
}

}  // namespace vexal::model
