// The hub's serial side on a pseudo-terminal: the host opens the slave path (or
// the COM<n> link to it) as it would a serial port.
#pragma once

#include "LoopTransport.h"

namespace hubsim {

class CPtyTransport : public CLoopTransport {
public:
    // strComLink: optional "DIR/COM<n>" symbolic link to make. Throws std::runtime_error on failure.
    CPtyTransport(CHub& hub, const std::string& strComLink, bool bGreet);
    ~CPtyTransport() override;
    const std::string& SlavePath() const { return m_strSlavePath; }

protected:
    bool HasListener() const override { return false; }
    CUniqueFd OpenListener() override { return CUniqueFd(); }

private:
    std::string m_strSlavePath;
    std::string m_strComLink;
    CUniqueFd m_slave;  // held open so the host's closes never hang the pty up
};

}  // namespace hubsim
