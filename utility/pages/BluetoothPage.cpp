// The Bluetooth settings page (dialog 136): name, PIN, encryption,
// connection mode and auto connection of the hub's Bluetooth side.
#include <string_view>

#include "model/Bluetooth.h"
#include "utility/logic/Text.h"
#include "utility/pages/GroupPage.h"
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

class CBluetoothPage final : public CGroupPage {
public:
    explicit CBluetoothPage(const SPageContext& context) : CGroupPage(context, model::BluetoothGroup()) {}

    const SDialogDesc& Desc() const override {
        static const SDialogDesc kDesc = BuildDesc();
        return kDesc;
    }

    void OnInit() override {
        FillLists();
        if (m_bRead) Fill();
    }

    // The five reads in the order the hub is asked; the first failure ends
    // the read, so no later call goes out.
    void ReadFromHub(std::function<void(bool)> fnDone) override {
        m_bRead = false;
        ReadGroup([this, fnDone](bool bRead) {
            if (bRead) {
                m_bRead = true;
                if (HasView()) Fill();
            }
            fnDone(bRead);
        });
    }

    void ReadFailed(const char* pszCall) override {
        static const char* const kFailures[][2] = {{"getBluetoothName", "Wrong bluetooth printer name."},
                                                   {"getBluetoothAuthentication", "Wrong bluetooth encryption mode."},
                                                   {"getBluetoothPinCode", "Wrong bluetooth pin code."},
                                                   {"getBluetoothConnectionMode", "Wrong bluetooth connection mode."},
                                                   {"getBluetoothAutoConnection", "Wrong bluetooth AutoConnection."}};
        for (const auto& failure : kFailures)
            if (pszCall != nullptr && std::string_view(pszCall) == failure[0])
                Message(Latin1ToU16(failure[1]), EMsgIcon::Warning);
    }

    void OnClicked(int nId) override {
        if (nId == page_ids::kSet)
            OnSet();
        else if (nId == page_ids::kDefault)
            OnDefaultSetting();
        else if (nId == page_ids::kClose)
            Close(kRejected);
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
        c.push_back(KeyCtl(EControl::Edit, kIdName, u"Device Name", 0, 1, "name"));
        c.push_back(LabelFor(kIdEncryption, u"&Encryption :", 1, 0));
        c.push_back(Ctl(EControl::Combo, kIdEncryption, u"Encryption", 1, 1));
        c.push_back(LabelFor(kIdPin, u"&PIN Code :", 2, 0));
        c.push_back(KeyCtl(EControl::Edit, kIdPin, u"PIN Code", 2, 1, "pin"));
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
        const model::SBluetooth& held = Held<model::SBluetooth>();
        ShowValues(model::ToKeyValues(held));
        // A value without an entry shows no selection and goes back as read.
        View().ComboSelect(kIdEncryption, EncryptionPosition(held.nEncryption));
        View().ComboSelect(kIdMode, ConnectionModePosition(held.nMode));
        View().ComboSelect(kIdAutoConnection, AutoConnectionPosition(held.nAutoConnect));
    }

    void OnSet() {
        if (!CheckMinimum(kIdName, true) || !CheckMinimum(kIdPin, true)) return;
        const model::GroupValues taken = TakeValues();
        KeepValues(taken);
        const model::SBluetooth& held = Held<model::SBluetooth>();
        const int nEncryption = View().ComboIndex(kIdEncryption);
        const int nMode = View().ComboIndex(kIdMode);
        const int nAuto = View().ComboIndex(kIdAutoConnection);
        model::SBluetooth value = held;
        model::ApplyKeyValues(value, taken);
        value.nEncryption = static_cast<uint8_t>(nEncryption >= 0 ? '0' + nEncryption : held.nEncryption);
        value.nMode = static_cast<uint8_t>(nMode >= 0 ? model::BluetoothModeChar(nMode + 1) : held.nMode);
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
        ShowValues({{"pin", model::kBluetoothDefaultPin}});
    }

    bool m_bRead = false;
};

}  // namespace

std::unique_ptr<CPageLogic> MakeBluetoothPage(const SPageContext& context) {
    return std::make_unique<CBluetoothPage>(context);
}

}  // namespace vexal::utility
