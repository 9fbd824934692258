// A page's keyed controls against the settings model: what they show and
// give back, and the model's text rules in the utility's words.
#include <gtest/gtest.h>

#include "LogicTestSupport.h"
#include "client/CfgLibrary.h"
#include "model/Bluetooth.h"
#include "model/Lan.h"
#include "utility/pages/GroupPage.h"

#include <memory>
#include <vector>

namespace vexal::utility::test {
namespace {

enum : int { kMac = 1, kIp = 2, kName = 3, kPin = 4, kNote = 5 };

// A page over one group whose controls the cases pick; no job runs.
class CFormPage final : public CGroupPage {
public:
    CFormPage(const SPageContext& context, const model::SGroupDef& group, SDialogDesc desc)
        : CGroupPage(context, group), m_desc(std::move(desc)) {}
    const SDialogDesc& Desc() const override { return m_desc; }
    void ReadFromHub(std::function<void(bool)>) override {}
    void ReadFailed(const char*) override {}
    using CGroupPage::CheckMinimum;
    using CGroupPage::ShowValues;
    using CGroupPage::TakeValues;
    using CGroupPage::TextProblem;

private:
    SDialogDesc m_desc;
};

// A page of the group whose controls are the given ones, shown in a recording view.
struct SFormFixture {
    CIdleQueue queue;
    CLibraryJobs jobs{queue};
    client::CCfgLibrary api;
    client::CHubSession session{api};
    CRecordingView view;
    std::unique_ptr<CFormPage> pPage;

    CFormPage& Page(const model::SGroupDef& group, std::vector<SControlDesc> controls) {
        SDialogDesc desc;
        desc.controls = std::move(controls);
        pPage = std::make_unique<CFormPage>(SPageContext{session, jobs}, group, std::move(desc));
        pPage->Attach(&view);
        return *pPage;
    }
};

TEST(GroupPage, KeyedControlsShowTheValuesAndGiveBackTheWritableOnes) {
    SFormFixture f;
    CFormPage& page = f.Page(model::LanGroup(), {KeyCtl(EControl::Edit, kMac, u"MAC Address", 0, 1, "mac"),
                                                 KeyCtl(EControl::Ipv4, kIp, u"IP Address", 1, 1, "ip"),
                                                 Ctl(EControl::Edit, kNote, u"Note", 2, 1)});
    model::SLan lan;
    lan.mac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    lan.ip = {192, 168, 0, 17};
    page.ShowValues(model::ToKeyValues(lan));
    EXPECT_EQ(f.view.GetText(kMac), u"00:1a:2b:3c:4d:5e");
    EXPECT_EQ(f.view.GetIpv4(kIp), (Ipv4Octets{192, 168, 0, 17}));
    EXPECT_EQ(f.view.GetText(kNote), u"");

    // The MAC address is the hub's own: a text in its field never goes back.
    f.view.SetText(kMac, u"ff:ff:ff:ff:ff:ff");
    f.view.SetIpv4(kIp, {10, 0, 0, 5});
    const model::GroupValues taken = page.TakeValues();
    EXPECT_EQ(taken, (model::GroupValues{{"ip", "10.0.0.5"}}));
    model::SLan out = lan;
    model::ApplyKeyValues(out, taken);
    EXPECT_EQ(out.mac, lan.mac);
    EXPECT_EQ(out.ip, (model::CIpv4{10, 0, 0, 5}));
}

TEST(GroupPage, TextsAreHeldToTheirKeysRulesInThePagesWords) {
    SFormFixture f;
    CFormPage& page = f.Page(model::BluetoothGroup(), {KeyCtl(EControl::Edit, kName, u"Device Name", 0, 1, "name"),
                                                       KeyCtl(EControl::Edit, kPin, u"PIN Code", 1, 1, "pin"),
                                                       Ctl(EControl::Edit, kNote, u"Note", 2, 1)});
    page.ShowValues({{"name", "Till 1"}, {"pin", "8147"}});

    // Over the limit while typing: told, and the text shown before is back.
    const std::u16string strLong(31, u'n');
    f.view.SetText(kName, strLong);
    page.OnTextEdited(kName, strLong);
    ASSERT_EQ(f.view.m_messages.size(), 1u);
    EXPECT_EQ(f.view.m_messages[0].first, u"Maximum length is 30");
    EXPECT_EQ(f.view.GetText(kName), u"Till 1");
    // Thirty bytes are within it, and a control without a key has no rule.
    page.OnTextEdited(kName, std::u16string(30, u'n'));
    page.OnTextEdited(kNote, std::u16string(500, u'x'));
    EXPECT_EQ(f.view.m_messages.size(), 1u);

    // Too short before a write: the control's name and the key's minimum.
    f.view.SetText(kPin, u"123");
    EXPECT_EQ(page.TextProblem(kPin), model::ETextProblem::TooShort);
    EXPECT_FALSE(page.CheckMinimum(kPin, true));
    EXPECT_EQ(f.view.m_messages.back().first, u"PIN Code : Minimum length is 4");
    EXPECT_EQ(f.view.GetText(kPin), u"8147");
    // Without the put-back the text stays for the user to mend.
    f.view.SetText(kName, u"");
    EXPECT_FALSE(page.CheckMinimum(kName, false));
    EXPECT_EQ(f.view.m_messages.back().first, u"Device Name : Minimum length is 1");
    EXPECT_EQ(f.view.GetText(kName), u"");
}

}  // namespace
}  // namespace vexal::utility::test
