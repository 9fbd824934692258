#include "utility/logic/PageLogic.h"

namespace vexal::utility {

void CPageLogic::AddPageButtons(SDialogSpec& spec) {
    spec.controls.push_back(RowButton(page_ids::kGet, u"GET"));
    spec.controls.back().bHidden = true;
    spec.controls.push_back(RowButton(page_ids::kSet, u"SET"));
    spec.controls.push_back(RowButton(page_ids::kDefault, u"Default Setting"));
    spec.controls.back().bHidden = true;
    spec.controls.push_back(RowButton(page_ids::kClose, u"Close"));
    spec.controls.back().bStretchBefore = true;
}

void CPageLogic::AddHiddenInactivityRow(SDialogSpec& spec, int nRow, int nId) {
    SControlSpec edit = Ctl(EControl::Edit, nId, u"Inactivity Time (sec)", nRow, 1);
    edit.eInput = EInput::Digits;
    edit.nMaxLength = 5;
    edit.bHidden = true;
    SControlSpec label = LabelFor(nId, u"Inactivity Time (sec) :", nRow, 0);
    label.bHidden = true;
    SControlSpec hint = Ctl(EControl::Label, 0, u"sec (Default : 0)", nRow, 2);
    hint.bHidden = true;
    spec.controls.push_back(std::move(label));
    spec.controls.push_back(std::move(edit));
    spec.controls.push_back(std::move(hint));
}

}  // namespace vexal::utility
