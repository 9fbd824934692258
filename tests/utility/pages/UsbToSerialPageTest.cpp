// USB-to-serial settings page (141): the adapter filter, the values a SET
// sends, and Refresh reading the device it selects.
#include "PagesTestSupport.h"

namespace vexal::utility::test {
namespace {

constexpr int kDevice = 1047, kBaud = 1043, kData = 1044, kStop = 1045, kParity = 1046, kSet = 1037, kRefresh = 1038;

class CUsbToSerialPageTest : public CHubPageTest {
protected:
    std::vector<std::string> Devices(CDialogBase& page) {
        std::vector<std::string> texts;
        for (int i = 0; i < page.ComboCount(kDevice); ++i) texts.push_back(U8(page.ComboItemText(kDevice, i)));
        return texts;
    }
};

TEST_F(CUsbToSerialPageTest, OnlyAdaptersAreListedAndTheChosenValuesAreSent) {
    Plug(99);
    Plug(129);
    Plug(130);
    Control("SET serial.100 [2,1,0,0]");
    auto page = RenderPage(MakeUsbToSerialPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    EXPECT_EQ(Devices(*page), (std::vector<std::string>{"64", "65", "81"}));
    EXPECT_EQ(U8(page->GetText(kDevice)), "64");
    EXPECT_EQ(U8(page->GetText(kBaud)), "9600");
    EXPECT_EQ(U8(page->GetText(kData)), "8");
    EXPECT_EQ(U8(page->GetText(kStop)), "1 Stop Bit");
    EXPECT_EQ(U8(page->GetText(kParity)), "None");

    ActivateComboIndex(*page, kBaud, 6);
    ActivateComboIndex(*page, kData, 0);
    ActivateComboIndex(*page, kStop, 1);
    ActivateComboIndex(*page, kParity, 2);
    ClearReceived();
    ClickControl(*page, kSet);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"026406000102"});
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Success to configure Serial info.",
                                                 "Please, turn off the printer and turn on the printer"}));
    EXPECT_EQ(Control("GET serial.100"), "[6,0,1,2]");

    // Choosing another adapter reads it (the keys pass 65 on the way).
    ClearReceived();
    ActivateComboIndex(*page, kDevice, 2);
    EXPECT_EQ(WaitReceived(2).back(), "0381");
}

TEST_F(CUsbToSerialPageTest, RefreshReadsTheSelectedDeviceAndKeepsSetOffUntilItDid) {
    Control("SET serial.100 [3,1,1,1]");
    Unplug(101);
    Plug(110);  // its settings come from the hub's defaults
    auto page = RenderPage(MakeUsbToSerialPage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    ActivateComboIndex(*page, kDevice, 1);  // 6E
    Unplug(100);
    ClearReceived();
    m_services.Clear();
    ClickControl(*page, kRefresh);
    EXPECT_EQ(Devices(*page), std::vector<std::string>{"6E"});
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"036E"});
    EXPECT_TRUE(page->IsEnabled(kSet));
    EXPECT_TRUE(m_services.Messages().empty());

    // A read that fails leaves Set Serial off: the lists show another
    // device's values.
    Plug(100);
    Control("FAULT NOREPLY 03");
    ClickControl(*page, kRefresh);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Wrong configuration value."});
    EXPECT_FALSE(page->IsEnabled(kSet));
    Control("FAULT NOREPLY OFF");

    Unplug(100);
    Unplug(110);
    m_services.Clear();
    ClickControl(*page, kRefresh);
    EXPECT_EQ(Texts(), std::vector<std::string>{"No connected USB to Serial device."});
    for (int nId : {kDevice, kBaud, kData, kStop, kParity, kSet}) EXPECT_FALSE(page->IsEnabled(nId)) << nId;
    m_services.Clear();
    EXPECT_FALSE(ReadFromHub(*RenderPage(MakeUsbToSerialPage, Context())));
    EXPECT_EQ(Texts(), std::vector<std::string>{"No connected USB to Serial device."});
}

}  // namespace
}  // namespace vexal::utility::test
