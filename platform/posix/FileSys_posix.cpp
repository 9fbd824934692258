#include "platform/FileSys.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexal::platform {

bool MakeDirectory(const std::string& strPath) {
    if (mkdir(strPath.c_str(), 0777) == 0) return true;
    struct stat st {};
    return errno == EEXIST && stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsStdoutValid() { return fcntl(1, F_GETFD) != -1; }

std::string DefaultLogDirectory() { return "."; }

static int OpenRetrying(const std::string& strPath, int nFlags) {
    int fd;
    do {
        fd = open(strPath.c_str(), nFlags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool CFile::OpenAppend(const std::string& strPath) {
    Close();
    m_nFd = OpenRetrying(strPath, O_WRONLY | O_CREAT | O_APPEND);
    return m_nFd >= 0;
}

bool CFile::OpenReadWrite(const std::string& strPath) {
    Close();
    m_nFd = OpenRetrying(strPath, O_RDWR | O_CREAT);
    return m_nFd >= 0;
}

bool CFile::Write(const void* pData, size_t nLength) {
    if (m_nFd < 0) return false;
    auto* p = static_cast<const unsigned char*>(pData);
    while (nLength > 0) {
        ssize_t n = write(m_nFd, p, nLength);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        nLength -= static_cast<size_t>(n);
    }
    return true;
}

void CFile::Close() {
    if (m_nFd >= 0) {
        close(m_nFd);
        m_nFd = -1;
    }
}

}  // namespace vexal::platform
