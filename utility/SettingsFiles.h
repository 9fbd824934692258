// "Save settings…" and "Load settings…" of the main window: the file
// choice, the jobs that read the hub (and the file), the messages, and the
// load dialog (RestoreDlg.h). Files are in the command-line tool's backup
// format, so either program reads the other's.
//
// Save: every readable group into the file; groups that cannot be read are
// left out and named. Load: a bad file is refused with the file and the
// place before the hub is even read; otherwise the hub is read whole and
// the plan shown; nothing is written unless the user says so there.
#pragma once
#include "client/CfgApiTable.h"
#include "utility/DialogBase.h"
#include "utility/LibraryWorker.h"
#include "utility/logic/ProgressLogic.h"

#include <functional>
#include <memory>
#include <string>

namespace vexal::utility {

class CRestoreDlg;

class CSettingsFiles {
public:
    // window: the main window (messages, pop-up owner); all four outlive this.
    CSettingsFiles(CDialogBase& window, client::CfgApiTable& api, CLibraryWorker& worker, CProgressLogic& progress);
    ~CSettingsFiles();
    CSettingsFiles(const CSettingsFiles&) = delete;
    CSettingsFiles& operator=(const CSettingsFiles&) = delete;

    // strModel: the model as the main window shows it (for the file name
    // offered); strSource: how the file names this hub. fnEnded follows once
    // the save has ended, whatever came of it (not when it never started).
    void Save(const QString& strModel, const std::string& strSource, std::function<void()> fnEnded);
    // strConnectedAddress: the hub's address when connected over Ethernet.
    void Load(const std::string& strConnectedAddress, std::function<void()> fnEnded);

    // A save or load has not ended (a job runs or the load dialog is up).
    bool IsBusy() const;

private:
    // Asks for a file; then fnWork(file) on the library thread behind the
    // progress pop-up, and fnDone(file, its result) here.
    template <class R>
    void WithFile(const SFileChoice& choice, std::function<R(const std::string&)> fnWork,
                  std::function<void(const std::string&, R)> fnDone);
    void ShowRestore(std::function<void()> fnEnded);

    CDialogBase& m_window;
    client::CfgApiTable& m_api;
    CLibraryWorker& m_worker;
    CProgressLogic& m_progress;
    bool m_bRunning = false;
    std::unique_ptr<CRestoreDlg> m_pRestore;
};

}  // namespace vexal::utility
