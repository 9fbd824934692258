#include "FaultSession.h"

#include "client/CfgEntryPoints.h"
#include "ThreadCount.h"

#include <libusb.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace faults_test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kEchoDevice = 10;
constexpr size_t kWlanBlockSize = 592;
// closeService wakes every thread at once and takes about one 100 ms pause;
// a wait it failed to wake would hold it for a second or two.
constexpr int kCloseLimitMs = 1500;
constexpr int kThreadsEndLimitMs = 3000;

int ElapsedMs(Clock::time_point start) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// What the data callback delivered; a plain function pointer has no context.
std::mutex g_dataLock;
std::u16string g_strReceived;  // guarded by g_dataLock

void OnData(const char16_t* pszText) {
    std::lock_guard lock(g_dataLock);
    g_strReceived += pszText;
}

size_t ReceivedLength() {
    std::lock_guard lock(g_dataLock);
    return g_strReceived.size();
}

std::u16string Widen(const std::string& str) { return std::u16string(str.begin(), str.end()); }

std::string HexOf(const uint8_t* p, size_t n) {
    std::string out;
    char digits[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", p[i]);
        out += digits;
    }
    return out;
}

// Numbered pieces, so a lost, doubled or reordered piece shows where.
std::string NumberedText(size_t nBytes) {
    std::string out;
    char piece[8];
    for (unsigned i = 0; out.size() < nBytes; ++i) {
        std::snprintf(piece, sizeof piece, "%04u,", i % 10000);
        out += piece;
    }
    out.resize(nBytes);
    return out;
}

std::filesystem::path MakeTempDir() {
    std::string strTemplate = (std::filesystem::temp_directory_path() / "vexal-faults-XXXXXX").string();
    if (::mkdtemp(strTemplate.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
    return strTemplate;
}

// "10:echo:1234:5678 20:hid:5A4D:1200" -> u"1234&5678,5a4d&1200,".
std::u16string UsbListOf(const std::string& strDevices) {
    std::u16string out;
    size_t nPos = 0;
    while (nPos < strDevices.size()) {
        size_t nEnd = strDevices.find(' ', nPos);
        if (nEnd == std::string::npos) nEnd = strDevices.size();
        const std::string strEntry = strDevices.substr(nPos, nEnd - nPos);
        const size_t nPid = strEntry.rfind(':');
        const size_t nVid = strEntry.rfind(':', nPid - 1);
        std::string strIds = strEntry.substr(nVid + 1, nPid - nVid - 1) + "&" + strEntry.substr(nPid + 1) + ",";
        for (char& c : strIds) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out += Widen(strIds);
        nPos = nEnd + 1;
    }
    return out;
}

// One log folder for the process: the library fixes it at its first line.
const std::string& LogDir() {
    static const std::string s_strDir = MakeTempDir().string();
    return s_strDir;
}

void RemoveLogDir() {
    std::error_code error;
    std::filesystem::remove_all(LogDir(), error);
}

void SetOrClearEnv(const char* pszName, bool bSet, const std::string& strValue) {
    if (bSet)
        ::setenv(pszName, strValue.c_str(), 1);
    else
        ::unsetenv(pszName);
}

// Whether libusb lists the emulated hub. libusb learns of devices coming and
// going on one thread for the whole process, which brings each change to
// every context, newest first: this context, made before the libraries'
// ones, sees a change last.
bool EmulatedHubListed() {
    static libusb_context* s_pContext = [] {
        libusb_context* pContext = nullptr;
        return libusb_init(&pContext) == LIBUSB_SUCCESS ? pContext : nullptr;
    }();
    libusb_device** pList = nullptr;
    if (s_pContext == nullptr || libusb_get_device_list(s_pContext, &pList) < 0) return false;
    bool bListed = false;
    for (libusb_device** p = pList; *p != nullptr; ++p) {
        libusb_device_descriptor descriptor{};
        uint8_t ports[7];
        if (libusb_get_device_descriptor(*p, &descriptor) == LIBUSB_SUCCESS && descriptor.idVendor == 0x5A4D &&
            libusb_get_bus_number(*p) == 1 && libusb_get_port_numbers(*p, ports, sizeof ports) == 1 && ports[0] == 1)
            bListed = true;
    }
    libusb_free_device_list(pList, 1);
    return bListed;
}

}  // namespace

CFaultSession::CFaultSession(ELink eLink) : m_eLink(eLink), m_dir(MakeTempDir()) {
    // Read by the libraries when they need them, so each test picks its link here.
    static const bool s_bLogDirSet = [] {
        ::setenv("VEXAL_LOG_DIR", LogDir().c_str(), 1);
        return std::atexit(RemoveLogDir) == 0;
    }();
    (void)s_bLogDirSet;
    // The bus gets a folder of its own: it reads every descriptor file there.
    // Under usbfs_emulator the hub is a usbfs device instead, which libusb
    // reaches; the emulator names the folder it watches.
    const char* pszEmulatedBus = std::getenv("VEXAL_USBFS_SIM_DIR");
    const std::filesystem::path usbDir = pszEmulatedBus != nullptr ? pszEmulatedBus : m_dir / "usb";
    std::filesystem::create_directories(usbDir);
    SetOrClearEnv("VEXAL_DEVICE_DIR", eLink == ELink::Pty, m_dir.string());
    SetOrClearEnv("VEXAL_USB_SIM_DIR", eLink == ELink::Usb && pszEmulatedBus == nullptr, usbDir.string());

    SHubSimOptions options;
    options.strStateFile = (m_dir / "hub.json").string();
    options.bPty = eLink == ELink::Pty;
    if (options.bPty) options.strComLink = (m_dir / "COM5").string();
    if (eLink == ELink::Usb) options.strUsbSimDir = usbDir.string();
    m_pHub = std::make_unique<CHubSimFixture>(options);
    if (pszEmulatedBus != nullptr && !WaitForEmulatedHub(true))
        throw std::runtime_error("the hub did not appear on the emulated bus");
    Control("PLUG " + std::to_string(kEchoDevice) + " echo");
    m_strUsbList = UsbListOf(Control("DEVICES"));
    if (!m_api.Load()) throw std::runtime_error(m_api.LastError());
}

CFaultSession::~CFaultSession() {
    if (m_bOpen) m_api.Fn().m_pfn_closeService(m_nHandle, 0);
    m_pHub.reset();  // it writes its state file on the way out
    std::error_code error;
    std::filesystem::remove_all(m_dir, error);
}

std::string CFaultSession::Control(const std::string& strLine) {
    const std::string strAnswer = m_pHub->Control(strLine);
    EXPECT_EQ(strAnswer.rfind("OK", 0), 0u) << strLine << " -> " << strAnswer;
    return strAnswer.size() > 3 ? strAnswer.substr(3) : std::string();
}

void CFaultSession::Open() {
    if (m_nHandle == 0) {
        // ThreadSanitizer's runtime starts a helper with the process's first
        // thread: have it counted before the session's threads are. A joined
        // thread can still be listed for a moment: count once the list is still.
        std::thread([] {}).join();
        m_nThreadsBefore = ProcessThreadCount();
        for (int i = 0; i < 50; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const size_t nNow = ProcessThreadCount();
            if (nNow == m_nThreadsBefore) break;
            m_nThreadsBefore = nNow;
        }
    }
    std::u16string strPort;
    int32_t nInterface = ZAMO_IF_USB;
    if (m_eLink == ELink::Tcp) {
        nInterface = ZAMO_IF_ETHERNET;
        strPort = Widen(m_pHub->Address() + ":" + std::to_string(m_pHub->Port()));
    } else if (m_eLink == ELink::Pty) {
        nInterface = ZAMO_IF_SERIAL;
        strPort = u"COM5";
    }
    m_nHandle = m_api.Fn().m_pfn_selectInterface(nInterface, strPort.c_str());
    ASSERT_GT(m_nHandle, 0);
    m_api.Fn().m_pfn_setDataEvent(m_nHandle, &OnData);
    ASSERT_EQ(m_api.Fn().m_pfn_openService(m_nHandle), kEchoDevice);
    m_bOpen = true;
}

void CFaultSession::CloseAndExpectNoThreadsLeft() {
    ASSERT_TRUE(m_bOpen);
    ExpectCode(
        0, 0, kCloseLimitMs, [&] { return m_api.Fn().m_pfn_closeService(m_nHandle, 0); }, "closeService");
    m_bOpen = false;
    const auto start = Clock::now();
    while (ProcessThreadCount() > m_nThreadsBefore && ElapsedMs(start) < kThreadsEndLimitMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ProcessThreadCount(), m_nThreadsBefore) << "threads of the session left after closeService";
}

void CFaultSession::ExpectCode(int32_t nCode, int nMinMs, int nMaxMs, const std::function<int32_t()>& fnCall,
                               const std::string& strWhat) {
    const auto start = Clock::now();
    const int32_t nResult = fnCall();
    const int nTook = ElapsedMs(start);
    EXPECT_EQ(nResult, nCode) << strWhat;
    EXPECT_GE(nTook, nMinMs) << strWhat;
    EXPECT_LE(nTook, nMaxMs) << strWhat;
}

int32_t CFaultSession::QueryUsbList() {
    std::vector<char16_t> storage(512);
    ZamoText list{storage.data(), static_cast<uint32_t>(storage.size()), 0};
    const int32_t nResult = m_api.Fn().m_pfn_getUsbList(m_nHandle, &list);
    if (nResult == ZAMO_SUCCESS) {
        EXPECT_TRUE(std::u16string(list.data, list.length) == m_strUsbList)
            << "a reply pieced together from two links or two replies";
    }
    return nResult;
}

void CFaultSession::ExpectQueryTimesOut(const std::string& strWhat) {
    ExpectCode(
        ZAMO_E_TIMEOUT, kQueryTimeoutMs - 100, kQueryTimeoutMs + kLateSlackMs, [&] { return QueryUsbList(); }, strWhat);
}

bool CFaultSession::WaitUntilAnswered(int nLimitMs) {
    const auto start = Clock::now();
    for (;;) {
        const auto attempt = Clock::now();
        const int32_t nResult = QueryUsbList();
        if (nResult == ZAMO_SUCCESS) return true;
        const int nTook = ElapsedMs(attempt);
        EXPECT_EQ(nResult, ZAMO_E_TIMEOUT) << "while the link is down";
        EXPECT_GE(nTook, kQueryTimeoutMs - 100);
        EXPECT_LE(nTook, kQueryTimeoutMs + kLateSlackMs);
        if (ElapsedMs(start) > nLimitMs) return false;
    }
}

bool CFaultSession::WaitForEmulatedHub(bool bPresent) {
    const auto start = Clock::now();
    while (EmulatedHubListed() != bPresent) {
        if (ElapsedMs(start) > kThreadsEndLimitMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool CFaultSession::WaitForUsbConnections(int nCount, int nLimitMs) {
    const std::string strWanted = "OK " + std::to_string(nCount);
    const auto start = Clock::now();
    while (m_pHub->Control("USB CONNECTIONS") != strWanted) {
        if (ElapsedMs(start) > nLimitMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void CFaultSession::ExpectDataIntact(size_t nEchoBytes) {
    // A value the hub did not hold before: a stale block cannot pass.
    Control("SET wlan.ssid Round" + std::to_string(++m_nDataRound) + "-" + std::to_string(m_nHandle));
    uint8_t block[kWlanBlockSize] = {};
    EXPECT_EQ(m_api.Fn().m_pfn_getWlanInfo(m_nHandle, block), ZAMO_SUCCESS);
    EXPECT_EQ(HexOf(block, sizeof block), Control("GET wlan.block")) << "the WLAN block as the hub holds it";
    ExpectEcho(NumberedText(nEchoBytes), 5000);
}

void CFaultSession::ExpectEcho(const std::string& strData, int nLimitMs) {
    {
        std::lock_guard lock(g_dataLock);
        g_strReceived.clear();
    }
    const auto* pBytes = reinterpret_cast<const uint8_t*>(strData.data());
    EXPECT_EQ(m_api.Fn().m_pfn_directIO(m_nHandle, pBytes, static_cast<int32_t>(strData.size())), ZAMO_SUCCESS);
    const auto start = Clock::now();
    while (ReceivedLength() < strData.size() && ElapsedMs(start) < nLimitMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard lock(g_dataLock);
    EXPECT_TRUE(g_strReceived == Widen(strData)) << "echo of " << strData.size() << " bytes came back as "
                                                 << g_strReceived.size() << " characters, or out of order";
}

}  // namespace faults_test
