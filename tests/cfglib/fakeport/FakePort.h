// Controls of the stand-in port library that the configuration library's
// tests load in place of libzamoport.so. The stand-in records what it is
// given and answers hub commands from a table the test fills.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FAKEPORT_API __attribute__((visibility("default")))

// Forgets every record and answer; opens succeed, no device is present.
FAKEPORT_API void FakePort_Reset(void);
// Result of the next transport opens (0 makes OpenPort fail).
FAKEPORT_API void FakePort_SetOpenResult(uint32_t result);
// Largest count one Write accepts (0: all).
FAKEPORT_API void FakePort_SetWriteLimit(uint32_t limit);
// While enabled, every Write returns result (0 no progress, -1 broken link).
FAKEPORT_API void FakePort_SetWriteFailure(uint32_t enabled, int32_t result);
// Presence of a device (0..255).
FAKEPORT_API void FakePort_SetPresent(uint32_t device, uint32_t present);
// Reply queued for device 0 after a frame for the hub whose first payload
// byte is command; an empty reply (length 0) removes it. delayMs: when the
// reply appears after the request.
FAKEPORT_API void FakePort_SetReply(uint8_t command, const uint8_t* reply, uint32_t length, uint32_t delayMs);
// The same for frames to a device behind the hub: the reply goes into that
// device's queue.
FAKEPORT_API void FakePort_SetDeviceReply(uint32_t device, uint8_t command, const uint8_t* reply, uint32_t length,
                                          uint32_t delayMs);
// Makes every IsPowerState call take this long (a stuck port library).
FAKEPORT_API void FakePort_SetPowerStateDelay(uint32_t delayMs);
// Calls of IsPowerState in progress now.
FAKEPORT_API uint32_t FakePort_PowerStateCallers(void);
// Appends bytes to a device's receive queue now.
FAKEPORT_API void FakePort_Enqueue(uint32_t device, const uint8_t* data, uint32_t length);
// Calls the registered alarm callback of a device, as the reader thread does.
FAKEPORT_API void FakePort_RaiseAlarm(uint32_t device, uint32_t code);
// One line per call, e.g. "CreatePort 127.0.0.1 10", "Write 4096",
// "SetWrite 1", "ClosePort 10000 10". Copies at most size-1 bytes; returns
// the full length.
FAKEPORT_API uint32_t FakePort_CallLog(char* buffer, uint32_t size);
// Every byte given to Write, in order. Same copying rule.
FAKEPORT_API uint32_t FakePort_Written(uint8_t* buffer, uint32_t size);
// The last record given to SetDeviceOption (port name in UTF-8 into name).
FAKEPORT_API uint32_t FakePort_LastOption(uint32_t fields[18], char* name, uint32_t size);
// Users of the one port (CreatePort calls not matched by RemovePort).
FAKEPORT_API uint32_t FakePort_References(void);

#ifdef __cplusplus
}
#endif
