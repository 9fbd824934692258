#include "utility/pages/GroupPage.h"

#include "model/Address.h"
#include "model/HubText.h"
#include "utility/logic/Text.h"
#include "utility/pages/PageLists.h"

namespace vexal::utility {

void CGroupPage::ReadGroup(std::function<void(bool)> fnDone) {
    struct SRead {
        std::optional<model::CGroupValue> value;  // none when the read failed
        const char* pszCall = nullptr;            // the call that failed
    };
    client::CHubSession& session = Session();
    const std::string strGroup = m_group.strName;
    StartJob<SRead>(
        Jobs(),
        [&session, strGroup] {
            SRead read;
            model::CGroupValue value = *model::MakeGroupValue(strGroup);
            if (session.ReadGroup(strGroup, 0, value))
                read.value = std::move(value);
            else
                read.pszCall = session.ErrorCall();
            return read;
        },
        [this, fnDone](SRead read) {
            if (!read.value) {
                ReadFailed(read.pszCall);
                fnDone(false);
                return;
            }
            m_held = std::move(*read.value);
            fnDone(true);
        },
        NotDone(fnDone));
}

const SControlDesc* CGroupPage::KeyedControl(int nId) const {
    const SControlDesc* pControl = FindControl(Desc(), nId);
    return pControl != nullptr && !pControl->strKey.empty() ? pControl : nullptr;
}

const model::SKeyDef* CGroupPage::KeyOf(int nId) const {
    const SControlDesc* pControl = KeyedControl(nId);
    return pControl != nullptr ? m_group.Find(pControl->strKey) : nullptr;
}

void CGroupPage::ShowValues(const model::GroupValues& values) {
    for (const SControlDesc& control : Desc().controls) {
        const auto it = control.strKey.empty() ? values.end() : values.find(control.strKey);
        if (it == values.end()) continue;
        if (control.eKind == EControl::Ipv4)
            SetIpv4(control.nId, model::ParseIpv4(it->second).value_or(Ipv4Octets{}));
        else
            SetText(control.nId, Utf8ToU16(it->second));
    }
    KeepValues(values);
}

model::GroupValues CGroupPage::TakeValues() const {
    model::GroupValues values;
    for (const SControlDesc& control : Desc().controls) {
        const model::SKeyDef* pKey = control.strKey.empty() ? nullptr : m_group.Find(control.strKey);
        if (pKey == nullptr || pKey->bReadOnly) continue;
        values[control.strKey] =
            control.eKind == EControl::Ipv4 ? model::FormatIpv4(GetIpv4(control.nId)) : U16ToUtf8(GetText(control.nId));
    }
    return values;
}

void CGroupPage::KeepValues(const model::GroupValues& values) {
    for (const auto& [strKey, strValue] : values) m_kept[strKey] = strValue;
}

void CGroupPage::PutBack(int nId) {
    if (const SControlDesc* pControl = KeyedControl(nId)) SetText(nId, Utf8ToU16(m_kept[pControl->strKey]));
}

void CGroupPage::OnTextEdited(int nId, const std::u16string& strText) {
    const model::SKeyDef* pKey = KeyOf(nId);
    if (pKey == nullptr || !pKey->eText || !model::IsOverLong(*pKey->eText, strText)) return;
    Message(Latin1ToU16(MaximumLengthText(model::MaxHubBytes(*pKey->eText))), EMsgIcon::Warning);
    PutBack(nId);
}

model::ETextProblem CGroupPage::TextProblem(int nId) const {
    const model::SKeyDef* pKey = KeyOf(nId);
    return pKey != nullptr && pKey->eText ? model::CheckHubText(*pKey->eText, GetText(nId)) : model::ETextProblem::None;
}

bool CGroupPage::CheckMinimum(int nId, bool bPutBack) {
    const model::SKeyDef* pKey = KeyOf(nId);
    if (pKey == nullptr || !pKey->eText || model::HubByteLength(GetText(nId)) >= model::MinHubBytes(*pKey->eText))
        return true;
    TellMinimum(nId, bPutBack);
    return false;
}

void CGroupPage::TellMinimum(int nId, bool bPutBack) {
    const model::SKeyDef* pKey = KeyOf(nId);
    if (pKey == nullptr || !pKey->eText) return;
    Message(KeyedControl(nId)->strCaption + u" : Minimum length is " +
                NumberText(static_cast<long long>(model::MinHubBytes(*pKey->eText))),
            EMsgIcon::Warning);
    if (bPutBack) PutBack(nId);
}

}  // namespace vexal::utility
