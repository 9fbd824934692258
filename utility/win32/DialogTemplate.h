// A window description turned into an in-memory dialog template
// (DLGTEMPLATEEX and its items), laid out in dialog units from the grid.
// What the dialog manager cannot say in a template (edit limits, list
// columns, hidden and disabled controls) is applied after WM_INITDIALOG.
#pragma once
#include "utility/logic/DialogDesc.h"

#include <cstdint>
#include <vector>

namespace vexal::utility::win32 {

// A control's place in dialog units.
struct SDluRect {
    int x = 0, y = 0, cx = 0, cy = 0;
};

struct SLayout {
    std::vector<SDluRect> rects;  // one per control of the description, in its order (hidden rows: height 0)
    int cx = 0, cy = 0;           // the client area
};

// Places every control: column widths from the widest cell (captions as
// the dialog's font draws them, nWidthChars), spare width to the columns
// that stretch, else to those of fields and lists, else evenly; a field,
// list or button alone in a cell fills it, buttons sharing one share it;
// each group a grid of its own inside a frame that fills its cells (stacked
// groups with as many columns share theirs); the button row right-aligned
// under the grid. A window drawn for a size of its own keeps that size where
// its contents fit in it.
SLayout LayOut(const SDialogDesc& desc);

// The order controls take in the template, which is also the tab order and
// the order mnemonics follow: the description's order, a label just before the
// control it names, the radios of one group together.
std::vector<size_t> TemplateOrder(const SDialogDesc& desc);

// The template, DWORD-aligned, ready for DialogBoxIndirectParamW and
// CreateDialogIndirectParamW ("MS Shell Dlg", 8 points).
std::vector<uint16_t> BuildTemplate(const SDialogDesc& desc, bool bMainWindow);

}  // namespace vexal::utility::win32
