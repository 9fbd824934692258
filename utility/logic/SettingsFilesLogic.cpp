#include "utility/logic/SettingsFilesLogic.h"

#include "client/HubSession.h"
#include "model/Backup.h"
#include "platform/Clock.h"
#include "platform/TextFile.h"
#include "utility/BackupRestore.h"
#include "utility/logic/RestoreLogic.h"
#include "utility/logic/Text.h"

#include <exception>
#include <optional>
#include <vector>

namespace vexal::utility {

namespace {

constexpr char16_t kFilterName[] = u"Vexal hub settings";
constexpr char16_t kPattern[] = u"*.json";

struct SSaved {
    std::vector<std::string> vecUnread;
    std::string strError;  // nothing was written
};

struct SLoadRead {
    std::string strFileError;  // the file cannot be used: the hub was not read
    std::optional<model::SBackup> backup;
    model::SHubSettings hub;
    std::vector<std::string> vecUnread;
};

// Both run on the library thread; whatever goes wrong ends in their result
// (a throw would drop the continuation and leave the pop-up up).
SSaved SaveBackup(const client::CfgApiTable& api, int32_t nSession, const std::string& strFile,
                  const std::string& strTaken, const std::string& strSource) {
    SSaved saved;
    try {
        client::CHubSession session(api);
        session.Attach(nSession);
        model::SBackup backup;
        backup.strTaken = strTaken;
        backup.strSource = strSource;
        if (!session.ReadModel(backup.strModel, backup.strFirmware)) {
            saved.strError = "The hub did not answer: " + session.Error();
            return saved;
        }
        model::SHubSettings hub;
        session.ReadSettings({}, hub, saved.vecUnread);
        backup.settings = model::ToValues(hub);
        platform::WriteTextFile(strFile, model::BackupToJson(backup).dump(2) + "\n", saved.strError);
    } catch (const std::exception& e) {
        saved.strError = e.what();
    }
    return saved;
}

SLoadRead ReadForLoad(const client::CfgApiTable& api, int32_t nSession, const std::string& strFile) {
    SLoadRead read;
    try {
        std::string strText;
        if (!platform::ReadTextFile(strFile, strText, read.strFileError)) return read;
        read.backup = model::ReadBackupText(strText, strFile, read.strFileError);
        if (!read.backup) return read;
        client::CHubSession session(api);
        session.Attach(nSession);
        session.ReadSettings({}, read.hub, read.vecUnread);
    } catch (const std::exception& e) {
        read.backup.reset();
        read.strFileError = strFile + ": " + e.what();
    }
    return read;
}

}  // namespace

CSettingsFilesLogic::CSettingsFilesLogic(IDialogView& window, client::CfgApiTable& api, CLibraryJobs& jobs,
                                         CProgressLogic& progress)
    : m_window(window), m_api(api), m_jobs(jobs), m_progress(progress) {}

CSettingsFilesLogic::~CSettingsFilesLogic() = default;

bool CSettingsFilesLogic::IsBusy() const { return m_bRunning || m_pRestore != nullptr; }

template <class R>
void CSettingsFilesLogic::WithFile(const SFileChoice& choice, std::function<R(const std::string&)> fnWork,
                                   std::function<void(const std::string&, R)> fnDone) {
    if (IsBusy() || m_jobs.IsBusy()) return;
    const auto file = m_window.ChooseFile(choice);
    if (!file) return;
    const std::string strFile = *file;
    m_progress.Begin(m_window);
    m_bRunning = m_jobs.Start<R>([fnWork, strFile] { return fnWork(strFile); },
                                 [this, pAlive = std::weak_ptr<int>(m_pAlive), strFile, fnDone](R result) {
                                     if (pAlive.expired()) return;
                                     m_bRunning = false;
                                     m_progress.End();
                                     fnDone(strFile, std::move(result));
                                 });
    if (!m_bRunning) m_progress.End();
}

void CSettingsFilesLogic::Save(const std::u16string& strModel, const std::string& strSource,
                               std::function<void()> fnEnded) {
    const std::string strTaken = platform::UtcTimestamp();
    const client::CfgApiTable& api = m_api;
    const int32_t nSession = m_api.m_nHandle;
    WithFile<SSaved>(
        {EFileAction::Save, u"Save settings", Utf8ToU16(SuggestedBackupName(U16ToUtf8(strModel), strTaken)),
         kFilterName, kPattern, u"json"},
        [&api, nSession, strTaken, strSource](const std::string& strFile) {
            return SaveBackup(api, nSession, strFile, strTaken, strSource);
        },
        [this, fnEnded](const std::string& strFile, SSaved saved) {
            const SOutcomeText outcome = SaveOutcomeText(strFile, saved.vecUnread, saved.strError);
            m_window.Message(Utf8ToU16(outcome.strText), outcome.bWarning ? EMsgIcon::Warning : EMsgIcon::Information);
            if (fnEnded) fnEnded();
        });
}

void CSettingsFilesLogic::Load(const std::string& strConnectedAddress, std::function<void()> fnEnded) {
    const client::CfgApiTable& api = m_api;
    const int32_t nSession = m_api.m_nHandle;
    WithFile<SLoadRead>(
        {EFileAction::Open, u"Load settings", {}, kFilterName, kPattern, {}},
        [&api, nSession](const std::string& strFile) { return ReadForLoad(api, nSession, strFile); },
        [this, strConnectedAddress, fnEnded](const std::string& strFile, SLoadRead read) {
            if (!read.backup) {
                m_window.Message(Arg(u"The file cannot be loaded; nothing was written to the hub.\n%1",
                                     Utf8ToU16(read.strFileError)),
                                 EMsgIcon::Warning);
            } else if (!read.vecUnread.empty()) {
                std::u16string strText = u"The hub's settings could not all be read, so nothing was written:";
                for (const auto& e : read.vecUnread) strText += u"\n" + Utf8ToU16(e);
                m_window.Message(strText, EMsgIcon::Warning);
            } else {
                // The library thread is free again once a continuation runs,
                // so the dialog's own writes can start from inside its run.
                m_pRestore = std::make_unique<CRestoreLogic>(m_api, m_jobs, Utf8ToU16(strFile), std::move(*read.backup),
                                                             std::move(read.hub), strConnectedAddress);
                m_window.RunModal(*m_pRestore);
                m_pRestore.reset();
            }
            if (fnEnded) fnEnded();
        });
}

}  // namespace vexal::utility
