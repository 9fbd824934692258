/*
 * show_hub: connects to a Vexal hub over Ethernet, prints its model, firmware
 * version and every settings group, and disconnects. Uses nothing but the
 * public header and the configuration library, as an integrator would.
 *
 *   usage: show_hub ADDRESS[:PORT]        (the port defaults to 9100)
 */
#include "zamocfg.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <uchar.h>

#define TEXT_UNITS 256

/* The library speaks UTF-16; the terminal wants UTF-8. */
static void PrintUtf16(const char16_t* text, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            putchar((int)code);
        } else if (code < 0x800) {
            putchar((int)(0xC0 | (code >> 6)));
            putchar((int)(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            putchar((int)(0xE0 | (code >> 12)));
            putchar((int)(0x80 | ((code >> 6) & 0x3F)));
            putchar((int)(0x80 | (code & 0x3F)));
        } else {
            putchar((int)(0xF0 | (code >> 18)));
            putchar((int)(0x80 | ((code >> 12) & 0x3F)));
            putchar((int)(0x80 | ((code >> 6) & 0x3F)));
            putchar((int)(0x80 | (code & 0x3F)));
        }
    }
}

typedef struct Text {
    char16_t units[TEXT_UNITS];
    ZamoText object;
} Text;

static ZamoText* EmptyText(Text* text) {
    text->units[0] = 0;
    text->object.data = text->units;
    text->object.capacity = TEXT_UNITS;
    text->object.length = 0;
    return &text->object;
}

static void PrintText(const char* label, int32_t result, const Text* text) {
    printf("  %-22s ", label);
    if (result != 0) {
        printf("(not read: error %d)\n", (int)result);
        return;
    }
    PrintUtf16(text->units, text->object.length);
    putchar('\n');
}

static void PrintFailure(const char* label, int32_t result) {
    printf("  %-22s (not read: error %d)\n", label, (int)result);
}

static const char* OnOff(int value) { return value == 0 ? "off" : value == 1 ? "on" : "not reported"; }

static void PrintAddress(const char* label, const uint8_t* octets) {
    printf("  %-22s %u.%u.%u.%u\n", label, octets[0], octets[1], octets[2], octets[3]);
}

/* A text field of the WLAN block: NUL-terminated unless it fills the field.
 * The bytes are in the hub's code page; shown here as Latin-1, which agrees
 * with the usual code page outside 0x80..0x9F. */
static void PrintField(const char* label, const uint8_t* field, size_t size) {
    char16_t units[104];
    uint32_t length = 0;
    while (length < size && length < sizeof units / sizeof units[0] && field[length] != 0) {
        units[length] = field[length];
        ++length;
    }
    printf("  %-22s ", label);
    PrintUtf16(units, length);
    putchar('\n');
}

static void ShowBluetooth(int32_t hub) {
    Text text;
    int32_t value = 0;
    uint8_t byte = 0;
    int32_t result;

    printf("Bluetooth\n");
    result = getBluetoothName(hub, EmptyText(&text));
    PrintText("name", result, &text);
    result = getBluetoothPinCode(hub, EmptyText(&text));
    PrintText("PIN code", result, &text);
    result = getBluetoothAuthentication(hub, &value);
    if (result == 0)
        printf("  %-22s %s\n", "encryption", value == '1' ? "required" : value == '0' ? "off" : "unknown");
    else
        PrintFailure("encryption", result);
    result = getBluetoothConnectionMode(hub, &value);
    if (result == 0)
        printf("  %-22s %c\n", "connection mode", value >= 0x20 && value < 0x7F ? (char)value : '?');
    else
        PrintFailure("connection mode", result);
    result = getBluetoothAutoConnection(hub, &byte);
    if (result == 0)
        printf("  %-22s %s\n", "auto connection", OnOff(byte));
    else
        PrintFailure("auto connection", result);
}

static void ShowLan(int32_t hub) {
    uint8_t block[30];
    int32_t result;

    printf("Wired LAN\n");
    result = getLanInfo(hub, block);
    if (result != 0) {
        PrintFailure("settings", result);
        return;
    }
    printf("  %-22s %02X:%02X:%02X:%02X:%02X:%02X\n", "MAC address", block[0], block[1], block[2], block[3], block[4],
           block[5]);
    PrintAddress("IP address", block + 6);
    PrintAddress("subnet mask", block + 10);
    PrintAddress("gateway", block + 14);
    PrintAddress("DNS server", block + 18);
    printf("  %-22s %s\n", "DHCP", OnOff(block[22]));
}

static void ShowWlan(int32_t hub) {
    static const char* const kAuth[] = {"open system", "shared key", "WPA-PSK", "WPA2-PSK", "WPA-EAP", "WPA2-EAP"};
    static const char* const kCipher[] = {"none", "WEP", "TKIP", "AES", "AES and TKIP"};
    uint8_t block[592];
    int32_t result;

    printf("Wireless LAN\n");
    result = getWlanInfo(hub, block);
    if (result != 0) {
        PrintFailure("settings", result);
        return;
    }
    PrintField("device name", block + 18, 33);
    printf("  %-22s %s\n", "network mode", block[51] == 0 ? "infrastructure" : block[51] == 1 ? "ad hoc" : "unknown");
    printf("  %-22s %s\n", "DHCP", OnOff(block[52]));
    PrintAddress("IP address", block + 53);
    PrintAddress("subnet mask", block + 57);
    PrintAddress("gateway", block + 61);
    PrintField("SSID", block + 65, 32);
    printf("  %-22s %s\n", "authentication", block[97] < 6 ? kAuth[block[97]] : "unknown");
    printf("  %-22s %s\n", "cipher", block[98] < 5 ? kCipher[block[98]] : "unknown");
    printf("  %-22s %u s\n", "inactivity time", (unsigned)(block[587] * 256 + block[588]));
}

static void ShowSerialAdapters(int32_t hub) {
    static const char* const kBaud[] = {"2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400"};
    static const char* const kParity[] = {"none", "even", "odd"};
    uint8_t ids[254];
    int32_t count = 0;
    int found = 0;

    printf("USB-to-serial adapters\n");
    if (getDevIdList(hub, ids, &count) != 0) count = 0;
    for (int32_t i = 0; i < count && i < 254; ++i) {
        uint8_t baud, data, stop, parity;
        if (ids[i] < 100 || ids[i] > 129) continue; /* adapters use device IDs 100..129 */
        if (getSerialConfiguration(hub, ids[i], &baud, &data, &stop, &parity) != 0) continue;
        printf("  device %-15u %s baud, %s data bits, %s stop bit(s), parity %s\n", ids[i],
               baud < 8 ? kBaud[baud] : "?",
               data == 0   ? "7"
               : data == 1 ? "8"
                           : "?",
               stop == 0   ? "1"
               : stop == 1 ? "2"
                           : "?",
               parity < 3 ? kParity[parity] : "?");
        ++found;
    }
    if (found == 0) printf("  (none attached)\n");
}

static void ShowCustomDevices(int32_t hub) {
    static const char* const kTypes[] = {"POS Printer", "Label Printer", "MSR",         "Barcode Scanner", "RFID",
                                         "Dallas Key",  "NFC",           "BCD Display", "USB to Serial",   "Scale"};
    printf("Custom USB devices\n");
    for (uint8_t type = 0; type < 10; ++type) {
        Text text;
        const int32_t result = getCustomDeviceList(hub, type, EmptyText(&text));
        if (result == 0 && text.object.length == 0)
            printf("  %-22s (none)\n", kTypes[type]);
        else
            PrintText(kTypes[type], result, &text);
    }
}

static void ShowServices(int32_t hub) {
    Text text;
    uint8_t byte = 0;
    int32_t result;

    printf("Services\n");
    result = getTelnetAvailable(hub, &byte);
    if (result == 0)
        printf("  %-22s %s\n", "telnet", OnOff(byte));
    else
        PrintFailure("telnet", result);
    result = getSNMPAvailable(hub, &byte);
    if (result == 0)
        printf("  %-22s %s\n", "SNMP", OnOff(byte));
    else
        PrintFailure("SNMP", result);
    result = getSNMPROCommunity(hub, EmptyText(&text));
    PrintText("SNMP read community", result, &text);
    result = getSNMPRWCommunity(hub, EmptyText(&text));
    PrintText("SNMP write community", result, &text);
}

static void ShowInterfaces(int32_t hub) {
    int32_t usb = 0, bluetooth = 0, lan = 0, wlan = 0;
    const int32_t result = getInterfaceUsageStatus(hub, &usb, &bluetooth, &lan, &wlan);

    printf("Host interfaces\n");
    if (result != 0) {
        PrintFailure("usage", result);
        return;
    }
    printf("  %-22s %s\n", "USB", OnOff(usb));
    printf("  %-22s %s\n", "Bluetooth", OnOff(bluetooth));
    printf("  %-22s %s\n", "wired LAN", OnOff(lan));
    printf("  %-22s %s\n", "wireless LAN", OnOff(wlan));
}

int main(int argc, char** argv) {
    char16_t port[64];
    Text text;
    size_t length;
    int32_t hub, result;

    if (argc != 2 || (length = strlen(argv[1])) == 0 || length >= sizeof port / sizeof port[0]) {
        fprintf(stderr, "usage: %s ADDRESS[:PORT]\n", argv[0]);
        return 2;
    }
    for (size_t i = 0; i <= length; ++i) port[i] = (unsigned char)argv[1][i];

    hub = selectInterface(2 /* Ethernet */, port);
    if (hub == 0) {
        fprintf(stderr, "show_hub: the library refused the address %s\n", argv[1]);
        return 1;
    }
    result = openService(hub);
    if (result >= 1000) {
        fprintf(stderr, "show_hub: cannot connect to %s (error %d)\n", argv[1], (int)result);
        closeService(hub, 0);
        return 1;
    }

    printf("Hub at %s\n", argv[1]);
    result = getVexalName(hub, EmptyText(&text));
    PrintText("model", result, &text);
    result = getVexalVersion(hub, EmptyText(&text));
    PrintText("firmware version", result, &text);

    ShowBluetooth(hub);
    ShowLan(hub);
    ShowWlan(hub);
    ShowSerialAdapters(hub);
    ShowCustomDevices(hub);
    ShowServices(hub);
    ShowInterfaces(hub);

    closeService(hub, 0);
    return 0;
}
