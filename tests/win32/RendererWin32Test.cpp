// The Win32 renderer with a window of every control kind: the template it
// builds (classes, styles, order, places), the user's actions reaching the
// logic and the logic's own filling not, modal runs with a job's result
// coming back through the modal loop, the caption-less pop-up, and the
// main window's grid (columns that line up, spans, texts that fit).
#include <gtest/gtest.h>

#include "UtilityWin32Support.h"
#include "utility/logic/LumaroLogic.h"
#include "utility/win32/DialogTemplate.h"

#include <commctrl.h>

#include <algorithm>
#include <thread>

namespace vexal::utility::win32::test {
namespace {

enum : int {
    kName = 10,
    kModeA = 20,
    kModeB = 21,
    kCheck = 30,
    kCombo = 40,
    kList = 50,
    kIp = 60,
    kBar = 70,
    kHex = 80,
    kHidden = 90,
    kGet = 102,
    kSet = 100,
    kClose = 101,
};

SDialogDesc ProbeDesc() {
    SDialogDesc desc;
    desc.nId = 900;
    desc.strTitle = u"Probe";
    auto& c = desc.controls;
    c.push_back(RowButton(kGet, u"GET"));
    c.back().bHidden = true;
    c.push_back(LabelFor(kName, u"&Name :", 0, 0));
    SControlDesc name = Ctl(EControl::Edit, kName, u"Name", 0, 1);
    name.eInput = EInput::Digits;
    name.nMaxLength = 5;
    c.push_back(name);
    c.push_back(LabelFor(kModeA, u"Mode :", 1, 0));
    for (SControlDesc r :
         {Ctl(EControl::Radio, kModeA, u"&First", 1, 1), Ctl(EControl::Radio, kModeB, u"&Second", 1, 1)}) {
        r.nGroup = 1;
        c.push_back(r);
    }
    c.push_back(Ctl(EControl::Check, kCheck, u"&Check", 2, 1));
    SControlDesc group = Ctl(EControl::Group, 0, u"Options", 1, 0);
    group.nRowSpan = 2;
    group.nColumnSpan = 2;
    c.push_back(group);
    c.push_back(LabelFor(kCombo, u"C&hoice :", 3, 0));
    c.push_back(Ctl(EControl::Combo, kCombo, u"Choice", 3, 1));
    SControlDesc list = Ctl(EControl::ListView, kList, u"Rows", 4, 0);
    list.nColumnSpan = 2;
    list.columns = {u"Address", u"Name"};
    list.nHeightLines = 4;
    c.push_back(list);
    c.push_back(LabelFor(kIp, u"&IP :", 5, 0));
    c.push_back(Ctl(EControl::Ipv4, kIp, u"IP", 5, 1));
    c.push_back(Ctl(EControl::Progress, kBar, u"Progress", 6, 1));
    c.push_back(LabelFor(kHex, u"He&x :", 7, 0));
    SControlDesc hex = Ctl(EControl::Edit, kHex, u"Hex", 7, 1);
    hex.eInput = EInput::HexDigits;
    hex.nMaxLength = 4;
    c.push_back(hex);
    SControlDesc hiddenLabel = LabelFor(kHidden, u"A much longer hidden caption :", 8, 0);
    hiddenLabel.bHidden = true;
    c.push_back(hiddenLabel);
    SControlDesc hidden = Ctl(EControl::Edit, kHidden, u"Hidden", 8, 1);
    hidden.bHidden = true;
    c.push_back(hidden);
    c.push_back(RowButton(kSet, u"SET"));
    c.push_back(RowButton(kClose, u"Close"));
    c.back().bStretchBefore = true;
    return desc;
}

class CProbeLogic : public CDialogLogic {
public:
    const SDialogDesc& Desc() const override {
        static const SDialogDesc s_desc = ProbeDesc();
        return s_desc;
    }
    void OnInit() override {
        for (const char16_t* psz : {u"one", u"two", u"three"}) View().ComboAdd(kCombo, psz);
        View().ComboSelect(kCombo, 0);
        View().ListAddRow(kList, {u"10.0.0.1", u"hub-a"});
        View().ListAddRow(kList, {u"10.0.0.2", u"hub-b"});
        SetText(kName, u"123");
        SetCheck(kModeA, true);
        if (fnInit) fnInit();
    }
    void OnClicked(int nId) override { events.push_back("clicked " + std::to_string(nId)); }
    void OnActivated(int nId, int nIndex) override {
        events.push_back("activated " + std::to_string(nId) + " " + std::to_string(nIndex));
    }
    void OnTextEdited(int nId, const std::u16string& str) override {
        events.push_back("edited " + std::to_string(nId) + " " + U8(str));
    }
    void OnRowSelected(int nId, int nRow) override {
        events.push_back("selected " + std::to_string(nId) + " " + std::to_string(nRow));
    }
    void OnRowActivated(int nId, int nRow) override {
        events.push_back("row " + std::to_string(nId) + " " + std::to_string(nRow));
    }
    void OnRowClicked(int nId, int nRow) override {
        events.push_back("click " + std::to_string(nId) + " " + std::to_string(nRow));
    }
    void OnTimer(int nTimerId) override {
        if (fnTimer) fnTimer(nTimerId);
    }
    bool OnCloseRequest() override {
        events.push_back("close?");
        return bMayClose;
    }
    IDialogView& PublicView() { return View(); }
    template <class R>
    bool Job(CLibraryJobs& jobs, std::function<R()> fnWork, std::function<void(R)> fnDone) {
        return StartJob<R>(jobs, std::move(fnWork), std::move(fnDone));
    }

    std::vector<std::string> events;
    bool bMayClose = true;
    std::function<void()> fnInit;
    std::function<void(int)> fnTimer;
};

class CPopupLogic : public CDialogLogic {
public:
    const SDialogDesc& Desc() const override {
        static const SDialogDesc s_desc = [] {
            SDialogDesc desc;
            desc.nId = 947;
            desc.bNoCaption = true;
            desc.bEscapeCloses = false;
            SControlDesc bar = Ctl(EControl::Progress, kBar, u"", 0, 0);
            bar.nWidthChars = 40;
            desc.controls.push_back(bar);
            return desc;
        }();
        return s_desc;
    }
    void OnInit() override { View().StartTimer(1, 20); }
    void OnTimer(int) override { View().SetProgress(kBar, ++nTicks % 100, 100); }
    bool Shown() const { return View().IsVisible(); }
    int nTicks = 0;
};

class CRendererTest : public ::testing::Test {
protected:
    void SetUp() override { InitControls(); }
    static std::wstring ClassOf(HWND h) {
        wchar_t sz[64] = {};
        GetClassNameW(h, sz, 64);
        return sz;
    }
    static RECT ClientRectOf(HWND hDialog, int nId) {
        RECT rc{};
        GetWindowRect(GetDlgItem(hDialog, nId), &rc);
        MapWindowPoints(nullptr, hDialog, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }
    CRecordedHooks m_hooks;
};

TEST_F(CRendererTest, TemplateGivesEachKindItsClassStylesOrderAndPlace) {
    CProbeLogic logic;
    CWin32Dialog view(logic, nullptr);
    ASSERT_TRUE(view.CreateModeless(nullptr, true));
    const HWND h = view.Handle();
    wchar_t szTitle[32] = {};
    GetWindowTextW(h, szTitle, 32);
    EXPECT_STREQ(szTitle, L"Probe");
    EXPECT_EQ(ClassOf(GetDlgItem(h, kName)), L"Edit");
    EXPECT_EQ(ClassOf(GetDlgItem(h, kCombo)), L"ComboBox");
    EXPECT_EQ(ClassOf(GetDlgItem(h, kList)), L"SysListView32");
    EXPECT_EQ(ClassOf(GetDlgItem(h, kIp)), L"SysIPAddress32");
    EXPECT_EQ(ClassOf(GetDlgItem(h, kBar)), L"msctls_progress32");
    EXPECT_EQ(ClassOf(GetDlgItem(h, kModeA)), L"Button");

    auto style = [h](int nId) { return static_cast<DWORD>(GetWindowLongW(GetDlgItem(h, nId), GWL_STYLE)); };
    EXPECT_EQ(style(kName) & ES_NUMBER, static_cast<DWORD>(ES_NUMBER));
    EXPECT_EQ(SendMessageW(GetDlgItem(h, kName), EM_GETLIMITTEXT, 0, 0), 5);
    EXPECT_EQ(style(kCombo) & 3, static_cast<DWORD>(CBS_DROPDOWNLIST));
    EXPECT_EQ(style(kList) & (LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS),
              static_cast<DWORD>(LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS));
    EXPECT_EQ(style(kModeA) & (WS_GROUP | WS_TABSTOP | 0xF),
              static_cast<DWORD>(WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON));
    EXPECT_EQ(style(kModeB) & (WS_GROUP | WS_TABSTOP), 0u);           // one group, one tab stop
    EXPECT_NE(style(kCheck) & WS_GROUP, 0u);                          // arrows stop at the group's end
    EXPECT_EQ(style(kSet) & 0xF, static_cast<DWORD>(BS_PUSHBUTTON));  // no default button: Enter writes nothing
    EXPECT_EQ(SendMessageW(ListView_GetHeader(GetDlgItem(h, kList)), HDM_GETITEMCOUNT, 0, 0), 2);

    // Each label just before the control it names: its mnemonic moves there.
    for (int nId : {kName, kModeA, kCombo, kIp, kHex}) {
        wchar_t sz[40] = {};
        GetWindowTextW(GetWindow(GetDlgItem(h, nId), GW_HWNDPREV), sz, 40);
        EXPECT_EQ(sz[wcslen(sz) - 1], L':') << nId;
    }
    // Tab order follows the description: the hidden GET button first, the
    // row buttons after the grid.
    EXPECT_EQ(GetNextDlgTabItem(h, GetDlgItem(h, kName), FALSE), GetDlgItem(h, kModeA));
    EXPECT_EQ(GetNextDlgTabItem(h, GetDlgItem(h, kHex), FALSE), GetDlgItem(h, kSet));

    // Places: one column for the fields, the hidden row takes no room, SET
    // left and Close right under the grid.
    const RECT rcName = ClientRectOf(h, kName), rcCombo = ClientRectOf(h, kCombo), rcHex = ClientRectOf(h, kHex);
    const RECT rcSet = ClientRectOf(h, kSet), rcClose = ClientRectOf(h, kClose);
    RECT rcClient{};
    GetClientRect(h, &rcClient);
    EXPECT_EQ(rcName.left, rcCombo.left);
    EXPECT_GT(rcSet.top, rcHex.bottom);
    EXPECT_LT(rcSet.top - rcHex.bottom, 30);
    EXPECT_LT(rcSet.right, rcClose.left);
    EXPECT_NEAR(rcClient.right - rcClose.right, rcSet.left, 2);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(h, kHidden)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(h, kGet)));
    const RECT rcList = ClientRectOf(h, kList);
    EXPECT_LT(rcList.left, rcName.left);  // spans both columns
    EXPECT_GE(rcList.right, rcName.right - 1);

    // The hidden row's caption widens nothing either.
    SDialogDesc shown = ProbeDesc();
    for (auto& c : shown.controls)
        if (c.nRow == 8 && !c.bButtonRow) c.bHidden = false;
    const SLayout withRow = LayOut(shown), without = LayOut(ProbeDesc());
    EXPECT_GT(withRow.cy, without.cy);
    EXPECT_GT(withRow.cx, without.cx);
}

// The control's rectangle in the dialog's client area.
RECT RectIn(HWND hDialog, HWND hControl) {
    RECT rc{};
    GetWindowRect(hControl, &rc);
    MapWindowPoints(nullptr, hDialog, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

// The dialog's group frame with this caption.
HWND FrameOf(HWND hDialog, const wchar_t* pszCaption) {
    for (HWND h = GetWindow(hDialog, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
        wchar_t sz[64] = {};
        GetWindowTextW(h, sz, 64);
        if ((GetWindowLongW(h, GWL_STYLE) & 0xF) == BS_GROUPBOX && wcscmp(sz, pszCaption) == 0) return h;
    }
    return nullptr;
}

TEST_F(CRendererTest, MainWindowButtonsFillTheirColumnsSpansCoverTheirsAndEveryTextFits) {
    CWin32UiQueue ui;
    CLibraryJobs jobs(ui);
    SUtilityOptions options;
    options.strVersion = u"1.0.0";
    CLumaroLogic main(options, jobs, DefaultLumaroHost());
    CWin32Dialog view(main, nullptr);
    ASSERT_TRUE(view.CreateModeless(nullptr, true));
    const HWND h = view.Handle();
    using namespace main_ids;
    auto rect = [h](int nId) { return RectIn(h, GetDlgItem(h, nId)); };
    auto frame = [h](const wchar_t* pszCaption) { return RectIn(h, FrameOf(h, pszCaption)); };
    auto cx = [](const RECT& rc) { return rc.right - rc.left; };
    // Places are whole dialog units, each rounded to pixels: equal ones may
    // differ by a unit.
    RECT rcUnit{0, 0, 1, 1};
    MapDialogRect(h, &rcUnit);
    const int nUnit = rcUnit.right + 1;

    // Buttons sharing a column: one left edge, one width.
    for (auto [nUpper, nLower] :
         {std::pair{kBluetoothSettings, kLanSettings}, std::pair{kWlanSettings, kUsageSettings},
          std::pair{kSerialSettings, kCustomDeviceSettings}, std::pair{kCustomDeviceSettings, kDevices}}) {
        EXPECT_EQ(rect(nUpper).left, rect(nLower).left) << nUpper;
        EXPECT_EQ(cx(rect(nUpper)), cx(rect(nLower))) << nUpper;
    }
    // A group's columns fill its frame evenly: two columns of buttons, three
    // in the backup row, one for the net protocols.
    const RECT rcVexal = frame(L"Vexal interface settings"), rcBackup = frame(L"Backup and search");
    EXPECT_NEAR(rect(kBluetoothSettings).left - rcVexal.left, rcVexal.right - rect(kWlanSettings).right, nUnit);
    EXPECT_NEAR(cx(rect(kBluetoothSettings)), cx(rect(kWlanSettings)), nUnit);
    EXPECT_NEAR(rect(kFindHubs).left - rcBackup.left, rcBackup.right - rect(kLoadSettings).right, nUnit);
    for (int nId : {kSaveSettings, kLoadSettings}) EXPECT_NEAR(cx(rect(nId)), cx(rect(kFindHubs)), nUnit) << nId;
    const RECT rcNet = frame(L"Net Protocol settings");
    EXPECT_NEAR(rect(kNetProtocolSettings).left - rcNet.left, rcNet.right - rect(kNetProtocolSettings).right, nUnit);

    // Spans: Connect and Disconnect share the three columns of their group,
    // the model spans the label's and the field's, E X I T the window's three
    // (the frames of the groups side by side above it together).
    EXPECT_EQ(rect(kConnect).left, rect(kUsb).left);
    EXPECT_NEAR(rect(kDisconnect).right, rect(kSerialList).right, nUnit);
    EXPECT_NEAR(cx(rect(kConnect)), cx(rect(kDisconnect)), nUnit);
    EXPECT_EQ(rect(kSerialList).left, rect(kAddress).left);
    EXPECT_NEAR(rect(kSerialList).right, rect(kAddress).right, nUnit);
    const RECT rcSerialLabel = RectIn(h, GetWindow(GetDlgItem(h, kSerialList), GW_HWNDPREV));
    EXPECT_EQ(rect(kModel).left, rcSerialLabel.left);
    EXPECT_NEAR(rect(kModel).right, rect(kAddress).right, nUnit);
    const RECT rcExit = rect(kExit), rcComm = frame(L"Communication Setting");
    EXPECT_EQ(rcExit.left, rcComm.left);
    EXPECT_NEAR(rcExit.right, rcComm.right, nUnit);
    EXPECT_EQ(rcExit.left, frame(L"Peripheral device settings").left);
    EXPECT_NEAR(rcExit.right, rcNet.right, nUnit);

    // The window keeps its 225 dialog units of width (its contents fit) and
    // grows in height only.
    RECT rcDesign{0, 0, 225, 201}, rcClient{};
    MapDialogRect(h, &rcDesign);
    GetClientRect(h, &rcClient);
    EXPECT_EQ(rcClient.right, rcDesign.right);
    EXPECT_GE(rcClient.bottom, rcDesign.bottom);

    // No text is cut: each fits its control beside the control's own parts
    // (a push button's edges, a radio's circle, a frame's corner).
    int nChecked = 0;
    for (HWND hChild = GetWindow(h, GW_CHILD); hChild != nullptr; hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        wchar_t szText[128] = {}, szClass[32] = {};
        GetWindowTextW(hChild, szText, 128);
        GetClassNameW(hChild, szClass, 32);
        const LONG nStyle = GetWindowLongW(hChild, GWL_STYLE);
        const bool bButton = wcscmp(szClass, L"Button") == 0, bStatic = wcscmp(szClass, L"Static") == 0;
        if (szText[0] == 0 || (nStyle & WS_VISIBLE) == 0 || (!bButton && !bStatic)) continue;
        std::wstring strShown(szText);
        if (bButton || (nStyle & SS_NOPREFIX) == 0)
            strShown.erase(std::remove(strShown.begin(), strShown.end(), L'&'), strShown.end());
        const RECT rc = RectIn(h, hChild);
        const HDC hDc = GetDC(hChild);
        const HGDIOBJ hOld = SelectObject(hDc, reinterpret_cast<HGDIOBJ>(SendMessageW(hChild, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(hDc, strShown.c_str(), static_cast<int>(strShown.size()), &size);
        TEXTMETRICW tm{};
        GetTextMetricsW(hDc, &tm);
        SelectObject(hDc, hOld);
        ReleaseDC(hChild, hDc);
        int nBeside = 0;
        if (bButton) {
            switch (nStyle & 0xF) {
            case BS_PUSHBUTTON: nBeside = 4 * GetSystemMetrics(SM_CXEDGE); break;
            case BS_GROUPBOX: nBeside = tm.tmHeight; break;  // the frame's corner before its caption
            default: nBeside = rc.bottom - rc.top;           // a radio's circle and its gap
            }
        }
        EXPECT_LE(size.cx + nBeside, rc.right - rc.left) << U8(std::u16string(strShown.begin(), strShown.end()));
        ++nChecked;
    }
    EXPECT_GE(nChecked, 24);
}

// Two narrow list boxes side by side over a button row: filled with
// entries longer than they were described.
class CListBoxLogic : public CDialogLogic {
public:
    enum : int { kLeft = 10, kRight = 11, kOk = 12 };
    const SDialogDesc& Desc() const override {
        static const SDialogDesc s_desc = [] {
            SDialogDesc desc;
            desc.nId = 901;
            desc.strTitle = u"Boxes";
            for (int nId : {kLeft, kRight}) {
                SControlDesc box = Ctl(EControl::ListBox, nId, u"Box", 0, nId - kLeft);
                box.nWidthChars = 4;
                desc.controls.push_back(box);
            }
            desc.controls.push_back(RowButton(kOk, u"OK"));
            return desc;
        }();
        return s_desc;
    }
    void OnInit() override {
        for (const char16_t* psz : {u"Short", u"Find DevID match USB VID/PID", u"Mid length"})
            View().ComboAdd(kLeft, psz);
        View().ComboAdd(kRight, u"Tiny");
    }
    IDialogView& PublicView() { return View(); }
};

TEST_F(CRendererTest, AListBoxIsAsWideAsItsLongestEntryAndTheWindowMakesRoom) {
    CListBoxLogic logic;
    CWin32Dialog view(logic, nullptr);
    ASSERT_TRUE(view.CreateModeless(nullptr, true));
    const HWND h = view.Handle();
    auto check = [&] {
        for (int nId : {CListBoxLogic::kLeft, CListBoxLogic::kRight}) {
            const HWND hBox = GetDlgItem(h, nId);
            RECT rcBox{};
            GetClientRect(hBox, &rcBox);
            const HDC hDc = GetDC(hBox);
            const HGDIOBJ hOld = SelectObject(hDc, reinterpret_cast<HGDIOBJ>(SendMessageW(hBox, WM_GETFONT, 0, 0)));
            for (int i = 0; i < view.ComboCount(nId); ++i) {
                const std::u16string strEntry = view.ComboItemText(nId, i);
                SIZE size{};
                GetTextExtentPoint32W(hDc, reinterpret_cast<const wchar_t*>(strEntry.c_str()),
                                      static_cast<int>(strEntry.size()), &size);
                EXPECT_LE(size.cx + 2, rcBox.right) << U8(strEntry);
            }
            SelectObject(hDc, hOld);
            ReleaseDC(hBox, hDc);
        }
        const RECT rcLeft = ClientRectOf(h, CListBoxLogic::kLeft), rcRight = ClientRectOf(h, CListBoxLogic::kRight);
        const RECT rcOk = ClientRectOf(h, CListBoxLogic::kOk);
        RECT rcClient{};
        GetClientRect(h, &rcClient);
        EXPECT_LT(rcLeft.right, rcRight.left);
        EXPECT_LT(rcRight.right, rcClient.right);
        EXPECT_LT(rcOk.right, rcClient.right);
        EXPECT_GT(rcOk.top, rcLeft.bottom);
    };
    check();
    // An entry added once the window is up widens it too.
    logic.PublicView().ComboAdd(CListBoxLogic::kRight, u"A rather longer entry added later on");
    check();
    EXPECT_EQ(view.ComboCount(CListBoxLogic::kRight), 2);
}

TEST_F(CRendererTest, UserActionsReachTheLogicAndFillingFromCodeDoesNot) {
    CProbeLogic logic;
    CWin32Dialog view(logic, nullptr);
    ASSERT_TRUE(view.CreateModeless(nullptr, true));
    const HWND h = view.Handle();
    IDialogView& v = logic.PublicView();
    EXPECT_TRUE(logic.events.empty()) << logic.events.front();  // OnInit filled controls: no handler ran

    Type(h, kName, u"42");
    v.SetText(kName, u"77");
    EXPECT_EQ(U8(v.GetText(kName)), "77");
    // Typing into a hex field: a non-hex character is dropped.
    SendMessageW(GetDlgItem(h, kHex), WM_CHAR, L'g', 0);
    SendMessageW(GetDlgItem(h, kHex), WM_CHAR, L'B', 0);
    Click(h, kModeB);
    EXPECT_TRUE(v.IsChecked(kModeB));
    EXPECT_FALSE(v.IsChecked(kModeA));
    v.SetCheck(kModeA, true);  // from code: the other clears, no handler
    EXPECT_FALSE(v.IsChecked(kModeB));
    Pick(h, kCombo, 0);  // the entry shown: nothing
    Pick(h, kCombo, 2);
    Pick(h, kCombo, 2);
    EXPECT_EQ(U8(v.GetText(kCombo)), "three");
    ActivateRow(h, kList, 1);
    EXPECT_EQ(U8(v.ListCell(kList, 1, 1)), "hub-b");
    v.ListSelectRow(kList, -1);
    PumpFor(50);
    v.SetIpv4(kIp, {192, 168, 7, 9});
    EXPECT_EQ(v.GetIpv4(kIp), (Ipv4Octets{192, 168, 7, 9}));
    v.SetProgress(kBar, 30, 60);
    EXPECT_EQ(v.ProgressValue(kBar), 30);
    EXPECT_EQ(v.ProgressValue(kName), -1);
    EXPECT_EQ(U8(v.GetText(12345)), "");  // unknown identifiers do nothing
    v.Enable(kSet, false);
    EXPECT_FALSE(v.IsEnabled(kSet));
    v.Show(kHidden, true);
    EXPECT_TRUE(v.IsShown(kHidden));
    EXPECT_EQ(logic.events, (std::vector<std::string>{"edited 10 42", "edited 80 B", "clicked 21", "activated 40 2",
                                                      "selected 50 1", "click 50 1", "row 50 1", "selected 50 -1"}));

    // Enter writes nothing (no default button); on the list it opens the row.
    logic.events.clear();
    v.Focus(kName);
    SendMessageW(h, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    v.ListSelectRow(kList, 0);
    v.Focus(kList);
    SendMessageW(h, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    // Escape asks the logic, which may refuse.
    logic.bMayClose = false;
    SendMessageW(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(logic.events, (std::vector<std::string>{"selected 50 0", "row 50 0", "close?"}));
}

TEST_F(CRendererTest, ModalRunGetsJobResultsThroughItsLoopAndIsBusyMeanwhile) {
    CWin32UiQueue ui;
    ASSERT_TRUE(ui.IsValid());
    CLibraryJobs jobs(ui);
    CProbeLogic logic;
    CWin32Dialog view(logic, nullptr);
    const DWORD nUiThread = GetCurrentThreadId();
    DWORD nWorkThread = 0;
    int nBusyTicks = 0, nTicks = 0;
    bool bEnabledAtEnd = false;
    logic.fnInit = [&] { logic.PublicView().StartTimer(3, 20); };
    // The job starts once the window is shown, from the modal loop.
    auto startJob = [&] {
        logic.Job<int>(
            jobs,
            [&] {
                nWorkThread = GetCurrentThreadId();
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
                return 7;
            },
            [&](int n) {
                bEnabledAtEnd = IsWindowEnabled(view.Handle());
                logic.PublicView().Close(n);
            });
    };
    logic.fnTimer = [&](int nId) {
        if (++nTicks == 1) startJob();
        if (nId == 3 && jobs.IsBusy() && !IsWindowEnabled(view.Handle())) ++nBusyTicks;
    };
    EXPECT_EQ(view.RunModal(nullptr), 7);
    EXPECT_GE(nBusyTicks, 2);  // timer ticks seen while the window was disabled
    EXPECT_NE(nWorkThread, 0u);
    EXPECT_NE(nWorkThread, nUiThread);
    EXPECT_TRUE(bEnabledAtEnd);
    EXPECT_GT(nTicks, 3);
    EXPECT_FALSE(logic.HasView());
    EXPECT_TRUE(jobs.Stop());
}

TEST_F(CRendererTest, PopupDisablesItsOwnerUntilHiddenAndAMessageHidesIt) {
    CProbeLogic owner;
    CWin32Dialog view(owner, nullptr);
    ASSERT_TRUE(view.CreateModeless(nullptr, true));
    CPopupLogic popup;
    view.ShowModeless(popup);
    ASSERT_TRUE(popup.HasView());
    EXPECT_FALSE(IsWindowEnabled(view.Handle()));
    EXPECT_TRUE(PumpUntil([&] { return popup.nTicks >= 5; }, 3000));
    EXPECT_TRUE(popup.Shown());
    view.Message(u"Failed to read LAN configuration info.", EMsgIcon::Warning, EMsgButtons::Ok);
    ASSERT_EQ(m_hooks.messages.size(), 1u);
    EXPECT_EQ(m_hooks.messages[0].hOwner, view.Handle());
    EXPECT_EQ(m_hooks.messages[0].eIcon, EMsgIcon::Warning);
    EXPECT_TRUE(IsWindowEnabled(view.Handle()));
    EXPECT_FALSE(popup.Shown());
    view.HideModeless(popup);
    EXPECT_FALSE(popup.HasView());
    EXPECT_TRUE(IsWindowEnabled(view.Handle()));
    view.ShowModeless(popup);  // again, after it went
    EXPECT_FALSE(IsWindowEnabled(view.Handle()));
    view.HideModeless(popup);
    EXPECT_TRUE(IsWindowEnabled(view.Handle()));
}

}  // namespace
}  // namespace vexal::utility::win32::test
