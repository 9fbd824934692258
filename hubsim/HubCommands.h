// The hub's answers to the host: settings commands on device 0 and data for the
// devices behind it. Pure functions of the request and the state, so tests can
// call them without a socket.
#pragma once

#include "HubState.h"

#include <optional>
#include <string>
#include <vector>

namespace hubsim {

struct SHubReply {
    bool bKnown = false;    // a command the hub understands (unknown ones get no reply)
    bool bChanged = false;  // settings changed: the state file is to be written
    std::optional<Bytes> optReply;
    size_t nHeaderLength = 0;  // leading reply bytes the host compares with the request
    std::string strNote;       // one line for the log
};

// A payload the host sent to device 0.
SHubReply HandleHubCommand(CHubState& state, const Bytes& request);

// Data the host wrote to device nDevice; returns the frames' payloads the
// device answers with. A printer's life may change (its paper, its status
// back); a write alarm the hub raises for the data goes to *pHubFrame (a
// payload for device 0) when given.
std::vector<Bytes> HandleDeviceData(CHubState& state, uint8_t nDevice, const Bytes& data,
                                    std::optional<Bytes>* pHubFrame = nullptr);

// The 20-byte acknowledgement after a WLAN write.
Bytes WlanAcknowledgement(bool bSuccess);

}  // namespace hubsim
