#include "utility/win32/DialogTemplate.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <map>
#include <optional>

namespace vexal::utility::win32 {

namespace {

// Dialog units: an average character is 4 wide and 8 high.
constexpr int kCharCx = 4;
constexpr int kMargin = 7;
constexpr int kColumnGap = 6;
constexpr int kRowGap = 3;
constexpr int kInCellGap = 4;
constexpr int kRowHeight = 14;
constexpr int kButtonGap = 4;
constexpr int kComboDropCy = 120;
constexpr int kWrapCx = 240;

int CaptionChars(const std::u16string& str) {
    int n = 0;
    for (size_t i = 0; i < str.size(); ++i) {
        if (str[i] == u'&' && i + 1 < str.size()) {
            ++i;  // "&&" is one '&', "&X" is X underlined
        }
        ++n;
    }
    return n;
}

int TextCx(const std::u16string& str) { return CaptionChars(str) * kCharCx + 4; }

bool IsGridControl(const SControlDesc& c) { return !c.bButtonRow && c.eKind != EControl::Group; }

// A control that takes the whole width of its cell when alone in it.
bool Stretches(EControl e) {
    return e == EControl::Edit || e == EControl::Combo || e == EControl::ListView || e == EControl::Progress ||
           e == EControl::ListBox || e == EControl::Value || e == EControl::Ipv4;
}

struct SSize {
    int cx = 0, cy = 0;
};

SSize NaturalSize(const SControlDesc& c) {
    const int nMin = c.nWidthChars * kCharCx;
    switch (c.eKind) {
    case EControl::Label:
    case EControl::Value: {
        const int cx = std::max({nMin, TextCx(c.strCaption), c.eKind == EControl::Value ? 40 : 0});
        // Long text that may wrap: kept to a readable width, as many lines as it needs.
        if (c.bWordWrap && cx > kWrapCx) return {kWrapCx, 8 * ((cx + kWrapCx - 1) / kWrapCx)};
        return {cx, 8};
    }
    case EControl::ListBox: {
        const int nLines = c.nHeightLines > 0 ? c.nHeightLines : 6;
        return {c.nWidthChars > 0 ? nMin + 8 : 120, nLines * 8 + 4};
    }
    case EControl::Edit: {
        int cx = 80;
        if (c.nWidthChars > 0)
            cx = c.nWidthChars * kCharCx + 8;
        else if (c.nMaxLength > 0)
            cx = std::clamp(c.nMaxLength, 4, 32) * kCharCx + 8;
        return {cx, 12};
    }
    case EControl::Button: return {std::max({50, TextCx(c.strCaption) + 8, nMin}), 14};
    case EControl::Radio:
    case EControl::Check: return {std::max(nMin, TextCx(c.strCaption) + 12), 10};
    case EControl::Combo: return {c.nWidthChars > 0 ? nMin + 16 : 80, 12};
    case EControl::ListView: {
        int cx = 0;
        for (size_t i = 0; i < c.columns.size(); ++i) {
            const int nChars = i < c.columnWidths.size() ? c.columnWidths[i] : 0;
            cx += nChars > 0 ? nChars * kCharCx + 8 : std::max(TextCx(c.columns[i]) + 8, 40);
        }
        const int nLines = c.nHeightLines > 0 ? c.nHeightLines : 8;
        return {std::max({cx + 4, nMin, 160}), nLines * 10 + 16};
    }
    case EControl::Ipv4: return {std::max(nMin, 90), 12};
    case EControl::Progress: return {c.nWidthChars > 0 ? nMin : 160, 10};
    case EControl::Group: return {TextCx(c.strCaption) + 16, 0};
    }
    return {0, 0};
}

}  // namespace

SLayout LayOut(const SDialogDesc& desc) {
    const auto& ctls = desc.controls;
    int nRows = 0, nColumns = 0;
    for (const auto& c : ctls) {
        if (c.bButtonRow) continue;
        nRows = std::max(nRows, c.nRow + std::max(c.nRowSpan, 1));
        nColumns = std::max(nColumns, c.nColumn + std::max(c.nColumnSpan, 1));
    }
    // A row whose controls all start hidden takes no room, as in the Qt layout
    // (the pages' hidden inactivity row).
    std::vector<bool> rowShown(static_cast<size_t>(nRows), false);
    for (const auto& c : ctls)
        if (IsGridControl(c) && !c.bHidden)
            for (int r = c.nRow; r < c.nRow + std::max(c.nRowSpan, 1); ++r) rowShown[static_cast<size_t>(r)] = true;

    // Cells: the controls sharing one, side by side.
    std::map<std::pair<int, int>, std::vector<size_t>> cells;
    for (size_t i = 0; i < ctls.size(); ++i)
        if (IsGridControl(ctls[i])) cells[{ctls[i].nRow, ctls[i].nColumn}].push_back(i);
    std::vector<SSize> natural(ctls.size());
    for (size_t i = 0; i < ctls.size(); ++i) natural[i] = NaturalSize(ctls[i]);

    std::vector<int> colCx(static_cast<size_t>(nColumns), 0), rowCy(static_cast<size_t>(nRows), 0);
    std::vector<int> colPadL(colCx.size(), 0), colPadR(colCx.size(), 0);
    std::vector<int> rowPadT(rowCy.size(), 0), rowPadB(rowCy.size(), 0);
    for (const auto& [cell, members] : cells) {
        const auto& first = ctls[members.front()];
        if (!rowShown[static_cast<size_t>(cell.first)]) continue;
        int cx = 0, cy = 0;
        for (size_t i : members) {
            cx += natural[i].cx + (cx > 0 ? kInCellGap : 0);
            cy = std::max(cy, natural[i].cy);
        }
        if (first.nColumnSpan <= 1)
            colCx[static_cast<size_t>(cell.second)] = std::max(colCx[static_cast<size_t>(cell.second)], cx);
        if (first.nRowSpan <= 1)
            rowCy[static_cast<size_t>(cell.first)] = std::max(rowCy[static_cast<size_t>(cell.first)], cy);
    }
    for (size_t r = 0; r < rowCy.size(); ++r)
        if (rowShown[r]) rowCy[r] = std::max(rowCy[r], kRowHeight);
    for (const auto& c : ctls) {
        if (c.eKind != EControl::Group || c.bButtonRow) continue;
        const int r0 = c.nRow, r1 = c.nRow + std::max(c.nRowSpan, 1) - 1;
        const int c0 = c.nColumn, c1 = c.nColumn + std::max(c.nColumnSpan, 1) - 1;
        rowPadT[static_cast<size_t>(r0)] = std::max(rowPadT[static_cast<size_t>(r0)], 12);
        rowPadB[static_cast<size_t>(r1)] = std::max(rowPadB[static_cast<size_t>(r1)], 7);
        colPadL[static_cast<size_t>(c0)] = std::max(colPadL[static_cast<size_t>(c0)], 7);
        colPadR[static_cast<size_t>(c1)] = std::max(colPadR[static_cast<size_t>(c1)], 7);
    }
    // Controls spanning columns widen the last column they cover when the
    // columns together are too narrow; groups need room for their caption.
    auto spanCx = [&](int c0, int c1) {
        int cx = 0;
        for (int c = c0; c <= c1; ++c)
            cx += colCx[static_cast<size_t>(c)] +
                  (c > c0 ? kColumnGap + colPadR[static_cast<size_t>(c - 1)] + colPadL[static_cast<size_t>(c)] : 0);
        return cx;
    };
    for (size_t i = 0; i < ctls.size(); ++i) {
        const auto& c = ctls[i];
        if (c.bButtonRow || c.nColumnSpan <= 1 || !rowShown[static_cast<size_t>(c.nRow)]) continue;
        const int c1 = c.nColumn + c.nColumnSpan - 1;
        int cx = natural[i].cx;
        if (c.eKind != EControl::Group) {
            cx = 0;
            for (size_t j : cells[{c.nRow, c.nColumn}]) cx += natural[j].cx + (cx > 0 ? kInCellGap : 0);
        }
        const int nHave = spanCx(c.nColumn, c1);
        if (nHave < cx) colCx[static_cast<size_t>(c1)] += cx - nHave;
    }

    std::vector<int> colX(colCx.size()), rowY(rowCy.size());
    int x = kMargin;
    for (size_t c = 0; c < colCx.size(); ++c) {
        x += colPadL[c];
        colX[c] = x;
        x += colCx[c] + colPadR[c] + kColumnGap;
    }
    const int nGridRight = colCx.empty() ? kMargin : x - kColumnGap;
    int y = kMargin;
    for (size_t r = 0; r < rowCy.size(); ++r) {
        if (!rowShown[r]) {
            rowY[r] = y;
            continue;
        }
        y += rowPadT[r];
        rowY[r] = y;
        y += rowCy[r] + rowPadB[r] + kRowGap;
    }
    const int nGridBottom = y;

    SLayout layout;
    layout.rects.resize(ctls.size());
    auto spanCy = [&](int r0, int r1) {
        return rowY[static_cast<size_t>(r1)] + rowCy[static_cast<size_t>(r1)] - rowY[static_cast<size_t>(r0)];
    };
    for (const auto& [cell, members] : cells) {
        const auto& first = ctls[members.front()];
        const int c1 = first.nColumn + std::max(first.nColumnSpan, 1) - 1;
        const int r1 = first.nRow + std::max(first.nRowSpan, 1) - 1;
        const int nCellCx = spanCx(first.nColumn, c1);
        const int nCellCy = rowShown[static_cast<size_t>(cell.first)] ? spanCy(first.nRow, r1) : 0;
        int cx0 = colX[static_cast<size_t>(cell.second)];
        for (size_t i : members) {
            SDluRect& rc = layout.rects[i];
            rc.cx = natural[i].cx;
            rc.cy = natural[i].cy;
            if (members.size() == 1 && Stretches(ctls[i].eKind)) rc.cx = std::max(rc.cx, nCellCx);
            if (members.size() == 1 && ctls[i].eKind == EControl::ListView) rc.cy = std::max(rc.cy, nCellCy);
            rc.x = cx0;
            // Small controls beside a tall one keep to the top line.
            const int nLine = nCellCy > 2 * kRowHeight ? kRowHeight : nCellCy;
            rc.y = rowY[static_cast<size_t>(cell.first)] + std::max(0, (nLine - rc.cy) / 2);
            if (nCellCy == 0) rc.cy = 0;
            cx0 += rc.cx + kInCellGap;
        }
    }
    for (size_t i = 0; i < ctls.size(); ++i) {
        const auto& c = ctls[i];
        if (c.eKind != EControl::Group || c.bButtonRow) continue;
        const int c1 = c.nColumn + std::max(c.nColumnSpan, 1) - 1;
        const int r1 = c.nRow + std::max(c.nRowSpan, 1) - 1;
        SDluRect& rc = layout.rects[i];
        rc.x = colX[static_cast<size_t>(c.nColumn)] - 5;
        rc.y = rowY[static_cast<size_t>(c.nRow)] - 11;
        rc.cx = spanCx(c.nColumn, c1) + 10;
        rc.cy = spanCy(c.nRow, r1) + 11 + 5;
    }

    // The button row: right-aligned; those before a stretch stay left.
    std::vector<size_t> buttons;
    for (size_t i = 0; i < ctls.size(); ++i)
        if (ctls[i].bButtonRow) buttons.push_back(i);
    int nButtonsCx = 0;
    for (size_t i : buttons)
        if (!ctls[i].bHidden) nButtonsCx += natural[i].cx + kButtonGap;
    const int nClientCx = std::max(nGridRight, kMargin + nButtonsCx - kButtonGap) + kMargin;
    int nBottom = nGridBottom - kRowGap + kMargin;
    if (!buttons.empty()) {
        const int nButtonY = nGridBottom - kRowGap + (cells.empty() ? 0 : 7);
        size_t nStretch = buttons.size();
        for (size_t k = 0; k < buttons.size(); ++k)
            if (ctls[buttons[k]].bStretchBefore && nStretch == buttons.size()) nStretch = k;
        int bx = kMargin;
        if (nStretch == buttons.size()) bx = nClientCx - kMargin - (nButtonsCx - kButtonGap);
        for (size_t k = 0; k < buttons.size(); ++k) {
            if (k == nStretch) {
                int nRest = 0;
                for (size_t m = k; m < buttons.size(); ++m)
                    if (!ctls[buttons[m]].bHidden) nRest += natural[buttons[m]].cx + kButtonGap;
                bx = nClientCx - kMargin - (nRest - kButtonGap);
            }
            const size_t i = buttons[k];
            layout.rects[i] = {bx, nButtonY, natural[i].cx, natural[i].cy};
            if (!ctls[i].bHidden) bx += natural[i].cx + kButtonGap;
        }
        nBottom = nButtonY + 14 + kMargin;
    }
    layout.cx = nClientCx;
    layout.cy = std::max(nBottom, 2 * kMargin);
    return layout;
}

std::vector<size_t> TemplateOrder(const SDialogDesc& desc) {
    const auto& ctls = desc.controls;
    std::vector<size_t> order;
    std::vector<bool> placed(ctls.size(), false);
    auto labelOf = [&](int nId) -> std::optional<size_t> {
        for (size_t i = 0; i < ctls.size(); ++i)
            if (ctls[i].eKind == EControl::Label && ctls[i].nBuddy == nId && nId != 0 && !placed[i]) return i;
        return std::nullopt;
    };
    auto place = [&](size_t i) {
        if (placed[i]) return;
        if (auto label = labelOf(ctls[i].nId)) {
            placed[*label] = true;
            order.push_back(*label);
        }
        placed[i] = true;
        order.push_back(i);
    };
    for (size_t i = 0; i < ctls.size(); ++i) {
        const auto& c = ctls[i];
        if (placed[i] || (c.eKind == EControl::Label && c.nBuddy != 0 && FindControl(desc, c.nBuddy) != nullptr))
            continue;
        if (c.eKind == EControl::Radio && c.nGroup != 0) {
            for (size_t j = i; j < ctls.size(); ++j)
                if (ctls[j].eKind == EControl::Radio && ctls[j].nGroup == c.nGroup) place(j);
            continue;
        }
        place(i);
    }
    for (size_t i = 0; i < ctls.size(); ++i)  // labels whose buddy is missing
        if (!placed[i]) order.push_back(i);
    return order;
}

namespace {

class CTemplateWriter {
public:
    void Word(uint16_t n) { m_data.push_back(n); }
    void Dword(uint32_t n) {
        Word(static_cast<uint16_t>(n & 0xFFFF));
        Word(static_cast<uint16_t>(n >> 16));
    }
    void Text(const std::u16string& str) {
        for (char16_t ch : str) Word(static_cast<uint16_t>(ch));
        Word(0);
    }
    void AlignDword() {
        if (m_data.size() % 2 != 0) Word(0);
    }
    void Short(int n) { Word(static_cast<uint16_t>(static_cast<int16_t>(std::clamp(n, -32768, 32767)))); }
    std::vector<uint16_t> Take() { return std::move(m_data); }
    size_t Size() const { return m_data.size(); }
    void Patch(size_t nAt, uint16_t n) { m_data[nAt] = n; }

private:
    std::vector<uint16_t> m_data;
};

struct SItemClass {
    uint16_t nAtom = 0;  // 0x80 button, 0x81 edit, 0x82 static, 0x85 combo box; 0: by name
    std::u16string strName;
};

SItemClass ClassOf(EControl e) {
    switch (e) {
    case EControl::Label:
    case EControl::Value: return {0x82, {}};
    case EControl::Edit: return {0x81, {}};
    case EControl::Combo: return {0x85, {}};
    case EControl::ListBox: return {0x83, {}};
    case EControl::ListView: return {0, u"SysListView32"};
    case EControl::Ipv4: return {0, u"SysIPAddress32"};
    case EControl::Progress: return {0, u"msctls_progress32"};
    default: return {0x80, {}};
    }
}

}  // namespace

std::vector<uint16_t> BuildTemplate(const SDialogDesc& desc, bool bMainWindow) {
    const SLayout layout = LayOut(desc);
    const std::vector<size_t> order = TemplateOrder(desc);
    CTemplateWriter w;
    DWORD dwStyle = WS_POPUP | DS_SETFONT | DS_FIXEDSYS | DS_MODALFRAME;
    if (desc.bNoCaption)
        dwStyle |= WS_BORDER;
    else
        dwStyle |= WS_CAPTION | WS_SYSMENU | (bMainWindow ? WS_MINIMIZEBOX : 0);
    w.Word(1);       // dlgVer
    w.Word(0xFFFF);  // signature: DLGTEMPLATEEX
    w.Dword(0);      // helpID
    w.Dword(bMainWindow ? WS_EX_APPWINDOW : 0);
    w.Dword(dwStyle);
    w.Word(static_cast<uint16_t>(order.size()));
    w.Short(0);
    w.Short(0);
    w.Short(layout.cx);
    w.Short(layout.cy);
    w.Word(0);  // no menu
    w.Word(0);  // the dialog class
    w.Text(desc.strTitle);
    w.Word(8);                         // points
    w.Word(400);                       // weight
    w.Word(0x0100 * DEFAULT_CHARSET);  // italic 0, charset
    w.Text(u"MS Shell Dlg");

    int nPreviousGroup = -1;
    for (size_t i : order) {
        const SControlDesc& c = desc.controls[i];
        const SDluRect& rc = layout.rects[i];
        DWORD dwItem = WS_CHILD | (c.bHidden ? 0 : WS_VISIBLE) | (c.bDisabled ? WS_DISABLED : 0);
        DWORD dwEx = 0;
        // A radio group is one WS_GROUP run; every other control starts a run
        // of its own, so arrow keys never leave a group.
        const int nGroup = c.eKind == EControl::Radio ? c.nGroup : -1;
        const bool bNewGroup = nGroup == -1 || nGroup != nPreviousGroup;
        if (bNewGroup) dwItem |= WS_GROUP;
        nPreviousGroup = c.eKind == EControl::Radio ? c.nGroup : -1;
        switch (c.eKind) {
        case EControl::Label: dwItem |= c.bCentred ? SS_CENTER : SS_LEFT; break;
        case EControl::Value: dwItem |= (c.bCentred ? SS_CENTER : SS_LEFT) | SS_NOPREFIX; break;
        case EControl::Edit:
            dwItem |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
            dwEx |= WS_EX_CLIENTEDGE;
            if (c.eInput == EInput::Digits) dwItem |= ES_NUMBER;
            if (c.bPassword) dwItem |= ES_PASSWORD;
            if (c.bReadOnly) dwItem |= ES_READONLY;
            break;
        case EControl::Button: dwItem |= WS_TABSTOP | BS_PUSHBUTTON; break;
        case EControl::Radio: dwItem |= BS_AUTORADIOBUTTON | (bNewGroup ? WS_TABSTOP : 0); break;
        case EControl::Check: dwItem |= WS_TABSTOP | BS_AUTOCHECKBOX; break;
        case EControl::Combo: dwItem |= WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL; break;
        case EControl::ListView:
            dwItem |= WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
            dwEx |= WS_EX_CLIENTEDGE;
            break;
        case EControl::ListBox:
            dwItem |= WS_TABSTOP | LBS_NOTIFY | WS_VSCROLL | LBS_NOINTEGRALHEIGHT;
            dwEx |= WS_EX_CLIENTEDGE;
            break;
        case EControl::Ipv4: dwItem |= WS_TABSTOP; break;
        case EControl::Progress: break;
        case EControl::Group: dwItem |= BS_GROUPBOX; break;
        }
        w.AlignDword();
        w.Dword(0);  // helpID
        w.Dword(dwEx);
        w.Dword(dwItem);
        w.Short(rc.x);
        w.Short(rc.y);
        w.Short(rc.cx);
        w.Short(c.eKind == EControl::Combo ? rc.cy + kComboDropCy : rc.cy);
        w.Dword(c.nId != 0 ? static_cast<DWORD>(c.nId) : static_cast<DWORD>(-1));
        const SItemClass cls = ClassOf(c.eKind);
        if (cls.nAtom != 0) {
            w.Word(0xFFFF);
            w.Word(cls.nAtom);
        } else {
            w.Text(cls.strName);
        }
        const bool bCaptioned = c.eKind == EControl::Label || c.eKind == EControl::Button ||
                                c.eKind == EControl::Radio || c.eKind == EControl::Check || c.eKind == EControl::Group;
        w.Text(bCaptioned ? c.strCaption : std::u16string());
        w.Word(0);  // no creation data
    }
    return w.Take();
}

}  // namespace vexal::utility::win32
