// The hub's network side: one TCP listener, one host connection at a time.
#pragma once

#include "LoopTransport.h"

#include <netinet/in.h>

namespace hubsim {

class CTcpTransport : public CLoopTransport {
public:
    // strAddress "ADDR:PORT"; port 0 picks a free one. Throws std::runtime_error when it cannot listen.
    CTcpTransport(CHub& hub, const std::string& strAddress, bool bGreet);
    ~CTcpTransport() override;
    std::string Address() const;  // "127.0.0.1"
    uint16_t Port() const { return m_nPort; }

protected:
    CUniqueFd OpenListener() override;
    void ConfigureAccepted(int fd) override;

private:
    CUniqueFd Listen(std::string& strError);
    sockaddr_in m_address{};
    uint16_t m_nPort = 0;
};

// Splits "ADDR:PORT" into an IPv4 socket address; false with a reason on bad input.
bool ParseListenAddress(const std::string& strText, sockaddr_in& address, std::string& strError);

}  // namespace hubsim
