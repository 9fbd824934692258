#include "model/NetProto.h"

namespace vexal::model {

namespace {

const SKeyBinding<SNetProto> kBindings[] = {
    {"telnet", [](const SNetProto& v) { return std::string(OnOff(v.Telnet())); },
     [](SNetProto& v, const std::string& s) { v.nTelnet = s == "on" ? 1 : 0; }},
    {"snmp", [](const SNetProto& v) { return std::string(OnOff(v.Snmp())); },
     [](SNetProto& v, const std::string& s) { v.nSnmp = s == "on" ? 1 : 0; }},
    {"ro_community", [](const SNetProto& v) { return v.strReadOnly; },
     [](SNetProto& v, const std::string& s) { v.strReadOnly = s; }},
    {"rw_community", [](const SNetProto& v) { return v.strReadWrite; },
     [](SNetProto& v, const std::string& s) { v.strReadWrite = s; }},
};

SGroupDef MakeGroup() {
    SGroupDef group;
    group.strName = "netproto";
    group.strTitle = "Net protocols";
    group.vecKeys = {
        FlagKey("telnet", "telnet service on|off"), FlagKey("snmp", "SNMP agent on|off"),
        Secret(TextKey("ro_community", EHubText::Community, "SNMP read-only community, up to 4095 bytes")),
        Secret(TextKey("rw_community", EHubText::Community, "SNMP read-write community, up to 4095 bytes"))};
    return group;
}

}  // namespace

VEXAL_MODEL_GROUP_FORM(SNetProto, NetProtoGroup, MakeGroup, kBindings)

}  // namespace vexal::model
