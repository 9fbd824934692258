#include "utility/SettingsFiles.h"

#include "client/HubSession.h"
#include "model/Backup.h"
#include "platform/Clock.h"
#include "platform/TextFile.h"
#include "utility/BackupRestore.h"
#include "utility/RestoreDlg.h"
#include "utility/logic/Text.h"

#include <optional>
#include <vector>

namespace vexal::utility {

namespace {

constexpr const char16_t* kFilterName = u"Vexal hub settings";
constexpr const char16_t* kPattern = u"*.json";

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

// Both run on the library thread; whatever goes wrong ends in their result.
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
        if (!platform::ReadTextFile(strFile, strText, read.strFileError))
            return read;
        read.backup = model::ReadBackupText(strText, strFile, read.strFileError);
        if (!read.backup)
            return read;
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

CSettingsFiles::CSettingsFiles(CDialogBase& window, client::CfgApiTable& api, CLibraryWorker& worker,
                               CProgressLogic& progress)
    : m_window(window), m_api(api), m_worker(worker), m_progress(progress) {}

CSettingsFiles::~CSettingsFiles() = default;

bool CSettingsFiles::IsBusy() const { return m_bRunning || m_pRestore != nullptr; }

template <class R>
void CSettingsFiles::WithFile(const SFileChoice& choice, std::function<R(const std::string&)> fnWork,
                              std::function<void(const std::string&, R)> fnDone) {
    if (IsBusy() || m_worker.IsBusy())
        return;
    const auto file = m_window.Services().ChooseFile(&m_window, choice);
    if (!file)
        return;
    const std::string strFile = file->toStdString();
    m_progress.Begin(m_window.View());
    m_bRunning = m_worker.Start<R>(
        &m_window, [fnWork, strFile] { return fnWork(strFile); },
        [this, strFile, fnDone](R result) {
            m_bRunning = false;
            m_progress.End();
            fnDone(strFile, std::move(result));
        });
    if (!m_bRunning)
        m_progress.End();
}

void CSettingsFiles::Save(const QString& strModel, const std::string& strSource, std::function<void()> fnEnded) {
    const std::string strTaken = platform::UtcTimestamp();
    const client::CfgApiTable& api = m_api;
    const int32_t nSession = m_api.m_nHandle;
    WithFile<SSaved>(
        {EFileAction::Save, u"Save settings", Utf8ToU16(SuggestedBackupName(strModel.toStdString(), strTaken)),
         kFilterName, kPattern, u"json"},
        [&api, nSession, strTaken, strSource](const std::string& strFile) {
            return SaveBackup(api, nSession, strFile, strTaken, strSource);
        },
        [this, fnEnded](const std::string& strFile, SSaved saved) {
            const SOutcomeText outcome = SaveOutcomeText(strFile, saved.vecUnread, saved.strError);
            m_window.Message(QString::fromStdString(outcome.strText),
                             outcome.bWarning ? EMsgIcon::Warning : EMsgIcon::Information);
            if (fnEnded)
                fnEnded();
        });
}

void CSettingsFiles::Load(const std::string& strConnectedAddress, std::function<void()> fnEnded) {
    const client::CfgApiTable& api = m_api;
    const int32_t nSession = m_api.m_nHandle;
    WithFile<SLoadRead>(
        {EFileAction::Open, u"Load settings", {}, kFilterName, kPattern, {}},
        [&api, nSession](const std::string& strFile) { return ReadForLoad(api, nSession, strFile); },
        [this, strConnectedAddress, fnEnded](const std::string& strFile, SLoadRead read) {
            if (!read.backup) {
                m_window.Message(QObject::tr("The file cannot be loaded; nothing was written to the hub.\n%1")
                                     .arg(QString::fromStdString(read.strFileError)),
                                 EMsgIcon::Warning);
            } else if (!read.vecUnread.empty()) {
                QString strText = QObject::tr("The hub's settings could not all be read, so nothing was written:");
                for (const auto& e : read.vecUnread)
                    strText += QLatin1Char('\n') + QString::fromStdString(e);
                m_window.Message(strText, EMsgIcon::Warning);
            } else {
                m_pRestore = std::make_unique<CRestoreDlg>(m_api, m_worker, m_window.Services(),
                                                           QString::fromStdString(strFile), std::move(*read.backup),
                                                           std::move(read.hub), strConnectedAddress, &m_window);
                // Shown from the event loop, once this job has ended: the
                // dialog's own writes are jobs too.
                QMetaObject::invokeMethod(&m_window, [this, fnEnded] { ShowRestore(fnEnded); }, Qt::QueuedConnection);
                return;
            }
            if (fnEnded)
                fnEnded();
        });
}

void CSettingsFiles::ShowRestore(std::function<void()> fnEnded) {
    if (m_pRestore)
        m_window.Services().RunModal(*m_pRestore);
    m_pRestore.reset();
    if (fnEnded)
        fnEnded();
}

}  // namespace vexal::utility
