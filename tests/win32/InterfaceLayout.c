/*
 * The structures that cross the interface by value or pointer, as a C host
 * compiler of each Windows width lays them out: DeviceOption (a port-name
 * pointer, then seventeen 32-bit fields in order, no padding between them)
 * and ZamoText (storage pointer, capacity, length). Compiled, not run: a
 * layout that differs stops the compile.
 */
#include <stddef.h>

#include "include/zamocfg.h"
#include "include/zamoport.h"

#if defined(_WIN64)
#define POINTER_BYTES 8
#define DEVICE_OPTION_BYTES 80 /* 8 + 17 * 4, rounded up to the pointer's alignment */
#define ZAMO_TEXT_BYTES 16
#elif defined(_WIN32)
#define POINTER_BYTES 4
#define DEVICE_OPTION_BYTES 72 /* 4 + 17 * 4 */
#define ZAMO_TEXT_BYTES 12
#else
#error "a Windows width: x86 or x64"
#endif

#define FIELD(type, member, offset) \
    _Static_assert(offsetof(type, member) == (offset), #type "." #member " at offset " #offset)

FIELD(DeviceOption, portName, 0);
FIELD(DeviceOption, portType, POINTER_BYTES);
FIELD(DeviceOption, rawMode, POINTER_BYTES + 4);
FIELD(DeviceOption, speed, POINTER_BYTES + 8);
FIELD(DeviceOption, dataBits, POINTER_BYTES + 12);
FIELD(DeviceOption, stopBits, POINTER_BYTES + 16);
FIELD(DeviceOption, parity, POINTER_BYTES + 20);
FIELD(DeviceOption, flowControl, POINTER_BYTES + 24);
FIELD(DeviceOption, readIntervalTimeout, POINTER_BYTES + 28);
FIELD(DeviceOption, readTotalTimeoutMultiplier, POINTER_BYTES + 32);
FIELD(DeviceOption, readTotalTimeoutConstant, POINTER_BYTES + 36);
FIELD(DeviceOption, writeTotalTimeoutMultiplier, POINTER_BYTES + 40);
FIELD(DeviceOption, writeTotalTimeoutConstant, POINTER_BYTES + 44);
FIELD(DeviceOption, inputQueueSize, POINTER_BYTES + 48);
FIELD(DeviceOption, outputQueueSize, POINTER_BYTES + 52);
FIELD(DeviceOption, bluetoothCheck, POINTER_BYTES + 56);
FIELD(DeviceOption, bluetoothStack, POINTER_BYTES + 60);
FIELD(DeviceOption, reserved, POINTER_BYTES + 64);
_Static_assert(sizeof(DeviceOption) == DEVICE_OPTION_BYTES, "DeviceOption's size");

FIELD(ZamoText, data, 0);
FIELD(ZamoText, capacity, POINTER_BYTES);
FIELD(ZamoText, length, POINTER_BYTES + 4);
_Static_assert(sizeof(ZamoText) == ZAMO_TEXT_BYTES, "ZamoText's size");

/* A text unit is two bytes on both widths (wchar_t's size on Windows). */
_Static_assert(sizeof(char16_t) == 2, "char16_t's size");
