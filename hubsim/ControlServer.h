// Serves the control syntax on a loopback TCP socket (and, if asked, standard input).
#pragma once

#include "ControlCommands.h"
#include "UniqueFd.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace hubsim {

class CControlServer {
public:
    // strAddress "ADDR:PORT" (empty: no socket); bStdin reads commands from descriptor 0 too.
    CControlServer(CControlInterpreter& interpreter, const std::string& strAddress, bool bStdin);
    ~CControlServer();
    // Starts answering; called once the start lines are out, so no answer comes before READY.
    void Start();
    CControlServer(const CControlServer&) = delete;
    CControlServer& operator=(const CControlServer&) = delete;

    uint16_t Port() const { return m_nPort; }

private:
    struct SClient {
        CUniqueFd fd;
        std::string strBuffer;
        bool bStdin = false;
        bool bDiscarding = false;  // skipping the rest of an overlong line
    };
    void Run();
    // Answers every complete line; true while the client may stay.
    bool HandleInput(SClient& client, const char* pData, size_t nLength);
    static void WriteAll(int fd, const std::string& strText);

    CControlInterpreter& m_interpreter;
    CUniqueFd m_listen;
    uint16_t m_nPort = 0;
    bool m_bStdin = false;
    CWakeFd m_wake;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

}  // namespace hubsim
