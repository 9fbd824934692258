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
#include "client/CfgApiTable.h"
#include "utility/logic/DialogView.h"
#include "utility/logic/ProgressLogic.h"

#include <functional>
#include <memory>
#include <string>

namespace vexal::utility {

class CSettingsFilesLogic {
public:
    // window: the main window's view (messages, file choice, pop-up owner);
    // all four outlive this.
    CSettingsFilesLogic(IDialogView& window, client::CfgApiTable& api, CLibraryJobs& jobs, CProgressLogic& progress);
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
    // (the rest is the helper's to define)
};

}  // namespace vexal::utility
