// The headless harness of the utility's tests (the pages' tests use it too).
//
//   class CLanPageTest : public CUtilityTest {};        // QApplication ready
//   TEST_F(CLanPageTest, Set) {
//       CRecorderControl rec;                             // stand-in library
//       client::CCfgLibrary api; ASSERT_TRUE(api.Load(CRecorderControl::LibraryName()));
//       CLibraryWorker worker;
//       client::CHubSession session(api);               // attached to the handle opened
//       SQtPageContext ctx{session, worker, m_services};
//       auto page = RenderPage(MakeLanPage, ctx);
//       ASSERT_TRUE(ReadFromHub(*page));                  // waits for the read
//       page->show();                                     // shown, not run modally
//       TypeInto(*page, 1317, "10.0.0.9");
//       ClickControl(*page, 1);
//       ASSERT_EQ(m_services.Messages().size(), 1u);
//       EXPECT_EQ(m_services.Messages()[0].strText, "...");
//   }
//
// Runs with QT_QPA_PLATFORM=offscreen (set here when unset). Controls are
// driven as a user would: mouse clicks, key clicks, combo keys.
#pragma once
#include "utility/qt/DialogBase.h"
#include "utility/qt/DialogServices.h"
#include "utility/qt/SettingsPage.h"

#include <gtest/gtest.h>

#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

class QApplication;

// Readable QString values in test failures.
inline void PrintTo(const QString& strText, std::ostream* pOut) { *pOut << '"' << strText.toStdString() << '"'; }

namespace vexal::utility::test {

// The process's QApplication, made on first use.
QApplication& TestApplication();

// Records every message box and modal run instead of showing it.
class CRecordingServices final : public IDialogServices {
public:
    EMsgResult ShowMessage(QWidget* pParent, const SMessage& message) override;
    // Shows the dialog (not modally), calls the modal handler with it while it
    // is shown, hides it and returns the handler's result (Rejected without one).
    int RunModal(QDialog& dlg) override;

    const std::vector<SMessage>& Messages() const { return m_messages; }
    // Object names of the dialogs run modally, in order ("136", ...).
    const std::vector<QString>& ModalRuns() const { return m_modalRuns; }
    // Answers for the next message boxes, in order (then Ok, or No for Yes/No).
    void QueueAnswer(EMsgResult eAnswer) { m_answers.push_back(eAnswer); }
    void SetModalHandler(std::function<int(QDialog&)> fnHandler) { m_fnModal = std::move(fnHandler); }
    // File choices: answers for the next ones, in order (an empty one, and
    // any after the last, is a cancel), and those asked for.
    std::optional<QString> ChooseFile(QWidget* pParent, const SFileChoice& choice) override;
    void QueueFile(const QString& strFile) { m_files.push_back(strFile); }
    const std::vector<SFileChoice>& FileChoices() const { return m_fileChoices; }
    // Whether a wait cursor was set while the last message box was up.
    bool WaitCursorAtLastMessage() const { return m_bWaitCursorAtMessage; }
    void Clear();

private:
    std::vector<SMessage> m_messages;
    std::vector<QString> m_modalRuns;
    std::deque<EMsgResult> m_answers;
    std::function<int(QDialog&)> m_fnModal;
    std::deque<QString> m_files;
    std::vector<SFileChoice> m_fileChoices;
    bool m_bWaitCursorAtMessage = false;
};

// Fixture: the application exists and a recorder is at hand.
class CUtilityTest : public ::testing::Test {
protected:
    CUtilityTest();
    // Waits (briefly) until the threads a test ended have left the process: a
    // finished QThread's system thread still runs Qt's own clean-up for a
    // moment, and a leak check at exit would take its thread data for a leak.
    ~CUtilityTest() override;
    CRecordingServices m_services;

private:
    size_t m_nThreadsAtStart = 0;
};

// User actions by control identifier. Each fails the test (ADD_FAILURE) when
// the control is missing or of another kind. Those that can start a library
// job return once the window has shown its outcome (WaitUntilIdle).
void ClickControl(CDialogBase& dlg, int nId);
// A click that returns at once (for clicks made while a job runs).
void ClickDuringJob(CDialogBase& dlg, int nId);
// Processes events until no job of the window runs (fails the test after 10 s).
void WaitUntilIdle(const CDialogBase& dlg);
// Selects all of an edit's text and types strText (runs textEdited handlers).
void TypeInto(CDialogBase& dlg, int nId, const QString& strText);
// Types into the four fields of an address control.
void TypeIpv4(CDialogBase& dlg, int nId, const QString& strDotted);
// Moves a drop-down to nIndex with the keyboard (runs activated handlers),
// waiting after each key as a user waits for what a key started.
void ActivateComboIndex(CDialogBase& dlg, int nId, int nIndex);
// Opens a drop-down's list (F4), moves to nIndex in it and presses Enter, as
// a user choosing from the open list does; nIndex may be the entry shown.
void ChooseFromOpenList(CDialogBase& dlg, int nId, int nIndex);
// Processes events until fnDone is true or nTimeout passes.
bool WaitFor(const std::function<bool()>& fnDone, std::chrono::milliseconds nTimeout = std::chrono::seconds(10));

// Whether owner shows the window of popup (a modeless child) now.
bool PopupShown(const CDialogBase& owner, const CDialogLogic& popup);

// Starts a page's read and waits for its outcome.
bool ReadFromHub(CSettingsPage& page);

// Runs fnWork on the worker and waits for its result (the tests' own set-up
// and checks); nothing when the worker would not take it or 10 s passed.
template <class R>
std::optional<R> CallOnWorker(CLibraryWorker& worker, std::function<R()> fnWork) {
    auto pResult = std::make_shared<std::optional<R>>();
    if (!worker.Start<R>(nullptr, std::move(fnWork), [pResult](R r) { *pResult = std::move(r); })) return std::nullopt;
    WaitFor([&] { return pResult->has_value() || !worker.IsBusy(); });
    return *pResult;
}

// Measures the longest gap between the main thread's event-loop turns (a
// 10 ms timer) while it lives: a blocked main thread shows as a long gap.
class CStallMonitor {
public:
    CStallMonitor();
    ~CStallMonitor();
    std::chrono::milliseconds LongestGap() const;

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

}  // namespace vexal::utility::test
