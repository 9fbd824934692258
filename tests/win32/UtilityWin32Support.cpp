#include "UtilityWin32Support.h"

#include "utility/logic/Text.h"

#include <commctrl.h>

namespace vexal::utility::win32::test {

CRecordedHooks::CRecordedHooks() {
    SWin32Hooks hooks;
    hooks.fnMessage = [this](HWND hOwner, const std::u16string& strText, EMsgIcon eIcon, EMsgButtons) {
        messages.push_back({hOwner, U16ToUtf8(strText), eIcon});
        return eAnswer;
    };
    hooks.fnChooseFile = [this](HWND, const SFileChoice& choice) {
        fileChoices.push_back(choice);
        return chosenFile;
    };
    SetHooks(std::move(hooks));
}

CRecordedHooks::~CRecordedHooks() { SetHooks({}); }

std::vector<std::string> CRecordedHooks::Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : messages) texts.push_back(m.strText);
    return texts;
}

void InitControls() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES |
                                              ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
}

bool PumpUntil(const std::function<bool()>& pred, int nMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (pred()) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void PumpFor(int nMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    PumpUntil([end] { return std::chrono::steady_clock::now() >= end; }, nMs + 100);
}

void Click(HWND hDialog, int nId) { SendMessageW(GetDlgItem(hDialog, nId), BM_CLICK, 0, 0); }

void Type(HWND hDialog, int nId, const std::u16string& strText) {
    SendMessageW(GetDlgItem(hDialog, nId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strText.c_str()));
}

void Pick(HWND hDialog, int nId, int nIndex) {
    const HWND hCombo = GetDlgItem(hDialog, nId);
    SendMessageW(hCombo, CB_SETCURSEL, static_cast<WPARAM>(nIndex), 0);
    SendMessageW(hDialog, WM_COMMAND, MAKEWPARAM(nId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hCombo));
}

static void NotifyRow(HWND hDialog, int nId, int nRow, UINT nCode) {
    NMITEMACTIVATE nm{};
    nm.hdr.hwndFrom = GetDlgItem(hDialog, nId);
    nm.hdr.idFrom = static_cast<UINT_PTR>(nId);
    nm.hdr.code = nCode;
    nm.iItem = nRow;
    SendMessageW(hDialog, WM_NOTIFY, static_cast<WPARAM>(nId), reinterpret_cast<LPARAM>(&nm));
}

void SelectRow(HWND hDialog, int nId, int nRow) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(GetDlgItem(hDialog, nId), LVM_SETITEMSTATE, static_cast<WPARAM>(nRow),
                 reinterpret_cast<LPARAM>(&state));
    NotifyRow(hDialog, nId, nRow, NM_CLICK);
}

void PickListBoxRow(HWND hDialog, int nId, int nRow) {
    const HWND hList = GetDlgItem(hDialog, nId);
    SendMessageW(hList, LB_SETCURSEL, static_cast<WPARAM>(nRow), 0);
    SendMessageW(hDialog, WM_COMMAND, MAKEWPARAM(nId, LBN_SELCHANGE), reinterpret_cast<LPARAM>(hList));
}

void ActivateRow(HWND hDialog, int nId, int nRow) {
    SelectRow(hDialog, nId, nRow);
    NotifyRow(hDialog, nId, nRow, LVN_ITEMACTIVATE);
}

void TypeIpv4(HWND hDialog, int nId, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    SendMessageW(GetDlgItem(hDialog, nId), IPM_SETADDRESS, 0, static_cast<LPARAM>(MAKEIPADDRESS(a, b, c, d)));
}

std::string U8(const std::u16string& str) { return U16ToUtf8(str); }

}  // namespace vexal::utility::win32::test
