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

#include <array>

#include "utility/SettingsPages.h"
#include "utility/pages/PageRules.h"
#include "utility/pages/PageWidgets.h"
#include "utility/pages/TextField.h"
#include "utility/pages/WlanBlock.h"

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
    kIdGet = 1036,
    kIdSet = 1037,
    kIdDefault = 1042,
    kIdClose = 1033,
};

constexpr int kAddressIds[] = {kIdIp, kIdMask, kIdGateway};

class CWLANConfiguration final : public CSettingsPage {
public:
    CWLANConfiguration(const SPageContext& context, QWidget* pParent) : CSettingsPage(137, context, pParent) {
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
        OnTextEdited(kIdSsid, [this](const QString& strText) {
            if (auto message = LengthLimitMessage(ToU16(strText), kSsidMax))
                Refuse(kIdSsid, *message, m_strSsid);
        });
        OnTextEdited(kIdPsk, [this](const QString& strText) {
            if (auto message = PskLimitMessage(ToU16(strText)))
                Refuse(kIdPsk, *message, m_strPsk);
        });
        OnTextEdited(kIdEapIdentity, [this](const QString& strText) {
            if (auto message = LengthLimitMessage(ToU16(strText), kEapIdentityMax))
                Refuse(kIdEapIdentity, *message, m_strEapIdentity);
        });
        OnTextEdited(kIdEapPassword, [this](const QString& strText) {
            if (auto message = LengthLimitMessage(ToU16(strText), kEapPasswordMax))
                Refuse(kIdEapPassword, *message, m_strEapPassword);
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
        int32_t nResult = 0;
        std::array<uint8_t, kWlanBlockSize> block{};
    };

    // Reads the block into the members; fnDone follows with the outcome (a
    // failed read has shown its message).
    void Read(std::function<void(bool)> fnDone) {
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SRead>(
            [&api, nSession] {
                SRead r;
                r.nResult = api.m_pfn_getWlanInfo(nSession, r.block.data());
                return r;
            },
            [this, fnDone](SRead r) {
                if (r.nResult != 0) {
                    Message(tr("Failed to read WLAN configuration info."), EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_read = DecodeWlanBlock(r.block);
                m_strDeviceName = ToQString(ReadTextField(m_read.deviceName));
                m_strSsid = ToQString(m_read.strSsid);
                m_strWepKey = ToQString(m_read.strWepKey);
                m_strPsk = ToQString(m_read.strPsk);
                m_strEapIdentity = ToQString(m_read.strEapIdentity);
                m_strEapPassword = ToQString(m_read.strEapPassword);
                m_nDhcpChoice = (m_read.nNetworkMode != 0 || m_read.nDhcp == 0) ? 1 : 0;
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

        const bool bAdhoc = m_read.nNetworkMode != 0;
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
        ComboSelect(kIdNetworkMode, m_read.nNetworkMode <= 1 ? m_read.nNetworkMode : -1);
        SetIpv4(kIdIp, m_read.ip);
        SetIpv4(kIdMask, m_read.mask);
        SetIpv4(kIdGateway, m_read.gateway);

        const int nAuth = m_read.nAuthentication;
        ComboSelect(kIdAuthentication, nAuth < ComboCount(kIdAuthentication) ? nAuth : -1);
        FillCiphers(nAuth);
        ComboSelect(kIdCipher, CipherPosition(nAuth, m_read.nCipher));
        ComboSelect(kIdEap, IsEapAuthentication(nAuth) && m_read.nEapMethod < kEapMethodEntries.size()
                                ? m_read.nEapMethod
                                : -1);
        EnableKeyFields(nAuth, m_read.nCipher);
        Enable(kIdSet, true);
    }

    void FillAuthentications(bool bAdhoc) {
        ComboClear(kIdAuthentication);
        for (const std::string& strEntry : AuthenticationEntries(bAdhoc))
            ComboAdd(kIdAuthentication, tr(strEntry.c_str()));
    }

    void FillCiphers(int nAuth) {
        ComboClear(kIdCipher);
        for (const std::string& strEntry : CipherEntries(nAuth))
            ComboAdd(kIdCipher, tr(strEntry.c_str()));
    }

    void EnableKeyFields(int nAuth, int nCipher) {
        const EWlanKeyField eField = KeyFieldInUse(nAuth, nCipher);
        const bool bKnown = nAuth <= kAuthWpa2Eap;
        Enable(kIdWepKey, eField == EWlanKeyField::Wep);
        Enable(kIdPsk, bKnown && eField == EWlanKeyField::Psk);
        for (int nId : {kIdEap, kIdEapIdentity, kIdEapPassword})
            Enable(nId, eField == EWlanKeyField::Eap);
    }

    void EnableAddresses(bool bEnable) {
        for (int nId : kAddressIds)
            Enable(nId, bEnable);
    }

    void Refuse(int nId, const std::string& strMessage, const QString& strStored) {
        Message(ToQString(strMessage), EMsgIcon::Warning);
        SetText(nId, strStored);
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
        return nPosition >= 0 ? nPosition : m_read.nAuthentication;
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
        EnableKeyFields(nAuth, nAuth == kAuthOpenSystem ? kCipherNone : CipherValue(nAuth, 0));
        ComboSelect(kIdEap, IsEapAuthentication(nAuth) ? 0 : -1);
    }

    void OnCipherChanged() {
        if (CurrentAuthentication() == kAuthOpenSystem)
            Enable(kIdWepKey, ComboIndex(kIdCipher) == 1);
    }

    void OnSet() {
        if (GetText(kIdSsid).isEmpty()) {
            Message(tr("SSID : Minimum length is 1"), EMsgIcon::Warning);
            SetText(kIdSsid, m_strSsid);
            return;
        }
        TakeFields();
        SWlanSettings out;
        out.deviceName = m_read.deviceName;
        const int nMode = ComboIndex(kIdNetworkMode);
        out.nNetworkMode = static_cast<uint8_t>(nMode >= 0 ? nMode : m_read.nNetworkMode);
        out.nDhcp = IsChecked(kIdDhcpEnable) ? 1 : 0;
        out.strSsid = ToU16(m_strSsid);
        out.nInactivity = m_read.nInactivity;
        out.ip = GetIpv4(kIdIp);
        out.mask = GetIpv4(kIdMask);
        out.gateway = GetIpv4(kIdGateway);
        const int nAuth = CurrentAuthentication();
        out.nAuthentication = static_cast<uint8_t>(nAuth);
        const int nCipherPosition = ComboIndex(kIdCipher);
        out.nCipher = static_cast<uint8_t>(nCipherPosition >= 0 ? CipherValue(nAuth, nCipherPosition) : m_read.nCipher);
        const int nEap = ComboIndex(kIdEap);
        out.nEapMethod = static_cast<uint8_t>(nEap >= 0 ? nEap : m_read.nEapMethod);

        if ((nAuth == kAuthOpenSystem || nAuth == kAuthSharedKey) && out.nCipher == kCipherWep) {
            if (!IsValidWepKey(ToU16(m_strWepKey))) {
                Message(tr("WEP key is invalid.\nWEP key must be 5 or 13 characters."), EMsgIcon::Warning);
                return;
            }
            out.strWepKey = ToU16(m_strWepKey);
        }
        if (IsPskAuthentication(nAuth)) {
            if (auto message = PskSetMessage(ToU16(m_strPsk))) {
                Message(ToQString(*message), EMsgIcon::Warning);
                return;
            }
        }
        out.strPsk = ToU16(m_strPsk);
        out.strEapIdentity = ToU16(m_strEapIdentity);
        out.strEapPassword = ToU16(m_strEapPassword);
        const auto block = EncodeWlanBlock(out);

        const auto& api = Api();
        const int32_t nSession = Session();
        struct SWrite {
            int32_t nResult = 0;
            std::array<uint8_t, kWlanAnswerSize> answer{};
        };
        StartJob<SWrite>(
            [&api, nSession, block] {
                SWrite w;
                w.nResult = api.m_pfn_setWlanInfo(nSession, block.data() + kWlanWriteOffset,
                                                  static_cast<int32_t>(kWlanWriteSize), w.answer.data());
                return w;
            },
            [this](SWrite w) {
                if (w.nResult != 0) {
                    Message(tr("Failed to read success message."), EMsgIcon::Warning);
                } else if (IsWlanWriteAcknowledged(w.answer)) {
                    Message(tr("Succeeded to configure network info."), EMsgIcon::Information);
                    Message(tr("Please, turn off the printer and turn on the printer"), EMsgIcon::Information);
                } else {
                    Message(tr("Failed to configure network info."), EMsgIcon::Warning);
                }
            });
    }

    SWlanSettings m_read;
    QString m_strDeviceName;
    QString m_strSsid;
    QString m_strWepKey;
    QString m_strPsk;
    QString m_strEapIdentity;
    QString m_strEapPassword;
    int m_nDhcpChoice = 1;  // 0 " Enable", 1 " Disable"
};

}  // namespace

std::unique_ptr<CSettingsPage> CreateWLANConfiguration(const SPageContext& context, QWidget* pParent) {
    return std::make_unique<CWLANConfiguration>(context, pParent);
}

}  // namespace vexal::utility
