// The Bluetooth settings page (dialog 136): name, PIN, encryption,
// connection mode and auto connection of the hub's Bluetooth side.
#include <string_view>

#include "client/HubClient.h"
#include "model/Bluetooth.h"
#include "model/HubText.h"
#include "model/TextFields.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/Text.h"
#include "utility/pages/PageLists.h"

namespace vexal::utility {

namespace {

enum : int {
    kIdName = 1038,
    kIdEncryption = 1039,
    kIdPin = 1040,
    kIdMode = 1041,
    kIdAutoConnection = 1043,
};

constexpr int kFieldIds[] = {kIdName, kIdEncryption, kIdPin, kIdMode, kIdAutoConnection, page_ids::kSet};

// What the read hands back: the values, or the call that failed.
struct SRead {
    client::SCallResult result;
    model::SBluetooth value;
};

class CBluetoothPage final : public CPageLogic {
public:
    using CPageLogic::CPageLogic;

    const SDialogDesc& Desc() const override {
        static const SDialogDesc kDesc = BuildDesc();
        return kDesc;
    }

    void OnInit() override {
        FillLists();
        if (m_bRead) Fill();
    }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        m_strName.clear();
        m_strPin.clear();
        m_nEncryption = 0;
        m_nMode = 0;
        m_nAutoConnection = 0;
        m_bRead = false;

        client::CHubClient hub = Hub();
        StartJob<SRead>(
            Jobs(),
            [hub]() mutable {
                // The five reads in the order the hub is asked; the first
                // failure ends the job, so no later call goes out.
                SRead read;
                read.result = hub.ReadBluetooth(read.value);
                return read;
            },
            [this, fnDone](SRead read) {
                if (!read.result.Ok()) {
                    static const char* const kFailures[][2] = {
                        {"getBluetoothName", "Wrong bluetooth printer name."},
                        {"getBluetoothAuthentication", "Wrong bluetooth encryption mode."},
                        {"getBluetoothPinCode", "Wrong bluetooth pin code."},
                        {"getBluetoothConnectionMode", "Wrong bluetooth connection mode."},
                        {"getBluetoothAutoConnection", "Wrong bluetooth AutoConnection."}};
                    for (const auto& failure : kFailures)
                        if (read.result.pszCall && std::string_view(read.result.pszCall) == failure[0])
                            Message(Latin1ToU16(failure[1]), EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_strName = Utf8ToU16(read.value.strName);
                m_strPin = Utf8ToU16(read.value.strPin);
                m_nEncryption = read.value.nEncryption;
                m_nMode = read.value.nMode;
                m_nAutoConnection = read.value.nAutoConnect;
                m_bRead = true;
                if (HasView()) Fill();
                fnDone(true);
            },
            NotDone(fnDone));
    }

    void OnClicked(int nId) override {
        if (nId == page_ids::kSet)
            OnSet();
        else if (nId == page_ids::kDefault)
            OnDefaultSetting();
        else if (nId == page_ids::kClose)
            Close(kRejected);
    }

    void OnTextEdited(int nId, const std::u16string& strText) override {
        if (nId == kIdName)
            LimitWhileTyping(kIdName, strText, model::EHubText::BluetoothName, m_strName);
        else if (nId == kIdPin)
            LimitWhileTyping(kIdPin, strText, model::EHubText::BluetoothPin, m_strPin);
    }

private:
    static SDialogDesc BuildDesc() {
        SDialogDesc desc;
        desc.nId = 136;
        desc.strTitle = u"Bluetooth Configuration";
        auto& c = desc.controls;

        SControlDesc normal = Ctl(EControl::Group, 0, u"Normal Setting", 0, 0);
        normal.nRowSpan = 4;
        normal.nColumnSpan = 2;
        c.push_back(normal);
        c.push_back(LabelFor(kIdName, u"Device &Name :", 0, 0));
        c.push_back(Ctl(EControl::Edit, kIdName, u"Device Name", 0, 1));
        c.push_back(LabelFor(kIdEncryption, u"&Encryption :", 1, 0));
        c.push_back(Ctl(EControl::Combo, kIdEncryption, u"Encryption", 1, 1));
        c.push_back(LabelFor(kIdPin, u"&PIN Code :", 2, 0));
        c.push_back(Ctl(EControl::Edit, kIdPin, u"PIN Code", 2, 1));
        c.push_back(LabelFor(kIdMode, u"Connection &Mode :", 3, 0));
        c.push_back(Ctl(EControl::Combo, kIdMode, u"Connection Mode", 3, 1));

        SControlDesc ios = Ctl(EControl::Group, 0, u"IOS Only", 4, 0);
        ios.nColumnSpan = 2;
        c.push_back(ios);
        c.push_back(LabelFor(kIdAutoConnection, u"&Auto Connection :", 4, 0));
        c.push_back(Ctl(EControl::Combo, kIdAutoConnection, u"Auto Connection", 4, 1));

        AddPageButtons(desc);
        for (SControlDesc& control : c) {
            // This page offers its defaults; the fields wait for the read.
            if (control.nId == page_ids::kDefault) control.bHidden = false;
            for (int nId : kFieldIds)
                if (control.nId == nId) control.bDisabled = true;
        }
        return desc;
    }

    // The entries the lists always hold; added once, whichever of the read
    // and the window's start comes first.
    void FillLists() {
        IDialogView& view = View();
        if (view.ComboCount(kIdEncryption) != 0) return;
        for (const char16_t* psz : {u"Disable", u"Enable"}) view.ComboAdd(kIdEncryption, psz);
        for (const char16_t* psz : {u"Mode 1", u"Mode 2", u"Mode 3"}) view.ComboAdd(kIdMode, psz);
        for (const char16_t* psz : {u"Disable", u"Enable"}) view.ComboAdd(kIdAutoConnection, psz);
    }

    void Fill() {
        FillLists();
        for (int nId : kFieldIds) Enable(nId, true);
        SetText(kIdName, m_strName);
        // A value without an entry shows no selection and goes back as read.
        View().ComboSelect(kIdEncryption, EncryptionPosition(m_nEncryption));
        View().ComboSelect(kIdMode, ConnectionModePosition(m_nMode));
        View().ComboSelect(kIdAutoConnection, AutoConnectionPosition(m_nAutoConnection));
        SetText(kIdPin, m_strPin);
    }

    void LimitWhileTyping(int nId, const std::u16string& strText, model::EHubText eText,
                          const std::u16string& strStored) {
        if (model::IsOverLong(eText, strText)) {
            Message(Latin1ToU16(MaximumLengthText(model::MaxHubBytes(eText))), EMsgIcon::Warning);
            SetText(nId, strStored);
        }
    }

    void OnSet() {
        const std::u16string strName = GetText(kIdName);
        if (strName.empty()) {
            Message(u"Device Name : Minimum length is 1", EMsgIcon::Warning);
            SetText(kIdName, m_strName);
            return;
        }
        const std::u16string strPin = GetText(kIdPin);
        if (model::HubByteLength(strPin) < model::MinHubBytes(model::EHubText::BluetoothPin)) {
            Message(u"PIN Code : Minimum length is 4", EMsgIcon::Warning);
            SetText(kIdPin, m_strPin);
            return;
        }
        m_strPin = strPin;
        m_strName = strName;
        const int nEncryption = View().ComboIndex(kIdEncryption);
        const int nMode = View().ComboIndex(kIdMode);
        const int nAuto = View().ComboIndex(kIdAutoConnection);
        model::SBluetooth value;
        value.strName = U16ToUtf8(strName);
        value.strPin = U16ToUtf8(strPin);
        value.nEncryption = static_cast<uint8_t>(nEncryption >= 0 ? '0' + nEncryption : m_nEncryption);
        value.nMode = static_cast<uint8_t>(nMode >= 0 ? model::BluetoothModeChar(nMode + 1) : m_nMode);
        client::CHubClient hub = Hub();
        StartJob<bool>(
            Jobs(),
            [hub, nAuto, value]() mutable {
                // Both writes go out; either failing fails the SET. An auto
                // connection the hub reported without an entry is not written.
                const bool bAuto = nAuto < 0 || hub.WriteBluetoothAutoConnect(nAuto != 0).Ok();
                const bool bInfo = hub.WriteBluetoothInfo(value).Ok();
                return bAuto && bInfo;
            },
            [this](bool bOk) {
                if (bOk) {
                    Message(u"Set serial communication status is successful", EMsgIcon::Information);
                    Message(u"Please, turn off the printer and turn on the printer", EMsgIcon::Information);
                } else {
                    Message(u"Set serial communication status is failed", EMsgIcon::Warning);
                }
            });
    }

    void OnDefaultSetting() {
        View().ComboSelect(kIdEncryption, EncryptionPosition(model::kBluetoothEncryptionOn));
        View().ComboSelect(kIdMode, ConnectionModePosition(model::kBluetoothDefaultMode));
        m_strPin = Latin1ToU16(model::kBluetoothDefaultPin);
        SetText(kIdPin, m_strPin);
    }

    std::u16string m_strName;
    std::u16string m_strPin;
    uint8_t m_nEncryption = 0;
    uint8_t m_nMode = 0;
    uint8_t m_nAutoConnection = 0;
    bool m_bRead = false;
};

}  // namespace

std::unique_ptr<CPageLogic> MakeBluetoothPage(const SPageContext& context) {
    return std::make_unique<CBluetoothPage>(context);
}

}  // namespace vexal::utility
