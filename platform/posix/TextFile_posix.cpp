#include "platform/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vexal::platform {
namespace {

// Owns one descriptor for the length of a scope.
class CClosesFd {
public:
    explicit CClosesFd(int fd) : m_fd(fd) {}
    ~CClosesFd() { ::close(m_fd); }
    CClosesFd(const CClosesFd&) = delete;
    CClosesFd& operator=(const CClosesFd&) = delete;

private:
    int m_fd;
};

// A new file made from a mkstemp template, 0600, by O_CREAT|O_EXCL|O_NOFOLLOW:
// never a file or link someone planted under its name. Removed again unless kept.
class CTemporaryFile {
public:
    explicit CTemporaryFile(std::string strTemplate) : m_strPath(std::move(strTemplate)) {
        m_fd = ::mkostemp(m_strPath.data(), O_CLOEXEC | O_NOFOLLOW);
        if (m_fd < 0) m_strPath.clear();
    }
    ~CTemporaryFile() {
        Close();
        if (!m_strPath.empty()) ::unlink(m_strPath.c_str());
    }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_strPath; }
    // False when the close reports a failed write.
    bool Close() {
        if (m_fd < 0) return true;
        const int nResult = ::close(m_fd);
        m_fd = -1;
        return nResult == 0;
    }
    // The file now has its final name: nothing to remove.
    void Keep() { m_strPath.clear(); }

private:
    std::string m_strPath;
    int m_fd = -1;
};

}  // namespace

bool ReadTextFile(const std::string& strPath, std::string& strText, std::string& strError) {
    auto fail = [&](const std::string& strWhy) {
        strError = strPath + ": " + strWhy;
        return false;
    };
    // Non-blocking, so that a FIFO named in the file's place cannot hang the tool.
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return fail(std::string("cannot read: ") + std::strerror(errno));
    const CClosesFd closer(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) return fail(std::string("cannot read: ") + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return fail("is a directory");
    if (!S_ISREG(info.st_mode)) return fail("not a regular file");
    const std::string strTooLarge = "larger than " + std::to_string(kMaxTextFileSize >> 20) + " MiB";
    if (static_cast<unsigned long long>(info.st_size) > kMaxTextFileSize) return fail(strTooLarge);
    std::string strRead;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(std::string("cannot read: ") + std::strerror(errno));
        if (n == 0) break;
        strRead.append(buffer, static_cast<size_t>(n));
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
    const size_t nSlash = strPath.rfind('/');
    const std::string strDir = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : strPath.substr(0, nSlash);
    const std::string strBase = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    if (strBase.empty()) return fail("names a folder, not a file");
    // Private from the first byte: 0600, or stricter when the file it replaces
    // was; a shared file is readable by all (0644), or stricter likewise.
    mode_t mode = S_IRUSR | S_IWUSR;
    if (eAccess == EFileAccess::Shared) mode |= S_IRGRP | S_IROTH;
    struct stat old {};
    if (::lstat(strPath.c_str(), &old) == 0 && S_ISREG(old.st_mode)) mode &= old.st_mode;
    // A name of our own in the same folder, so the rename stays on one file system.
    CTemporaryFile temp(strDir + "/." + strBase.substr(0, 200) + ".XXXXXX");
    if (!temp.IsOpen()) return fail(std::strerror(errno));
    if (::fchmod(temp.Fd(), mode) != 0) return fail(std::strerror(errno));
    for (size_t nDone = 0; nDone < strText.size();) {
        const ssize_t n = ::write(temp.Fd(), strText.data() + nDone, strText.size() - nDone);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(std::strerror(n < 0 ? errno : EIO));
        nDone += static_cast<size_t>(n);
    }
    if (::fsync(temp.Fd()) != 0 || !temp.Close()) return fail(std::strerror(errno));
    if (::rename(temp.Path().c_str(), strPath.c_str()) != 0) return fail(std::strerror(errno));
    temp.Keep();
    // The rename itself lasts only once the folder is on disk; a file system
    // that cannot sync a folder has nothing more to do.
    const int fdDir = ::open(strDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDir >= 0) {
        ::fsync(fdDir);
        ::close(fdDir);
    }
    return true;
}

}  // namespace vexal::platform
