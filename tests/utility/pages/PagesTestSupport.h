// The settings pages' test fixture: a simulated hub, the real configuration
// library bound by name as the utility binds it, a session opened on the
// library worker, and the message recorder of the utility's test harness.
//
//   TEST_F(CHubPageTest, Set) {
//       auto page = RenderPage(MakeLanPage, Context());
//       ASSERT_TRUE(ReadFromHub(*page));
//       ClearReceived();
//       ClickControl(*page, 1037);                        // returns once the SET's outcome shows
//       EXPECT_EQ(WaitReceived(1).back(), "25...");   // what the hub got on device 0
//   }
#pragma once
#include "HubSimFixture.h"
#include "RecorderControl.h"
#include "UtilityTestSupport.h"
#include "client/CfgLibrary.h"
#include "client/HubSession.h"
#include "utility/qt/SettingsPage.h"

#include <memory>
#include <string>
#include <vector>

namespace vexal::utility::test {

class CHubPageTest : public CUtilityTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The pages' session, on the handle the fixture opened.
    SQtPageContext Context() {
        m_session.Attach(m_nHandle);
        return {m_session, m_worker, m_services};
    }
    // One control command; the answer without its "OK ".
    std::string Control(const std::string& strLine);
    void ClearReceived() { Control("RX CLEAR"); }
    // The payloads the hub received for device 0, upper-case hex each, once
    // at least nAtLeast arrived (or after 5 s).
    std::vector<std::string> WaitReceived(size_t nAtLeast);
    // Plugs or unplugs a device on the hub and waits (at most 5 s) until the
    // library's device list shows the change.
    void Plug(int nId, const std::string& strKind = "serial");
    void Unplug(int nId);
    // Message texts recorded so far, in order.
    std::vector<std::string> Texts() const;

    void WaitPresence(int nId, bool bPresent);

    std::unique_ptr<CHubSimFixture> m_pHub;
    client::CCfgLibrary m_api;
    int32_t m_nHandle = 0;  // the session SetUp opened
    client::CHubSession m_session{m_api};
    CLibraryWorker m_worker;
};

// The pages over the recording stand-in library, for failures the simulator
// cannot give and for watching the calls (RecorderControl.h).
class CRecorderPageTest : public CUtilityTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_api.Load(CRecorderControl::LibraryName())); }
    // The pages' session, on the handle the fixture opened.
    SQtPageContext Context() {
        m_session.Attach(0);
        return {m_session, m_worker, m_services};
    }
    // Makes a page, reads it and shows it as the active window, with the
    // keyboard focus, as the main window opens it (the test fails when the
    // read does).
    std::unique_ptr<CSettingsPage> OpenActive(std::unique_ptr<CPageLogic> (*pfnMake)(const SPageContext&));

    CRecorderControl m_rec;  // resets the record
    client::CCfgLibrary m_api;
    client::CHubSession m_session{m_api};
    CLibraryWorker m_worker;
};

// Types any text into an edit as key presses carrying the characters (as an
// input method would), replacing what it held; runs textEdited handlers.
void TypeText(CDialogBase& dlg, int nId, const QString& strText);

// Pastes strText from the clipboard over an edit's whole text, as a user's
// select-all and Ctrl+V do; runs textEdited handlers when the paste is taken.
void PasteInto(CDialogBase& dlg, int nId, const QString& strText);

// The UTF-8 of a QString, for comparisons in tests.
std::string U8(const QString& strText);

}  // namespace vexal::utility::test
