// The hub on the simulated USB bus: in the bus directory, "<loc>.sock" carries
// the bulk endpoints' bytes and "<loc>.json" describes the device. The descriptor
// is written only after the socket listens, so a reader never sees half a hub.
#pragma once

#include "LoopTransport.h"

#include <atomic>
#include <mutex>

namespace hubsim {

class CUsbSimTransport : public CLoopTransport {
public:
    CUsbSimTransport(CHub& hub, const std::string& strDirectory, const std::string& strLocation, uint16_t nVid,
                     uint16_t nPid, bool bGreet);
    ~CUsbSimTransport() override;

    std::string BasePath() const { return m_strDirectory + "/" + m_strLocation; }
    // Unplugging removes both files and closes the connection; plugging brings them back.
    void SetPlugged(bool bPlugged);
    // An exclusive hub is one the host's open must refuse, as if in use elsewhere.
    void SetExclusive(bool bExclusive);
    bool Plugged() const { return m_bPlugged; }

protected:
    bool ListenerWanted(const SFaults& faults) const override { return m_bPlugged && !faults.bRefuse; }
    CUniqueFd OpenListener() override;
    void ListenerClosed() override;

private:
    CUniqueFd Listen(std::string& strError);
    bool WriteDescriptor(std::string& strError);
    std::string SocketPath() const { return BasePath() + ".sock"; }
    std::string DescriptorPath() const { return BasePath() + ".json"; }

    const std::string m_strDirectory;
    const std::string m_strLocation;
    const uint16_t m_nVid;
    const uint16_t m_nPid;
    std::atomic<bool> m_bPlugged{true};
    std::atomic<bool> m_bExclusive{false};
    std::mutex m_fileMutex;
};

}  // namespace hubsim
