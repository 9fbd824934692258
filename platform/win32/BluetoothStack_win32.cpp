#include "platform/BluetoothStack.h"

#include <string>

#include "platform/win32/PortsClass.h"

namespace vexal::platform {

namespace {

constexpr uint32_t kStackMicrosoft = 1;
constexpr uint32_t kStackToshiba = 2;
constexpr uint32_t kStackIvt = 3;

uint32_t ClassifyProvider(const wchar_t* pszProvider) {
    const std::wstring_view provider(pszProvider);
    if (provider.find(L"Microsoft") != std::wstring_view::npos) return kStackMicrosoft;
    if (provider.find(L"TOSHIBA") != std::wstring_view::npos) return kStackToshiba;
    if (provider.find(L"IVT") != std::wstring_view::npos) return kStackIvt;
    return 0;
}

// The stack by the provider of the device's compatible drivers; the last
// classified entry wins.
uint32_t ProviderStack(HDEVINFO hSet, SP_DEVINFO_DATA& device) {
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    if (SetupDiGetDeviceInstallParamsW(hSet, &device, &params)) SetupDiSetDeviceInstallParamsW(hSet, &device, &params);
    SetupDiBuildDriverInfoList(hSet, &device, SPDIT_COMPATDRIVER);
    uint32_t dwStack = 0;
    SP_DRVINFO_DATA_W driver{};
    driver.cbSize = sizeof driver;
    for (DWORD i = 0; SetupDiEnumDriverInfoW(hSet, &device, SPDIT_COMPATDRIVER, i, &driver); ++i) {
        // The detail record in a buffer of exactly its fixed size: it does
        // not fit for every entry that lists hardware identifiers, and only
        // those entries are classified.
        SP_DRVINFO_DETAIL_DATA_W detail{};
        detail.cbSize = sizeof detail;
        if (!SetupDiGetDriverInfoDetailW(hSet, &device, &driver, &detail, sizeof detail, nullptr))
            dwStack = ClassifyProvider(driver.ProviderName);
    }
    SetupDiDestroyDriverInfoList(hSet, &device, SPDIT_COMPATDRIVER);
    return dwStack;
}

}  // namespace

uint32_t BluetoothStackOfPort(std::u16string_view strPortName) {
    const std::wstring wanted(strPortName.begin(), strPortName.end());
    uint32_t dwStack = 0;
    win32::ForEachPortsDevice([&](HDEVINFO hSet, SP_DEVINFO_DATA& device, const std::wstring& strPortNameValue) {
        if (strPortNameValue == wanted) dwStack = ProviderStack(hSet, device);
    });
    return dwStack;
}

}  // namespace vexal::platform
