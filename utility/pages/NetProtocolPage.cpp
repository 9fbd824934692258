// The net protocol page (dialog 145): the hub's telnet service, its SNMP
// agent and the two SNMP community strings. Only changed values are sent,
// by the session's writer of the group.
#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "model/NetProto.h"
#include "utility/pages/GroupPage.h"

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

const SDialogDesc& NetProtocolDesc() {
    static const SDialogDesc desc = [] {
        SDialogDesc s;
        s.nId = 145;
        s.strTitle = u"Net Protocol Configuration";
        auto add = [&s](SControlDesc c) -> SControlDesc& {
            s.controls.push_back(std::move(c));
            return s.controls.back();
        };
        auto radio = [&add](int nId, std::u16string strCaption, std::u16string strName, int nRow, int nGroup) {
            SControlDesc& c = add(Ctl(EControl::Radio, nId, std::move(strCaption), nRow, 1));
            c.strAccessibleName = std::move(strName);
            c.nGroup = nGroup;
        };

        SControlDesc& protocol = add(Ctl(EControl::Group, 0, u"Protocol", 0, 0));
        protocol.nRowSpan = 2;
        protocol.nColumnSpan = 2;
        add(LabelFor(kIdTelnetDisable, u"TELNET", 0, 0));
        radio(kIdTelnetDisable, u"Disable", u"TELNET Disable", 0, 1);
        radio(kIdTelnetEnable, u"Enable", u"TELNET Enable", 0, 1);
        add(LabelFor(kIdSnmpDisable, u"SNMP", 1, 0));
        radio(kIdSnmpDisable, u"Disable", u"SNMP Disable", 1, 2);
        radio(kIdSnmpEnable, u"Enable", u"SNMP Enable", 1, 2);

        SControlDesc& snmp = add(Ctl(EControl::Group, 0, u"SNMP(Simple Network Management Protocol)", 2, 0));
        snmp.nRowSpan = 2;
        snmp.nColumnSpan = 2;
        add(LabelFor(kIdReadOnly, u"Read-&only community", 2, 0));
        add(KeyCtl(EControl::Edit, kIdReadOnly, u"Read-only community", 2, 1, "ro_community"));
        add(LabelFor(kIdReadWrite, u"Read-&write community", 3, 0));
        add(KeyCtl(EControl::Edit, kIdReadWrite, u"Read-write community", 3, 1, "rw_community"));

        add(RowButton(kIdGet, u"GET")).bHidden = true;
        add(RowButton(kIdSet, u"SET"));
        add(RowButton(kIdClose, u"Close")).bStretchBefore = true;
        return s;
    }();
    return desc;
}

// The calls of a SET in the order the session's writer makes them, each
// with the page's words for its failure and the value it changes.
struct SWriteStep {
    std::string_view strCall;
    const char16_t* pszFailure;
    void (*pfnTake)(model::SNetProto& held, const model::SNetProto& target);
};
constexpr SWriteStep kWriteSteps[] = {
    {"setTelnetAvailable", u"Failed to configure telnet info.",
     [](model::SNetProto& h, const model::SNetProto& t) { h.nTelnet = t.nTelnet; }},
    {"setSNMPAvailable", u"Failed to configure SNMP info.",
     [](model::SNetProto& h, const model::SNetProto& t) { h.nSnmp = t.nSnmp; }},
    {"setSNMPROCommunity", u"Failed to configure SNMP RO string.",
     [](model::SNetProto& h, const model::SNetProto& t) { h.strReadOnly = t.strReadOnly; }},
    {"setSNMPRWCommunity", u"Failed to configure SNMP RW string.",
     [](model::SNetProto& h, const model::SNetProto& t) { h.strReadWrite = t.strReadWrite; }}};

class CNetProtocolPage final : public CGroupPage {
public:
    explicit CNetProtocolPage(const SPageContext& context) : CGroupPage(context, model::NetProtoGroup()) {}

    const SDialogDesc& Desc() const override { return NetProtocolDesc(); }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        ReadGroup([this, fnDone](bool bRead) {
            if (bRead) Fill();
            fnDone(bRead);
        });
    }

    void OnClicked(int nId) override {
        switch (nId) {
        case kIdSnmpDisable:
        case kIdSnmpEnable: EnableCommunities(); break;
        case kIdSet: OnSet(); break;
        case kIdGet:
            ReadGroup([this](bool bRead) {
                if (bRead) Fill();
            });
            break;
        case kIdClose: Close(kRejected); break;
        default: break;
        }
    }

    void ReadFailed(const char* pszCall) override {
        static const std::pair<std::string_view, const char16_t*> kFailures[] = {
            {"getTelnetAvailable", u"Failed to read telnet info."},
            {"getSNMPAvailable", u"Failed to read SNMP info."},
            {"getSNMPROCommunity", u"Failed to read SNMP RO string."},
            {"getSNMPRWCommunity", u"Failed to read SNMP RW string."}};
        for (const auto& [call, pszText] : kFailures)
            if (pszCall != nullptr && call == pszCall) Message(pszText, EMsgIcon::Warning);
    }

private:
    void Fill() {
        for (int nId : {kIdTelnetDisable, kIdTelnetEnable, kIdSnmpDisable, kIdSnmpEnable, kIdSet}) Enable(nId, true);
        const model::SNetProto& held = Held<model::SNetProto>();
        ShowValues(model::ToKeyValues(held));
        SetRadioPair(kIdTelnetDisable, kIdTelnetEnable, held.Telnet() ? 1 : 0);
        SetRadioPair(kIdSnmpDisable, kIdSnmpEnable, held.Snmp() ? 1 : 0);
        EnableCommunities();
    }

    void EnableCommunities() {
        const bool bEnable = IsChecked(kIdSnmpEnable);
        Enable(kIdReadOnly, bEnable);
        Enable(kIdReadWrite, bEnable);
    }

    void OnSet() {
        const model::SNetProto held = Held<model::SNetProto>();
        model::SNetProto target = held;
        model::ApplyKeyValues(target, TakeValues());
        target.nTelnet = IsChecked(kIdTelnetEnable) ? 1 : 0;
        target.nSnmp = IsChecked(kIdSnmpEnable) ? 1 : 0;
        struct SWrite {
            bool bOk = false;
            const char* pszCall = nullptr;
            std::string strError;
        };
        client::CHubSession& session = Session();
        StartJob<SWrite>(
            Jobs(),
            [&session, held, target] {
                SWrite w;
                bool bWrote = false;
                w.bOk = session.WriteGroup(0, held, target, bWrote);
                if (!w.bOk) {
                    w.pszCall = session.ErrorCall();
                    w.strError = session.Error();
                }
                return w;
            },
            [this, held, target](SWrite written) {
                if (written.bOk) {
                    Remember(target);
                    Message(u"Succeeded to configure web interface info.", EMsgIcon::Information);
                    return;
                }
                // The steps before the failed one went through; the failed
                // one and those after it go out again with the next SET.
                const auto failed = std::find_if(std::begin(kWriteSteps), std::end(kWriteSteps), [&](const auto& step) {
                    return written.pszCall != nullptr && step.strCall == written.pszCall;
                });
                if (failed == std::end(kWriteSteps)) {
                    Message(JobFailureText(written.strError), EMsgIcon::Warning);
                    return;
                }
                model::SNetProto took = held;
                for (auto it = std::begin(kWriteSteps); it != failed; ++it) it->pfnTake(took, target);
                Remember(took);
                Message(failed->pszFailure, EMsgIcon::Warning);
            });
    }

    // What the hub holds after a SET: what the next one is compared with,
    // and what a refused edit puts back.
    void Remember(const model::SNetProto& value) {
        SetHeld(value);
        KeepValues(model::ToKeyValues(value));
    }
};

}  // namespace

std::unique_ptr<CPageLogic> MakeNetProtocolPage(const SPageContext& context) {
    return std::make_unique<CNetProtocolPage>(context);
}

}  // namespace vexal::utility
