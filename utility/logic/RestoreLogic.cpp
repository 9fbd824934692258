#include "utility/logic/RestoreLogic.h"

#include "client/HubSession.h"
#include "utility/logic/Text.h"

#include <exception>

namespace vexal::utility {
using namespace restore_ids;

namespace {

SDialogDesc MakeDesc() {
    SDialogDesc desc;
    desc.nId = CRestoreLogic::kDialogId;
    desc.strTitle = u"Load settings";
    auto& c = desc.controls;
    SControlDesc source = Ctl(EControl::Value, kSource, {}, 0, 0);
    source.bWordWrap = true;
    c.push_back(source);
    c.push_back(Ctl(EControl::Check, kClone, u"&Clone: keep this hub's addresses and Bluetooth name", 1, 0));
    c.push_back(LabelFor(kList, u"What &would change :", 2, 0));
    SControlDesc list = Ctl(EControl::ListView, kList, u"What would change", 3, 0);
    list.columns = {u"Group", u"Action", u"Changes"};
    list.columnWidths = {0, 0};  // the changes take what is left
    list.nWidthChars = 93;
    list.nHeightLines = 17;
    c.push_back(list);
    SControlDesc note = Ctl(EControl::Value, kNote, {}, 4, 0);
    note.bWordWrap = true;
    c.push_back(note);
    c.push_back(RowButton(kWrite, u"&Write to hub"));
    c.push_back(RowButton(kClose, u"Close"));
    return desc;
}

// Blanks at either end of a text dropped (a backup without a model or
// firmware leaves one).
std::string Trimmed(const std::string& strText) {
    const char* const pszBlanks = " \t\n\v\f\r";
    const size_t nFirst = strText.find_first_not_of(pszBlanks);
    if (nFirst == std::string::npos) return {};
    return strText.substr(nFirst, strText.find_last_not_of(pszBlanks) - nFirst + 1);
}

}  // namespace

CRestoreLogic::CRestoreLogic(client::CHubSession& session, CLibraryJobs& jobs, std::u16string strFile,
                             model::SBackup backup, model::SHubSettings hub, std::string strConnectedAddress)
    : m_session(session),
      m_jobs(jobs),
      m_strFile(std::move(strFile)),
      m_backup(std::move(backup)),
      m_hub(std::move(hub)),
      m_strConnectedAddress(std::move(strConnectedAddress)) {
    m_bClone = CloneByDefault(m_backup.settings, model::ToValues(m_hub));
    MakePlan();
}

const SDialogDesc& CRestoreLogic::Desc() const {
    static const SDialogDesc kDesc = MakeDesc();
    return kDesc;
}

void CRestoreLogic::OnInit() {
    const std::string strHub = Trimmed(m_backup.strModel + " " + m_backup.strFirmware);
    SetText(kSource, u"File: " + m_strFile + u"\nTaken " + Utf8ToU16(m_backup.strTaken) + u" from " +
                         Utf8ToU16(strHub) + u" at " + Utf8ToU16(m_backup.strSource));
    SetCheck(kClone, m_bClone);
    ShowPlan();
}

void CRestoreLogic::OnClicked(int nId) {
    switch (nId) {
    case kClone:
        m_bClone = IsChecked(kClone);
        MakePlan();
        ShowPlan();
        break;
    case kWrite: OnWrite(); break;
    case kClose: CloseWhenIdle(kRejected); break;
    default: break;
    }
}

bool CRestoreLogic::OnCloseRequest() {
    if (!IsBusy()) return true;
    CloseWhenIdle(kRejected);
    return false;
}

void CRestoreLogic::MakePlan() {
    model::SRestoreOptions options;
    options.bClone = m_bClone;
    m_plans = model::PlanRestore(m_backup.settings, model::ToValues(m_hub), options);
}

void CRestoreLogic::ShowPlan() {
    View().ListClear(kList);
    for (const auto& row : RestoreRows(m_plans, m_applied))
        View().ListAddRow(kList, {Utf8ToU16(row.strGroup), Utf8ToU16(row.strAction), Utf8ToU16(row.strDetail)});
    const SRestoreSummary summary = RestoreSummary(m_plans, m_applied);
    SetText(kNote, Utf8ToU16(summary.strNote));
    Enable(kWrite, summary.bCanWrite);
    Enable(kClone, m_applied.empty());
}

void CRestoreLogic::OnWrite() {
    if (IsBusy() || !RestoreSummary(m_plans, m_applied).bCanWrite) return;
    if (!m_strConnectedAddress.empty() && MovesConnectedHub(m_plans, m_strConnectedAddress) &&
        Message(Arg(u"These settings give the hub another address than %1, which this connection uses: the "
                    u"connection will be lost and the groups after it cannot be read back.\nWrite anyway?",
                    Utf8ToU16(m_strConnectedAddress)),
                EMsgIcon::Question, EMsgButtons::YesNo) != EMsgResult::Yes)
        return;
    client::CHubSession& session = m_session;
    m_bJob = StartJob<std::vector<SApplied>>(
        m_jobs,
        [&session, plans = m_plans, hub = m_hub] {
            std::vector<SApplied> applied(plans.size());
            for (size_t i = 0; i < plans.size(); ++i) {
                if (plans[i].eAction != model::EPlanAction::Write) continue;
                applied[i].bTried = true;
                // A throw counts as that group's failure, so the other groups
                // are still written.
                try {
                    applied[i].bOk = session.ApplyPlan(plans[i], hub);
                    if (!applied[i].bOk) applied[i].strError = session.Error();
                } catch (const std::exception& e) {
                    applied[i].bOk = false;
                    applied[i].strError = e.what();
                }
            }
            return applied;
        },
        [this](std::vector<SApplied> applied) {
            m_bJob = false;
            m_applied = std::move(applied);
            if (!HasView()) return;
            ShowPlan();
            const SRestoreSummary summary = RestoreSummary(m_plans, m_applied);
            Message(Utf8ToU16(summary.strNote), summary.bWarning ? EMsgIcon::Warning : EMsgIcon::Information);
            if (m_closeResult) CloseWhenIdle(*m_closeResult);
        },
        [this] {
            // Not started, or its work threw (the user has been told): nothing was written.
            m_bJob = false;
            if (m_closeResult && HasView()) CloseWhenIdle(*m_closeResult);
        });
}

void CRestoreLogic::CloseWhenIdle(int nResult) {
    // A close asked for while the groups are written happens once they are.
    if (IsBusy()) {
        m_closeResult = nResult;
        return;
    }
    m_closeResult.reset();
    Close(nResult);
}

}  // namespace vexal::utility
