// The main window of the Qt program: the renderer over CLumaroLogic
// (logic/LumaroLogic.h), with the library thread of the Qt program.
#pragma once
#include "client/CfgApiTable.h"
#include "utility/qt/DialogBase.h"
#include "utility/qt/LibraryWorker.h"
#include "utility/qt/SettingsPage.h"
#include "utility/qt/UtilityOptions.h"
#include "utility/logic/LumaroLogic.h"

#include <functional>
#include <memory>

namespace vexal::utility {

class CLumaroDlg final : public CDialogBase {
    Q_OBJECT
public:
    using PageFactory = std::function<std::unique_ptr<CSettingsPage>(const SQtPageContext&, QWidget*)>;

    static constexpr int kDialogId = CLumaroLogic::kDialogId;

    CLumaroDlg(IDialogServices& services, const SUtilityOptions& options, QWidget* pParent = nullptr);
    ~CLumaroDlg() override;

    // See CLumaroLogic.
    bool Start() { return m_logic.Start(); }
    bool Shutdown() {
        m_logic.Shutdown();
        return true;
    }
    bool IsBusy() const override { return m_logic.IsBusy(); }

    bool IsConnected() const { return m_logic.IsConnected(); }
    int InterfaceType() const { return m_logic.InterfaceType(); }
    QString PortText() const { return QString::fromStdU16String(m_logic.PortText()); }
    client::CfgApiTable& Api() { return m_logic.Api(); }
    CLibraryWorker& Worker() { return m_worker; }
    CProgressLogic& Progress() { return m_logic.Progress(); }
    bool LibraryUnloaded() const { return m_logic.LibraryUnloaded(); }
    CLumaroLogic& Logic() { return m_logic; }

    // The page a settings button opens as a Qt window (the pages' logic
    // factories by default; tests put in their own).
    void SetPageFactory(int nButton, PageFactory fnFactory);
    // What "Find hubs…" offers to search: the PC's own networks by default
    // (tests put in loopback ranges).
    void SetSearchRanges(std::function<QString()> fnRanges);

    // Every close goes the logic's way out first.
    void done(int nResult) override;

private:
    CLibraryWorker m_worker;  // declared first: outlives the logic
    CLumaroLogic m_logic;
};

}  // namespace vexal::utility
