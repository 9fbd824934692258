// A settings page as a Qt window of its own: the renderer over the page's
// logic (logic/PageLogic.h), which it owns. The factories of SettingsPages.h
// make them and the pages' tests drive them; the main window's logic renders
// its pages itself (IDialogView::PrepareChild), and runs a CSettingsPage it
// is handed as it stands.
//
// A window may also build itself on this class (the second constructor, a
// test's stand-in page) and override ReadFromHub; it reaches the hub through
// the worker with StartJob, as the logic does through CLibraryJobs.
#pragma once
#include "client/CfgApiTable.h"
#include "utility/qt/DialogBase.h"
#include "utility/qt/LibraryWorker.h"
#include "utility/logic/PageLogic.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace vexal::utility {

// What every page is handed in the Qt program.
struct SQtPageContext {
    client::CfgApiTable& api;
    CLibraryWorker& worker;
    IDialogServices& services;

    SPageContext Logic() const { return {api, worker.Jobs()}; }
};

class CSettingsPage : public CDialogBase {
    Q_OBJECT
public:
    // Renders the page's logic.
    CSettingsPage(std::unique_ptr<CPageLogic> pLogic, const SQtPageContext& context, QWidget* pParent = nullptr);
    // A page that builds itself.
    CSettingsPage(int nDialogId, const SQtPageContext& context, QWidget* pParent = nullptr);
    ~CSettingsPage() override;

    // Starts reading the page's settings from the hub and filling the
    // controls; fnDone(bool) follows on the main thread, once: false when the
    // read failed (the page has told the user) or could not start. The
    // custom device page reads when shown and reports true at once.
    virtual void ReadFromHub(std::function<void(bool)> fnDone);

    bool IsBusy() const override { return m_context.worker.IsBusy(); }
    CPageLogic* PageLogic() const { return m_pLogic.get(); }

protected:
    client::CfgApiTable& Api() const { return m_context.api; }
    int32_t Session() const { return m_context.api.m_nHandle; }
    CLibraryWorker& Worker() const { return m_context.worker; }

    // fnWork on the worker, then fnDone here with its result (dropped when
    // the page is gone by then). A work that throws is told in a message and
    // fnNotDone(false) follows instead. False when another job runs;
    // fnNotDone(false) is then called at once, so that a chain that reports
    // its end always does.
    template <class R>
    bool StartJob(std::function<R()> fnWork, std::function<void(R)> fnDone,
                  const std::function<void(bool)>& fnNotDone = {}) {
        return StartWindowJob<R>(
            m_context.worker, this, std::move(fnWork), std::move(fnDone),
            [fnNotDone] {
                if (fnNotDone) fnNotDone(false);
            },
            [this, fnNotDone](const std::string& strWhy) {
                Message(QString::fromStdU16String(JobFailureText(strWhy)), EMsgIcon::Warning);
                if (fnNotDone) fnNotDone(false);
            });
    }

private:
    SQtPageContext m_context;
    std::unique_ptr<CPageLogic> m_pLogic;
};

}  // namespace vexal::utility
