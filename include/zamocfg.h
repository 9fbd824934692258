/*
 * ZamoCfg: the configuration library. Sessions to one Vexal hub each (select
 * an interface, open, close, write, callbacks) and one function per hub
 * setting. Loads the port library (libzamoport) by name at run time.
 *
 * Common rules for every function below:
 * - `handle` is a session handle from selectInterface. An unknown handle
 *   returns 1000 (isOpen: 0) and writes "[<tag>] Zamo object not created."
 *   to the diagnostic log.
 * - Results: 0 success, 1000 failure or unknown handle, 1003 refused in
 *   pass-through mode, 1004 bad argument, 1006 port not created or opened,
 *   1007 no device ID in time or reply too short, 1010 session is open,
 *   1011 no reply in time, 1100 no hub found on USB. getResult returns the
 *   last result of a session.
 * - Text inputs are NUL-terminated UTF-16 and are copied; NULL counts as
 *   empty. Text outputs are caller-owned ZamoText objects (see below).
 *   Byte buffers are the caller's, with the sizes stated per function. A
 *   NULL output pointer or a negative length gives 1004.
 * - The library is meant to be driven by one client thread at a time; no
 *   function takes a lock of its own. Nothing throws.
 * - Every function and callback uses the convention ZAMO_CALL: __stdcall on
 *   32-bit Windows, the platform's only one elsewhere (64-bit Windows too).
 */
#ifndef ZAMOCFG_H
#define ZAMOCFG_H

#include <stdint.h>
#include <uchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* The DLL's module-definition file names its exports, undecorated on both
 * widths (no leading underscore, no @n); callers link the import library or
 * look the names up with GetProcAddress. */
#define ZAMOCFG_API
#else
#define ZAMOCFG_API __attribute__((visibility("default")))
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

/* Interface codes of selectInterface. */
#define ZAMO_IF_ETHERNET 2
#define ZAMO_IF_SERIAL 4
#define ZAMO_IF_USB 16
#define ZAMO_IF_SERIAL_EXPLICIT 32
#define ZAMO_IF_PARALLEL 64

/* Result codes. */
#define ZAMO_SUCCESS 0
#define ZAMO_E_FAIL 1000
#define ZAMO_E_BYPASS 1003
#define ZAMO_E_ARGUMENT 1004
#define ZAMO_E_PORT 1006
#define ZAMO_E_DEVICE_ID 1007
#define ZAMO_E_OPENED 1010
#define ZAMO_E_TIMEOUT 1011
#define ZAMO_E_NO_USB_HUB 1100

/* A caller-owned text output. "Assigns" replaces the text (length becomes
 * the new text's length); "appends" adds after the current length. The
 * library never writes more than capacity units (NUL included), always
 * leaves data NUL-terminated when capacity > 0, and cuts a text that does
 * not fit. It never allocates or frees data. */
typedef struct ZamoText {
    char16_t* data;    /* caller's storage */
    uint32_t capacity; /* UTF-16 units at data, terminating NUL included */
    uint32_t length;   /* units held now, without the NUL */
} ZamoText;

/* Status callback: 1 the device went off line, 0 it came on line, or an
 * alarm code 1200..1204. Called on the session's poll thread or on the port
 * library's reader thread, never on the caller's thread. Both callbacks are
 * called with the interface's convention: define them with ZAMO_CALL. */
typedef void(ZAMO_CALL* ZamoStatusCallback)(int32_t status);

/* Data callback: bytes that arrived for the session's device, converted to
 * UTF-16 up to the first zero byte. The text is valid during the call only.
 * Called on the session's poll thread. */
typedef void(ZAMO_CALL* ZamoDataCallback)(const char16_t* data);

/* ---- Sessions ---------------------------------------------------------- */

/* Creates a session for an interface code (ZAMO_IF_*) and a port text:
 * "a.b.c.d[:tcpport]" (Ethernet, default 9100), "COMn[:baud]" (serial,
 * default 9600), "COMn:baud:data:parity:stop:flow" (32), any text (USB),
 * the port name (parallel). Returns a new handle (1, 2, ... never reused)
 * or 0 on failure. */
ZAMOCFG_API int32_t ZAMO_CALL selectInterface(int32_t interfaceCode, const char16_t* port);

/* Command mode 0 framed (normal) or 1 pass-through. Only while closed:
 * 1010 when open, 1004 for another mode. */
ZAMOCFG_API int32_t ZAMO_CALL selectCommandMode(int32_t handle, int32_t mode);

/* How long open waits for a device ID, in seconds (default 3). 1010 when
 * open, 1004 when negative; large values are clamped. */
ZAMOCFG_API int32_t ZAMO_CALL setTimeout(int32_t handle, int32_t seconds);

/* Opens the session for its default device ID (10). Returns the device ID
 * the session obtained, 1 when already open with it, or a code. Blocks up
 * to the time-out (and the hub's replies). */
ZAMOCFG_API int32_t ZAMO_CALL openService(int32_t handle);

/* As openService, asking for the given device ID. */
ZAMOCFG_API int32_t ZAMO_CALL openServiceById(int32_t handle, int32_t deviceId);

/* Closes the session. n is only logged. Returns the number of sessions that
 * still use the port; at 0 the session is destroyed and the handle becomes
 * unknown. 1006 when the session has no port binding state. */
ZAMOCFG_API int32_t ZAMO_CALL closeService(int32_t handle, int32_t n);

/* 1 while the session is open and its device is present, else 0. */
ZAMOCFG_API int32_t ZAMO_CALL isOpen(int32_t handle);

/* The session's device ID (10 before the first open, 0 in pass-through). */
ZAMOCFG_API int32_t ZAMO_CALL getDeviceId(int32_t handle);

/* Sends length bytes at data to the session's device (framed unless in
 * pass-through mode). 0, 1000 when not all went out, 1004 when length < 0. */
ZAMOCFG_API int32_t ZAMO_CALL directIO(int32_t handle, const uint8_t* data, int32_t length);

/* Transaction mode 0 or 1 (else 1004). */
ZAMOCFG_API int32_t ZAMO_CALL setTransaction(int32_t handle, int32_t mode);

/* Hub read mode 0, 1 or 2 for the session's device (else 1004). */
ZAMOCFG_API int32_t ZAMO_CALL setReadMode(int32_t handle, int32_t mode);

/* Marks the session for HID conversion: open then looks for a device ID in
 * 20..29 first. The code is only stored. Returns 0. */
ZAMOCFG_API int32_t ZAMO_CALL convertHID(int32_t handle, int32_t code);

/* The session's last result. */
ZAMOCFG_API int32_t ZAMO_CALL getResult(int32_t handle);

/* Stores (NULL removes) the status callback. Returns 0. */
ZAMOCFG_API int32_t ZAMO_CALL setStatusUpdateEvent(int32_t handle, ZamoStatusCallback callback);

/* Stores (NULL removes) the data callback. Returns 0. */
ZAMOCFG_API int32_t ZAMO_CALL setDataEvent(int32_t handle, ZamoDataCallback callback);

/* ---- Hub identification and USB devices -------------------------------- */

/* Assigns the hub's model name (cached per session). */
ZAMOCFG_API int32_t ZAMO_CALL getVexalName(int32_t handle, ZamoText* name);

/* Assigns the hub's firmware version (cached per session). */
ZAMOCFG_API int32_t ZAMO_CALL getVexalVersion(int32_t handle, ZamoText* version);

/* Appends "vvvv&pppp," (lower-case hex) per USB device behind the hub. */
ZAMOCFG_API int32_t ZAMO_CALL getUsbList(int32_t handle, ZamoText* list);

/* Assigns the vendor and product ID texts ("%02x%02x") of one device.
 * 1007 for a reply shorter than 6 bytes. */
ZAMOCFG_API int32_t ZAMO_CALL getUsbInfo(int32_t handle, int32_t deviceId, ZamoText* vendorId, ZamoText* productId);

/* Fills ids (at least 254 bytes) with the device IDs 1..254 present on the
 * hub's link, in rising order, and *count with their number. */
ZAMOCFG_API int32_t ZAMO_CALL getDevIdList(int32_t handle, uint8_t* ids, int32_t* count);

/* ---- Bluetooth settings ------------------------------------------------ */

/* *mode: the connection-mode character ('1'..'3'). */
ZAMOCFG_API int32_t ZAMO_CALL getBluetoothConnectionMode(int32_t handle, int32_t* mode);
/* Assigns the advertised Bluetooth name. */
ZAMOCFG_API int32_t ZAMO_CALL getBluetoothName(int32_t handle, ZamoText* name);
/* Assigns the PIN code. */
ZAMOCFG_API int32_t ZAMO_CALL getBluetoothPinCode(int32_t handle, ZamoText* pinCode);
/* *encryption: the encryption character ('0' or '1'). */
ZAMOCFG_API int32_t ZAMO_CALL getBluetoothAuthentication(int32_t handle, int32_t* encryption);
/* Writes mode character, name, PIN and encryption character (no reply). */
ZAMOCFG_API int32_t ZAMO_CALL setBluetoothInfo(int32_t handle, uint8_t mode, const char16_t* name,
                                               const char16_t* pinCode, uint8_t encryption);
/* *autoConnection: 0 or 1. */
ZAMOCFG_API int32_t ZAMO_CALL getBluetoothAutoConnection(int32_t handle, uint8_t* autoConnection);
/* on: non-zero enables. */
ZAMOCFG_API int32_t ZAMO_CALL setBluetoothAutoConnection(int32_t handle, int32_t on);

/* ---- LAN and WLAN settings --------------------------------------------- */

/* Copies the 30-byte LAN settings block into block (30 bytes). */
ZAMOCFG_API int32_t ZAMO_CALL getLanInfo(int32_t handle, uint8_t* block);
/* Writes length bytes (30 from the utility); *status: the hub's status byte.
 * 1004 when length < 0. */
ZAMOCFG_API int32_t ZAMO_CALL setLanInfo(int32_t handle, const uint8_t* data, int32_t length, uint8_t* status);
/* Copies the 592-byte WLAN settings block into block (592 bytes). */
ZAMOCFG_API int32_t ZAMO_CALL getWlanInfo(int32_t handle, uint8_t* block);
/* Writes length bytes (574 from the utility); reply (20 bytes) receives part
 * of the hub's answer. 1004 when length < 0. */
ZAMOCFG_API int32_t ZAMO_CALL setWlanInfo(int32_t handle, const uint8_t* data, int32_t length, uint8_t* reply);

/* ---- USB-to-serial and custom devices ---------------------------------- */

/* Line settings (index bytes) of the adapter with the given device ID. */
ZAMOCFG_API int32_t ZAMO_CALL getSerialConfiguration(int32_t handle, uint8_t deviceId, uint8_t* baudRate,
                                                     uint8_t* dataBits, uint8_t* stopBits, uint8_t* parity);
ZAMOCFG_API int32_t ZAMO_CALL setSerialConfiguration(int32_t handle, uint8_t deviceId, uint8_t baudRate,
                                                     uint8_t dataBits, uint8_t stopBits, uint8_t parity);
/* Appends "vvvv&pppp," per custom device of the type. */
ZAMOCFG_API int32_t ZAMO_CALL getCustomDeviceList(int32_t handle, uint8_t deviceType, ZamoText* list);
/* Add, delete, reset: the hub's status byte (0..6) when it answered, else a
 * result code. vendorId and productId are four hexadecimal digits each. */
ZAMOCFG_API int32_t ZAMO_CALL addCustomDevice(int32_t handle, uint8_t deviceType, const char16_t* vendorId,
                                              const char16_t* productId);
ZAMOCFG_API int32_t ZAMO_CALL deleteCustomDevice(int32_t handle, uint8_t deviceType, const char16_t* vendorId,
                                                 const char16_t* productId);
ZAMOCFG_API int32_t ZAMO_CALL resetCustomDeviceList(int32_t handle, uint8_t deviceType);

/* ---- Services and interface usage -------------------------------------- */

ZAMOCFG_API int32_t ZAMO_CALL getTelnetAvailable(int32_t handle, uint8_t* available);
ZAMOCFG_API int32_t ZAMO_CALL setTelnetAvailable(int32_t handle, int32_t on);
ZAMOCFG_API int32_t ZAMO_CALL getSNMPAvailable(int32_t handle, uint8_t* available);
ZAMOCFG_API int32_t ZAMO_CALL setSNMPAvailable(int32_t handle, int32_t on);
/* Assigns / sets the SNMP read-only community. */
ZAMOCFG_API int32_t ZAMO_CALL getSNMPROCommunity(int32_t handle, ZamoText* community);
ZAMOCFG_API int32_t ZAMO_CALL setSNMPROCommunity(int32_t handle, const char16_t* community);
/* Assigns / sets the SNMP read-write community. */
ZAMOCFG_API int32_t ZAMO_CALL getSNMPRWCommunity(int32_t handle, ZamoText* community);
ZAMOCFG_API int32_t ZAMO_CALL setSNMPRWCommunity(int32_t handle, const char16_t* community);
/* Each out: 0 disabled, 1 enabled, 2 not reported by the hub. */
ZAMOCFG_API int32_t ZAMO_CALL getInterfaceUsageStatus(int32_t handle, int32_t* usb, int32_t* bluetooth, int32_t* lan,
                                                      int32_t* wlan);
/* Each in: 0, 1, or 2 (leave unchanged). *error receives the hub's error
 * byte only when it reports one; set it to 0 beforehand. */
ZAMOCFG_API int32_t ZAMO_CALL setInterfaceUsageStatus(int32_t handle, int32_t usb, int32_t bluetooth, int32_t lan,
                                                      int32_t wlan, int32_t* error);

#ifdef __cplusplus
}
#endif

#endif /* ZAMOCFG_H */
