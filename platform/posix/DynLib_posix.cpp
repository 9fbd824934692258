#include "platform/DynLib.h"

#include <dlfcn.h>

namespace vexal::platform {

std::string PlatformLibraryName(const std::string& strName) {
    std::string base = strName;
    const std::string dll = ".dll";
    if (base.size() > dll.size()) {
        std::string tail = base.substr(base.size() - dll.size());
        for (auto& c : tail) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
        if (tail == dll) base.resize(base.size() - dll.size());
    }
    if (base.find('/') != std::string::npos || base.rfind(".so") != std::string::npos) return base;
    return "lib" + base + ".so";
}

bool CDynLib::Load(const std::string& strName, const void* pAnchor) {
    Unload();
    const std::string file = PlatformLibraryName(strName);
    // Next to the loading module first, as the libraries are installed side by side.
    Dl_info info{};
    if (pAnchor != nullptr && file.find('/') == std::string::npos && dladdr(pAnchor, &info) != 0 &&
        info.dli_fname != nullptr) {
        std::string dir = info.dli_fname;
        auto slash = dir.rfind('/');
        if (slash != std::string::npos) {
            dir.resize(slash + 1);
            m_pHandle = dlopen((dir + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        }
    }
    if (m_pHandle == nullptr) m_pHandle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_pHandle == nullptr) {
        const char* err = dlerror();
        m_strError = err != nullptr ? err : "dlopen failed";
        return false;
    }
    m_strError.clear();
    return true;
}

void* CDynLib::Symbol(const char* pszName) const {
    if (m_pHandle == nullptr || pszName == nullptr) return nullptr;
    return dlsym(m_pHandle, pszName);
}

void CDynLib::Unload() {
    if (m_pHandle != nullptr) {
        dlclose(m_pHandle);
        m_pHandle = nullptr;
    }
}

}  // namespace vexal::platform
