#include "common/RegistUsb.h"

#include <algorithm>
#include <cstdio>

namespace vexal {

namespace {
constexpr size_t kVendorPos = 12;
constexpr size_t kProductPos = 21;
constexpr size_t kIdLength = 4;

std::string Narrow(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::u16string Widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }
}  // namespace

std::u16string UsbUpperCase(std::u16string_view str) {
    std::u16string out(str);
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

bool UsbIdsOfPath(std::u16string_view strPath, std::u16string& strVendorId, std::u16string& strProductId) {
    if (strPath.size() < kProductPos + kIdLength) return false;
    strVendorId = UsbUpperCase(strPath.substr(kVendorPos, kIdLength));
    strProductId = UsbUpperCase(strPath.substr(kProductPos, kIdLength));
    return true;
}

bool IsAcceptedUsbDevice(std::u16string_view strVendorId, std::u16string_view strProductId) {
    if (strVendorId == kUsbVendorAnyProduct) return true;
    return std::any_of(std::begin(kUsbAcceptedPairs), std::end(kUsbAcceptedPairs), [&](const SUsbAcceptedPair& row) {
        return row.strVendorId == strVendorId && row.strProductId == strProductId;
    });
}

CRegistUsb::CRegistUsb(std::shared_ptr<platform::IUsbBus> pBus, LogFn pfnLog)
    : m_pBus(std::move(pBus)), m_pfnLog(std::move(pfnLog)) {}

platform::EUsbResult CRegistUsb::TestDevice(const std::u16string& strDevicePath) {
    std::u16string strVendor;
    std::u16string strProduct;
    if (!UsbIdsOfPath(strDevicePath, strVendor, strProduct) || !IsAcceptedUsbDevice(strVendor, strProduct))
        return platform::EUsbResult::NoDevice;
    const std::string strPath = Narrow(strDevicePath);
    if (!platform::ParseUsbInterfacePath(strPath) || !m_pBus) return platform::EUsbResult::NoDevice;
    const platform::EUsbResult eResult = m_pBus->TestOpen(strPath);
    if (m_pfnLog && eResult == platform::EUsbResult::AccessDenied)
        m_pfnLog(u"USB hub " + strDevicePath +
                 u" : access denied (install the udev rule, see \"USB access\" in the README)");
    else if (m_pfnLog && eResult == platform::EUsbResult::InUse)
        m_pfnLog(u"USB hub " + strDevicePath + u" : in use by another program");
    return eResult;
}

void CRegistUsb::EnumDevices() {
    if (!m_pBus) return;
    // Every device is examined, not only a first batch.
    for (const platform::SUsbDeviceInfo& device : m_pBus->Enumerate()) {
        const std::u16string strPath = UsbUpperCase(Widen(device.strPath));
        if (TestDevice(strPath) == platform::EUsbResult::Ok) AddDevice(strPath);
    }
}

void CRegistUsb::AddDevice(const std::u16string& strDevicePath) {
    UsbDeviceRecord record;
    if (!UsbIdsOfPath(strDevicePath, record.m_strVendorId, record.m_strProductId)) return;
    const auto nSame = std::count_if(m_list.begin(), m_list.end(), [&](const UsbDeviceRecord& r) {
        return r.m_strProductId == record.m_strProductId;
    });
    record.m_dwIndex = static_cast<uint32_t>(nSame) + 1;
    record.m_strDevicePath = strDevicePath;
    char name[16];
    std::snprintf(name, sizeof name, "USB%03u:", static_cast<unsigned>(m_list.size() + 1));
    record.m_strPortName = Widen(name);
    m_list.push_back(std::move(record));
}

std::u16string CRegistUsb::FindDevicePath(const std::vector<UsbDeviceRecord>& list, const UsbDeviceRecord& sought) {
    for (const UsbDeviceRecord& r : list)
        if (r.m_strDevicePath == sought.m_strDevicePath) return r.m_strDevicePath;
    const auto nSame = static_cast<uint32_t>(std::count_if(
        list.begin(), list.end(), [&](const UsbDeviceRecord& r) { return r.m_strProductId == sought.m_strProductId; }));
    if (nSame == 0) return {};
    // Indexes count from 1: a sought index of 0 names no hub.
    const uint32_t i = std::min(nSame, sought.m_dwIndex);
    uint32_t nSeen = 0;
    for (const UsbDeviceRecord& r : list)
        if (r.m_strProductId == sought.m_strProductId && ++nSeen == i) return r.m_strDevicePath;
    return {};
}

}  // namespace vexal
