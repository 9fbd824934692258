#include "Hub.h"

#include "HubCommands.h"
#include "Log.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace hubsim {

namespace {
constexpr size_t kMaxRecordedPerDevice = 4096;  // a chatty host must not eat the memory

std::string Hex2(unsigned n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", n & 0xFF);
    return buf;
}
}  // namespace

CHub::CHub(CHubState state, std::string strStateFile)
    : m_state(std::move(state)), m_strStateFile(std::move(strStateFile)) {}

void CHub::Register(ITransport* pTransport) {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    m_setTransports.insert(pTransport);
}

void CHub::Unregister(ITransport* pTransport) {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    m_setTransports.erase(pTransport);
}

void CHub::Broadcast(const Bytes& bytes, EPostKind eKind) {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    for (ITransport* pTransport : m_setTransports) pTransport->Post(bytes, eKind);
}

void CHub::SyncTransports() {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    for (ITransport* pTransport : m_setTransports) pTransport->Sync();
}

void CHub::KickAll() {
    std::lock_guard<std::mutex> lock(m_transportMutex);
    for (ITransport* pTransport : m_setTransports) pTransport->Kick();
}

Bytes CHub::PresenceFrame() {
    const Bytes list = WithState([](CHubState& state) { return state.PresenceList(); });
    // An empty report cannot travel (length 0 is invalid), so "nothing attached" is
    // reported as device 0, which is never a device behind the hub.
    return EncodeFrame(kDevicePresence, list.empty() ? Bytes{0x00} : list);
}

bool CHub::SaveState(std::string& strError) {
    if (m_strStateFile.empty()) {
        strError = "no state file (start with --state FILE)";
        return false;
    }
    const std::string strText = WithState(
        [](CHubState& state) { return state.ToJson().dump(2, ' ', false, nlohmann::json::error_handler_t::replace); });
    std::lock_guard<std::mutex> lock(m_saveMutex);
    // Write aside and rename, so a reader never sees half a file.
    const std::string strTemp = m_strStateFile + ".tmp";
    {
        std::ofstream out(strTemp, std::ios::trunc);
        out << strText << '\n';
        out.flush();
        if (!out) {
            strError = "cannot write " + strTemp;
            return false;
        }
    }
    if (std::rename(strTemp.c_str(), m_strStateFile.c_str()) != 0) {
        strError = "cannot rename " + strTemp + " to " + m_strStateFile;
        std::remove(strTemp.c_str());
        return false;
    }
    return true;
}

void CHub::SaveAfterChange() {
    if (m_strStateFile.empty()) return;
    std::string strError;
    try {
        if (!SaveState(strError)) LogLine("state not saved: " + strError);
    } catch (const std::exception& e) {
        // A failed save must not take the link that caused it down with it.
        LogLine(std::string("state not saved: ") + e.what());
    }
}

Bytes CHub::ApplyReplyFaults(uint8_t nCommand, Bytes reply, size_t nHeaderLength) {
    const SFaults faults = m_faults.Snapshot();
    if (faults.setWrongHeader.count(nCommand)) {
        // Every byte the host checks differs, so no lenient header check can let it through.
        for (size_t i = 0; i < nHeaderLength && i < reply.size(); ++i) reply[i] ^= 0xFF;
    }
    const auto it = faults.mapShortReply.find(nCommand);
    if (it != faults.mapShortReply.end()) {
        size_t nKeep = it->second < 0 ? reply.size() / 2 : static_cast<size_t>(it->second);
        if (nKeep == 0) nKeep = 1;  // a frame cannot be empty
        if (nKeep < reply.size()) reply.resize(nKeep);
    }
    return reply;
}

std::vector<Bytes> CHub::ProcessFrame(const SFrame& frame, SLinkContext& link) {
    ++m_nFramesReceived;
    {
        std::lock_guard<std::mutex> lock(m_receivedMutex);
        auto& list = m_mapReceived[frame.nDevice];
        if (list.size() < kMaxRecordedPerDevice) list.push_back(frame.vecPayload);
    }
    if (IsVerbose())
        LogLine(link.strName + ": frame for device " + std::to_string(frame.nDevice) + ": " + ToHex(frame.vecPayload));

    std::vector<Bytes> out;
    if (m_faults.Snapshot().bSilent) return out;

    if (frame.nDevice == kDevicePresence) {
        if (frame.vecPayload == Bytes{0x01}) {
            link.bPnpEnabled = true;
            out.push_back(PresenceFrame());
        } else {
            LogLine(link.strName + ": unknown payload " + ToHex(frame.vecPayload) +
                    " on the presence channel, ignored");
        }
        return out;
    }

    if (frame.nDevice == kDeviceHub) {
        SHubReply result;
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            result = HandleHubCommand(m_state, frame.vecPayload);
        }
        const uint8_t nCommand = frame.vecPayload.empty() ? 0 : frame.vecPayload[0];
        if (!result.bKnown) {
            LogLine(link.strName + ": unknown command " + Hex2(nCommand) + " (" +
                    std::to_string(frame.vecPayload.size()) + " bytes) to the hub, no reply");
            return out;
        }
        if (IsVerbose() || !result.optReply) LogLine(link.strName + ": " + result.strNote);
        if (result.bChanged) SaveAfterChange();
        if (!result.optReply) return out;
        if (m_faults.Snapshot().setNoReply.count(nCommand)) {
            LogLine(link.strName + ": reply to " + Hex2(nCommand) + " withheld (fault)");
            return out;
        }
        Bytes frame =
            EncodeFrame(kDeviceHub, ApplyReplyFaults(nCommand, std::move(*result.optReply), result.nHeaderLength));
        const SFaults faults = m_faults.Snapshot();
        const auto itCut = faults.mapCutReply.find(nCommand);
        if (itCut != faults.mapCutReply.end()) {
            // Some of the frame, never all of it: the host is left inside a frame.
            const size_t nKeep = itCut->second < 0 ? frame.size() / 2 : static_cast<size_t>(itCut->second);
            frame.resize(std::clamp<size_t>(nKeep, 1, frame.size() - 1));
            link.bReplyCut = true;
            LogLine(link.strName + ": reply to " + Hex2(nCommand) + " cut after " + std::to_string(frame.size()) +
                    " bytes (fault)");
        }
        out.push_back(std::move(frame));
        return out;
    }

    std::vector<Bytes> answers;
    std::optional<Bytes> alarm;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        answers = HandleDeviceData(m_state, frame.nDevice, frame.vecPayload, &alarm);
    }
    for (const Bytes& answer : answers) out.push_back(EncodeFrame(frame.nDevice, answer));
    if (alarm) out.push_back(EncodeFrame(kDeviceHub, *alarm));
    return out;
}

std::vector<Bytes> CHub::Received(uint8_t nDevice) {
    std::lock_guard<std::mutex> lock(m_receivedMutex);
    const auto it = m_mapReceived.find(nDevice);
    return it == m_mapReceived.end() ? std::vector<Bytes>{} : it->second;
}

std::map<uint8_t, size_t> CHub::ReceivedCounts() {
    std::lock_guard<std::mutex> lock(m_receivedMutex);
    std::map<uint8_t, size_t> counts;
    for (const auto& [nDevice, list] : m_mapReceived) counts[nDevice] = list.size();
    return counts;
}

void CHub::ClearReceived() {
    std::lock_guard<std::mutex> lock(m_receivedMutex);
    m_mapReceived.clear();
    m_nKeepAlive = 0;
}

}  // namespace hubsim
