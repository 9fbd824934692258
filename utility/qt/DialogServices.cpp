#include "utility/qt/DialogServices.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace vexal::utility {

EMsgResult CQtDialogServices::ShowMessage(QWidget* pParent, const SMessage& message) {
    QMessageBox box(pParent);
    box.setWindowTitle(message.strCaption);
    box.setText(message.strText);
    switch (message.eIcon) {
    case EMsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case EMsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case EMsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case EMsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (message.eButtons) {
    case EMsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case EMsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case EMsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel: return EMsgResult::Cancel;
    case QMessageBox::Yes: return EMsgResult::Yes;
    case QMessageBox::No: return EMsgResult::No;
    default: return message.eButtons == EMsgButtons::YesNo ? EMsgResult::No : EMsgResult::Ok;
    }
}

int CQtDialogServices::RunModal(QDialog& dlg) { return dlg.exec(); }

std::optional<QString> CQtDialogServices::ChooseFile(QWidget* pParent, const SFileChoice& choice) {
    QFileDialog dlg(pParent, QString::fromStdU16String(choice.strCaption));
    const bool bSave = choice.eAction == EFileAction::Save;
    dlg.setAcceptMode(bSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(bSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!choice.strPattern.empty())
        dlg.setNameFilters({QStringLiteral("%1 (%2)").arg(QString::fromStdU16String(choice.strFilterName),
                                                          QString::fromStdU16String(choice.strPattern)),
                            QFileDialog::tr("All files (*)")});
    if (!choice.strSuffix.empty()) dlg.setDefaultSuffix(QString::fromStdU16String(choice.strSuffix));
    if (!choice.strSuggested.empty()) dlg.selectFile(QString::fromStdU16String(choice.strSuggested));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().front();
}

}  // namespace vexal::utility
