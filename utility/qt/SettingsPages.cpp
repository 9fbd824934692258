#include "utility/qt/SettingsPages.h"

namespace vexal::utility {

std::unique_ptr<CSettingsPage> WrapPage(std::unique_ptr<CPageLogic> (*pfnMake)(const SPageContext&),
                                        const SQtPageContext& context, QWidget* pParent) {
    std::unique_ptr<CPageLogic> pLogic = pfnMake(context.Logic());
    if (pLogic == nullptr) return nullptr;
    return std::make_unique<CSettingsPage>(std::move(pLogic), context, pParent);
}

std::unique_ptr<CSettingsPage> CreateBluetoothConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return WrapPage(MakeBluetoothPage, context, pParent);
}

std::unique_ptr<CSettingsPage> CreateWLANConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return WrapPage(MakeWlanPage, context, pParent);
}

std::unique_ptr<CSettingsPage> CreateUsbToSerialConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return WrapPage(MakeUsbToSerialPage, context, pParent);
}

std::unique_ptr<CSettingsPage> CreateLANConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return WrapPage(MakeLanPage, context, pParent);
}

std::unique_ptr<CSettingsPage> CreateCustomDeviceConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return WrapPage(MakeCustomDevicePage, context, pParent);
}

std::unique_ptr<CSettingsPage> CreateNetProtocolDlg(const SQtPageContext& context, QWidget* pParent) {
    return WrapPage(MakeNetProtocolPage, context, pParent);
}

std::unique_ptr<CSettingsPage> CreateInterfaceUsageDlg(const SQtPageContext& context, QWidget* pParent) {
    return WrapPage(MakeInterfaceUsagePage, context, pParent);
}

}  // namespace vexal::utility
