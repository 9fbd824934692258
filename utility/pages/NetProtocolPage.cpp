// The net protocol page (dialog 145): the hub's telnet service, its SNMP
// agent and the two SNMP community strings. Only changed values are sent.
#include <string>
#include <string_view>
#include <utility>

#include "client/HubClient.h"
#include "model/NetProto.h"
#include "model/TextFields.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/Text.h"
#include "utility/pages/PageLists.h"

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
        add(Ctl(EControl::Edit, kIdReadOnly, u"Read-only community", 2, 1));
        add(LabelFor(kIdReadWrite, u"Read-&write community", 3, 0));
        add(Ctl(EControl::Edit, kIdReadWrite, u"Read-write community", 3, 1));

        add(RowButton(kIdGet, u"GET")).bHidden = true;
        add(RowButton(kIdSet, u"SET"));
        add(RowButton(kIdClose, u"Close")).bStretchBefore = true;
        return s;
    }();
    return desc;
}

struct SServicesRead {
    client::SCallResult result;
    model::SNetProto value;
};

// What a SET sent: each step that went out and whether it succeeded.
struct SServicesWrite {
    int nFailed = -1;
    bool bTelnet = false, bSnmp = false, bReadOnly = false, bReadWrite = false;
};

class CNetProtocolPage final : public CPageLogic {
public:
    using CPageLogic::CPageLogic;

    const SDialogDesc& Desc() const override { return NetProtocolDesc(); }

    void ReadFromHub(std::function<void(bool)> fnDone) override {
        Read([this, fnDone](bool bRead) {
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
            Read([this](bool bRead) {
                if (bRead) Fill();
            });
            break;
        case kIdClose: Close(kRejected); break;
        default: break;
        }
    }

    // A community goes to the hub in one frame with its command.
    void OnTextEdited(int nId, const std::u16string& strText) override {
        const std::u16string* pStored = nId == kIdReadOnly    ? &m_strReadOnly
                                        : nId == kIdReadWrite ? &m_strReadWrite
                                                              : nullptr;
        if (pStored == nullptr || !model::IsOverLong(model::EHubText::Community, strText)) return;
        Message(Latin1ToU16(MaximumLengthText(model::MaxHubBytes(model::EHubText::Community))), EMsgIcon::Warning);
        SetText(nId, *pStored);
    }

private:
    // Reads the four values into the members; fnDone follows with the
    // outcome (a failed read has shown its message).
    void Read(std::function<void(bool)> fnDone) {
        client::CHubClient hub = Hub();
        StartJob<SServicesRead>(
            Jobs(),
            [hub]() mutable {
                SServicesRead read;
                read.result = hub.ReadNetProto(read.value);
                return read;
            },
            [this, fnDone](SServicesRead read) {
                if (!read.result.Ok()) {
                    static const std::pair<std::string_view, const char16_t*> kFailures[] = {
                        {"getTelnetAvailable", u"Failed to read telnet info."},
                        {"getSNMPAvailable", u"Failed to read SNMP info."},
                        {"getSNMPROCommunity", u"Failed to read SNMP RO string."},
                        {"getSNMPRWCommunity", u"Failed to read SNMP RW string."}};
                    for (const auto& [call, pszText] : kFailures)
                        if (read.result.pszCall != nullptr && call == read.result.pszCall)
                            Message(pszText, EMsgIcon::Warning);
                    fnDone(false);
                    return;
                }
                m_nTelnet = read.value.Telnet() ? 1 : 0;
                m_nSnmp = read.value.Snmp() ? 1 : 0;
                m_strReadOnly = Utf8ToU16(read.value.strReadOnly);
                m_strReadWrite = Utf8ToU16(read.value.strReadWrite);
                fnDone(true);
            },
            NotDone(fnDone));
    }

    void Fill() {
        for (int nId : {kIdTelnetDisable, kIdTelnetEnable, kIdSnmpDisable, kIdSnmpEnable, kIdSet}) Enable(nId, true);
        SetText(kIdReadOnly, m_strReadOnly);
        SetText(kIdReadWrite, m_strReadWrite);
        SetRadioPair(kIdTelnetDisable, kIdTelnetEnable, m_nTelnet);
        SetRadioPair(kIdSnmpDisable, kIdSnmpEnable, m_nSnmp);
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
        const std::u16string strReadOnly = GetText(kIdReadOnly);
        const std::u16string strReadWrite = GetText(kIdReadWrite);
        const bool bTelnet = nTelnet != m_nTelnet;
        const bool bSnmp = nSnmp != m_nSnmp;
        const bool bReadOnly = strReadOnly != m_strReadOnly;
        const bool bReadWrite = strReadWrite != m_strReadWrite;
        const std::string readOnly = U16ToUtf8(strReadOnly);
        const std::string readWrite = U16ToUtf8(strReadWrite);
        client::CHubClient hub = Hub();
        StartJob<SServicesWrite>(
            Jobs(),
            [hub, nTelnet, nSnmp, bTelnet, bSnmp, bReadOnly, bReadWrite, readOnly, readWrite]() mutable {
                SServicesWrite w;
                auto Fail = [&w](int nStep) {
                    w.nFailed = nStep;
                    return w;
                };
                if (bTelnet) {
                    if (!hub.WriteTelnet(nTelnet != 0).Ok()) return Fail(0);
                    w.bTelnet = true;
                }
                if (bSnmp) {
                    if (!hub.WriteSnmp(nSnmp != 0).Ok()) return Fail(1);
                    w.bSnmp = true;
                }
                if (bReadOnly) {
                    if (!hub.WriteReadOnlyCommunity(readOnly).Ok()) return Fail(2);
                    w.bReadOnly = true;
                }
                if (bReadWrite) {
                    if (!hub.WriteReadWriteCommunity(readWrite).Ok()) return Fail(3);
                    w.bReadWrite = true;
                }
                return w;
            },
            [this, nTelnet, nSnmp, strReadOnly, strReadWrite](SServicesWrite written) {
                // Only what the hub took is remembered as sent, so that a failed
                // write goes out again with the next SET.
                if (written.bTelnet) m_nTelnet = nTelnet;
                if (written.bSnmp) m_nSnmp = nSnmp;
                if (written.bReadOnly) m_strReadOnly = strReadOnly;
                if (written.bReadWrite) m_strReadWrite = strReadWrite;
                if (written.nFailed >= 0) {
                    static const char16_t* const kFailures[] = {
                        u"Failed to configure telnet info.", u"Failed to configure SNMP info.",
                        u"Failed to configure SNMP RO string.", u"Failed to configure SNMP RW string."};
                    Message(kFailures[written.nFailed], EMsgIcon::Warning);
                    return;
                }
                Message(u"Succeeded to configure web interface info.", EMsgIcon::Information);
            });
    }

    int m_nTelnet = 0;
    int m_nSnmp = 0;
    std::u16string m_strReadOnly;
    std::u16string m_strReadWrite;
};

}  // namespace

std::unique_ptr<CPageLogic> MakeNetProtocolPage(const SPageContext& context) {
    return std::make_unique<CNetProtocolPage>(context);
}

}  // namespace vexal::utility
