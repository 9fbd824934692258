#include "utility/qt/LumaroDlg.h"

#include "platform/DeviceNames.h"

#include <QApplication>
#include <QFileInfo>
#include <QLayout>

namespace vexal::utility {
using namespace main_ids;

namespace {

// Why a serial port would not open on Linux: its device file.
std::u16string SerialOpenFailureCause(const std::u16string& strPortText) {
    const QString strPort = QString::fromStdU16String(strPortText);
    auto device = platform::ResolvePortName(strPort.toStdString(), "COM", "/dev/ttyS");
    if (!device)
        return QCoreApplication::translate("CLumaroDlg", "%1 names no device file (a link in %2 that points nowhere).")
            .arg(strPort, QString::fromStdString(platform::DeviceDirectory()))
            .toStdU16String();
    const QFileInfo info(QString::fromStdString(*device));
    if (!info.exists())
        return QCoreApplication::translate("CLumaroDlg", "The device file %1 does not exist.")
            .arg(info.filePath())
            .toStdU16String();
    if (!info.isReadable() || !info.isWritable())
        return QCoreApplication::translate("CLumaroDlg",
                                           "The device file %1 is not accessible: add your user to the dialout "
                                           "group (then log in again).")
            .arg(info.filePath())
            .toStdU16String();
    return {};
}

SLumaroHost QtHost() {
    SLumaroHost host = DefaultLumaroHost();
    host.fnOpenFailureCause = [fnDefault = host.fnOpenFailureCause](int nInterface, const std::u16string& strPort,
                                                                    int32_t nResult) {
        return nInterface == 4 ? SerialOpenFailureCause(strPort) : fnDefault(nInterface, strPort, nResult);
    };
    return host;
}

SUtilityOptions WithVersion(SUtilityOptions options) {
    options.strVersion = QApplication::applicationVersion().toStdU16String();
    return options;
}

}  // namespace

CLumaroDlg::SParts::SParts(const SUtilityOptions& options, SLumaroHost host)
    : logic(options, worker.Jobs(), std::move(host)) {
    const std::pair<int, std::unique_ptr<CPageLogic> (*)(const SPageContext&)> pages[] = {
        {kBluetoothSettings, &MakeBluetoothPage},
        {kWlanSettings, &MakeWlanPage},
        {kLanSettings, &MakeLanPage},
        {kUsageSettings, &MakeInterfaceUsagePage},
        {kSerialSettings, &MakeUsbToSerialPage},
        {kCustomDeviceSettings, &MakeCustomDevicePage},
        {kNetProtocolSettings, &MakeNetProtocolPage}};
    for (const auto& [nButton, pfnMake] : pages) logic.SetPageFactory(nButton, pfnMake);
}

CLumaroDlg::CLumaroDlg(IDialogServices& services, const SUtilityOptions& options, QWidget* pParent)
    : CLumaroDlg(std::make_unique<SParts>(WithVersion(options), QtHost()), services, pParent) {}

CLumaroDlg::CLumaroDlg(std::unique_ptr<SParts> pParts, IDialogServices& services, QWidget* pParent)
    : CDialogBase(pParts->logic, services, pParent),
      m_pParts(std::move(pParts)),
      m_worker(m_pParts->worker),
      m_logic(m_pParts->logic) {
    setAccessibleName(tr("Vexal Utility"));
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

// The logic's way out runs while its windows still stand; then none of them
// may reach it any more.
CLumaroDlg::~CLumaroDlg() {
    m_logic.Shutdown();
    DetachLogic();
}

void CLumaroDlg::SetSearchRanges(std::function<QString()> fnRanges) {
    m_logic.SetSearchRanges([fn = std::move(fnRanges)] { return fn ? fn().toStdU16String() : std::u16string(); });
}

void CLumaroDlg::done(int nResult) {
    if (!m_logic.IsShutDown()) {
        m_logic.RequestClose(nResult);  // closes through here again once shut down
        return;
    }
    QDialog::done(nResult);
}

}  // namespace vexal::utility
