// Bluetooth settings page (136): reads, validation and the bytes of a SET.
#include "PagesTestSupport.h"
#include "RecorderControl.h"

#include <QComboBox>

namespace vexal::utility::test {
namespace {

constexpr int kName = 1038, kEncryption = 1039, kPin = 1040, kMode = 1041, kAuto = 1043, kSet = 1037, kDefault = 1042;

class CBluetoothPageTest : public CHubPageTest {};
class CBluetoothRecorderTest : public CRecorderPageTest {};

TEST_F(CBluetoothRecorderTest, ReadStopsAtTheFirstFailingCallWithItsMessage) {
    const char* const kCalls[] = {"getBluetoothName", "getBluetoothAuthentication", "getBluetoothPinCode",
                                  "getBluetoothConnectionMode", "getBluetoothAutoConnection"};
    const char* const kMessages[] = {"Wrong bluetooth printer name.", "Wrong bluetooth encryption mode.",
                                     "Wrong bluetooth pin code.", "Wrong bluetooth connection mode.",
                                     "Wrong bluetooth AutoConnection."};
    for (int nFailing = 0; nFailing < 5; ++nFailing) {
        SCOPED_TRACE(kCalls[nFailing]);
        m_rec.Reset();
        m_services.Clear();
        m_rec.SetResult(kCalls[nFailing], 1011);
        auto page = RenderPage(MakeBluetoothPage, Context());
        EXPECT_FALSE(ReadFromHub(*page));
        ASSERT_EQ(m_services.Messages().size(), 1u);
        EXPECT_EQ(U8(m_services.Messages()[0].strText), kMessages[nFailing]);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(m_rec.Count(kCalls[i]), i <= nFailing ? 1 : 0) << kCalls[i];
        EXPECT_EQ(m_rec.MainThreadCalls(), 0);
    }
}

TEST_F(CBluetoothRecorderTest, SetSendsBothWritesAndFailsWhenEitherFails) {
    auto page = RenderPage(MakeBluetoothPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    for (const char* pszFailing : {"setBluetoothAutoConnection", "setBluetoothInfo"}) {
        SCOPED_TRACE(pszFailing);
        m_rec.Reset();
        m_services.Clear();
        m_rec.SetResult(pszFailing, 1000);
        ClickControl(*page, kSet);
        EXPECT_EQ(m_rec.Count("setBluetoothAutoConnection"), 1);
        EXPECT_EQ(m_rec.Count("setBluetoothInfo"), 1);
        ASSERT_EQ(m_services.Messages().size(), 1u);
        EXPECT_EQ(U8(m_services.Messages()[0].strText), "Set serial communication status is failed");
    }
}

TEST_F(CBluetoothPageTest, SetRefusesInOrderAndSendsNothing) {
    auto page = RenderPage(MakeBluetoothPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    ClearReceived();
    TypeInto(*page, kPin, "123");
    TypeInto(*page, kName, "");
    ClickControl(*page, kSet);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Device Name : Minimum length is 1"});
    EXPECT_EQ(U8(page->GetText(kName)), "VexalHub");  // the stored name is back
    m_services.Clear();
    ClickControl(*page, kSet);
    EXPECT_EQ(Texts(), std::vector<std::string>{"PIN Code : Minimum length is 4"});
    EXPECT_EQ(U8(page->GetText(kPin)), "0000");
    EXPECT_EQ(Control("RX 0"), "");
}

TEST_F(CBluetoothPageTest, SetSendsTheWireOrderInTheCodePageAndReadsBack) {
    auto page = RenderPage(MakeBluetoothPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    EXPECT_EQ(page->ComboIndex(kEncryption), 1);
    EXPECT_EQ(page->ComboIndex(kAuto), 1);
    // e-acute and the euro sign are CP1252 bytes E9 and 80; the CJK
    // character is not in the code page: the field does not take it, so it
    // never reaches the hub as '?'.
    TypeText(*page, kName, QString::fromUtf8("Caf\u00E9\u20AC\u4E2D"));
    EXPECT_EQ(page->GetText(kName), QString::fromUtf8("Caf\u00E9\u20AC"));
    PasteInto(*page, kPin, QString::fromUtf8("12\u4E2D4"));
    EXPECT_EQ(U8(page->GetText(kPin)), "0000");
    TypeInto(*page, kPin, "1234");
    ActivateComboIndex(*page, kMode, 2);
    ActivateComboIndex(*page, kEncryption, 0);
    ActivateComboIndex(*page, kAuto, 0);
    ClearReceived();
    ClickControl(*page, kSet);
    EXPECT_EQ(WaitReceived(2), (std::vector<std::string>{"5900", "14003033313233340D436166E9800D"}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Set serial communication status is successful",
                                                 "Please, turn off the printer and turn on the printer"}));

    auto again = RenderPage(MakeBluetoothPage, Context());
    ASSERT_TRUE(ReadFromHub(*again));
    EXPECT_EQ(again->GetText(kName), QString::fromUtf8("Caf\u00E9\u20AC"));
    EXPECT_EQ(again->ComboIndex(kMode), 2);
    EXPECT_EQ(again->ComboIndex(kEncryption), 0);
    EXPECT_EQ(again->ComboIndex(kAuto), 0);
}

TEST_F(CBluetoothPageTest, LimitsWhileTypingAndDefaultSettingSendsNothing) {
    auto page = RenderPage(MakeBluetoothPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    TypeInto(*page, kName, QString(30, QLatin1Char('n')));
    EXPECT_TRUE(m_services.Messages().empty());
    TypeInto(*page, kName, QString(31, QLatin1Char('n')));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Maximum length is 30"});
    EXPECT_EQ(U8(page->GetText(kName)), "VexalHub");
    m_services.Clear();
    TypeInto(*page, kPin, QString(16, QLatin1Char('7')));
    EXPECT_TRUE(m_services.Messages().empty());
    TypeInto(*page, kPin, QString(17, QLatin1Char('7')));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Maximum length is 16"});
    EXPECT_EQ(U8(page->GetText(kPin)), "0000");

    ClearReceived();
    ClickControl(*page, kDefault);
    EXPECT_EQ(page->ComboIndex(kEncryption), 1);
    EXPECT_EQ(page->ComboIndex(kMode), 1);
    EXPECT_EQ(U8(page->GetText(kPin)), "8147");
    EXPECT_EQ(Control("RX 0"), "");
    m_services.Clear();
    ClickControl(*page, kSet);
    EXPECT_EQ(WaitReceived(2).back(), "14003132383134370D566578616C4875620D");
}

TEST_F(CBluetoothPageTest, ValuesWithoutAnEntryShowNoneAndGoBackAsRead) {
    Control("SET bluetooth.encryption 2");
    Control("SET bluetooth.mode 7");
    auto page = RenderPage(MakeBluetoothPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    EXPECT_EQ(page->ComboIndex(kEncryption), -1);
    EXPECT_EQ(page->ComboIndex(kMode), -1);
    ClearReceived();
    ClickControl(*page, kSet);
    EXPECT_EQ(WaitReceived(2).back(), "14003237303030300D566578616C4875620D");
}

}  // namespace
}  // namespace vexal::utility::test
