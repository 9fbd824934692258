// The USB-to-serial settings page (dialog 141): line settings of one of the
// adapters the hub carries under device IDs 100..129.
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "client/HubClient.h"
#include "model/SerialLine.h"
#include "utility/SettingsPages.h"
#include "utility/TextBytes.h"
#include "utility/pages/PageLists.h"
#include "utility/pages/PageWidgets.h"

namespace vexal::utility {

namespace {

enum : int {
    kIdDevice = 1047,
    kIdBaudRate = 1043,
    kIdDataLength = 1044,
    kIdStopBit = 1045,
    kIdParity = 1046,
    kIdGet = 1036,
    kIdSet = 1037,
    kIdRefresh = 1038,
    kIdClose = 1033,
};

constexpr int kSettingIds[] = {kIdBaudRate, kIdDataLength, kIdStopBit, kIdParity};

using CLineValues = std::array<uint8_t, 4>;  // baud rate, data length, stop bits, parity

struct SDeviceList {
    int32_t nResult = 0;
    std::vector<std::string> texts;
};

// The read before the page shows: the adapters, and the first one's values.
struct SFirstRead {
    SDeviceList list;
    int32_t nRead = -1;
    CLineValues values{};
};

struct SLineRead {
    int32_t nResult = 0;
    CLineValues values{};
};

class CUsbToSerialConfiguration final : public CSettingsPage {
public:
    CUsbToSerialConfiguration(const SQtPageContext& context, QWidget* pParent) : CSettingsPage(141, context, pParent) {
        setWindowTitle(tr("USB to Serial Configuration"));
        auto* pGrid = new QGridLayout;
        auto addList = [&](int nRow, int nId, const QString& strLabel, const QString& strName) {
            auto* pCombo = MakeCombo(nId, strName);
            pGrid->addWidget(MakeLabel(strLabel, pCombo), nRow, 0);
            pGrid->addWidget(pCombo, nRow, 1);
            return pCombo;
        };
        addList(0, kIdDevice, tr("&Device :"), tr("Device"));
        auto fill = [](QComboBox* pCombo, const std::vector<std::string>& entries) {
            for (const std::string& strEntry : entries)
                pCombo->addItem(QString::fromStdString(strEntry));
        };
        fill(addList(1, kIdBaudRate, tr("&Baudrate :"), tr("Baudrate")), BaudRateEntries());
        fill(addList(2, kIdDataLength, tr("Data &Length :"), tr("Data Length")), DataLengthEntries());
        fill(addList(3, kIdStopBit, tr("S&top Bit :"), tr("Stop Bit")), StopBitEntries());
        fill(addList(4, kIdParity, tr("&Parity :"), tr("Parity")), ParityEntries());

        auto* pButtons = new QHBoxLayout;
        pButtons->addWidget(MakeButton(kIdGet, tr("Get Serial")));
        pButtons->addWidget(MakeButton(kIdSet, tr("Set Serial")));
        pButtons->addWidget(MakeButton(kIdRefresh, tr("Refresh")));
        pButtons->addStretch(1);
        pButtons->addWidget(MakeButton(kIdClose, tr("Close")));
        auto* pLayout = new QVBoxLayout(this);
        pLayout->addLayout(pGrid);
        pLayout->addLayout(pButtons);

        Show(kIdGet, false);
        for (int nId : {kIdDevice, kIdBaudRate, kIdDataLength, kIdStopBit, kIdParity, kIdGet, kIdSet})
            Enable(nId, false);

        OnActivated(kIdDevice, [this](int) { OnGetSerial(); });
        OnClicked(kIdGet, [this] { OnGetSerial(); });
        OnClicked(kIdSet, [this] { OnSetSerial(); });
        OnClicked(kIdRefresh, [this] { OnRefresh(); });
        OnClicked(kIdClose, [this] { reject(); });
    }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SFirstRead>(
            [&api, nSession] {
                SFirstRead r;
                r.list = ListDevices(api, nSession);
                if (r.list.nResult == 0 && !r.list.texts.empty())
                    r.nRead = ReadLine(api, nSession, DeviceId(r.list.texts.front()), r.values);
                return r;
            },
            [this, fnDone](SFirstRead r) {
                if (r.list.nResult != 0 || r.list.texts.empty()) {
                    Message(tr("No connected USB to Serial device."), EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                if (r.nRead != 0) {
                    Message(tr("Failed to getSerialConfiguration."), EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                FillDevices(r.list.texts);
                Enable(kIdGet, true);
                Enable(kIdDevice, true);
                ShowValues(r.values);
                fnDone(true);
            },
            fnDone);
    }

private:
    // On the worker: the hub's device IDs, the adapters among them.
    static SDeviceList ListDevices(const client::CfgApiTable& api, int32_t nSession) {
        std::vector<int> ids;
        SDeviceList list;
        list.nResult = client::CHubClient(api, nSession).ReadDeviceIds(ids).nCode;
        for (int nId : model::SerialAdapters(ids))
            list.texts.push_back(model::DeviceIdText(nId));
        return list;
    }

    static int32_t ReadLine(const client::CfgApiTable& api, int32_t nSession, uint8_t nDevice, CLineValues& values) {
        model::SSerialLine line{0, 0, 0, 0};
        const int32_t nResult = client::CHubClient(api, nSession).ReadSerialLine(nDevice, line).nCode;
        values = {line.nBaud, line.nDataBits, line.nStopBits, line.nParity};
        return nResult;
    }

    static uint8_t DeviceId(const std::string& strText) {
        uint8_t nId = 0;
        const std::u16string text(strText.begin(), strText.end());
        HexTextToBytes(text, &nId, 1);
        return nId;
    }

    void FillDevices(const std::vector<std::string>& texts) {
        ComboClear(kIdDevice);
        for (const std::string& strText : texts)
            ComboAdd(kIdDevice, QString::fromStdString(strText));
        ComboSelect(kIdDevice, 0);
    }

    // Shows the values just read for the selected device; only then may
    // Set Serial write to it. A value without an entry shows none and goes
    // back as read.
    void ShowValues(const CLineValues& values) {
        m_values = values;
        for (size_t i = 0; i < values.size(); ++i) {
            const int nId = kSettingIds[i];
            ComboSelect(nId, values[i] < ComboCount(nId) ? values[i] : -1);
            Enable(nId, true);
        }
        Enable(kIdSet, true);
    }

    void OnGetSerial() {
        if (ComboIndex(kIdDevice) < 0) {
            Message(tr("Invalid device ID"), EMsgIcon::Warning);
            return;
        }
        ReadSelected();
    }

    void ReadSelected() {
        const uint8_t nDevice = DeviceId(GetText(kIdDevice).toStdString());
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SLineRead>(
            [&api, nSession, nDevice] {
                SLineRead r;
                r.nResult = ReadLine(api, nSession, nDevice, r.values);
                return r;
            },
            [this](SLineRead r) {
                if (r.nResult != 0) {
                    // The lists now show another device's values: no writing them.
                    Enable(kIdSet, false);
                    Message(tr("Wrong configuration value."), EMsgIcon::Warning);
                    return;
                }
                ShowValues(r.values);
            });
    }

    void OnSetSerial() {
        if (ComboIndex(kIdDevice) < 0) {
            Message(tr("Invalid device ID"), EMsgIcon::Warning);
            return;
        }
        const uint8_t nDevice = DeviceId(GetText(kIdDevice).toStdString());
        CLineValues values = m_values;
        for (size_t i = 0; i < values.size(); ++i)
            if (int nPosition = ComboIndex(kSettingIds[i]); nPosition >= 0)
                values[i] = static_cast<uint8_t>(nPosition);
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<int32_t>(
            [&api, nSession, nDevice, values] {
                const model::SSerialLine line{values[0], values[1], values[2], values[3]};
                return client::CHubClient(api, nSession).WriteSerialLine(nDevice, line).nCode;
            },
            [this](int32_t nResult) {
                if (nResult == 0) {
                    Message(tr("Success to configure Serial info."), EMsgIcon::Information);
                    Message(tr("Please, turn off the printer and turn on the printer"), EMsgIcon::Information);
                } else {
                    Message(tr("Failed to configure Serial info."), EMsgIcon::Warning);
                }
            });
    }

    void OnRefresh() {
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SDeviceList>([&api, nSession] { return ListDevices(api, nSession); }, [this](SDeviceList list) {
            if (list.nResult != 0 || list.texts.empty()) {
                for (int nId : {kIdGet, kIdDevice, kIdBaudRate, kIdDataLength, kIdStopBit, kIdParity, kIdSet})
                    Enable(nId, false);
                Message(tr("No connected USB to Serial device."), EMsgIcon::Warning);
                return;
            }
            FillDevices(list.texts);
            Enable(kIdGet, true);
            Enable(kIdDevice, true);
            // The lists still show the device read before: read the one now
            // selected, and keep Set Serial off until that succeeded.
            Enable(kIdSet, false);
            ReadSelected();
        });
    }

    CLineValues m_values{};
};

}  // namespace

std::unique_ptr<CSettingsPage> CreateUsbToSerialConfiguration(const SQtPageContext& context, QWidget* pParent) {
    return std::make_unique<CUsbToSerialConfiguration>(context, pParent);
}

}  // namespace vexal::utility
