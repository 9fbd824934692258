// The WLAN settings page (dialog 137): the hub's wireless settings, read and
// written as the 592-byte WLAN block. The authentication and cipher lists
// are kept consistent with each other by the user-action handlers only, so
// filling the page from a read always shows (and sends back) what was read.
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "client/HubClient.h"
#include "model/TextFields.h"
#include "model/Wlan.h"
#include "utility/SettingsPages.h"
#include "utility/pages/PageLists.h"
#include "utility/pages/PageWidgets.h"

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
    kIdGet = 1036,
    kIdSet = 1037,
    kIdDefault = 1042,
    kIdClose = 1033,
};

constexpr int kAddressIds[] = {kIdIp, kIdMask, kIdGateway};

class CWLANConfiguration final : public CSettingsPage {
public:
    CWLANConfiguration(const SQtPageContext& context, QWidget* pParent) : CSettingsPage(137, context, pParent) {
        setWindowTitle(tr("WLAN Configuration"));
        auto* pGrid = new QGridLayout;
        int nRow = 0;
        auto addRow = [&](const QString& strLabel, QWidget* pControl, QWidget* pField = nullptr) {
            pGrid->addWidget(MakeLabel(strLabel, pControl), nRow, 0);
            pGrid->addWidget(pField != nullptr ? pField : pControl, nRow++, 1);
        };
        auto* pName = MakeEdit(kIdDeviceName, tr("Device Name"));
        addRow(tr("Device Name :"), pName);
        auto* pMode = MakeCombo(kIdNetworkMode, tr("Network Mode"));
        pMode->addItems({tr("Infra Mode"), tr("Adhoc")});
        addRow(tr("Network &Mode :"), pMode);
        MakeRadio(kIdDhcpEnable, tr(" &Enable"));
        MakeRadio(kIdDhcpDisable, tr(" &Disable"));
        addRow(tr("DHCP Mode :"), Control(kIdDhcpEnable), MakeRadioRow(*this, kIdDhcpEnable, kIdDhcpDisable));
        addRow(tr("&SSID :"), MakeEdit(kIdSsid, tr("SSID")));
        addRow(tr("&IP Address :"), MakeIpv4(kIdIp, tr("IP Address")));
        addRow(tr("Subnet Mas&k : "), MakeIpv4(kIdMask, tr("Subnet Mask")));
        addRow(tr("&Gateway  :"), MakeIpv4(kIdGateway, tr("Gateway")));
        addRow(tr("&Authentication : "), MakeCombo(kIdAuthentication, tr("Authentication")));
        addRow(tr("&Cryptograph : "), MakeCombo(kIdCipher, tr("Cryptograph")));
        auto* pEap = MakeCombo(kIdEap, tr("EAP"));
        for (const char* pszMethod : kEapMethodEntries)
            pEap->addItem(tr(pszMethod));
        addRow(tr("EA&P : "), pEap);
        addRow(tr("&WEP Key : "), MakeEdit(kIdWepKey, tr("WEP Key")));
        addRow(tr("PS&K Key :"), MakeEdit(kIdPsk, tr("PSK Key")));
        addRow(tr("Authentication I&D :"), MakeEdit(kIdEapIdentity, tr("Authentication ID")));
        auto* pPassword = MakeEdit(kIdEapPassword, tr("Authentication Password"));
        pPassword->setEchoMode(QLineEdit::Password);
        addRow(tr("Authentication Pass&word : "), pPassword);
        AddHiddenInactivityRow(pGrid, nRow, kIdInactivity);

        LayOutWithButtons(pGrid, kIdGet, kIdSet, kIdDefault, kIdClose);
        for (int nId : {kIdDeviceName, kIdNetworkMode, kIdDhcpEnable, kIdDhcpDisable, kIdSsid, kIdIp, kIdMask,
                        kIdGateway, kIdAuthentication, kIdCipher, kIdEap, kIdWepKey, kIdPsk, kIdEapIdentity,
                        kIdEapPassword, kIdSet})
            Enable(nId, false);

        OnActivated(kIdNetworkMode, [this](int) { OnNetworkModeChanged(); });
        OnActivated(kIdAuthentication, [this](int) { OnAuthenticationChanged(); });
        OnActivated(kIdCipher, [this](int) { OnCipherChanged(); });
        OnClicked(kIdDhcpEnable, [this] {
            EnableAddresses(false);
            m_nDhcpChoice = 0;
        });
        OnClicked(kIdDhcpDisable, [this] {
            EnableAddresses(true);
            m_nDhcpChoice = 1;
        });
        OnTextEdited(kIdSsid, [this](const QString& strText) { LimitWhileTyping(kIdSsid, strText, EHubText::Ssid, m_strSsid); });
        OnTextEdited(kIdPsk, [this](const QString& strText) { LimitWhileTyping(kIdPsk, strText, EHubText::Psk, m_strPsk); });
        OnTextEdited(kIdEapIdentity, [this](const QString& strText) {
            LimitWhileTyping(kIdEapIdentity, strText, EHubText::EapIdentity, m_strEapIdentity);
        });
        OnTextEdited(kIdEapPassword, [this](const QString& strText) {
            LimitWhileTyping(kIdEapPassword, strText, EHubText::EapPassword, m_strEapPassword);
        });
        OnClicked(kIdSet, [this] { OnSet(); });
        OnClicked(kIdGet, [this] {
            Read([this](bool bRead) {
                if (bRead)
                    Fill();
            });
        });
        OnClicked(kIdClose, [this] { reject(); });
    }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        Read([this, fnDone](bool bRead) {
            if (bRead)
                Fill();
            fnDone(bRead);
        });
    }

private:
    struct SRead {
        client::SCallResult result;
        model::SWlan value;
    };

    // Reads the block into the members; fnDone follows with the outcome (a
    // failed read has shown its message).
    void Read(std::function<void(bool)> fnDone) {
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SRead>(
            [&api, nSession] {
                SRead r;
                r.result = client::CHubClient(api, nSession).ReadWlan(r.value);
                return r;
            },
            [this, fnDone](SRead r) {
                if (!r.result.Ok()) {
                    Message(tr("Failed to read WLAN configuration info."), EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_read = r.value;
                m_strDeviceName = QString::fromStdString(m_read.DeviceName());
                m_strSsid = QString::fromStdString(m_read.strSsid);
                m_strWepKey = QString::fromStdString(m_read.strWepKey);
                m_strPsk = QString::fromStdString(m_read.strPsk);
                m_strEapIdentity = QString::fromStdString(m_read.strEapIdentity);
                m_strEapPassword = QString::fromStdString(m_read.strEapPassword);
                m_nDhcpChoice = m_read.Dhcp() ? 0 : 1;
                fnDone(true);
            },
            fnDone);
    }

    // Shows the block as read; runs no handler.
    void Fill() {
        for (int nId : {kIdNetworkMode, kIdDhcpEnable, kIdDhcpDisable, kIdSsid, kIdIp, kIdMask, kIdGateway,
                        kIdAuthentication, kIdCipher})
            Enable(nId, true);
        SetText(kIdDeviceName, m_strDeviceName);
        SetText(kIdSsid, m_strSsid);
        SetText(kIdWepKey, m_strWepKey);
        SetText(kIdPsk, m_strPsk);
        SetText(kIdEapIdentity, m_strEapIdentity);
        SetText(kIdEapPassword, m_strEapPassword);
        SetText(kIdInactivity, QString::number(m_read.nInactivity));

        const bool bAdhoc = m_read.nMode != model::kWlanInfrastructure;
        FillAuthentications(bAdhoc);
        if (bAdhoc) {
            Enable(kIdDhcpEnable, false);
            m_nDhcpChoice = 1;
        } else {
            m_nDhcpChoice = m_read.nDhcp != 0 ? 0 : 1;
        }
        EnableAddresses(m_nDhcpChoice == 1);
        SetRadioPair(*this, kIdDhcpEnable, kIdDhcpDisable, m_nDhcpChoice);
        // A mode without an entry shows none and goes back as read.
        ComboSelect(kIdNetworkMode, m_read.nMode <= model::kWlanAdhoc ? m_read.nMode : -1);
        SetIpv4(kIdIp, m_read.ip);
        SetIpv4(kIdMask, m_read.mask);
        SetIpv4(kIdGateway, m_read.gateway);

        const int nAuth = m_read.nAuth;
        ComboSelect(kIdAuthentication, nAuth < ComboCount(kIdAuthentication) ? nAuth : -1);
        FillCiphers(nAuth);
        ComboSelect(kIdCipher, model::CipherPosition(nAuth, m_read.nCipher));
        const auto nEap = m_read.nEapMethod;
        ComboSelect(kIdEap, model::IsEapAuth(nAuth) && nEap && *nEap < kEapMethodEntries.size() ? *nEap : -1);
        EnableKeyFields(nAuth, m_read.nCipher);
        Enable(kIdSet, true);
    }

    void FillAuthentications(bool bAdhoc) {
        ComboClear(kIdAuthentication);
        for (const std::string& strEntry :
             AuthenticationEntries(bAdhoc ? model::kWlanAdhoc : model::kWlanInfrastructure))
            ComboAdd(kIdAuthentication, tr(strEntry.c_str()));
    }

    void FillCiphers(int nAuth) {
        ComboClear(kIdCipher);
        for (const std::string& strEntry : CipherEntries(nAuth))
            ComboAdd(kIdCipher, tr(strEntry.c_str()));
    }

    void EnableKeyFields(int nAuth, int nCipher) {
        const model::EWlanKey eField = model::KeyInUse(nAuth, nCipher);
        const bool bKnown = nAuth <= model::kAuthWpa2Eap;
        Enable(kIdWepKey, eField == model::EWlanKey::Wep);
        Enable(kIdPsk, bKnown && eField == model::EWlanKey::Psk);
        for (int nId : {kIdEap, kIdEapIdentity, kIdEapPassword})
            Enable(nId, eField == model::EWlanKey::Eap);
    }

    void EnableAddresses(bool bEnable) {
        for (int nId : kAddressIds)
            Enable(nId, bEnable);
    }

    void Refuse(int nId, const std::string& strMessage, const QString& strStored) {
        Message(ToQString(strMessage), EMsgIcon::Warning);
        SetText(nId, strStored);
    }

    void LimitWhileTyping(int nId, const QString& strText, EHubText eText, const QString& strStored) {
        if (model::IsOverLong(eText, ToU16(strText)))
            Refuse(nId, MaximumLengthText(model::MaxHubBytes(eText)), strStored);
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
        const int nPosition = ComboIndex(kIdAuthentication);
        return nPosition >= 0 ? nPosition : m_read.nAuth;
    }

    void OnNetworkModeChanged() {
        TakeFields();
        const bool bAdhoc = ComboIndex(kIdNetworkMode) == 1;
        FillAuthentications(bAdhoc);
        ComboSelect(kIdAuthentication, 0);
        if (bAdhoc) {
            Enable(kIdDhcpEnable, false);
            Enable(kIdDhcpDisable, true);
            SetRadioPair(*this, kIdDhcpEnable, kIdDhcpDisable, 1);
            Control(kIdDhcpDisable)->setFocus();
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
        ComboSelect(kIdCipher, 0);
        // Open system keeps its WEP key field off until WEP is chosen.
        EnableKeyFields(nAuth, nAuth == model::kAuthOpenSystem ? model::kCipherNone : model::CipherAt(nAuth, 0));
        ComboSelect(kIdEap, model::IsEapAuth(nAuth) ? 0 : -1);
    }

    void OnCipherChanged() {
        if (CurrentAuthentication() == model::kAuthOpenSystem)
            Enable(kIdWepKey, ComboIndex(kIdCipher) == 1);
    }

    void OnSet() {
        if (GetText(kIdSsid).isEmpty()) {
            Message(tr("SSID : Minimum length is 1"), EMsgIcon::Warning);
            SetText(kIdSsid, m_strSsid);
            return;
        }
        TakeFields();
        model::SWlan out;
        out.deviceName = m_read.deviceName;
        const int nMode = ComboIndex(kIdNetworkMode);
        out.nMode = static_cast<uint8_t>(nMode >= 0 ? nMode : m_read.nMode);
        out.nDhcp = IsChecked(kIdDhcpEnable) ? 1 : 0;
        out.strSsid = m_strSsid.toStdString();
        out.nInactivity = m_read.nInactivity;
        out.ip = GetIpv4(kIdIp);
        out.mask = GetIpv4(kIdMask);
        out.gateway = GetIpv4(kIdGateway);
        const int nAuth = CurrentAuthentication();
        out.nAuth = static_cast<uint8_t>(nAuth);
        const int nCipherPosition = ComboIndex(kIdCipher);
        out.nCipher = static_cast<uint8_t>(nCipherPosition >= 0 ? model::CipherAt(nAuth, nCipherPosition) : m_read.nCipher);
        const int nEap = ComboIndex(kIdEap);
        out.nEapMethod = nEap >= 0 ? std::optional<uint8_t>(static_cast<uint8_t>(nEap)) : m_read.nEapMethod;

        if ((nAuth == model::kAuthOpenSystem || nAuth == model::kAuthSharedKey) && out.nCipher == model::kCipherWep) {
            if (model::CheckHubText(EHubText::WepKey, ToU16(m_strWepKey)) != model::ETextProblem::None) {
                Message(tr("WEP key is invalid.\nWEP key must be 5 or 13 characters."), EMsgIcon::Warning);
                return;
            }
            out.strWepKey = m_strWepKey.toStdString();
        }
        if (model::IsPskAuth(nAuth)) {
            const model::ETextProblem eProblem = model::CheckHubText(EHubText::Psk, ToU16(m_strPsk));
            if (eProblem == model::ETextProblem::TooShort) {
                Message(tr("PSK Key : Minimum length is 8"), EMsgIcon::Warning);
                return;
            }
            if (eProblem != model::ETextProblem::None) {
                Message(ToQString(MaximumLengthText(model::MaxHubBytes(EHubText::Psk))), EMsgIcon::Warning);
                return;
            }
        }
        out.strPsk = m_strPsk.toStdString();
        out.strEapIdentity = m_strEapIdentity.toStdString();
        out.strEapPassword = m_strEapPassword.toStdString();

        const auto& api = Api();
        const int32_t nSession = Session();
        struct SWrite {
            client::SCallResult result;
            model::CWlanAnswer answer{};
        };
        StartJob<SWrite>(
            [&api, nSession, out] {
                SWrite w;
                w.result = client::CHubClient(api, nSession).WriteWlan(out, w.answer);
                return w;
            },
            [this](SWrite w) {
                if (!w.result.Ok()) {
                    Message(tr("Failed to read success message."), EMsgIcon::Warning);
                } else if (model::IsWlanWriteAcknowledged(w.answer)) {
                    Message(tr("Succeeded to configure network info."), EMsgIcon::Information);
                    Message(tr("Please, turn off the printer and turn on the printer"), EMsgIcon::Information);
                } else {
                    Message(tr("Failed to configure network info."), EMsgIcon::Warning);
                }
            });
    }

    model::SWlan m_read;
    QString m_strDeviceName;
    QString m_strSsid;
    QString m_strWepKey;
    QString m_strPsk;
    QString m_strEapIdentity;
    QString m_strEapPassword;
    int m_nDhcpChoice = 1;  // 0 " Enable", 1 " Disable"
};

}  // namespace

std::unique_ptr<CSettingsPage> CreateWLANConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return std::make_unique<CWLANConfiguration>(context, pParent);
}

}  // namespace vexal::utility
