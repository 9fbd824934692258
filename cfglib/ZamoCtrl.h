// The configuration session: CZamoCtrl does the work, CZamoConfigurationCtrl
// adds the open/close wrappers the exported functions call. Each session owns
// one CState (cfglib/State.h), its binding of the port library and its poll
// thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <ratio>
#include <string>
#include <vector>

#include "include/zamocfg.h"
#include "include/zamoport.h"

namespace vexal::cfg {

class CState;

// Device IDs of the hub's link that the exchange addresses.
inline constexpr uint32_t kHubDeviceId = 0;
inline constexpr uint32_t kPnpDeviceId = 255;

// Reply waits of the hub's commands, in ms.
inline constexpr uint32_t kShortTimeoutMs = 1500;
inline constexpr uint32_t kMediumTimeoutMs = 3000;
inline constexpr uint32_t kLongTimeoutMs = 6000;

// m_nTimeout counts seconds; the open's wait for a device ID counts ms.
inline constexpr int32_t kMsPerSecond = std::milli::den;

// A growable byte buffer (the transaction buffer).
class CZamoData {
public:
    CZamoData() { Reset(); }
    // Zeroes and frees the bytes, then starts again with 4096 zeroed bytes.
    void Reset();
    void Append(const uint8_t* pData, size_t nLength);
    const uint8_t* Data() const { return m_buffer.data(); }
    size_t Length() const { return m_nLength; }

private:
    std::vector<uint8_t> m_buffer;  // capacity in use is m_buffer.size()
    size_t m_nLength = 0;
};

class CZamoCtrl {
public:
    CZamoCtrl();
    virtual ~CZamoCtrl();
    CZamoCtrl(const CZamoCtrl&) = delete;
    CZamoCtrl& operator=(const CZamoCtrl&) = delete;

    // ---- Session (ZamoCtrl.cpp) ----
    int32_t selectInterface(int32_t nInterface, const std::u16string& strPort);
    int32_t selectCommandMode(int32_t nMode);
    int32_t setTimeout(int32_t nSeconds);
    // Writes in chunks of m_nMaxWriteSize under the write lock; returns the
    // bytes written.
    int32_t writeData(const uint8_t* pData, int32_t nLength);

    // ---- Command exchange (Exchange.cpp) ----
    // Sends pData to dwTarget, framed in frames of at most 4096 payload bytes
    // unless in pass-through mode. Returns the payload bytes written; a short
    // write sets m_nResult to ZAMO_E_FAIL and stops.
    int32_t ZamoDataWrite(const uint8_t* pData, int32_t nLength, uint32_t dwTarget);

    // First step of every hub query and change: clears the last result; in
    // pass-through mode makes it ZAMO_E_BYPASS and returns true (nothing is sent).
    bool RefusedInPassThrough() {
        m_nResult = m_nCommandMode == 1 ? ZAMO_E_BYPASS : ZAMO_SUCCESS;
        return m_nCommandMode == 1;
    }
    // Clears dwTarget's queue, sends the request (nothing when nLength is 0)
    // and collects the reply. Returns 0 or ZAMO_E_TIMEOUT. On 0, `reply` holds the reply
    // bytes followed by ONE extra zero byte: the reply length is
    // reply.size() - 1 (at least 1), and text at its end reads as
    // zero-terminated. Decoders must check the length before taking a byte.
    int32_t ZamoDeviceInfoRead(const uint8_t* pRequest, int32_t nLength, uint32_t dwTarget, uint32_t dwTimeoutMs,
                               std::vector<uint8_t>& reply);
    // Sends 0x72, device, mode to the hub. 0, or ZAMO_E_FAIL when not sent whole.
    int32_t SetMultiDeviceRead(uint32_t dwDeviceId, uint32_t dwMode);
    // Polls ReadAvailable every limit/10 ms up to limit ms; bytes waiting.
    uint32_t WaitReadAvailable(uint32_t dwLimitMs, uint32_t dwDeviceId);
    // Five rounds of WaitReadAvailable(limit/5); the first non-zero count.
    uint32_t WaitAnswer(uint32_t dwLimitMs, uint32_t dwDeviceId);
    // Waits briefly for nLength bytes, then reads up to nLength. Bytes read.
    int32_t ReadAnswer(uint8_t* pBuffer, int32_t nLength, uint32_t dwDeviceId);
    int32_t ReadDeviceData(uint8_t* pBuffer, int32_t nLength, uint32_t dwDeviceId);

    // ---- Identification (Identification.cpp) ----
    int32_t GetVexalModelName(std::u16string& strOut);
    int32_t GetVexalFWVersion(std::u16string& strOut);
    int32_t CheckModelName();
    int32_t getUsbList(ZamoText* pList);
    int32_t getUsbInfoByDevId(int32_t nDeviceId, ZamoText* pVendorId, ZamoText* pProductId);
    int32_t getDevIdList(uint8_t* pIds, int32_t* pCount);
    int32_t getDeviceInfoByGSI(uint8_t n, std::u16string& strOut);
    int32_t getDeviceInfoByGSI(uint8_t n, uint8_t& byOut);
    // The GS I exchange both forms share: 0 with the reply, or the failure code.
    int32_t ExchangeGSI(uint8_t n, std::vector<uint8_t>& reply);
    virtual int32_t getDeviceName(std::u16string* pOut);
    virtual int32_t getFWVersion(std::u16string* pOut);
    virtual int32_t getCodepage(std::u16string* pOut);
    int32_t enablePNP(int32_t nForce);

    // ---- Open, close and watch (OpenClose.cpp) ----
    virtual int32_t openService();
    virtual int32_t openServiceById(int32_t nDeviceId);
    virtual int32_t closeService(int32_t n);
    virtual int32_t FindUsbHub();
    int32_t isOpen();
    int32_t setTransaction(int32_t nMode);
    // Alarm callback registered with the port library; reports to the
    // library's current session (the most recently constructed one).
    static void ZAMO_CALL processAlarmCallback(uint32_t dwKind, uint32_t dwZero, uint32_t dwCode);

    // ---- Session functions of the exported interface (ZamoCtrl.cpp) ----
    int32_t getDeviceId();
    int32_t directIO(const uint8_t* pData, int32_t nLength);
    int32_t setReadMode(int32_t nMode);
    int32_t convertHID(int32_t nCode);
    int32_t getResult() const { return m_nResult; }
    int32_t setStatusUpdateEvent(ZamoStatusCallback pfn);
    int32_t setDataEvent(ZamoDataCallback pfn);

    // ---- Settings (BluetoothSettings.cpp, NetworkSettings.cpp,
    //      SerialDeviceSettings.cpp, ServiceSettings.cpp) ----
    int32_t getBluetoothConnectionMode(int32_t* pMode);
    int32_t getBluetoothName(ZamoText* pName);
    int32_t getBluetoothPinCode(ZamoText* pPinCode);
    int32_t getBluetoothAuthentication(int32_t* pEncryption);
    int32_t setBluetoothInfo(uint8_t byMode, const char16_t* pszName, const char16_t* pszPinCode, uint8_t byEncryption);
    int32_t getBluetoothAutoConnection(uint8_t* pAutoConnection);
    int32_t setBluetoothAutoConnection(int32_t nOn);
    int32_t getLanInfo(uint8_t* pBlock);
    int32_t setLanInfo(const uint8_t* pData, int32_t nLength, uint8_t* pStatus);
    int32_t getWlanInfo(uint8_t* pBlock);
    int32_t setWlanInfo(const uint8_t* pData, int32_t nLength, uint8_t* pReply);
    int32_t getSerialConfiguration(uint8_t byDeviceId, uint8_t* pBaudRate, uint8_t* pDataBits, uint8_t* pStopBits,
                                   uint8_t* pParity);
    int32_t setSerialConfiguration(uint8_t byDeviceId, uint8_t byBaudRate, uint8_t byDataBits, uint8_t byStopBits,
                                   uint8_t byParity);
    int32_t getCustomDeviceList(uint8_t byDeviceType, ZamoText* pList);
    int32_t addCustomDevice(uint8_t byDeviceType, const char16_t* pszVendorId, const char16_t* pszProductId);
    int32_t deleteCustomDevice(uint8_t byDeviceType, const char16_t* pszVendorId, const char16_t* pszProductId);
    int32_t resetCustomDeviceList(uint8_t byDeviceType);
    int32_t getTelnetAvailable(uint8_t* pAvailable);
    int32_t setTelnetAvailable(int32_t nOn);
    int32_t getSNMPAvailable(uint8_t* pAvailable);
    int32_t setSNMPAvailable(int32_t nOn);
    int32_t getSNMPROCommunity(ZamoText* pCommunity);
    int32_t setSNMPROCommunity(const char16_t* pszCommunity);
    int32_t getSNMPRWCommunity(ZamoText* pCommunity);
    int32_t setSNMPRWCommunity(const char16_t* pszCommunity);
    int32_t getInterfaceUsageStatus(int32_t* pUsb, int32_t* pBluetooth, int32_t* pLan, int32_t* pWlan);
    int32_t setInterfaceUsageStatus(int32_t nUsb, int32_t nBluetooth, int32_t nLan, int32_t nWlan, int32_t* pError);

    // True when the port is open and the bound entry can be called.
    bool IsPortOpen() const;

    // ---- Members ----
    int32_t m_nHandle = 0;
    int32_t m_nInterface = 0;
    std::u16string m_strPort;
    int32_t m_nCommandMode = 0;
    int32_t m_nTimeout = 3;
    int32_t m_bOpened = 0;
    int32_t m_nResult = ZAMO_SUCCESS;
    uint32_t m_dwPortId = 0;
    uint32_t m_dwDeviceType = 10;
    uint32_t m_dwMaxDeviceId = 10;
    uint32_t m_dwDeviceId = 10;
    int32_t m_bConvertHID = 0;
    int32_t m_nHIDCode = 0;
    int32_t m_nTransaction = 0;
    std::unique_ptr<CZamoData> m_pTransactionData;
    std::atomic<ZamoStatusCallback> m_pfnStatusUpdateEvent{nullptr};
    std::atomic<ZamoDataCallback> m_pfnDataEvent{nullptr};
    std::u16string m_strModelName;
    std::u16string m_strVexalFWVersion;
    std::u16string m_strFWVersion;
    std::u16string m_strCodepage;
    std::u16string m_strDeviceName;
    int32_t m_bSolvaneMode = 0;
    DeviceOption m_DeviceOption{};
    std::u16string m_strPortName;      // storage behind m_DeviceOption.portName
    std::shared_ptr<CState> m_pState;  // shared with the poll thread
    int32_t m_bPowerOffline = 0;
    int32_t m_nMaxWriteSize = 4096;
    std::vector<std::u16string> m_arrProductIds;

protected:
    // Creates, configures and opens the port and finds the device ID.
    int32_t Open(uint32_t dwDeviceId);
    void SetPortName(const std::u16string& strName);
};

class CZamoConfigurationCtrl final : public CZamoCtrl {
public:
    CZamoConfigurationCtrl();
    ~CZamoConfigurationCtrl() override = default;

    int32_t openService() override;
    int32_t openServiceById(int32_t nDeviceId) override;
    int32_t closeService(int32_t n) override;
};

}  // namespace vexal::cfg
