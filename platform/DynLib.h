// Loading a shared library by name and looking up its exported functions.
#pragma once
#include <string>

namespace vexal::platform {

// Maps a library name as callers spell it ("zamoport.dll", "ZamoCfg") to the
// platform's file name ("libzamoport.so").
std::string PlatformLibraryName(const std::string& strName);

// A loaded library. Looks next to the module that contains pAnchor first (any
// address inside the loading module), then in the system's usual order.
// Unload() is explicit: some owners never unload on purpose.
class CDynLib {
public:
    CDynLib() = default;
    ~CDynLib() = default;  // does not unload
    CDynLib(const CDynLib&) = delete;
    CDynLib& operator=(const CDynLib&) = delete;

    bool Load(const std::string& strName, const void* pAnchor);
    void* Symbol(const char* pszName) const;
    void Unload();
    bool IsLoaded() const { return m_pHandle != nullptr; }
    const std::string& LastError() const { return m_strError; }

private:
    void* m_pHandle = nullptr;
    std::string m_strError;
};

}  // namespace vexal::platform
