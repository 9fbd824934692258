#include "utility/logic/FindHubsLogic.h"

#include "client/ScanRanges.h"
#include "platform/Socket.h"
#include "utility/logic/Text.h"

namespace vexal::utility {
using namespace find_ids;

namespace {

// A search takes at most four /22 ranges' worth of addresses.
constexpr size_t kMaxAddresses = 4096;

SDialogDesc MakeDesc() {
    SDialogDesc desc;
    desc.nId = CFindHubsLogic::kDialogId;
    desc.strTitle = u"Find hubs";
    auto& c = desc.controls;
    c.push_back(LabelFor(kRange, u"&Addresses :", 0, 0));
    SControlDesc range = Ctl(EControl::Edit, kRange, u"Addresses to search", 0, 1);
    range.strPlaceholder = u"192.168.0.0/24, 10.0.0.0/22";
    range.bStretchColumn = true;
    c.push_back(range);
    c.push_back(Ctl(EControl::Button, kSearch, u"&Search", 0, 2));
    c.push_back(Ctl(EControl::Button, kStop, u"S&top", 0, 3));
    SControlDesc bar = Ctl(EControl::Progress, kProgress, u"Search progress", 1, 0);
    bar.nColumnSpan = 4;
    c.push_back(bar);
    SControlDesc status = Ctl(EControl::Value, kStatus, {}, 2, 0);
    status.nColumnSpan = 4;
    status.bWordWrap = true;
    c.push_back(status);
    SControlDesc listLabel = LabelFor(kList, u"&Hubs found :", 3, 0);
    listLabel.nColumnSpan = 4;
    c.push_back(listLabel);
    SControlDesc list = Ctl(EControl::ListView, kList, u"Hubs found", 4, 0);
    list.nColumnSpan = 4;
    list.columns = {u"Address", u"Model", u"Firmware"};
    list.columnWidths = {0, 0, 0};
    list.nWidthChars = 77;
    list.nHeightLines = 8;
    c.push_back(list);
    c.push_back(RowButton(kUse, u"&Use this hub"));
    c.push_back(RowButton(kClose, u"Close"));
    return desc;
}

// The model as the main window shows it: without the hub's leading
// character.
std::u16string ModelShown(const std::string& strModel) {
    const std::u16string model = Utf8ToU16(strModel);
    return model.size() <= 1 ? std::u16string() : model.substr(1);
}

}  // namespace

CFindHubsLogic::CFindHubsLogic(client::CCfgLibrary& api, CLibraryJobs& jobs, std::u16string strRanges, uint16_t wPort)
    : m_api(api), m_jobs(jobs), m_strRanges(std::move(strRanges)), m_wPort(wPort) {}

CFindHubsLogic::~CFindHubsLogic() { m_search.Stop(); }

const SDialogDesc& CFindHubsLogic::Desc() const {
    static const SDialogDesc kDesc = MakeDesc();
    return kDesc;
}

void CFindHubsLogic::OnInit() {
    SetText(kRange, m_strRanges);
    ShowState();
}

void CFindHubsLogic::OnClicked(int nId) {
    switch (nId) {
    case kSearch: OnSearch(); break;
    case kStop: OnStop(); break;
    case kUse: OnUse(); break;
    case kClose: CloseWhenIdle(kRejected); break;
    default: break;
    }
}

void CFindHubsLogic::OnRowSelected(int nId, int /*nRow*/) {
    if (nId == kList) ShowState();
}

void CFindHubsLogic::OnRowActivated(int nId, int /*nRow*/) {
    if (nId == kList) OnUse();
}

void CFindHubsLogic::OnTimer(int nTimerId) {
    if (nTimerId == kPollTimer) OnPoll();
}

bool CFindHubsLogic::OnCloseRequest() {
    if (!IsBusy()) return true;
    CloseWhenIdle(kRejected);
    return false;
}

void CFindHubsLogic::OnSearch() {
    if (IsBusy()) return;
    std::string strError;
    const auto addresses = client::ParseRanges(U16ToUtf8(GetText(kRange)), kMaxAddresses, strError);
    if (!addresses) {
        Message(Arg(u"The addresses to search cannot be used: %1.\nGive ranges such as 192.168.0.0/24, each at most "
                    u"a /22, separated by commas.",
                    Utf8ToU16(strError)),
                EMsgIcon::Warning);
        return;
    }
    View().ListClear(kList);
    m_nRowsShown = 0;
    m_search.Start(*addresses, m_wPort);
    View().StartTimer(kPollTimer, kPollMs);
    m_bPolling = true;
    ShowState();
}

void CFindHubsLogic::OnStop() {
    m_search.Stop();
    ShowState();
}

void CFindHubsLogic::OnPoll() {
    if (!m_bJob) {
        if (const auto address = m_search.NextToIdentify()) {
            const client::CCfgLibrary& api = m_api;
            const uint32_t dwAddress = *address;
            const uint16_t wPort = m_wPort;
            const std::weak_ptr<int> pAlive = m_pAlive;
            m_bJob = m_jobs.Start<client::SFoundHub>(
                [&api, dwAddress, wPort] { return client::IdentifyHub(api, dwAddress, wPort, 0); },
                [this, pAlive](client::SFoundHub hub) {
                    if (pAlive.expired()) return;
                    m_bJob = false;
                    m_search.Identified(hub);
                    if (HasView()) OnPoll();
                },
                // A work that threw: the address is listed with why, and the search goes on.
                [this, pAlive, dwAddress](const std::string& strWhy) {
                    if (pAlive.expired()) return;
                    m_bJob = false;
                    client::SFoundHub failed;
                    failed.strAddress = client::FormatIPv4(dwAddress);
                    failed.strError = "the identification failed: " + strWhy;
                    m_search.Identified(failed);
                    if (HasView()) OnPoll();
                });
            if (!m_bJob) m_search.NotStarted(dwAddress);
        }
    }
    const auto& found = m_search.Found();
    for (; m_nRowsShown < found.size(); ++m_nRowsShown) {
        const SFoundRow row = FoundRow(found[m_nRowsShown]);
        View().ListAddRow(kList,
                          {Utf8ToU16(row.strAddress), row.bUsable ? ModelShown(row.strModel) : Utf8ToU16(row.strModel),
                           Utf8ToU16(row.strFirmware)});
    }
    if (m_bPolling && !m_search.IsRunning()) {
        View().StopTimer(kPollTimer);
        m_bPolling = false;
    }
    ShowState();
    if (m_closeResult && !IsBusy()) {
        const int nResult = *m_closeResult;
        m_closeResult.reset();
        Close(nResult);
    }
}

void CFindHubsLogic::ShowState() {
    const bool bRunning = IsBusy();
    View().SetProgress(kProgress, m_search.Percent(), 100);
    SetText(kStatus, Utf8ToU16(m_search.StatusText()));
    Enable(kRange, !bRunning);
    Enable(kSearch, !bRunning);
    Enable(kStop, bRunning && m_search.State() == CHubSearch::EState::Searching);
    const int nRow = View().ListSelectedRow(kList);
    const auto& found = m_search.Found();
    Enable(kUse, nRow >= 0 && static_cast<size_t>(nRow) < found.size() && found[static_cast<size_t>(nRow)].bHub);
}

void CFindHubsLogic::OnUse() {
    const int nRow = View().ListSelectedRow(kList);
    const auto& found = m_search.Found();
    if (nRow < 0 || static_cast<size_t>(nRow) >= found.size() || !found[static_cast<size_t>(nRow)].bHub) return;
    if (const auto address = platform::ParseIPv4(found[static_cast<size_t>(nRow)].strAddress)) {
        m_chosen = *address;
        CloseWhenIdle(kAccepted);
    }
}

void CFindHubsLogic::CloseWhenIdle(int nResult) {
    // The probe ends at once; an identification under way is waited for
    // from the event loop, so that the library thread is free afterwards.
    if (IsBusy()) {
        m_search.Stop();
        m_closeResult = nResult;
        ShowState();
        return;
    }
    m_closeResult.reset();
    Close(nResult);
}

}  // namespace vexal::utility
