#include "ZamoCfgClient.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace settings_test {

namespace {

std::string MakeLogDir() {
    std::string strTemplate = (std::filesystem::temp_directory_path() / "settings-log-XXXXXX").string();
    if (::mkdtemp(strTemplate.data()) == nullptr) throw std::runtime_error("cannot make a temporary log folder");
    return strTemplate;
}

void RemoveLogDir() {
    std::error_code error;
    std::filesystem::remove_all(SZamoCfgApi::LogDir(), error);
}

SZamoCfgApi Load() {
    // The library reads these when it first needs them: the code page the
    // tests' byte expectations are written for, and a log of our own.
    ::setenv("VEXAL_ANSI_CODEPAGE", "CP1252", 1);
    ::setenv("VEXAL_LOG", "1", 1);
    ::setenv("VEXAL_LOG_DIR", SZamoCfgApi::LogDir().c_str(), 1);
    std::atexit(RemoveLogDir);

    // By name, as a client would: the test program's rpath finds it next to
    // the program. Sanitizer runtimes intercept dlopen and lose that rpath,
    // so the program's own folder is tried explicitly after.
    void* pLibrary = ::dlopen("libZamoCfg.so", RTLD_NOW | RTLD_LOCAL);
    if (pLibrary == nullptr) {
        std::error_code error;
        const auto beside = std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "libZamoCfg.so";
        pLibrary = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (pLibrary == nullptr) throw std::runtime_error(std::string("dlopen libZamoCfg.so: ") + ::dlerror());
    SZamoCfgApi api;
#define SETTINGS_TEST_LOOKUP(name)                                             \
    api.name = reinterpret_cast<decltype(api.name)>(::dlsym(pLibrary, #name)); \
    if (api.name == nullptr) throw std::runtime_error("libZamoCfg.so does not export " #name);
    SETTINGS_TEST_EXPORTS(SETTINGS_TEST_LOOKUP)
#undef SETTINGS_TEST_LOOKUP
    return api;
}

std::string AnswerText(const std::string& strAnswer) {
    if (strAnswer.rfind("OK", 0) != 0) throw std::runtime_error("hub simulator refused: " + strAnswer);
    return strAnswer.size() > 3 ? strAnswer.substr(3) : std::string();
}

}  // namespace

const SZamoCfgApi& SZamoCfgApi::Get() {
    static const SZamoCfgApi s_api = Load();
    return s_api;
}

const std::string& SZamoCfgApi::LogDir() {
    static const std::string s_strDir = MakeLogDir();
    return s_strDir;
}

CTextOut::CTextOut(uint32_t nCapacity) : m_storage(nCapacity, u'\0') {
    m_text.data = m_storage.data();
    m_text.capacity = nCapacity;
    m_text.length = 0;
}

CHubSession::CHubSession(int32_t nCommandMode) : m_api(SZamoCfgApi::Get()), m_pHub(std::make_unique<CHubSimFixture>()) {
    const std::string strPort = "127.0.0.1:" + std::to_string(m_pHub->Port());
    const std::u16string strPortText(strPort.begin(), strPort.end());
    m_nHandle = m_api.selectInterface(ZAMO_IF_ETHERNET, strPortText.c_str());
    if (m_nHandle == 0) throw std::runtime_error("selectInterface refused " + strPort);
    if (nCommandMode != 0 && m_api.selectCommandMode(m_nHandle, nCommandMode) != 0)
        throw std::runtime_error("selectCommandMode refused");
    const int32_t nOpen = m_api.openService(m_nHandle);
    // A device ID (or 1) on success; the codes start at 1000.
    if (nOpen >= ZAMO_E_FAIL) throw std::runtime_error("openService failed with " + std::to_string(nOpen));
}

CHubSession::~CHubSession() {
    if (m_nHandle != 0) m_api.closeService(m_nHandle, 0);
}

std::string CHubSession::Control(const std::string& strLine) { return AnswerText(m_pHub->Control(strLine)); }

void CHubSession::ClearReceived() { Control("RX CLEAR"); }

std::vector<Bytes> CHubSession::Received(size_t nAtLeast, int nWaitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nWaitMs);
    for (;;) {
        std::vector<Bytes> payloads;
        std::istringstream words(Control("RX 0"));
        std::string strWord;
        while (words >> strWord) payloads.push_back(FromHex(strWord));
        if (payloads.size() >= nAtLeast || std::chrono::steady_clock::now() >= deadline) return payloads;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int32_t CHubSession::WithReply(uint8_t nCommand, const Bytes& reply, const std::function<int32_t()>& fn,
                               Bytes* pRequest) {
    Control("FAULT NOREPLY " + Hex({nCommand}));
    ClearReceived();
    auto result = std::async(std::launch::async, fn);
    const std::vector<Bytes> requests = Received(1, 5000);
    if (!requests.empty()) Control("SEND 0 " + Hex(reply));
    const int32_t nResult = result.get();
    Control("FAULT NOREPLY OFF");
    if (requests.empty()) {
        ADD_FAILURE() << "the hub never received command " << Hex({nCommand});
    } else if (pRequest != nullptr) {
        *pRequest = requests.front();
    }
    return nResult;
}

std::string Hex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string strHex;
    for (uint8_t n : bytes) {
        strHex += kDigits[n >> 4];
        strHex += kDigits[n & 15];
    }
    return strHex;
}

Bytes FromHex(const std::string& strHex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < strHex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(strHex.substr(i, 2), nullptr, 16)));
    return bytes;
}

int64_t ElapsedMs(const std::function<int32_t()>& fn, int32_t& nResult) {
    const auto start = std::chrono::steady_clock::now();
    nResult = fn();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

size_t CountLogLines(const std::string& strNeedle) {
    size_t nCount = 0;
    std::error_code error;
    const auto folder = std::filesystem::path(SZamoCfgApi::LogDir()) / "VQTLog";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() != ".log") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string strRaw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // UTF-16LE: the log lines we look for are ASCII.
        std::string strText;
        for (size_t i = 0; i + 1 < strRaw.size(); i += 2)
            strText += strRaw[i + 1] == 0 && (strRaw[i] & 0x80) == 0 ? strRaw[i] : '?';
        std::istringstream lines(strText);
        std::string strLine;
        while (std::getline(lines, strLine)) nCount += strLine.find(strNeedle) != std::string::npos ? 1 : 0;
    }
    return nCount;
}

}  // namespace settings_test
