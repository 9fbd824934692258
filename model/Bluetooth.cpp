#include "model/Bluetooth.h"

namespace vexal::model {

namespace {

const SKeyBinding<SBluetooth> kBindings[] = {
    {"name", [](const SBluetooth& v) { return v.strName; }, [](SBluetooth& v, const std::string& s) { v.strName = s; }},
    {"pin", [](const SBluetooth& v) { return v.strPin; }, [](SBluetooth& v, const std::string& s) { v.strPin = s; }},
    {"encryption", [](const SBluetooth& v) { return std::string(OnOff(BluetoothEncrypted(v.nEncryption))); },
     [](SBluetooth& v, const std::string& s) {
         v.nEncryption = s == "on" ? kBluetoothEncryptionOn : kBluetoothEncryptionOff;
     }},
    {"mode", [](const SBluetooth& v) { return std::to_string(BluetoothModeNumber(v.nMode)); },
     [](SBluetooth& v, const std::string& s) { v.nMode = static_cast<uint8_t>(s.empty() ? '1' : s[0]); }},
    {"auto_connect", [](const SBluetooth& v) { return std::string(OnOff(v.nAutoConnect != 0)); },
     [](SBluetooth& v, const std::string& s) { v.nAutoConnect = s == "on" ? 1 : 0; }},
};

SGroupDef MakeGroup() {
    SGroupDef group;
    group.strName = "bluetooth";
    group.strTitle = "Bluetooth";
    group.vecKeys = {PerHub(TextKey("name", EHubText::BluetoothName, "device name, 1 to 30 bytes")),
                     Secret(TextKey("pin", EHubText::BluetoothPin, "PIN code, 4 to 16 bytes")),
                     FlagKey("encryption", "encryption on|off"),
                     ChoiceKey("mode", {"1", "2", "3"}, "connection mode 1|2|3"),
                     FlagKey("auto_connect", "automatic reconnection (iOS) on|off")};
    return group;
}

}  // namespace

int BluetoothModeNumber(uint8_t nChar) { return nChar == '2' ? 2 : nChar == '3' ? 3 : 1; }

VEXAL_MODEL_GROUP_FORM(SBluetooth, BluetoothGroup, MakeGroup, kBindings)

}  // namespace vexal::model
