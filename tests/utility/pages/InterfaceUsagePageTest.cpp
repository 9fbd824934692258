// Interface usage page (146): rows by value, the hub's refusal, and SETs
// that fail without an error value from the hub.
#include "PagesTestSupport.h"
#include "RecorderControl.h"
#include "utility/qt/WaitCursor.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace vexal::utility::test {
namespace {

constexpr int kUsbDisable = 1034, kBtDisable = 1036, kBtEnable = 1037, kLanDisable = 1038, kLanEnable = 1039,
              kWlanDisable = 1040, kWlanEnable = 1041, kGet = 1076, kSet = 1077;
const char kPowerCycle[] = "Please, turn off the printer and turn on the printer";

class CInterfaceUsagePageTest : public CHubPageTest {};
class CInterfaceUsageRecorderTest : public CRecorderPageTest {};

TEST_F(CInterfaceUsagePageTest, RowsShowTheHubAndARefusedChangeReverts) {
    Control("SET interfaces.lan 0");
    auto page = RenderPage(MakeInterfaceUsagePage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    EXPECT_FALSE(page->Control(kUsbDisable)->isVisible());
    // A screen reader tells the rows' "Enable" buttons apart.
    EXPECT_EQ(page->Control(kLanEnable)->accessibleName(), "LAN Enable");
    EXPECT_TRUE(page->IsChecked(kBtEnable));
    EXPECT_TRUE(page->IsChecked(kLanDisable));
    EXPECT_FALSE(page->IsChecked(kLanEnable));
    EXPECT_TRUE(page->IsChecked(kWlanEnable));

    // Everything off would leave the hub unreachable: the hub says 5.
    ClickControl(*page, kBtDisable);
    ClickControl(*page, kWlanDisable);
    ClearReceived();
    ClickControl(*page, kSet);
    EXPECT_EQ(WaitReceived(2), (std::vector<std::string>{"0F010002000300", "0E"}));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Failed to set interface usage. Impossiable All Block."});
    EXPECT_TRUE(page->IsChecked(kBtEnable));
    EXPECT_TRUE(page->IsChecked(kWlanEnable));

    m_services.Clear();
    ClickControl(*page, kBtDisable);
    ClearReceived();
    ClickControl(*page, kSet);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"0F010002000301"});
    EXPECT_EQ(Texts(), std::vector<std::string>{kPowerCycle});
    EXPECT_EQ(Control("GET interfaces.bluetooth"), "0");
}

TEST_F(CInterfaceUsageRecorderTest, UnreportedRowsAndFailuresWithoutAnErrorValue) {
    m_rec.SetResult("getInterfaceUsageStatus", 1000);
    EXPECT_FALSE(ReadFromHub(*RenderPage(MakeInterfaceUsagePage, Context())));
    EXPECT_EQ(U8(m_services.Messages().at(0).strText), "Failed to get interface usage.");

    // The stand-in reports nothing: the presets 1, 2, 2, 2 stay.
    m_rec.Reset();
    m_services.Clear();
    auto page = RenderPage(MakeInterfaceUsagePage, Context());
    ASSERT_TRUE(ReadFromHub(*page));
    page->show();
    EXPECT_EQ(m_rec.LastArgs("getInterfaceUsageStatus"), "0,1,2,2,2");
    for (int nId : {kBtDisable, kBtEnable, kLanDisable, kLanEnable, kWlanDisable, kWlanEnable}) {
        EXPECT_FALSE(page->IsEnabled(nId)) << nId;
        EXPECT_FALSE(page->IsChecked(nId)) << nId;
    }
    ClickControl(*page, kSet);
    EXPECT_EQ(m_rec.LastArgs("setInterfaceUsageStatus"), "0,1,2,2,2");
    EXPECT_EQ(U8(m_services.Messages().at(0).strText), kPowerCycle);

    // No reply (no error value): a failure, and the page reads again.
    m_services.Clear();
    m_rec.SetResult("setInterfaceUsageStatus", 1011);
    ClickControl(*page, kSet);
    EXPECT_EQ(m_rec.Count("getInterfaceUsageStatus"), 2);
    ASSERT_EQ(m_services.Messages().size(), 1u);
    EXPECT_EQ(U8(m_services.Messages()[0].strText), "Failed to set interface usage.");
    // A failed re-read says so and takes SET away.
    m_services.Clear();
    m_rec.SetResult("getInterfaceUsageStatus", 1000);
    ClickControl(*page, kSet);
    ASSERT_EQ(m_services.Messages().size(), 2u);
    EXPECT_EQ(U8(m_services.Messages()[1].strText), "Failed to get interface usage.");
    EXPECT_FALSE(page->IsEnabled(kSet));
    EXPECT_EQ(m_rec.MainThreadCalls(), 0);
}

// GET and the re-read after a failed SET: while the read runs, the page takes
// no input and shows the wait cursor, a second job is refused, and the click
// that started it has already returned (nothing waits inside a handler).
TEST_F(CInterfaceUsageRecorderTest, ReadsWhileThePageIsShownBlockItLikeEveryOtherCall) {
    auto page = OpenActive(&MakeInterfaceUsagePage);
    m_rec.SetDelay("getInterfaceUsageStatus", 300);
    m_rec.SetResult("setInterfaceUsageStatus", 1011);  // no error value: the page reads again
    for (int nButton : {kGet, kSet}) {
        SCOPED_TRACE(nButton);
        const int nReads = m_rec.Count("getInterfaceUsageStatus");
        page->Control(kSet)->setFocus();
        bool bReturned = false, bSampled = false, bReturnedBefore = false, bCursor = false, bEnabled = true;
        QTimer::singleShot(100, [&] {
            bReturnedBefore = bReturned;
            bCursor = CWaitCursor::ActiveCount() > 0;
            bEnabled = page->isEnabled();
            QTest::mouseClick(page->ControlAs<QPushButton>(kSet), Qt::LeftButton);
            bSampled = true;
        });
        QTest::mouseClick(page->ControlAs<QPushButton>(nButton), Qt::LeftButton);
        bReturned = true;
        ASSERT_TRUE(WaitFor(
            [&] { return bSampled && m_rec.Count("getInterfaceUsageStatus") == nReads + 1 && page->isEnabled(); }));
        EXPECT_TRUE(bReturnedBefore);
        EXPECT_TRUE(bCursor);
        EXPECT_FALSE(bEnabled);
        EXPECT_EQ(m_rec.Count("setInterfaceUsageStatus"), nButton == kSet ? 1 : 0);
        EXPECT_EQ(CWaitCursor::ActiveCount(), 0);
        EXPECT_TRUE(page->Control(kSet)->hasFocus());  // back where it was
    }
    EXPECT_EQ(m_rec.MainThreadCalls(), 0);
}

}  // namespace
}  // namespace vexal::utility::test
