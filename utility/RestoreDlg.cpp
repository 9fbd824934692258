#include "utility/RestoreDlg.h"

#include "client/HubSession.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vexal::utility {
using namespace restore_ids;

CRestoreDlg::CRestoreDlg(client::CfgApiTable& api, CLibraryWorker& worker, IDialogServices& services,
                         const QString& strFile, model::SBackup backup, model::SHubSettings hub,
                         std::string strConnectedAddress, QWidget* pParent)
    : CDialogBase(kDialogId, services, pParent), m_api(api), m_worker(worker), m_backup(std::move(backup)),
      m_hub(std::move(hub)), m_strConnectedAddress(std::move(strConnectedAddress)) {
    setWindowTitle(tr("Load settings"));
    auto* pSource = MakeStatic(kSource, {});
    pSource->setWordWrap(true);
    auto* pClone = MakeCheck(kClone, tr("&Clone: keep this hub's addresses and Bluetooth name"));
    auto* pList = MakeListView(kList, {tr("Group"), tr("Action"), tr("Changes")}, tr("What would change"));
    pList->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    pList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    pList->setMinimumSize(560, 260);
    auto* pNote = MakeStatic(kNote, {});
    pNote->setWordWrap(true);
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(MakeButton(kWrite, tr("&Write to hub")));
    pButtons->addWidget(MakeButton(kClose, tr("Close")));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pSource);
    pLayout->addWidget(pClone);
    pLayout->addWidget(MakeLabel(tr("What &would change :"), pList));
    pLayout->addWidget(pList);
    pLayout->addWidget(pNote);
    pLayout->addLayout(pButtons);

    const QString strHub = QString::fromStdString(m_backup.strModel + " " + m_backup.strFirmware).trimmed();
    SetText(kSource, tr("File: %1\nTaken %2 from %3 at %4")
                         .arg(strFile, QString::fromStdString(m_backup.strTaken), strHub,
                              QString::fromStdString(m_backup.strSource)));
    SetCheck(kClone, CloneByDefault(m_backup.settings, model::ToValues(m_hub)));
    OnClicked(kClone, [this] {
        MakePlan();
        ShowPlan();
    });
    OnClicked(kWrite, [this] { OnWrite(); });
    OnClicked(kClose, [this] { done(QDialog::Rejected); });
    MakePlan();
    ShowPlan();
}

void CRestoreDlg::MakePlan() {
    model::SRestoreOptions options;
    options.bClone = IsChecked(kClone);
    m_plans = model::PlanRestore(m_backup.settings, model::ToValues(m_hub), options);
}

void CRestoreDlg::ShowPlan() {
    ListClear(kList);
    for (const auto& row : RestoreRows(m_plans, m_applied))
        ListAddRow(kList, {QString::fromStdString(row.strGroup), QString::fromStdString(row.strAction),
                           QString::fromStdString(row.strDetail)});
    const SRestoreSummary summary = RestoreSummary(m_plans, m_applied);
    SetText(kNote, QString::fromStdString(summary.strNote));
    Enable(kWrite, summary.bCanWrite);
    Enable(kClone, m_applied.empty());
}

void CRestoreDlg::OnWrite() {
    if (IsBusy() || !RestoreSummary(m_plans, m_applied).bCanWrite)
        return;
    if (!m_strConnectedAddress.empty() && MovesConnectedHub(m_plans, m_strConnectedAddress) &&
        Message(tr("These settings give the hub another address than %1, which this connection uses: the "
                   "connection will be lost and the groups after it cannot be read back.\nWrite anyway?")
                    .arg(QString::fromStdString(m_strConnectedAddress)),
                EMsgIcon::Question, EMsgButtons::YesNo) != EMsgResult::Yes)
        return;
    const client::CfgApiTable& api = m_api;
    const int32_t nSession = m_api.m_nHandle;
    m_bJob = StartWindowJob<std::vector<SApplied>>(
        m_worker, this,
        [&api, nSession, plans = m_plans, hub = m_hub] {
            client::CHubSession session(api);
            session.Attach(nSession);
            std::vector<SApplied> applied(plans.size());
            for (size_t i = 0; i < plans.size(); ++i) {
                if (plans[i].eAction != model::EPlanAction::Write)
                    continue;
                applied[i].bTried = true;
                applied[i].bOk = session.ApplyPlan(plans[i], hub);
                if (!applied[i].bOk)
                    applied[i].strError = session.Error();
            }
            return applied;
        },
        [this](std::vector<SApplied> applied) {
            m_bJob = false;
            m_applied = std::move(applied);
            ShowPlan();
            const SRestoreSummary summary = RestoreSummary(m_plans, m_applied);
            Message(QString::fromStdString(summary.strNote), summary.bWarning ? EMsgIcon::Warning : EMsgIcon::Information);
            if (m_closeResult)
                done(*m_closeResult);
        });
}

void CRestoreDlg::done(int nResult) {
    // A close asked for while the groups are written happens once they are.
    if (IsBusy()) {
        m_closeResult = nResult;
        return;
    }
    m_closeResult.reset();
    QDialog::done(nResult);
}

}  // namespace vexal::utility
