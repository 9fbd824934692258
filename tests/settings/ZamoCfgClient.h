// The configuration library as a client sees it: loaded by name with dlopen,
// its exports looked up one by one, plus a session against a simulated hub
// and helpers to watch the bytes the hub receives.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HubSimFixture.h"
#include "include/zamocfg.h"

namespace settings_test {

using Bytes = std::vector<uint8_t>;

// clang-format off
#define SETTINGS_TEST_EXPORTS(X)                                                                                  \
    X(selectInterface) X(selectCommandMode) X(openService) X(closeService) X(getResult) X(getBluetoothConnectionMode) \
    X(getBluetoothName) X(getBluetoothPinCode) X(getBluetoothAuthentication) X(setBluetoothInfo)                  \
    X(getBluetoothAutoConnection) X(setBluetoothAutoConnection) X(getLanInfo) X(setLanInfo) X(getWlanInfo)         \
    X(setWlanInfo) X(getSerialConfiguration) X(setSerialConfiguration) X(getCustomDeviceList) X(addCustomDevice)  \
    X(deleteCustomDevice) X(resetCustomDeviceList) X(getTelnetAvailable) X(setTelnetAvailable) X(getSNMPAvailable) \
    X(setSNMPAvailable) X(getSNMPROCommunity) X(setSNMPROCommunity) X(getSNMPRWCommunity) X(setSNMPRWCommunity)   \
    X(getInterfaceUsageStatus) X(setInterfaceUsageStatus)
// clang-format on

// Entry points of libZamoCfg.so, loaded once per process and never unloaded
// (the library's poll threads may outlive a test).
struct SZamoCfgApi {
#define SETTINGS_TEST_MEMBER(name) decltype(&::name) name = nullptr;
    SETTINGS_TEST_EXPORTS(SETTINGS_TEST_MEMBER)
#undef SETTINGS_TEST_MEMBER

    // Throws std::runtime_error when the library or a name is missing.
    static const SZamoCfgApi& Get();
    // The folder the library's diagnostic log goes to in this process.
    static const std::string& LogDir();
};

// A caller-owned text output with storage.
class CTextOut {
public:
    explicit CTextOut(uint32_t nCapacity = 256);
    ZamoText* Get() { return &m_text; }
    std::u16string Str() const { return std::u16string(m_text.data, m_text.length); }

private:
    std::vector<char16_t> m_storage;
    ZamoText m_text{};
};

// A simulated hub and an open Ethernet session to it.
class CHubSession {
public:
    // nCommandMode 1 opens in pass-through mode.
    explicit CHubSession(int32_t nCommandMode = 0);
    ~CHubSession();
    CHubSession(const CHubSession&) = delete;
    CHubSession& operator=(const CHubSession&) = delete;

    const SZamoCfgApi& Api() const { return m_api; }
    int32_t Handle() const { return m_nHandle; }
    CHubSimFixture& Hub() { return *m_pHub; }
    // A control command that must succeed; returns the text after "OK".
    std::string Control(const std::string& strLine);

    // Forgets what the hub received so far.
    void ClearReceived();
    // Payloads the hub received for device 0 since the last clear, waiting up
    // to nWaitMs for at least nAtLeast of them.
    std::vector<Bytes> Received(size_t nAtLeast = 1, int nWaitMs = 3000);

    // Runs fn while the hub holds back its own answer to the command, and
    // answers the request with exactly `reply` once it has arrived. Returns
    // fn's result; pRequest receives the request as the hub saw it.
    int32_t WithReply(uint8_t nCommand, const Bytes& reply, const std::function<int32_t()>& fn,
                      Bytes* pRequest = nullptr);

private:
    const SZamoCfgApi& m_api;
    std::unique_ptr<CHubSimFixture> m_pHub;
    int32_t m_nHandle = 0;
};

std::string Hex(const Bytes& bytes);
Bytes FromHex(const std::string& strHex);

// Milliseconds fn takes; its result goes to nResult.
int64_t ElapsedMs(const std::function<int32_t()>& fn, int32_t& nResult);

// Lines in the library's log that contain strNeedle (log files are UTF-16LE).
size_t CountLogLines(const std::string& strNeedle);

}  // namespace settings_test
