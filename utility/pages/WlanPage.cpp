// The WLAN settings page (dialog 137): the hub's wireless settings, read and
// written as the 592-byte WLAN block. The authentication and cipher lists
// are kept consistent with each other by the user-action handlers only, so
// filling the page from a read always shows (and sends back) what was read.
#include <optional>
#include <string>

#include "client/HubClient.h"
#include "model/TextFields.h"
#include "model/Wlan.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/Text.h"
#include "utility/pages/PageLists.h"

namespace vexal::utility {

namespace {

using model::EHubText;

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

struct SRead {
    client::SCallResult result;
    model::SWlan value;
};

struct SWrite {
    client::SCallResult result;
    model::CWlanAnswer answer{};
};

class CWlanPage final : public CPageLogic {
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
        Read([this, fnDone](bool bRead) {
            if (bRead && HasView()) Fill();
            fnDone(bRead);
        });
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

    void OnTextEdited(int nId, const std::u16string& strText) override {
        if (nId == kIdSsid)
            LimitWhileTyping(kIdSsid, strText, EHubText::Ssid, m_strSsid);
        else if (nId == kIdPsk)
            LimitWhileTyping(kIdPsk, strText, EHubText::Psk, m_strPsk);
        else if (nId == kIdEapIdentity)
            LimitWhileTyping(kIdEapIdentity, strText, EHubText::EapIdentity, m_strEapIdentity);
        else if (nId == kIdEapPassword)
            LimitWhileTyping(kIdEapPassword, strText, EHubText::EapPassword, m_strEapPassword);
    }

private:
    static SDialogDesc BuildDesc() {
        SDialogDesc desc;
        desc.nId = 137;
        desc.strTitle = u"WLAN Configuration";
        auto& c = desc.controls;
        int nRow = 0;
        auto addRow = [&](EControl eKind, int nId, const char16_t* pszLabel, const char16_t* pszName) {
            c.push_back(LabelFor(nId, pszLabel, nRow, 0));
            c.push_back(Ctl(eKind, nId, pszName, nRow++, 1));
            c.back().bDisabled = true;
            return &c.back();
        };
        addRow(EControl::Edit, kIdDeviceName, u"Device Name :", u"Device Name");
        addRow(EControl::Combo, kIdNetworkMode, u"Network &Mode :", u"Network Mode");
        // The DHCP pair shares one cell, named by the label through its first button.
        c.push_back(LabelFor(kIdDhcpEnable, u"DHCP Mode :", nRow, 0));
        for (const auto& [nId, pszCaption] : {std::pair{kIdDhcpEnable, u" &Enable"}, {kIdDhcpDisable, u" &Disable"}}) {
            c.push_back(Ctl(EControl::Radio, nId, pszCaption, nRow, 1));
            c.back().nGroup = kDhcpGroup;
            c.back().bDisabled = true;
        }
        ++nRow;
        addRow(EControl::Edit, kIdSsid, u"&SSID :", u"SSID");
        addRow(EControl::Ipv4, kIdIp, u"&IP Address :", u"IP Address");
        addRow(EControl::Ipv4, kIdMask, u"Subnet Mas&k : ", u"Subnet Mask");
        addRow(EControl::Ipv4, kIdGateway, u"&Gateway  :", u"Gateway");
        addRow(EControl::Combo, kIdAuthentication, u"&Authentication : ", u"Authentication");
        addRow(EControl::Combo, kIdCipher, u"&Cryptograph : ", u"Cryptograph");
        addRow(EControl::Combo, kIdEap, u"EA&P : ", u"EAP");
        addRow(EControl::Edit, kIdWepKey, u"&WEP Key : ", u"WEP Key");
        addRow(EControl::Edit, kIdPsk, u"PS&K Key :", u"PSK Key");
        addRow(EControl::Edit, kIdEapIdentity, u"Authentication I&D :", u"Authentication ID");
        addRow(EControl::Edit, kIdEapPassword, u"Authentication Pass&word : ", u"Authentication Password")->bPassword =
            true;
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

    // Reads the block into the members; fnDone follows with the outcome (a
    // failed read has shown its message).
    void Read(std::function<void(bool)> fnDone) {
        client::CHubClient hub = Hub();
        StartJob<SRead>(
            Jobs(),
            [hub]() mutable {
                SRead r;
                r.result = hub.ReadWlan(r.value);
                return r;
            },
            [this, fnDone](SRead r) {
                if (!r.result.Ok()) {
                    Message(u"Failed to read WLAN configuration info.", EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_read = r.value;
                m_strDeviceName = Utf8ToU16(m_read.DeviceName());
                m_strSsid = Utf8ToU16(m_read.strSsid);
                m_strWepKey = Utf8ToU16(m_read.strWepKey);
                m_strPsk = Utf8ToU16(m_read.strPsk);
                m_strEapIdentity = Utf8ToU16(m_read.strEapIdentity);
                m_strEapPassword = Utf8ToU16(m_read.strEapPassword);
                m_nDhcpChoice = m_read.Dhcp() ? 0 : 1;
                m_bRead = true;
                fnDone(true);
            },
            NotDone(fnDone));
    }

    // Shows the block as read; runs no handler.
    void Fill() {
        FillLists();
        for (int nId : {kIdNetworkMode, kIdDhcpEnable, kIdDhcpDisable, kIdSsid, kIdIp, kIdMask, kIdGateway,
                        kIdAuthentication, kIdCipher})
            Enable(nId, true);
        SetText(kIdDeviceName, m_strDeviceName);
        SetText(kIdSsid, m_strSsid);
        SetText(kIdWepKey, m_strWepKey);
        SetText(kIdPsk, m_strPsk);
        SetText(kIdEapIdentity, m_strEapIdentity);
        SetText(kIdEapPassword, m_strEapPassword);
        SetText(kIdInactivity, NumberText(m_read.nInactivity));

        const bool bAdhoc = m_read.nMode != model::kWlanInfrastructure;
        FillAuthentications(bAdhoc);
        if (bAdhoc) {
            Enable(kIdDhcpEnable, false);
            m_nDhcpChoice = 1;
        } else {
            m_nDhcpChoice = m_read.nDhcp != 0 ? 0 : 1;
        }
        EnableAddresses(m_nDhcpChoice == 1);
        SetRadioPair(kIdDhcpEnable, kIdDhcpDisable, m_nDhcpChoice);
        // A mode without an entry shows none and goes back as read.
        View().ComboSelect(kIdNetworkMode, m_read.nMode <= model::kWlanAdhoc ? m_read.nMode : -1);
        SetIpv4(kIdIp, m_read.ip);
        SetIpv4(kIdMask, m_read.mask);
        SetIpv4(kIdGateway, m_read.gateway);

        const int nAuth = m_read.nAuth;
        View().ComboSelect(kIdAuthentication, nAuth < View().ComboCount(kIdAuthentication) ? nAuth : -1);
        FillCiphers(nAuth);
        View().ComboSelect(kIdCipher, model::CipherPosition(nAuth, m_read.nCipher));
        const auto nEap = m_read.nEapMethod;
        View().ComboSelect(kIdEap, model::IsEapAuth(nAuth) && nEap && *nEap < kEapMethodEntries.size() ? *nEap : -1);
        EnableKeyFields(nAuth, m_read.nCipher);
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

    void Refuse(int nId, const std::string& strMessage, const std::u16string& strStored) {
        Message(Latin1ToU16(strMessage), EMsgIcon::Warning);
        SetText(nId, strStored);
    }

    void LimitWhileTyping(int nId, const std::u16string& strText, EHubText eText, const std::u16string& strStored) {
        if (model::IsOverLong(eText, strText)) Refuse(nId, MaximumLengthText(model::MaxHubBytes(eText)), strStored);
    }

    // The texts the user typed become the page's own (they are put back on
    // a refused edit).
    void TakeFields() {
        m_strSsid = GetText(kIdSsid);
        m_strWepKey = GetText(kIdWepKey);
        m_strPsk = GetText(kIdPsk);
        m_strEapIdentity = GetText(kIdEapIdentity);
        m_strEapPassword = GetText(kIdEapPassword);
    }

    // The authentication shown: the list position, or the value read when
    // the list has no entry for it.
    int CurrentAuthentication() const {
        const int nPosition = View().ComboIndex(kIdAuthentication);
        return nPosition >= 0 ? nPosition : m_read.nAuth;
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
        if (GetText(kIdSsid).empty()) {
            Message(u"SSID : Minimum length is 1", EMsgIcon::Warning);
            SetText(kIdSsid, m_strSsid);
            return;
        }
        TakeFields();
        model::SWlan out;
        out.deviceName = m_read.deviceName;
        const int nMode = View().ComboIndex(kIdNetworkMode);
        out.nMode = static_cast<uint8_t>(nMode >= 0 ? nMode : m_read.nMode);
        out.nDhcp = IsChecked(kIdDhcpEnable) ? 1 : 0;
        out.strSsid = U16ToUtf8(m_strSsid);
        out.nInactivity = m_read.nInactivity;
        out.ip = GetIpv4(kIdIp);
        out.mask = GetIpv4(kIdMask);
        out.gateway = GetIpv4(kIdGateway);
        const int nAuth = CurrentAuthentication();
        out.nAuth = static_cast<uint8_t>(nAuth);
        const int nCipherPosition = View().ComboIndex(kIdCipher);
        out.nCipher =
            static_cast<uint8_t>(nCipherPosition >= 0 ? model::CipherAt(nAuth, nCipherPosition) : m_read.nCipher);
        const int nEap = View().ComboIndex(kIdEap);
        out.nEapMethod = nEap >= 0 ? std::optional<uint8_t>(static_cast<uint8_t>(nEap)) : m_read.nEapMethod;

        if ((nAuth == model::kAuthOpenSystem || nAuth == model::kAuthSharedKey) && out.nCipher == model::kCipherWep) {
            if (model::CheckHubText(EHubText::WepKey, m_strWepKey) != model::ETextProblem::None) {
                Message(u"WEP key is invalid.\nWEP key must be 5 or 13 characters.", EMsgIcon::Warning);
                return;
            }
            out.strWepKey = U16ToUtf8(m_strWepKey);
        }
        if (model::IsPskAuth(nAuth)) {
            const model::ETextProblem eProblem = model::CheckHubText(EHubText::Psk, m_strPsk);
            if (eProblem == model::ETextProblem::TooShort) {
                Message(u"PSK Key : Minimum length is 8", EMsgIcon::Warning);
                return;
            }
            if (eProblem != model::ETextProblem::None) {
                Message(Latin1ToU16(MaximumLengthText(model::MaxHubBytes(EHubText::Psk))), EMsgIcon::Warning);
                return;
            }
        }
        out.strPsk = U16ToUtf8(m_strPsk);
        out.strEapIdentity = U16ToUtf8(m_strEapIdentity);
        out.strEapPassword = U16ToUtf8(m_strEapPassword);

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

    model::SWlan m_read;
    std::u16string m_strDeviceName;
    std::u16string m_strSsid;
    std::u16string m_strWepKey;
    std::u16string m_strPsk;
    std::u16string m_strEapIdentity;
    std::u16string m_strEapPassword;
    int m_nDhcpChoice = 1;  // 0 " Enable", 1 " Disable"
    bool m_bRead = false;
};

}  // namespace

std::unique_ptr<CPageLogic> MakeWlanPage(const SPageContext& context) { return std::make_unique<CWlanPage>(context); }

}  // namespace vexal::utility
