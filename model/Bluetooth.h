// The hub's Bluetooth settings: advertised name, PIN code, encryption,
// connection mode and automatic reconnection (iOS).
#pragma once
#include "model/KeyValues.h"

#include <cstdint>
#include <string>

namespace vexal::model {

// The values as the hub holds them. Encryption and mode travel as ASCII
// characters; a character the hub sends that names nothing is kept as it
// came and goes back unchanged unless the value is changed.
struct SBluetooth {
    std::string strName;        // UTF-8; 1 to 30 bytes in the code page
    std::string strPin;         // 4 to 16 bytes
    uint8_t nEncryption = '1';  // '0' disabled, '1' enabled
    uint8_t nMode = '1';        // '1' to '3'
    uint8_t nAutoConnect = 0;   // 0 disabled, 1 enabled
    bool operator==(const SBluetooth&) const = default;
};

inline constexpr uint8_t kBluetoothEncryptionOff = '0';
inline constexpr uint8_t kBluetoothEncryptionOn = '1';

// What a character means: encryption is off only for "0"; modes "2" and
// "3" are themselves and any other character counts as mode 1.
inline bool BluetoothEncrypted(uint8_t nChar) { return nChar != kBluetoothEncryptionOff; }
int BluetoothModeNumber(uint8_t nChar);
inline uint8_t BluetoothModeChar(int nMode) { return static_cast<uint8_t>('0' + nMode); }

// The values a "Default Setting" gives: encryption on, mode 2, PIN 8147
// (the name and auto connection stay as they are).
inline constexpr uint8_t kBluetoothDefaultMode = '2';
inline constexpr const char* kBluetoothDefaultPin = "8147";

// Key values: name, pin, encryption (on|off), mode (1|2|3), auto_connect (on|off).
const SGroupDef& BluetoothGroup();
GroupValues ToKeyValues(const SBluetooth& value);
void ApplyKeyValues(SBluetooth& value, const GroupValues& values);

}  // namespace vexal::model
