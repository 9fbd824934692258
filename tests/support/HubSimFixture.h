// Starts vexal-hubsim as a real peer for a test, and stops it again.
//
//   CHubSimFixture hub;                       // TCP on 127.0.0.1, ephemeral port
//   connect to hub.Address():hub.Port() ...
//   hub.Control("FAULT DELAY 200");           // see hubsim/README.md for the syntax
//
// The simulator runs as a child process; it quits when the fixture is destroyed,
// and also when the test process dies (it watches its standard input pipe).
// Under Wine the harness's simulator service starts it (HubSimFixture_win32.cpp);
// strComLink is then a Windows port name such as "COM5".
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Options of CHubSimFixture (kept outside the class so "= {}" works as a default argument).
struct SHubSimOptions {
    bool bGreet = true;                          // one frame to device 254 right after accepting
    std::string strListenAddress = "127.0.0.1";  // another loopback address (127.0.0.2 ...) for several hubs
    uint16_t nListenPort = 0;                    // 0: a free port
    std::string strStateFile;                    // --state FILE
    bool bPty = false;                           // also serve a pty
    std::string strComLink;                      // with bPty: DIR/COM<n> link to make
    std::string strUsbSimDir;                    // publish on the simulated USB bus in this directory
    std::vector<std::string> extraArgs;          // any further command-line options
    std::string strStderrFile;                   // append the simulator's diagnostics here (default: inherited)
};

class CHubSimFixture {  // RAII: destructor stops the simulator
public:
    using Options = SHubSimOptions;

    // Starts on <strListenAddress>:0 and waits (at most ~5 s) until it is ready; throws std::runtime_error on failure.
    explicit CHubSimFixture(const Options& opts = {});
    ~CHubSimFixture();
    CHubSimFixture(const CHubSimFixture&) = delete;
    CHubSimFixture& operator=(const CHubSimFixture&) = delete;

    uint16_t Port() const { return m_nPort; }  // TCP port the hub listens on
    std::string Address() const { return m_options.strListenAddress; }
    std::string PtyPath() const { return m_strPtyPath; }      // when bPty
    std::string UsbBasePath() const { return m_strUsbBase; }  // "<dir>/<location>", when strUsbSimDir
    uint16_t ControlPort() const { return m_nControlPort; }
    bool Running() const { return m_pid > 0; }

    // Sends one control command and returns its one-line answer ("OK ..." or "ERR ...").
    // Throws std::runtime_error when the simulator does not answer within 5 s.
    std::string Control(const std::string& line);

    void Stop();     // graceful (the state file is written), then forced if it does not exit in time
    void Restart();  // stops and starts again, listening on the SAME port

    static std::string BinaryPath();

private:
    void Start(uint16_t nPort);
    void CloseControl();

    Options m_options;
    pid_t m_pid = -1;
    int m_nStdoutFd = -1;
    int m_nStdinFd = -1;  // the child's standard input; closing it makes the child quit
    uint16_t m_nPort = 0;
    uint16_t m_nControlPort = 0;
    std::string m_strPtyPath;
    std::string m_strUsbBase;
    std::mutex m_controlMutex;
    int m_nControlFd = -1;
    std::string m_strControlBuffer;
};
