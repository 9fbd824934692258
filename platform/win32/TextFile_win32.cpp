#include "platform/TextFile.h"

#include "platform/win32/Win32Util.h"

#include <algorithm>
#include <utility>

namespace vexal::platform {
namespace {

std::wstring Wide(const std::string& text) { return win32::WideFromUtf8(text); }
using win32::ErrorText;

}  // namespace

bool ReadTextFile(const std::string& strPath, std::string& strText, std::string& strError) {
    auto fail = [&](const std::string& strWhy) {
        strError = strPath + ": " + strWhy;
        return false;
    };
    const std::wstring path = Wide(strPath);
    const DWORD dwAttributes = GetFileAttributesW(path.c_str());
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return fail("is a directory");
    win32::CHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.IsValid()) return fail("cannot read: " + ErrorText(GetLastError()));
    // A pipe or a device named in the file's place is refused, never waited on.
    if (GetFileType(h.Get()) != FILE_TYPE_DISK) return fail("not a regular file");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.Get(), &size)) return fail("cannot read: " + ErrorText(GetLastError()));
    const std::string strTooLarge = "larger than " + std::to_string(kMaxTextFileSize >> 20) + " MiB";
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxTextFileSize) return fail(strTooLarge);
    std::string strRead;
    char buffer[16384];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h.Get(), buffer, sizeof buffer, &n, nullptr))
            return fail("cannot read: " + ErrorText(GetLastError()));
        if (n == 0) break;
        strRead.append(buffer, n);
        if (strRead.size() > kMaxTextFileSize) return fail(strTooLarge);  // grew while being read
    }
    strText = std::move(strRead);
    return true;
}

bool WriteTextFile(const std::string& strPath, const std::string& strText, std::string& strError) {
    const std::wstring path = Wide(strPath);
    const std::wstring temp = path + L".tmp" + std::to_wstring(GetCurrentProcessId());
    {
        win32::CHandle h(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.IsValid()) {
            strError = strPath + ": cannot write: " + ErrorText(GetLastError());
            return false;
        }
        size_t nDone = 0;
        while (nDone < strText.size()) {
            DWORD n = 0;
            const DWORD dwChunk = static_cast<DWORD>(std::min<size_t>(strText.size() - nDone, 1u << 20));
            if (!WriteFile(h.Get(), strText.data() + nDone, dwChunk, &n, nullptr) || n == 0) {
                strError = strPath + ": write error: " + ErrorText(GetLastError());
                h.Close();
                DeleteFileW(temp.c_str());
                return false;
            }
            nDone += n;
        }
        FlushFileBuffers(h.Get());
    }
    // The whole file replaces the old one in one step, or nothing changes.
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        strError = strPath + ": cannot write: " + ErrorText(GetLastError());
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace vexal::platform
