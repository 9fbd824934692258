// The dialog layer every window of the utility is built on.
//
// A dialog (the main window, each settings page) derives from CDialogBase,
// builds its controls with the Make* functions (Qt layouts, no pixel
// geometry), and from then on addresses every control by its numeric
// identifier, so page code reads like the dialog's table:
//
//   class CLanPage : public CSettingsPage {           // see SettingsPage.h
//       CLanPage(...) : CSettingsPage(144, ...) {
//           auto* pIp = MakeIpv4(1316, tr("IP address"));
//           auto* pSet = MakeButton(1, tr("SET"));
//           grid->addWidget(MakeLabel(tr("IP address :"), pIp), 0, 0); ...
//           OnClicked(1, [this] { OnSet(); });          // user action only
//       }
//       void Fill() { SetIpv4(1316, {10, 0, 0, 5}); Enable(1317, false); }
//       void OnSet() { if (GetIpv4(1316)[0] == 0) { Message(tr("..."), EMsgIcon::Warning); return; } ... }
//   };
//
// Rules the layer keeps for every dialog:
// - each identified control carries its identifier as object name ("1316")
//   and an accessible name (its caption or the label beside it), except a
//   label showing a value, whose text is what screen readers read (its
//   caption reaches them through the buddy relation);
// - handlers are bound to user actions only (clicked, activated,
//   textEdited): filling a control from code never runs them, and a
//   drop-down's handler runs only when the user picks another entry than the
//   one it showed (choosing the shown one again changes nothing);
// - every push button has autoDefault off and no dialog has a default
//   button, so Enter in a field never writes to the hub;
// - Message() lifts the wait cursor and hides the progress pop-up first and
//   goes through IDialogServices, which a test replaces with a recorder.
#pragma once
#include "utility/DialogServices.h"
#include "utility/Ipv4Edit.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace vexal::utility {

class CDialogBase : public QDialog {
    Q_OBJECT
public:
    CDialogBase(int nDialogId, IDialogServices& services, QWidget* pParent = nullptr);

    int DialogId() const { return m_nDialogId; }
    // True while a library job this window waits on has not ended (its
    // outcome not shown yet).
    virtual bool IsBusy() const { return false; }
    IDialogServices& Services() const { return m_services; }

    // The control registered under nId, or nullptr.
    QWidget* Control(int nId) const;
    template <class T>
    T* ControlAs(int nId) const {
        return qobject_cast<T*>(Control(nId));
    }
    // Every identifier registered, in registration order.
    const std::vector<int>& ControlIds() const { return m_order; }

    // ---- By identifier (an unknown identifier or kind does nothing / gives
    // an empty value; the layer never crashes on a wrong id) ----
    // Text of an edit, label, button, check box, group box or the current
    // combo entry.
    QString GetText(int nId) const;
    void SetText(int nId, const QString& strText);
    // Radio buttons and check boxes.
    bool IsChecked(int nId) const;
    void SetCheck(int nId, bool bChecked);
    void Enable(int nId, bool bEnable);
    bool IsEnabled(int nId) const;  // the control's own state
    void Show(int nId, bool bShow);
    bool IsShown(int nId) const;  // not hidden explicitly
    // Drop-down lists.
    void ComboClear(int nId);
    void ComboAdd(int nId, const QString& strText);
    int ComboCount(int nId) const;
    int ComboIndex(int nId) const;  // -1 when none
    void ComboSelect(int nId, int nIndex);
    QString ComboItemText(int nId, int nIndex) const;
    // List views (rows of cells).
    void ListClear(int nId);
    int ListAddRow(int nId, const QStringList& cells);  // the new row's index
    int ListRowCount(int nId) const;
    QString ListCell(int nId, int nRow, int nColumn) const;
    int ListSelectedRow(int nId) const;  // -1 when none
    void ListSelectRow(int nId, int nRow);
    // IPv4 address fields.
    void SetIpv4(int nId, const Ipv4Octets& octets);
    Ipv4Octets GetIpv4(int nId) const;
    // Progress bars: nValue of 0..nMaximum.
    void SetProgress(int nId, int nValue, int nMaximum);
    int ProgressValue(int nId) const;  // -1 when none

    // A message box over this dialog, or over the nearest shown window it
    // belongs to while it is not shown itself, with the application's name as
    // caption. Lifts the wait cursor and hides the progress pop-up first.
    EMsgResult Message(const QString& strText, EMsgIcon eIcon, EMsgButtons eButtons = EMsgButtons::Ok);

protected:
    // Builders: create, register under nId and return the control.
    QPushButton* MakeButton(int nId, const QString& strCaption, const QString& strAccessibleName = {});
    QRadioButton* MakeRadio(int nId, const QString& strCaption);
    QCheckBox* MakeCheck(int nId, const QString& strCaption);
    // A single-line text field that refuses control characters (a paste
    // holding one is dropped whole); a page's own validator replaces that.
    QLineEdit* MakeEdit(int nId, const QString& strAccessibleName);
    QComboBox* MakeCombo(int nId, const QString& strAccessibleName);
    // A label that shows a value: screen readers read its text, so it takes
    // no accessible name of its own; MakeLabel(caption, it) names it.
    QLabel* MakeStatic(int nId, const QString& strText);
    QTreeWidget* MakeListView(int nId, const QStringList& columns, const QString& strAccessibleName);
    CIpv4Edit* MakeIpv4(int nId, const QString& strAccessibleName);
    QProgressBar* MakeProgressBar(int nId, const QString& strAccessibleName);
    QGroupBox* MakeGroup(const QString& strCaption);
    // A label (no identifier) that names pBuddy: mnemonic and screen readers
    // (a control without an accessible name takes the caption as its name; a
    // value label keeps its text and is named through the buddy relation).
    QLabel* MakeLabel(const QString& strText, QWidget* pBuddy);
    // Registers a control built elsewhere (e.g. from a .ui file).
    void Register(int nId, QWidget* pControl, const QString& strAccessibleName);

    // User-action bindings by identifier.
    void OnClicked(int nId, std::function<void()> fnHandler);
    // The user picked another entry than the one shown.
    void OnActivated(int nId, std::function<void(int)> fnHandler);
    void OnTextEdited(int nId, std::function<void(const QString&)> fnHandler);
    // List views: the selected row changed (-1: none), whoever changed it;
    // a row was activated (double click, Enter).
    void OnRowSelected(int nId, std::function<void(int)> fnHandler);
    void OnRowActivated(int nId, std::function<void(int)> fnHandler);

private:
    int m_nDialogId;
    IDialogServices& m_services;
    std::map<int, QWidget*> m_controls;
    std::vector<int> m_order;
};

}  // namespace vexal::utility
