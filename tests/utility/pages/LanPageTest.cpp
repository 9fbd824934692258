// LAN settings page (144): DHCP states and the exact 30-byte block a SET sends.
#include "PagesTestSupport.h"
#include "RecorderControl.h"

namespace vexal::utility::test {
namespace {

constexpr int kMac = 1073, kDhcpEnable = 1057, kDhcpDisable = 1058, kIp = 1061, kMask = 1062, kGateway = 1063,
              kDns = 1064, kSet = 1037;

class CLanPageTest : public CHubPageTest {
protected:
    void ExpectAddressesEnabled(CDialogBase& page, bool bEnabled) {
        for (int nId : {kIp, kMask, kGateway, kDns}) EXPECT_EQ(page.IsEnabled(nId), bEnabled) << nId;
    }
};
class CLanRecorderTest : public CRecorderPageTest {};

TEST_F(CLanPageTest, DhcpByteChoosesTheButtonAndAReReadLeavesNoStaleChoice) {
    Control("SET lan.dhcp 1");
    auto page = RenderPage(MakeLanPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    EXPECT_TRUE(page->IsChecked(kDhcpEnable));
    EXPECT_FALSE(page->IsChecked(kDhcpDisable));
    ExpectAddressesEnabled(*page, false);
    EXPECT_EQ(U8(page->GetText(kMac)), "00:1b:5f:40:12:7a");
    EXPECT_FALSE(page->IsEnabled(kMac));

    Control("SET lan.dhcp 2");
    ASSERT_TRUE(ReadFromHub(*page));
    EXPECT_FALSE(page->IsChecked(kDhcpEnable));
    EXPECT_FALSE(page->IsChecked(kDhcpDisable));
    ExpectAddressesEnabled(*page, true);
    ClearReceived();
    ClickControl(*page, kSet);
    const auto sent = WaitReceived(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].substr(2 + 2 * 22, 2), "00");  // an unknown DHCP value goes as disabled

    Control("SET lan.dhcp 0");
    ASSERT_TRUE(ReadFromHub(*page));
    EXPECT_TRUE(page->IsChecked(kDhcpDisable));
    EXPECT_FALSE(page->IsChecked(kDhcpEnable));
}

TEST_F(CLanPageTest, SetSendsTheBlockWithTheMacAsReadAndAddressesUnderDhcp) {
    auto page = RenderPage(MakeLanPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    TypeIpv4(*page, kIp, "10.0.0.5");
    TypeIpv4(*page, kDns, "8.8.4.4");
    ClickControl(*page, kDhcpEnable);
    ExpectAddressesEnabled(*page, false);
    ClearReceived();
    ClickControl(*page, kSet);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"25"
                                                        "001B5F40127A"
                                                        "0A000005"
                                                        "FFFFFF00"
                                                        "C0A80001"
                                                        "08080404"
                                                        "01"
                                                        "00000000000000"});
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Succeeded to configure network info.",
                                                 "Please, turn off the printer and turn on the printer"}));
    EXPECT_EQ(Control("GET lan.ip"), "10.0.0.5");
    EXPECT_EQ(Control("GET lan.dhcp"), "1");
    ClickControl(*page, kDhcpDisable);
    ExpectAddressesEnabled(*page, true);
}

TEST_F(CLanRecorderTest, FailedReadAndFailedWriteSayWhich) {
    m_rec.SetResult("getLanInfo", 1011);
    auto page = RenderPage(MakeLanPage, Context());
    EXPECT_FALSE(ReadFromHub(*page));
    m_rec.SetResult("getLanInfo", 0);
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    m_rec.SetResult("setLanInfo", 1011);
    ClickControl(*page, kSet);
    ASSERT_EQ(m_services.Messages().size(), 2u);
    EXPECT_EQ(U8(m_services.Messages()[0].strText), "Failed to read LAN configuration info.");
    EXPECT_EQ(U8(m_services.Messages()[1].strText), "Failed to read success message.");
    EXPECT_EQ(m_rec.LastArgs("setLanInfo"), "0,30");  // no session opened: handle 0
    EXPECT_EQ(m_rec.MainThreadCalls(), 0);
}

}  // namespace
}  // namespace vexal::utility::test
