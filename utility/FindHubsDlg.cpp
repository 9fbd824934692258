#include "utility/FindHubsDlg.h"

#include "client/ScanRanges.h"
#include "platform/Socket.h"
#include "utility/UtilityOptions.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vexal::utility {
using namespace find_ids;

namespace {
// A search takes at most four /22 ranges' worth of addresses.
constexpr size_t kMaxAddresses = 4096;
}  // namespace

CFindHubsDlg::CFindHubsDlg(client::CfgApiTable& api, CLibraryWorker& worker, IDialogServices& services,
                           const QString& strRanges, uint16_t wPort, QWidget* pParent)
    : CDialogBase(kDialogId, services, pParent), m_api(api), m_worker(worker), m_wPort(wPort) {
    setWindowTitle(tr("Find hubs"));
    auto* pRange = MakeEdit(kRange, tr("Addresses to search"));
    pRange->setPlaceholderText(QStringLiteral("192.168.0.0/24, 10.0.0.0/22"));
    auto* pTop = new QGridLayout;
    pTop->addWidget(MakeLabel(tr("&Addresses :"), pRange), 0, 0);
    pTop->addWidget(pRange, 0, 1);
    pTop->addWidget(MakeButton(kSearch, tr("&Search")), 0, 2);
    pTop->addWidget(MakeButton(kStop, tr("S&top")), 0, 3);
    pTop->setColumnStretch(1, 1);
    auto* pBar = MakeProgressBar(kProgress, tr("Search progress"));
    auto* pStatus = MakeStatic(kStatus, {});
    pStatus->setWordWrap(true);
    auto* pList = MakeListView(kList, {tr("Address"), tr("Model"), tr("Firmware")}, tr("Hubs found"));
    pList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    pList->setMinimumSize(460, 160);
    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    pButtons->addWidget(MakeButton(kUse, tr("&Use this hub")));
    pButtons->addWidget(MakeButton(kClose, tr("Close")));
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pTop);
    pLayout->addWidget(pBar);
    pLayout->addWidget(pStatus);
    pLayout->addWidget(MakeLabel(tr("&Hubs found :"), pList));
    pLayout->addWidget(pList);
    pLayout->addLayout(pButtons);

    SetText(kRange, strRanges);
    OnClicked(kSearch, [this] { OnSearch(); });
    OnClicked(kStop, [this] { OnStop(); });
    OnClicked(kUse, [this] { OnUse(); });
    OnClicked(kClose, [this] { done(QDialog::Rejected); });
    OnRowSelected(kList, [this](int) { ShowState(); });
    OnRowActivated(kList, [this](int) { OnUse(); });
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnPoll(); });
    ShowState();
}

CFindHubsDlg::~CFindHubsDlg() { m_search.Stop(); }

bool CFindHubsDlg::IsBusy() const { return m_bJob || m_timer.isActive(); }

void CFindHubsDlg::OnSearch() {
    if (IsBusy())
        return;
    std::string strError;
    const auto addresses = client::ParseRanges(GetText(kRange).toStdString(), kMaxAddresses, strError);
    if (!addresses) {
        Message(tr("The addresses to search cannot be used: %1.\nGive ranges such as 192.168.0.0/24, each at most "
                   "a /22, separated by commas.")
                    .arg(QString::fromStdString(strError)),
                EMsgIcon::Warning);
        return;
    }
    ListClear(kList);
    m_nRowsShown = 0;
    m_search.Start(*addresses, m_wPort);
    m_timer.start();
    ShowState();
}

void CFindHubsDlg::OnStop() {
    m_search.Stop();
    ShowState();
}

void CFindHubsDlg::OnPoll() {
    if (!m_bJob) {
        if (const auto address = m_search.NextToIdentify()) {
            const uint16_t wPort = m_wPort;
            const client::CfgApiTable& api = m_api;
            const uint32_t dwAddress = *address;
            // The window stays usable meanwhile ("Stop"): no busy guard.
            m_bJob = m_worker.Start<client::SFoundHub>(
                this, [&api, dwAddress, wPort] { return client::IdentifyHub(api, dwAddress, wPort, 0); },
                [this](client::SFoundHub hub) {
                    m_bJob = false;
                    m_search.Identified(hub);
                    OnPoll();
                });
            if (!m_bJob)
                m_search.NotStarted(dwAddress);
        }
    }
    const auto& found = m_search.Found();
    for (; m_nRowsShown < found.size(); ++m_nRowsShown) {
        const SFoundRow row = FoundRow(found[m_nRowsShown]);
        ListAddRow(kList, {QString::fromStdString(row.strAddress),
                           row.bUsable ? ModelLabelText(QString::fromStdString(row.strModel))
                                       : QString::fromStdString(row.strModel),
                           QString::fromStdString(row.strFirmware)});
    }
    if (!m_search.IsRunning())
        m_timer.stop();
    ShowState();
    if (m_closeResult && !IsBusy())
        done(*m_closeResult);
}

void CFindHubsDlg::ShowState() {
    const bool bRunning = IsBusy();
    SetProgress(kProgress, m_search.Percent(), 100);
    SetText(kStatus, QString::fromStdString(m_search.StatusText()));
    Enable(kRange, !bRunning);
    Enable(kSearch, !bRunning);
    Enable(kStop, bRunning && m_search.State() == CHubSearch::EState::Searching);
    const int nRow = ListSelectedRow(kList);
    const auto& found = m_search.Found();
    Enable(kUse, nRow >= 0 && static_cast<size_t>(nRow) < found.size() && found[static_cast<size_t>(nRow)].bHub);
}

void CFindHubsDlg::OnUse() {
    const int nRow = ListSelectedRow(kList);
    const auto& found = m_search.Found();
    if (nRow < 0 || static_cast<size_t>(nRow) >= found.size() || !found[static_cast<size_t>(nRow)].bHub)
        return;
    if (const auto address = platform::ParseIPv4(found[static_cast<size_t>(nRow)].strAddress)) {
        m_chosen = *address;
        done(QDialog::Accepted);
    }
}

void CFindHubsDlg::done(int nResult) {
    // The probe ends at once; an identification under way is waited for
    // from the event loop, so that the library thread is free afterwards.
    if (IsBusy()) {
        m_search.Stop();
        m_closeResult = nResult;
        ShowState();
        return;
    }
    m_closeResult.reset();
    QDialog::done(nResult);
}

}  // namespace vexal::utility
