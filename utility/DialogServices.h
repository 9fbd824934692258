// Message boxes and modal runs of every dialog go through this one interface,
// so that a test can answer them (tests/utility/support: CRecordingServices).
//
// A page never calls QMessageBox or QDialog::exec itself: it calls
// CDialogBase::Message(...) and Services().RunModal(dialog), which end here.
#pragma once
#include <QString>

class QDialog;
class QWidget;

namespace vexal::utility {

enum class EMsgIcon { Information, Warning, Critical, Question };
enum class EMsgButtons { Ok, OkCancel, YesNo };
enum class EMsgResult { Ok, Cancel, Yes, No };

struct SMessage {
    QString strText;
    EMsgIcon eIcon = EMsgIcon::Information;
    EMsgButtons eButtons = EMsgButtons::Ok;
    QString strCaption;
};

class IDialogServices {
public:
    virtual ~IDialogServices() = default;
    // Shows a message box over pParent and returns the button chosen.
    virtual EMsgResult ShowMessage(QWidget* pParent, const SMessage& message) = 0;
    // Runs dlg modally and returns its result (QDialog::Accepted or Rejected).
    virtual int RunModal(QDialog& dlg) = 0;
};

// The real thing: QMessageBox and QDialog::exec.
class CQtDialogServices final : public IDialogServices {
public:
    EMsgResult ShowMessage(QWidget* pParent, const SMessage& message) override;
    int RunModal(QDialog& dlg) override;
};

}  // namespace vexal::utility
