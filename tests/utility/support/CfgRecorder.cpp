// A recording stand-in for the configuration library: the same exported
// names, no hub. Every call is recorded (name, arguments, whether it ran on
// the thread marked as the main thread); results, delays and text outputs are
// set by the test through the recorder* functions (RecorderControl.h).
// Built a second time without getInterfaceUsageStatus, for the binding test.
#include "zamocfg.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#define RECORDER_API extern "C" __attribute__((visibility("default")))

namespace {
struct SRecorder {
    std::mutex mutex;
    std::map<std::string, int32_t> results;
    std::map<std::string, int32_t> delays;
    std::map<std::string, std::u16string> texts;
    std::map<std::string, int32_t> counts;
    std::map<std::string, std::string> lastArgs;
    std::string log;
    std::thread::id mainThread;
    int32_t nMainThreadCalls = 0;
    int32_t nNextHandle = 1;
};

SRecorder& R() {
    static SRecorder* s_pRecorder = new SRecorder;  // never destroyed: calls may come late
    return *s_pRecorder;
}

// Records the call and sleeps its delay; returns the result set for it.
int32_t Record(const char* pszName, const std::string& strArgs, int32_t nDefault = ZAMO_SUCCESS) {
    int32_t nDelay = 0;
    int32_t nResult = nDefault;
    {
        std::lock_guard<std::mutex> lock(R().mutex);
        ++R().counts[pszName];
        R().lastArgs[pszName] = strArgs;
        if (!R().log.empty()) R().log += ',';
        R().log += pszName;
        if (std::this_thread::get_id() == R().mainThread) ++R().nMainThreadCalls;
        if (auto it = R().delays.find(pszName); it != R().delays.end()) nDelay = it->second;
        if (auto it = R().results.find(pszName); it != R().results.end()) nResult = it->second;
    }
    if (nDelay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(nDelay));
    return nResult;
}

std::string Utf8(const char16_t* psz) {
    std::string s;
    for (; psz != nullptr && *psz != 0; ++psz) s += *psz < 0x80 ? static_cast<char>(*psz) : '?';
    return s;
}

void AssignText(const char* pszName, ZamoText* pText, const char16_t* pszDefault) {
    if (pText == nullptr || pText->data == nullptr || pText->capacity == 0) return;
    std::u16string text = pszDefault;
    {
        std::lock_guard<std::mutex> lock(R().mutex);
        if (auto it = R().texts.find(pszName); it != R().texts.end()) text = it->second;
    }
    const size_t n = std::min<size_t>(text.size(), pText->capacity - 1);
    std::memcpy(pText->data, text.data(), n * sizeof(char16_t));
    pText->data[n] = 0;
    pText->length = static_cast<uint32_t>(n);
}

std::string Args(int32_t a) { return std::to_string(a); }
std::string Args(int32_t a, int32_t b) { return std::to_string(a) + "," + std::to_string(b); }
}  // namespace

// ---- Control ----
RECORDER_API void recorderReset(void) {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().results.clear();
    R().delays.clear();
    R().texts.clear();
    R().counts.clear();
    R().lastArgs.clear();
    R().log.clear();
    R().nMainThreadCalls = 0;
    R().mainThread = std::this_thread::get_id();
}
RECORDER_API void recorderSetResult(const char* name, int32_t value) {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().results[name] = value;
}
RECORDER_API void recorderSetDelay(const char* name, int32_t ms) {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().delays[name] = ms;
}
RECORDER_API void recorderSetText(const char* name, const char16_t* text) {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().texts[name] = text != nullptr ? text : u"";
}
RECORDER_API int32_t recorderCallCount(const char* name) {
    std::lock_guard<std::mutex> lock(R().mutex);
    auto it = R().counts.find(name);
    return it == R().counts.end() ? 0 : it->second;
}
static int32_t CopyOut(const std::string& s, char* buf, int32_t size) {
    if (buf != nullptr && size > 0) {
        const size_t n = std::min<size_t>(s.size(), static_cast<size_t>(size) - 1);
        std::memcpy(buf, s.data(), n);
        buf[n] = 0;
    }
    return static_cast<int32_t>(s.size());
}
RECORDER_API int32_t recorderLastArgs(const char* name, char* buf, int32_t size) {
    std::lock_guard<std::mutex> lock(R().mutex);
    auto it = R().lastArgs.find(name);
    return CopyOut(it == R().lastArgs.end() ? std::string() : it->second, buf, size);
}
RECORDER_API int32_t recorderLog(char* buf, int32_t size) {
    std::lock_guard<std::mutex> lock(R().mutex);
    return CopyOut(R().log, buf, size);
}
RECORDER_API int32_t recorderMainThreadCalls(void) {
    std::lock_guard<std::mutex> lock(R().mutex);
    return R().nMainThreadCalls;
}

// ---- The configuration library's names ----
RECORDER_API int32_t selectInterface(int32_t interfaceCode, const char16_t* port) {
    int32_t nHandle = 0;
    {
        std::lock_guard<std::mutex> lock(R().mutex);
        nHandle = R().nNextHandle++;
    }
    const int32_t r = Record("selectInterface", std::to_string(interfaceCode) + "," + Utf8(port), nHandle);
    return r;
}
RECORDER_API int32_t selectCommandMode(int32_t h, int32_t mode) { return Record("selectCommandMode", Args(h, mode)); }
RECORDER_API int32_t setTimeout(int32_t h, int32_t s) { return Record("setTimeout", Args(h, s)); }
RECORDER_API int32_t openService(int32_t h) { return Record("openService", Args(h), 10); }
RECORDER_API int32_t openServiceById(int32_t h, int32_t id) { return Record("openServiceById", Args(h, id), id); }
RECORDER_API int32_t closeService(int32_t h, int32_t n) { return Record("closeService", Args(h, n), 0); }
RECORDER_API int32_t isOpen(int32_t h) { return Record("isOpen", Args(h), 1); }
RECORDER_API int32_t getDeviceId(int32_t h) { return Record("getDeviceId", Args(h), 10); }
RECORDER_API int32_t directIO(int32_t h, const uint8_t*, int32_t n) { return Record("directIO", Args(h, n)); }
RECORDER_API int32_t convertHID(int32_t h, int32_t c) { return Record("convertHID", Args(h, c)); }
RECORDER_API int32_t getResult(int32_t h) { return Record("getResult", Args(h)); }
RECORDER_API int32_t setStatusUpdateEvent(int32_t h, ZamoStatusCallback) {
    return Record("setStatusUpdateEvent", Args(h));
}
RECORDER_API int32_t setDataEvent(int32_t h, ZamoDataCallback) { return Record("setDataEvent", Args(h)); }
RECORDER_API int32_t getVexalName(int32_t h, ZamoText* t) {
    const int32_t r = Record("getVexalName", Args(h));
    AssignText("getVexalName", t, u"_VX-STAND-IN");
    return r;
}
RECORDER_API int32_t getVexalVersion(int32_t h, ZamoText* t) {
    const int32_t r = Record("getVexalVersion", Args(h));
    AssignText("getVexalVersion", t, u"9.99");
    return r;
}
RECORDER_API int32_t getUsbList(int32_t h, ZamoText*) { return Record("getUsbList", Args(h)); }
RECORDER_API int32_t getUsbInfo(int32_t h, int32_t id, ZamoText* v, ZamoText* p) {
    const int32_t r = Record("getUsbInfo", Args(h, id));
    AssignText("getUsbInfo.vendor", v, u"5a4d");
    AssignText("getUsbInfo.product", p, u"0e28");
    return r;
}
RECORDER_API int32_t getDevIdList(int32_t h, uint8_t*, int32_t* count) {
    if (count != nullptr) *count = 0;
    return Record("getDevIdList", Args(h));
}
RECORDER_API int32_t getBluetoothConnectionMode(int32_t h, int32_t* m) {
    if (m != nullptr) *m = '1';
    return Record("getBluetoothConnectionMode", Args(h));
}
RECORDER_API int32_t getBluetoothName(int32_t h, ZamoText* t) {
    const int32_t r = Record("getBluetoothName", Args(h));
    AssignText("getBluetoothName", t, u"Stand-in");
    return r;
}
RECORDER_API int32_t getBluetoothPinCode(int32_t h, ZamoText* t) {
    const int32_t r = Record("getBluetoothPinCode", Args(h));
    AssignText("getBluetoothPinCode", t, u"0000");
    return r;
}
RECORDER_API int32_t getBluetoothAuthentication(int32_t h, int32_t* e) {
    if (e != nullptr) *e = '0';
    return Record("getBluetoothAuthentication", Args(h));
}
RECORDER_API int32_t setBluetoothInfo(int32_t h, uint8_t m, const char16_t* n, const char16_t* p, uint8_t e) {
    return Record("setBluetoothInfo", Args(h, m) + "," + Utf8(n) + "," + Utf8(p) + "," + std::to_string(e));
}
RECORDER_API int32_t getBluetoothAutoConnection(int32_t h, uint8_t* a) {
    if (a != nullptr) *a = 0;
    return Record("getBluetoothAutoConnection", Args(h));
}
RECORDER_API int32_t setBluetoothAutoConnection(int32_t h, int32_t on) {
    return Record("setBluetoothAutoConnection", Args(h, on));
}
RECORDER_API int32_t getLanInfo(int32_t h, uint8_t* b) {
    if (b != nullptr) std::memset(b, 0, 30);
    return Record("getLanInfo", Args(h));
}
RECORDER_API int32_t setLanInfo(int32_t h, const uint8_t*, int32_t n, uint8_t* s) {
    if (s != nullptr) *s = 0;
    return Record("setLanInfo", Args(h, n));
}
RECORDER_API int32_t getWlanInfo(int32_t h, uint8_t* b) {
    if (b != nullptr) std::memset(b, 0, 592);
    return Record("getWlanInfo", Args(h));
}
RECORDER_API int32_t setWlanInfo(int32_t h, const uint8_t*, int32_t n, uint8_t* reply) {
    if (reply != nullptr) std::memset(reply, 0, 20);
    return Record("setWlanInfo", Args(h, n));
}
RECORDER_API int32_t getSerialConfiguration(int32_t h, uint8_t id, uint8_t* b, uint8_t* d, uint8_t* s, uint8_t* p) {
    for (uint8_t* o : {b, d, s, p})
        if (o != nullptr) *o = 0;
    return Record("getSerialConfiguration", Args(h, id));
}
RECORDER_API int32_t setSerialConfiguration(int32_t h, uint8_t id, uint8_t b, uint8_t d, uint8_t s, uint8_t p) {
    return Record("setSerialConfiguration", Args(h, id) + "," + Args(b, d) + "," + Args(s, p));
}
RECORDER_API int32_t getCustomDeviceList(int32_t h, uint8_t type, ZamoText*) {
    return Record("getCustomDeviceList", Args(h, type));
}
RECORDER_API int32_t addCustomDevice(int32_t h, uint8_t type, const char16_t* v, const char16_t* p) {
    return Record("addCustomDevice", Args(h, type) + "," + Utf8(v) + "," + Utf8(p));
}
RECORDER_API int32_t deleteCustomDevice(int32_t h, uint8_t type, const char16_t* v, const char16_t* p) {
    return Record("deleteCustomDevice", Args(h, type) + "," + Utf8(v) + "," + Utf8(p));
}
RECORDER_API int32_t resetCustomDeviceList(int32_t h, uint8_t type) {
    return Record("resetCustomDeviceList", Args(h, type));
}
RECORDER_API int32_t getTelnetAvailable(int32_t h, uint8_t* a) {
    if (a != nullptr) *a = 1;
    return Record("getTelnetAvailable", Args(h));
}
RECORDER_API int32_t setTelnetAvailable(int32_t h, int32_t on) { return Record("setTelnetAvailable", Args(h, on)); }
RECORDER_API int32_t getSNMPAvailable(int32_t h, uint8_t* a) {
    if (a != nullptr) *a = 1;
    return Record("getSNMPAvailable", Args(h));
}
RECORDER_API int32_t setSNMPAvailable(int32_t h, int32_t on) { return Record("setSNMPAvailable", Args(h, on)); }
RECORDER_API int32_t getSNMPROCommunity(int32_t h, ZamoText* t) {
    const int32_t r = Record("getSNMPROCommunity", Args(h));
    AssignText("getSNMPROCommunity", t, u"public");
    return r;
}
RECORDER_API int32_t setSNMPROCommunity(int32_t h, const char16_t* c) {
    return Record("setSNMPROCommunity", Args(h) + "," + Utf8(c));
}
RECORDER_API int32_t getSNMPRWCommunity(int32_t h, ZamoText* t) {
    const int32_t r = Record("getSNMPRWCommunity", Args(h));
    AssignText("getSNMPRWCommunity", t, u"private");
    return r;
}
RECORDER_API int32_t setSNMPRWCommunity(int32_t h, const char16_t* c) {
    return Record("setSNMPRWCommunity", Args(h) + "," + Utf8(c));
}
#ifndef VEXAL_RECORDER_WITHOUT_USAGE_STATUS
RECORDER_API int32_t getInterfaceUsageStatus(int32_t h, int32_t* u, int32_t* b, int32_t* l, int32_t* w) {
    // The values the caller preset are recorded, then left as they were.
    std::string args = Args(h);
    for (int32_t* o : {u, b, l, w}) args += "," + (o != nullptr ? std::to_string(*o) : std::string("null"));
    return Record("getInterfaceUsageStatus", args);
}
#endif
RECORDER_API int32_t setInterfaceUsageStatus(int32_t h, int32_t u, int32_t b, int32_t l, int32_t w, int32_t*) {
    return Record("setInterfaceUsageStatus", Args(h, u) + "," + Args(b, l) + "," + Args(w));
}
