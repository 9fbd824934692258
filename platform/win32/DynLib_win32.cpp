#include "platform/DynLib.h"

#include <vector>

#include "platform/win32/Win32Util.h"

namespace vexal::platform {

namespace {

bool EndsWithDll(const std::string& strName) {
    if (strName.size() < 4) return false;
    std::string tail = strName.substr(strName.size() - 4);
    for (auto& c : tail) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
    return tail == ".dll";
}

bool IsPath(const std::string& strName) { return strName.find_first_of("\\/:") != std::string::npos; }

// The folder (with its trailing separator) of the module that holds pAnchor.
std::wstring FolderOfModule(const void* pAnchor) {
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(pAnchor), &hModule))
        return {};
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(hModule, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            const size_t nSlash = path.find_last_of(L"\\/");
            return nSlash == std::wstring::npos ? std::wstring() : path.substr(0, nSlash + 1);
        }
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string PlatformLibraryName(const std::string& strName) {
    if (EndsWithDll(strName) || IsPath(strName)) return strName;
    return strName + ".dll";
}

bool CDynLib::Load(const std::string& strName, const void* pAnchor) {
    Unload();
    const std::string file = PlatformLibraryName(strName);
    const std::wstring wideFile = win32::WideFromUtf8(file);
    HMODULE hLibrary = nullptr;
    DWORD dwError = ERROR_MOD_NOT_FOUND;
    // Next to the loading module first, as the libraries are installed side
    // by side; then the program's folder (the same one for a program loading
    // ZamoCfg.dll) and System32. Never the current directory, PATH or folders
    // the process added to its search: a DLL planted beside a document must
    // not be loaded. A library's own imports follow the same rule.
    constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
    if (IsPath(file)) {
        // A path the caller chose: that file and no other.
        std::vector<wchar_t> full(32768);
        const DWORD n = GetFullPathNameW(wideFile.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n > 0 && n < full.size()) hLibrary = LoadLibraryExW(full.data(), nullptr, kSearch);
        dwError = GetLastError();
    } else {
        const std::wstring folder = pAnchor != nullptr ? FolderOfModule(pAnchor) : std::wstring();
        if (!folder.empty()) {
            hLibrary = LoadLibraryExW((folder + wideFile).c_str(), nullptr, kSearch);
            dwError = GetLastError();
        }
        if (hLibrary == nullptr) {
            hLibrary = LoadLibraryExW(wideFile.c_str(), nullptr,
                                      LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
            if (hLibrary == nullptr && (folder.empty() || GetLastError() != ERROR_MOD_NOT_FOUND))
                dwError = GetLastError();
        }
    }
    if (hLibrary == nullptr) {
        m_strError = win32::ErrorText(dwError);
        return false;
    }
    m_pHandle = hLibrary;
    m_strError.clear();
    return true;
}

void* CDynLib::Symbol(const char* pszName) const {
    if (m_pHandle == nullptr || pszName == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_pHandle), pszName));
}

void CDynLib::Unload() {
    if (m_pHandle != nullptr) {
        FreeLibrary(static_cast<HMODULE>(m_pHandle));
        m_pHandle = nullptr;
    }
}

}  // namespace vexal::platform
