// A settings page as a Qt window of its own: the renderer over the page's
// logic (logic/PageLogic.h), which it owns. The pages' tests make them from
// the pages' logic factories and drive them; the main window's logic renders
// its pages itself (IDialogView::PrepareChild).
//
//   auto page = RenderPage(MakeLanPage, context);
#pragma once
#include "client/HubSession.h"
#include "utility/qt/DialogBase.h"
#include "utility/qt/LibraryWorker.h"
#include "utility/logic/PageLogic.h"

#include <functional>
#include <memory>

namespace vexal::utility {

// What every page is handed in the Qt program.
struct SQtPageContext {
    client::CHubSession& session;
    CLibraryWorker& worker;
    IDialogServices& services;

    SPageContext Logic() const { return {session, worker.Jobs()}; }
};

class CSettingsPage : public CDialogBase {
    Q_OBJECT
public:
    CSettingsPage(std::unique_ptr<CPageLogic> pLogic, const SQtPageContext& context, QWidget* pParent = nullptr);
    ~CSettingsPage() override;

    // See CPageLogic::ReadFromHub.
    void ReadFromHub(std::function<void(bool)> fnDone);

    bool IsBusy() const override { return m_context.worker.IsBusy(); }
    CPageLogic* PageLogic() const { return m_pLogic.get(); }

private:
    SQtPageContext m_context;
    std::unique_ptr<CPageLogic> m_pLogic;
};

// The page fnMake makes, rendered (not yet read, not shown); nullptr when it
// makes none.
std::unique_ptr<CSettingsPage> RenderPage(const PageFactory& fnMake, const SQtPageContext& context,
                                          QWidget* pParent = nullptr);

}  // namespace vexal::utility
