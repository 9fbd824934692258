// Net protocol page (145): only changed values go out, in order; a failure
// stops the rest, and what failed is sent again by the next SET.
#include "PagesTestSupport.h"
#include "RecorderControl.h"

namespace vexal::utility::test {
namespace {

constexpr int kTelnetDisable = 1034, kTelnetEnable = 1035, kSnmpDisable = 1074, kSnmpEnable = 1075, kReadOnly = 1078,
              kReadWrite = 1079, kSet = 1077;
const char kSucceeded[] = "Succeeded to configure web interface info.";

class CNetProtocolPageTest : public CHubPageTest {};
class CNetProtocolRecorderTest : public CRecorderPageTest {};

TEST_F(CNetProtocolPageTest, OnlyChangedValuesAreSentInOrder) {
    auto page = RenderPage(MakeNetProtocolPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    EXPECT_TRUE(page->IsChecked(kTelnetEnable));
    EXPECT_TRUE(page->IsChecked(kSnmpDisable));
    EXPECT_FALSE(page->IsEnabled(kReadOnly));
    EXPECT_EQ(U8(page->GetText(kReadOnly)), "public");

    ClickControl(*page, kSnmpEnable);
    EXPECT_TRUE(page->IsEnabled(kReadWrite));
    TypeInto(*page, kReadWrite, "secret");
    ClickControl(*page, kTelnetDisable);
    ClearReceived();
    ClickControl(*page, kSet);
    EXPECT_EQ(WaitReceived(3), (std::vector<std::string>{"D100", "D301", "D7736563726574"}));
    EXPECT_EQ(Texts(), std::vector<std::string>{kSucceeded});

    ClearReceived();
    m_services.Clear();
    ClickControl(*page, kSet);
    EXPECT_EQ(Texts(), std::vector<std::string>{kSucceeded});
    EXPECT_EQ(Control("RX 0"), "");

    ClickControl(*page, kSnmpDisable);
    EXPECT_FALSE(page->IsEnabled(kReadWrite));
    EXPECT_EQ(U8(page->GetText(kReadWrite)), "secret");
    auto again = RenderPage(MakeNetProtocolPage, Context());
    ASSERT_TRUE(ReadFromHub(*again));
    EXPECT_TRUE(again->IsChecked(kTelnetDisable));
    EXPECT_EQ(U8(again->GetText(kReadWrite)), "secret");
}

TEST_F(CNetProtocolPageTest, ACommunityFitsOneCommandFrame) {
    Control("SET snmp 1");
    auto page = RenderPage(MakeNetProtocolPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    PasteInto(*page, kReadOnly, QString(4096, QLatin1Char('c')));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Maximum length is 4095"});
    EXPECT_EQ(U8(page->GetText(kReadOnly)), "public");
    m_services.Clear();
    PasteInto(*page, kReadOnly, QString(4095, QLatin1Char('c')));
    EXPECT_TRUE(m_services.Messages().empty());
    ClearReceived();
    ClickControl(*page, kSet);
    const auto sent = WaitReceived(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), 2u * 4096);  // D5 and the 4095 bytes, one frame
    EXPECT_EQ(sent[0].substr(0, 4), "D563");
}

TEST_F(CNetProtocolRecorderTest, AFailureStopsTheRestAndIsRetriedNextTime) {
    const char* const kReads[] = {"getTelnetAvailable", "getSNMPAvailable", "getSNMPROCommunity", "getSNMPRWCommunity"};
    for (int nFailing = 0; nFailing < 4; ++nFailing) {
        m_rec.Reset();
        m_services.Clear();
        m_rec.SetResult(kReads[nFailing], 1000);
        EXPECT_FALSE(ReadFromHub(*RenderPage(MakeNetProtocolPage, Context())));
        EXPECT_EQ(m_services.Messages().size(), 1u);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(m_rec.Count(kReads[i]), i <= nFailing ? 1 : 0) << kReads[i];
    }

    // Every value changed; the write failing at each step in turn.
    const char* const kWrites[] = {"setTelnetAvailable", "setSNMPAvailable", "setSNMPROCommunity",
                                   "setSNMPRWCommunity"};
    const char* const kFailures[] = {"Failed to configure telnet info.", "Failed to configure SNMP info.",
                                     "Failed to configure SNMP RO string.", "Failed to configure SNMP RW string."};
    auto changedPage = [&] {
        m_rec.Reset();
        auto page = RenderPage(MakeNetProtocolPage, Context());  // telnet 1, SNMP 1
        EXPECT_TRUE(ReadFromHub(*page));
        page->show();
        TypeInto(*page, kReadOnly, "ro2");
        TypeInto(*page, kReadWrite, "rw2");
        ClickControl(*page, kTelnetDisable);
        ClickControl(*page, kSnmpDisable);
        return page;
    };
    for (int nFailing = 0; nFailing < 4; ++nFailing) {
        SCOPED_TRACE(kWrites[nFailing]);
        auto page = changedPage();
        m_rec.Reset();
        m_services.Clear();
        m_rec.SetResult(kWrites[nFailing], 1000);
        ClickControl(*page, kSet);
        std::string strSent;
        for (int i = 0; i <= nFailing; ++i) strSent += (i > 0 ? "," : "") + std::string(kWrites[i]);
        EXPECT_EQ(m_rec.Log(), strSent);
        ASSERT_EQ(m_services.Messages().size(), 1u);
        EXPECT_EQ(U8(m_services.Messages()[0].strText), kFailures[nFailing]);
    }

    // What went through is not sent again; what failed is.
    auto page = changedPage();
    m_rec.Reset();
    m_rec.SetResult("setSNMPROCommunity", 1000);
    ClickControl(*page, kSet);
    m_rec.Reset();
    m_services.Clear();
    ClickControl(*page, kSet);
    EXPECT_EQ(m_rec.Log(), "setSNMPROCommunity,setSNMPRWCommunity");
    EXPECT_EQ(m_rec.LastArgs("setSNMPROCommunity"), "0,ro2");
    EXPECT_EQ(U8(m_services.Messages().at(0).strText), kSucceeded);
}

}  // namespace
}  // namespace vexal::utility::test
