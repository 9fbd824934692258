// The interface usage page (dialog 146): which of the hub's host interfaces
// (Bluetooth, wired LAN, wireless LAN) may be used.
#include <array>
#include <string>

#include "client/HubClient.h"
#include "model/Usage.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/Text.h"
#include "utility/pages/PageLists.h"

namespace vexal::utility {

namespace {

enum : int { kIdGet = 1076, kIdSet = 1077, kIdClose = 1033 };

struct SRow {
    const char16_t* pszLabel;
    int nDisable;
    int nEnable;
};
// USB, Bluetooth, LAN, WLAN: the order of the library's four values.
constexpr std::array<SRow, 4> kRows = {
    {{u"USB", 1034, 1035}, {u"Bluetooth", 1036, 1037}, {u"LAN", 1038, 1039}, {u"WLAN", 1040, 1041}}};

const SDialogDesc& InterfaceUsageDesc() {
    static const SDialogDesc desc = [] {
        SDialogDesc s;
        s.nId = 146;
        s.strTitle = u"Interface Usage Configuration";
        for (size_t i = 0; i < kRows.size(); ++i) {
            const SRow& row = kRows[i];
            const int nRow = static_cast<int>(i);
            const std::u16string strLabel = row.pszLabel;
            SControlDesc label = LabelFor(row.nDisable, strLabel, nRow, 0);
            SControlDesc disable = Ctl(EControl::Radio, row.nDisable, u"Disable", nRow, 1);
            SControlDesc enable = Ctl(EControl::Radio, row.nEnable, u"Enable", nRow, 1);
            // Each radio's accessible name says which row it belongs to.
            disable.strAccessibleName = Arg(u"%1 Disable", strLabel);
            enable.strAccessibleName = Arg(u"%1 Enable", strLabel);
            disable.nGroup = enable.nGroup = nRow + 1;
            // USB is always enabled and cannot be changed.
            label.bHidden = disable.bHidden = enable.bHidden = i == 0;
            s.controls.push_back(std::move(label));
            s.controls.push_back(std::move(disable));
            s.controls.push_back(std::move(enable));
        }
        s.controls.push_back(RowButton(kIdGet, u"GET"));
        s.controls.back().bHidden = true;
        s.controls.push_back(RowButton(kIdSet, u"SET"));
        s.controls.push_back(RowButton(kIdClose, u"Close"));
        s.controls.back().bStretchBefore = true;
        return s;
    }();
    return desc;
}

using CUsage = std::array<int32_t, 4>;

struct SUsageRead {
    int32_t nResult = 0;
    CUsage values{};
};

class CInterfaceUsagePage final : public CPageLogic {
public:
    using CPageLogic::CPageLogic;

    const SDialogDesc& Desc() const override { return InterfaceUsageDesc(); }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        Read(false, [this, fnDone](bool bRead) {
            if (bRead) Enable(kIdSet, true);
            fnDone(bRead);
        });
    }

    void OnClicked(int nId) override {
        if (nId == kIdSet)
            OnSet();
        else if (nId == kIdGet)
            Read(false, [this](bool bRead) {
                if (bRead) Enable(kIdSet, true);
            });
        else if (nId == kIdClose)
            Close(kRejected);
    }

private:
    // Reads with the values preset to 1, 2, 2, 2 and loads the rows. A
    // failed read says so; bForget then also clears the rows, so that the
    // user's choice does not stay on screen as if the hub had it. fnDone, if
    // given, follows with the outcome.
    void Read(bool bForget, std::function<void(bool)> fnDone = {}) {
        client::CHubClient hub = Hub();
        StartJob<SUsageRead>(
            Jobs(),
            [hub]() mutable {
                model::SUsage usage;  // 1, 2, 2, 2 until the hub says otherwise
                SUsageRead r;
                r.nResult = hub.ReadUsage(usage).nCode;
                r.values = {usage.nUsb, usage.nBluetooth, usage.nLan, usage.nWlan};
                return r;
            },
            [this, bForget, fnDone](SUsageRead read) {
                const bool bRead = read.nResult == 0;
                if (bRead) {
                    m_values = read.values;
                    LoadRows();
                } else {
                    Message(u"Failed to get interface usage.", EMsgIcon::Warning);
                    if (bForget) {
                        m_values = {1, 2, 2, 2};
                        LoadRows();
                        Enable(kIdSet, false);
                    }
                }
                if (fnDone) fnDone(bRead);
            },
            NotDone(fnDone));
    }

    void LoadRows() {
        for (size_t i = 0; i < kRows.size(); ++i) {
            const SUsageRow row = UsageRow(m_values[i]);
            Enable(kRows[i].nDisable, row.bEnabled);
            Enable(kRows[i].nEnable, row.bEnabled);
            SetRadioPair(kRows[i].nDisable, kRows[i].nEnable, row.bDisableChecked ? 0 : row.bEnableChecked ? 1 : -1);
        }
    }

    void OnSet() {
        for (size_t i = 0; i < kRows.size(); ++i) m_values[i] = TakeUsageRow(m_values[i], IsChecked(kRows[i].nEnable));
        const CUsage values = m_values;
        client::CHubClient hub = Hub();
        struct SWrite {
            int32_t nResult = 0;
            int32_t nError = 0;
        };
        StartJob<SWrite>(
            Jobs(),
            [hub, values]() mutable {
                SWrite w;
                const model::SUsage usage{values[0], values[1], values[2], values[3]};
                w.nResult = hub.WriteUsage(usage, w.nError).nCode;
                return w;
            },
            [this](SWrite w) {
                if (w.nError == 0 && w.nResult == 0) {
                    Message(u"Please, turn off the printer and turn on the printer", EMsgIcon::Information);
                    return;
                }
                // Without an error value the call failed on the way (no session, no
                // reply, a rejected reply): not a success either.
                Message(Latin1ToU16(InterfaceUsageErrorText(w.nError)), EMsgIcon::Warning);
                Read(true);
            });
    }

    CUsage m_values{1, 2, 2, 2};
};

}  // namespace

std::unique_ptr<CPageLogic> MakeInterfaceUsagePage(const SPageContext& context) {
    return std::make_unique<CInterfaceUsagePage>(context);
}

}  // namespace vexal::utility
