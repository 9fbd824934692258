// One session with one hub through the configuration library's entry points:
// open and close, and each settings group read and written as key values.
// Every failure leaves a message naming the call, the code and its meaning.
#pragma once
#include "client/CfgApiTable.h"
#include "tools/HubBlocks.h"
#include "tools/Settings.h"
#include "tools/Targets.h"

#include <string>
#include <vector>

namespace vexal::tools {

struct SUsbDevice {
    int nDeviceId = 0;
    std::string strVid, strPid;
};

struct SHubInfo {
    std::string strModel, strFirmware;
    std::vector<int> vecDeviceIds;
    std::vector<std::string> vecUsbList;       // "vvvv&pppp" of the USB devices behind the hub
    std::vector<SUsbDevice> vecDevices;        // the identifiers of each present device
};

class CHubSession {
public:
    explicit CHubSession(client::CfgApiTable& api) : m_api(api) {}
    ~CHubSession() { Close(); }
    CHubSession(const CHubSession&) = delete;
    CHubSession& operator=(const CHubSession&) = delete;

    // Opens a session; nTimeoutSeconds 0 keeps the library's device-ID wait.
    bool Open(const SConnection& connection, int nTimeoutSeconds);
    void Close();

    bool ReadModel(std::string& strModel, std::string& strFirmware);
    bool ReadInfo(SHubInfo& info);
    // Device IDs 100-129 present on the hub's link.
    bool SerialAdapters(std::vector<int>& vecIds);

    // nSerialId names the adapter for the "serial" group.
    bool ReadGroup(const SGroupDef& group, int nSerialId, GroupValues& values);
    // Writes what differs between current (as read last) and target; nothing
    // when they are equal. bWrote tells whether anything went out.
    bool WriteGroup(const SGroupDef& group, int nSerialId, const GroupValues& current, const GroupValues& target,
                    bool& bWrote);

    bool ReadCustomList(int nType, std::vector<std::string>& vecEntries);
    // The hub's status byte (0 success) or a library code; Error() explains a non-zero one.
    int32_t ChangeCustom(char cAction, int nType, const std::string& strVid, const std::string& strPid);

    const std::string& Error() const { return m_strError; }
    int32_t ErrorCode() const { return m_nErrorCode; }

private:
    bool Check(int32_t nCode, const char* pszCall);
    bool Fail(const std::string& strText);

    client::CfgApiTable& m_api;
    int32_t m_nHandle = 0;
    bool m_bOpen = false;
    std::string m_strError;
    int32_t m_nErrorCode = 0;
    LanBlock m_lanRead{};
    WlanBlock m_wlanRead{};
};

}  // namespace vexal::tools
