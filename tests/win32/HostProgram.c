/*
 * A host program as a point-of-sale application is written: plain C, it
 * loads ZamoCfg.dll by name, looks up what it calls through pointer types of
 * its own declared with ZAMO_CALL, and registers callbacks defined with it.
 * Built for both widths; on x86 it is what a 32-bit host does with the
 * __stdcall interface (a convention that differed between host and library
 * would leave the stack unbalanced after every call and callback).
 *
 *   win32_host_program HUB_ADDRESS:PORT CONTROL_PORT
 *
 * Against a simulator (its control port on 127.0.0.1): reads the LAN group
 * over Ethernet, writes it with a new address and reads it back, then has
 * the hub raise an alarm and send data, each of which must reach its
 * callback. Prints one line per step; exit status 0 when all passed.
 */
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "include/zamocfg.h"

typedef int32_t(ZAMO_CALL* PfnSelectInterface)(int32_t, const char16_t*);
typedef int32_t(ZAMO_CALL* PfnHandle)(int32_t);
typedef int32_t(ZAMO_CALL* PfnCloseService)(int32_t, int32_t);
typedef int32_t(ZAMO_CALL* PfnSetStatusUpdateEvent)(int32_t, ZamoStatusCallback);
typedef int32_t(ZAMO_CALL* PfnSetDataEvent)(int32_t, ZamoDataCallback);
typedef int32_t(ZAMO_CALL* PfnGetLanInfo)(int32_t, uint8_t*);
typedef int32_t(ZAMO_CALL* PfnSetLanInfo)(int32_t, const uint8_t*, int32_t, uint8_t*);

static volatile LONG g_nOnLine;
static volatile LONG g_nAlarm;
static volatile LONG g_nData;

static void ZAMO_CALL OnStatus(int32_t status) {
    if (status == 0) InterlockedIncrement(&g_nOnLine);
    if (status == 1203) InterlockedIncrement(&g_nAlarm);
}

static void ZAMO_CALL OnData(const char16_t* text) {
    if (text != NULL && text[0] == u'H' && text[1] == u'u' && text[2] == u'b' && text[3] == 0)
        InterlockedIncrement(&g_nData);
}

static int Fail(const char* what) {
    printf("FAIL: %s\n", what);
    return 1;
}

/* Waits up to 5 s for a callback counter to move. */
static int Arrived(volatile LONG* counter) {
    for (int i = 0; i < 250; ++i) {
        if (InterlockedCompareExchange(counter, 0, 0) > 0) return 1;
        Sleep(20);
    }
    return 0;
}

/* One command to the simulator's control port; 1 when it answered OK. */
static int Control(unsigned short port, const char* command) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char answer[64] = {0};
    int ok = 0;
    if (connect(s, (struct sockaddr*)&addr, sizeof addr) == 0 && send(s, command, (int)strlen(command), 0) > 0 &&
        recv(s, answer, (int)sizeof answer - 1, 0) >= 2)
        ok = strncmp(answer, "OK", 2) == 0;
    closesocket(s);
    return ok;
}

int main(int argc, char** argv) {
    if (argc != 3) return Fail("usage: win32_host_program HUB_ADDRESS:PORT CONTROL_PORT");
    char16_t address[64];
    size_t n = 0;
    for (; argv[1][n] != 0 && n + 1 < sizeof address / sizeof address[0]; ++n) address[n] = (char16_t)argv[1][n];
    address[n] = 0;
    const unsigned short control = (unsigned short)atoi(argv[2]);
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return Fail("WSAStartup");

    HMODULE lib =
        LoadLibraryExW(L"ZamoCfg.dll", NULL, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (lib == NULL) return Fail("ZamoCfg.dll not loaded");
    PfnSelectInterface selectInterface = (PfnSelectInterface)(void*)GetProcAddress(lib, "selectInterface");
    PfnHandle openService = (PfnHandle)(void*)GetProcAddress(lib, "openService");
    PfnCloseService closeService = (PfnCloseService)(void*)GetProcAddress(lib, "closeService");
    PfnSetStatusUpdateEvent setStatusUpdateEvent =
        (PfnSetStatusUpdateEvent)(void*)GetProcAddress(lib, "setStatusUpdateEvent");
    PfnSetDataEvent setDataEvent = (PfnSetDataEvent)(void*)GetProcAddress(lib, "setDataEvent");
    PfnGetLanInfo getLanInfo = (PfnGetLanInfo)(void*)GetProcAddress(lib, "getLanInfo");
    PfnSetLanInfo setLanInfo = (PfnSetLanInfo)(void*)GetProcAddress(lib, "setLanInfo");
    if (!selectInterface || !openService || !closeService || !setStatusUpdateEvent || !setDataEvent || !getLanInfo ||
        !setLanInfo)
        return Fail("an export is missing (decorated name?)");
    printf("ok: ZamoCfg.dll loaded by name, exports found undecorated\n");

    const int32_t h = selectInterface(ZAMO_IF_ETHERNET, address);
    if (h <= 0) return Fail("selectInterface");
    if (setStatusUpdateEvent(h, OnStatus) != 0 || setDataEvent(h, OnData) != 0) return Fail("callbacks refused");
    const int32_t device = openService(h);
    if (device != 10) {
        printf("openService gave %d\n", (int)device);
        return Fail("openService");
    }
    if (!Arrived(&g_nOnLine)) return Fail("no on-line status through the callback");
    printf("ok: session open on device 10, on-line status through the callback\n");

    uint8_t block[30];
    if (getLanInfo(h, block) != 0) return Fail("getLanInfo");
    static const uint8_t kAddress[4] = {10, 20, 30, 40};
    memcpy(block + 6, kAddress, sizeof kAddress);
    uint8_t status = 0xFF;
    if (setLanInfo(h, block, (int32_t)sizeof block, &status) != 0 || status != 0) return Fail("setLanInfo");
    uint8_t readBack[30];
    memset(readBack, 0xEE, sizeof readBack);
    if (getLanInfo(h, readBack) != 0 || memcmp(block, readBack, sizeof block) != 0)
        return Fail("the LAN block read back differs from the one written");
    printf("ok: LAN group read, written with 10.20.30.40 and read back\n");

    if (!Control(control, "ALARM WRITE 10 4\n")) return Fail("control ALARM");
    if (!Arrived(&g_nAlarm)) return Fail("no alarm 1203 through the callback");
    if (!Control(control, "SEND 10 48 75 62\n")) return Fail("control SEND");
    if (!Arrived(&g_nData)) return Fail("no data through the callback");
    printf("ok: alarm 1203 and data \"Hub\" through the callbacks\n");

    if (closeService(h, 0) != 0) return Fail("closeService");
    FreeLibrary(lib);
    WSACleanup();
    printf("ok: session closed\n");
    return 0;
}
