// A window of the utility described as data: its controls, each with its
// identifier, kind, caption, place in a grid and limits. Both renderers (Qt
// widgets on Linux, Win32 dialog templates on Windows) build the window from
// this and nothing else, so a page's look is written once.
//
// Layout: the window is a grid of rows and columns. Controls that share one
// cell are laid side by side in it (a radio pair, an address field and its
// port). A label names the control given as its buddy (mnemonic and screen
// readers); an '&' in a caption marks the mnemonic. The window's button row
// is the controls whose bButtonRow is set, laid out right-aligned under the
// grid in their order. Sizes are in average character widths, so each
// renderer turns them into its own units (pixels from the font's metrics,
// dialog units).
#pragma once
#include <string>
#include <vector>

namespace vexal::utility {

enum class EControl {
    Label,     // caption text, no identifier needed (nId 0), names nBuddy
    Value,     // a label showing a value (read by screen readers as its text)
    Edit,      // single-line text field
    Button,    // push button
    Radio,     // radio button; exclusive among those of the same nGroup
    Check,     // check box
    Combo,     // drop-down list (no typing)
    ListView,  // rows of cells with column headers, single selection
    Ipv4,      // four-octet address field
    Progress,  // progress bar
    Group,     // a framed group whose caption spans the cells it covers
    // A list of entries always shown open, single choice, none chosen at
    // start, at least as wide as its longest entry. The Combo* calls address
    // it. A user's pick (a click, also on the entry already chosen, or a key
    // that moves the choice) calls OnActivated; focus alone chooses nothing.
    ListBox,
};

// What an edit accepts as the user types (a paste holding anything else is
// dropped whole). Control characters are never accepted.
enum class EInput {
    Text,       // any printable character
    Digits,     // 0-9 only
    HexDigits,  // 0-9, a-f, A-F
};

struct SControlDesc {
    int nId = 0;  // 0 only for labels and groups
    EControl eKind = EControl::Label;
    std::u16string strCaption;  // a button's or label's text; a list view's or edit's accessible name
    int nRow = 0;
    int nColumn = 0;
    int nRowSpan = 1;
    int nColumnSpan = 1;
    int nBuddy = 0;  // labels: the control named
    int nGroup = 0;  // radios: exclusive group
    // Edits: the longest text (0: no limit) and the characters accepted;
    // a minimum width in average characters for any control (0: natural).
    int nMaxLength = 0;
    EInput eInput = EInput::Text;
    int nWidthChars = 0;
    int nHeightLines = 0;  // list views: rows visible without scrolling (0: natural)
    bool bReadOnly = false;
    bool bPassword = false;
    bool bHidden = false;    // not shown at start
    bool bDisabled = false;  // disabled at start
    bool bButtonRow = false;
    bool bStretchBefore = false;          // button row: pushed to the right, apart from those before
    std::vector<std::u16string> columns;  // list views: column headers
    std::vector<int> columnWidths;        // list views: widths in average characters (0: fit)
    // Screen readers' name when the caption alone does not say what the
    // control is (a "Disable" radio of the row "TELNET"); empty: the caption.
    std::u16string strAccessibleName;
    bool bCentred = false;          // list views: headers and cells centred; labels, values: text centred
    int nRowExtraPixels = 0;        // list views: added to each row's natural height (pixels at 96 dpi)
    std::u16string strPlaceholder;  // edits: the hint shown while empty
    bool bWordWrap = false;         // labels, values: long text wraps at the window's width
    bool bStretchColumn = false;    // the control's grid column takes the window's spare width
    // The settings model's key the control shows (an edit's text, an address
    // field's octets) on a page of one group (pages/GroupPage.h); empty: none.
    std::string strKey;
};

struct SDialogDesc {
    int nId = 0;
    std::u16string strTitle;
    std::vector<SControlDesc> controls;
    // The progress pop-up: no title bar, no close button, and while shown no
    // other window of the program takes input.
    bool bNoCaption = false;
    bool bEscapeCloses = true;
};

// Builders that keep the page tables short.
inline SControlDesc Ctl(EControl eKind, int nId, std::u16string strCaption, int nRow, int nColumn) {
    SControlDesc c;
    c.eKind = eKind;
    c.nId = nId;
    c.strCaption = std::move(strCaption);
    c.nRow = nRow;
    c.nColumn = nColumn;
    return c;
}
inline SControlDesc LabelFor(int nBuddy, std::u16string strCaption, int nRow, int nColumn) {
    SControlDesc c = Ctl(EControl::Label, 0, std::move(strCaption), nRow, nColumn);
    c.nBuddy = nBuddy;
    return c;
}
// A control showing the model key strKey.
inline SControlDesc KeyCtl(EControl eKind, int nId, std::u16string strCaption, int nRow, int nColumn,
                           std::string strKey) {
    SControlDesc c = Ctl(eKind, nId, std::move(strCaption), nRow, nColumn);
    c.strKey = std::move(strKey);
    return c;
}
inline SControlDesc RowButton(int nId, std::u16string strCaption) {
    SControlDesc c = Ctl(EControl::Button, nId, std::move(strCaption), 0, 0);
    c.bButtonRow = true;
    return c;
}

// The control of the description with identifier nId, or nullptr.
const SControlDesc* FindControl(const SDialogDesc& desc, int nId);

}  // namespace vexal::utility
