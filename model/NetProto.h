// The hub's network services: its telnet service, its SNMP agent and the
// SNMP read-only and read-write communities.
#pragma once
#include "model/KeyValues.h"

#include <cstdint>
#include <string>

namespace vexal::model {

struct SNetProto {
    uint8_t nTelnet = 0;  // as read: 0 off, anything else on
    uint8_t nSnmp = 0;
    std::string strReadOnly;  // UTF-8; up to 4095 bytes in the code page
    std::string strReadWrite;
    bool Telnet() const { return nTelnet != 0; }
    bool Snmp() const { return nSnmp != 0; }
    bool operator==(const SNetProto&) const = default;
};

// Key values: telnet, snmp (on|off), ro_community, rw_community.
const SGroupDef& NetProtoGroup();
GroupValues ToKeyValues(const SNetProto& value);
void ApplyKeyValues(SNetProto& value, const GroupValues& values);

}  // namespace vexal::model
