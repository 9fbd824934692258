#include "client/HubSession.h"

#include "client/CfgEntryPoints.h"
#include "client/CfgGate.h"
#include "model/CustomDevices.h"
#include "model/HubText.h"
#include "platform/TextCodec.h"

#include <mutex>
#include <shared_mutex>
#include <variant>

namespace vexal::client {

namespace {

// The calls whose bytes differ between two values of a group, written in
// the order the utility writes them.
struct SGroupWriter {
    CHubClient hub;
    int nSerialId;
    const model::CGroupValue& target;
    bool& bWrote;
    SCallResult result;
    std::string strRefusal;  // the hub took the call but refused its content

    template <class T>
    const T& Target() const {
        return std::get<T>(target);
    }
    bool Go(SCallResult r) {
        bWrote = true;
        result = r;
        return r.Ok();
    }

    void operator()(const model::SBluetooth& cur) {
        const auto& t = Target<model::SBluetooth>();
        if ((cur.nAutoConnect != 0) != (t.nAutoConnect != 0) && !Go(hub.WriteBluetoothAutoConnect(t.nAutoConnect != 0)))
            return;
        if (cur.strName != t.strName || cur.strPin != t.strPin || cur.nEncryption != t.nEncryption ||
            cur.nMode != t.nMode)
            Go(hub.WriteBluetoothInfo(t));
    }
    void operator()(const model::SLan& cur) {
        const auto& t = Target<model::SLan>();
        if (model::EncodeLan(cur) == model::EncodeLan(t)) return;
        uint8_t nStatus = 0;
        if (Go(hub.WriteLan(t, nStatus)) && nStatus != 0)
            strRefusal = "setLanInfo: the hub refused the LAN settings (status " + std::to_string(nStatus) + ")";
    }
    void operator()(const model::SWlan& cur) {
        const auto& t = Target<model::SWlan>();
        if (model::EncodeWlan(cur) == model::EncodeWlan(t)) return;
        model::CWlanAnswer answer{};
        if (Go(hub.WriteWlan(t, answer)) && !model::IsWlanWriteAcknowledged(answer))
            strRefusal = "setWlanInfo: the hub did not confirm the WLAN settings";
    }
    void operator()(const model::SNetProto& cur) {
        const auto& t = Target<model::SNetProto>();
        if (cur.Telnet() != t.Telnet() && !Go(hub.WriteTelnet(t.Telnet()))) return;
        if (cur.Snmp() != t.Snmp() && !Go(hub.WriteSnmp(t.Snmp()))) return;
        if (cur.strReadOnly != t.strReadOnly && !Go(hub.WriteReadOnlyCommunity(t.strReadOnly))) return;
        if (cur.strReadWrite != t.strReadWrite) Go(hub.WriteReadWriteCommunity(t.strReadWrite));
    }
    void operator()(const model::SUsage& cur) {
        const auto& t = Target<model::SUsage>();
        if (cur == t) return;
        int32_t nError = 0;
        const SCallResult r = hub.WriteUsage(t, nError);
        Go(r);
        if (nError != 0) {
            result = {r.nCode != 0 ? r.nCode : ZAMO_E_FAIL, r.pszCall};
            strRefusal = "setInterfaceUsageStatus: the hub refused: " + std::string(model::UsageErrorMeaning(nError)) +
                         " (" + std::to_string(nError) + ")";
        }
    }
    void operator()(const model::SSerialLine& cur) {
        const auto& t = Target<model::SSerialLine>();
        if (cur != t) Go(hub.WriteSerialLine(nSerialId, t));
    }
};

}  // namespace

bool CHubSession::Fail(const std::string& strText, const char* pszCall) {
    m_strError = strText;
    m_pszErrorCall = pszCall;
    return false;
}

bool CHubSession::Check(const SCallResult& r) {
    if (r.Ok()) return true;
    m_nErrorCode = r.nCode;
    return Fail(std::string(r.pszCall) + ": " + std::to_string(r.nCode) + ": " + ResultMeaning(r.nCode), r.pszCall);
}

bool CHubSession::Open(int32_t nInterface, const std::string& strPortText, const std::string& strLabel,
                       int nTimeoutSeconds) {
    Close();
    m_nErrorCode = 0;
    const std::u16string strPort = platform::Utf16FromUtf8(strPortText);
    {
        std::unique_lock<std::shared_mutex> gate(CfgLibraryGate(), std::defer_lock);
        if (m_bGate) gate.lock();
        m_nSession = m_api.Fn().m_pfn_selectInterface(nInterface, strPort.c_str());
    }
    if (m_nSession == 0) return Fail("selectInterface(" + strPortText + ") refused the port");
    m_bOwned = true;
    int32_t nResult = 0;
    {
        std::shared_lock<std::shared_mutex> gate(CfgLibraryGate(), std::defer_lock);
        if (m_bGate) gate.lock();
        if (!Check({m_api.Fn().m_pfn_selectCommandMode(m_nSession, 0), "selectCommandMode"})) return false;
        if (nTimeoutSeconds > 0 && !Check({m_api.Fn().m_pfn_setTimeout(m_nSession, nTimeoutSeconds), "setTimeout"}))
            return false;
        m_api.Fn().m_pfn_openService(m_nSession);
        // As the utility judges an open: by the session's last result.
        nResult = m_api.Fn().m_pfn_getResult(m_nSession);
    }
    if (nResult != 0) {
        Close();
        const std::string strCall = "open " + strLabel;
        return Check({nResult, strCall.c_str()});
    }
    return true;
}

void CHubSession::Attach(int32_t nSession) {
    Close();
    m_nSession = nSession;
}

CHubSession::SConnect CHubSession::Connect(int32_t nInterface, const std::u16string& strPortText) {
    Close();
    SConnect c;
    c.nSession = m_api.Fn().m_pfn_selectInterface(nInterface, strPortText.c_str());
    m_nSession = c.nSession;
    m_api.Fn().m_pfn_selectCommandMode(c.nSession, 0);
    c.nOpen = m_api.Fn().m_pfn_openService(c.nSession);
    c.nResult = m_api.Fn().m_pfn_getResult(c.nSession);
    if (c.nResult == 0) {
        CHubClient hub = Client();
        hub.ReadModel(c.strModel);
        hub.ReadFirmware(c.strFirmware);
    }
    return c;
}

int32_t CHubSession::CloseSession(int32_t nSession) {
    const int32_t nResult = m_api.Fn().m_pfn_closeService(nSession, 0);
    if (nSession == m_nSession) {
        m_nSession = 0;
        m_bOwned = false;
    }
    return nResult;
}

void CHubSession::Close() {
    if (m_nSession != 0 && m_bOwned) {
        std::unique_lock<std::shared_mutex> gate(CfgLibraryGate(), std::defer_lock);
        if (m_bGate) gate.lock();
        m_api.Fn().m_pfn_closeService(m_nSession, 0);
    }
    m_bOwned = false;
    m_nSession = 0;
}

bool CHubSession::ReadModel(std::string& strModel, std::string& strFirmware) {
    CHubClient hub = Client();
    return Check(hub.ReadModel(strModel)) && Check(hub.ReadFirmware(strFirmware));
}

bool CHubSession::ReadInfo(model::SHubInfo& info) { return Check(Client().ReadInfo(info)); }

bool CHubSession::SerialAdapters(std::vector<int>& vecIds) {
    std::vector<int> ids;
    if (!Check(Client().ReadDeviceIds(ids))) return false;
    vecIds = model::SerialAdapters(ids);
    return true;
}

bool CHubSession::ReadGroup(const std::string& strGroup, int nSerialId, model::CGroupValue& value) {
    auto made = model::MakeGroupValue(strGroup);
    if (!made) return Fail("unknown group " + strGroup);
    CHubClient hub = Client();
    const SCallResult r = std::visit(
        [&hub, nSerialId](auto& v) -> SCallResult {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, model::SBluetooth>)
                return hub.ReadBluetooth(v);
            else if constexpr (std::is_same_v<T, model::SLan>)
                return hub.ReadLan(v);
            else if constexpr (std::is_same_v<T, model::SWlan>)
                return hub.ReadWlan(v);
            else if constexpr (std::is_same_v<T, model::SNetProto>)
                return hub.ReadNetProto(v);
            else if constexpr (std::is_same_v<T, model::SUsage>)
                return hub.ReadUsage(v);
            else
                return hub.ReadSerialLine(nSerialId, v);
        },
        *made);
    if (!Check(r)) return false;
    value = std::move(*made);
    return true;
}

bool CHubSession::WriteGroup(int nSerialId, const model::CGroupValue& current, const model::CGroupValue& target,
                             bool& bWrote) {
    bWrote = false;
    if (current.index() != target.index()) return Fail("a value of another group");
    SGroupWriter writer{Client(), nSerialId, target, bWrote, {}, {}};
    std::visit(writer, current);
    if (!writer.strRefusal.empty()) {
        m_nErrorCode = writer.result.nCode;
        return Fail(writer.strRefusal, writer.result.pszCall);
    }
    return Check(writer.result);
}

bool CHubSession::ReadCustomList(int nType, std::vector<std::string>& vecEntries) {
    std::vector<std::string> pieces;
    if (!Check(Client().ReadCustomList(nType, pieces))) return false;
    vecEntries.clear();
    std::string strUnread;
    for (const auto& strPiece : pieces) {
        if (auto entry = model::ParseUsbIdEntry(strPiece))
            vecEntries.push_back(*entry);
        else
            strUnread += (strUnread.empty() ? "'" : ", '") + model::Printable(strPiece, 40) + "'";
    }
    // Dropped quietly, they would stay on the hub while a backup and a restore called the list the same.
    if (!strUnread.empty()) {
        m_nErrorCode = 0;
        return Fail("getCustomDeviceList: the hub lists entries that are not \"vvvv&pppp\": " + strUnread);
    }
    return true;
}

int32_t CHubSession::ChangeCustom(ECustomAction eAction, int nType, const std::string& strVid,
                                  const std::string& strPid) {
    const int32_t nResult = Client().ChangeCustom(eAction, nType, strVid, strPid);
    m_nErrorCode = nResult;
    // Statuses 1-6 are the hub's verdict; 1000 and above are the library's codes.
    if (nResult > 0 && nResult < ZAMO_E_FAIL) {
        const char* pszMeaning = model::CustomStatusMeaning(nResult);
        m_strError = std::string(CustomCallName(eAction)) +
                     ": the hub refused: " + (pszMeaning != nullptr ? pszMeaning : "unknown status");
    } else if (nResult != 0) {
        Check({nResult, CustomCallName(eAction)});
    }
    return nResult;
}

bool CHubSession::Confirm(int nSerialId, const model::CGroupValue& target, model::GroupValues& readBack) {
    const model::SGroupDef& group = model::GroupOf(target);
    model::CGroupValue read = target;
    if (!ReadGroup(group.strName, nSerialId, read)) return Fail("reading back: " + m_strError);
    readBack = model::ToKeyValues(read);
    for (const auto& change : model::DiffGroup(group, model::ToKeyValues(target), readBack))
        if (!change.bReadOnly) {
            const model::SKeyDef& key = *group.Find(change.strKey);
            return Fail("the hub kept " + change.strKey + "=" + model::MaskedValue(key, change.strTo) + " (asked " +
                        model::MaskedValue(key, change.strFrom) + ")");
        }
    return true;
}

CHubSession::ESet CHubSession::Set(const model::SGroupDef& group, int nSerialId, const model::GroupValues& wanted,
                                   SSetResult& result, bool bDryRun) {
    model::CGroupValue current = *model::MakeGroupValue(group.strName);
    if (!ReadGroup(group.strName, nSerialId, current)) return ESet::Failed;
    result.current = model::ToKeyValues(current);
    std::string strError;
    const auto targetValues = model::MergeAndValidate(group, result.current, wanted, strError);
    if (!targetValues) {
        Fail(strError);
        return ESet::Refused;
    }
    result.vecChanges = model::DiffGroup(group, result.current, *targetValues);
    result.readBack = *targetValues;
    if (bDryRun) return ESet::Done;
    model::CGroupValue target = current;
    model::ApplyKeyValues(target, *targetValues);
    bool bWrote = false;
    if (!WriteGroup(nSerialId, current, target, bWrote)) return ESet::Failed;
    if (bWrote && !Confirm(nSerialId, target, result.readBack)) return ESet::Failed;
    return ESet::Done;
}

size_t CHubSession::ReadSettingsSteps() { return model::SettingGroups().size() - 1 + model::kCustomTypeCount; }

bool CHubSession::ReadSettings(const std::set<std::string>& only, model::SHubSettings& s,
                               std::vector<std::string>& vecErrors, const CStepFn& pfnStep) {
    auto wanted = [&](const std::string& g) { return only.empty() || only.count(g) != 0; };
    auto step = [&pfnStep](size_t nStep, const std::string& strWhat) {
        if (pfnStep) pfnStep(nStep, strWhat);
    };
    size_t nStep = 0;
    for (const auto& group : model::SettingGroups()) {
        if (group.strName == "serial" || !wanted(group.strName)) continue;
        step(++nStep, "reading " + group.strName);
        model::CGroupValue value = *model::MakeGroupValue(group.strName);
        if (ReadGroup(group.strName, 0, value))
            model::SetGroupOfSettings(s, value);
        else
            vecErrors.push_back(group.strName + ": " + m_strError);
    }
    if (wanted("serial")) {
        std::vector<int> ids;
        if (!SerialAdapters(ids)) vecErrors.push_back("serial: " + m_strError);
        for (int nId : ids) {
            model::SSerialLine line;
            if (Check(Client().ReadSerialLine(nId, line)))
                s.serial[nId] = line;
            else
                vecErrors.push_back("serial " + std::to_string(nId) + ": " + m_strError);
        }
    }
    if (wanted("custom"))
        for (int nType = 0; nType < model::kCustomTypeCount; ++nType) {
            step(++nStep, std::string("reading custom ") + model::CustomTypeName(nType));
            std::vector<std::string> entries;
            if (ReadCustomList(nType, entries))
                s.custom[nType] = entries;
            else
                vecErrors.push_back(std::string("custom ") + model::CustomTypeName(nType) + ": " + m_strError);
        }
    return vecErrors.empty();
}

bool CHubSession::ApplyPlan(const model::SGroupPlan& plan, const model::SHubSettings& hub) {
    if (plan.strKind == "custom") {
        for (const auto& e : plan.vecDelete)
            if (ChangeCustom(ECustomAction::Delete, plan.nCustomType, e.substr(0, 4), e.substr(5)) != 0) return false;
        for (const auto& e : plan.vecAdd)
            if (ChangeCustom(ECustomAction::Add, plan.nCustomType, e.substr(0, 4), e.substr(5)) != 0) return false;
        return true;
    }
    std::optional<model::CGroupValue> current;
    if (plan.strKind == "serial") {
        if (auto it = hub.serial.find(plan.nSerialId); it != hub.serial.end()) current = it->second;
    } else {
        current = model::GroupOfSettings(hub, plan.strKind);
    }
    if (!current) return Fail(plan.strGroup + ": not read from the hub");
    model::CGroupValue target = *current;
    model::ApplyKeyValues(target, plan.target);
    bool bWrote = false;
    if (!WriteGroup(plan.nSerialId, *current, target, bWrote)) return false;
    model::GroupValues readBack;
    return !bWrote || Confirm(plan.nSerialId, target, readBack);
}

bool CHubSession::ReadBackup(const std::string& strSource, model::SBackup& backup, std::vector<std::string>& vecErrors,
                             const CStepFn& pfnStep) {
    backup.strSource = strSource;
    if (!ReadModel(backup.strModel, backup.strFirmware)) return false;
    model::SHubSettings hub;
    ReadSettings({}, hub, vecErrors, pfnStep);
    backup.settings = model::ToValues(hub);
    return true;
}

bool CHubSession::PlanRestore(const model::SSettingsValues& backup, const model::SRestoreOptions& options,
                              model::SHubSettings& hub, std::vector<model::SGroupPlan>& vecPlans,
                              std::vector<std::string>& vecErrors, const CStepFn& pfnStep) {
    vecPlans.clear();
    if (!ReadSettings(options.only, hub, vecErrors, pfnStep))
        return Fail("the hub could not be read whole; nothing written");
    vecPlans = model::PlanRestore(backup, model::ToValues(hub), options);
    return true;
}

bool CHubSession::ApplyRestore(const std::vector<model::SGroupPlan>& vecPlans, const model::SHubSettings& hub,
                               bool bDryRun, std::vector<SRestoreStep>& vecSteps, const CStepFn& pfnStep) {
    vecSteps.clear();
    bool bOk = true;
    std::string strRefused;
    for (size_t i = 0; i < vecPlans.size(); ++i) {
        const model::SGroupPlan& plan = vecPlans[i];
        if (pfnStep) pfnStep(i + 1, plan.strGroup);
        SRestoreStep step{plan, {}, {}};
        switch (plan.eAction) {
        case model::EPlanAction::Same: step.strOutcome = "same"; break;
        case model::EPlanAction::Skip: step.strOutcome = "skipped"; break;
        case model::EPlanAction::Refused:
            step.strOutcome = "refused";
            strRefused += (strRefused.empty() ? "" : ", ") + plan.strGroup;
            break;
        case model::EPlanAction::Write:
            if (bDryRun) {
                step.strOutcome = "would write";
            } else if (ApplyPlan(plan, hub)) {
                step.strOutcome = "written";
            } else {
                step.strOutcome = "failed";
                step.strError = m_strError;
                bOk = false;
            }
            break;
        }
        vecSteps.push_back(std::move(step));
    }
    if (!strRefused.empty())
        Fail("the backup's " + strRefused + " cannot be restored" +
             (bOk ? std::string() : "; a group could not be written") + " (the other groups " +
             (bDryRun ? "would be written)" : "went ahead)"));
    else if (!bOk)
        Fail("a group could not be written");
    return bOk && strRefused.empty();
}

}  // namespace vexal::client
