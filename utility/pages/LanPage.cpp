// The LAN settings page (dialog 144): the hub's MAC address, DHCP and fixed
// addresses, read and written as the 30-byte LAN block.
#include "model/Lan.h"
#include "utility/pages/GroupPage.h"

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
};

constexpr int kAddressIds[] = {kIdIp, kIdMask, kIdGateway, kIdDns};

class CLanPage final : public CGroupPage {
public:
    explicit CLanPage(const SPageContext& context) : CGroupPage(context, model::LanGroup()) {}

    const SDialogDesc& Desc() const override {
        static const SDialogDesc s_desc = MakeDesc();
        return s_desc;
    }

    void OnClicked(int nId) override {
        switch (nId) {
        case kIdDhcpEnable: EnableAddresses(false); break;
        case kIdDhcpDisable: EnableAddresses(true); break;
        case page_ids::kSet: OnSet(); break;
        case page_ids::kGet: OnGet(); break;
        case page_ids::kClose: Close(kRejected); break;
        default: break;
        }
    }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        ReadGroup([this, fnDone](bool bRead) {
            if (!bRead) {
                fnDone(false);
                return;
            }
            Enable(kIdDhcpEnable, true);
            Enable(kIdDhcpDisable, true);
            ShowRead();
            EnableAddresses(!Held<model::SLan>().Dhcp());
            fnDone(true);
        });
    }

    void ReadFailed(const char*) override { Message(u"Failed to read LAN configuration info.", EMsgIcon::Warning); }

private:
    static SDialogDesc MakeDesc() {
        SDialogDesc desc;
        desc.nId = 144;
        desc.strTitle = u"LAN Configuration";
        auto& c = desc.controls;
        SControlDesc mac = KeyCtl(EControl::Edit, kIdMac, u"MAC Address", 0, 1, "mac");
        mac.bReadOnly = true;
        mac.bDisabled = true;
        c.push_back(LabelFor(kIdMac, u"&MAC Address :", 0, 0));
        c.push_back(mac);
        c.push_back(LabelFor(kIdDhcpEnable, u"DHCP Mode :", 1, 0));
        for (SControlDesc radio : {Ctl(EControl::Radio, kIdDhcpEnable, u" &Enable", 1, 1),
                                   Ctl(EControl::Radio, kIdDhcpDisable, u" &Disable", 1, 1)}) {
            radio.nGroup = 1;
            c.push_back(radio);
        }
        c.push_back(LabelFor(kIdIp, u"&IP Address :", 2, 0));
        c.push_back(KeyCtl(EControl::Ipv4, kIdIp, u"IP Address", 2, 1, "ip"));
        c.push_back(LabelFor(kIdMask, u"&Subnet Mask : ", 3, 0));
        c.push_back(KeyCtl(EControl::Ipv4, kIdMask, u"Subnet Mask", 3, 1, "mask"));
        c.push_back(LabelFor(kIdGateway, u"&Gateway  :", 4, 0));
        c.push_back(KeyCtl(EControl::Ipv4, kIdGateway, u"Gateway", 4, 1, "gateway"));
        c.push_back(LabelFor(kIdDns, u"D&NS  :", 5, 0));
        c.push_back(KeyCtl(EControl::Ipv4, kIdDns, u"DNS", 5, 1, "dns"));
        AddHiddenInactivityRow(desc, 6, kIdInactivity);
        AddPageButtons(desc);
        for (auto& control : c)
            if (control.nId == page_ids::kSet) control.bDisabled = true;  // until the page has been read
        return desc;
    }

    // DHCP on: the hub finds its own addresses. A value other than 0 or 1
    // checks neither button.
    void ShowRead() {
        const model::SLan& lan = Held<model::SLan>();
        ShowValues(model::ToKeyValues(lan));
        SetRadioPair(kIdDhcpEnable, kIdDhcpDisable, lan.nDhcp == 1 ? 0 : lan.nDhcp == 0 ? 1 : -1);
        Enable(page_ids::kSet, true);
    }

    void EnableAddresses(bool bEnable) {
        for (int nId : kAddressIds) Enable(nId, bEnable);
    }

    void OnGet() {
        ReadGroup([this](bool bRead) {
            if (bRead) ShowRead();
        });
    }

    void OnSet() {
        // The addresses are sent as they stand, also with DHCP on; the MAC
        // address is the hub's own.
        model::SLan out = Held<model::SLan>();
        model::ApplyKeyValues(out, TakeValues());
        out.nDhcp = IsChecked(kIdDhcpEnable) ? 1 : 0;
        client::CHubClient hub = Hub();
        struct SWrite {
            client::SCallResult result;
            uint8_t nStatus = 0;
        };
        StartJob<SWrite>(
            Jobs(),
            [hub, out]() mutable {
                SWrite w;
                w.result = hub.WriteLan(out, w.nStatus);
                return w;
            },
            [this](SWrite w) {
                if (!w.result.Ok()) {
                    Message(u"Failed to read success message.", EMsgIcon::Warning);
                } else if (w.nStatus != 0) {
                    Message(u"Failed to configure network info.", EMsgIcon::Warning);
                } else {
                    Message(u"Succeeded to configure network info.", EMsgIcon::Information);
                    Message(u"Please, turn off the printer and turn on the printer", EMsgIcon::Information);
                }
            });
    }
};

}  // namespace

std::unique_ptr<CPageLogic> MakeLanPage(const SPageContext& context) { return std::make_unique<CLanPage>(context); }

}  // namespace vexal::utility
