#include "CfgLibrary.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace cfglib_test {

const std::string& LogDir() {
    static const std::string s_strDir = [] {
        std::string strTemplate = (std::filesystem::temp_directory_path() / "cfglib-test-XXXXXX").string();
        if (mkdtemp(strTemplate.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
        setenv("VEXAL_LOG_DIR", strTemplate.c_str(), 1);
        return strTemplate;
    }();
    return s_strDir;
}

std::string LogText() {
    std::string out;
    const std::filesystem::path dir = std::filesystem::path(LogDir()) / "VQTLog";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.path().extension() != ".log") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // UTF-16LE: keep the low byte of every unit (the lines are ASCII).
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) out += bytes[i + 1] == 0 ? bytes[i] : '?';
    }
    return out;
}

const SCfgApi& SCfgApi::Get() {
    static const SCfgApi s_api = [] {
        LogDir();  // the log folder is fixed when the library first logs
        SCfgApi api;
        const std::string strPath = std::string(CFGLIB_DIR) + "/libZamoCfg.so";
        api.hLibrary = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (api.hLibrary == nullptr) throw std::runtime_error("cannot load " + strPath + ": " + dlerror());
#define CFGLIB_TEST_BIND(name)                                                   \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(api.hLibrary, #name)); \
    if (api.name == nullptr) throw std::runtime_error("missing export " #name);
        CFGLIB_TEST_EXPORTS(CFGLIB_TEST_BIND)
#undef CFGLIB_TEST_BIND
        return api;
    }();
    return s_api;
}

void* SCfgApi::Symbol(const char* pszName) const { return dlsym(hLibrary, pszName); }

std::string CText::Ascii() const {
    std::string out;
    for (uint32_t i = 0; i < text.length && i < text.capacity; ++i)
        out += text.data[i] < 0x80 ? static_cast<char>(text.data[i]) : '?';
    return out;
}

std::mutex g_eventLock;
std::vector<int32_t> g_statuses;
std::vector<std::u16string> g_data;

void OnStatus(int32_t n) {
    std::lock_guard lock(g_eventLock);
    g_statuses.push_back(n);
}

void OnData(const char16_t* psz) {
    std::lock_guard lock(g_eventLock);
    g_data.emplace_back(psz);
}

}  // namespace cfglib_test
