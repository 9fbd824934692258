/*
 * zamoport: the port library. Opens hub links (TCP, serial, USB, parallel) by
 * name, runs a reader thread per open port, cuts the hub's frames into
 * per-device receive queues, and tracks device presence and alarms.
 *
 * All functions run on the caller's thread and never throw. "port" is an
 * identifier from CreatePort; "device" is 0..255 (larger values are treated as
 * unknown devices). Buffers are always the caller's. Every function and the
 * callback use the convention ZAMO_CALL: __stdcall on 32-bit Windows, the
 * platform's only one elsewhere (64-bit Windows too).
 */
#ifndef ZAMOPORT_H
#define ZAMOPORT_H

#include <stdint.h>
#include <uchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* The DLL's module-definition file names its exports, undecorated on both
 * widths (no leading underscore, no @n); callers link the import library or
 * look the names up with GetProcAddress. */
#define ZAMOPORT_API
#else
#define ZAMOPORT_API __attribute__((visibility("default")))
#endif

/* Calling convention of every function and callback of the interface:
 * __stdcall on 32-bit Windows, as Windows' own DLLs use and most host
 * languages can call (the callee removes its arguments from the stack); on
 * 64-bit Windows and elsewhere the platform's only convention, and the
 * macro is empty. Defined alike in zamoport.h and zamocfg.h. */
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define ZAMO_CALL __stdcall
#else
#define ZAMO_CALL
#endif

/* Port type codes (field 1 of DeviceOption). */
#define ZAMO_PORT_NET 2u
#define ZAMO_PORT_COM 4u
#define ZAMO_PORT_USB 16u
#define ZAMO_PORT_COM_EXPLICIT 32u
#define ZAMO_PORT_LPT 64u

/* Link states. */
#define ZAMO_LINK_INITIAL 2000u
#define ZAMO_LINK_ONLINE 2001u
#define ZAMO_LINK_OFFLINE 2003u

/* Transport settings, passed by value to SetDeviceOption. The port name is
 * copied; the caller keeps ownership of its text. */
typedef struct DeviceOption {
    const char16_t* portName;             /* 0: port name, NUL-terminated UTF-16 */
    uint32_t portType;                    /* 1: ZAMO_PORT_* */
    uint32_t rawMode;                     /* 2: 1 = bytes are not parsed as frames */
    uint32_t speed;                       /* 3: baud rate, or TCP port number */
    uint32_t dataBits;                    /* 4 */
    uint32_t stopBits;                    /* 5: stop-bits code */
    uint32_t parity;                      /* 6: parity code */
    uint32_t flowControl;                 /* 7: flow-control code */
    uint32_t readIntervalTimeout;         /* 8: ms */
    uint32_t readTotalTimeoutMultiplier;  /* 9: ms */
    uint32_t readTotalTimeoutConstant;    /* 10: ms */
    uint32_t writeTotalTimeoutMultiplier; /* 11: ms */
    uint32_t writeTotalTimeoutConstant;   /* 12: ms */
    uint32_t inputQueueSize;              /* 13: bytes */
    uint32_t outputQueueSize;             /* 14: bytes */
    uint32_t bluetoothCheck;              /* 15: 1 = find the Bluetooth stack */
    uint32_t bluetoothStack;              /* 16: 0 unknown, 1 Microsoft, 2 TOSHIBA, 3 IVT */
    uint32_t reserved;                    /* 17 */
} DeviceOption;

/* Alarm callback: (kind 0x74, 0, code 1200..1204). Called on the port's
 * reader thread with no lock held; a callback that blocks stalls reception.
 * Called with the interface's convention: define it with ZAMO_CALL. */
typedef void(ZAMO_CALL* ZamoAlarmCallback)(uint32_t kind, uint32_t zero, uint32_t code);

/* Creates a port for a name, or shares the existing one (reference counted).
 * The type is chosen from the name ("COM" serial, "USB", "LPT", else network).
 * portName: NUL-terminated UTF-16, copied. deviceType: only logged.
 * Returns the port identifier (10000 upwards, never reused), 0 for an empty
 * name or on failure. */
ZAMOPORT_API uint32_t ZAMO_CALL CreatePort(const char16_t* portName, uint32_t deviceType);

/* Drops one reference. Returns the references left; 0 when the port was
 * destroyed or is unknown. Close the port before the last RemovePort. */
ZAMOPORT_API uint32_t ZAMO_CALL RemovePort(uint32_t port);

/* Configures the transport. unused: ignored. Returns 1 accepted, 0 refused or
 * unknown port. */
ZAMOPORT_API uint32_t ZAMO_CALL SetDeviceOption(DeviceOption option, uint32_t port, uint32_t unused);

/* Opens the transport for a device. First open: the transport's result
 * (non-zero success); already open: the new open count; 0 unknown/failure. */
ZAMOPORT_API uint32_t ZAMO_CALL OpenPort(uint32_t port, uint32_t device);

/* Closes the port for a device; the transport closes with its last device. */
ZAMOPORT_API void ZAMO_CALL ClosePort(uint32_t port, uint32_t device);

/* Takes up to `wanted` bytes of the device's receive queue into dest, waiting
 * up to timeoutMs. Returns the bytes delivered (0 on failure). */
ZAMOPORT_API uint32_t ZAMO_CALL Read(uint8_t* dest, uint32_t wanted, uint32_t timeoutMs, uint32_t port,
                                     uint32_t device);

/* Bytes waiting in the device's receive queue; 0 if none or unknown. */
ZAMOPORT_API uint32_t ZAMO_CALL ReadAvailable(uint32_t port, uint32_t device);

/* Writes bytes unchanged to the transport. Returns the bytes written, 0 for
 * invalid arguments or an unknown port, -1 for a broken link. */
ZAMOPORT_API int32_t ZAMO_CALL Write(const uint8_t* data, uint32_t length, uint32_t port);

/* Sets the port's write flag (no keep-alive byte while it is set). device is ignored. */
ZAMOPORT_API void ZAMO_CALL SetWrite(uint32_t isWrite, uint32_t port, uint32_t device);

/* Empties the device's receive queue. */
ZAMOPORT_API void ZAMO_CALL Clear(uint32_t port, uint32_t device);

/* 1 the device is present, 0 absent, link off-line or unknown port. */
ZAMOPORT_API uint32_t ZAMO_CALL IsPowerState(uint32_t port, uint32_t device);

/* Copies the oldest 4-byte status record of the device into dest (at least 4
 * bytes). Returns 1 when one was copied, else 0 (dest unchanged). */
ZAMOPORT_API uint32_t ZAMO_CALL GetASBState(uint8_t* dest, uint32_t port, uint32_t device);

/* The lowest present device in [lowest, highest], given a receive queue; 0 if none. */
ZAMOPORT_API uint32_t ZAMO_CALL AvailableDevId(uint32_t port, uint32_t unused, uint32_t lowest, uint32_t highest);

/* Status-back mode: Set returns 0, Get the flag; both 1000 for an unknown port. */
ZAMOPORT_API uint32_t ZAMO_CALL SetAsbMode(uint32_t enable, uint32_t port, uint32_t device);
ZAMOPORT_API uint32_t ZAMO_CALL GetAsbMode(uint32_t port, uint32_t device);

/* Plug-and-play flag, stored for callers: Set returns 0, Get the flag; 1000 for an unknown port. */
ZAMOPORT_API uint32_t ZAMO_CALL SetPnPMode(uint32_t enable, uint32_t port, uint32_t device);
ZAMOPORT_API uint32_t ZAMO_CALL GetPnPMode(uint32_t port, uint32_t device);

/* Registers (or, with NULL, removes) the device's alarm callback. */
ZAMOPORT_API void ZAMO_CALL SetAlarmCallback(uint32_t port, uint32_t device, ZamoAlarmCallback callback);

#ifdef __cplusplus
}
#endif

#endif /* ZAMOPORT_H */
