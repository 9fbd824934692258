#include "utility/logic/PageLogic.h"

namespace vexal::utility {

void CPageLogic::AddPageButtons(SDialogDesc& desc) {
    desc.controls.push_back(RowButton(page_ids::kGet, u"GET"));
    desc.controls.back().bHidden = true;
    desc.controls.push_back(RowButton(page_ids::kSet, u"SET"));
    desc.controls.push_back(RowButton(page_ids::kDefault, u"Default Setting"));
    desc.controls.back().bHidden = true;
    desc.controls.push_back(RowButton(page_ids::kClose, u"Close"));
    desc.controls.back().bStretchBefore = true;
}

void CPageLogic::AddHiddenInactivityRow(SDialogDesc& desc, int nRow, int nId) {
    SControlDesc edit = Ctl(EControl::Edit, nId, u"Inactivity Time (sec)", nRow, 1);
    edit.eInput = EInput::Digits;
    edit.nMaxLength = 5;
    edit.bHidden = true;
    SControlDesc label = LabelFor(nId, u"Inactivity Time (sec) :", nRow, 0);
    label.bHidden = true;
    SControlDesc hint = Ctl(EControl::Label, 0, u"sec (Default : 0)", nRow, 2);
    hint.bHidden = true;
    desc.controls.push_back(std::move(label));
    desc.controls.push_back(std::move(edit));
    desc.controls.push_back(std::move(hint));
}

}  // namespace vexal::utility
