// CRegistUsb: the list of hubs attached on USB, with their device paths and
// "USB%03d:" port names. Both libraries use it: the port library's
// connection check and the configuration library's hub search.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Usb.h"

namespace vexal {

struct UsbDeviceRecord {
    uint32_t m_dwIndex = 0;          // 1 + entries before it with the same product ID
    std::u16string m_strDevicePath;  // upper case
    std::u16string m_strPortName;    // "USB001:", "USB002:", ... by position
    std::u16string m_strProductId;   // four upper-case hex digits
    std::u16string m_strVendorId;
};

// The acceptance table: our own vendor ID with any product ID, and four
// vendor and product pairs (the hub's builds for partners).
inline constexpr std::u16string_view kUsbVendorAnyProduct = u"5A4D";
struct SUsbAcceptedPair {
    std::u16string_view strVendorId;
    std::u16string_view strProductId;
};
inline constexpr SUsbAcceptedPair kUsbAcceptedPairs[] = {
    {u"5A4E", u"005D"},
    {u"5A4E", u"0066"},
    {u"5A4F", u"0090"},
    {u"5A50", u"0091"},
};

// Whether the vendor and product IDs (four upper-case hex digits) pass the table.
bool IsAcceptedUsbDevice(std::u16string_view strVendorId, std::u16string_view strProductId);

class CRegistUsb {
public:
    // Receives the reason a hub that passed the table could not be listed.
    using LogFn = std::function<void(const std::u16string& strLine)>;

    explicit CRegistUsb(std::shared_ptr<platform::IUsbBus> pBus = platform::SystemUsbBus(), LogFn pfnLog = {});

    // Lists every attached hub that passes the table and the open test.
    void EnumDevices();
    // The table check and the open test: Ok when the hub may be listed. A
    // text that is not shaped like an interface path fails (NoDevice).
    platform::EUsbResult TestDevice(const std::u16string& strDevicePath);
    // Appends the entry of an interface path (nothing for another text).
    void AddDevice(const std::u16string& strDevicePath);
    // The path of the sought entry if listed, otherwise of the index-th hub
    // (at most the last; index 0 names none) with its product ID; empty if none.
    static std::u16string FindDevicePath(const std::vector<UsbDeviceRecord>& list, const UsbDeviceRecord& sought);
    void Clear() { m_list.clear(); }

    const std::vector<UsbDeviceRecord>& Devices() const { return m_list; }

private:
    std::shared_ptr<platform::IUsbBus> m_pBus;
    LogFn m_pfnLog;
    std::vector<UsbDeviceRecord> m_list;
};

// Vendor ID (positions 12 to 15) and product ID (21 to 24) of a path, upper
// case; false when the text is too short to hold them.
bool UsbIdsOfPath(std::u16string_view strPath, std::u16string& strVendorId, std::u16string& strProductId);
// Upper case, letters a to z only.
std::u16string UsbUpperCase(std::u16string_view str);

}  // namespace vexal
