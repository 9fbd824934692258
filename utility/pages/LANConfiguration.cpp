// The LAN settings page (dialog 144): the hub's MAC address, DHCP and fixed
// addresses, read and written as the 30-byte LAN block.
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "client/HubClient.h"
#include "model/Lan.h"
#include "utility/SettingsPages.h"
#include "utility/pages/PageWidgets.h"

namespace vexal::utility {

namespace {

enum : int {
    kIdMac = 1073,
    kIdDhcpEnable = 1057,
    kIdDhcpDisable = 1058,
    kIdIp = 1061,
    kIdMask = 1062,
    kIdGateway = 1063,
    kIdDns = 1064,
    kIdInactivity = 1071,
    kIdGet = 1036,
    kIdSet = 1037,
    kIdDefault = 1042,
    kIdClose = 1033,
};

constexpr int kAddressIds[] = {kIdIp, kIdMask, kIdGateway, kIdDns};

class CLANConfiguration final : public CSettingsPage {
public:
    CLANConfiguration(const SPageContext& context, QWidget* pParent) : CSettingsPage(144, context, pParent) {
        setWindowTitle(tr("LAN Configuration"));
        auto* pGrid = new QGridLayout;
        auto* pMac = MakeEdit(kIdMac, tr("MAC Address"));
        pMac->setReadOnly(true);
        MakeRadio(kIdDhcpEnable, tr(" &Enable"));
        MakeRadio(kIdDhcpDisable, tr(" &Disable"));
        QWidget* pDhcp = MakeRadioRow(*this, kIdDhcpEnable, kIdDhcpDisable);
        auto* pIp = MakeIpv4(kIdIp, tr("IP Address"));
        auto* pMask = MakeIpv4(kIdMask, tr("Subnet Mask"));
        auto* pGateway = MakeIpv4(kIdGateway, tr("Gateway"));
        auto* pDns = MakeIpv4(kIdDns, tr("DNS"));
        int nRow = 0;
        pGrid->addWidget(MakeLabel(tr("&MAC Address :"), pMac), nRow, 0);
        pGrid->addWidget(pMac, nRow++, 1);
        pGrid->addWidget(MakeLabel(tr("DHCP Mode :"), Control(kIdDhcpEnable)), nRow, 0);
        pGrid->addWidget(pDhcp, nRow++, 1);
        pGrid->addWidget(MakeLabel(tr("&IP Address :"), pIp), nRow, 0);
        pGrid->addWidget(pIp, nRow++, 1);
        pGrid->addWidget(MakeLabel(tr("&Subnet Mask : "), pMask), nRow, 0);
        pGrid->addWidget(pMask, nRow++, 1);
        pGrid->addWidget(MakeLabel(tr("&Gateway  :"), pGateway), nRow, 0);
        pGrid->addWidget(pGateway, nRow++, 1);
        pGrid->addWidget(MakeLabel(tr("D&NS  :"), pDns), nRow, 0);
        pGrid->addWidget(pDns, nRow++, 1);
        AddHiddenInactivityRow(pGrid, nRow, kIdInactivity);

        LayOutWithButtons(pGrid, kIdGet, kIdSet, kIdDefault, kIdClose);
        Enable(kIdMac, false);
        Enable(kIdSet, false);

        OnClicked(kIdDhcpEnable, [this] { EnableAddresses(false); });
        OnClicked(kIdDhcpDisable, [this] { EnableAddresses(true); });
        OnClicked(kIdSet, [this] { OnSet(); });
        OnClicked(kIdGet, [this] { OnGet(); });
        OnClicked(kIdClose, [this] { reject(); });
    }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        Read([this, fnDone](bool bRead) {
            if (!bRead) {
                fnDone(false);
                return;
            }
            Enable(kIdDhcpEnable, true);
            Enable(kIdDhcpDisable, true);
            SetText(kIdMac, m_strMac);
            // DHCP on: the hub finds its own addresses. A value other than 0 or 1
            // checks neither button.
            const uint8_t nDhcp = m_settings.nDhcp;
            SetRadioPair(*this, kIdDhcpEnable, kIdDhcpDisable, nDhcp == 1 ? 0 : nDhcp == 0 ? 1 : -1);
            EnableAddresses(nDhcp != 1);
            ShowAddresses();
            Enable(kIdSet, true);
            fnDone(true);
        });
    }

private:
    struct SRead {
        client::SCallResult result;
        model::SLan value;
    };

    // Reads the block into the members; fnDone follows with the outcome (a
    // failed read has shown its message).
    void Read(std::function<void(bool)> fnDone) {
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SRead>(
            [&api, nSession] {
                SRead r;
                r.result = client::CHubClient(api, nSession).ReadLan(r.value);
                return r;
            },
            [this, fnDone](SRead r) {
                if (!r.result.Ok()) {
                    Message(tr("Failed to read LAN configuration info."), EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_settings = r.value;
                m_strMac = ToQString(model::FormatMac(m_settings.mac));
                fnDone(true);
            },
            fnDone);
    }

    void ShowAddresses() {
        SetIpv4(kIdIp, m_settings.ip);
        SetIpv4(kIdMask, m_settings.mask);
        SetIpv4(kIdGateway, m_settings.gateway);
        SetIpv4(kIdDns, m_settings.dns);
    }

    void EnableAddresses(bool bEnable) {
        for (int nId : kAddressIds)
            Enable(nId, bEnable);
    }

    void OnGet() {
        Read([this](bool bRead) {
            if (!bRead)
                return;
            SetText(kIdMac, m_strMac);
            const uint8_t nDhcp = m_settings.nDhcp;
            SetRadioPair(*this, kIdDhcpEnable, kIdDhcpDisable, nDhcp == 1 ? 0 : nDhcp == 0 ? 1 : -1);
            ShowAddresses();
            Enable(kIdSet, true);
        });
    }

    void OnSet() {
        model::SLan out;
        // The MAC field cannot be edited: it holds what the hub sent.
        out.mac = model::ParseMac(GetText(kIdMac).toStdString()).value_or(m_settings.mac);
        out.nDhcp = IsChecked(kIdDhcpEnable) ? 1 : 0;
        // Sent as they stand, also with DHCP on.
        out.ip = GetIpv4(kIdIp);
        out.mask = GetIpv4(kIdMask);
        out.gateway = GetIpv4(kIdGateway);
        out.dns = GetIpv4(kIdDns);
        const auto& api = Api();
        const int32_t nSession = Session();
        struct SWrite {
            client::SCallResult result;
            uint8_t nStatus = 0;
        };
        StartJob<SWrite>(
            [&api, nSession, out] {
                SWrite w;
                w.result = client::CHubClient(api, nSession).WriteLan(out, w.nStatus);
                return w;
            },
            [this](SWrite w) {
                if (!w.result.Ok()) {
                    Message(tr("Failed to read success message."), EMsgIcon::Warning);
                } else if (w.nStatus != 0) {
                    Message(tr("Failed to configure network info."), EMsgIcon::Warning);
                } else {
                    Message(tr("Succeeded to configure network info."), EMsgIcon::Information);
                    Message(tr("Please, turn off the printer and turn on the printer"), EMsgIcon::Information);
                }
            });
    }

    model::SLan m_settings;
    QString m_strMac;
};

}  // namespace

std::unique_ptr<CSettingsPage> CreateLANConfiguration(const SPageContext& context, QWidget* pParent) {
    return std::make_unique<CLANConfiguration>(context, pParent);
}

}  // namespace vexal::utility
