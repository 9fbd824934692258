#include "platform/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
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

bool WriteTextFile(const std::string& strPath, const std::string& strText, std::string& strError) {
    const std::string strTemp = strPath + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(strTemp, std::ios::binary | std::ios::trunc);
        if (!out) {
            strError = strPath + ": cannot write: " + std::strerror(errno);
            return false;
        }
        out << strText;
        out.flush();
        if (!out) {
            strError = strPath + ": write error";
            ::unlink(strTemp.c_str());
            return false;
        }
    }
    if (::rename(strTemp.c_str(), strPath.c_str()) != 0) {
        strError = strPath + ": cannot write: " + std::strerror(errno);
        ::unlink(strTemp.c_str());
        return false;
    }
    return true;
}

}  // namespace vexal::platform
