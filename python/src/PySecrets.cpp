#include "PySecrets.h"

#include "PyValues.h"

#include "model/SerialLine.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <stdexcept>

namespace vexal::python {

namespace {

using CGroupFn = std::function<py::object(const model::SGroupDef&, const py::handle&, const py::handle&)>;

// A value object as its dict; anything else as it is.
py::object Plain(const py::handle& values) {
    if (GroupOfObject(values) != nullptr) return values.attr("as_dict")();
    return py::reinterpret_borrow<py::object>(values);
}

// The group the values belong to: a value object's own, or the one named;
// nullptr for the settings of a backup (every group by name).
const model::SGroupDef* GroupFor(const py::handle& values, const py::object& group) {
    const model::SGroupDef* pOwn = GroupOfObject(values);
    if (group.is_none()) return pOwn;
    const std::string strGroup = py::str(group);
    const model::SGroupDef* pNamed = model::FindGroup(strGroup);
    if (pNamed == nullptr) throw std::invalid_argument("unknown group '" + strGroup + "'");
    if (pOwn != nullptr && pOwn != pNamed) throw std::invalid_argument("a value of group " + pOwn->strName);
    return pNamed;
}

// A key of a group's dict as a set takes it: in any case.
std::string KeyName(const py::handle& key) {
    std::string strKey = py::str(key);
    std::transform(strKey.begin(), strKey.end(), strKey.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return strKey;
}

// The text of the secret keys in a group's dict: a str as it is, an int as a
// key given as a number would be sent. Other values hold no secret.
model::GroupValues SecretTexts(const model::SGroupDef& group, const py::handle& values) {
    model::GroupValues texts;
    if (!py::isinstance<py::dict>(values)) return texts;
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(values)) {
        const model::SKeyDef* pKey = group.Find(KeyName(key));
        if (pKey == nullptr || !pKey->bSecret) continue;
        if (py::isinstance<py::str>(value))
            texts[pKey->strName] = value.cast<std::string>();
        else if (py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value))
            texts[pKey->strName] = py::str(value).cast<std::string>();
    }
    return texts;
}

py::object Entry(const py::handle& dict, const py::handle& key) {
    if (!py::isinstance<py::dict>(dict)) return py::none();
    return py::reinterpret_borrow<py::dict>(dict).attr("get")(key);
}

// fn on each group's dict of the settings of a backup (each adapter's for
// serial), with the same group's dict of before; the settings again with
// each replaced by what fn returned.
py::object EachGroup(const py::handle& settings, const py::handle& before, const CGroupFn& fn) {
    if (!py::isinstance<py::dict>(settings))
        throw py::type_error("expected a value object, a group's dict with group=..., or the settings of a backup");
    py::dict out;
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(settings)) {
        const std::string strKey = py::str(key);
        const py::object previous = Entry(before, key);
        if (strKey == "serial" && py::isinstance<py::dict>(value)) {
            py::dict lines;
            for (const auto& [id, line] : py::reinterpret_borrow<py::dict>(value))
                lines[id] = fn(model::SerialLineGroup(), line, Entry(previous, id));
            out[key] = lines;
        } else if (const model::SGroupDef* pGroup = model::FindGroup(strKey); pGroup != nullptr) {
            out[key] = fn(*pGroup, value, previous);
        } else {
            out[key] = value;
        }
    }
    return out;
}

py::object MaskGroup(const model::SGroupDef& group, const py::handle& values, const py::handle& before) {
    if (!py::isinstance<py::dict>(values)) return py::reinterpret_borrow<py::object>(values);
    const model::GroupValues previous = SecretTexts(group, before);
    const bool bCompared = py::isinstance<py::dict>(before);
    const model::GroupValues shown =
        model::MaskSecrets(group, SecretTexts(group, values), bCompared ? &previous : nullptr);
    py::dict out;
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(values)) {
        const auto it = shown.find(KeyName(key));
        out[key] = it == shown.end() ? py::reinterpret_borrow<py::object>(value) : py::str(it->second);
    }
    return out;
}

py::object MaskSecrets(const py::handle& values, const py::handle& before, const py::object& group) {
    const model::SGroupDef* pGroup = GroupFor(values, group);
    const py::object plain = Plain(values), previous = Plain(before);
    if (pGroup != nullptr) return MaskGroup(*pGroup, plain, previous);
    return EachGroup(plain, previous, MaskGroup);
}

std::vector<std::string> SecretValues(const py::handle& values, const py::object& group) {
    std::vector<std::string> secrets;
    auto collect = [&secrets](const model::SGroupDef& g, const py::handle& v, const py::handle&) -> py::object {
        for (const auto& strSecret : model::SecretValues(g, SecretTexts(g, v)))
            if (std::find(secrets.begin(), secrets.end(), strSecret) == secrets.end()) secrets.push_back(strSecret);
        return py::none();
    };
    const model::SGroupDef* pGroup = GroupFor(values, group);
    if (pGroup != nullptr)
        collect(*pGroup, Plain(values), py::none());
    else
        EachGroup(Plain(values), py::none(), collect);
    return secrets;
}

}  // namespace

void BindSecrets(py::module_& m) {
    m.def("mask_secrets", &MaskSecrets, py::arg("values"), py::arg("before") = py::none(), py::kw_only(),
          py::arg("group") = py::none(),
          "The values as an output or a log may show them: a copy in which every secret that is set (the keys "
          "groups() marks secret: WLAN keys and EAP password, SNMP communities, Bluetooth PIN) is \"********\"; "
          "with before (the same shape), one that differs from a set one there is \"******** (changed)\". values "
          "is a value object, a group's dict with group=..., or the settings of a backup (Backup.settings, "
          "Hub.settings()). The result is a dict.");
    m.def("secret_values", &SecretValues, py::arg("values"), py::kw_only(), py::arg("group") = py::none(),
          "The secrets that are set in values (the shapes mask_secrets() takes), each once: what a log filter "
          "must hide.");
}

}  // namespace vexal::python
