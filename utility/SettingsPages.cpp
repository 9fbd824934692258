// PLACEHOLDER, to be replaced by the settings pages: until the seven dialogs
// of utility/pages/ exist, every factory gives nullptr and the main window
// says the page is not available. The pages' work replaces this file (its
// factories move next to the pages or fill these bodies).
#include "utility/SettingsPages.h"

namespace vexal::utility {

std::unique_ptr<CSettingsPage> CreateBluetoothConfiguration(const SPageContext&, QWidget*) { return nullptr; }
std::unique_ptr<CSettingsPage> CreateWLANConfiguration(const SPageContext&, QWidget*) { return nullptr; }
std::unique_ptr<CSettingsPage> CreateUsbToSerialConfiguration(const SPageContext&, QWidget*) { return nullptr; }
std::unique_ptr<CSettingsPage> CreateCustomDeviceConfiguration(const SPageContext&, QWidget*) { return nullptr; }
std::unique_ptr<CSettingsPage> CreateLANConfiguration(const SPageContext&, QWidget*) { return nullptr; }
std::unique_ptr<CSettingsPage> CreateNetProtocolDlg(const SPageContext&, QWidget*) { return nullptr; }
std::unique_ptr<CSettingsPage> CreateInterfaceUsageDlg(const SPageContext&, QWidget*) { return nullptr; }

}  // namespace vexal::utility
