// One factory per settings dialog, the seam between the main window and the
// pages in utility/pages/. Each returns the page (not yet read, not shown),
// or nullptr while that page is not built; the main window then tells the
// user the page is not available. A converted page is its logic's factory
// (MakeXxxPage) rendered by CSettingsPage:
//
//   return WrapPage(MakeLanPage, context, pParent);
#pragma once
#include "utility/qt/SettingsPage.h"

#include <memory>

namespace vexal::utility {

std::unique_ptr<CSettingsPage> WrapPage(std::unique_ptr<CPageLogic> (*pfnMake)(const SPageContext&),
                                        const SQtPageContext& context, QWidget* pParent);

std::unique_ptr<CSettingsPage> CreateBluetoothConfiguration(const SQtPageContext& context, QWidget* pParent);     // 136
std::unique_ptr<CSettingsPage> CreateWLANConfiguration(const SQtPageContext& context, QWidget* pParent);          // 137
std::unique_ptr<CSettingsPage> CreateUsbToSerialConfiguration(const SQtPageContext& context, QWidget* pParent);   // 141
std::unique_ptr<CSettingsPage> CreateCustomDeviceConfiguration(const SQtPageContext& context, QWidget* pParent);  // 143
std::unique_ptr<CSettingsPage> CreateLANConfiguration(const SQtPageContext& context, QWidget* pParent);           // 144
std::unique_ptr<CSettingsPage> CreateNetProtocolDlg(const SQtPageContext& context, QWidget* pParent);             // 145
// The interface usage page's ReadFromHub makes the read with the values
// preset to 1, 2, 2, 2 and shows "Failed to get interface usage." itself.
std::unique_ptr<CSettingsPage> CreateInterfaceUsageDlg(const SQtPageContext& context, QWidget* pParent);  // 146

}  // namespace vexal::utility
