// The Win32 renderer: a window's description becomes an in-memory dialog
// template, its logic sees the dialog through IDialogView, and the dialog's
// notifications reach the logic as user actions by identifier.
//
//   CLanLogic logic(context);
//   CWin32Dialog dlg(logic, nullptr);   // nullptr: no owner view
//   dlg.RunModal(hOwner);               // DialogBoxIndirectParamW
//
// Message boxes and file choices go through hooks that a test replaces to
// record them; by default they are MessageBoxW and the common file dialogs.
#pragma once
#include "utility/logic/DialogLogic.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <set>
#include <string>

namespace vexal::utility::win32 {

// What a message box and a file choice do; a test puts in recorders.
struct SWin32Hooks {
    std::function<EMsgResult(HWND hOwner, const std::u16string& strText, EMsgIcon eIcon, EMsgButtons eButtons)>
        fnMessage;
    std::function<std::optional<std::string>(HWND hOwner, const SFileChoice& choice)> fnChooseFile;
};

// Process-wide: the caption of message boxes and the hooks (the defaults
// when not set). UI thread only.
void SetApplicationName(const std::u16string& strName);
const std::u16string& ApplicationName();
void SetHooks(SWin32Hooks hooks);

class CWin32Dialog final : public IDialogView {
public:
    // pOwnerView: the view this window belongs to (message boxes of a hidden
    // window go to the nearest shown one), or nullptr.
    CWin32Dialog(CDialogLogic& logic, CWin32Dialog* pOwnerView);
    ~CWin32Dialog() override;
    CWin32Dialog(const CWin32Dialog&) = delete;
    CWin32Dialog& operator=(const CWin32Dialog&) = delete;

    // Runs the window modally over hOwner (disabled meanwhile); the result
    // Close gave, kRejected when the window could not be made.
    int RunModal(HWND hOwner);
    // Makes the window, hidden unless bShow; it lives until Destroy or this
    // object's end.
    bool CreateModeless(HWND hOwner, bool bShow);
    void Destroy();
    // Runs a window made by CreateModeless (filled while hidden) modally:
    // shown, its owner disabled, until Close; then destroyed.
    int RunShown();

    HWND Handle() const { return m_hWnd; }
    // Runs fn later from this window's message loop (dropped when the window
    // goes first).
    void PostCall(std::function<void()> fn);
    HWND Control(int nId) const;
    CDialogLogic& Logic() const { return m_logic; }

    // IDialogView
    std::u16string GetText(int nId) const override;
    void SetText(int nId, const std::u16string& strText) override;
    bool IsChecked(int nId) const override;
    void SetCheck(int nId, bool bChecked) override;
    void Enable(int nId, bool bEnable) override;
    bool IsEnabled(int nId) const override;
    void Show(int nId, bool bShow) override;
    bool IsShown(int nId) const override;
    void Focus(int nId) override;
    void ComboClear(int nId) override;
    void ComboAdd(int nId, const std::u16string& strText) override;
    int ComboCount(int nId) const override;
    int ComboIndex(int nId) const override;
    void ComboSelect(int nId, int nIndex) override;
    std::u16string ComboItemText(int nId, int nIndex) const override;
    void ListClear(int nId) override;
    int ListAddRow(int nId, const std::vector<std::u16string>& cells) override;
    int ListRowCount(int nId) const override;
    std::u16string ListCell(int nId, int nRow, int nColumn) const override;
    int ListSelectedRow(int nId) const override;
    void ListSelectRow(int nId, int nRow) override;
    void SetIpv4(int nId, const Ipv4Octets& octets) override;
    Ipv4Octets GetIpv4(int nId) const override;
    void SetProgress(int nId, int nValue, int nMaximum) override;
    int ProgressValue(int nId) const override;
    void SetTitle(const std::u16string& strTitle) override;
    bool IsVisible() const override;
    void Close(int nResult) override;
    void SetBusy(bool bBusy) override;
    void StartTimer(int nTimerId, int nMs) override;
    void StopTimer(int nTimerId) override;
    EMsgResult Message(const std::u16string& strText, EMsgIcon eIcon, EMsgButtons eButtons) override;
    int RunModal(CDialogLogic& child) override;
    bool PrepareChild(CDialogLogic& child) override;
    void ReleaseChild(CDialogLogic& child) override;
    void ShowModeless(CDialogLogic& child) override;
    void HideModeless(CDialogLogic& child) override;
    std::optional<std::string> ChooseFile(const SFileChoice& choice) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void ReportSelection(int nId);
    void RetireLater(std::unique_ptr<CWin32Dialog> pDialog);
    void OnCommand(int nId, int nCode, HWND hControl);
    bool OnNotify(const NMHDR& hdr);
    void RequestClose();
    void CenterOverOwner();
    const SControlDesc* DescOf(int nId) const;
    bool IsListBox(int nId) const;
    // A list box as wide as its longest entry, measured in its font; the
    // window is laid out again when one grows.
    void FitListBox(int nId, const std::u16string& strText);
    void LayOutAgain();
    HWND MessageOwner() const;
    // The caption-less pop-up shown by this window, hidden while a message
    // box is up.
    CWin32Dialog* ShownPopup() const;

    CDialogLogic& m_logic;
    CWin32Dialog* m_pOwnerView;
    std::vector<uint16_t> m_template;
    HWND m_hWnd = nullptr;
    HWND m_hOwner = nullptr;
    bool m_bModal = false;
    bool m_bOwnLoop = false;  // RunShown's loop runs
    bool m_bEnded = false;
    int m_nResult = kRejected;
    int m_nBusy = 0;
    HWND m_hFocusBeforeBusy = nullptr;
    int m_nSuppress = 0;              // >0 while the logic fills a control
    std::map<int, int> m_comboShown;  // the entry each drop-down showed last
    std::set<int> m_hidden;           // controls hidden by the description or the logic
    std::set<int> m_timers;
    std::deque<std::function<void()>> m_posted;
    std::map<int, int> m_listReported;   // the row each list view reported last
    std::map<int, int> m_listBoxTextPx;  // the widest entry of each list box, in pixels
    std::map<int, int> m_listBoxChars;   // the width each list box was given, in average characters
    std::map<CDialogLogic*, std::unique_ptr<CWin32Dialog>> m_modeless;
    std::map<CDialogLogic*, std::unique_ptr<CWin32Dialog>> m_prepared;  // made hidden, for a later RunModal
    // Modeless windows hidden for good, deleted from this window's queue (one
    // may be hidden from inside its own handler).
    std::vector<std::unique_ptr<CWin32Dialog>> m_retired;
};

}  // namespace vexal::utility::win32
