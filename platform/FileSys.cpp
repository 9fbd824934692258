#include "platform/FileSys.h"

namespace vexal::platform {

// The owned descriptor or handle moves; Close() is the backend's.
CFile::~CFile() { Close(); }

CFile::CFile(CFile&& other) noexcept : m_nFd(other.m_nFd) { other.m_nFd = -1; }

CFile& CFile::operator=(CFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_nFd = other.m_nFd;
        other.m_nFd = -1;
    }
    return *this;
}

}  // namespace vexal::platform
