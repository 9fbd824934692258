#include "cups/BackendJob.h"

#include "client/DevicePort.h"
#include "cups/PrinterReasons.h"
#include "model/DeviceStatus.h"
#include "platform/Clock.h"
#include "platform/Usb.h"

#include <algorithm>
#include <cctype>

namespace vexal::cups {
namespace {

using client::EDeviceEvent;
using client::ELinkState;

// Whole frames of 4096 bytes: a wait or a stop between pieces leaves no frame cut.
constexpr size_t kPieceBytes = 4 * 4096;

std::string Lower(std::string str) {
    for (char& c : str) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return str;
}

}  // namespace

CBackendJob::CBackendJob(const client::CCfgLibrary& cfg, const client::CPortApiTable& port,
                         std::function<void(const std::string&)> fnLine, const std::atomic<bool>& bCancel,
                         SJobTimes times)
    : m_cfg(cfg), m_portApi(port), m_fnLine(std::move(fnLine)), m_bCancel(bCancel), m_times(times) {}

void CBackendJob::Apply(const client::SDeviceEvent& event) {
    switch (event.eKind) {
    case EDeviceEvent::Status:
        if (event.nId == m_nDevice && model::RecordKind(event.record) == model::ERecordKind::Status)
            m_vecReasons = model::RecordReasons(event.record);
        break;
    case EDeviceEvent::Alarm:
        if (event.nId == m_nDevice && m_nAlarm == 0) m_nAlarm = event.nAlarmCode;
        break;
    case EDeviceEvent::Link: m_bLinkOffline = event.eLink == ELinkState::Offline; break;
    case EDeviceEvent::DeviceAdded:
    case EDeviceEvent::DeviceRemoved: break;
    }
}

void CBackendJob::Pump(uint32_t nWaitMs) {
    bool bFirst = true;
    while (auto event = m_pEvents->Wait(bFirst ? nWaitMs : 0)) {
        Apply(*event);
        bFirst = false;
    }
    Publish();
}

void CBackendJob::Publish() {
    std::set<std::string> reasons = CupsReasons(m_vecReasons);
    if (m_bLinkOffline) reasons.insert("offline-report");
    for (const auto& strLine : StateLines(m_setPublished, reasons)) Line(strLine);
    m_setPublished = reasons;
    const std::string strText =
        m_bLinkOffline ? m_strHub + ": the link is off-line" : StatusText(m_nDevice, m_vecReasons);
    if (strText != m_strPublishedText) {
        Line("INFO: " + strText);
        m_strPublishedText = strText;
    }
}

bool CBackendJob::Holds() const { return m_bLinkOffline || HoldsPrinting(m_vecReasons); }

bool CBackendJob::WaitReady(int& nExit) {
    uint64_t nOfflineSince = 0;
    bool bTold = false;
    for (Pump(0); Holds(); Pump(m_times.nSliceMs)) {
        if (Cancelled()) {
            nExit = kBackendOk;
            return false;
        }
        if (m_nAlarm != 0) return true;  // the caller ends the job with it
        if (!bTold) {
            Line("INFO: " +
                 (m_bLinkOffline ? m_strHub + ": the link is off-line" : StatusText(m_nDevice, m_vecReasons)) +
                 "; the job waits");
            bTold = true;
        }
        // A printer waits for its user as long as it takes; a link that stays
        // down ends the job.
        if (!m_bLinkOffline) {
            nOfflineSince = 0;
            continue;
        }
        const uint64_t nNow = platform::TickMs();
        if (nOfflineSince == 0) nOfflineSince = nNow;
        if (nNow - nOfflineSince >= m_times.nLinkWaitMs) {
            nExit = EndAfterLoss("the link stayed off-line for " + std::to_string(m_times.nLinkWaitMs / 1000) + " s");
            return false;
        }
    }
    if (bTold) Line("INFO: " + StatusText(m_nDevice, m_vecReasons) + "; printing");
    return true;
}

int CBackendJob::EndAfterLoss(const std::string& strWhy) {
    if (m_nSent == 0) {
        Line("ERROR: " + m_strHub + ": " + strWhy + "; nothing was sent, the job will be retried");
        return kBackendRetry;
    }
    // Part of the job went: sending it again would print that part twice.
    Line("ERROR: " + m_strHub + ": " + strWhy + " after " + std::to_string(m_nSent) + " bytes of the job");
    return kBackendFailed;
}

int CBackendJob::SendAll(SJobInput& input, int nCopies) {
    std::vector<uint8_t> piece(kPieceBytes);
    for (int nCopy = 0; nCopy < nCopies; ++nCopy) {
        std::string strError;
        if (nCopy > 0 && !input.fnRewind(strError)) {
            Line("ERROR: copy " + std::to_string(nCopy + 1) + ": " + strError);
            return kBackendFailed;
        }
        for (;;) {
            const auto nRead = input.fnRead(piece.data(), piece.size(), strError);
            if (!nRead) {
                Line("ERROR: reading the print file: " + strError);
                return kBackendFailed;
            }
            if (*nRead == 0) break;
            int nExit = kBackendOk;
            if (!WaitReady(nExit)) return nExit;
            if (m_nAlarm != 0) break;
            client::SSendControl control;
            control.pCancel = &m_bCancel;
            client::SSendResult result;
            if (!m_pHub->Send(m_nDevice, piece.data(), *nRead, control, 0, result))
                return EndAfterLoss(m_pHub->Error());
            m_nSent += result.nPayloadWritten;
            if (result.eEnd == client::ESendEnd::Cancelled) {
                Line("INFO: cancelled after " + std::to_string(m_nSent) + " bytes");
                return kBackendOk;
            }
            if (result.eEnd == client::ESendEnd::Alarm) {
                m_nAlarm = result.nAlarmCode;
                break;
            }
            if (result.eEnd != client::ESendEnd::Done) return EndAfterLoss(client::SendEndReason(result));
        }
        if (m_nAlarm != 0) break;
    }
    // The hub tells a write it could not make a moment after the bytes went.
    if (m_nAlarm == 0) {
        const uint64_t nEnd = platform::TickMs() + m_times.nAlarmWaitMs;
        for (uint64_t nNow = platform::TickMs(); m_nAlarm == 0 && nNow < nEnd; nNow = platform::TickMs())
            Pump(static_cast<uint32_t>(nEnd - nNow));
    }
    if (m_nAlarm != 0) {
        Line("ERROR: " + m_strHub + ": the hub raised write alarm " + std::to_string(m_nAlarm) + " (" +
             model::AlarmName(m_nAlarm) + ") for device " + std::to_string(m_nDevice) + " after " +
             std::to_string(m_nSent) + " bytes");
        return kBackendFailed;
    }
    return kBackendOk;
}

int CBackendJob::Run(const SDeviceUri& uri, const SJobArgs& args, SJobInput& input) {
    m_strHub = uri.address.strLabel;
    m_nDevice = uri.nDevice;
    Line("STATE: +connecting-to-device");
    Line("INFO: Connecting to " + m_strHub);
    m_pHub = std::make_unique<client::CHubDevices>(m_cfg, m_portApi);
    client::SHubDevicesOptions options;
    options.bStatusBack = model::IsPrinterId(m_nDevice);
    options.bIdentify = false;
    const bool bOpen = m_pHub->Open(uri.address, 0, options);
    Line("STATE: -connecting-to-device");
    if (Cancelled()) return kBackendOk;
    if (!bOpen) {
        Line("ERROR: the hub cannot be reached: " + m_pHub->Error() + "; the job will be retried");
        return kBackendRetry;
    }
    m_pEvents = m_pHub->Subscribe(true);
    if (!uri.strUsbLocation.empty()) {
        const auto parts = platform::ParseUsbInterfacePath(m_pHub->Snapshot().strPortName);
        const std::string strAt = parts ? parts->strLocation : "an unknown place";
        if (Lower(strAt) != Lower(uri.strUsbLocation)) {
            Line("ERROR: the hub the library reaches on USB is at " + strAt + ", not at " + uri.strUsbLocation +
                 " (it takes the first hub on the bus); the job will be retried");
            return kBackendRetry;
        }
    }
    // A device behind the hub shows in its presence report a moment after the open.
    const uint64_t nPresentBy = platform::TickMs() + m_times.nPresentMs;
    auto present = [this] {
        for (const auto& d : m_pHub->Snapshot().vecDevices)
            if (d.nId == m_nDevice) return true;
        return false;
    };
    while (!present() && platform::TickMs() < nPresentBy && !Cancelled()) Pump(m_times.nSliceMs);
    if (Cancelled()) return kBackendOk;
    if (!present()) {
        Line("ERROR: " + m_strHub + ": device " + std::to_string(m_nDevice) +
             " is not present behind the hub; the job will be retried");
        return kBackendRetry;
    }
    m_pHub->WaitSettled(m_times.nSettleMs);
    const int nCopies = input.fnRewind ? args.nCopies : 1;
    if (nCopies < args.nCopies) Line("INFO: one copy: the job comes on standard input");
    const int nExit = SendAll(input, nCopies);
    if (nExit == kBackendOk && !Cancelled())
        Line("INFO: " + m_strHub + ": sent " + std::to_string(m_nSent) + " bytes to device " +
             std::to_string(m_nDevice));
    m_pHub->Close();
    return nExit;
}

}  // namespace vexal::cups
