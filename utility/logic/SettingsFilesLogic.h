// "Save settings…" and "Load settings…" of the main window: the file
// choice, the jobs that read the hub (and the file), the messages, and the
// load dialog (149). Files are in the command-line tool's backup format, so
// either program reads the other's.
//
// Save: every readable group into the file; groups that cannot be read are
// left out and named. Load: a bad file is refused with the file and the
// place before the hub is even read; otherwise the hub is read whole and the
// plan shown; nothing is written unless the user says so there.
#pragma once
#include "client/HubSession.h"
#include "utility/logic/DialogView.h"
#include "utility/logic/ProgressLogic.h"

#include <functional>
#include <memory>
#include <string>

namespace vexal::utility {

class CRestoreLogic;

class CSettingsFilesLogic {
public:
    // window: the main window's view (messages, file choice, pop-up owner);
    // session: the main window's, connected; all four outlive this.
    CSettingsFilesLogic(IDialogView& window, client::CHubSession& session, CLibraryJobs& jobs,
                        CProgressLogic& progress);
    ~CSettingsFilesLogic();
    CSettingsFilesLogic(const CSettingsFilesLogic&) = delete;
    CSettingsFilesLogic& operator=(const CSettingsFilesLogic&) = delete;

    // strModel: the model as the main window shows it (for the file name
    // offered); strSource: how the file names this hub. fnEnded follows once
    // the save has ended, whatever came of it (not when it never started).
    void Save(const std::u16string& strModel, const std::string& strSource, std::function<void()> fnEnded);
    // strConnectedAddress: the hub's address when connected over Ethernet.
    void Load(const std::string& strConnectedAddress, std::function<void()> fnEnded);
    // A save or load has not ended (a job runs or the load dialog is up).
    bool IsBusy() const;

private:
    // Asks for a file; then fnWork(file) on the library thread behind the
    // progress pop-up, and fnDone(file, its result) here, or a message when
    // the work threw; fnEnded after either.
    template <class R>
    void WithFile(const SFileChoice& choice, std::function<R(const std::string&)> fnWork,
                  std::function<void(const std::string&, R)> fnDone, const std::u16string& strFailed,
                  std::function<void()> fnEnded);

    IDialogView& m_window;
    client::CHubSession& m_session;
    CLibraryJobs& m_jobs;
    CProgressLogic& m_progress;
    bool m_bRunning = false;
    std::unique_ptr<CRestoreLogic> m_pRestore;                 // while the load dialog is up
    std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);  // continuations hold it weakly
};

}  // namespace vexal::utility
