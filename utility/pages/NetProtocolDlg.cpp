// The net protocol page (dialog 145): the hub's telnet service, its SNMP
// agent and the two SNMP community strings. Only changed values are sent.
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <string_view>
#include <utility>

#include "client/HubClient.h"
#include "model/NetProto.h"
#include "model/TextFields.h"
#include "utility/SettingsPages.h"
#include "utility/pages/PageLists.h"
#include "utility/pages/PageWidgets.h"

namespace vexal::utility {

namespace {

enum : int {
    kIdTelnetDisable = 1034,
    kIdTelnetEnable = 1035,
    kIdSnmpDisable = 1074,
    kIdSnmpEnable = 1075,
    kIdReadOnly = 1078,
    kIdReadWrite = 1079,
    kIdGet = 1076,
    kIdSet = 1077,
    kIdClose = 1033,
};

struct SServicesRead {
    client::SCallResult result;
    model::SNetProto value;
};

// What a SET sent: each step that went out and whether it succeeded.
struct SServicesWrite {
    int nFailed = -1;
    bool bTelnet = false, bSnmp = false, bReadOnly = false, bReadWrite = false;
};

class CNetProtocolDlg final : public CSettingsPage {
public:
    CNetProtocolDlg(const SQtPageContext& context, QWidget* pParent) : CSettingsPage(145, context, pParent) {
        setWindowTitle(tr("Net Protocol Configuration"));
        auto* pProtocol = MakeGroup(tr("Protocol"));
        auto* pProtocolGrid = new QGridLayout(pProtocol);
        MakeRadio(kIdTelnetDisable, tr("Disable"));
        MakeRadio(kIdTelnetEnable, tr("Enable"));
        MakeRadio(kIdSnmpDisable, tr("Disable"));
        MakeRadio(kIdSnmpEnable, tr("Enable"));
        Control(kIdTelnetDisable)->setAccessibleName(tr("TELNET Disable"));
        Control(kIdTelnetEnable)->setAccessibleName(tr("TELNET Enable"));
        Control(kIdSnmpDisable)->setAccessibleName(tr("SNMP Disable"));
        Control(kIdSnmpEnable)->setAccessibleName(tr("SNMP Enable"));
        pProtocolGrid->addWidget(MakeLabel(tr("TELNET"), Control(kIdTelnetDisable)), 0, 0);
        pProtocolGrid->addWidget(MakeRadioRow(*this, kIdTelnetDisable, kIdTelnetEnable), 0, 1);
        pProtocolGrid->addWidget(MakeLabel(tr("SNMP"), Control(kIdSnmpDisable)), 1, 0);
        pProtocolGrid->addWidget(MakeRadioRow(*this, kIdSnmpDisable, kIdSnmpEnable), 1, 1);

        auto* pSnmp = MakeGroup(tr("SNMP(Simple Network Management Protocol)"));
        auto* pSnmpGrid = new QGridLayout(pSnmp);
        auto* pReadOnly = MakeEdit(kIdReadOnly, tr("Read-only community"));
        auto* pReadWrite = MakeEdit(kIdReadWrite, tr("Read-write community"));
        pSnmpGrid->addWidget(MakeLabel(tr("Read-&only community"), pReadOnly), 0, 0);
        pSnmpGrid->addWidget(pReadOnly, 0, 1);
        pSnmpGrid->addWidget(MakeLabel(tr("Read-&write community"), pReadWrite), 1, 0);
        pSnmpGrid->addWidget(pReadWrite, 1, 1);

        auto* pButtons = new QHBoxLayout;
        pButtons->addWidget(MakeButton(kIdGet, tr("GET")));
        pButtons->addWidget(MakeButton(kIdSet, tr("SET")));
        pButtons->addStretch(1);
        pButtons->addWidget(MakeButton(kIdClose, tr("Close")));
        auto* pLayout = new QVBoxLayout(this);
        pLayout->addWidget(pProtocol);
        pLayout->addWidget(pSnmp);
        pLayout->addLayout(pButtons);
        Show(kIdGet, false);

        // A community goes to the hub in one frame with its command.
        for (auto [nId, pStored] : {std::pair{kIdReadOnly, &m_strReadOnly}, std::pair{kIdReadWrite, &m_strReadWrite}})
            OnTextEdited(nId, [this, nId = nId, pStored = pStored](const QString& strText) {
                if (model::IsOverLong(model::EHubText::Community, ToU16(strText))) {
                    Message(ToQString(MaximumLengthText(model::MaxHubBytes(model::EHubText::Community))),
                            EMsgIcon::Warning);
                    SetText(nId, *pStored);
                }
            });
        OnClicked(kIdSnmpDisable, [this] { EnableCommunities(); });
        OnClicked(kIdSnmpEnable, [this] { EnableCommunities(); });
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
    // Reads the four values into the members; fnDone follows with the
    // outcome (a failed read has shown its message).
    void Read(std::function<void(bool)> fnDone) {
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SServicesRead>(
            [&api, nSession] {
                SServicesRead read;
                read.result = client::CHubClient(api, nSession).ReadNetProto(read.value);
                return read;
            },
            [this, fnDone](SServicesRead read) {
                if (!read.result.Ok()) {
                    static const char* const kFailures[][2] = {{"getTelnetAvailable", "Failed to read telnet info."},
                                                               {"getSNMPAvailable", "Failed to read SNMP info."},
                                                               {"getSNMPROCommunity", "Failed to read SNMP RO string."},
                                                               {"getSNMPRWCommunity", "Failed to read SNMP RW string."}};
                    for (const auto& failure : kFailures)
                        if (read.result.pszCall && std::string_view(read.result.pszCall) == failure[0])
                            Message(tr(failure[1]), EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_nTelnet = read.value.Telnet() ? 1 : 0;
                m_nSnmp = read.value.Snmp() ? 1 : 0;
                m_strReadOnly = QString::fromStdString(read.value.strReadOnly);
                m_strReadWrite = QString::fromStdString(read.value.strReadWrite);
                fnDone(true);
            },
            fnDone);
    }

    void Fill() {
        for (int nId : {kIdTelnetDisable, kIdTelnetEnable, kIdSnmpDisable, kIdSnmpEnable, kIdSet})
            Enable(nId, true);
        SetText(kIdReadOnly, m_strReadOnly);
        SetText(kIdReadWrite, m_strReadWrite);
        SetRadioPair(*this, kIdTelnetDisable, kIdTelnetEnable, m_nTelnet);
        SetRadioPair(*this, kIdSnmpDisable, kIdSnmpEnable, m_nSnmp);
        EnableCommunities();
    }

    void EnableCommunities() {
        const bool bEnable = IsChecked(kIdSnmpEnable);
        Enable(kIdReadOnly, bEnable);
        Enable(kIdReadWrite, bEnable);
    }

    void OnSet() {
        const int nTelnet = IsChecked(kIdTelnetEnable) ? 1 : 0;
        const int nSnmp = IsChecked(kIdSnmpEnable) ? 1 : 0;
        const QString strReadOnly = GetText(kIdReadOnly);
        const QString strReadWrite = GetText(kIdReadWrite);
        const bool bTelnet = nTelnet != m_nTelnet;
        const bool bSnmp = nSnmp != m_nSnmp;
        const bool bReadOnly = strReadOnly != m_strReadOnly;
        const bool bReadWrite = strReadWrite != m_strReadWrite;
        const std::string readOnly = strReadOnly.toStdString();
        const std::string readWrite = strReadWrite.toStdString();
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SServicesWrite>(
            [&api, nSession, nTelnet, nSnmp, bTelnet, bSnmp, bReadOnly, bReadWrite, readOnly, readWrite] {
                SServicesWrite w;
                auto Fail = [&w](int nStep) {
                    w.nFailed = nStep;
                    return w;
                };
                client::CHubClient hub(api, nSession);
                if (bTelnet) {
                    if (!hub.WriteTelnet(nTelnet != 0).Ok())
                        return Fail(0);
                    w.bTelnet = true;
                }
                if (bSnmp) {
                    if (!hub.WriteSnmp(nSnmp != 0).Ok())
                        return Fail(1);
                    w.bSnmp = true;
                }
                if (bReadOnly) {
                    if (!hub.WriteReadOnlyCommunity(readOnly).Ok())
                        return Fail(2);
                    w.bReadOnly = true;
                }
                if (bReadWrite) {
                    if (!hub.WriteReadWriteCommunity(readWrite).Ok())
                        return Fail(3);
                    w.bReadWrite = true;
                }
                return w;
            },
            [this, nTelnet, nSnmp, strReadOnly, strReadWrite](SServicesWrite written) {
                // Only what the hub took is remembered as sent, so that a failed
                // write goes out again with the next SET.
                if (written.bTelnet)
                    m_nTelnet = nTelnet;
                if (written.bSnmp)
                    m_nSnmp = nSnmp;
                if (written.bReadOnly)
                    m_strReadOnly = strReadOnly;
                if (written.bReadWrite)
                    m_strReadWrite = strReadWrite;
                if (written.nFailed >= 0) {
                    static const char* const kFailures[] = {
                        "Failed to configure telnet info.", "Failed to configure SNMP info.",
                        "Failed to configure SNMP RO string.", "Failed to configure SNMP RW string."};
                    Message(tr(kFailures[written.nFailed]), EMsgIcon::Warning);
                    return;
                }
                Message(tr("Succeeded to configure web interface info."), EMsgIcon::Information);
            });
    }

    int m_nTelnet = 0;
    int m_nSnmp = 0;
    QString m_strReadOnly;
    QString m_strReadWrite;
};

}  // namespace

std::unique_ptr<CSettingsPage> CreateNetProtocolDlg(const SQtPageContext& context, QWidget* pParent) {
    return std::make_unique<CNetProtocolDlg>(context, pParent);
}

}  // namespace vexal::utility
