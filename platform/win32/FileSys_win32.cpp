#include "platform/FileSys.h"

#include "platform/win32/Win32Util.h"

namespace vexal::platform {

namespace {
HANDLE HandleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Wide paths, so any name the system allows works; both readers and writers
// may share the file, as the log is appended to by several objects.
std::intptr_t OpenShared(const std::string& strPath, DWORD dwAccess) {
    const std::wstring path = win32::WideFromUtf8(strPath);
    HANDLE h = CreateFileW(path.c_str(), dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}
}  // namespace

bool MakeDirectory(const std::string& strPath) {
    const std::wstring path = win32::WideFromUtf8(strPath);
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    const DWORD dwAttributes = GetFileAttributesW(path.c_str());
    return GetLastError() == ERROR_ALREADY_EXISTS ||
           (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

bool IsStdoutValid() { return GetStdHandle(STD_OUTPUT_HANDLE) != INVALID_HANDLE_VALUE; }

std::string DefaultLogDirectory() { return {}; }

bool CFile::OpenAppend(const std::string& strPath) {
    Close();
    // Append-only access: every write lands at the end, also with other writers.
    m_nFd = OpenShared(strPath, FILE_APPEND_DATA | SYNCHRONIZE);
    return m_nFd >= 0;
}

bool CFile::OpenReadWrite(const std::string& strPath) {
    Close();
    m_nFd = OpenShared(strPath, GENERIC_READ | GENERIC_WRITE);
    return m_nFd >= 0;
}

bool CFile::Write(const void* pData, size_t nLength) {
    if (m_nFd < 0) return false;
    auto* p = static_cast<const unsigned char*>(pData);
    while (nLength > 0) {
        const DWORD dwChunk = nLength > 0x40000000u ? 0x40000000u : static_cast<DWORD>(nLength);
        DWORD dwWritten = 0;
        if (!WriteFile(HandleOf(m_nFd), p, dwChunk, &dwWritten, nullptr) || dwWritten == 0) return false;
        p += dwWritten;
        nLength -= dwWritten;
    }
    return true;
}

void CFile::Close() {
    if (m_nFd >= 0) {
        CloseHandle(HandleOf(m_nFd));
        m_nFd = -1;
    }
}

}  // namespace vexal::platform
