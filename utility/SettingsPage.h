// A settings page as the Qt program shows it: the renderer over the page's
// logic (logic/PageLogic.h), which it owns. The main window makes a page
// through its factory (SettingsPages.h), reads it (ReadFromHub) and runs it
// modally through IDialogServices only when the read succeeded.
//
// Pages not converted yet build themselves on this class (the legacy
// constructor) and override ReadFromHub; they reach the hub through the
// worker with StartJob, as the logic does through CLibraryJobs.
#pragma once
#include "client/CfgApiTable.h"
#include "utility/DialogBase.h"
#include "utility/LibraryWorker.h"
#include "utility/logic/PageLogic.h"

#include <cstdint>
#include <functional>
#include <memory>

class QGridLayout;

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
    // The hub's inactivity time (0..65535 s) as a hidden row of the grid: the
    // pages keep the field but never show it.
    void AddHiddenInactivityRow(QGridLayout* pGrid, int& nRow, int nId);
    // Lays the page out as its grid over the button row GET, SET, Default
    // Setting, Close; GET and Default Setting stay hidden, as the hub needs neither.
    void LayOutWithButtons(QGridLayout* pGrid, int nGet, int nSet, int nDefault, int nClose);

    client::CfgApiTable& Api() const { return m_context.api; }
    int32_t Session() const { return m_context.api.m_nHandle; }
    CLibraryWorker& Worker() const { return m_context.worker; }

    // fnWork on the worker, then fnDone here with its result (dropped when
    // the page is gone by then). False when another job runs; fnRefused is
    // then called, so that a chain that reports its end always does.
    template <class R>
    bool StartJob(std::function<R()> fnWork, std::function<void(R)> fnDone,
                  const std::function<void(bool)>& fnRefused = {}) {
        return StartWindowJob<R>(m_context.worker, this, std::move(fnWork), std::move(fnDone), [fnRefused] {
            if (fnRefused)
                fnRefused(false);
        });
    }

private:
    SQtPageContext m_context;
    std::unique_ptr<CPageLogic> m_pLogic;
};

}  // namespace vexal::utility
