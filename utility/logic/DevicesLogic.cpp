#include "utility/logic/DevicesLogic.h"

#include "model/Identification.h"
#include "utility/logic/Text.h"

#include <algorithm>

namespace vexal::utility {
using namespace devices_ids;

namespace {

SDialogDesc MakeDesc() {
    SDialogDesc desc;
    desc.nId = CDevicesLogic::kDialogId;
    desc.strTitle = u"Devices";
    auto& c = desc.controls;
    c.push_back(LabelFor(kLink, u"Link :", 0, 0));
    SControlDesc link = Ctl(EControl::Value, kLink, {}, 0, 1);
    link.bStretchColumn = true;
    c.push_back(link);
    SControlDesc listLabel = LabelFor(kList, u"&Devices behind the hub :", 1, 0);
    listLabel.nColumnSpan = 2;
    c.push_back(listLabel);
    SControlDesc list = Ctl(EControl::ListView, kList, u"Devices behind the hub", 2, 0);
    list.nColumnSpan = 2;
    list.columns = {u"ID", u"VID", u"PID", u"Type", u"Status"};
    // Fixed widths: the rows change while the window is open. Hexadecimal
    // digits are wider than the average character.
    list.columnWidths = {5, 7, 7, 20, 30};
    list.nWidthChars = 73;
    list.nHeightLines = 10;
    c.push_back(list);
    SControlDesc status = Ctl(EControl::Value, kStatus, {}, 3, 0);
    status.nColumnSpan = 2;
    status.bWordWrap = true;
    c.push_back(status);
    c.push_back(RowButton(kClose, u"Close"));
    return desc;
}

// The reason keywords in words, in the records' order.
const char16_t* ReasonWords(const std::string& strReason) {
    static const std::pair<const char*, const char16_t*> kWords[] = {
        {"offline-report", u"Off-line"},
        {"cover-open", u"Cover open"},
        {"drawer-open", u"Drawer open"},
        {"mechanical-error", u"Mechanical error"},
        {"cutter-error", u"Cutter error"},
        {"unrecoverable-error", u"Unrecoverable error"},
        {"recoverable-error", u"Recoverable error"},
        {"media-low", u"Paper low"},
        {"media-empty", u"Out of paper"},
    };
    for (const auto& [pszKeyword, pszWords] : kWords)
        if (strReason == pszKeyword) return pszWords;
    return nullptr;
}

}  // namespace

std::u16string PrinterStatusText(const std::optional<model::CStatusRecord>& record) {
    if (!record) return u"No status yet";
    const std::vector<std::string> reasons = model::RecordReasons(*record);
    if (reasons.empty() || reasons == std::vector<std::string>{"none"}) return u"Ready";
    // A printer's near-end sensor sees the end of the roll too.
    const bool bEmpty = std::find(reasons.begin(), reasons.end(), "media-empty") != reasons.end();
    std::u16string strText;
    for (const std::string& strReason : reasons) {
        if (bEmpty && strReason == "media-low") continue;
        const char16_t* pszWords = ReasonWords(strReason);
        strText +=
            (strText.empty() ? u"" : u", ") + (pszWords != nullptr ? std::u16string(pszWords) : Latin1ToU16(strReason));
    }
    return strText;
}

std::vector<std::u16string> DeviceRowCells(const client::SDeviceInfo& device,
                                           const std::optional<model::CStatusRecord>& record) {
    auto orDash = [](const std::string& str) { return str.empty() ? std::u16string(u"-") : Latin1ToU16(str); };
    return {NumberText(device.nId), orDash(device.strVid), orDash(device.strPid),
            Utf8ToU16(device.strCustomType.empty() ? model::DeviceTypeName(device.nId) : device.strCustomType),
            model::IsPrinterId(device.nId) ? PrinterStatusText(record) : std::u16string()};
}

CDevicesLogic::CDevicesLogic(CLibraryJobs& jobs, std::shared_ptr<IDeviceWatch> pWatch)
    : m_jobs(jobs), m_pWatch(std::move(pWatch)) {}

// A watch still running here (its window went without a close) stops with
// the last owner of the watch: a job that still holds it, or this.
CDevicesLogic::~CDevicesLogic() = default;

const SDialogDesc& CDevicesLogic::Desc() const {
    static const SDialogDesc kDesc = MakeDesc();
    return kDesc;
}

void CDevicesLogic::OnInit() {
    ShowList();
    SetText(kLink, u"-");
    SetText(kStatus, u"Reading the devices behind the hub…");
    if (m_eState != EState::Idle) return;
    const std::shared_ptr<IDeviceWatch> pWatch = m_pWatch;
    const std::weak_ptr<int> pAlive = m_pAlive;
    // Each event goes to the UI thread, and is dropped there when this logic is gone.
    IDeviceWatch::EventFn fnEvent = [post = m_jobs.UiPoster(), this, pAlive](client::SDeviceEvent event) {
        post([this, pAlive, event = std::move(event)] {
            if (!pAlive.expired()) OnEvent(event);
        });
    };
    struct SStarted {
        bool bOk = false;
        std::string strError;
    };
    auto fnFailed = [this, pAlive](const std::string& strWhy) {
        if (pAlive.expired()) return;
        m_eState = EState::Failed;
        SetText(kStatus, JobFailureText(strWhy));
        if (m_closeResult) StopThenClose(*m_closeResult);
    };
    m_eState = EState::Starting;
    const bool bStarted = m_jobs.Start<SStarted>(
        [pWatch, fnEvent] {
            SStarted started;
            started.bOk = pWatch->Start(fnEvent, started.strError);
            return started;
        },
        [this, pAlive](SStarted started) {
            if (pAlive.expired()) return;
            m_eState = started.bOk ? EState::Watching : EState::Failed;
            SetText(kStatus, started.bOk ? u"Kept current while this window is open."
                                         : Arg(u"The devices cannot be watched: %1", Utf8ToU16(started.strError)));
            if (m_closeResult) StopThenClose(*m_closeResult);
        },
        fnFailed);
    if (!bStarted) {
        m_eState = EState::Failed;
        SetText(kStatus, u"The devices cannot be watched now: another request to the hub is under way.");
    }
}

void CDevicesLogic::OnClicked(int nId) {
    if (nId == kClose) StopThenClose(kRejected);
}

bool CDevicesLogic::OnCloseRequest() {
    if (m_eState == EState::Stopped || m_eState == EState::Idle) return true;
    StopThenClose(kRejected);
    return false;
}

void CDevicesLogic::StopThenClose(int nResult) {
    switch (m_eState) {
    case EState::Idle:
    case EState::Stopped: Close(nResult); return;
    case EState::Starting: m_closeResult = nResult; return;  // the start's continuation comes back here
    case EState::Stopping: return;
    case EState::Watching:
    case EState::Failed: break;
    }
    m_closeResult.reset();
    const std::shared_ptr<IDeviceWatch> pWatch = m_pWatch;
    const std::weak_ptr<int> pAlive = m_pAlive;
    auto fnEnd = [this, pAlive, nResult] {
        if (pAlive.expired()) return;
        m_eState = EState::Stopped;
        Close(nResult);
    };
    m_eState = EState::Stopping;
    SetText(kStatus, u"Closing…");
    if (!m_jobs.StartJob([pWatch] { pWatch->Stop(); }, fnEnd, [fnEnd](const std::string&) { fnEnd(); })) {
        // No library thread to stop it on (the way out has begun): the watch
        // stops with its last owner.
        fnEnd();
    }
}

void CDevicesLogic::OnEvent(const client::SDeviceEvent& event) {
    if (m_eState == EState::Stopping || m_eState == EState::Stopped) return;
    switch (event.eKind) {
    case client::EDeviceEvent::Link:
        m_eLink = event.eLink;
        ShowLink();
        return;
    case client::EDeviceEvent::DeviceAdded:
        m_devices[event.nId] = event.device;
        if (model::IsPrinterId(event.nId)) m_printers.emplace(event.nId, std::nullopt);
        break;
    case client::EDeviceEvent::DeviceRemoved:
        m_devices.erase(event.nId);
        m_printers.erase(event.nId);
        break;
    case client::EDeviceEvent::Status:
        // The second kind of record carries no status of ours.
        if (model::RecordKind(event.record) != model::ERecordKind::Status || !m_devices.count(event.nId)) return;
        m_printers[event.nId] = event.record;
        break;
    case client::EDeviceEvent::Alarm:
        SetText(kStatus, Arg(u"Device %1 raised write alarm %2 (%3).", NumberText(event.nId),
                             NumberText(event.nAlarmCode), Latin1ToU16(model::AlarmName(event.nAlarmCode))));
        return;
    }
    ShowList();
}

void CDevicesLogic::ShowLink() { SetText(kLink, Latin1ToU16(client::LinkStateName(m_eLink))); }

void CDevicesLogic::ShowList() {
    IDialogView& view = View();
    view.ListClear(kList);
    for (const auto& [nId, device] : m_devices) {
        const auto it = m_printers.find(nId);
        view.ListAddRow(kList, DeviceRowCells(device, it != m_printers.end() ? it->second : std::nullopt));
    }
}

}  // namespace vexal::utility
