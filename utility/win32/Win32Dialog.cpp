#include "utility/win32/Win32Dialog.h"

#include "utility/logic/Text.h"
#include "utility/win32/DialogTemplate.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

namespace vexal::utility::win32 {

namespace {

// Posted to a dialog: a list view may have lost its selection; modeless
// windows retired from inside their own handlers can be deleted.
constexpr UINT kMsgCheckSelection = WM_APP + 1;
constexpr UINT kMsgDeleteRetired = WM_APP + 2;
constexpr UINT kMsgRunPosted = WM_APP + 3;

const wchar_t* W(const std::u16string& str) { return reinterpret_cast<const wchar_t*>(str.c_str()); }
std::u16string U(const wchar_t* psz) {
    return psz != nullptr ? std::u16string(reinterpret_cast<const char16_t*>(psz)) : std::u16string();
}

std::u16string& AppName() {
    static std::u16string s_strName = u"Vexal Utility";
    return s_strName;
}
SWin32Hooks& Hooks() {
    static SWin32Hooks s_hooks;
    return s_hooks;
}

std::u16string WindowText(HWND hWnd) {
    if (hWnd == nullptr) return {};
    const int nLength = GetWindowTextLengthW(hWnd);
    std::wstring str(static_cast<size_t>(nLength) + 1, L'\0');
    const int nGot = GetWindowTextW(hWnd, str.data(), nLength + 1);
    str.resize(static_cast<size_t>(std::max(nGot, 0)));
    return U(str.c_str());
}

bool IsHex(wchar_t ch) {
    return (ch >= L'0' && ch <= L'9') || (ch >= L'a' && ch <= L'f') || (ch >= L'A' && ch <= L'F');
}

bool Accepts(EInput eInput, wchar_t ch) {
    if (ch < 0x20 || ch == 0x7F) return false;
    switch (eInput) {
    case EInput::Digits: return ch >= L'0' && ch <= L'9';
    case EInput::HexDigits: return IsHex(ch);
    case EInput::Text: return true;
    }
    return false;
}

// Typing and pasting into an edit: only what its description accepts; a paste
// holding anything else is dropped whole.
LRESULT CALLBACK EditFilterProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam, UINT_PTR nSubclass,
                                DWORD_PTR nInput) {
    const auto eInput = static_cast<EInput>(nInput);
    switch (nMsg) {
    case WM_CHAR: {
        const auto ch = static_cast<wchar_t>(wParam);
        // Backspace and the clipboard keys arrive as control characters.
        if (ch >= 0x20 && ch != 0x7F && !Accepts(eInput, ch)) {
            MessageBeep(MB_OK);
            return 0;
        }
        break;
    }
    case WM_PASTE: {
        std::wstring strClip;
        if (IsClipboardFormatAvailable(CF_UNICODETEXT) && OpenClipboard(hWnd)) {
            if (HANDLE hData = GetClipboardData(CF_UNICODETEXT)) {
                if (const auto* psz = static_cast<const wchar_t*>(GlobalLock(hData))) {
                    strClip.assign(psz, wcsnlen(psz, GlobalSize(hData) / sizeof(wchar_t)));
                    GlobalUnlock(hData);
                }
            }
            CloseClipboard();
        }
        if (!std::all_of(strClip.begin(), strClip.end(), [eInput](wchar_t ch) { return Accepts(eInput, ch); })) {
            MessageBeep(MB_OK);
            return 0;
        }
        break;
    }
    case WM_NCDESTROY: RemoveWindowSubclass(hWnd, EditFilterProc, nSubclass); break;
    default: break;
    }
    return DefSubclassProc(hWnd, nMsg, wParam, lParam);
}

EMsgResult DefaultMessage(HWND hOwner, const std::u16string& strText, EMsgIcon eIcon, EMsgButtons eButtons) {
    UINT nType = 0;
    switch (eIcon) {
    case EMsgIcon::Information: nType |= MB_ICONINFORMATION; break;
    case EMsgIcon::Warning: nType |= MB_ICONWARNING; break;
    case EMsgIcon::Critical: nType |= MB_ICONERROR; break;
    case EMsgIcon::Question: nType |= MB_ICONQUESTION; break;
    }
    switch (eButtons) {
    case EMsgButtons::Ok: nType |= MB_OK; break;
    case EMsgButtons::OkCancel: nType |= MB_OKCANCEL; break;
    case EMsgButtons::YesNo: nType |= MB_YESNO; break;
    }
    switch (MessageBoxW(hOwner, W(strText), W(AppName()), nType)) {
    case IDOK: return EMsgResult::Ok;
    case IDYES: return EMsgResult::Yes;
    case IDNO: return EMsgResult::No;
    default: return eButtons == EMsgButtons::YesNo ? EMsgResult::No : EMsgResult::Cancel;
    }
}

std::optional<std::string> DefaultChooseFile(HWND hOwner, const SFileChoice& choice) {
    // "Name (*.json)\0*.json\0\0"
    std::u16string strFilter = choice.strFilterName + u" (" + choice.strPattern + u")";
    strFilter.push_back(u'\0');
    strFilter += choice.strPattern;
    strFilter.push_back(u'\0');
    strFilter.push_back(u'\0');
    std::wstring strFile(32768, L'\0');
    const size_t nSuggested = std::min(choice.strSuggested.size(), strFile.size() - 1);
    std::copy_n(choice.strSuggested.begin(), nSuggested, strFile.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hOwner;
    ofn.lpstrFilter = reinterpret_cast<const wchar_t*>(strFilter.data());
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = strFile.data();
    ofn.nMaxFile = static_cast<DWORD>(strFile.size());
    ofn.lpstrTitle = choice.strCaption.empty() ? nullptr : W(choice.strCaption);
    ofn.lpstrDefExt = choice.strSuffix.empty() ? nullptr : W(choice.strSuffix);
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    BOOL bChosen = FALSE;
    if (choice.eAction == EFileAction::Save) {
        ofn.Flags |= OFN_OVERWRITEPROMPT;
        bChosen = GetSaveFileNameW(&ofn);
    } else {
        ofn.Flags |= OFN_FILEMUSTEXIST;
        bChosen = GetOpenFileNameW(&ofn);
    }
    if (!bChosen) return std::nullopt;
    return U16ToUtf8(U(strFile.c_str()));
}

}  // namespace

void SetApplicationName(const std::u16string& strName) { AppName() = strName; }
const std::u16string& ApplicationName() { return AppName(); }
void SetHooks(SWin32Hooks hooks) { Hooks() = std::move(hooks); }

CWin32Dialog::CWin32Dialog(CDialogLogic& logic, CWin32Dialog* pOwnerView) : m_logic(logic), m_pOwnerView(pOwnerView) {}

CWin32Dialog::~CWin32Dialog() {
    m_modeless.clear();
    m_prepared.clear();
    m_retired.clear();
    Destroy();
}

int CWin32Dialog::RunModal(HWND hOwner) {
    if (m_hWnd != nullptr) return kRejected;
    m_hOwner = hOwner;
    m_bModal = true;
    m_template = BuildTemplate(m_logic.Desc(), hOwner == nullptr && m_pOwnerView == nullptr);
    const INT_PTR nResult =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(m_template.data()), hOwner,
                                DialogProc, reinterpret_cast<LPARAM>(this));
    m_bModal = false;
    return nResult == -1 ? kRejected : static_cast<int>(nResult);
}

bool CWin32Dialog::CreateModeless(HWND hOwner, bool bShow) {
    if (m_hWnd != nullptr) return true;
    m_hOwner = hOwner;
    m_template = BuildTemplate(m_logic.Desc(), false);
    CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(m_template.data()), hOwner,
                               DialogProc, reinterpret_cast<LPARAM>(this));
    if (m_hWnd == nullptr) return false;
    if (bShow) ShowWindow(m_hWnd, SW_SHOWNA);
    return true;
}

int CWin32Dialog::RunShown() {
    if (m_hWnd == nullptr) return kRejected;
    const bool bOwnerWasEnabled = m_hOwner != nullptr && IsWindowEnabled(m_hOwner);
    if (bOwnerWasEnabled) EnableWindow(m_hOwner, FALSE);
    m_bOwnLoop = true;
    m_bEnded = false;
    m_nResult = kRejected;
    ShowWindow(m_hWnd, SW_SHOW);
    SetForegroundWindow(m_hWnd);
    MSG msg;
    bool bQuit = false;
    while (!m_bEnded && m_hWnd != nullptr) {
        const BOOL bGot = GetMessageW(&msg, nullptr, 0, 0);
        if (bGot <= 0) {
            bQuit = bGot == 0;
            break;
        }
        if (!IsDialogMessageW(m_hWnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    m_bOwnLoop = false;
    // The owner takes input again before this window goes, so the focus
    // returns to it.
    if (bOwnerWasEnabled) EnableWindow(m_hOwner, TRUE);
    Destroy();
    if (m_hOwner != nullptr) SetActiveWindow(m_hOwner);
    if (bQuit) PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop around this one
    return m_nResult;
}

void CWin32Dialog::PostCall(std::function<void()> fn) {
    if (m_hWnd == nullptr) return;
    m_posted.push_back(std::move(fn));
    PostMessageW(m_hWnd, kMsgRunPosted, 0, 0);
}

void CWin32Dialog::Destroy() {
    if (m_hWnd != nullptr) DestroyWindow(m_hWnd);  // WM_DESTROY detaches the logic
    m_hWnd = nullptr;
}

HWND CWin32Dialog::Control(int nId) const {
    if (m_hWnd == nullptr || nId == 0 || DescOf(nId) == nullptr) return nullptr;
    return GetDlgItem(m_hWnd, nId);
}

const SControlDesc* CWin32Dialog::DescOf(int nId) const { return FindControl(m_logic.Desc(), nId); }

INT_PTR CALLBACK CWin32Dialog::DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    auto* pThis = reinterpret_cast<CWin32Dialog*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (nMsg == WM_INITDIALOG) {
        pThis = reinterpret_cast<CWin32Dialog*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, lParam);
        pThis->m_hWnd = hWnd;
    }
    if (pThis == nullptr) return FALSE;
    return pThis->OnMessage(nMsg, wParam, lParam);
}

INT_PTR CWin32Dialog::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    switch (nMsg) {
    case WM_INITDIALOG: {
        OnInitDialog();
        // The logic may have put the focus somewhere; otherwise the first
        // control that takes it.
        const HWND hFocus = GetFocus();
        return hFocus != nullptr && IsChild(m_hWnd, hFocus) ? FALSE : TRUE;
    }
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return TRUE;
    case WM_NOTIFY:
        if (OnNotify(*reinterpret_cast<const NMHDR*>(lParam))) return TRUE;
        return FALSE;
    case WM_TIMER:
        if (m_timers.count(static_cast<int>(wParam)) != 0) m_logic.OnTimer(static_cast<int>(wParam));
        return TRUE;
    case WM_CLOSE: RequestClose(); return TRUE;
    case WM_SETCURSOR:
        if (m_nBusy > 0) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_DPICHANGED: {
        // The system's suggestion keeps the window where it was, in the new
        // size; the dialog manager then lays out the controls and sets their
        // fonts for the new DPI (its default handling, hence FALSE).
        const auto* pRect = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(m_hWnd, nullptr, pRect->left, pRect->top, pRect->right - pRect->left, pRect->bottom - pRect->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return FALSE;
    }
    case kMsgCheckSelection: ReportSelection(static_cast<int>(wParam)); return TRUE;
    case kMsgDeleteRetired: m_retired.clear(); return TRUE;
    case kMsgRunPosted:
        // A modal window shows itself once its loop is idle; a call posted at
        // its start may come first and wants it up (busy state, owner of boxes).
        if (m_bModal && !IsWindowVisible(m_hWnd)) ShowWindow(m_hWnd, SW_SHOW);
        if (!m_posted.empty()) {
            std::function<void()> fn = std::move(m_posted.front());
            m_posted.pop_front();
            if (fn) fn();
        }
        return TRUE;
    case WM_DESTROY:
        for (int nTimer : m_timers) KillTimer(m_hWnd, static_cast<UINT_PTR>(nTimer));
        m_timers.clear();
        m_modeless.clear();
        m_prepared.clear();
        m_logic.Attach(nullptr);
        return FALSE;
    case WM_NCDESTROY:
        m_posted.clear();
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        m_hWnd = nullptr;
        return FALSE;
    default: return FALSE;
    }
}

void CWin32Dialog::OnInitDialog() {
    const SDialogDesc& desc = m_logic.Desc();
    if (!desc.bNoCaption) {
        // The program's icon (resource 1), when it has one.
        const int nSmall = GetSystemMetrics(SM_CXSMICON), nBig = GetSystemMetrics(SM_CXICON);
        const HINSTANCE hInstance = GetModuleHandleW(nullptr);
        // Shared icons: the system keeps them for the module's lifetime.
        for (auto [nSize, nWhich] : {std::pair{nSmall, ICON_SMALL}, std::pair{nBig, ICON_BIG}})
            if (HANDLE hIcon = LoadImageW(hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON, nSize, nSize, LR_SHARED))
                SendMessageW(m_hWnd, WM_SETICON, static_cast<WPARAM>(nWhich), reinterpret_cast<LPARAM>(hIcon));
    }
    for (const SControlDesc& c : desc.controls) {
        const HWND hControl = c.nId != 0 ? GetDlgItem(m_hWnd, c.nId) : nullptr;
        if (hControl == nullptr) continue;
        switch (c.eKind) {
        case EControl::Edit:
            SendMessageW(hControl, EM_LIMITTEXT, c.nMaxLength > 0 ? static_cast<WPARAM>(c.nMaxLength) : 0, 0);
            SetWindowSubclass(hControl, EditFilterProc, 1, static_cast<DWORD_PTR>(c.eInput));
            if (!c.strPlaceholder.empty())
                SendMessageW(hControl, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(W(c.strPlaceholder)));
            break;
        case EControl::Combo: m_comboShown[c.nId] = -1; break;
        case EControl::ListView: {
            SendMessageW(hControl, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
            for (size_t i = 0; i < c.columns.size(); ++i) {
                const int nChars = i < c.columnWidths.size() && c.columnWidths[i] > 0
                                       ? c.columnWidths[i]
                                       : std::max(static_cast<int>(c.columns[i].size()) + 2, 10);
                RECT rc{0, 0, nChars * 4 + 8, 8};
                MapDialogRect(m_hWnd, &rc);
                LVCOLUMNW col{};
                col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
                // (The first column of a list view is always left-aligned.)
                col.fmt = c.bCentred && i > 0 ? LVCFMT_CENTER : LVCFMT_LEFT;
                col.pszText = const_cast<wchar_t*>(W(c.columns[i]));
                col.cx = rc.right;
                col.iSubItem = static_cast<int>(i);
                SendMessageW(hControl, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
            }
            m_listReported[c.nId] = -1;
            if (c.nRowExtraPixels > 0) {
                // Rows are as tall as the small image list's images: an empty
                // list of that height makes them taller (the control owns it).
                TEXTMETRICW tm{};
                HDC hDc = GetDC(hControl);
                const HGDIOBJ hOld =
                    SelectObject(hDc, reinterpret_cast<HGDIOBJ>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
                GetTextMetricsW(hDc, &tm);
                SelectObject(hDc, hOld);
                ReleaseDC(hControl, hDc);
                const int nExtra = MulDiv(c.nRowExtraPixels, static_cast<int>(GetDpiForWindow(m_hWnd)), 96);
                if (HIMAGELIST hImages = ImageList_Create(1, tm.tmHeight + 2 + nExtra, ILC_COLOR, 1, 0))
                    SendMessageW(hControl, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(hImages));
            }
            break;
        }
        case EControl::Progress: SendMessageW(hControl, PBM_SETRANGE32, 0, 100); break;
        default: break;
        }
    }
    if (m_hOwner != nullptr) CenterOverOwner();
    m_logic.Attach(this);
    m_logic.OnInit();
}

void CWin32Dialog::CenterOverOwner() {
    RECT rcOwner{}, rc{};
    if (!GetWindowRect(m_hOwner, &rcOwner) || !GetWindowRect(m_hWnd, &rc)) return;
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    int x = rcOwner.left + ((rcOwner.right - rcOwner.left) - cx) / 2;
    int y = rcOwner.top + ((rcOwner.bottom - rcOwner.top) - cy) / 2;
    // Kept on the owner's monitor.
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (GetMonitorInfoW(MonitorFromWindow(m_hOwner, MONITOR_DEFAULTTONEAREST), &mi)) {
        x = std::clamp(x, static_cast<int>(mi.rcWork.left), std::max<int>(mi.rcWork.left, mi.rcWork.right - cx));
        y = std::clamp(y, static_cast<int>(mi.rcWork.top), std::max<int>(mi.rcWork.top, mi.rcWork.bottom - cy));
    }
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWin32Dialog::RequestClose() {
    if (m_logic.OnCloseRequest()) Close(kRejected);
}

void CWin32Dialog::OnCommand(int nId, int nCode, HWND hControl) {
    if (hControl == nullptr) {
        // Escape closes where the window allows it; Enter never writes to the
        // hub: it only activates the row of a list view that has the focus.
        if (nId == IDCANCEL && m_logic.Desc().bEscapeCloses) RequestClose();
        if (nId == IDOK) {
            const HWND hFocus = GetFocus();
            const int nFocusId = hFocus != nullptr && IsChild(m_hWnd, hFocus) ? GetDlgCtrlID(hFocus) : 0;
            const SControlDesc* pFocus = DescOf(nFocusId);
            if (pFocus != nullptr && pFocus->eKind == EControl::ListView && ListSelectedRow(nFocusId) >= 0)
                m_logic.OnRowActivated(nFocusId, ListSelectedRow(nFocusId));
        }
        return;
    }
    const SControlDesc* pDesc = DescOf(nId);
    if (pDesc == nullptr || m_nSuppress > 0) return;
    switch (pDesc->eKind) {
    case EControl::Button:
    case EControl::Radio:
    case EControl::Check:
        if (nCode == BN_CLICKED) m_logic.OnClicked(nId);
        break;
    case EControl::Combo:
        if (nCode == CBN_SELCHANGE) {
            const int nIndex = ComboIndex(nId);
            if (nIndex != m_comboShown[nId]) {
                m_comboShown[nId] = nIndex;
                m_logic.OnActivated(nId, nIndex);
            }
        }
        break;
    case EControl::ListBox:
        // Every pick counts here, the entry already chosen too.
        if (nCode == LBN_SELCHANGE) {
            m_comboShown[nId] = ComboIndex(nId);
            m_logic.OnActivated(nId, m_comboShown[nId]);
        }
        break;
    case EControl::Edit:
        if (nCode == EN_CHANGE) m_logic.OnTextEdited(nId, GetText(nId));
        break;
    default: break;
    }
}

bool CWin32Dialog::OnNotify(const NMHDR& hdr) {
    const int nId = static_cast<int>(hdr.idFrom);
    const SControlDesc* pDesc = DescOf(nId);
    if (pDesc == nullptr) return false;
    if (pDesc->eKind == EControl::Ipv4 && hdr.code == IPN_FIELDCHANGED) {
        if (m_nSuppress == 0) {
            const Ipv4Octets o = GetIpv4(nId);
            m_logic.OnTextEdited(
                nId, NumberText(o[0]) + u"." + NumberText(o[1]) + u"." + NumberText(o[2]) + u"." + NumberText(o[3]));
        }
        return false;
    }
    if (pDesc->eKind != EControl::ListView) return false;
    switch (hdr.code) {
    case LVN_ITEMCHANGED: {
        const auto& nm = reinterpret_cast<const NMLISTVIEW&>(hdr);
        if ((nm.uChanged & LVIF_STATE) == 0 || ((nm.uOldState ^ nm.uNewState) & LVIS_SELECTED) == 0) return false;
        // A move from one row to another first clears the old row: the end
        // of a selection is reported once the change is complete.
        if ((nm.uNewState & LVIS_SELECTED) != 0)
            ReportSelection(nId);
        else
            PostMessageW(m_hWnd, kMsgCheckSelection, static_cast<WPARAM>(nId), 0);
        return false;
    }
    case NM_CLICK: {
        // A click on a row, the row already selected too (the selection
        // itself is reported by LVN_ITEMCHANGED, before this).
        const auto& nm = reinterpret_cast<const NMITEMACTIVATE&>(hdr);
        if (nm.iItem >= 0) m_logic.OnRowClicked(nId, nm.iItem);
        return false;
    }
    case LVN_ITEMACTIVATE: {
        // (A double click sends NM_DBLCLK and then this: one activation.)
        const auto& nm = reinterpret_cast<const NMITEMACTIVATE&>(hdr);
        const int nRow = nm.iItem >= 0 ? nm.iItem : ListSelectedRow(nId);
        if (nRow >= 0) m_logic.OnRowActivated(nId, nRow);
        return false;
    }
    default: return false;
    }
}

void CWin32Dialog::ReportSelection(int nId) {
    if (m_hWnd == nullptr) return;
    const int nRow = ListSelectedRow(nId);
    auto it = m_listReported.find(nId);
    if (it == m_listReported.end() || it->second == nRow) return;
    it->second = nRow;
    m_logic.OnRowSelected(nId, nRow);
}

// ---- Controls ----

std::u16string CWin32Dialog::GetText(int nId) const {
    const SControlDesc* pDesc = DescOf(nId);
    if (pDesc == nullptr) return {};
    if (pDesc->eKind == EControl::Combo || pDesc->eKind == EControl::ListBox)
        return ComboItemText(nId, ComboIndex(nId));
    if (pDesc->eKind == EControl::ListView || pDesc->eKind == EControl::Progress || pDesc->eKind == EControl::Ipv4)
        return {};
    return WindowText(Control(nId));
}

void CWin32Dialog::SetText(int nId, const std::u16string& strText) {
    const SControlDesc* pDesc = DescOf(nId);
    const HWND hControl = Control(nId);
    if (pDesc == nullptr || hControl == nullptr) return;
    ++m_nSuppress;
    if (pDesc->eKind == EControl::Combo) {
        const auto nIndex =
            SendMessageW(hControl, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(W(strText)));
        if (nIndex != CB_ERR) ComboSelect(nId, static_cast<int>(nIndex));
    } else if (pDesc->eKind != EControl::ListView && pDesc->eKind != EControl::Progress &&
               pDesc->eKind != EControl::Ipv4) {
        SetWindowTextW(hControl, W(strText));
    }
    --m_nSuppress;
}

bool CWin32Dialog::IsChecked(int nId) const {
    const HWND hControl = Control(nId);
    return hControl != nullptr && SendMessageW(hControl, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CWin32Dialog::SetCheck(int nId, bool bChecked) {
    const SControlDesc* pDesc = DescOf(nId);
    const HWND hControl = Control(nId);
    if (pDesc == nullptr || hControl == nullptr || (pDesc->eKind != EControl::Radio && pDesc->eKind != EControl::Check))
        return;
    // A radio checked from code clears the others of its group, as a click does.
    if (bChecked && pDesc->eKind == EControl::Radio)
        for (const auto& c : m_logic.Desc().controls)
            if (c.eKind == EControl::Radio && c.nGroup == pDesc->nGroup && c.nId != nId)
                if (HWND hOther = Control(c.nId)) SendMessageW(hOther, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(hControl, BM_SETCHECK, bChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CWin32Dialog::Enable(int nId, bool bEnable) {
    if (const HWND hControl = Control(nId)) EnableWindow(hControl, bEnable ? TRUE : FALSE);
}

bool CWin32Dialog::IsEnabled(int nId) const {
    const HWND hControl = Control(nId);
    return hControl != nullptr && (GetWindowLongW(hControl, GWL_STYLE) & WS_DISABLED) == 0;
}

void CWin32Dialog::Show(int nId, bool bShow) {
    if (const HWND hControl = Control(nId)) ShowWindow(hControl, bShow ? SW_SHOWNA : SW_HIDE);
}

bool CWin32Dialog::IsShown(int nId) const {
    const HWND hControl = Control(nId);
    return hControl != nullptr && (GetWindowLongW(hControl, GWL_STYLE) & WS_VISIBLE) != 0;
}

void CWin32Dialog::Focus(int nId) {
    if (const HWND hControl = Control(nId))
        SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hControl), TRUE);
}

bool CWin32Dialog::IsListBox(int nId) const {
    const SControlDesc* pDesc = DescOf(nId);
    return pDesc != nullptr && pDesc->eKind == EControl::ListBox;
}

void CWin32Dialog::ComboClear(int nId) {
    if (const HWND hControl = Control(nId)) {
        SendMessageW(hControl, IsListBox(nId) ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
        m_comboShown[nId] = -1;
    }
}

void CWin32Dialog::ComboAdd(int nId, const std::u16string& strText) {
    const HWND hControl = Control(nId);
    if (hControl == nullptr) return;
    const bool bList = IsListBox(nId);
    SendMessageW(hControl, bList ? LB_ADDSTRING : CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(strText)));
    if (bList) FitListBox(nId, strText);
}

void CWin32Dialog::FitListBox(int nId, const std::u16string& strText) {
    const HWND hList = Control(nId);
    const SControlDesc* pDesc = DescOf(nId);
    if (hList == nullptr || pDesc == nullptr) return;
    if (HDC hDc = GetDC(hList)) {
        const HGDIOBJ hOld = SelectObject(hDc, reinterpret_cast<HGDIOBJ>(SendMessageW(hList, WM_GETFONT, 0, 0)));
        SIZE size{};
        if (GetTextExtentPoint32W(hDc, W(strText), static_cast<int>(strText.size()), &size))
            m_listBoxTextPx[nId] = std::max(m_listBoxTextPx[nId], static_cast<int>(size.cx));
        SelectObject(hDc, hOld);
        ReleaseDC(hList, hDc);
    }
    // Beside the text: the item's padding, the sunken edges and, once the
    // entries outnumber the lines, the scroll bar.
    int nPx = m_listBoxTextPx[nId] + 6 + 2 * GetSystemMetrics(SM_CXEDGE);
    RECT rcClient{};
    GetClientRect(hList, &rcClient);
    const auto nItemCy = SendMessageW(hList, LB_GETITEMHEIGHT, 0, 0);
    if (nItemCy > 0 && SendMessageW(hList, LB_GETCOUNT, 0, 0) * nItemCy > rcClient.bottom)
        nPx += GetSystemMetrics(SM_CXVSCROLL);
    // In the template's units: an average character is 4 dialog units, and
    // a list box is 8 units wider than the characters it is given.
    RECT rcChar{0, 0, 4, 8};
    MapDialogRect(m_hWnd, &rcChar);
    if (rcChar.right <= 0) return;
    RECT rcNow{};
    GetWindowRect(hList, &rcNow);
    if (nPx <= rcNow.right - rcNow.left) return;
    const int nCharPx = static_cast<int>(rcChar.right);
    const int nChars = std::max(0, (nPx + nCharPx - 1) / nCharPx - 2);
    if (nChars <= std::max(pDesc->nWidthChars, m_listBoxChars[nId])) return;
    m_listBoxChars[nId] = nChars;
    LayOutAgain();
}

void CWin32Dialog::LayOutAgain() {
    SDialogDesc desc = m_logic.Desc();
    for (SControlDesc& c : desc.controls)
        if (const auto it = m_listBoxChars.find(c.nId); c.eKind == EControl::ListBox && it != m_listBoxChars.end())
            c.nWidthChars = std::max(c.nWidthChars, it->second);
    const SLayout layout = LayOut(desc);
    const std::vector<size_t> order = TemplateOrder(desc);
    // The dialog manager made the controls in the template's order, which
    // is the order of the children; anything else and nothing is moved.
    std::vector<HWND> children;
    for (HWND h = GetWindow(m_hWnd, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) children.push_back(h);
    if (children.size() != order.size()) return;
    for (size_t k = 0; k < order.size(); ++k)
        if (const int nId = desc.controls[order[k]].nId; nId != 0 && GetDlgCtrlID(children[k]) != nId) return;
    for (size_t k = 0; k < order.size(); ++k) {
        const SDluRect& r = layout.rects[order[k]];
        RECT rc{r.x, r.y, r.x + r.cx, r.y + r.cy};
        MapDialogRect(m_hWnd, &rc);
        // A drop-down keeps the height that includes its list.
        RECT rcNow{};
        GetWindowRect(children[k], &rcNow);
        const int cy = desc.controls[order[k]].eKind == EControl::Combo ? rcNow.bottom - rcNow.top : rc.bottom - rc.top;
        SetWindowPos(children[k], nullptr, rc.left, rc.top, rc.right - rc.left, cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT rcClient{0, 0, layout.cx, layout.cy}, rcNowClient{}, rcWindow{};
    MapDialogRect(m_hWnd, &rcClient);
    GetClientRect(m_hWnd, &rcNowClient);
    GetWindowRect(m_hWnd, &rcWindow);
    SetWindowPos(m_hWnd, nullptr, 0, 0, rcWindow.right - rcWindow.left + rcClient.right - rcNowClient.right,
                 rcWindow.bottom - rcWindow.top + rcClient.bottom - rcNowClient.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (m_hOwner != nullptr && !IsWindowVisible(m_hWnd)) CenterOverOwner();
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

int CWin32Dialog::ComboCount(int nId) const {
    const HWND hControl = Control(nId);
    return hControl != nullptr
               ? std::max(0, static_cast<int>(SendMessageW(hControl, IsListBox(nId) ? LB_GETCOUNT : CB_GETCOUNT, 0, 0)))
               : 0;
}

int CWin32Dialog::ComboIndex(int nId) const {
    const HWND hControl = Control(nId);
    if (hControl == nullptr) return -1;
    const auto n = SendMessageW(hControl, IsListBox(nId) ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
    return n < 0 ? -1 : static_cast<int>(n);
}

void CWin32Dialog::ComboSelect(int nId, int nIndex) {
    const HWND hControl = Control(nId);
    if (hControl == nullptr) return;
    if (nIndex < 0 || nIndex >= ComboCount(nId)) nIndex = -1;
    SendMessageW(hControl, IsListBox(nId) ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(nIndex), 0);
    m_comboShown[nId] = nIndex;
}

std::u16string CWin32Dialog::ComboItemText(int nId, int nIndex) const {
    const HWND hControl = Control(nId);
    if (hControl == nullptr || nIndex < 0 || nIndex >= ComboCount(nId)) return {};
    const bool bList = IsListBox(nId);
    const auto nLength =
        SendMessageW(hControl, bList ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex), 0);
    if (nLength < 0) return {};
    std::wstring str(static_cast<size_t>(nLength) + 1, L'\0');
    SendMessageW(hControl, bList ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(nIndex),
                 reinterpret_cast<LPARAM>(str.data()));
    return U(str.c_str());
}

void CWin32Dialog::ListClear(int nId) {
    if (const HWND hControl = Control(nId)) {
        SendMessageW(hControl, LVM_DELETEALLITEMS, 0, 0);
        ReportSelection(nId);
    }
}

int CWin32Dialog::ListAddRow(int nId, const std::vector<std::u16string>& cells) {
    const HWND hControl = Control(nId);
    if (hControl == nullptr) return -1;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = ListRowCount(nId);
    item.pszText = const_cast<wchar_t*>(cells.empty() ? L"" : W(cells[0]));
    const auto nRow = SendMessageW(hControl, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (nRow < 0) return -1;
    for (size_t i = 1; i < cells.size(); ++i) {
        LVITEMW sub{};
        sub.iSubItem = static_cast<int>(i);
        sub.pszText = const_cast<wchar_t*>(W(cells[i]));
        SendMessageW(hControl, LVM_SETITEMTEXTW, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&sub));
    }
    // Columns given without a width fit their contents and header.
    if (const SControlDesc* pDesc = DescOf(nId))
        for (size_t i = 0; i < pDesc->columns.size(); ++i)
            if (i >= pDesc->columnWidths.size() || pDesc->columnWidths[i] == 0) {
                SendMessageW(hControl, LVM_SETCOLUMNWIDTH, i, LVSCW_AUTOSIZE_USEHEADER);
                // (Not narrower than the header's text with its margins.)
                const auto nHeader =
                    SendMessageW(hControl, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(W(pDesc->columns[i]))) + 16;
                if (SendMessageW(hControl, LVM_GETCOLUMNWIDTH, i, 0) < nHeader)
                    SendMessageW(hControl, LVM_SETCOLUMNWIDTH, i, nHeader);
            }
    return static_cast<int>(nRow);
}

int CWin32Dialog::ListRowCount(int nId) const {
    const HWND hControl = Control(nId);
    return hControl != nullptr ? static_cast<int>(SendMessageW(hControl, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

std::u16string CWin32Dialog::ListCell(int nId, int nRow, int nColumn) const {
    const HWND hControl = Control(nId);
    if (hControl == nullptr || nRow < 0 || nRow >= ListRowCount(nId) || nColumn < 0) return {};
    std::wstring str(1024, L'\0');
    LVITEMW item{};
    item.iSubItem = nColumn;
    item.pszText = str.data();
    item.cchTextMax = static_cast<int>(str.size());
    SendMessageW(hControl, LVM_GETITEMTEXTW, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&item));
    return U(str.c_str());
}

int CWin32Dialog::ListSelectedRow(int nId) const {
    const HWND hControl = Control(nId);
    if (hControl == nullptr) return -1;
    return static_cast<int>(SendMessageW(hControl, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void CWin32Dialog::ListSelectRow(int nId, int nRow) {
    const HWND hControl = Control(nId);
    if (hControl == nullptr) return;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (nRow < 0 || nRow >= ListRowCount(nId)) {
        SendMessageW(hControl, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    } else {
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(hControl, LVM_SETITEMSTATE, static_cast<WPARAM>(nRow), reinterpret_cast<LPARAM>(&state));
        SendMessageW(hControl, LVM_ENSUREVISIBLE, static_cast<WPARAM>(nRow), FALSE);
    }
    ReportSelection(nId);
}

void CWin32Dialog::SetIpv4(int nId, const Ipv4Octets& o) {
    if (const HWND hControl = Control(nId)) {
        ++m_nSuppress;
        SendMessageW(hControl, IPM_SETADDRESS, 0, static_cast<LPARAM>(MAKEIPADDRESS(o[0], o[1], o[2], o[3])));
        --m_nSuppress;
    }
}

Ipv4Octets CWin32Dialog::GetIpv4(int nId) const {
    const HWND hControl = Control(nId);
    DWORD dwAddress = 0;
    if (hControl != nullptr) SendMessageW(hControl, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&dwAddress));
    return {static_cast<uint8_t>(FIRST_IPADDRESS(dwAddress)), static_cast<uint8_t>(SECOND_IPADDRESS(dwAddress)),
            static_cast<uint8_t>(THIRD_IPADDRESS(dwAddress)), static_cast<uint8_t>(FOURTH_IPADDRESS(dwAddress))};
}

void CWin32Dialog::SetProgress(int nId, int nValue, int nMaximum) {
    if (const HWND hControl = Control(nId)) {
        SendMessageW(hControl, PBM_SETRANGE32, 0, std::max(nMaximum, 1));
        SendMessageW(hControl, PBM_SETPOS, static_cast<WPARAM>(std::clamp(nValue, 0, std::max(nMaximum, 1))), 0);
    }
}

int CWin32Dialog::ProgressValue(int nId) const {
    const SControlDesc* pDesc = DescOf(nId);
    const HWND hControl = Control(nId);
    if (pDesc == nullptr || hControl == nullptr || pDesc->eKind != EControl::Progress) return -1;
    return static_cast<int>(SendMessageW(hControl, PBM_GETPOS, 0, 0));
}

// ---- The window ----

void CWin32Dialog::SetTitle(const std::u16string& strTitle) {
    if (m_hWnd != nullptr) SetWindowTextW(m_hWnd, W(strTitle));
}

bool CWin32Dialog::IsVisible() const { return m_hWnd != nullptr && IsWindowVisible(m_hWnd); }

void CWin32Dialog::Close(int nResult) {
    if (m_hWnd == nullptr) return;
    if (m_bOwnLoop) {
        m_bEnded = true;
        m_nResult = nResult;
    } else if (m_bModal) {
        EndDialog(m_hWnd, nResult);
    } else if (m_pOwnerView != nullptr && m_pOwnerView->m_modeless.count(&m_logic) != 0) {
        m_pOwnerView->HideModeless(m_logic);
    } else {
        ShowWindow(m_hWnd, SW_HIDE);
    }
}

void CWin32Dialog::SetBusy(bool bBusy) {
    if (m_hWnd == nullptr) return;
    if (bBusy) {
        if (m_nBusy++ == 0) {
            const HWND hFocus = GetFocus();
            m_hFocusBeforeBusy = hFocus != nullptr && IsChild(m_hWnd, hFocus) ? hFocus : nullptr;
            EnableWindow(m_hWnd, FALSE);
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        }
        return;
    }
    if (m_nBusy == 0 || --m_nBusy > 0) return;
    // A caption-less pop-up keeps its owner disabled while it is up.
    if (ShownPopup() == nullptr) EnableWindow(m_hWnd, TRUE);
    if (m_hFocusBeforeBusy != nullptr && IsWindow(m_hFocusBeforeBusy))
        SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_hFocusBeforeBusy), TRUE);
    m_hFocusBeforeBusy = nullptr;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void CWin32Dialog::StartTimer(int nTimerId, int nMs) {
    if (m_hWnd == nullptr || nTimerId <= 0) return;
    SetTimer(m_hWnd, static_cast<UINT_PTR>(nTimerId), static_cast<UINT>(std::max(nMs, 1)), nullptr);
    m_timers.insert(nTimerId);
}

void CWin32Dialog::StopTimer(int nTimerId) {
    if (m_hWnd != nullptr && m_timers.erase(nTimerId) != 0) KillTimer(m_hWnd, static_cast<UINT_PTR>(nTimerId));
}

CWin32Dialog* CWin32Dialog::ShownPopup() const {
    for (const auto& [pLogic, pView] : m_modeless)
        if (pLogic->Desc().bNoCaption && pView->IsVisible()) return pView.get();
    return nullptr;
}

HWND CWin32Dialog::MessageOwner() const {
    if (IsVisible()) return m_hWnd;
    if (m_pOwnerView != nullptr) return m_pOwnerView->MessageOwner();
    return m_hOwner;
}

EMsgResult CWin32Dialog::Message(const std::u16string& strText, EMsgIcon eIcon, EMsgButtons eButtons) {
    // The pop-up and the wait cursor would hide that the program now waits
    // for the user.
    for (CWin32Dialog* pView = this; pView != nullptr; pView = pView->m_pOwnerView) {
        if (CWin32Dialog* pPopup = pView->ShownPopup()) {
            ShowWindow(pPopup->m_hWnd, SW_HIDE);
            if (pView->m_nBusy == 0) EnableWindow(pView->m_hWnd, TRUE);
        }
    }
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    const HWND hOwner = MessageOwner();
    if (Hooks().fnMessage) return Hooks().fnMessage(hOwner, strText, eIcon, eButtons);
    return DefaultMessage(hOwner, strText, eIcon, eButtons);
}

int CWin32Dialog::RunModal(CDialogLogic& child) {
    // A window prepared (and filled) while hidden runs in a modal loop of
    // its own; any other is a dialog box.
    auto it = m_prepared.find(&child);
    if (it != m_prepared.end()) {
        std::unique_ptr<CWin32Dialog> pView = std::move(it->second);
        m_prepared.erase(it);
        const int nResult = pView->RunShown();
        RetireLater(std::move(pView));
        return nResult;
    }
    CWin32Dialog view(child, this);
    return view.RunModal(MessageOwner());
}

bool CWin32Dialog::PrepareChild(CDialogLogic& child) {
    if (m_prepared.count(&child) != 0) return true;
    auto pView = std::make_unique<CWin32Dialog>(child, this);
    if (!pView->CreateModeless(MessageOwner(), false)) return false;
    m_prepared.emplace(&child, std::move(pView));
    return true;
}

void CWin32Dialog::ReleaseChild(CDialogLogic& child) {
    auto it = m_prepared.find(&child);
    if (it == m_prepared.end()) return;
    std::unique_ptr<CWin32Dialog> pView = std::move(it->second);
    m_prepared.erase(it);
    pView->Destroy();
    RetireLater(std::move(pView));
}

void CWin32Dialog::ShowModeless(CDialogLogic& child) {
    auto it = m_modeless.find(&child);
    if (it == m_modeless.end()) {
        auto pView = std::make_unique<CWin32Dialog>(child, this);
        if (!pView->CreateModeless(MessageOwner(), false)) return;
        it = m_modeless.emplace(&child, std::move(pView)).first;
    }
    if (child.Desc().bNoCaption && m_hWnd != nullptr) EnableWindow(m_hWnd, FALSE);
    ShowWindow(it->second->m_hWnd, SW_SHOWNA);
    UpdateWindow(it->second->m_hWnd);
}

void CWin32Dialog::HideModeless(CDialogLogic& child) {
    auto it = m_modeless.find(&child);
    if (it == m_modeless.end()) return;
    std::unique_ptr<CWin32Dialog> pView = std::move(it->second);
    m_modeless.erase(it);
    // The owner takes input again before the pop-up goes, so the focus
    // returns to it rather than to another program.
    if (child.Desc().bNoCaption && m_hWnd != nullptr && m_nBusy == 0) EnableWindow(m_hWnd, TRUE);
    pView->Destroy();
    RetireLater(std::move(pView));
}

void CWin32Dialog::RetireLater(std::unique_ptr<CWin32Dialog> pDialog) {
    m_retired.push_back(std::move(pDialog));
    if (m_hWnd != nullptr) PostMessageW(m_hWnd, kMsgDeleteRetired, 0, 0);
}

std::optional<std::string> CWin32Dialog::ChooseFile(const SFileChoice& choice) {
    const HWND hOwner = MessageOwner();
    if (Hooks().fnChooseFile) return Hooks().fnChooseFile(hOwner, choice);
    return DefaultChooseFile(hOwner, choice);
}

}  // namespace vexal::utility::win32
