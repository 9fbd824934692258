// The USB-to-serial settings page (dialog 141): line settings of one of the
// adapters the hub carries under device IDs 100..129.
#include <array>
#include <string>
#include <vector>

#include "client/HubClient.h"
#include "model/SerialLine.h"
#include "utility/logic/TextBytes.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/Text.h"
#include "utility/pages/PageLists.h"

namespace vexal::utility {

namespace {

enum : int {
    kIdDevice = 1047,
    kIdBaudRate = 1043,
    kIdDataLength = 1044,
    kIdStopBit = 1045,
    kIdParity = 1046,
    kIdGet = page_ids::kGet,
    kIdSet = page_ids::kSet,
    kIdRefresh = 1038,
    kIdClose = page_ids::kClose,
};

constexpr int kSettingIds[] = {kIdBaudRate, kIdDataLength, kIdStopBit, kIdParity};

using CLineValues = std::array<uint8_t, 4>;  // baud rate, data length, stop bits, parity

struct SDeviceList {
    int32_t nResult = 0;
    std::vector<std::string> texts;
};

// The read before the page shows: the adapters, and the first one's values.
struct SFirstRead {
    SDeviceList list;
    int32_t nRead = -1;
    CLineValues values{};
};

struct SLineRead {
    int32_t nResult = 0;
    CLineValues values{};
};

SDialogDesc BuildDesc() {
    SDialogDesc desc;
    desc.nId = 141;
    desc.strTitle = u"USB to Serial Configuration";
    auto& c = desc.controls;
    struct SList {
        int nId;
        const char16_t* pszLabel;
        const char16_t* pszName;
    };
    const SList kLists[] = {{kIdDevice, u"&Device :", u"Device"},
                            {kIdBaudRate, u"&Baudrate :", u"Baudrate"},
                            {kIdDataLength, u"Data &Length :", u"Data Length"},
                            {kIdStopBit, u"S&top Bit :", u"Stop Bit"},
                            {kIdParity, u"&Parity :", u"Parity"}};
    int nRow = 0;
    for (const SList& list : kLists) {
        c.push_back(LabelFor(list.nId, list.pszLabel, nRow, 0));
        c.push_back(Ctl(EControl::Combo, list.nId, list.pszName, nRow++, 1));
        c.back().bDisabled = true;
    }
    // Get Serial is never shown: picking a device reads it.
    c.push_back(RowButton(kIdGet, u"Get Serial"));
    c.back().bHidden = true;
    c.back().bDisabled = true;
    c.push_back(RowButton(kIdSet, u"Set Serial"));
    c.back().bDisabled = true;
    c.push_back(RowButton(kIdRefresh, u"Refresh"));
    c.push_back(RowButton(kIdClose, u"Close"));
    c.back().bStretchBefore = true;
    return desc;
}

class CUsbToSerialPage final : public CPageLogic {
public:
    using CPageLogic::CPageLogic;

    const SDialogDesc& Desc() const override {
        static const SDialogDesc kDesc = BuildDesc();
        return kDesc;
    }

    void OnInit() override {
        FillLists();
        if (m_bRead) ShowFirstRead();
    }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        client::CHubClient hub = Hub();
        StartJob<SFirstRead>(
            Jobs(),
            [hub]() mutable {
                SFirstRead r;
                r.list = ListDevices(hub);
                if (r.list.nResult == 0 && !r.list.texts.empty())
                    r.nRead = ReadLine(hub, DeviceId(r.list.texts.front()), r.values);
                return r;
            },
            [this, fnDone](SFirstRead r) {
                if (r.list.nResult != 0 || r.list.texts.empty()) {
                    Message(u"No connected USB to Serial device.", EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                if (r.nRead != 0) {
                    Message(u"Failed to getSerialConfiguration.", EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_devices = std::move(r.list.texts);
                m_values = r.values;
                m_bRead = true;
                if (HasView()) ShowFirstRead();
                fnDone(true);
            },
            NotDone(fnDone));
    }

    void OnClicked(int nId) override {
        if (nId == kIdGet)
            OnGetSerial();
        else if (nId == kIdSet)
            OnSetSerial();
        else if (nId == kIdRefresh)
            OnRefresh();
        else if (nId == kIdClose)
            Close(kRejected);
    }

    void OnActivated(int nId, int /*nIndex*/) override {
        if (nId == kIdDevice) OnGetSerial();
    }

private:
    // On the library thread: the hub's device IDs, the adapters among them.
    static SDeviceList ListDevices(client::CHubClient hub) {
        std::vector<int> ids;
        SDeviceList list;
        list.nResult = hub.ReadDeviceIds(ids).nCode;
        for (int nId : model::SerialAdapters(ids)) list.texts.push_back(model::DeviceIdText(nId));
        return list;
    }

    static int32_t ReadLine(client::CHubClient hub, uint8_t nDevice, CLineValues& values) {
        model::SSerialLine line{0, 0, 0, 0};
        const int32_t nResult = hub.ReadSerialLine(nDevice, line).nCode;
        values = {line.nBaud, line.nDataBits, line.nStopBits, line.nParity};
        return nResult;
    }

    static uint8_t DeviceId(std::u16string_view text) {
        uint8_t nId = 0;
        HexTextToBytes(text, &nId, 1);
        return nId;
    }
    static uint8_t DeviceId(const std::string& strText) { return DeviceId(Latin1ToU16(strText)); }

    // The setting lists, in index order (the position is the hub's value);
    // added once, whichever of the read and the window's start comes first.
    void FillLists() {
        IDialogView& view = View();
        if (view.ComboCount(kIdBaudRate) != 0) return;
        const std::vector<std::string> entries[] = {BaudRateEntries(), DataLengthEntries(), StopBitEntries(),
                                                    ParityEntries()};
        for (size_t i = 0; i < std::size(kSettingIds); ++i)
            for (const std::string& strEntry : entries[i]) view.ComboAdd(kSettingIds[i], Latin1ToU16(strEntry));
    }

    void ShowFirstRead() {
        FillLists();
        FillDevices(m_devices);
        Enable(kIdGet, true);
        Enable(kIdDevice, true);
        ShowValues(m_values);
    }

    void FillDevices(const std::vector<std::string>& texts) {
        View().ComboClear(kIdDevice);
        for (const std::string& strText : texts) View().ComboAdd(kIdDevice, Latin1ToU16(strText));
        View().ComboSelect(kIdDevice, 0);
    }

    // Shows the values just read for the selected device; only then may
    // Set Serial write to it. A value without an entry shows none and goes
    // back as read.
    void ShowValues(const CLineValues& values) {
        m_values = values;
        for (size_t i = 0; i < values.size(); ++i) {
            const int nId = kSettingIds[i];
            View().ComboSelect(nId, values[i] < View().ComboCount(nId) ? values[i] : -1);
            Enable(nId, true);
        }
        Enable(kIdSet, true);
    }

    void OnGetSerial() {
        if (View().ComboIndex(kIdDevice) < 0) {
            Message(u"Invalid device ID", EMsgIcon::Warning);
            return;
        }
        ReadSelected();
    }

    void ReadSelected() {
        const uint8_t nDevice = DeviceId(GetText(kIdDevice));
        client::CHubClient hub = Hub();
        StartJob<SLineRead>(
            Jobs(),
            [hub, nDevice]() mutable {
                SLineRead r;
                r.nResult = ReadLine(hub, nDevice, r.values);
                return r;
            },
            [this](SLineRead r) {
                if (r.nResult != 0) {
                    // The lists now show another device's values: no writing them.
                    Enable(kIdSet, false);
                    Message(u"Wrong configuration value.", EMsgIcon::Warning);
                    return;
                }
                ShowValues(r.values);
            });
    }

    void OnSetSerial() {
        if (View().ComboIndex(kIdDevice) < 0) {
            Message(u"Invalid device ID", EMsgIcon::Warning);
            return;
        }
        const uint8_t nDevice = DeviceId(GetText(kIdDevice));
        CLineValues values = m_values;
        for (size_t i = 0; i < values.size(); ++i)
            if (int nPosition = View().ComboIndex(kSettingIds[i]); nPosition >= 0)
                values[i] = static_cast<uint8_t>(nPosition);
        client::CHubClient hub = Hub();
        StartJob<int32_t>(
            Jobs(),
            [hub, nDevice, values]() mutable {
                const model::SSerialLine line{values[0], values[1], values[2], values[3]};
                return hub.WriteSerialLine(nDevice, line).nCode;
            },
            [this](int32_t nResult) {
                if (nResult == 0) {
                    Message(u"Success to configure Serial info.", EMsgIcon::Information);
                    Message(u"Please, turn off the printer and turn on the printer", EMsgIcon::Information);
                } else {
                    Message(u"Failed to configure Serial info.", EMsgIcon::Warning);
                }
            });
    }

    void OnRefresh() {
        client::CHubClient hub = Hub();
        StartJob<SDeviceList>(
            Jobs(), [hub]() mutable { return ListDevices(hub); },
            [this](SDeviceList list) {
                if (list.nResult != 0 || list.texts.empty()) {
                    for (int nId : {kIdGet, kIdDevice, kIdBaudRate, kIdDataLength, kIdStopBit, kIdParity, kIdSet})
                        Enable(nId, false);
                    Message(u"No connected USB to Serial device.", EMsgIcon::Warning);
                    return;
                }
                FillDevices(list.texts);
                Enable(kIdGet, true);
                Enable(kIdDevice, true);
                // The lists still show the device read before: read the one now
                // selected, and keep Set Serial off until that succeeded.
                Enable(kIdSet, false);
                ReadSelected();
            });
    }

    std::vector<std::string> m_devices;  // as the read before the page showed found them
    CLineValues m_values{};
    bool m_bRead = false;
};

}  // namespace

std::unique_ptr<CPageLogic> MakeUsbToSerialPage(const SPageContext& context) {
    return std::make_unique<CUsbToSerialPage>(context);
}

}  // namespace vexal::utility
