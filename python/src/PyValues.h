// The settings groups as Python value objects: one class per group
// (Bluetooth, Lan, Wlan, NetProto, Usage, SerialLine) whose attributes are
// the group's keys, typed as the model types them (flags as bool, numbers as
// int, the rest as str). The values are immutable; replace() checks the
// changes with the model's rules, as the command-line tool's "set" does.
#pragma once
#include "PyLibrary.h"

#include "model/KeyValues.h"

#include <memory>
#include <string>
#include <vector>

namespace vexal::python {

class CPyGroupValue {
public:
    CPyGroupValue() = default;
    virtual ~CPyGroupValue() = default;

    const model::SGroupDef* m_pGroup = nullptr;
    model::GroupValues m_values;  // canonical text of every key
};

// A value object of the most derived class for its group.
std::unique_ptr<CPyGroupValue> NewValueObject(const model::SGroupDef& group, model::GroupValues values);

// A key's canonical text as the Python value the model types it as.
py::object KeyValueToPython(const model::SGroupDef& group, const std::string& strKey, const std::string& strText);
// The keys and values of a mapping as KEY=VALUE texts for the model's
// checks: True/False as on/off, numbers in decimal, texts as they are.
std::vector<std::string> Assignments(const py::handle& mapping);
// The writable keys the user asks for, checked one by one (unknown and
// read-only keys, forms, text rules): a mapping, or a value object of the
// group whose writable keys all count. Throws std::invalid_argument.
model::GroupValues WantedValues(const model::SGroupDef& group, const py::handle& values);

// The group's classes, and the module function that lists the groups.
void BindGroupValues(py::module_& m);

// The group a value object of some class belongs to; nullptr for other objects.
const model::SGroupDef* GroupOfObject(const py::handle& object);

}  // namespace vexal::python
