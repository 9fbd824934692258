#include "TcpTransport.h"

#include "HexText.h"
#include "Log.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace hubsim {

bool ParseListenAddress(const std::string& strText, sockaddr_in& address, std::string& strError) {
    const auto nColon = strText.rfind(':');
    if (nColon == std::string::npos) {
        strError = "expected ADDR:PORT, got '" + strText + "'";
        return false;
    }
    const std::string strHost = strText.substr(0, nColon);
    const auto nPort = ParseNumber(strText.substr(nColon + 1), 0, 65535);
    if (!nPort) {
        strError = "bad port in '" + strText + "'";
        return false;
    }
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(*nPort));
    if (::inet_pton(AF_INET, strHost.c_str(), &address.sin_addr) != 1) {
        strError = "bad IPv4 address in '" + strText + "'";
        return false;
    }
    return true;
}

CTcpTransport::CTcpTransport(CHub& hub, const std::string& strAddress, bool bGreet)
    : CLoopTransport(hub, "tcp", bGreet) {
    std::string strError;
    if (!ParseListenAddress(strAddress, m_address, strError)) throw std::runtime_error(strError);
    CUniqueFd fd = Listen(strError);
    if (!fd.Valid()) throw std::runtime_error(strError);
    AdoptListener(std::move(fd));
    StartLoop();
}

CTcpTransport::~CTcpTransport() { StopLoop(); }

std::string CTcpTransport::Address() const {
    char buf[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &m_address.sin_addr, buf, sizeof buf);
    return buf;
}

CUniqueFd CTcpTransport::Listen(std::string& strError) {
    CUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        strError = std::string("socket: ") + std::strerror(errno);
        return fd;
    }
    const int nOne = 1;
    // A hub restarted on the same port must not wait for old connections to time out.
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &nOne, sizeof nOne);
    sockaddr_in address = m_address;
    if (m_nPort != 0) address.sin_port = htons(m_nPort);  // reopening keeps the port once picked
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        strError = "bind " + Address() + ":" + std::to_string(ntohs(address.sin_port)) + ": " + std::strerror(errno);
        return CUniqueFd();
    }
    if (::listen(fd.Get(), 8) != 0) {
        strError = std::string("listen: ") + std::strerror(errno);
        return CUniqueFd();
    }
    sockaddr_in bound{};
    socklen_t nLength = sizeof bound;
    ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&bound), &nLength);
    m_nPort = ntohs(bound.sin_port);
    return fd;
}

CUniqueFd CTcpTransport::OpenListener() {
    std::string strError;
    CUniqueFd fd = Listen(strError);
    if (fd.Valid())
        LogLine("tcp: listening again on " + Address() + ":" + std::to_string(m_nPort));
    else
        LogLine("tcp: " + strError);
    return fd;
}

void CTcpTransport::ConfigureAccepted(int fd) {
    const int nOne = 1;
    // Split frames must leave as separate segments, not be merged by Nagle.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nOne, sizeof nOne);
}

}  // namespace hubsim
