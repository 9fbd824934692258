// Message boxes, modal runs and file choices of every dialog go through this
// one interface, so that a test can answer them (tests/utility/support:
// CRecordingServices).
//
// A page never calls QMessageBox or QDialog::exec itself: it calls
// CDialogBase::Message(...) and Services().RunModal(dialog), which end here.
#pragma once
#include "utility/logic/DialogView.h"

#include <QString>

#include <optional>

class QDialog;
class QWidget;

namespace vexal::utility {

// The message kinds and the file choice are the logic's (DialogView.h); a
// message box as Qt shows it:
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
    // Asks for a file to open or save (a save over an existing file is
    // confirmed there); nothing when the user cancelled.
    virtual std::optional<QString> ChooseFile(QWidget* pParent, const SFileChoice& choice) = 0;
};

// The real thing: QMessageBox, QDialog::exec and QFileDialog.
class CQtDialogServices final : public IDialogServices {
public:
    EMsgResult ShowMessage(QWidget* pParent, const SMessage& message) override;
    int RunModal(QDialog& dlg) override;
    std::optional<QString> ChooseFile(QWidget* pParent, const SFileChoice& choice) override;
};

}  // namespace vexal::utility
