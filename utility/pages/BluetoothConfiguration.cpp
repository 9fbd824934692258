// The Bluetooth settings page (dialog 136): name, PIN, encryption,
// connection mode and auto connection of the hub's Bluetooth side.
#include <QComboBox>
#include <QLabel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <string_view>

#include "client/HubClient.h"
#include "model/Bluetooth.h"
#include "model/HubText.h"
#include "utility/SettingsPages.h"
#include "utility/pages/PageLists.h"
#include "utility/pages/PageWidgets.h"

namespace vexal::utility {

namespace {

enum : int {
    kIdName = 1038,
    kIdEncryption = 1039,
    kIdPin = 1040,
    kIdMode = 1041,
    kIdAutoConnection = 1043,
    kIdGet = 1036,
    kIdSet = 1037,
    kIdDefault = 1042,
    kIdClose = 1033,
};

// What the read hands back: the values, or the call that failed.
struct SRead {
    client::SCallResult result;
    model::SBluetooth value;
};

class CBluetoothConfiguration final : public CSettingsPage {
public:
    CBluetoothConfiguration(const SQtPageContext& context, QWidget* pParent) : CSettingsPage(136, context, pParent) {
        setWindowTitle(tr("Bluetooth Configuration"));
        auto* pNormal = MakeGroup(tr("Normal Setting"));
        auto* pGrid = new QGridLayout(pNormal);
        auto* pName = MakeEdit(kIdName, tr("Device Name"));
        auto* pEncryption = MakeCombo(kIdEncryption, tr("Encryption"));
        pEncryption->addItems({tr("Disable"), tr("Enable")});
        auto* pPin = MakeEdit(kIdPin, tr("PIN Code"));
        auto* pMode = MakeCombo(kIdMode, tr("Connection Mode"));
        pMode->addItems({tr("Mode 1"), tr("Mode 2"), tr("Mode 3")});
        pGrid->addWidget(MakeLabel(tr("Device &Name :"), pName), 0, 0);
        pGrid->addWidget(pName, 0, 1);
        pGrid->addWidget(MakeLabel(tr("&Encryption :"), pEncryption), 1, 0);
        pGrid->addWidget(pEncryption, 1, 1);
        pGrid->addWidget(MakeLabel(tr("&PIN Code :"), pPin), 2, 0);
        pGrid->addWidget(pPin, 2, 1);
        pGrid->addWidget(MakeLabel(tr("Connection &Mode :"), pMode), 3, 0);
        pGrid->addWidget(pMode, 3, 1);

        auto* pIos = MakeGroup(tr("IOS Only"));
        auto* pIosGrid = new QGridLayout(pIos);
        auto* pAuto = MakeCombo(kIdAutoConnection, tr("Auto Connection"));
        pAuto->addItems({tr("Disable"), tr("Enable")});
        pIosGrid->addWidget(MakeLabel(tr("&Auto Connection :"), pAuto), 0, 0);
        pIosGrid->addWidget(pAuto, 0, 1);

        auto* pButtons = new QHBoxLayout;
        pButtons->addWidget(MakeButton(kIdGet, tr("GET")));
        pButtons->addWidget(MakeButton(kIdSet, tr("SET")));
        pButtons->addWidget(MakeButton(kIdDefault, tr("Default Setting")));
        pButtons->addStretch(1);
        pButtons->addWidget(MakeButton(kIdClose, tr("Close")));

        auto* pLayout = new QVBoxLayout(this);
        pLayout->addWidget(pNormal);
        pLayout->addWidget(pIos);
        pLayout->addLayout(pButtons);

        Show(kIdGet, false);
        for (int nId : {kIdName, kIdEncryption, kIdPin, kIdMode, kIdAutoConnection, kIdSet})
            Enable(nId, false);

        OnClicked(kIdSet, [this] { OnSet(); });
        OnClicked(kIdDefault, [this] { OnDefaultSetting(); });
        OnClicked(kIdClose, [this] { reject(); });
        OnTextEdited(kIdName, [this](const QString& strText) {
            LimitWhileTyping(kIdName, strText, model::EHubText::BluetoothName, m_strName);
        });
        OnTextEdited(kIdPin, [this](const QString& strText) {
            LimitWhileTyping(kIdPin, strText, model::EHubText::BluetoothPin, m_strPin);
        });
    }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        m_strName.clear();
        m_strPin.clear();
        m_nEncryption = 0;
        m_nMode = 0;
        m_nAutoConnection = 0;

        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SRead>(
            [&api, nSession] {
                // The five reads in the order the hub is asked; the first
                // failure ends the job, so no later call goes out.
                SRead read;
                read.result = client::CHubClient(api, nSession).ReadBluetooth(read.value);
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
                            Message(tr(failure[1]), EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_strName = QString::fromStdString(read.value.strName);
                m_strPin = QString::fromStdString(read.value.strPin);
                m_nEncryption = read.value.nEncryption;
                m_nMode = read.value.nMode;
                m_nAutoConnection = read.value.nAutoConnect;
                Fill();
                fnDone(true);
            },
            fnDone);
    }

private:
    void Fill() {
        for (int nId : {kIdName, kIdEncryption, kIdPin, kIdMode, kIdAutoConnection, kIdSet})
            Enable(nId, true);
        SetText(kIdName, m_strName);
        // A value without an entry shows no selection and goes back as read.
        ComboSelect(kIdEncryption, EncryptionPosition(m_nEncryption));
        ComboSelect(kIdMode, ConnectionModePosition(m_nMode));
        ComboSelect(kIdAutoConnection, AutoConnectionPosition(m_nAutoConnection));
        SetText(kIdPin, m_strPin);
    }

    void LimitWhileTyping(int nId, const QString& strText, model::EHubText eText, const QString& strStored) {
        if (model::IsOverLong(eText, ToU16(strText))) {
            Message(ToQString(MaximumLengthText(model::MaxHubBytes(eText))), EMsgIcon::Warning);
            SetText(nId, strStored);
        }
    }

    void OnSet() {
        const QString strName = GetText(kIdName);
        if (strName.isEmpty()) {
            Message(tr("Device Name : Minimum length is 1"), EMsgIcon::Warning);
            SetText(kIdName, m_strName);
            return;
        }
        const QString strPin = GetText(kIdPin);
        if (model::HubByteLength(ToU16(strPin)) < model::MinHubBytes(model::EHubText::BluetoothPin)) {
            Message(tr("PIN Code : Minimum length is 4"), EMsgIcon::Warning);
            SetText(kIdPin, m_strPin);
            return;
        }
        m_strPin = strPin;
        m_strName = strName;
        const int nEncryption = ComboIndex(kIdEncryption);
        const int nMode = ComboIndex(kIdMode);
        const int nAuto = ComboIndex(kIdAutoConnection);
        model::SBluetooth value;
        value.strName = strName.toStdString();
        value.strPin = strPin.toStdString();
        value.nEncryption = static_cast<uint8_t>(nEncryption >= 0 ? '0' + nEncryption : m_nEncryption);
        value.nMode = static_cast<uint8_t>(nMode >= 0 ? model::BluetoothModeChar(nMode + 1) : m_nMode);
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<bool>(
            [&api, nSession, nAuto, value] {
                // Both writes go out; either failing fails the SET. An auto
                // connection the hub reported without an entry is not written.
                client::CHubClient hub(api, nSession);
                bool bAuto = nAuto < 0 || hub.WriteBluetoothAutoConnect(nAuto != 0).Ok();
                bool bInfo = hub.WriteBluetoothInfo(value).Ok();
                return bAuto && bInfo;
            },
            [this](bool bOk) {
                if (bOk) {
                    Message(tr("Set serial communication status is successful"), EMsgIcon::Information);
                    Message(tr("Please, turn off the printer and turn on the printer"), EMsgIcon::Information);
                } else {
                    Message(tr("Set serial communication status is failed"), EMsgIcon::Warning);
                }
            });
    }

    void OnDefaultSetting() {
        ComboSelect(kIdEncryption, EncryptionPosition(model::kBluetoothEncryptionOn));
        ComboSelect(kIdMode, ConnectionModePosition(model::kBluetoothDefaultMode));
        m_strPin = QString::fromLatin1(model::kBluetoothDefaultPin);
        SetText(kIdPin, m_strPin);
    }

    QString m_strName;
    QString m_strPin;
    uint8_t m_nEncryption = 0;
    uint8_t m_nMode = 0;
    uint8_t m_nAutoConnection = 0;
};

}  // namespace

std::unique_ptr<CSettingsPage> CreateBluetoothConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return std::make_unique<CBluetoothConfiguration>(context, pParent);
}

}  // namespace vexal::utility
