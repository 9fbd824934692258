// The Win32 backends of the platform layer, run under Wine (or Windows):
// sockets and the network port's link watch, ICMP, the interface list, the
// log folder, backup files, the ANSI code page, loading by name, the
// parallel status rule, the device setup enumerations and a serial port that
// is a simulator's pty.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "HubSimFixture.h"
#include "common/VQTLog.h"
#include "include/zamoport.h"
#include "platform/BluetoothStack.h"
#include "platform/DeviceNames.h"
#include "platform/DynLib.h"
#include "platform/FileSys.h"
#include "platform/Icmp.h"
#include "platform/NetInterfaces.h"
#include "platform/Parallel.h"
#include "platform/Process.h"
#include "platform/Serial.h"
#include "platform/Socket.h"
#include "platform/TextCodec.h"
#include "platform/TextFile.h"
#include "platform/Usb.h"
#include "platform/WakeSignal.h"
#include "platform/win32/ParallelStatus.h"
#include "portlib/PingCheck.h"

using namespace vexal;
using namespace vexal::platform;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A listening socket on 127.0.0.1 for the client side under test.
struct SListener {
    SOCKET s = INVALID_SOCKET;
    uint16_t wPort = 0;
    SListener() {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(kLoopback);
        int nLen = sizeof sa;
        bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        listen(s, 4);
        getsockname(s, reinterpret_cast<sockaddr*>(&sa), &nLen);
        wPort = ntohs(sa.sin_port);
    }
    ~SListener() { closesocket(s); }
    SOCKET Accept() { return accept(s, nullptr, nullptr); }
};

std::wstring TempFolder(const wchar_t* pszName) {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    std::wstring path = std::wstring(base) + pszName + std::to_wstring(GetCurrentProcessId());
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

std::string Utf8(const std::wstring& text) {
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The SIDs the access list of a file grants rights to, as texts.
std::vector<std::wstring> AceSids(const std::filesystem::path& path) {
    std::vector<std::wstring> sids;
    PACL pDacl = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &pDacl,
                              nullptr, &pDescriptor) != ERROR_SUCCESS)
        return sids;
    for (DWORD i = 0; pDacl != nullptr && i < pDacl->AceCount; ++i) {
        void* pAce = nullptr;
        wchar_t* pszSid = nullptr;
        if (GetAce(pDacl, i, &pAce) && static_cast<ACE_HEADER*>(pAce)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
            ConvertSidToStringSidW(&static_cast<ACCESS_ALLOWED_ACE*>(pAce)->SidStart, &pszSid)) {
            sids.emplace_back(pszSid);
            LocalFree(pszSid);
        }
    }
    LocalFree(pDescriptor);
    return sids;
}

std::wstring UserSid() {
    HANDLE hToken = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    std::vector<unsigned char> user(256);
    DWORD dwSize = 0;
    std::wstring sid;
    wchar_t* pszSid = nullptr;
    if (GetTokenInformation(hToken, TokenUser, user.data(), static_cast<DWORD>(user.size()), &dwSize) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &pszSid)) {
        sid = pszSid;
        LocalFree(pszSid);
    }
    CloseHandle(hToken);
    return sid;
}

}  // namespace

TEST(Win32Sockets, ConnectReadCloseNotificationWakeAndRefusal) {
    // Dotted-decimal addresses as inet_pton takes them, and nothing else.
    EXPECT_EQ(ParseIPv4("192.168.0.10"), std::optional<uint32_t>(0xC0A8000A));
    for (const char* psz : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "01.2.3.4", "1.2.3.4 ", "1..3.4", "1.2.3.-4"})
        EXPECT_FALSE(ParseIPv4(psz)) << psz;
    SListener listener;
    CTcpSocket socket;
    ASSERT_EQ(socket.Create(), 0);
    ASSERT_EQ(socket.StartConnect(kLoopback, listener.wPort), 0);  // 10035 counts as under way
    int nErr = 0;
    ASSERT_EQ(socket.WaitWritable(2000, nullptr, nErr), ESocketWait::Ready) << nErr;
    SOCKET peer = listener.Accept();
    ASSERT_NE(peer, INVALID_SOCKET);

    // The peer's last bytes and its close: the close shows only once they are read.
    send(peer, "abc", 3, 0);
    shutdown(peer, SD_SEND);
    ASSERT_EQ(socket.WaitReadable(2000, nullptr, nErr), ESocketWait::Ready);
    Sleep(50);
    bool bClosed = true;
    int nCloseErr = -1;
    ASSERT_EQ(socket.PeerClosed(bClosed, nCloseErr), 0);
    EXPECT_FALSE(bClosed) << "a reply waiting behind the close must not be thrown away";
    uint8_t buffer[16] = {};
    ASSERT_EQ(socket.Receive(buffer, sizeof buffer, nErr), 3);
    EXPECT_EQ(std::memcmp(buffer, "abc", 3), 0);
    ASSERT_EQ(socket.PeerClosed(bClosed, nCloseErr), 0);
    EXPECT_TRUE(bClosed);
    EXPECT_EQ(nCloseErr, 0);
    closesocket(peer);

    // A wait on a silent connection ends at once on the wake signal.
    CTcpSocket quiet;
    ASSERT_EQ(quiet.Create(), 0);
    ASSERT_EQ(quiet.StartConnect(kLoopback, listener.wPort), 0);
    ASSERT_EQ(quiet.WaitWritable(2000, nullptr, nErr), ESocketWait::Ready);
    SOCKET quietPeer = listener.Accept();
    CWakeSignal wake;
    std::thread waker([&] {
        Sleep(200);
        wake.Set();
    });
    const auto start = Clock::now();
    EXPECT_EQ(quiet.WaitReadable(5000, &wake, nErr), ESocketWait::Woken);
    EXPECT_GE(MsSince(start), 150);
    EXPECT_LT(MsSince(start), 1500);
    waker.join();
    // After a shutdown every call fails as "not a socket": the specified 10038.
    EXPECT_EQ(SocketErrorNotSocket(), 10038);
    EXPECT_EQ(SocketErrorWouldBlock(), 10035);
    quiet.Shutdown();
    EXPECT_EQ(quiet.Receive(buffer, sizeof buffer, nErr), -1);
    EXPECT_EQ(nErr, 10038);
    closesocket(quietPeer);

    // Nobody listens any more: the connect fails as an exception, not a connection.
    const uint16_t wClosedPort = listener.wPort;
    closesocket(listener.s);
    listener.s = INVALID_SOCKET;
    CTcpSocket refused;
    ASSERT_EQ(refused.Create(), 0);
    ASSERT_EQ(refused.StartConnect(kLoopback, wClosedPort), 0);
    EXPECT_EQ(refused.WaitWritable(3000, nullptr, nErr), ESocketWait::Exception);
    EXPECT_EQ(nErr, WSAECONNREFUSED);
}

TEST(Win32Icmp, EchoOnLoopbackByTheSystemPathAndTheHelperApi) {
    int nErr = 0;
    auto pDefault = OpenIcmpEndpoint(nErr);
    ASSERT_TRUE(pDefault) << "no ICMP path at all, error " << nErr;
    auto pHelper = OpenIcmpEndpoint(EIcmpPath::HelperApi, nErr);
    ASSERT_TRUE(pHelper) << "the helper API needs no privilege, error " << nErr;
    std::cout << "ICMP path of this process: " << IcmpPathName(pDefault->Path()) << "\n";
    uint16_t wId = 0x3A00;
    for (IIcmpEndpoint* pEndpoint : {pDefault.get(), pHelper.get()}) {
        SCOPED_TRACE(IcmpPathName(pEndpoint->Path()));
        const EchoRequest request = BuildEchoRequest(++wId);
        ASSERT_EQ(pEndpoint->SendTo(request, kLoopback), 0);
        // Other datagrams (a raw socket sees its own request) are read past.
        bool bValid = false;
        const auto start = Clock::now();
        while (!bValid && MsSince(start) < 1000) {
            uint8_t datagram[1500] = {};
            size_t nLength = 0;
            uint32_t dwSource = 0;
            if (pEndpoint->Receive(datagram, nLength, dwSource, 1000, nullptr, nErr) != EIcmpWait::Received) break;
            bValid = ValidateEchoReply(std::span<const uint8_t>(datagram, nLength), dwSource, kLoopback, wId) ==
                     EEchoReply::Valid;
        }
        EXPECT_TRUE(bValid);
    }
    // Nothing more comes: a wait ends on the wake signal, not at its limit.
    CWakeSignal wake;
    std::thread waker([&] {
        Sleep(100);
        wake.Set();
    });
    uint8_t datagram[1500];
    size_t nLength = 0;
    uint32_t dwSource = 0;
    const auto start = Clock::now();
    const EIcmpWait wait = pHelper->Receive(datagram, nLength, dwSource, 3000, &wake, nErr);
    waker.join();
    EXPECT_TRUE(wait == EIcmpWait::TimedOut || wait == EIcmpWait::Woken);
    EXPECT_LT(MsSince(start), 1500);
}

// The network port through zamoport.dll loaded by name: connect, a query
// answered, the hub dropping the connection noticed and the link rebuilt
// (which takes a good echo check), and a close that does not wait out the
// reader's 2 s data wait.
TEST(Win32LinkWatch, NetworkPortReconnectsAfterTheHubDropsItAndClosesAtOnce) {
    static const int s_anchor = 0;
    CDynLib lib;
    ASSERT_TRUE(lib.Load("zamoport.dll", &s_anchor)) << lib.LastError();
#define BIND(name)                                                               \
    const auto p##name = reinterpret_cast<decltype(&::name)>(lib.Symbol(#name)); \
    ASSERT_NE(p##name, nullptr)
    BIND(CreatePort);
    BIND(SetDeviceOption);
    BIND(OpenPort);
    BIND(ClosePort);
    BIND(RemovePort);
    BIND(Write);
    BIND(Read);
    BIND(Clear);
#undef BIND
    CHubSimFixture hub;
    const uint32_t dwPort = pCreatePort(u"127.0.0.1", 10);
    ASSERT_GE(dwPort, 10000u);
    DeviceOption option{};
    option.portName = u"127.0.0.1";
    option.portType = ZAMO_PORT_NET;
    option.speed = hub.Port();
    ASSERT_EQ(pSetDeviceOption(option, dwPort, 0), 1u);
    ASSERT_EQ(pOpenPort(dwPort, 0), 1u);

    const uint8_t modelQuery[] = {'V', 'Q', 'T', 0x00, 0x00, 0x01, 0x50};
    auto askModel = [&](uint32_t dwWaitMs) {
        const auto start = Clock::now();
        while (MsSince(start) < dwWaitMs) {
            pClear(dwPort, 0);
            if (pWrite(modelQuery, sizeof modelQuery, dwPort) == static_cast<int32_t>(sizeof modelQuery)) {
                uint8_t reply[64] = {};
                const uint32_t n = pRead(reply, 13, 1500, dwPort, 0);
                if (n >= 13 && std::memcmp(reply + 2, "VX-H400_VXL", 11) == 0) return true;
            }
            Sleep(200);
        }
        return false;
    };
    EXPECT_TRUE(askModel(5000));
    EXPECT_EQ(hub.Control("KICK"), "OK");
    // Close seen, 2.5 s pause, an echo check, a new connection.
    EXPECT_TRUE(askModel(15000)) << "the link was not rebuilt";

    Sleep(300);  // the reader is now in its wait for data
    const auto start = Clock::now();
    pClosePort(dwPort, 0);
    EXPECT_LT(MsSince(start), 1500);
    EXPECT_EQ(pRemovePort(dwPort), 0u);
}

// Only read: the search for hubs takes its default range from this list.
TEST(Win32NetInterfaces, AdaptersListLoopbackWithItsPrefix) {
    const auto list = ListIpv4Interfaces();
    const auto it =
        std::find_if(list.begin(), list.end(), [](const SIpv4Interface& i) { return i.dwAddress == 0x7F000001u; });
    ASSERT_NE(it, list.end()) << "127.0.0.1 not listed among " << list.size() << " addresses";
    EXPECT_TRUE(it->bLoopback);
    EXPECT_EQ(it->nPrefix, 8);
}

TEST(Win32Log, LogAndCaptureFilesUnderAFolderNamedOutsideTheCodePage) {
    EXPECT_EQ(DefaultLogDirectory(), "") << "no folder: the log path begins at the current drive's root";
    const std::wstring folder = TempFolder(L"Vexal \u00DCber \u30ED\u30B0 ");
    ASSERT_EQ(_wputenv_s(L"VEXAL_LOG_DIR", folder.c_str()), 0);
    {
        CVQTPortLogger log;
        log.Initialise(false, u"", u"Port");
        log.WriteLog(kLogInfo, "disabled: not written");
        log.WriteLog(kLogForced, "forced %d", {42});
        log.InitCapture(true, u"", u"EthPRN");
        const uint8_t bytes[] = {0x56, 0x51, 0x54, 0x00, 0xFF};
        log.WriteCapture(bytes, sizeof bytes);
        log.CloseCapture();
    }
    _wputenv_s(L"VEXAL_LOG_DIR", L"");
    std::vector<std::filesystem::path> logs, captures;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder) / L"VQTLog"))
        (entry.path().extension() == L".log" ? logs : captures).push_back(entry.path());
    ASSERT_EQ(logs.size(), 1u);
    ASSERT_EQ(captures.size(), 1u);
    EXPECT_EQ(logs[0].filename().wstring().rfind(L"Port_Mon_", 0), 0u);
    EXPECT_EQ(captures[0].filename().wstring().rfind(L"EthPRN_", 0), 0u);
    auto readAll = [](const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), {});
    };
    const std::string strLog = readAll(logs[0]);
    std::u16string text(strLog.size() / 2, u'\0');
    std::memcpy(text.data(), strLog.data(), text.size() * 2);
    // UTF-16LE without a byte-order mark, one CR LF line, the forced line only.
    EXPECT_EQ(text.rfind(u"- (", 0), 0u);
    EXPECT_NE(text.find(u") !ERROR: forced 42\r\n"), std::u16string::npos)
        << Utf8(std::wstring(text.begin(), text.end()));
    EXPECT_EQ(text.find(u"disabled"), std::u16string::npos);
    EXPECT_EQ(readAll(captures[0]), std::string("VQT\0\xFF", 5));
    std::filesystem::remove_all(folder);
}

TEST(Win32TextFile, WrittenThroughANewFileOfItsOwnNeverOnePlantedAndOnlyForItsOwner) {
    const std::filesystem::path folder = TempFolder(L"Vexal backup \u00DC ");
    const std::filesystem::path file = folder / L"hub \u00E9.json";
    auto readAll = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    };
    auto names = [&] {
        std::vector<std::wstring> list;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) list.push_back(entry.path().filename());
        std::sort(list.begin(), list.end());
        return list;
    };
    // A file planted where a writer could guess the temporary name (this
    // writer once used it) is never opened: CREATE_NEW on a name of its own.
    const std::filesystem::path planted =
        folder / (file.filename().wstring() + L".tmp" + std::to_wstring(GetCurrentProcessId()));
    std::ofstream(planted, std::ios::binary) << "planted";
    std::string e;
    ASSERT_TRUE(WriteTextFile(Utf8(file.wstring()), "secret 1", e)) << e;
    ASSERT_TRUE(WriteTextFile(Utf8(file.wstring()), "secret 2", e)) << e;
    EXPECT_EQ(readAll(file), "secret 2");
    EXPECT_EQ(readAll(planted), "planted");
    EXPECT_EQ(names(), (std::vector<std::wstring>{file.filename(), planted.filename()}));
    // A failed write (the name is a folder) leaves no temporary file.
    std::filesystem::create_directory(folder / L"taken");
    EXPECT_FALSE(WriteTextFile(Utf8((folder / L"taken").wstring()), "x", e));
    EXPECT_NE(e.find(": cannot write: "), std::string::npos) << e;
    EXPECT_EQ(names().size(), 3u);
    // Its rights are the user's alone (and the system's, which Wine adds),
    // not what a file made the ordinary way inherits from the folder.
    const std::vector<std::wstring> sids = AceSids(file), inherited = AceSids(planted);
    const std::wstring user = UserSid(), system = L"S-1-5-18";
    EXPECT_NE(std::find(sids.begin(), sids.end(), user), sids.end());
    for (const auto& sid : sids) EXPECT_TRUE(sid == user || sid == system) << Utf8(sid);
    EXPECT_TRUE(std::any_of(inherited.begin(), inherited.end(), [&](const auto& sid) {
        return sid != user && sid != system;
    })) << "the folder lets others in";
    std::filesystem::remove_all(folder);
}

TEST(Win32Text, AnsiCodePageBothWaysWithoutBestFit) {
    ASSERT_EQ(AnsiCodePageName(), "CP1252") << "these cases are written for the Western code page";
    // Every byte, undefined ones included, comes back as it went.
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::u16string wide = Utf16FromAnsi(all);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[0x80], u'\u20AC');
    EXPECT_EQ(wide[0x81], u'\u0081');
    EXPECT_EQ(wide[0xE9], u'\u00E9');
    EXPECT_EQ(AnsiFromUtf16(wide), all);
    // No look-alikes: A with macron is not A; a character beyond the first
    // plane is one '?', a lone surrogate one as well.
    EXPECT_EQ(AnsiFromUtf16(u"\u0100b\U0001F600c\xD800"), "?b?c?");
}

TEST(Win32DynLib, ByNameFromTheModuleFolderNeverFromTheCurrentDirectory) {
    static const int s_anchor = 0;
    EXPECT_EQ(HostProgramName(), u"win32_platform_tests.exe");
    EXPECT_EQ(PlatformLibraryName("ZamoCfg"), "ZamoCfg.dll");
    EXPECT_EQ(PlatformLibraryName("zamoport.dll"), "zamoport.dll");
    CDynLib lib;
    ASSERT_TRUE(lib.Load("ZamoCfg", &s_anchor)) << lib.LastError();
    EXPECT_NE(lib.Symbol("selectInterface"), nullptr);
    EXPECT_EQ(lib.Symbol("NoSuchEntry"), nullptr);
    wchar_t szThis[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szThis, MAX_PATH);
    const std::filesystem::path outDir = std::filesystem::path(szThis).parent_path();
    lib.Unload();

    // A DLL planted in a document folder that is the current directory.
    const std::wstring documents = TempFolder(L"vexal-documents");
    std::filesystem::copy_file(outDir / L"zamoport.dll", std::filesystem::path(documents) / L"planted.dll");
    wchar_t szOld[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, szOld);
    ASSERT_TRUE(SetCurrentDirectoryW(documents.c_str()));
    CDynLib planted;
    EXPECT_FALSE(planted.Load("planted.dll", &s_anchor)) << "loaded from the current directory";
    EXPECT_FALSE(planted.LastError().empty());
    // The same file named by its path loads: only the search refused it.
    CDynLib byPath;
    EXPECT_TRUE(byPath.Load(Utf8(documents + L"\\planted.dll"), &s_anchor)) << byPath.LastError();
    byPath.Unload();
    SetCurrentDirectoryW(szOld);
    std::filesystem::remove_all(documents);
}

TEST(Win32Parallel, DriverStatusJudgedByTheOnlineRule) {
    struct SCase {
        uint8_t byDriver;
        bool bOnline;
    };
    // Selected alone is on-line; busy, paper out, off line, power off, not
    // connected, or not selected are not.
    for (const SCase c : {SCase{0x80, true}, SCase{0xC0, false}, SCase{0x84, false}, SCase{0x88, false},
                          SCase{0x90, false}, SCase{0xA0, false}, SCase{0x00, false}, SCase{0x81, false}}) {
        const uint8_t byRegister = win32::ParallelRegisterFromDriverStatus(c.byDriver);
        EXPECT_EQ(IsParallelOnline(byRegister, kParallelStatusBits), c.bOnline) << std::hex << int{c.byDriver};
    }
    EXPECT_EQ(win32::ParallelRegisterFromDriverStatus(0x80), 0xD8);
    int nErr = 0;
    EXPECT_EQ(OpenParallelPort(u"lpt1", nErr), nullptr);
    EXPECT_EQ(nErr, ERROR_FILE_NOT_FOUND);
}

TEST(Win32DeviceSetup, PortNamesPortsClassAndUsbInterfaces) {
    EXPECT_EQ(ResolvePortName("COM5", "COM", ""), std::optional<std::string>("\\\\.\\COM5"));
    EXPECT_EQ(ResolvePortName("COM0", "COM", ""), std::nullopt);
    EXPECT_EQ(ResolvePortName("com5", "COM", ""), std::nullopt);
    uint32_t nLast = 0;
    for (const PortLink& link : ListPortLinks("COM")) {
        EXPECT_GT(link.nNumber, nLast) << "listed once each, by number";
        nLast = link.nNumber;
        EXPECT_EQ(link.strName, "COM" + std::to_string(link.nNumber));
    }
    EXPECT_EQ(HighestComNumber(), nLast);
    EXPECT_EQ(BluetoothStackOfPort(u"COM250"), 0u);
    for (const SUsbDeviceInfo& device : SystemUsbBus()->Enumerate()) {
        const auto parts = ParseUsbInterfacePath(device.strPath);
        ASSERT_TRUE(parts) << device.strPath;
        EXPECT_EQ(parts->wVendorId, device.wVendorId);
    }
    // Windows gives the instance part as it likes; the positions hold.
    const std::string strPath = "\\\\?\\USB#VID_5A4D&PID_005D#6&2C1A3E9F&0&2#{A5DCBF10-6530-11D2-901F-00C04FB951ED}";
    ASSERT_TRUE(ParseUsbInterfacePath(strPath));
    EXPECT_EQ(ParseUsbInterfacePath(strPath)->strLocation, "6&2C1A3E9F&0&2");
    EXPECT_FALSE(ParseUsbInterfacePath("\\\\?\\USB#VID_5A4D&PID_005D#ACOM1#{A5DCBF10-6530-11D2-901F-00C04FB951ED}"));
}

// A simulator's pty linked as COM5 in the Wine prefix: line settings,
// time-outs, a port without modem lines taken for a three-wire line, the
// receive wait that must not spin when the port's events come back empty,
// and a query answered.
TEST(Win32Serial, PtyServedAsCom5) {
    CHubSimFixture::Options options;
    options.bPty = true;
    options.strComLink = "COM5";
    CHubSimFixture hub(options);
    int nErr = 0;
    auto pPort = OpenSerialPort(u"COM5", nErr);
    ASSERT_TRUE(pPort) << "COM5 did not open, error " << nErr;
    const SSerialLinePlan plan = PlanSerialLine({9600, 8, 0, 0, 2});
    EXPECT_EQ(pPort->ApplyLine(plan), 0);
    SSerialLineState state;
    EXPECT_EQ(pPort->ReadLine(state), 0);
    EXPECT_EQ(state.dwBaud, 9600u);
    pPort->SetTimeouts({2, 0, 50, 10, 5000});
    EXPECT_EQ(pPort->Purge(true, true), 0);
    uint32_t dwBits = 0;
    ASSERT_TRUE(pPort->ModemStatus(dwBits, nErr)) << nErr;
    EXPECT_EQ(dwBits & (kModemCts | kModemDsr), kModemCts | kModemDsr);

    // Nothing arrives: the wait lasts its time and costs next to no CPU.
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel0, &user0);
    auto start = Clock::now();
    EXPECT_EQ(pPort->WaitReceive(400, nullptr, nErr), EDeviceIo::TimedOut);
    const long long nWaited = MsSince(start);
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel1, &user1);
    auto ticks = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    const uint64_t nCpuMs = (ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 10000;
    EXPECT_GE(nWaited, 350);
    EXPECT_LT(nWaited, 1500);
    EXPECT_LT(nCpuMs, 150u) << "the receive wait spun";
    CWakeSignal wake;
    std::thread waker([&] {
        Sleep(100);
        wake.Set();
    });
    start = Clock::now();
    EXPECT_EQ(pPort->WaitReceive(5000, &wake, nErr), EDeviceIo::Woken);
    EXPECT_LT(MsSince(start), 1500);
    waker.join();
    wake.Reset();

    const uint8_t modelQuery[] = {'V', 'Q', 'T', 0x00, 0x00, 0x01, 0x50};
    size_t nDone = 0;
    ASSERT_EQ(pPort->Write(modelQuery, sizeof modelQuery, nDone, &wake, nErr), EDeviceIo::Done) << nErr;
    EXPECT_EQ(nDone, sizeof modelQuery);
    std::string strReply;
    start = Clock::now();
    while (strReply.find("VX-H400_VXL") == std::string::npos && MsSince(start) < 3000) {
        if (pPort->WaitReceive(500, &wake, nErr) != EDeviceIo::Done) continue;
        uint32_t dwWaiting = 0;
        ASSERT_TRUE(pPort->WaitingBytes(dwWaiting, nErr));
        uint8_t buffer[256] = {};
        size_t nRead = 0;
        pPort->Read(buffer, std::min<uint32_t>(dwWaiting, sizeof buffer), nRead, &wake, nErr);
        strReply.append(reinterpret_cast<const char*>(buffer), nRead);
    }
    EXPECT_NE(strReply.find("VX-H400_VXL"), std::string::npos);
}
