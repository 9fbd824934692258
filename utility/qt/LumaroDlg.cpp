#include "utility/qt/LumaroDlg.h"

#include "platform/DeviceNames.h"

#include <QApplication>
#include <QFileInfo>
#include <QLayout>

namespace vexal::utility {
using namespace main_ids;

namespace {

// A settings page as a Qt window, handed to the main window's logic: its
// read is the window's, and the renderer runs the window itself.
class CQtPageLogic final : public CPageLogic, public IQtWindowLogic {
public:
    CQtPageLogic(const SPageContext& context, std::unique_ptr<CSettingsPage> pPage)
        : CPageLogic(context), m_pPage(std::move(pPage)) {
        m_desc.nId = m_pPage->DialogId();
    }
    const SDialogDesc& Desc() const override { return m_desc; }
    void ReadFromHub(std::function<void(bool)> fnDone) override { m_pPage->ReadFromHub(std::move(fnDone)); }
    bool IsBusy() const override { return m_pPage->IsBusy(); }
    QDialog& Window() override { return *m_pPage; }

private:
    std::unique_ptr<CSettingsPage> m_pPage;
    SDialogDesc m_desc;
};

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

CLumaroDlg::CLumaroDlg(IDialogServices& services, const SUtilityOptions& options, QWidget* pParent)
    : CDialogBase(kDialogId, services, pParent), m_logic(WithVersion(options), m_worker.Jobs(), QtHost()) {
    setAccessibleName(tr("Vexal Utility"));
    const std::pair<int, std::unique_ptr<CPageLogic> (*)(const SPageContext&)> pages[] = {
        {kBluetoothSettings, &MakeBluetoothPage},
        {kWlanSettings, &MakeWlanPage},
        {kLanSettings, &MakeLanPage},
        {kUsageSettings, &MakeInterfaceUsagePage},
        {kSerialSettings, &MakeUsbToSerialPage},
        {kCustomDeviceSettings, &MakeCustomDevicePage},
        {kNetProtocolSettings, &MakeNetProtocolPage}};
    for (const auto& [nButton, pfnMake] : pages) m_logic.SetPageFactory(nButton, pfnMake);
    Render(m_logic);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

// The logic's way out runs while its windows still stand; then none of them
// may reach it any more.
CLumaroDlg::~CLumaroDlg() {
    m_logic.Shutdown();
    DetachLogic();
}

void CLumaroDlg::SetPageFactory(int nButton, PageFactory fnFactory) {
    if (!fnFactory) {
        m_logic.SetPageFactory(nButton, {});
        return;
    }
    m_logic.SetPageFactory(nButton, [this, fn = std::move(fnFactory)](const SPageContext& context) {
        std::unique_ptr<CSettingsPage> pPage = fn(SQtPageContext{context.api, m_worker, Services()}, this);
        return pPage ? std::make_unique<CQtPageLogic>(context, std::move(pPage)) : nullptr;
    });
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
