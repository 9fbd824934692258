// What a window's logic sees of its window: controls addressed by
// identifier, message boxes, modal and modeless child windows, timers and the
// busy state. A renderer implements it (CDialogBase for Qt, CWin32Dialog on
// Windows); tests of the logic use a plain recorder.
//
// Every member is called on the thread that owns the windows. An unknown
// identifier or a call that does not fit the control's kind does nothing or
// gives an empty value: the view never crashes on a wrong id.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexal::utility {

class CDialogLogic;

using Ipv4Octets = std::array<uint8_t, 4>;

enum class EMsgIcon { Information, Warning, Critical, Question };
enum class EMsgButtons { Ok, OkCancel, YesNo };
enum class EMsgResult { Ok, Cancel, Yes, No };

enum class EFileAction { Open, Save };

struct SFileChoice {
    EFileAction eAction = EFileAction::Open;
    std::u16string strCaption;
    std::u16string strSuggested;   // the file a save starts from
    std::u16string strFilterName;  // "Vexal hub settings"
    std::u16string strPattern;     // "*.json"
    std::u16string strSuffix;      // added to a saved name given without one ("json")
};

// A modal run's results.
inline constexpr int kRejected = 0;
inline constexpr int kAccepted = 1;

class IDialogView {
public:
    virtual ~IDialogView() = default;

    // ---- Controls ----
    // Text of an edit, label, value, button, check box, group or the current
    // combo entry.
    virtual std::u16string GetText(int nId) const = 0;
    virtual void SetText(int nId, const std::u16string& strText) = 0;
    virtual bool IsChecked(int nId) const = 0;  // radios, check boxes
    virtual void SetCheck(int nId, bool bChecked) = 0;
    virtual void Enable(int nId, bool bEnable) = 0;
    virtual bool IsEnabled(int nId) const = 0;  // the control's own state
    virtual void Show(int nId, bool bShow) = 0;
    virtual bool IsShown(int nId) const = 0;  // not hidden explicitly
    virtual void Focus(int nId) = 0;
    virtual void ComboClear(int nId) = 0;
    virtual void ComboAdd(int nId, const std::u16string& strText) = 0;
    virtual int ComboCount(int nId) const = 0;
    virtual int ComboIndex(int nId) const = 0;  // -1 when none
    virtual void ComboSelect(int nId, int nIndex) = 0;
    virtual std::u16string ComboItemText(int nId, int nIndex) const = 0;
    virtual void ListClear(int nId) = 0;
    virtual int ListAddRow(int nId, const std::vector<std::u16string>& cells) = 0;  // the new row's index
    virtual int ListRowCount(int nId) const = 0;
    virtual std::u16string ListCell(int nId, int nRow, int nColumn) const = 0;
    virtual int ListSelectedRow(int nId) const = 0;  // -1 when none
    virtual void ListSelectRow(int nId, int nRow) = 0;
    virtual void SetIpv4(int nId, const Ipv4Octets& octets) = 0;
    virtual Ipv4Octets GetIpv4(int nId) const = 0;
    virtual void SetProgress(int nId, int nValue, int nMaximum) = 0;  // 0..nMaximum
    virtual int ProgressValue(int nId) const = 0;                     // -1 when none

    // ---- The window ----
    virtual void SetTitle(const std::u16string& strTitle) = 0;
    virtual bool IsVisible() const = 0;
    // Ends the window's modal run (or hides a modeless one) with nResult.
    virtual void Close(int nResult) = 0;
    // While busy the window takes no input and shows the wait cursor; the
    // focus returns where it was when it ends. Calls nest.
    virtual void SetBusy(bool bBusy) = 0;
    // Calls the logic's OnTimer(nTimerId) every nMs until stopped; a timer
    // runs only while the window exists.
    virtual void StartTimer(int nTimerId, int nMs) = 0;
    virtual void StopTimer(int nTimerId) = 0;

    // A message box over this window (or the nearest shown window it belongs
    // to), with the application's name as caption. Lifts the wait cursor and
    // hides the progress pop-up first.
    virtual EMsgResult Message(const std::u16string& strText, EMsgIcon eIcon,
                               EMsgButtons eButtons = EMsgButtons::Ok) = 0;
    // Renders child as a window owned by this one and runs it modally;
    // returns the result it closed with. child outlives the call.
    virtual int RunModal(CDialogLogic& child) = 0;
    // Renders child as a window owned by this one without showing it, so that
    // its logic can fill it first (a settings page reads the hub before it is
    // shown); OnInit runs here. A later RunModal(child) runs that window, and
    // releases it when the run ends; ReleaseChild (or this window's end)
    // releases one that is never run. child must outlive its window. False
    // when the window could not be made: child then has no view.
    virtual bool PrepareChild(CDialogLogic& child) = 0;
    virtual void ReleaseChild(CDialogLogic& child) = 0;
    // Shows child as a modeless window owned by this one (it stays rendered
    // until HideModeless or this window's end); child must outlive that.
    virtual void ShowModeless(CDialogLogic& child) = 0;
    virtual void HideModeless(CDialogLogic& child) = 0;
    // Asks for a file (a save over an existing file is confirmed there);
    // nothing when the user cancelled. The path is UTF-8.
    virtual std::optional<std::string> ChooseFile(const SFileChoice& choice) = 0;
};

// A view that takes everything, shows nothing and answers a question with
// its cautious choice: what a logic without a window talks to, and a base for
// views that record some calls (tests).
class CNoView : public IDialogView {
public:
    std::u16string GetText(int) const override { return {}; }
    void SetText(int, const std::u16string&) override {}
    bool IsChecked(int) const override { return false; }
    void SetCheck(int, bool) override {}
    void Enable(int, bool) override {}
    bool IsEnabled(int) const override { return false; }
    void Show(int, bool) override {}
    bool IsShown(int) const override { return false; }
    void Focus(int) override {}
    void ComboClear(int) override {}
    void ComboAdd(int, const std::u16string&) override {}
    int ComboCount(int) const override { return 0; }
    int ComboIndex(int) const override { return -1; }
    void ComboSelect(int, int) override {}
    std::u16string ComboItemText(int, int) const override { return {}; }
    void ListClear(int) override {}
    int ListAddRow(int, const std::vector<std::u16string>&) override { return -1; }
    int ListRowCount(int) const override { return 0; }
    std::u16string ListCell(int, int, int) const override { return {}; }
    int ListSelectedRow(int) const override { return -1; }
    void ListSelectRow(int, int) override {}
    void SetIpv4(int, const Ipv4Octets&) override {}
    Ipv4Octets GetIpv4(int) const override { return {}; }
    void SetProgress(int, int, int) override {}
    int ProgressValue(int) const override { return -1; }
    void SetTitle(const std::u16string&) override {}
    bool IsVisible() const override { return false; }
    void Close(int) override {}
    void SetBusy(bool) override {}
    void StartTimer(int, int) override {}
    void StopTimer(int) override {}
    EMsgResult Message(const std::u16string&, EMsgIcon, EMsgButtons eButtons) override {
        switch (eButtons) {
        case EMsgButtons::Ok: return EMsgResult::Ok;
        case EMsgButtons::OkCancel: return EMsgResult::Cancel;
        case EMsgButtons::YesNo: return EMsgResult::No;
        }
        return EMsgResult::Cancel;
    }
    int RunModal(CDialogLogic&) override { return kRejected; }
    bool PrepareChild(CDialogLogic&) override { return false; }
    void ReleaseChild(CDialogLogic&) override {}
    void ShowModeless(CDialogLogic&) override {}
    void HideModeless(CDialogLogic&) override {}
    std::optional<std::string> ChooseFile(const SFileChoice&) override { return std::nullopt; }
};

}  // namespace vexal::utility
