// The WLAN settings page (dialog 137): the hub's wireless settings, read and
// written as the 592-byte WLAN block. The authentication and cipher lists
// are kept consistent with each other by the user-action handlers only, so
// filling the page from a read always shows (and sends back) what was read.
#include <optional>
#include <string>

#include "model/Wlan.h"
#include "utility/logic/Text.h"
#include "utility/pages/GroupPage.h"
#include "utility/pages/PageLists.h"

namespace vexal::utility {

namespace {

enum : int {
    kIdDeviceName = 1055,
    kIdNetworkMode = 1056,
    kIdDhcpEnable = 1057,
    kIdDhcpDisable = 1058,
    kIdSsid = 1059,
    kIdIp = 1061,
    kIdMask = 1062,
    kIdGateway = 1063,
    kIdAuthentication = 1064,
    kIdCipher = 1065,
    kIdEap = 1066,
    kIdWepKey = 1067,
    kIdPsk = 1068,
    kIdEapIdentity = 1069,
    kIdEapPassword = 1070,
    kIdInactivity = 1071,
};

constexpr int kAddressIds[] = {kIdIp, kIdMask, kIdGateway};
constexpr int kDhcpGroup = 1;

struct SWrite {
    client::SCallResult result;
    model::CWlanAnswer answer{};
};

class CWlanPage final : public CGroupPage {
public:
    explicit CWlanPage(const SPageContext& context) : CGroupPage(context, model::WlanGroup()) {}

    const SDialogDesc& Desc() const override {
        static const SDialogDesc kDesc = BuildDesc();
        return kDesc;
    }

    void OnInit() override {
        FillLists();
        if (m_bRead) Fill();
    }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        Read([this, fnDone](bool bRead) {
            if (bRead && HasView()) Fill();
            fnDone(bRead);
        });
    }

    void ReadFailed(const char*) override { Message(u"Failed to read WLAN configuration info.", EMsgIcon::Warning); }

    // The WEP key is judged whole at SET: its rule is a form (5 or 13
    // characters), not a limit to hold while typing.
    void OnTextEdited(int nId, const std::u16string& strText) override {
        if (nId != kIdWepKey) CGroupPage::OnTextEdited(nId, strText);
    }

    void OnClicked(int nId) override {
        switch (nId) {
        case kIdDhcpEnable:
            EnableAddresses(false);
            m_nDhcpChoice = 0;
            break;
        case kIdDhcpDisable:
            EnableAddresses(true);
            m_nDhcpChoice = 1;
            break;
        case page_ids::kSet: OnSet(); break;
        case page_ids::kGet:
            Read([this](bool bRead) {
                if (bRead) Fill();
            });
            break;
        case page_ids::kClose: Close(kRejected); break;
        default: break;
        }
    }

    void OnActivated(int nId, int /*nIndex*/) override {
        if (nId == kIdNetworkMode)
            OnNetworkModeChanged();
        else if (nId == kIdAuthentication)
            OnAuthenticationChanged();
        else if (nId == kIdCipher)
            OnCipherChanged();
    }

private:
    static SDialogDesc BuildDesc() {
        SDialogDesc desc;
        desc.nId = 137;
        desc.strTitle = u"WLAN Configuration";
        auto& c = desc.controls;
        int nRow = 0;
        auto addRow = [&](EControl eKind, int nId, const char16_t* pszLabel, const char16_t* pszName,
                          const char* pszKey = "") {
            c.push_back(LabelFor(nId, pszLabel, nRow, 0));
            c.push_back(KeyCtl(eKind, nId, pszName, nRow++, 1, pszKey));
            c.back().bDisabled = true;
            return &c.back();
        };
        addRow(EControl::Edit, kIdDeviceName, u"Device Name :", u"Device Name", "device_name");
        addRow(EControl::Combo, kIdNetworkMode, u"Network &Mode :", u"Network Mode");
        // The DHCP pair shares one cell, named by the label through its first button.
        c.push_back(LabelFor(kIdDhcpEnable, u"DHCP Mode :", nRow, 0));
        for (const auto& [nId, pszCaption] : {std::pair{kIdDhcpEnable, u" &Enable"}, {kIdDhcpDisable, u" &Disable"}}) {
            c.push_back(Ctl(EControl::Radio, nId, pszCaption, nRow, 1));
            c.back().nGroup = kDhcpGroup;
            c.back().bDisabled = true;
        }
        ++nRow;
        addRow(EControl::Edit, kIdSsid, u"&SSID :", u"SSID", "ssid");
        addRow(EControl::Ipv4, kIdIp, u"&IP Address :", u"IP Address", "ip");
        addRow(EControl::Ipv4, kIdMask, u"Subnet Mas&k : ", u"Subnet Mask", "mask");
        addRow(EControl::Ipv4, kIdGateway, u"&Gateway  :", u"Gateway", "gateway");
        addRow(EControl::Combo, kIdAuthentication, u"&Authentication : ", u"Authentication");
        addRow(EControl::Combo, kIdCipher, u"&Cryptograph : ", u"Cryptograph");
        addRow(EControl::Combo, kIdEap, u"EA&P : ", u"EAP");
        addRow(EControl::Edit, kIdWepKey, u"&WEP Key : ", u"WEP Key", "wep_key");
        addRow(EControl::Edit, kIdPsk, u"PS&K Key :", u"PSK Key", "psk");
        addRow(EControl::Edit, kIdEapIdentity, u"Authentication I&D :", u"Authentication ID", "eap_identity");
        addRow(EControl::Edit, kIdEapPassword, u"Authentication Pass&word : ", u"Authentication Password",
               "eap_password")
            ->bPassword = true;
        AddHiddenInactivityRow(desc, nRow, kIdInactivity);
        AddPageButtons(desc);
        for (SControlDesc& control : c)
            if (control.nId == page_ids::kSet) control.bDisabled = true;
        return desc;
    }

    // The lists whose entries never change; added once, whichever of the
    // read and the window's start comes first.
    void FillLists() {
        IDialogView& view = View();
        if (view.ComboCount(kIdNetworkMode) != 0) return;
        for (const char16_t* psz : {u"Infra Mode", u"Adhoc"}) view.ComboAdd(kIdNetworkMode, psz);
        for (const char* pszMethod : kEapMethodEntries) view.ComboAdd(kIdEap, Latin1ToU16(pszMethod));
    }

    // Reads the block; fnDone follows with the outcome (a failed read has
    // shown its message).
    void Read(std::function<void(bool)> fnDone) {
        ReadGroup([this, fnDone](bool bRead) {
            if (bRead) m_bRead = true;
            fnDone(bRead);
        });
    }

    // Shows the block as read; runs no handler.
    void Fill() {
        FillLists();
        for (int nId : {kIdNetworkMode, kIdDhcpEnable, kIdDhcpDisable, kIdSsid, kIdIp, kIdMask, kIdGateway,
                        kIdAuthentication, kIdCipher})
            Enable(nId, true);
        const model::SWlan& read = Held<model::SWlan>();
        ShowValues(model::ToKeyValues(read));
        SetText(kIdInactivity, NumberText(read.nInactivity));

        const bool bAdhoc = read.nMode != model::kWlanInfrastructure;
        FillAuthentications(bAdhoc);
        if (bAdhoc) {
            Enable(kIdDhcpEnable, false);
            m_nDhcpChoice = 1;
        } else {
            m_nDhcpChoice = read.nDhcp != 0 ? 0 : 1;
        }
        EnableAddresses(m_nDhcpChoice == 1);
        SetRadioPair(kIdDhcpEnable, kIdDhcpDisable, m_nDhcpChoice);
        // A mode without an entry shows none and goes back as read.
        View().ComboSelect(kIdNetworkMode, read.nMode <= model::kWlanAdhoc ? read.nMode : -1);

        const int nAuth = read.nAuth;
        View().ComboSelect(kIdAuthentication, nAuth < View().ComboCount(kIdAuthentication) ? nAuth : -1);
        FillCiphers(nAuth);
        View().ComboSelect(kIdCipher, model::CipherPosition(nAuth, read.nCipher));
        const auto nEap = read.nEapMethod;
        View().ComboSelect(kIdEap, model::IsEapAuth(nAuth) && nEap && *nEap < kEapMethodEntries.size() ? *nEap : -1);
        EnableKeyFields(nAuth, read.nCipher);
        Enable(page_ids::kSet, true);
    }

    void FillAuthentications(bool bAdhoc) {
        View().ComboClear(kIdAuthentication);
        for (const std::string& strEntry :
             AuthenticationEntries(bAdhoc ? model::kWlanAdhoc : model::kWlanInfrastructure))
            View().ComboAdd(kIdAuthentication, Latin1ToU16(strEntry));
    }

    void FillCiphers(int nAuth) {
        View().ComboClear(kIdCipher);
        for (const std::string& strEntry : CipherEntries(nAuth)) View().ComboAdd(kIdCipher, Latin1ToU16(strEntry));
    }

    void EnableKeyFields(int nAuth, int nCipher) {
        const model::EWlanKey eField = model::KeyInUse(nAuth, nCipher);
        const bool bKnown = nAuth <= model::kAuthWpa2Eap;
        Enable(kIdWepKey, eField == model::EWlanKey::Wep);
        Enable(kIdPsk, bKnown && eField == model::EWlanKey::Psk);
        for (int nId : {kIdEap, kIdEapIdentity, kIdEapPassword}) Enable(nId, eField == model::EWlanKey::Eap);
    }

    void EnableAddresses(bool bEnable) {
        for (int nId : kAddressIds) Enable(nId, bEnable);
    }

    // The texts the user typed become the page's own (they are put back on
    // a refused edit).
    void TakeFields() { KeepValues(TakeValues()); }

    // The authentication shown: the list position, or the value read when
    // the list has no entry for it.
    int CurrentAuthentication() const {
        const int nPosition = View().ComboIndex(kIdAuthentication);
        return nPosition >= 0 ? nPosition : Held<model::SWlan>().nAuth;
    }

    void OnNetworkModeChanged() {
        TakeFields();
        const bool bAdhoc = View().ComboIndex(kIdNetworkMode) == 1;
        FillAuthentications(bAdhoc);
        View().ComboSelect(kIdAuthentication, 0);
        if (bAdhoc) {
            Enable(kIdDhcpEnable, false);
            Enable(kIdDhcpDisable, true);
            SetRadioPair(kIdDhcpEnable, kIdDhcpDisable, 1);
            View().Focus(kIdDhcpDisable);
            m_nDhcpChoice = 1;
            EnableAddresses(true);
        } else {
            Enable(kIdDhcpEnable, true);
            Enable(kIdDhcpDisable, true);
        }
        OnAuthenticationChanged();
    }

    void OnAuthenticationChanged() {
        TakeFields();
        const int nAuth = CurrentAuthentication();
        FillCiphers(nAuth);
        View().ComboSelect(kIdCipher, 0);
        // Open system keeps its WEP key field off until WEP is chosen.
        EnableKeyFields(nAuth, nAuth == model::kAuthOpenSystem ? model::kCipherNone : model::CipherAt(nAuth, 0));
        View().ComboSelect(kIdEap, model::IsEapAuth(nAuth) ? 0 : -1);
    }

    void OnCipherChanged() {
        if (CurrentAuthentication() == model::kAuthOpenSystem) Enable(kIdWepKey, View().ComboIndex(kIdCipher) == 1);
    }

    void OnSet() {
        if (!CheckMinimum(kIdSsid, true)) return;
        TakeFields();
        const model::SWlan& read = Held<model::SWlan>();
        // The texts and addresses as they stand (the WEP key goes out only
        // with WEP in use), the lists' choices, and as read what they have
        // no entry for.
        model::SWlan out = read;
        model::ApplyKeyValues(out, TakeValues());
        const int nMode = View().ComboIndex(kIdNetworkMode);
        out.nMode = static_cast<uint8_t>(nMode >= 0 ? nMode : read.nMode);
        out.nDhcp = IsChecked(kIdDhcpEnable) ? 1 : 0;
        const int nAuth = CurrentAuthentication();
        out.nAuth = static_cast<uint8_t>(nAuth);
        const int nCipherPosition = View().ComboIndex(kIdCipher);
        out.nCipher =
            static_cast<uint8_t>(nCipherPosition >= 0 ? model::CipherAt(nAuth, nCipherPosition) : read.nCipher);
        const int nEap = View().ComboIndex(kIdEap);
        out.nEapMethod = nEap >= 0 ? std::optional<uint8_t>(static_cast<uint8_t>(nEap)) : read.nEapMethod;

        if (out.nCipher == model::kCipherWep && model::KeyInUse(nAuth, out.nCipher) == model::EWlanKey::Wep &&
            TextProblem(kIdWepKey) != model::ETextProblem::None) {
            Message(u"WEP key is invalid.\nWEP key must be 5 or 13 characters.", EMsgIcon::Warning);
            return;
        }
        if (model::IsPskAuth(nAuth)) {
            const model::ETextProblem eProblem = TextProblem(kIdPsk);
            if (eProblem == model::ETextProblem::TooShort) {
                TellMinimum(kIdPsk, false);
                return;
            }
            if (eProblem != model::ETextProblem::None) {
                Message(Latin1ToU16(MaximumLengthText(model::MaxHubBytes(model::EHubText::Psk))), EMsgIcon::Warning);
                return;
            }
        }

        client::CHubClient hub = Hub();
        StartJob<SWrite>(
            Jobs(),
            [hub, out]() mutable {
                SWrite w;
                w.result = hub.WriteWlan(out, w.answer);
                return w;
            },
            [this](SWrite w) {
                if (!w.result.Ok()) {
                    Message(u"Failed to read success message.", EMsgIcon::Warning);
                } else if (model::IsWlanWriteAcknowledged(w.answer)) {
                    Message(u"Succeeded to configure network info.", EMsgIcon::Information);
                    Message(u"Please, turn off the printer and turn on the printer", EMsgIcon::Information);
                } else {
                    Message(u"Failed to configure network info.", EMsgIcon::Warning);
                }
            });
    }

    int m_nDhcpChoice = 1;  // 0 " Enable", 1 " Disable"
    bool m_bRead = false;
};

}  // namespace

std::unique_ptr<CPageLogic> MakeWlanPage(const SPageContext& context) { return std::make_unique<CWlanPage>(context); }

}  // namespace vexal::utility
