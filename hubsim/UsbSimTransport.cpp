#include "UsbSimTransport.h"

#include "Log.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace hubsim {

CUsbSimTransport::CUsbSimTransport(CHub& hub, const std::string& strDirectory, const std::string& strLocation,
                                   uint16_t nVid, uint16_t nPid, bool bGreet)
    : CLoopTransport(hub, "usb", bGreet),
      m_strDirectory(strDirectory),
      m_strLocation(strLocation),
      m_nVid(nVid),
      m_nPid(nPid) {
    if (strLocation.empty() || strLocation.find('/') != std::string::npos)
        throw std::runtime_error("bad USB location '" + strLocation + "'");
    std::string strError;
    CUniqueFd fd = Listen(strError);
    if (!fd.Valid()) throw std::runtime_error(strError);
    AdoptListener(std::move(fd));
    StartLoop();
}

CUsbSimTransport::~CUsbSimTransport() {
    m_bPlugged = false;  // the hub leaves the bus with the program
    StopLoop();
}

CUniqueFd CUsbSimTransport::Listen(std::string& strError) {
    const std::string strPath = SocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (strPath.size() >= sizeof address.sun_path) {
        strError = "USB socket path too long: " + strPath;
        return CUniqueFd();
    }
    std::memcpy(address.sun_path, strPath.c_str(), strPath.size() + 1);
    CUniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        strError = std::string("socket: ") + std::strerror(errno);
        return fd;
    }
    ::unlink(strPath.c_str());  // a socket file left by a refused or crashed run
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), 4) != 0) {
        strError = "listen on " + strPath + ": " + std::strerror(errno);
        return CUniqueFd();
    }
    if (!WriteDescriptor(strError)) {
        ::unlink(strPath.c_str());
        return CUniqueFd();
    }
    return fd;
}

bool CUsbSimTransport::WriteDescriptor(std::string& strError) {
    std::lock_guard<std::mutex> lock(m_fileMutex);
    char text[96];
    std::snprintf(text, sizeof text, "{\"vid\": \"%04X\", \"pid\": \"%04X\", \"exclusive\": %s}\n", m_nVid, m_nPid,
                  m_bExclusive ? "true" : "false");
    const std::string strTemp = DescriptorPath() + ".tmp";
    {
        std::ofstream out(strTemp, std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            strError = "cannot write " + strTemp;
            return false;
        }
    }
    if (std::rename(strTemp.c_str(), DescriptorPath().c_str()) != 0) {
        strError = "cannot rename " + strTemp;
        std::remove(strTemp.c_str());
        return false;
    }
    return true;
}

CUniqueFd CUsbSimTransport::OpenListener() {
    std::string strError;
    CUniqueFd fd = Listen(strError);
    if (fd.Valid())
        LogLine("usb: hub present at " + BasePath());
    else
        LogLine("usb: " + strError);
    return fd;
}

void CUsbSimTransport::ListenerClosed() {
    if (m_bPlugged) return;  // refusing only: the stale socket file makes connects fail, the hub stays listed
    std::lock_guard<std::mutex> lock(m_fileMutex);
    ::unlink(DescriptorPath().c_str());
    ::unlink(SocketPath().c_str());
}

void CUsbSimTransport::SetPlugged(bool bPlugged) {
    m_bPlugged = bPlugged;
    if (!bPlugged) Kick();
    Sync();
}

void CUsbSimTransport::SetExclusive(bool bExclusive) {
    m_bExclusive = bExclusive;
    if (!m_bPlugged) return;
    std::string strError;
    if (!WriteDescriptor(strError)) LogLine("usb: " + strError);
}

}  // namespace hubsim
