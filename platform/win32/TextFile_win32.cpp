#include "platform/TextFile.h"

#include "platform/win32/Win32Util.h"

#include <algorithm>
#include <cwchar>
#include <random>
#include <utility>
#include <vector>

namespace vexal::platform {
namespace {

std::wstring Wide(const std::string& text) { return win32::WideFromUtf8(text); }
using win32::ErrorText;

// A security descriptor that lets only the current user at a new file, the
// counterpart of mode 0600; none (the folder's inherited rights) when the
// user's SID cannot be had.
class CPrivateAccess {
public:
    CPrivateAccess() {
        HANDLE hToken = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) return;
        const win32::CHandle token(hToken);
        DWORD dwSize = 0;
        GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &dwSize);
        m_user.resize(dwSize);
        if (dwSize == 0 || !GetTokenInformation(token.Get(), TokenUser, m_user.data(), dwSize, &dwSize)) return;
        PSID pSid = reinterpret_cast<TOKEN_USER*>(m_user.data())->User.Sid;
        m_acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(pSid));
        auto* pAcl = reinterpret_cast<ACL*>(m_acl.data());
        if (!InitializeAcl(pAcl, static_cast<DWORD>(m_acl.size()), ACL_REVISION) ||
            !AddAccessAllowedAce(pAcl, ACL_REVISION, FILE_ALL_ACCESS, pSid) ||
            !InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&m_descriptor, TRUE, pAcl, FALSE) ||
            !SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return;
        m_bReady = true;
    }
    CPrivateAccess(const CPrivateAccess&) = delete;
    CPrivateAccess& operator=(const CPrivateAccess&) = delete;
    SECURITY_DESCRIPTOR* Descriptor() { return m_bReady ? &m_descriptor : nullptr; }

private:
    std::vector<unsigned char> m_user, m_acl;  // TOKEN_USER and ACL records, kept aligned by vector's allocation
    SECURITY_DESCRIPTOR m_descriptor{};
    bool m_bReady = false;
};

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

bool WriteTextFile(const std::string& strPath, const std::string& strText, std::string& strError, EFileAccess eAccess) {
    auto fail = [&](const std::string& strWhy) {
        strError = strPath + ": cannot write: " + strWhy;
        return false;
    };
    const std::wstring path = Wide(strPath);
    CPrivateAccess access;
    SECURITY_ATTRIBUTES attributes{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), access.Descriptor(), FALSE};
    // A shared file takes the folder's inherited access, as any new file does.
    const bool bPrivate = eAccess == EFileAccess::Private && access.Descriptor() != nullptr;
    // A name of our own beside the file, created new: never a file or link someone planted under it.
    std::wstring temp;
    win32::CHandle h;
    std::random_device random;
    for (int nTry = 0; nTry < 100 && !h.IsValid(); ++nTry) {
        wchar_t suffix[32];
        std::swprintf(suffix, 32, L".%08x%08x.tmp", random(), static_cast<unsigned>(GetTickCount64()) + nTry);
        temp = path + suffix;
        h = win32::CHandle(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, bPrivate ? &attributes : nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.IsValid() && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (!h.IsValid()) return fail(ErrorText(GetLastError()));
    auto discard = [&](DWORD dwError) {
        h.Close();
        DeleteFileW(temp.c_str());
        return fail(ErrorText(dwError));
    };
    for (size_t nDone = 0; nDone < strText.size();) {
        DWORD n = 0;
        const DWORD dwChunk = static_cast<DWORD>(std::min<size_t>(strText.size() - nDone, 1u << 20));
        if (!WriteFile(h.Get(), strText.data() + nDone, dwChunk, &n, nullptr) || n == 0) return discard(GetLastError());
        nDone += n;
    }
    if (!FlushFileBuffers(h.Get())) return discard(GetLastError());
    h.Close();
    // The whole file replaces the old one in one step, or nothing changes.
    if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD dwError = GetLastError();
        DeleteFileW(temp.c_str());
        return fail(ErrorText(dwError));
    }
    return true;
}

}  // namespace vexal::platform
