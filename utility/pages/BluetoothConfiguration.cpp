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

#include "utility/SettingsPages.h"
#include "utility/pages/LibText.h"
#include "utility/pages/PageRules.h"
#include "utility/pages/PageWidgets.h"
#include "utility/pages/TextField.h"

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

const char16_t kDefaultPin[] = u"8147";

// What the read hands back: the values, or the step that failed.
struct SRead {
    int nFailed = -1;
    std::u16string strName, strPin;
    int32_t nEncryption = 0, nMode = 0;
    uint8_t nAuto = 0;
    SRead Fail(int nStep) {
        nFailed = nStep;
        return *this;
    }
};

class CBluetoothConfiguration final : public CSettingsPage {
public:
    CBluetoothConfiguration(const SPageContext& context, QWidget* pParent) : CSettingsPage(136, context, pParent) {
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
            LimitWhileTyping(kIdName, strText, kBluetoothNameMax, m_strName);
        });
        OnTextEdited(kIdPin, [this](const QString& strText) {
            LimitWhileTyping(kIdPin, strText, kBluetoothPinMax, m_strPin);
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
                {
                    CLibText name;
                    if (api.m_pfn_getBluetoothName(nSession, name.Get()) != 0)
                        return read.Fail(0);
                    read.strName = name.Text();
                }
                if (api.m_pfn_getBluetoothAuthentication(nSession, &read.nEncryption) != 0)
                    return read.Fail(1);
                {
                    CLibText pin;
                    if (api.m_pfn_getBluetoothPinCode(nSession, pin.Get()) != 0)
                        return read.Fail(2);
                    read.strPin = pin.Text();
                }
                if (api.m_pfn_getBluetoothConnectionMode(nSession, &read.nMode) != 0)
                    return read.Fail(3);
                if (api.m_pfn_getBluetoothAutoConnection(nSession, &read.nAuto) != 0)
                    return read.Fail(4);
                return read;
            },
            [this, fnDone](SRead read) {
                if (read.nFailed >= 0) {
                    static const char* const kFailures[] = {
                        "Wrong bluetooth printer name.", "Wrong bluetooth encryption mode.",
                        "Wrong bluetooth pin code.", "Wrong bluetooth connection mode.",
                        "Wrong bluetooth AutoConnection."};
                    Message(tr(kFailures[read.nFailed]), EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_strName = ToQString(read.strName);
                m_strPin = ToQString(read.strPin);
                m_nEncryption = read.nEncryption;
                m_nMode = read.nMode;
                m_nAutoConnection = read.nAuto;
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

    void LimitWhileTyping(int nId, const QString& strText, size_t nMax, const QString& strStored) {
        if (auto message = LengthLimitMessage(ToU16(strText), nMax)) {
            Message(ToQString(*message), EMsgIcon::Warning);
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
        if (AnsiLength(ToU16(strPin)) < kBluetoothPinMin) {
            Message(tr("PIN Code : Minimum length is 4"), EMsgIcon::Warning);
            SetText(kIdPin, m_strPin);
            return;
        }
        m_strPin = strPin;
        m_strName = strName;
        const int nEncryption = ComboIndex(kIdEncryption);
        const int nMode = ComboIndex(kIdMode);
        const int nAuto = ComboIndex(kIdAutoConnection);
        const auto encryption = static_cast<uint8_t>(nEncryption >= 0 ? '0' + nEncryption : m_nEncryption);
        const auto mode = static_cast<uint8_t>(nMode >= 0 ? '1' + nMode : m_nMode);
        const std::u16string name = ToU16(strName);
        const std::u16string pin = ToU16(strPin);
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<bool>(
            [&api, nSession, nAuto, mode, encryption, name, pin] {
                // Both writes go out; either failing fails the SET. An auto
                // connection the hub reported without an entry is not written.
                bool bAuto = nAuto < 0 || api.m_pfn_setBluetoothAutoConnection(nSession, nAuto != 0 ? 1 : 0) == 0;
                bool bInfo = api.m_pfn_setBluetoothInfo(nSession, mode, name.c_str(), pin.c_str(), encryption) == 0;
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
        ComboSelect(kIdEncryption, 1);
        ComboSelect(kIdMode, 1);
        m_strPin = ToQString(kDefaultPin);
        SetText(kIdPin, m_strPin);
    }

    QString m_strName;
    QString m_strPin;
    int32_t m_nEncryption = 0;
    int32_t m_nMode = 0;
    uint8_t m_nAutoConnection = 0;
};

}  // namespace

std::unique_ptr<CSettingsPage> CreateBluetoothConfiguration(const SPageContext& context, QWidget* pParent) {
    return std::make_unique<CBluetoothConfiguration>(context, pParent);
}

}  // namespace vexal::utility
