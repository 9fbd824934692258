// The interface usage page (dialog 146): which of the hub's host interfaces
// (Bluetooth, wired LAN, wireless LAN) may be used.
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>

#include "client/HubClient.h"
#include "model/Usage.h"
#include "utility/SettingsPages.h"
#include "utility/pages/PageLists.h"
#include "utility/pages/PageWidgets.h"

namespace vexal::utility {

namespace {

enum : int { kIdGet = 1076, kIdSet = 1077, kIdClose = 1033 };

struct SRow {
    const char* pszLabel;
    int nDisable;
    int nEnable;
};
// USB, Bluetooth, LAN, WLAN: the order of the library's four values.
constexpr std::array<SRow, 4> kRows = {{{"USB", 1034, 1035}, {"Bluetooth", 1036, 1037}, {"LAN", 1038, 1039},
                                        {"WLAN", 1040, 1041}}};

using CUsage = std::array<int32_t, 4>;

struct SUsageRead {
    int32_t nResult = 0;
    CUsage values{};
};

class CInterfaceUsageDlg final : public CSettingsPage {
public:
    CInterfaceUsageDlg(const SQtPageContext& context, QWidget* pParent) : CSettingsPage(146, context, pParent) {
        setWindowTitle(tr("Interface Usage Configuration"));
        auto* pGrid = new QGridLayout;
        for (size_t i = 0; i < kRows.size(); ++i) {
            const SRow& row = kRows[i];
            MakeRadio(row.nDisable, tr("Disable"));
            MakeRadio(row.nEnable, tr("Enable"));
            auto* pLabel = MakeLabel(tr(row.pszLabel), Control(row.nDisable));
            QWidget* pPair = MakeRadioRow(*this, row.nDisable, row.nEnable);
            const int nRow = static_cast<int>(i);
            pGrid->addWidget(pLabel, nRow, 0);
            pGrid->addWidget(pPair, nRow, 1);
            if (i == 0) {  // USB is always enabled and cannot be changed
                pLabel->hide();
                pPair->hide();
            }
            // Each radio's accessible name says which row it belongs to.
            Control(row.nDisable)->setAccessibleName(tr("%1 Disable").arg(tr(row.pszLabel)));
            Control(row.nEnable)->setAccessibleName(tr("%1 Enable").arg(tr(row.pszLabel)));
        }
        auto* pButtons = new QHBoxLayout;
        pButtons->addWidget(MakeButton(kIdGet, tr("GET")));
        pButtons->addWidget(MakeButton(kIdSet, tr("SET")));
        pButtons->addStretch(1);
        pButtons->addWidget(MakeButton(kIdClose, tr("Close")));
        auto* pLayout = new QVBoxLayout(this);
        pLayout->addLayout(pGrid);
        pLayout->addLayout(pButtons);
        Show(kIdGet, false);

        OnClicked(kIdSet, [this] { OnSet(); });
        OnClicked(kIdGet, [this] { OnGet(); });
        OnClicked(kIdClose, [this] { reject(); });
    }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        Read(false, [this, fnDone](bool bRead) {
            if (bRead)
                Enable(kIdSet, true);
            fnDone(bRead);
        });
    }

private:
    // Reads with the values preset to 1, 2, 2, 2 and loads the rows. A
    // failed read says so; bForget then also clears the rows, so that the
    // user's choice does not stay on screen as if the hub had it. fnDone, if
    // given, follows with the outcome.
    void Read(bool bForget, std::function<void(bool)> fnDone = {}) {
        const auto& api = Api();
        const int32_t nSession = Session();
        StartJob<SUsageRead>(
            [&api, nSession] {
                model::SUsage usage;  // 1, 2, 2, 2 until the hub says otherwise
                SUsageRead r;
                r.nResult = client::CHubClient(api, nSession).ReadUsage(usage).nCode;
                r.values = {usage.nUsb, usage.nBluetooth, usage.nLan, usage.nWlan};
                return r;
            },
            [this, bForget, fnDone](SUsageRead read) {
                const bool bRead = read.nResult == 0;
                if (bRead) {
                    m_values = read.values;
                    LoadRows();
                } else {
                    Message(tr("Failed to get interface usage."), EMsgIcon::Warning);
                    if (bForget) {
                        m_values = {1, 2, 2, 2};
                        LoadRows();
                        Enable(kIdSet, false);
                    }
                }
                if (fnDone)
                    fnDone(bRead);
            },
            fnDone);
    }

    void LoadRows() {
        for (size_t i = 0; i < kRows.size(); ++i) {
            const SUsageRow row = UsageRow(m_values[i]);
            Enable(kRows[i].nDisable, row.bEnabled);
            Enable(kRows[i].nEnable, row.bEnabled);
            SetRadioPair(*this, kRows[i].nDisable, kRows[i].nEnable,
                         row.bDisableChecked ? 0 : row.bEnableChecked ? 1 : -1);
        }
    }

    void OnSet() {
        for (size_t i = 0; i < kRows.size(); ++i)
            m_values[i] = TakeUsageRow(m_values[i], IsChecked(kRows[i].nEnable));
        const CUsage values = m_values;
        const auto& api = Api();
        const int32_t nSession = Session();
        struct SWrite {
            int32_t nResult = 0;
            int32_t nError = 0;
        };
        StartJob<SWrite>(
            [&api, nSession, values] {
                SWrite w;
                const model::SUsage usage{values[0], values[1], values[2], values[3]};
                w.nResult = client::CHubClient(api, nSession).WriteUsage(usage, w.nError).nCode;
                return w;
            },
            [this](SWrite w) {
                if (w.nError == 0 && w.nResult == 0) {
                    Message(tr("Please, turn off the printer and turn on the printer"), EMsgIcon::Information);
                    return;
                }
                // Without an error value the call failed on the way (no session, no
                // reply, a rejected reply): not a success either.
                Message(ToQString(InterfaceUsageErrorText(w.nError)), EMsgIcon::Warning);
                Read(true);
            });
    }

    void OnGet() {
        Read(false, [this](bool bRead) {
            if (bRead)
                Enable(kIdSet, true);
        });
    }

    CUsage m_values{1, 2, 2, 2};
};

}  // namespace

std::unique_ptr<CSettingsPage> CreateInterfaceUsageDlg(const SQtPageContext& context, QWidget* pParent) {
    return std::make_unique<CInterfaceUsageDlg>(context, pParent);
}

}  // namespace vexal::utility
