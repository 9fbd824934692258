// The main window of the Qt program: the renderer over CLumaroLogic
// (logic/LumaroLogic.h), with the library thread of the Qt program.
#pragma once
#include "client/CfgLibrary.h"
#include "utility/qt/DialogBase.h"
#include "utility/qt/LibraryWorker.h"
#include "utility/qt/UtilityOptions.h"
#include "utility/logic/LumaroLogic.h"

#include <functional>
#include <memory>

namespace vexal::utility {

class CLumaroDlg final : public CDialogBase {
    Q_OBJECT
public:
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
    client::CCfgLibrary& Api() { return m_logic.Api(); }
    CLibraryWorker& Worker() { return m_worker; }
    CProgressLogic& Progress() { return m_logic.Progress(); }
    bool LibraryUnloaded() const { return m_logic.LibraryUnloaded(); }
    // The settings buttons open the pages' logic factories; tests put in
    // their own (SetPageFactory).
    CLumaroLogic& Logic() { return m_logic; }

    // What "Find hubs…" offers to search: the PC's own networks by default
    // (tests put in loopback ranges).
    void SetSearchRanges(std::function<QString()> fnRanges);

    // Every close goes the logic's way out first.
    void done(int nResult) override;

private:
    // What the window renders and stands on, made before it: the library
    // thread first, so that it outlives the logic.
    struct SParts {
        SParts(const SUtilityOptions& options, SLumaroHost host);
        CLibraryWorker worker;
        CLumaroLogic logic;
    };
    CLumaroDlg(std::unique_ptr<SParts> pParts, IDialogServices& services, QWidget* pParent);

    std::unique_ptr<SParts> m_pParts;
    CLibraryWorker& m_worker;
    CLumaroLogic& m_logic;
};

}  // namespace vexal::utility
