// The Qt renderer of the utility's windows.
//
// A window is a description and its logic (logic/DialogDesc.h,
// logic/DialogLogic.h). CDialogBase(logic, services) builds the widgets
// from logic.Desc() with Qt layouts (no pixel geometry), attaches itself as
// the logic's IDialogView, calls OnInit before the window is first shown and
// forwards the user's actions to the logic by identifier:
//
//   CLanLogic logic(context);
//   CDialogBase dlg(logic, services);      // rendered, OnInit done
//   services.RunModal(dlg);                // or View().RunModal(child) from a logic
//
// The grid: a control's row and column; controls sharing a cell lie side by
// side; a group's frame holds the controls of the cells it covers; the
// button row goes right-aligned under the grid (a stretch where
// bStretchBefore asks for one). Radios are exclusive per nGroup.
//
// The window offers the accessors by identifier that the tests use.
//
// Rules the layer keeps for every window:
// - each identified control carries its identifier as object name ("1316")
//   and an accessible name (its caption or the label beside it), except a
//   label showing a value, whose text is what screen readers read (its
//   caption reaches them through the buddy relation);
// - handlers are bound to user actions only (clicked, activated,
//   textEdited, a row chosen): filling a control from code never runs them,
//   and a drop-down's handler runs only when the user picks another entry
//   than the one it showed (choosing the shown one again changes nothing);
// - every push button has autoDefault off and no window has a default
//   button, so Enter in a field never writes to the hub;
// - Message() lifts the wait cursor and hides the progress pop-up first and
//   goes through IDialogServices, which a test replaces with a recorder.
#pragma once
#include "utility/qt/DialogServices.h"
#include "utility/qt/Ipv4Edit.h"
#include "utility/logic/DialogLogic.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <set>
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
class QButtonGroup;
class QGridLayout;
class QTimer;

namespace vexal::utility {

class CDialogBase : public QDialog {
    Q_OBJECT
public:
    // Renders logic, which must outlive this window (or be let go first
    // with DetachLogic).
    CDialogBase(CDialogLogic& logic, IDialogServices& services, QWidget* pParent = nullptr);
    ~CDialogBase() override;

    int DialogId() const { return m_nDialogId; }
    // True while a library job this window waits on has not ended (its
    // outcome not shown yet).
    virtual bool IsBusy() const { return m_pLogic != nullptr && m_pLogic->IsBusy(); }
    IDialogServices& Services() const { return m_services; }
    // This window as its logic sees it.
    IDialogView& View() const;
    CDialogLogic* Logic() const { return m_pLogic; }
    // The logic stops seeing this window (its view becomes nullptr) and no
    // action reaches it any more.
    void DetachLogic();
    // The window rendering child as a modeless window of this one, or
    // nullptr when none is up.
    CDialogBase* ModelessWindow(const CDialogLogic& child) const;

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

    // Escape and the close button ask the logic first.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;
    void hideEvent(QHideEvent* pEvent) override;

private:
    class CView;
    friend class CView;

    // Builders: create, register under nId and return the control.
    QPushButton* MakeButton(int nId, const QString& strCaption, const QString& strAccessibleName = {});
    QRadioButton* MakeRadio(int nId, const QString& strCaption);
    QCheckBox* MakeCheck(int nId, const QString& strCaption);
    // A single-line text field that refuses control characters (a paste
    // holding one is dropped whole); a page's own validator replaces that.
    QLineEdit* MakeEdit(int nId, const QString& strAccessibleName);
    QComboBox* MakeCombo(int nId, const QString& strAccessibleName);
    // A label that shows a value: screen readers read its text, so it takes
    // no accessible name of its own; its label names it as its buddy.
    QLabel* MakeStatic(int nId, const QString& strText);
    QTreeWidget* MakeListView(int nId, const QStringList& columns, const QString& strAccessibleName);
    CIpv4Edit* MakeIpv4(int nId, const QString& strAccessibleName);
    QProgressBar* MakeProgressBar(int nId, const QString& strAccessibleName);
    QGroupBox* MakeGroup(const QString& strCaption);
    void Register(int nId, QWidget* pControl, const QString& strAccessibleName);

    // The user's actions on a control, by identifier.
    void OnClicked(int nId, std::function<void()> fnHandler);
    // The user picked another entry than the one shown.
    void OnActivated(int nId, std::function<void(int)> fnHandler);
    void OnTextEdited(int nId, std::function<void(const QString&)> fnHandler);
    // List views: the selected row changed (-1: none), whoever changed it;
    // a row was activated (double click, Enter).
    void OnRowSelected(int nId, std::function<void(int)> fnHandler);
    void OnRowActivated(int nId, std::function<void(int)> fnHandler);

    void Build(const SDialogDesc& desc);
    QWidget* MakeFromDesc(const SControlDesc& c);
    void BindToLogic(const SControlDesc& c);
    void StartTimer(int nTimerId, int nMs);
    void StopTimer(int nTimerId);
    void SetBusy(bool bBusy);
    int RunModal(CDialogLogic& child);
    void ShowModeless(CDialogLogic& child);
    void HideModeless(CDialogLogic& child);
    bool PrepareChild(CDialogLogic& child);
    void ReleaseChild(CDialogLogic& child);

    int m_nDialogId;
    IDialogServices& m_services;
    std::map<int, QWidget*> m_controls;
    std::vector<int> m_order;
    std::unique_ptr<CView> m_pView;
    CDialogLogic* m_pLogic = nullptr;
    bool m_bEscapeCloses = true;
    bool m_bPopup = false;                       // no caption: hidden before a message box
    std::map<int, QButtonGroup*> m_radioGroups;  // by nGroup
    std::map<int, QTimer*> m_timers;             // by timer id, children of this window
    std::set<int> m_wantedTimers;                // started by the logic; run while shown
    int m_nBusy = 0;
    std::unique_ptr<class CBusyGuard> m_pBusy;
    std::map<const CDialogLogic*, QPointer<CDialogBase>> m_modeless;
    std::map<const CDialogLogic*, QPointer<CDialogBase>> m_prepared;
};

}  // namespace vexal::utility
