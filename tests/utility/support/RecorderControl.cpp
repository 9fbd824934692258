#include "RecorderControl.h"

#include <dlfcn.h>

#include <stdexcept>
#include <vector>

CRecorderControl::CRecorderControl(bool bMissingEntry) {
    m_pHandle = dlopen(LibraryName(bMissingEntry).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_pHandle == nullptr) throw std::runtime_error(std::string("cannot load the stand-in library: ") + dlerror());
    Reset();
}

CRecorderControl::~CRecorderControl() {
    if (m_pHandle != nullptr) dlclose(m_pHandle);
}

std::string CRecorderControl::LibraryName(bool bMissingEntry) {
    return bMissingEntry ? VEXAL_RECORDER_MISSING_LIBRARY : VEXAL_RECORDER_LIBRARY;
}

template <class F>
F CRecorderControl::Fn(const char* pszName) const {
    void* p = dlsym(m_pHandle, pszName);
    if (p == nullptr) throw std::runtime_error(std::string("stand-in library lacks ") + pszName);
    return reinterpret_cast<F>(p);
}

void CRecorderControl::Reset() { Fn<void (*)()>("recorderReset")(); }

void CRecorderControl::SetResult(const std::string& strName, int32_t nValue) {
    Fn<void (*)(const char*, int32_t)>("recorderSetResult")(strName.c_str(), nValue);
}

void CRecorderControl::SetDelay(const std::string& strName, int32_t nMs) {
    Fn<void (*)(const char*, int32_t)>("recorderSetDelay")(strName.c_str(), nMs);
}

void CRecorderControl::SetText(const std::string& strName, const std::u16string& text) {
    Fn<void (*)(const char*, const char16_t*)>("recorderSetText")(strName.c_str(), text.c_str());
}

int32_t CRecorderControl::Count(const std::string& strName) const {
    return Fn<int32_t (*)(const char*)>("recorderCallCount")(strName.c_str());
}

static std::string ReadText(int32_t (*fn)(char*, int32_t)) {
    const int32_t n = fn(nullptr, 0);
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    fn(buf.data(), static_cast<int32_t>(buf.size()));
    return buf.data();
}

std::string CRecorderControl::LastArgs(const std::string& strName) const {
    auto fn = Fn<int32_t (*)(const char*, char*, int32_t)>("recorderLastArgs");
    const int32_t n = fn(strName.c_str(), nullptr, 0);
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    fn(strName.c_str(), buf.data(), static_cast<int32_t>(buf.size()));
    return buf.data();
}

std::string CRecorderControl::Log() const { return ReadText(Fn<int32_t (*)(char*, int32_t)>("recorderLog")); }

int32_t CRecorderControl::MainThreadCalls() const { return Fn<int32_t (*)()>("recorderMainThreadCalls")(); }
