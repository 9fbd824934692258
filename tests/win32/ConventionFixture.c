/*
 * Three port-library functions, built once with the header's convention and
 * once with __stdcall defined away (as a __cdecl build would be), so that
 * the convention check is seen to pass the first and fail the second.
 */
#include "include/zamoport.h"

ZAMOPORT_API uint32_t ZAMO_CALL CreatePort(const char16_t* portName, uint32_t deviceType) {
    return portName != 0 && portName[0] != 0 ? 10000u + deviceType : 0u;
}

ZAMOPORT_API uint32_t ZAMO_CALL SetDeviceOption(DeviceOption option, uint32_t port, uint32_t unused) {
    return option.portType + option.reserved + port + unused;
}

static ZamoAlarmCallback g_pfnAlarm;

ZAMOPORT_API void ZAMO_CALL SetAlarmCallback(uint32_t port, uint32_t device, ZamoAlarmCallback callback) {
    if (port != 0 && device < 256) g_pfnAlarm = callback;
}
