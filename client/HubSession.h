// One session with one hub, by group name and in the text form: open and
// close, read every group, set keys of a group and confirm them, and carry
// out a restore plan. The command-line tool, the utility's backup and
// restore, and the Python package drive hubs through it. Every failure
// leaves a message naming the call, the code and its meaning.
#pragma once
#include "client/CfgLibrary.h"
#include "client/HubClient.h"
#include "model/Backup.h"
#include "model/RestorePlan.h"
#include "model/Settings.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vexal::client {

class CHubSession {
public:
    explicit CHubSession(const CCfgLibrary& api) : m_api(api) {}
    ~CHubSession() { Close(); }
    CHubSession(const CHubSession&) = delete;
    CHubSession& operator=(const CHubSession&) = delete;

    // Opens a session as the utility does (interface code and port text of
    // selectInterface; strLabel names the hub in messages); nTimeoutSeconds 0
    // keeps the library's device-ID wait.
    bool Open(int32_t nInterface, const std::string& strPortText, const std::string& strLabel, int nTimeoutSeconds);
    // Works on a session someone else opened and will close.
    void Attach(int32_t nSession);

    // Connects as the utility's main window does: selectInterface,
    // selectCommandMode (its answer not judged), openService, and the
    // session's last result; the model and firmware once that is 0. The
    // session works on the new session either way and does not own it: it
    // stays registered, also when the open failed, until CloseSession.
    struct SConnect {
        int32_t nSession = 0;
        int32_t nOpen = 0;    // openService's answer, kept, not judged
        int32_t nResult = 0;  // getResult: 0 opened
        std::string strModel, strFirmware;
    };
    SConnect Connect(int32_t nInterface, const std::u16string& strPortText);
    // closeService on a session Connect registered (the one worked on is
    // then none); its answer, which the utility does not judge.
    int32_t CloseSession(int32_t nSession);
    // Open and Close take CfgLibraryGate(): exclusively around the calls that
    // change the library's session registry, shared around the others (for
    // sessions of one process driven from several threads).
    void UseGate(bool bUse) { m_bGate = bUse; }
    int32_t Handle() const { return m_nSession; }
    // Closes a session Open opened.
    void Close();
    CHubClient Client() const { return CHubClient(m_api, m_nSession); }

    bool ReadModel(std::string& strModel, std::string& strFirmware);
    bool ReadInfo(model::SHubInfo& info);
    // Device IDs 100-129 present on the hub's link.
    bool SerialAdapters(std::vector<int>& vecIds);

    // A group by name ("bluetooth" ... "serial"; nSerialId names the adapter).
    bool ReadGroup(const std::string& strGroup, int nSerialId, model::CGroupValue& value);
    // Writes the calls whose bytes differ between what the hub holds
    // (current, as read) and target; nothing when none do. bWrote tells.
    bool WriteGroup(int nSerialId, const model::CGroupValue& current, const model::CGroupValue& target, bool& bWrote);

    // False, with the readable entries in vecEntries, when the hub lists one that is not "vvvv&pppp".
    bool ReadCustomList(int nType, std::vector<std::string>& vecEntries);
    // The hub's status byte (0 success) or a library code; Error() explains a non-zero one.
    int32_t ChangeCustom(ECustomAction eAction, int nType, const std::string& strVid = {},
                         const std::string& strPid = {});

    // Changes keys of one group: reads it, merges the wanted keys (dependent
    // keys follow), checks the group's rules, writes what differs and reads
    // back to confirm. bDryRun stops after the check: the changes are those
    // a write would make, and nothing is sent but the read.
    enum class ESet { Done, Refused, Failed };
    struct SSetResult {
        model::GroupValues current;  // as read before
        std::vector<model::SKeyChange> vecChanges;
        model::GroupValues readBack;  // the target when nothing was written
    };
    ESet Set(const model::SGroupDef& group, int nSerialId, const model::GroupValues& wanted, SSetResult& result,
             bool bDryRun = false);

    // Reads the groups named (all when empty), going on past a failure;
    // each failure is one message in vecErrors. pfnStep is told each step.
    using CStepFn = std::function<void(size_t nStep, const std::string& strWhat)>;
    bool ReadSettings(const std::set<std::string>& only, model::SHubSettings& settings,
                      std::vector<std::string>& vecErrors, const CStepFn& pfnStep = {});
    // The steps ReadSettings reports for every group: one per group but
    // serial, one per custom type.
    static size_t ReadSettingsSteps();

    // Writes one group of a plan made against hub (the settings read before
    // planning) and reads it back; false with Error() when it failed.
    bool ApplyPlan(const model::SGroupPlan& plan, const model::SHubSettings& hub);

    // Model, firmware and every group the hub gives; a group that failed is
    // left out and named in vecErrors. False when not even the model came.
    bool ReadBackup(const std::string& strSource, model::SBackup& backup, std::vector<std::string>& vecErrors,
                    const CStepFn& pfnStep = {});

    // Reads the hub (the groups of options.only) into hub and plans the
    // backup onto it; false, with each failure in vecErrors, when the hub
    // could not be read whole.
    bool PlanRestore(const model::SSettingsValues& backup, const model::SRestoreOptions& options,
                     model::SHubSettings& hub, std::vector<model::SGroupPlan>& vecPlans,
                     std::vector<std::string>& vecErrors, const CStepFn& pfnStep = {});
    // What became of one group of a restore: "same", "written", "would
    // write", "skipped", "refused" or "failed" (strError).
    struct SRestoreStep {
        model::SGroupPlan plan;
        std::string strOutcome;
        std::string strError;
    };
    // Carries out a plan made against hub: unless bDryRun, writes each group
    // that differs and reads it back. False when a group was refused (never
    // written) or a write failed; the other groups go ahead either way.
    bool ApplyRestore(const std::vector<model::SGroupPlan>& vecPlans, const model::SHubSettings& hub, bool bDryRun,
                      std::vector<SRestoreStep>& vecSteps, const CStepFn& pfnStep = {});

    const std::string& Error() const { return m_strError; }
    // The library's code (or the hub's custom status) behind Error(); 0 when
    // the failure was none of the library's (the hub kept another value).
    int32_t ErrorCode() const { return m_nErrorCode; }
    // The library call behind Error() ("setTelnetAvailable"), so a front end
    // can word it its own way; nullptr when the failure was no call's.
    const char* ErrorCall() const { return m_pszErrorCall; }
    // Forgets the last failure, so Error() and ErrorCode() speak of the next call only.
    void ClearError() {
        m_strError.clear();
        m_nErrorCode = 0;
        m_pszErrorCall = nullptr;
    }

private:
    bool Check(const SCallResult& result);
    // Sets Error() (and the call behind it, when a call's); always false.
    bool Fail(const std::string& strText, const char* pszCall = nullptr);
    // After a write: the hub must hold what was asked, key by key.
    bool Confirm(int nSerialId, const model::CGroupValue& target, model::GroupValues& readBack);

    const CCfgLibrary& m_api;
    int32_t m_nSession = 0;
    bool m_bOwned = false;
    bool m_bGate = false;
    std::string m_strError;
    int32_t m_nErrorCode = 0;
    const char* m_pszErrorCall = nullptr;
};

}  // namespace vexal::client
