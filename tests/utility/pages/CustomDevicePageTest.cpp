// Custom device page (143): the hub's custom table per type, the two views
// of attached devices, row clicks choosing the type, and the answers.
#include "PagesTestSupport.h"
#include "RecorderControl.h"

#include <QListWidget>
#include <QTest>
#include <QTreeWidget>

namespace vexal::utility::test {
namespace {

constexpr int kView = 1066, kListType = 1067, kList = 1068, kVid = 1069, kPid = 1070, kType = 1071, kAdd = 1072,
              kDelete = 1073, kReInit = 1074;
const char kPowerCycle[] = "Please, turn off the printer and turn on the printer";

void ClickListBoxRow(CDialogBase& page, int nId, int nRow) {
    auto* pList = page.ControlAs<QListWidget>(nId);
    ASSERT_NE(pList, nullptr);
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, pList->visualItemRect(pList->item(nRow)).center());
    WaitUntilIdle(page);
}

void ClickListViewRow(CDialogBase& page, int nRow) {
    auto* pView = page.ControlAs<QTreeWidget>(kList);
    ASSERT_NE(pView, nullptr);
    ASSERT_LT(nRow, pView->topLevelItemCount());
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, {}, pView->visualItemRect(pView->topLevelItem(nRow)).center());
    WaitUntilIdle(page);
}

std::vector<std::string> Row(CDialogBase& page, int nRow) {
    std::vector<std::string> cells;
    for (int i = 0; i < 5; ++i) cells.push_back(U8(page.ListCell(kList, nRow, i)));
    return cells;
}

class CCustomDevicePageTest : public CHubPageTest {
protected:
    std::unique_ptr<CSettingsPage> Open() {
        auto page = RenderPage(MakeCustomDevicePage, Context());
        EXPECT_TRUE(ReadFromHub(*page));
        page->show();
        EXPECT_FALSE(page->IsEnabled(kListType));
        EXPECT_EQ(page->ComboIndex(kType), 0);
        return page;
    }
};
class CCustomDeviceRecorderTest : public CRecorderPageTest {};

TEST_F(CCustomDevicePageTest, AddListPickAndDeleteAnEntry) {
    auto page = Open();
    TypeInto(*page, kVid, "1a2B");
    TypeInto(*page, kPid, "00FF");
    ActivateComboIndex(*page, kType, 3);
    ClickControl(*page, kAdd);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"41031A2B00FF"});
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Add custom device success", kPowerCycle}));
    m_services.Clear();
    ClickControl(*page, kAdd);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Fail-OverlapID"});

    // Not four hexadecimal digits: refused, with the reason, before anything is sent.
    ClearReceived();
    m_services.Clear();
    TypeInto(*page, kVid, "12G4");
    ClickControl(*page, kAdd);
    TypeInto(*page, kVid, "123");
    ClickControl(*page, kDelete);
    TypeInto(*page, kVid, "12G");
    ClickControl(*page, kDelete);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"The VID/PID is not hexadecimal.", "The VID/PID length is invalid.",
                                                 "The VID/PID length is invalid."}));
    EXPECT_EQ(Control("RX 0"), "");

    ClickListBoxRow(*page, kView, 0);
    EXPECT_TRUE(page->IsEnabled(kListType));
    EXPECT_EQ(U8(page->GetText(kVid)), "");
    ActivateComboIndex(*page, kType, 0);
    ClickListBoxRow(*page, kListType, 3);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"4003"});
    EXPECT_EQ(page->ComboIndex(kType), 3);
    ASSERT_EQ(page->ListRowCount(kList), 1);
    EXPECT_EQ(Row(*page, 0), (std::vector<std::string>{"0", "", "1a2b", "00ff", "Barcode Scanner"}));
    // Choosing the same type again reads it anew.
    ClearReceived();
    ClickListBoxRow(*page, kListType, 3);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"4003"});
    EXPECT_EQ(page->ListRowCount(kList), 1);

    ActivateComboIndex(*page, kType, 0);
    ClickListViewRow(*page, 0);
    EXPECT_EQ(page->ComboIndex(kType), 3);
    EXPECT_EQ(U8(page->GetText(kVid)), "1a2b");
    EXPECT_EQ(U8(page->GetText(kPid)), "00ff");
    ClearReceived();
    m_services.Clear();
    ClickControl(*page, kDelete);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"42031A2B00FF"});
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Delete custom device success", kPowerCycle}));
    EXPECT_EQ(Control("GET custom_devices.types.3"), "[]");
}

TEST_F(CCustomDevicePageTest, AttachedDeviceViewsAndTheTypeTheirRowsChoose) {
    auto page = Open();
    ClickListBoxRow(*page, kView, 1);
    ASSERT_EQ(page->ListRowCount(kList), 4);
    EXPECT_EQ(Row(*page, 0), (std::vector<std::string>{"0", "", "5a4d", "0e28", ""}));
    EXPECT_EQ(Row(*page, 3), (std::vector<std::string>{"3", "", "5a4d", "2303", ""}));
    ActivateComboIndex(*page, kType, 5);
    ClickListViewRow(*page, 0);  // no type: the type list stays
    EXPECT_EQ(page->ComboIndex(kType), 5);
    EXPECT_EQ(U8(page->GetText(kVid)), "5a4d");

    ClickListBoxRow(*page, kView, 2);
    EXPECT_EQ(U8(page->GetText(kVid)), "");
    ASSERT_EQ(page->ListRowCount(kList), 4);
    EXPECT_EQ(Row(*page, 0), (std::vector<std::string>{"0", "0A", "5a4d", "0e28", "Local Printer"}));
    EXPECT_EQ(Row(*page, 1), (std::vector<std::string>{"1", "14", "5a4d", "1200", "HID Input"}));
    EXPECT_EQ(Row(*page, 2), (std::vector<std::string>{"2", "64", "5a4d", "6001", "USB Serial"}));
    ClickListViewRow(*page, 0);
    EXPECT_EQ(page->ComboIndex(kType), 0);  // a local printer is a POS printer
    ActivateComboIndex(*page, kType, 4);
    ClickListViewRow(*page, 1);  // HID input has no custom list
    EXPECT_EQ(page->ComboIndex(kType), 4);
    EXPECT_TRUE(m_services.Messages().empty());
}

TEST_F(CCustomDevicePageTest, ReInitAsksBeforeItEmptiesAType) {
    auto page = Open();
    ActivateComboIndex(*page, kType, 9);
    m_services.QueueAnswer(EMsgResult::No);
    ClickControl(*page, kReInit);
    ASSERT_EQ(m_services.Messages().size(), 1u);
    EXPECT_EQ(m_services.Messages()[0].eButtons, EMsgButtons::YesNo);
    EXPECT_EQ(Control("RX 0"), "");
    m_services.Clear();
    m_services.QueueAnswer(EMsgResult::Yes);
    ClickControl(*page, kReInit);
    EXPECT_EQ(WaitReceived(1), std::vector<std::string>{"4309"});
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[1], "Re-Init custom device success");
    EXPECT_EQ(texts[2], kPowerCycle);
}

TEST_F(CCustomDeviceRecorderTest, OpensWithNoViewChosenAndReadsOnlyOnAUsersChoice) {
    auto page = OpenActive(&MakeCustomDevicePage);
    auto* pView = page->ControlAs<QListWidget>(kView);
    auto* pTypes = page->ControlAs<QListWidget>(kListType);
    ASSERT_TRUE(pView->hasFocus());  // the first control takes the focus
    // Tabbing through the page chooses nothing.
    QTest::keyClick(pView, Qt::Key_Tab);
    EXPECT_TRUE(pView->selectedItems().isEmpty());
    EXPECT_FALSE(page->IsEnabled(kListType));
    EXPECT_FALSE(pTypes->hasFocus());

    ClickListBoxRow(*page, kView, 0);
    EXPECT_TRUE(page->IsEnabled(kListType));
    pView->setFocus(Qt::TabFocusReason);
    QTest::keyClick(pView, Qt::Key_Tab);
    ASSERT_TRUE(pTypes->hasFocus());
    EXPECT_TRUE(pTypes->selectedItems().isEmpty());
    EXPECT_EQ(m_rec.Log(), "");
    QTest::keyClick(pTypes, Qt::Key_Down);  // the user's first choice of a type
    WaitUntilIdle(*page);
    EXPECT_EQ(m_rec.Log(), "getCustomDeviceList");
    EXPECT_EQ(m_rec.LastArgs("getCustomDeviceList"), "0,1");
}

TEST_F(CCustomDeviceRecorderTest, LibraryFailuresGetTheirMessages) {
    auto page = RenderPage(MakeCustomDevicePage, Context());
    page->show();
    m_rec.SetResult("addCustomDevice", 1011);
    m_rec.SetResult("getCustomDeviceList", 1000);
    m_rec.SetResult("getUsbList", 1011);
    TypeInto(*page, kVid, "5a4d");
    TypeInto(*page, kPid, "6001");
    ClickControl(*page, kAdd);
    ClickListBoxRow(*page, kView, 0);
    ClickListBoxRow(*page, kListType, 2);
    ClickListBoxRow(*page, kView, 1);
    EXPECT_EQ(m_rec.LastArgs("getCustomDeviceList"), "0,2");
    ASSERT_EQ(m_services.Messages().size(), 3u);
    EXPECT_EQ(U8(m_services.Messages()[0].strText), "Failed to add custom device (error 1011).");
    EXPECT_EQ(U8(m_services.Messages()[1].strText), "Failed to custom device list.");
    EXPECT_EQ(U8(m_services.Messages()[2].strText), "Failed to USB ID list.");
    EXPECT_EQ(m_rec.MainThreadCalls(), 0);
}

}  // namespace
}  // namespace vexal::utility::test
