// A settings page bound to one group of the settings model. Each control
// whose description names a key (SControlDesc::strKey) shows that key's
// value and gives it back for a write, held to the key's rules:
//   - an edit shows the key's text; while the user types, a text over the
//     key's limit is refused ("Maximum length is N") and the text shown
//     before is put back;
//   - an address field shows the key's address.
// The page reads the group through the session. What is truly a page's own
// stays in it: lists that follow a choice, radio pairs of a byte that may
// have no name, the calls its SET makes and the words of its messages.
#pragma once
#include "model/Settings.h"
#include "model/TextFields.h"
#include "utility/logic/PageLogic.h"

#include <functional>
#include <optional>
#include <string>

namespace vexal::utility {

class CGroupPage : public CPageLogic {
public:
    void OnTextEdited(int nId, const std::u16string& strText) override;

protected:
    // Held() starts as the group's default value, so it is a value of the
    // group even before a read.
    CGroupPage(const SPageContext& context, const model::SGroupDef& group)
        : CPageLogic(context), m_group(group), m_held(*model::MakeGroupValue(group.strName)) {}

    // Reads the group on the library thread; fnDone(true) follows once
    // Held() holds it, fnDone(false) after ReadFailed(call) told the user
    // (or when the job did not run).
    void ReadGroup(std::function<void(bool)> fnDone);
    // The page's words for a read that failed at the call named (nullptr: no call's).
    virtual void ReadFailed(const char* pszCall) = 0;

    // The group as the hub last gave it (or took it, SetHeld).
    template <class T>
    const T& Held() const {
        return std::get<T>(m_held);
    }
    void SetHeld(model::CGroupValue value) { m_held = std::move(value); }

    // Fills the keyed controls of the keys in values; those values are put
    // back on a refused edit from now on (KeepValues).
    void ShowValues(const model::GroupValues& values);
    // The keyed controls' values (read-only keys left out).
    model::GroupValues TakeValues() const;
    void KeepValues(const model::GroupValues& values);

    // The key's rule on the text of control nId: the first problem.
    model::ETextProblem TextProblem(int nId) const;
    // False, once the user was told "<name> : Minimum length is N", when the
    // text of control nId is shorter than its key allows; bPutBack then puts
    // the kept text back.
    bool CheckMinimum(int nId, bool bPutBack);
    void TellMinimum(int nId, bool bPutBack);

private:
    const SControlDesc* KeyedControl(int nId) const;
    const model::SKeyDef* KeyOf(int nId) const;
    void PutBack(int nId);

    const model::SGroupDef& m_group;
    model::CGroupValue m_held;
    model::GroupValues m_kept;
};

}  // namespace vexal::utility
