#include "utility/logic/SettingsFilesLogic.h"

#include "client/HubSession.h"
#include "model/Backup.h"
#include "platform/Clock.h"
#include "platform/TextFile.h"
#include "utility/logic/BackupRestore.h"
#include "utility/logic/SecretText.h"
#include "utility/logic/DialogLogic.h"
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

// Both run on the library thread, on the main window's session; what goes
// wrong ends in their result, with the file's name and place (a throw that
// gets past them still ends the job).
SSaved SaveBackup(client::CHubSession& session, const std::string& strFile, const std::string& strTaken,
                  const std::string& strSource) {
    SSaved saved;
    std::vector<std::string> secrets;
    try {
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
        AddSecretValues(backup.settings, secrets);
    } catch (const std::exception& e) {
        saved.strError = e.what();
    }
    // What is told of the save names no secret the hub holds.
    saved.strError = MaskSecrets(saved.strError, secrets);
    for (auto& strUnread : saved.vecUnread) strUnread = MaskSecrets(strUnread, secrets);
    return saved;
}

SLoadRead ReadForLoad(client::CHubSession& session, const std::string& strFile) {
    SLoadRead read;
    try {
        std::string strText;
        if (!platform::ReadTextFile(strFile, strText, read.strFileError)) return read;
        read.backup = model::ReadBackupText(strText, strFile, read.strFileError);
        if (!read.backup) return read;
        session.ReadSettings({}, read.hub, read.vecUnread);
    } catch (const std::exception& e) {
        read.backup.reset();
        read.strFileError = strFile + ": " + e.what();
    }
    // What is told of the load names no secret of the file or the hub.
    std::vector<std::string> secrets;
    if (read.backup) AddSecretValues(read.backup->settings, secrets);
    AddSecretValues(model::ToValues(read.hub), secrets);
    read.strFileError = MaskSecrets(read.strFileError, secrets);
    for (auto& strUnread : read.vecUnread) strUnread = MaskSecrets(strUnread, secrets);
    return read;
}

}  // namespace

CSettingsFilesLogic::CSettingsFilesLogic(IDialogView& window, client::CHubSession& session, CLibraryJobs& jobs,
                                         CProgressLogic& progress)
    : m_window(window), m_session(session), m_jobs(jobs), m_progress(progress) {}

CSettingsFilesLogic::~CSettingsFilesLogic() = default;

bool CSettingsFilesLogic::IsBusy() const { return m_bRunning || m_pRestore != nullptr; }

template <class R>
void CSettingsFilesLogic::WithFile(const SFileChoice& choice, std::function<R(const std::string&)> fnWork,
                                   std::function<void(const std::string&, R)> fnDone, const std::u16string& strFailed,
                                   std::function<void()> fnEnded) {
    if (IsBusy() || m_jobs.IsBusy()) return;
    const auto file = m_window.ChooseFile(choice);
    if (!file) return;
    const std::string strFile = *file;
    const std::weak_ptr<int> pAlive = m_pAlive;
    m_progress.Begin(m_window);
    m_bRunning = m_jobs.Start<R>([fnWork, strFile] { return fnWork(strFile); },
                                 [this, pAlive, strFile, fnDone, fnEnded](R result) {
                                     if (pAlive.expired()) return;
                                     m_bRunning = false;
                                     m_progress.End();
                                     fnDone(strFile, std::move(result));
                                     if (fnEnded) fnEnded();
                                 },
                                 [this, pAlive, strFailed, fnEnded](const std::string& strWhy) {
                                     if (pAlive.expired()) return;
                                     m_bRunning = false;
                                     m_progress.End();
                                     m_window.Message(strFailed + u"\n" + JobFailureText(strWhy), EMsgIcon::Warning);
                                     if (fnEnded) fnEnded();
                                 });
    if (!m_bRunning) m_progress.End();
}

void CSettingsFilesLogic::Save(const std::u16string& strModel, const std::string& strSource,
                               std::function<void()> fnEnded) {
    const std::string strTaken = platform::UtcTimestamp();
    client::CHubSession& session = m_session;
    WithFile<SSaved>(
        {EFileAction::Save, u"Save settings", Utf8ToU16(SuggestedBackupName(U16ToUtf8(strModel), strTaken)),
         kFilterName, kPattern, u"json"},
        [&session, strTaken, strSource](const std::string& strFile) {
            return SaveBackup(session, strFile, strTaken, strSource);
        },
        [this](const std::string& strFile, SSaved saved) {
            const SOutcomeText outcome = SaveOutcomeText(strFile, saved.vecUnread, saved.strError);
            m_window.Message(Utf8ToU16(outcome.strText), outcome.bWarning ? EMsgIcon::Warning : EMsgIcon::Information);
        },
        u"The settings were not saved.", std::move(fnEnded));
}

void CSettingsFilesLogic::Load(const std::string& strConnectedAddress, std::function<void()> fnEnded) {
    client::CHubSession& session = m_session;
    WithFile<SLoadRead>(
        {EFileAction::Open, u"Load settings", {}, kFilterName, kPattern, {}},
        [&session](const std::string& strFile) { return ReadForLoad(session, strFile); },
        [this, strConnectedAddress](const std::string& strFile, SLoadRead read) {
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
                m_pRestore =
                    std::make_unique<CRestoreLogic>(m_session, m_jobs, Utf8ToU16(strFile), std::move(*read.backup),
                                                    std::move(read.hub), strConnectedAddress);
                m_window.RunModal(*m_pRestore);
                m_pRestore.reset();
            }
        },
        u"The file cannot be loaded; nothing was written to the hub.", std::move(fnEnded));
}

}  // namespace vexal::utility
