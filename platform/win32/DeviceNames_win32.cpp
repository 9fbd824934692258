#include "platform/DeviceNames.h"

#include <algorithm>
#include <map>
#include <vector>

#include "platform/win32/PortsClass.h"

namespace vexal::platform {

namespace win32 {

void ForEachPortsDevice(const std::function<void(HDEVINFO, SP_DEVINFO_DATA&, const std::wstring&)>& visit) {
    DWORD dwCount = 0;
    SetupDiClassGuidsFromNameW(L"Ports", nullptr, 0, &dwCount);
    if (dwCount == 0) return;
    std::vector<GUID> classes(dwCount);
    if (!SetupDiClassGuidsFromNameW(L"Ports", classes.data(), dwCount, &dwCount) || dwCount == 0) return;
    HDEVINFO hSet = SetupDiGetClassDevsW(&classes[0], nullptr, nullptr, DIGCF_PRESENT);
    if (hSet == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(hSet, i, &device); ++i) {
        std::wstring strPortName;
        HKEY hKey = SetupDiOpenDevRegKey(hSet, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (hKey != INVALID_HANDLE_VALUE) {
            wchar_t buffer[130] = {};  // 260 bytes
            DWORD dwType = 0;
            DWORD dwSize = sizeof buffer - sizeof(wchar_t);
            if (RegQueryValueExW(hKey, L"PortName", nullptr, &dwType, reinterpret_cast<BYTE*>(buffer), &dwSize) ==
                    ERROR_SUCCESS &&
                dwType == REG_SZ)
                strPortName.assign(buffer, wcsnlen(buffer, dwSize / sizeof(wchar_t)));
            RegCloseKey(hKey);
        }
        visit(hSet, device, strPortName);
    }
    SetupDiDestroyDeviceInfoList(hSet);
}

}  // namespace win32

namespace {

std::string DeviceText(HDEVINFO hSet, SP_DEVINFO_DATA& device, DWORD dwProperty) {
    wchar_t buffer[512] = {};
    DWORD dwType = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(hSet, &device, dwProperty, &dwType, reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - sizeof(wchar_t), nullptr) ||
        dwType != REG_SZ)
        return {};
    return win32::Utf8FromWide(buffer);
}

// The driver's provider ("Microsoft", "TOSHIBA", ...), from its driver key.
std::string ProviderOf(HDEVINFO hSet, SP_DEVINFO_DATA& device) {
    HKEY hKey = SetupDiOpenDevRegKey(hSet, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (hKey == INVALID_HANDLE_VALUE) return {};
    wchar_t buffer[256] = {};
    DWORD dwType = 0;
    DWORD dwSize = sizeof buffer - sizeof(wchar_t);
    std::string out;
    if (RegQueryValueExW(hKey, L"ProviderName", nullptr, &dwType, reinterpret_cast<BYTE*>(buffer), &dwSize) ==
            ERROR_SUCCESS &&
        dwType == REG_SZ)
        out = win32::Utf8FromWide(buffer);
    RegCloseKey(hKey);
    return out;
}

// Ports the system maps without a setup class entry: the device map of the
// serial or parallel port drivers (value name: the device, data: the port).
void AddDeviceMapPorts(std::string_view strPrefix, std::map<uint32_t, PortLink>& ports) {
    const wchar_t* pszKey =
        strPrefix == "LPT" ? L"HARDWARE\\DEVICEMAP\\PARALLEL PORTS" : L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256] = {};
        wchar_t data[256] = {};
        DWORD dwName = 255;
        DWORD dwData = sizeof data - sizeof(wchar_t);
        DWORD dwType = 0;
        const LONG rc = RegEnumValueW(hKey, i, name, &dwName, nullptr, &dwType, reinterpret_cast<BYTE*>(data), &dwData);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || dwType != REG_SZ) continue;
        std::string strPort = win32::Utf8FromWide(data);
        // "\DosDevices\LPT1" names the parallel port.
        if (const size_t nSlash = strPort.rfind('\\'); nSlash != std::string::npos) strPort.erase(0, nSlash + 1);
        const auto n = ParsePortNumber(strPort, strPrefix);
        if (n && ports.find(*n) == ports.end()) ports[*n] = PortLink{*n, strPort, win32::Utf8FromWide(name), {}};
    }
    RegCloseKey(hKey);
}

}  // namespace

std::string DeviceDirectory() { return "\\\\.\\"; }

std::optional<std::string> DevicePathOf(std::u16string_view /*strName*/) { return std::nullopt; }

std::vector<PortLink> ListPortLinks(std::string_view strPrefix) {
    std::map<uint32_t, PortLink> ports;
    win32::ForEachPortsDevice([&](HDEVINFO hSet, SP_DEVINFO_DATA& device, const std::wstring& strPortName) {
        const std::string strName = win32::Utf8FromWide(strPortName);
        const auto n = ParsePortNumber(strName, strPrefix);
        if (!n) return;
        std::string strTarget = DeviceText(hSet, device, SPDRP_FRIENDLYNAME);
        if (strTarget.empty()) strTarget = DeviceText(hSet, device, SPDRP_DEVICEDESC);
        if (strTarget.empty()) strTarget = "\\\\.\\" + strName;
        ports[*n] = PortLink{*n, strName, strTarget, ProviderOf(hSet, device)};
    });
    AddDeviceMapPorts(strPrefix, ports);
    std::vector<PortLink> links;
    for (auto& [n, link] : ports) links.push_back(std::move(link));
    return links;
}

uint32_t HighestComNumber() {
    auto links = ListPortLinks("COM");
    return links.empty() ? 0 : links.back().nNumber;
}

std::optional<std::string> ResolvePortName(std::string_view strName, std::string_view strPrefix,
                                           std::string_view /*strFallback*/) {
    if (!ParsePortNumber(strName, strPrefix)) return std::nullopt;
    // The system's device namespace holds every COM<n> and LPT<n> it knows.
    return "\\\\.\\" + std::string(strName);
}

std::string PortProvider(std::string_view strName, std::string_view strPrefix) {
    if (!ParsePortNumber(strName, strPrefix)) return {};
    for (const PortLink& link : ListPortLinks(strPrefix))
        if (link.strName == strName) return link.strProvider;
    return {};
}

}  // namespace vexal::platform
