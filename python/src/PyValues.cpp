#include "PyValues.h"

#include "model/Settings.h"

#include <pybind11/stl.h>

#include <stdexcept>

namespace vexal::python {

namespace {

// The Python class of each group, in the model's order of groups.
struct SGroupClass {
    const char* pszGroup;
    const char* pszClass;
};
constexpr SGroupClass kGroupClasses[] = {{"bluetooth", "Bluetooth"}, {"lan", "Lan"},     {"wlan", "Wlan"},
                                         {"netproto", "NetProto"},   {"usage", "Usage"}, {"serial", "SerialLine"}};
constexpr size_t kGroupClassCount = sizeof(kGroupClasses) / sizeof(kGroupClasses[0]);

// One C++ type per Python class: pybind11 maps each type to one class, and
// finds the most derived one of a value through its dynamic type.
template <size_t N>
class CPyGroupValueOf final : public CPyGroupValue {};

template <size_t... N>
std::unique_ptr<CPyGroupValue> NewOfIndex(size_t nIndex, std::index_sequence<N...>) {
    std::unique_ptr<CPyGroupValue> p;
    ((nIndex == N ? (p = std::make_unique<CPyGroupValueOf<N>>(), 0) : 0), ...);
    return p;
}

size_t ClassIndex(const model::SGroupDef& group) {
    for (size_t i = 0; i < kGroupClassCount; ++i)
        if (group.strName == kGroupClasses[i].pszGroup) return i;
    throw std::logic_error("no Python class for group " + group.strName);
}

const char* ClassName(const model::SGroupDef& group) { return kGroupClasses[ClassIndex(group)].pszClass; }

const char* KindName(model::EKeyKind eKind) {
    switch (eKind) {
    case model::EKeyKind::Bool: return "bool";
    case model::EKeyKind::Int: return "int";
    case model::EKeyKind::Choice: return "choice";
    case model::EKeyKind::IPv4: return "ipv4";
    case model::EKeyKind::Text: return "text";
    }
    return "text";
}

std::string Lower(std::string str) {
    for (auto& c : str) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return str;
}

std::unique_ptr<CPyGroupValue> Construct(const model::SGroupDef& group, const py::kwargs& kwargs) {
    model::GroupValues values;
    for (const auto& key : group.vecKeys)
        if (key.bReadOnly) values[key.strName] = "";
    std::vector<std::string> vecGiven = Assignments(kwargs);
    for (const auto& strArg : vecGiven) {
        const size_t nEq = strArg.find('=');
        const std::string strKey = Lower(strArg.substr(0, nEq));
        const model::SKeyDef* pKey = group.Find(strKey);
        if (pKey == nullptr) throw std::invalid_argument(group.strName + ": unknown key '" + strKey + "'");
        std::string strError;
        auto canonical = model::CanonicalValue(*pKey, strArg.substr(nEq + 1), strError);
        if (!canonical) throw std::invalid_argument(group.strName + " " + strError);
        values[strKey] = *canonical;
    }
    if (const std::string strError = model::ValidateGroup(group, values); !strError.empty())
        throw std::invalid_argument(strError);
    return NewValueObject(group, std::move(values));
}

std::string Repr(const CPyGroupValue& v) {
    std::string str = std::string(ClassName(*v.m_pGroup)) + "(";
    bool bFirst = true;
    for (const auto& key : v.m_pGroup->vecKeys) {
        const auto it = v.m_values.find(key.strName);
        if (it == v.m_values.end()) continue;
        // What a log line of the value shows: never a secret.
        const py::object shown = key.bSecret ? py::str(model::MaskedValue(key, it->second))
                                             : KeyValueToPython(*v.m_pGroup, key.strName, it->second);
        str += (bFirst ? "" : ", ") + key.strName + "=" + std::string(py::repr(shown));
        bFirst = false;
    }
    return str + ")";
}

py::dict AsDict(const CPyGroupValue& v) {
    py::dict dict;
    for (const auto& key : v.m_pGroup->vecKeys)
        if (const auto it = v.m_values.find(key.strName); it != v.m_values.end())
            dict[py::str(key.strName)] = KeyValueToPython(*v.m_pGroup, key.strName, it->second);
    return dict;
}

py::list GroupList() {
    py::list groups;
    for (const auto& group : model::SettingGroups()) {
        py::list keys;
        for (const auto& key : group.vecKeys)
            keys.append(py::dict(py::arg("name") = key.strName, py::arg("kind") = KindName(key.eKind),
                                 py::arg("read_only") = key.bReadOnly, py::arg("per_hub") = key.bPerHub,
                                 py::arg("secret") = key.bSecret, py::arg("choices") = key.vecChoices,
                                 py::arg("help") = key.strHelp));
        groups.append(py::dict(py::arg("name") = group.strName, py::arg("class_name") = ClassName(group),
                               py::arg("title") = group.strTitle, py::arg("keys") = keys));
    }
    return groups;
}

template <size_t N>
void BindGroupClass(py::module_& m) {
    const model::SGroupDef& group = *model::FindGroup(kGroupClasses[N].pszGroup);
    const std::string strDoc = group.strTitle + " (group \"" + group.strName +
                               "\"), as the hub holds them.\n\nRead it from a Hub; make a changed copy with "
                               "replace(key=value, ...), which checks the values as the command-line tool does, or "
                               "build a complete one with " +
                               ClassName(group) + "(key=value, ...). Keys: ";
    std::string strKeys;
    for (const auto& key : group.vecKeys) strKeys += (strKeys.empty() ? "" : ", ") + key.strName;
    py::class_<CPyGroupValueOf<N>, CPyGroupValue> cls(m, kGroupClasses[N].pszClass);
    cls.attr("__doc__") = strDoc + strKeys + ".";
    cls.def(py::init([&group](const py::kwargs& kwargs) {
                auto p = Construct(group, kwargs);
                return std::unique_ptr<CPyGroupValueOf<N>>(static_cast<CPyGroupValueOf<N>*>(p.release()));
            }),
            "A complete value: every key but the read-only ones given, each checked, then the group's rules.");
    for (const auto& key : group.vecKeys) {
        const std::string* pstrKey = &key.strName;
        cls.def_property_readonly(
            key.strName.c_str(),
            [pstrKey](const CPyGroupValue& v) {
                const auto it = v.m_values.find(*pstrKey);
                return KeyValueToPython(*v.m_pGroup, *pstrKey, it == v.m_values.end() ? std::string() : it->second);
            },
            key.strHelp.c_str());
    }
}

template <size_t... N>
void BindGroupClasses(py::module_& m, std::index_sequence<N...>) {
    (BindGroupClass<N>(m), ...);
}

}  // namespace

std::unique_ptr<CPyGroupValue> NewValueObject(const model::SGroupDef& group, model::GroupValues values) {
    auto p = NewOfIndex(ClassIndex(group), std::make_index_sequence<kGroupClassCount>());
    p->m_pGroup = &group;
    p->m_values = std::move(values);
    return p;
}

py::object KeyValueToPython(const model::SGroupDef& group, const std::string& strKey, const std::string& strText) {
    const nlohmann::json one = model::GroupToJson(group, {{strKey, strText}});
    return one.contains(strKey) ? JsonToPython(one.at(strKey)) : py::str(strText);
}

std::vector<std::string> Assignments(const py::handle& mapping) {
    std::vector<std::string> vecArgs;
    const py::dict dict(py::reinterpret_borrow<py::object>(mapping));
    for (const auto& item : dict) {
        const std::string strKey = py::str(item.first);
        const py::handle value = item.second;
        std::string strText;
        if (py::isinstance<py::bool_>(value))
            strText = value.cast<bool>() ? "on" : "off";
        else if (py::isinstance<py::int_>(value))
            strText = std::string(py::str(value));
        else if (py::isinstance<py::str>(value))
            strText = value.cast<std::string>();
        else
            throw py::type_error(strKey + ": expected a bool, int or str, not " +
                                 std::string(py::str(value.get_type().attr("__name__"))));
        vecArgs.push_back(strKey + "=" + strText);
    }
    return vecArgs;
}

model::GroupValues WantedValues(const model::SGroupDef& group, const py::handle& values) {
    if (const model::SGroupDef* pOther = GroupOfObject(values)) {
        if (pOther != &group)
            throw std::invalid_argument(std::string("a ") + ClassName(*pOther) + " value given for group " +
                                        group.strName);
        model::GroupValues wanted;
        for (const auto& [strKey, strValue] : values.cast<const CPyGroupValue&>().m_values)
            if (const model::SKeyDef* pKey = group.Find(strKey); pKey != nullptr && !pKey->bReadOnly)
                wanted[strKey] = strValue;
        return wanted;
    }
    if (!py::isinstance<py::dict>(values) && !py::hasattr(values, "items"))
        throw py::type_error("expected a mapping of keys to values or a " + std::string(ClassName(group)));
    const std::vector<std::string> vecArgs = Assignments(values);
    if (vecArgs.empty()) return {};
    std::string strError;
    auto wanted = model::ParseAssignments(group, vecArgs, strError);
    if (!wanted) throw std::invalid_argument(strError);
    return *wanted;
}

const model::SGroupDef* GroupOfObject(const py::handle& object) {
    if (!py::isinstance<CPyGroupValue>(object)) return nullptr;
    return object.cast<const CPyGroupValue&>().m_pGroup;
}

void BindGroupValues(py::module_& m) {
    if (model::SettingGroups().size() != kGroupClassCount)
        throw std::logic_error("the settings groups and their Python classes differ");
    py::class_<CPyGroupValue> base(m, "GroupValue");
    base.attr("__doc__") =
        "The values of one settings group. Immutable: replace() returns a changed copy; a Hub writes one with "
        "hub.<group> = value or hub.set(group, value).";
    base.def_property_readonly(
            "group", [](const CPyGroupValue& v) { return v.m_pGroup->strName; }, "The group's name (\"lan\", ...).")
        .def("as_dict", &AsDict, "The keys and their values, in the group's order.")
        .def(
            "replace",
            [](const CPyGroupValue& v, const py::kwargs& changes) {
                if (changes.empty()) return NewValueObject(*v.m_pGroup, v.m_values);
                std::string strError;
                auto wanted = model::ParseAssignments(*v.m_pGroup, Assignments(changes), strError);
                if (!wanted) throw std::invalid_argument(strError);
                auto merged = model::MergeAndValidate(*v.m_pGroup, v.m_values, *wanted, strError);
                if (!merged) throw std::invalid_argument(strError);
                return NewValueObject(*v.m_pGroup, std::move(*merged));
            },
            "A copy with the keys given changed. Each value is checked (form, length in the hub's code page, "
            "read-only keys), keys that depend on a changed choice follow it, and the group's rules must hold; "
            "ValueError otherwise.")
        .def("__eq__",
             [](const CPyGroupValue& a, const py::object& b) {
                 return GroupOfObject(b) == a.m_pGroup && b.cast<const CPyGroupValue&>().m_values == a.m_values;
             })
        .def("__hash__",
             [](const CPyGroupValue& v) {
                 std::string str = v.m_pGroup->strName;
                 for (const auto& [strKey, strValue] : v.m_values) str += '\0' + strKey + '=' + strValue;
                 return py::hash(py::bytes(str));
             })
        .def("__repr__", &Repr);
    BindGroupClasses(m, std::make_index_sequence<kGroupClassCount>());
    m.def("groups", &GroupList,
          "The settings groups and their keys: name, Python class, title, and for each key its name, kind "
          "(bool, int, choice, ipv4, text), whether it is read-only, per hub (left out by a clone) or secret "
          "(masked by repr() and mask_secrets()), its choices and a short help.");
}

}  // namespace vexal::python
