#include "utility/win32/DialogTemplate.h"

#include "utility/logic/LumaroLogic.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <climits>
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
constexpr int kFrameInsetCx = 7;  // a group's frame to the controls inside, each side

// Windows drawn for a size of their own: the grid spreads to fill it and the
// window grows past it only as far as its contents need.
struct SDesignSize {
    int nDialogId, cx, cy;
};
constexpr SDesignSize kDesignSizes[] = {
    {CLumaroLogic::kDialogId, 225, 201},
};

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

private:
    std::vector<uint16_t> m_data;
};

// DLGTEMPLATEEX up to its font, "MS Shell Dlg" at 8 points.
void WriteHeader(CTemplateWriter& w, DWORD dwStyle, DWORD dwExStyle, size_t nItems, int cx, int cy,
                 const std::u16string& strTitle) {
    w.Word(1);       // dlgVer
    w.Word(0xFFFF);  // signature: DLGTEMPLATEEX
    w.Dword(0);      // helpID
    w.Dword(dwExStyle);
    w.Dword(dwStyle);
    w.Word(static_cast<uint16_t>(nItems));
    w.Short(0);
    w.Short(0);
    w.Short(cx);
    w.Short(cy);
    w.Word(0);  // no menu
    w.Word(0);  // the dialog class
    w.Text(strTitle);
    w.Word(8);                         // points
    w.Word(400);                       // weight
    w.Word(0x0100 * DEFAULT_CHARSET);  // italic 0, charset
    w.Text(u"MS Shell Dlg");
}

// A caption as drawn: "&&" is one '&', "&X" is X underlined.
std::u16string ShownCaption(const std::u16string& str) {
    std::u16string strShown;
    for (size_t i = 0; i < str.size(); ++i) {
        if (str[i] == u'&' && i + 1 < str.size()) ++i;
        strShown.push_back(str[i]);
    }
    return strShown;
}

INT_PTR CALLBACK ProbeProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Texts measured as the dialog manager will draw them: in the font of a
// hidden dialog made with the templates' font, at the DPI it gets, in its
// dialog units rounded up. Without that dialog, 4 units a character.
class CTextMeasure {
public:
    CTextMeasure() {
        CTemplateWriter w;
        WriteHeader(w, WS_POPUP | DS_SETFONT | DS_FIXEDSYS, 0, 0, 10, 10, {});
        const std::vector<uint16_t> probe = w.Take();
        m_hProbe = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                              reinterpret_cast<LPCDLGTEMPLATEW>(probe.data()), nullptr, ProbeProc, 0);
        if (m_hProbe == nullptr) return;
        RECT rc{0, 0, 4, 8};
        MapDialogRect(m_hProbe, &rc);
        m_nCharPx = static_cast<int>(rc.right);
        m_hDc = GetDC(m_hProbe);
        if (m_hDc != nullptr)
            m_hOldFont = SelectObject(m_hDc, reinterpret_cast<HGDIOBJ>(SendMessageW(m_hProbe, WM_GETFONT, 0, 0)));
    }
    ~CTextMeasure() {
        if (m_hDc != nullptr) {
            SelectObject(m_hDc, m_hOldFont);
            ReleaseDC(m_hProbe, m_hDc);
        }
        if (m_hProbe != nullptr) DestroyWindow(m_hProbe);
    }
    CTextMeasure(const CTextMeasure&) = delete;
    CTextMeasure& operator=(const CTextMeasure&) = delete;

    int Cx(const std::u16string& strText) const {
        SIZE size{};
        if (m_hDc == nullptr || m_nCharPx <= 0 ||
            !GetTextExtentPoint32W(m_hDc, reinterpret_cast<const wchar_t*>(strText.c_str()),
                                   static_cast<int>(strText.size()), &size))
            return static_cast<int>(strText.size()) * kCharCx;
        return (static_cast<int>(size.cx) * kCharCx + m_nCharPx - 1) / m_nCharPx;
    }

private:
    HWND m_hProbe = nullptr;
    HDC m_hDc = nullptr;
    HGDIOBJ m_hOldFont = nullptr;
    int m_nCharPx = 0;  // pixels in 4 dialog units
};

bool IsGridControl(const SControlDesc& c) { return !c.bButtonRow && c.eKind != EControl::Group; }

// A control that takes the whole width of its cell when alone in it.
bool Stretches(EControl e) {
    return e == EControl::Edit || e == EControl::Combo || e == EControl::ListView || e == EControl::Progress ||
           e == EControl::ListBox || e == EControl::Value || e == EControl::Ipv4 || e == EControl::Button;
}

// A field or a list: the columns holding one take a grid's spare width
// before the columns of captions and buttons.
bool IsField(EControl e) {
    return e == EControl::Edit || e == EControl::Combo || e == EControl::ListView || e == EControl::Progress ||
           e == EControl::ListBox || e == EControl::Ipv4;
}

struct SSize {
    int cx = 0, cy = 0;
};

SSize NaturalSize(const SControlDesc& c, const CTextMeasure& measure) {
    const int nMin = c.nWidthChars * kCharCx;
    // The caption with room for the static control's own margins.
    const int nTextCx = measure.Cx(c.eKind == EControl::Value ? c.strCaption : ShownCaption(c.strCaption)) + kCharCx;
    switch (c.eKind) {
    case EControl::Label:
    case EControl::Value: {
        const int cx = std::max({nMin, nTextCx, c.eKind == EControl::Value ? 40 : 0});
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
    case EControl::Button: return {std::max({50, nTextCx + 8, nMin}), 14};
    case EControl::Radio:
    case EControl::Check: return {std::max(nMin, nTextCx + 12), 10};
    case EControl::Combo: return {c.nWidthChars > 0 ? nMin + 16 : 80, 12};
    case EControl::ListView: {
        int cx = 0;
        for (size_t i = 0; i < c.columns.size(); ++i) {
            const int nChars = i < c.columnWidths.size() ? c.columnWidths[i] : 0;
            cx += nChars > 0 ? nChars * kCharCx + 8 : std::max(measure.Cx(c.columns[i]) + kCharCx + 8, 40);
        }
        const int nLines = c.nHeightLines > 0 ? c.nHeightLines : 8;
        return {std::max({cx + 4, nMin, 160}), nLines * 10 + 16};
    }
    case EControl::Ipv4: return {std::max(nMin, 90), 12};
    case EControl::Progress: return {c.nWidthChars > 0 ? nMin : 160, 10};
    case EControl::Group: return {nTextCx + 16, 0};
    }
    return {0, 0};
}

// Adds nExtra to the widths named by targets, the narrowest first, so that
// they come out as even as their contents allow: how Qt's layouts share room
// between items of equal stretch.
void SpreadEvenly(std::vector<int>& cx, const std::vector<size_t>& targets, int nExtra) {
    while (nExtra > 0 && !targets.empty()) {
        int nLow = INT_MAX, nNext = INT_MAX, nAtLow = 0;
        for (size_t t : targets) nLow = std::min(nLow, cx[t]);
        for (size_t t : targets) {
            if (cx[t] == nLow)
                ++nAtLow;
            else
                nNext = std::min(nNext, cx[t]);
        }
        const int nStep = std::min(nNext - nLow, nExtra / nAtLow);
        if (nStep == 0) {  // fewer units left than widths at the low: one each, leftmost first
            for (size_t t : targets)
                if (cx[t] == nLow && nExtra > 0) {
                    ++cx[t];
                    --nExtra;
                }
            return;
        }
        for (size_t t : targets)
            if (cx[t] == nLow) cx[t] += nStep;
        nExtra -= nStep * nAtLow;
    }
}

// One grid's columns. Spare width goes to the columns a control asks to
// stretch, else to those holding fields or lists, else to all it spans.
struct SColumns {
    std::vector<int> cx;
    std::vector<bool> stretch, field;

    explicit SColumns(int n = 0) : cx(static_cast<size_t>(n)), stretch(cx.size()), field(cx.size()) {}
    int Count() const { return static_cast<int>(cx.size()); }
    int Span(int c0, int c1) const {
        int n = 0;
        for (int c = c0; c <= c1; ++c) n += cx[static_cast<size_t>(c)] + (c > c0 ? kColumnGap : 0);
        return n;
    }
    void Spread(int c0, int c1, int nExtra) {
        std::vector<size_t> stretching, fields, all;
        for (int c = c0; c <= c1; ++c) {
            const auto i = static_cast<size_t>(c);
            if (stretch[i]) stretching.push_back(i);
            if (field[i]) fields.push_back(i);
            all.push_back(i);
        }
        SpreadEvenly(cx, !stretching.empty() ? stretching : !fields.empty() ? fields : all, nExtra);
    }
    void Fit(int c0, int c1, int nCx) {
        if (const int nHave = Span(c0, c1); nHave < nCx) Spread(c0, c1, nCx - nHave);
    }
};

// What lies in a grid: a cell's controls or a group, over columns c0..c1.
struct SGridItem {
    int c0 = 0, c1 = 0, nCx = 0;
};

// Column widths from what lies in one column, then from what spans several,
// the narrower spans first.
void Resolve(SColumns& cols, std::vector<SGridItem> items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const SGridItem& a, const SGridItem& b) { return a.c1 - a.c0 < b.c1 - b.c0; });
    for (const SGridItem& item : items) {
        if (item.c0 == item.c1)
            cols.cx[static_cast<size_t>(item.c0)] = std::max(cols.cx[static_cast<size_t>(item.c0)], item.nCx);
        else
            cols.Fit(item.c0, item.c1, item.nCx);
    }
}

std::vector<int> ColumnLefts(const SColumns& cols, int x) {
    std::vector<int> lefts(cols.cx.size());
    for (size_t c = 0; c < cols.cx.size(); ++c) {
        lefts[c] = x;
        x += cols.cx[c] + kColumnGap;
    }
    return lefts;
}

}  // namespace

SLayout LayOut(const SDialogDesc& desc) {
    const CTextMeasure measure;
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
    auto shown = [&](int nRow) { return rowShown[static_cast<size_t>(nRow)]; };

    // Cells: the controls sharing one, side by side.
    std::map<std::pair<int, int>, std::vector<size_t>> cells;
    for (size_t i = 0; i < ctls.size(); ++i)
        if (IsGridControl(ctls[i])) cells[{ctls[i].nRow, ctls[i].nColumn}].push_back(i);
    std::vector<SSize> natural(ctls.size());
    for (size_t i = 0; i < ctls.size(); ++i) natural[i] = NaturalSize(ctls[i], measure);
    auto cellCx = [&](const std::vector<size_t>& members) {
        int cx = 0;
        for (size_t i : members) cx += natural[i].cx + (cx > 0 ? kInCellGap : 0);
        return cx;
    };

    // Each group is a grid of its own, its columns counted from its first, as
    // in the Qt layout. Groups stacked right under one another over the same
    // columns with as many columns in use are sections of one form: they
    // share one set of columns (a band), so their fields line up.
    std::vector<size_t> groups;
    for (size_t i = 0; i < ctls.size(); ++i)
        if (ctls[i].eKind == EControl::Group && !ctls[i].bButtonRow) groups.push_back(i);
    auto groupOf = [&](int nRow, int nColumn) -> int {
        for (size_t g = 0; g < groups.size(); ++g) {
            const auto& gs = ctls[groups[g]];
            if (nRow >= gs.nRow && nRow < gs.nRow + std::max(gs.nRowSpan, 1) && nColumn >= gs.nColumn &&
                nColumn < gs.nColumn + std::max(gs.nColumnSpan, 1))
                return static_cast<int>(g);
        }
        return -1;
    };
    std::map<std::pair<int, int>, int> owner;
    std::vector<int> used(groups.size(), 0);
    for (const auto& [cell, members] : cells) {
        const int g = groupOf(cell.first, cell.second);
        owner[cell] = g;
        if (g < 0 || !shown(cell.first)) continue;
        const auto& gs = ctls[groups[static_cast<size_t>(g)]];
        const int nEnd = std::min(cell.second + std::max(ctls[members.front()].nColumnSpan, 1),
                                  gs.nColumn + std::max(gs.nColumnSpan, 1));
        used[static_cast<size_t>(g)] = std::max(used[static_cast<size_t>(g)], nEnd - gs.nColumn);
    }
    std::vector<int> band(groups.size(), -1);
    std::vector<SColumns> bands;
    for (size_t g = 0; g < groups.size(); ++g) {
        if (band[g] >= 0) continue;
        band[g] = static_cast<int>(bands.size());
        auto stacked = [&](size_t nAbove, size_t h) {
            const auto &a = ctls[groups[nAbove]], &b = ctls[groups[h]];
            return band[h] < 0 && used[h] == used[g] && b.nRow == a.nRow + std::max(a.nRowSpan, 1) &&
                   b.nColumn == a.nColumn && b.nColumnSpan == a.nColumnSpan;
        };
        for (size_t last = g;;) {
            size_t h = 0;
            while (h < groups.size() && !stacked(last, h)) ++h;
            if (h == groups.size()) break;
            band[h] = band[g];
            last = h;
        }
        bands.emplace_back(used[g]);
    }

    // Column widths, the groups' own first, then the window's, where each
    // group is one item as wide as its band and its caption need.
    SColumns window(nColumns);
    std::vector<std::vector<SGridItem>> bandItems(bands.size());
    std::vector<SGridItem> windowItems;
    auto gridOf = [&](const std::pair<int, int>& cell, int& nFirst) -> SColumns& {
        const int g = owner[cell];
        if (g < 0) {
            nFirst = 0;
            return window;
        }
        nFirst = ctls[groups[static_cast<size_t>(g)]].nColumn;
        return bands[static_cast<size_t>(band[static_cast<size_t>(g)])];
    };
    for (const auto& [cell, members] : cells) {
        if (!shown(cell.first)) continue;
        int nFirst = 0;
        SColumns& cols = gridOf(cell, nFirst);
        const int c0 = cell.second - nFirst;
        const int c1 = std::min(c0 + std::max(ctls[members.front()].nColumnSpan, 1), cols.Count()) - 1;
        for (size_t i : members) {
            if (ctls[i].bStretchColumn) cols.stretch[static_cast<size_t>(c0)] = true;
            if (c0 == c1 && IsField(ctls[i].eKind)) cols.field[static_cast<size_t>(c0)] = true;
        }
        const int g = owner[cell];
        (g < 0 ? windowItems : bandItems[static_cast<size_t>(band[static_cast<size_t>(g)])])
            .push_back({c0, c1, cellCx(members)});
    }
    for (size_t b = 0; b < bands.size(); ++b) Resolve(bands[b], bandItems[b]);
    std::vector<int> groupCx(groups.size());
    for (size_t g = 0; g < groups.size(); ++g) {
        const SColumns& cols = bands[static_cast<size_t>(band[g])];
        const int nInner = cols.Count() > 0 ? cols.Span(0, cols.Count() - 1) + 2 * kFrameInsetCx : 0;
        groupCx[g] = std::max(nInner, natural[groups[g]].cx);
    }
    for (size_t g = 0; g < groups.size(); ++g) {  // a band's sections are as wide as its widest
        for (size_t h = 0; h < groups.size(); ++h)
            if (band[h] == band[g]) groupCx[g] = std::max(groupCx[g], groupCx[h]);
        const auto& gs = ctls[groups[g]];
        if (shown(gs.nRow))
            windowItems.push_back({gs.nColumn, gs.nColumn + std::max(gs.nColumnSpan, 1) - 1, groupCx[g]});
    }
    Resolve(window, windowItems);
    const SDesignSize* pDesign = nullptr;
    for (const SDesignSize& size : kDesignSizes)
        if (size.nDialogId == desc.nId) pDesign = &size;
    if (pDesign != nullptr && nColumns > 0) window.Fit(0, nColumns - 1, pDesign->cx - 2 * kMargin);

    const std::vector<int> colX = ColumnLefts(window, kMargin);
    const int nGridRight = nColumns > 0 ? kMargin + window.Span(0, nColumns - 1) : kMargin;
    // Each band spreads over the width its groups were given.
    std::vector<std::vector<int>> bandX(bands.size());
    for (size_t g = 0; g < groups.size(); ++g) {
        const auto& gs = ctls[groups[g]];
        SColumns& cols = bands[static_cast<size_t>(band[g])];
        const int nFrameCx = window.Span(gs.nColumn, gs.nColumn + std::max(gs.nColumnSpan, 1) - 1);
        if (cols.Count() > 0) cols.Fit(0, cols.Count() - 1, nFrameCx - 2 * kFrameInsetCx);
        bandX[static_cast<size_t>(band[g])] = ColumnLefts(cols, colX[static_cast<size_t>(gs.nColumn)] + kFrameInsetCx);
    }

    // Rows: shared by the whole window; a group's frame takes room above its
    // first row and below its last.
    std::vector<int> rowCy(static_cast<size_t>(nRows), 0), rowPadT(rowCy.size(), 0), rowPadB(rowCy.size(), 0);
    for (const auto& [cell, members] : cells) {
        if (!shown(cell.first) || ctls[members.front()].nRowSpan > 1) continue;
        for (size_t i : members)
            rowCy[static_cast<size_t>(cell.first)] = std::max(rowCy[static_cast<size_t>(cell.first)], natural[i].cy);
    }
    for (size_t r = 0; r < rowCy.size(); ++r)
        if (rowShown[r]) rowCy[r] = std::max(rowCy[r], kRowHeight);
    for (size_t g : groups) {
        const auto& c = ctls[g];
        const int r1 = c.nRow + std::max(c.nRowSpan, 1) - 1;
        rowPadT[static_cast<size_t>(c.nRow)] = std::max(rowPadT[static_cast<size_t>(c.nRow)], 12);
        rowPadB[static_cast<size_t>(r1)] = std::max(rowPadB[static_cast<size_t>(r1)], 7);
    }
    std::vector<int> rowY(rowCy.size());
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
    auto spanCy = [&](int r0, int r1) {
        return rowY[static_cast<size_t>(r1)] + rowCy[static_cast<size_t>(r1)] - rowY[static_cast<size_t>(r0)];
    };

    SLayout layout;
    layout.rects.resize(ctls.size());
    for (const auto& [cell, members] : cells) {
        const auto& first = ctls[members.front()];
        int nFirst = 0;
        const SColumns& cols = gridOf(cell, nFirst);
        const int g = owner[cell];
        const std::vector<int>& lefts = g < 0 ? colX : bandX[static_cast<size_t>(band[static_cast<size_t>(g)])];
        const int c0 = cell.second - nFirst;
        const int c1 = std::min(c0 + std::max(first.nColumnSpan, 1), cols.Count()) - 1;
        const int nCellCx = c1 >= c0 ? cols.Span(c0, c1) : 0;
        const int r1 = first.nRow + std::max(first.nRowSpan, 1) - 1;
        const int nCellCy = shown(cell.first) ? spanCy(first.nRow, r1) : 0;
        // Alone, a field, list or button fills its cell; buttons sharing one
        // share its width; anything else keeps its own width, at the left.
        std::vector<int> widths;
        for (size_t i : members) widths.push_back(natural[i].cx);
        const bool bButtons =
            std::all_of(members.begin(), members.end(), [&](size_t i) { return ctls[i].eKind == EControl::Button; });
        if (members.size() == 1 && Stretches(first.eKind)) {
            widths[0] = std::max(widths[0], nCellCx);
        } else if (bButtons) {
            std::vector<size_t> all(widths.size());
            for (size_t k = 0; k < all.size(); ++k) all[k] = k;
            SpreadEvenly(widths, all, nCellCx - cellCx(members));
        }
        int x = c0 < cols.Count() ? lefts[static_cast<size_t>(c0)] : kMargin;
        for (size_t k = 0; k < members.size(); ++k) {
            const size_t i = members[k];
            SDluRect& rc = layout.rects[i];
            rc.cx = widths[k];
            rc.cy = natural[i].cy;
            if (members.size() == 1 && ctls[i].eKind == EControl::ListView) rc.cy = std::max(rc.cy, nCellCy);
            rc.x = x;
            // Small controls beside a tall one keep to the top line.
            const int nLine = nCellCy > 2 * kRowHeight ? kRowHeight : nCellCy;
            rc.y = rowY[static_cast<size_t>(cell.first)] + std::max(0, (nLine - rc.cy) / 2);
            if (nCellCy == 0) rc.cy = 0;
            x += rc.cx + kInCellGap;
        }
    }
    // A group's frame is its cell: its edges line up with what spans the
    // same columns above or below it.
    for (size_t g : groups) {
        const auto& c = ctls[g];
        const int c1 = c.nColumn + std::max(c.nColumnSpan, 1) - 1;
        const int r1 = c.nRow + std::max(c.nRowSpan, 1) - 1;
        SDluRect& rc = layout.rects[g];
        rc.x = colX[static_cast<size_t>(c.nColumn)];
        rc.y = rowY[static_cast<size_t>(c.nRow)] - 11;
        rc.cx = window.Span(c.nColumn, c1);
        rc.cy = spanCy(c.nRow, r1) + 11 + 5;
    }

    // The button row: right-aligned; those before a stretch stay left.
    std::vector<size_t> buttons;
    for (size_t i = 0; i < ctls.size(); ++i)
        if (ctls[i].bButtonRow) buttons.push_back(i);
    int nButtonsCx = 0;
    for (size_t i : buttons)
        if (!ctls[i].bHidden) nButtonsCx += natural[i].cx + kButtonGap;
    int nClientCx = std::max(nGridRight, kMargin + nButtonsCx - kButtonGap) + kMargin;
    if (pDesign != nullptr) nClientCx = std::max(nClientCx, pDesign->cx);
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
    layout.cy = std::max({nBottom, 2 * kMargin, pDesign != nullptr ? pDesign->cy : 0});
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
    WriteHeader(w, dwStyle, bMainWindow ? WS_EX_APPWINDOW : 0, order.size(), layout.cx, layout.cy, desc.strTitle);

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
