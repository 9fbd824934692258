// The dialog layer: controls by identifier, user-action-only handlers, the
// address field, message boxes with the wait cursor lifted, the progress
// pop-up and the library worker.
#include "LogicTestSupport.h"
#include "UtilityTestSupport.h"
#include "utility/qt/DialogBase.h"
#include "utility/qt/Ipv4Edit.h"
#include "utility/logic/LibraryJobs.h"
#include "utility/qt/LibraryWorker.h"
#include "utility/logic/PageLogic.h"
#include "utility/logic/ProgressLogic.h"
#include "utility/logic/Text.h"
#include "utility/qt/WaitCursor.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QTreeWidget>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace vexal::utility;
using namespace vexal::utility::test;
using namespace std::chrono_literals;

namespace {
// A window of every kind of control, with a counter per handler.
class CSampleLogic final : public CDialogLogic {
public:
    CSampleLogic() {
        m_desc.nId = 900;
        auto& c = m_desc.controls;
        c.push_back(LabelFor(10, u"&Name :", 0, 0));
        c.push_back(Ctl(EControl::Edit, 10, {}, 0, 1));
        c.push_back(Ctl(EControl::Combo, 11, u"Speed", 1, 1));
        c.push_back(Ctl(EControl::Ipv4, 12, u"Address", 2, 1));
        c.push_back(Ctl(EControl::Button, 13, u"SET", 3, 1));
        c.push_back(Ctl(EControl::Radio, 14, u"On", 4, 0));
        c.push_back(Ctl(EControl::ListView, 15, u"Devices", 5, 1));
        c.back().columns = {u"VID", u"PID"};
        c.push_back(LabelFor(16, u"Model :", 6, 0));
        c.push_back(Ctl(EControl::Value, 16, {}, 6, 1));
    }
    const SDialogDesc& Desc() const override { return m_desc; }
    void OnInit() override {
        for (int i = 0; i < 4; ++i) View().ComboAdd(11, NumberText(9600 << i));
    }
    void OnTextEdited(int nId, const std::u16string&) override { ++(nId == 10 ? m_nEdited : m_nAddressEdited); }
    void OnActivated(int, int nIndex) override { m_nActivated = nIndex; }
    void OnClicked(int nId) override {
        if (nId == 13) ++m_nClicked;
    }
    int m_nEdited = 0, m_nActivated = -1, m_nClicked = 0, m_nAddressEdited = 0;

private:
    SDialogDesc m_desc;
};
}  // namespace

class DialogLayerTest : public CUtilityTest {};

TEST(Ipv4Test, OctetsAreDecimalZeroTo255AndBlankIsZero) {
    EXPECT_EQ(ParseOctet(""), 0);
    EXPECT_EQ(ParseOctet("0"), 0);
    EXPECT_EQ(ParseOctet("255"), 255);
    EXPECT_EQ(ParseOctet("010"), 10);  // decimal, never octal
    for (const char* bad : {"256", "1a", "0x1", " 1", "-1", "1000"}) EXPECT_FALSE(ParseOctet(bad).has_value()) << bad;
}

TEST_F(DialogLayerTest, ControlsCarryIdentifierAndNamesAndHandlersRunOnlyOnUserActions) {
    CSampleLogic sample;
    CDialogBase dlg(sample, m_services);
    dlg.show();
    for (int nId : dlg.ControlIds()) {
        QWidget* p = dlg.Control(nId);
        EXPECT_EQ(p->objectName(), QString::number(nId));
        EXPECT_EQ(p->accessibleName().isEmpty(), nId == 16) << nId;  // a value label is read by its text
    }
    EXPECT_EQ(dlg.Control(10)->accessibleName(), "Name");  // from its label
    EXPECT_FALSE(dlg.ControlAs<QPushButton>(13)->autoDefault());

    // Filling from code runs nothing.
    dlg.SetText(10, "abc");
    dlg.ComboSelect(11, 2);
    dlg.SetIpv4(12, {10, 0, 0, 5});
    EXPECT_EQ(sample.m_nEdited + sample.m_nAddressEdited + sample.m_nClicked, 0);
    EXPECT_EQ(sample.m_nActivated, -1);
    EXPECT_EQ(dlg.GetText(11), "38400");
    EXPECT_EQ(dlg.GetIpv4(12), (Ipv4Octets{10, 0, 0, 5}));

    // The user's actions do; Enter in a field clicks no button.
    TypeInto(dlg, 10, "xy");
    EXPECT_EQ(dlg.GetText(10), "xy");
    EXPECT_EQ(sample.m_nEdited, 2);
    QTest::keyClick(dlg.Control(10), Qt::Key_Return);
    EXPECT_EQ(sample.m_nClicked, 0);
    EXPECT_TRUE(dlg.isVisible());
    ActivateComboIndex(dlg, 11, 1);
    EXPECT_EQ(sample.m_nActivated, 1);
    ClickControl(dlg, 13);
    EXPECT_EQ(sample.m_nClicked, 1);

    // The address: out-of-range digits are refused, a blank octet is 0.
    TypeIpv4(dlg, 12, "300..7.1");
    EXPECT_GT(sample.m_nAddressEdited, 0);
    EXPECT_EQ(dlg.GetIpv4(12), (Ipv4Octets{30, 0, 7, 1}));

    // Lists, enable and show by identifier; unknown ids are harmless.
    EXPECT_EQ(dlg.ListAddRow(15, {"5a4d", "0e28"}), 0);
    EXPECT_EQ(dlg.ListAddRow(15, {"5a4d", "6001"}), 1);
    dlg.ListSelectRow(15, 1);
    EXPECT_EQ(dlg.ListSelectedRow(15), 1);
    EXPECT_EQ(dlg.ListCell(15, 1, 1), "6001");
    dlg.ListClear(15);
    EXPECT_EQ(dlg.ListRowCount(15), 0);
    dlg.Enable(13, false);
    dlg.Show(16, false);
    EXPECT_FALSE(dlg.IsEnabled(13));
    EXPECT_FALSE(dlg.IsShown(16));
    ClickControl(dlg, 13);  // a disabled button does nothing
    EXPECT_EQ(sample.m_nClicked, 1);
    dlg.SetText(4242, "x");
    EXPECT_EQ(dlg.GetText(4242), "");
    EXPECT_EQ(dlg.ComboIndex(4242), -1);
}

namespace {
// A window described as data, its logic recording what reached it.
class CRecordingLogic final : public CDialogLogic {
public:
    CRecordingLogic() {
        m_desc.nId = 901;
        m_desc.strTitle = u"Sample";
        auto& c = m_desc.controls;
        c.push_back(LabelFor(20, u"&Port :", 0, 0));
        SControlDesc port = Ctl(EControl::Edit, 20, {}, 0, 1);
        port.eInput = EInput::Digits;
        port.nMaxLength = 5;
        c.push_back(port);
        c.push_back(Ctl(EControl::Combo, 21, u"Speed", 1, 1));
        for (int nId : {22, 23}) {  // a pair sharing one cell, and a second group beside it
            c.push_back(Ctl(EControl::Radio, nId, nId == 22 ? u"&On" : u"O&ff", 2, 1));
            c.back().nGroup = 1;
        }
        c.push_back(Ctl(EControl::Radio, 24, u"Other", 2, 1));
        c.back().nGroup = 2;
        c.push_back(Ctl(EControl::ListView, 25, u"Devices", 3, 0));
        c.back().nColumnSpan = 2;
        c.back().columns = {u"VID", u"PID"};
        c.push_back(RowButton(26, u"SET"));
        c.push_back(RowButton(27, u"Close"));
        c.back().bStretchBefore = true;
        c.push_back(RowButton(28, u"Hidden"));
        c.back().bHidden = true;
    }
    const SDialogDesc& Desc() const override { return m_desc; }
    void OnInit() override {
        ++m_nInits;
        for (const char16_t* s : {u"9600", u"19200", u"38400"}) View().ComboAdd(21, s);
        View().ComboSelect(21, 0);
        View().StartTimer(7, 10);
    }
    void OnClicked(int nId) override { m_events.push_back("click " + std::to_string(nId)); }
    void OnActivated(int nId, int nIndex) override {
        m_events.push_back("pick " + std::to_string(nId) + " " + std::to_string(nIndex));
    }
    void OnTextEdited(int nId, const std::u16string& strText) override {
        m_events.push_back("edit " + std::to_string(nId) + " " + U16ToUtf8(strText));
    }
    void OnRowSelected(int nId, int nRow) override {
        m_events.push_back("row " + std::to_string(nId) + " " + std::to_string(nRow));
    }
    void OnTimer(int) override { ++m_nTicks; }
    bool OnCloseRequest() override {
        m_events.push_back("close?");
        return m_bMayClose;
    }
    IDialogView& Window() const { return View(); }

    SDialogDesc m_desc;
    std::vector<std::string> m_events;
    int m_nInits = 0, m_nTicks = 0;
    bool m_bMayClose = false;
};
}  // namespace

TEST_F(DialogLayerTest, RendererBuildsTheWindowFromItsDescriptionAndForwardsUserActionsOnly) {
    CRecordingLogic logic;
    {
        CDialogBase dlg(logic, m_services);
        ASSERT_TRUE(logic.HasView());
        EXPECT_EQ(logic.m_nInits, 1);
        EXPECT_EQ(dlg.objectName(), "901");
        EXPECT_EQ(dlg.windowTitle(), "Sample");
        EXPECT_EQ(dlg.Control(20)->accessibleName(), "Port");  // from its label, which has it as buddy
        EXPECT_EQ(dlg.ControlAs<QTreeWidget>(25)->headerItem()->text(1), "PID");
        for (int nId : {26, 27, 28}) EXPECT_FALSE(dlg.ControlAs<QPushButton>(nId)->autoDefault()) << nId;
        EXPECT_FALSE(dlg.IsShown(28));
        EXPECT_EQ(logic.m_nTicks, 0);  // timers run only while shown
        dlg.show();
        ASSERT_TRUE(WaitFor([&] { return logic.m_nTicks > 0; }, 5s));
        // The shared cell lies side by side, the button row under the grid, Close on the right.
        EXPECT_EQ(dlg.Control(22)->y(), dlg.Control(24)->y());
        EXPECT_LT(dlg.Control(22)->x(), dlg.Control(23)->x());
        EXPECT_GT(dlg.Control(26)->y(), dlg.Control(25)->y());
        EXPECT_GT(dlg.Control(27)->x(), dlg.Control(26)->x() + dlg.Control(26)->width());

        // Filling from the logic runs nothing.
        IDialogView& view = logic.Window();
        view.SetText(20, u"123");
        view.ComboSelect(21, 2);
        view.SetCheck(22, true);
        EXPECT_TRUE(logic.m_events.empty());
        EXPECT_EQ(view.GetText(21), u"38400");

        // Radios: exclusive per group only; the logic can clear a checked one.
        ClickControl(dlg, 24);
        EXPECT_TRUE(view.IsChecked(22));
        ClickControl(dlg, 23);
        EXPECT_FALSE(view.IsChecked(22));
        EXPECT_TRUE(view.IsChecked(24));
        view.SetCheck(23, false);
        EXPECT_FALSE(view.IsChecked(23));

        // Digits only, at most five; a paste holding anything else is dropped whole.
        TypeInto(dlg, 20, "80a8");
        EXPECT_EQ(dlg.GetText(20), "808");
        QApplication::clipboard()->setText(QStringLiteral("99\r1"));
        dlg.Control(20)->setFocus();
        dlg.ControlAs<QLineEdit>(20)->selectAll();
        QTest::keyClick(dlg.Control(20), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(dlg.GetText(20), "808");
        TypeInto(dlg, 20, "1234567");
        EXPECT_EQ(view.GetText(20), u"12345");

        logic.m_events.clear();
        ChooseFromOpenList(dlg, 21, 2);  // the entry shown: nothing
        ActivateComboIndex(dlg, 21, 0);
        view.ListAddRow(25, {u"5a4d", u"0e28"});
        view.ListSelectRow(25, 0);
        ClickControl(dlg, 26);
        QTest::keyClick(dlg.Control(20), Qt::Key_Return);  // Enter writes nothing
        EXPECT_EQ(logic.m_events, (std::vector<std::string>{"pick 21 0", "row 25 0", "click 26"}));

        // Escape asks the logic, which may keep the window; Close ends it.
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(logic.m_events.back(), "close?");
        view.Close(kAccepted);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), QDialog::Accepted);

        // Busy calls nest; the window takes input again after the last.
        dlg.show();
        view.SetBusy(true);
        view.SetBusy(true);
        view.SetBusy(false);
        EXPECT_FALSE(dlg.isEnabled());
        EXPECT_EQ(CWaitCursor::ActiveCount(), 1);
        view.SetBusy(false);
        EXPECT_TRUE(dlg.isEnabled());
        EXPECT_EQ(CWaitCursor::ActiveCount(), 0);

        // A child rendered and run modally through the services.
        CRecordingLogic child;
        child.m_bMayClose = true;
        m_services.SetModalHandler([](QDialog&) { return QDialog::Accepted; });
        EXPECT_EQ(view.RunModal(child), kAccepted);
        EXPECT_EQ(m_services.ModalRuns(), std::vector<QString>{"901"});
        EXPECT_FALSE(child.HasView());
    }
    EXPECT_FALSE(logic.HasView());  // the window went; the logic stays
}

TEST_F(DialogLayerTest, MessageLiftsTheWaitCursorAndHidesThePopup) {
    CSampleLogic sample;
    CDialogBase dlg(sample, m_services);
    CProgressLogic popup;
    dlg.show();
    {
        CWaitCursor outer;
        CWaitCursor inner;
        popup.Begin(dlg.View());
        EXPECT_TRUE(PopupShown(dlg, popup));
        m_services.QueueAnswer(EMsgResult::Yes);
        EXPECT_EQ(dlg.Message("Really?", EMsgIcon::Question, EMsgButtons::YesNo), EMsgResult::Yes);
        EXPECT_FALSE(m_services.WaitCursorAtLastMessage());
        EXPECT_FALSE(PopupShown(dlg, popup));
        EXPECT_EQ(CWaitCursor::ActiveCount(), 0);
        CWaitCursor later;  // a guard made after the box works as usual
        EXPECT_EQ(CWaitCursor::ActiveCount(), 1);
    }
    EXPECT_EQ(CWaitCursor::ActiveCount(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(m_services.Messages().size(), 1u);
    EXPECT_EQ(m_services.Messages()[0].strCaption, "Vexal Utility");
    EXPECT_EQ(m_services.Messages()[0].eIcon, EMsgIcon::Question);
    popup.End();
}

TEST_F(DialogLayerTest, PopupAdvancesWrapsIgnoresEscapeAndTimesOnlyWhileShown) {
    CSampleLogic sample;
    CDialogBase owner(sample, m_services);
    owner.show();
    CProgressLogic logic;
    EXPECT_EQ(owner.ModelessWindow(logic), nullptr);
    logic.Begin(owner.View());
    CDialogBase* pPopup = owner.ModelessWindow(logic);
    ASSERT_NE(pPopup, nullptr);
    EXPECT_EQ(logic.Position(), 0);
    EXPECT_TRUE(pPopup->isModal());
    EXPECT_TRUE(pPopup->windowFlags().testFlag(Qt::FramelessWindowHint));
    ASSERT_TRUE(WaitFor([&] { return logic.Position() >= 6; }, 5s));
    EXPECT_EQ(logic.Position() % 2, 0);
    auto* pBar = pPopup->findChild<QProgressBar*>("1053");
    ASSERT_NE(pBar, nullptr);
    EXPECT_EQ(pBar->value(), logic.Position());
    pBar->setValue(100);
    ASSERT_TRUE(WaitFor([&] { return pBar->value() < 100; }, 5s));
    EXPECT_LE(logic.Position(), 2);
    QTest::keyClick(pPopup, Qt::Key_Escape);
    pPopup->close();
    EXPECT_TRUE(pPopup->isVisible());
    // Hidden (as before a message box), it stands still.
    pPopup->hide();
    int nPos = logic.Position();
    QTest::qWait(150);
    EXPECT_EQ(logic.Position(), nPos);
    logic.End();
    EXPECT_FALSE(logic.IsShown());
    EXPECT_EQ(owner.ModelessWindow(logic), nullptr);
    nPos = logic.Position();
    QTest::qWait(150);
    EXPECT_EQ(logic.Position(), nPos);
}

// A screen reader hears each Enable/Disable pair as radio buttons, each
// button with its row; pairs that name their rows themselves keep that.
TEST_F(DialogLayerTest, RadioPairsAreToldAsRadioButtonsEachWithItsRow) {
    vexal::client::CCfgLibrary api;
    CLibraryWorker worker;
    vexal::client::CHubSession session(api);
    const SPageContext context{session, worker.Jobs()};
    const struct {
        PageFactory fnMake;
        int nId;
        const char* pszName;
    } kButtons[] = {{MakeLanPage, 1057, "DHCP Mode Enable"},
                    {MakeLanPage, 1058, "DHCP Mode Disable"},
                    {MakeInterfaceUsagePage, 1041, "WLAN Enable"}};
    for (const auto& b : kButtons) {
        auto pPage = b.fnMake(context);
        CDialogBase dlg(*pPage, m_services);
        QAccessibleInterface* pButton = QAccessible::queryAccessibleInterface(dlg.Control(b.nId));
        ASSERT_NE(pButton, nullptr) << b.nId;
        EXPECT_EQ(pButton->role(), QAccessible::RadioButton) << b.nId;
        EXPECT_EQ(pButton->text(QAccessible::Name), QString(b.pszName)) << b.nId;
    }
}

TEST(LibraryJobsTest, OneJobAtATimeWithItsResultBackThroughTheUiQueue) {
    CHandQueue ui;
    CLibraryJobs jobs(ui);
    int nEnded = 0;
    jobs.SetJobEndedHandler([&] { ++nEnded; });
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::vector<int> results;
    bool bOnWorker = false;
    ASSERT_TRUE(jobs.Start<int>(
        [&, gate] {
            bOnWorker = jobs.OnWorkerThread();
            gate.wait();
            return 41;
        },
        [&](int n) {
            results.push_back(n);
            // A continuation may start the next job.
            EXPECT_TRUE(jobs.Start<int>([] { return 2; }, [&](int m) { results.push_back(m); }));
        }));
    EXPECT_TRUE(jobs.IsBusy());
    EXPECT_FALSE(jobs.Start<int>([] { return 0; }, [&](int) { ADD_FAILURE(); }));  // refused while one runs
    release.set_value();
    ASSERT_TRUE(ui.RunNext());
    EXPECT_EQ(results, std::vector<int>{41});
    EXPECT_TRUE(jobs.IsBusy());
    ASSERT_TRUE(ui.RunNext());
    EXPECT_EQ(results, (std::vector<int>{41, 2}));
    EXPECT_FALSE(jobs.IsBusy());
    EXPECT_TRUE(bOnWorker);
    EXPECT_FALSE(jobs.OnWorkerThread());
    EXPECT_EQ(nEnded, 2);

    // A work that throws: no continuation, but its end is told.
    testing::internal::CaptureStderr();
    ASSERT_TRUE(jobs.Start<int>([]() -> int { throw std::runtime_error("x"); }, [&](int) { ADD_FAILURE(); }));
    ASSERT_TRUE(ui.RunNext());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("exception"), std::string::npos);
    EXPECT_EQ(nEnded, 3);
    EXPECT_FALSE(jobs.IsBusy());

    // Stop lets the running job end and drops its result; nothing starts after.
    bool bRan = false;
    ASSERT_TRUE(jobs.Start<int>(
        [&] {
            std::this_thread::sleep_for(100ms);  // a slow library call
            bRan = true;
            return 1;
        },
        [&](int) { ADD_FAILURE(); }));
    EXPECT_TRUE(jobs.Stop(5s));
    EXPECT_TRUE(bRan);
    EXPECT_FALSE(jobs.IsBusy());
    EXPECT_TRUE(ui.RunNext());  // the late result, dropped
    EXPECT_EQ(nEnded, 3);
    EXPECT_FALSE(jobs.Start<int>([] { return 1; }, [](int) {}));
}

TEST_F(DialogLayerTest, WorkerHandsResultsToTheMainThreadLaterAndDropsThoseOfAWindowGone) {
    CLibraryWorker worker;
    CStallMonitor monitor;
    std::optional<int> result;
    bool bOnWorker = false, bOnMain = false;
    QObject window;
    ASSERT_TRUE(worker.Start<int>(
        &window,
        [&] {
            bOnWorker = worker.OnWorkerThread();
            std::this_thread::sleep_for(300ms);  // a slow library call
            return 41;
        },
        [&](int n) {
            result = n;
            bOnMain = QThread::currentThread() == QCoreApplication::instance()->thread();
        }));
    EXPECT_FALSE(result.has_value());  // Start returns at once
    EXPECT_FALSE(worker.Start(nullptr, [] {}));
    ASSERT_TRUE(WaitFor([&] { return result.has_value(); }, 5s));
    EXPECT_EQ(*result, 41);
    EXPECT_TRUE(bOnWorker);
    EXPECT_TRUE(bOnMain);
    EXPECT_LT(monitor.LongestGap(), 100ms);

    auto pGone = std::make_unique<QObject>();
    bool bCalled = false;
    ASSERT_TRUE(worker.Start<int>(
        pGone.get(), [] { return 1; }, [&](int) { bCalled = true; }));
    pGone.reset();
    ASSERT_TRUE(WaitFor([&] { return !worker.IsBusy(); }, 5s));
    EXPECT_FALSE(bCalled);
    EXPECT_TRUE(worker.Stop(5s));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_FALSE(worker.Start(nullptr, [] {}));
}
