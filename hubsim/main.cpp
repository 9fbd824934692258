// vexal-hubsim: stands in for a Vexal hub over TCP, a pty and the simulated USB bus.
#include "ControlCommands.h"
#include "ControlServer.h"
#include "Hub.h"
#include "Log.h"
#include "PtyTransport.h"
#include "StateFile.h"
#include "TcpTransport.h"
#include "UsbSimTransport.h"

#include <CLI/CLI.hpp>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

using namespace hubsim;

namespace {

std::atomic<bool> g_bQuit{false};

void PrintLine(const std::string& strLine) {
    std::fprintf(stdout, "%s\n", strLine.c_str());
    std::fflush(stdout);
}

uint16_t ParseUsbId(const std::string& strText, const char* pszWhat) {
    const auto bytes = ParseHex(strText);
    if (!bytes || bytes->size() != 2) throw std::runtime_error(std::string(pszWhat) + " must be four hex digits");
    return static_cast<uint16_t>((*bytes)[0] << 8 | (*bytes)[1]);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vexal-hubsim: a simulated Vexal hub for tests and demos"};
    std::string strListen = "127.0.0.1:9100";
    bool bNoTcp = false;
    std::string strControl = "127.0.0.1:0";
    bool bNoControl = false;
    bool bStdinControl = false;
    bool bGreet = false;
    bool bPty = false;
    std::string strComLink;
    std::string strUsbDir;
    std::string strUsbLocation = "1-1";
    std::string strUsbVid = "5A4D";
    std::string strUsbPid = "005D";
    std::string strStateFile;
    bool bVerbose = false;
    bool bExitOnStdinEof = false;
    std::vector<std::string> faultLines;
    int nDelay = 0;
    std::vector<std::string> vecNoReply, vecWrongHeader, vecShortReply, vecCutReply;
    bool bGarbage = false, bSilent = false, bRefuse = false;
    std::string strSplit, strCloseOnAccept;
    unsigned nDropAfter = 0;

    app.add_option("--listen", strListen, "TCP address ADDR:PORT to serve the host on (port 0 picks a free one)")
        ->capture_default_str();
    app.add_flag("--no-tcp", bNoTcp, "do not serve TCP");
    app.add_option("--control", strControl, "control socket ADDR:PORT (port 0 picks a free one)")
        ->capture_default_str();
    app.add_flag("--no-control", bNoControl, "no control socket");
    app.add_flag("--stdin-control", bStdinControl, "also read control commands from standard input");
    app.add_flag("--greet", bGreet, "send one frame to device 254 right after a host connects");
    app.add_flag("--pty", bPty, "serve a pseudo-terminal as the hub's serial link");
    app.add_option("--com-link", strComLink, "make this symbolic link (DIR/COM<n>) to the pty")->needs("--pty");
    app.add_option("--usb-sim", strUsbDir, "publish the hub on the simulated USB bus in this directory");
    app.add_option("--usb-location", strUsbLocation, "location name on the simulated bus")->capture_default_str();
    app.add_option("--usb-vid", strUsbVid, "USB vendor ID (hex)")->capture_default_str();
    app.add_option("--usb-pid", strUsbPid, "USB product ID (hex)")->capture_default_str();
    app.add_option("--state", strStateFile, "JSON file the settings are loaded from and saved to");
    app.add_flag("-v,--verbose", bVerbose, "log every frame on standard error");
    app.add_flag("--exit-on-stdin-eof", bExitOnStdinEof,
                 "quit when standard input closes (a test harness that dies takes the hub with it)")
        ->excludes("--stdin-control");
    app.add_option("--fault", faultLines, "a fault in control syntax without the word FAULT, e.g. \"DELAY 200\"");
    app.add_option("--delay", nDelay, "delay every reply by this many ms");
    app.add_option("--no-reply", vecNoReply, "leave this command (hex) unanswered");
    app.add_option("--wrong-header", vecWrongHeader, "answer this command (hex) with a wrong header");
    app.add_option("--short-reply", vecShortReply, "cut the reply to this command: CMD or CMD:BYTES");
    app.add_option("--cut-reply", vecCutReply,
                   "send part of the reply frame to this command, then drop the link: CMD or CMD:BYTES");
    app.add_flag("--garbage", bGarbage, "send junk bytes before every frame");
    app.add_option("--split", strSplit, "send every frame in pieces: BYTES:PAUSE_MS");
    app.add_option("--close-on-accept", strCloseOnAccept, "close connections right after accepting: once or always");
    app.add_option("--drop-after", nDropAfter, "drop the connection after this many frames from the host");
    app.add_flag("--silent", bSilent, "never send anything");
    app.add_flag("--refuse", bRefuse, "refuse connections");
    CLI11_PARSE(app, argc, argv);

    SetVerbose(bVerbose);
    if (nDelay > 0) faultLines.push_back("DELAY " + std::to_string(nDelay));
    for (const auto& s : vecNoReply) faultLines.push_back("NOREPLY " + s);
    for (const auto& s : vecWrongHeader) faultLines.push_back("WRONGHEADER " + s);
    for (const auto& [strKind, vecLines] : {std::pair{"SHORT ", &vecShortReply}, std::pair{"CUT ", &vecCutReply}}) {
        for (const auto& s : *vecLines) {
            const auto nColon = s.find(':');
            faultLines.push_back(strKind +
                                 (nColon == std::string::npos ? s : s.substr(0, nColon) + " " + s.substr(nColon + 1)));
        }
    }
    if (bGarbage) faultLines.push_back("GARBAGE ON");
    if (!strSplit.empty()) {
        const auto nColon = strSplit.find(':');
        faultLines.push_back("SPLIT " + (nColon == std::string::npos
                                             ? strSplit
                                             : strSplit.substr(0, nColon) + " " + strSplit.substr(nColon + 1)));
    }
    if (!strCloseOnAccept.empty()) faultLines.push_back("CLOSE " + strCloseOnAccept);
    if (nDropAfter > 0) faultLines.push_back("DROP " + std::to_string(nDropAfter));
    if (bSilent) faultLines.push_back("SILENT ON");
    if (bRefuse) faultLines.push_back("REFUSE ON");

    // Signals are taken by the main thread alone; nothing here may die of a closed peer.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        std::optional<CHubState> loaded;
        if (!strStateFile.empty()) loaded = LoadStateFile(strStateFile);  // missing: created with the defaults
        CHub hub(loaded ? std::move(*loaded) : CHubState{}, strStateFile);
        if (!strStateFile.empty()) {
            std::string strError;
            if (!hub.SaveState(strError)) throw std::runtime_error(strError);
        }
        std::unique_ptr<CUsbSimTransport> pUsb;
        CControlInterpreter interpreter(hub, nullptr, [] { g_bQuit = true; });
        for (const std::string& strLine : faultLines) {
            const std::string strAnswer = interpreter.Execute("FAULT " + strLine);
            if (strAnswer.rfind("OK", 0) != 0) throw std::runtime_error("fault '" + strLine + "': " + strAnswer);
        }

        std::unique_ptr<CTcpTransport> pTcp;
        std::unique_ptr<CPtyTransport> pPty;
        if (!bNoTcp) {
            pTcp = std::make_unique<CTcpTransport>(hub, strListen, bGreet);
            PrintLine("LISTEN " + pTcp->Address() + ":" + std::to_string(pTcp->Port()));
        }
        if (bPty) {
            pPty = std::make_unique<CPtyTransport>(hub, strComLink, bGreet);
            PrintLine("PTY " + pPty->SlavePath());
        }
        if (!strUsbDir.empty()) {
            pUsb =
                std::make_unique<CUsbSimTransport>(hub, strUsbDir, strUsbLocation, ParseUsbId(strUsbVid, "--usb-vid"),
                                                   ParseUsbId(strUsbPid, "--usb-pid"), bGreet);
            PrintLine("USB " + pUsb->BasePath());
        }
        CControlInterpreter control(hub, pUsb.get(), [] { g_bQuit = true; });
        std::unique_ptr<CControlServer> pControl;
        if (!bNoControl || bStdinControl) {
            pControl =
                std::make_unique<CControlServer>(control, bNoControl ? std::string() : strControl, bStdinControl);
            if (!bNoControl)
                PrintLine("CONTROL " + strControl.substr(0, strControl.rfind(':')) + ":" +
                          std::to_string(pControl->Port()));
        }
        hub.SyncTransports();  // start-up faults (a refusal) are in force before READY
        PrintLine("READY");
        if (pControl) pControl->Start();

        // Signals arrive as readable bytes, beside standard input when it is watched.
        CUniqueFd signalFd(::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
        bool bWatchStdin = bExitOnStdinEof;
        while (!g_bQuit) {
            pollfd fds[2] = {{signalFd.Get(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            if (::poll(fds, bWatchStdin ? 2 : 1, 100) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                LogLine("signal received, quitting");
                break;
            }
            if (bWatchStdin && fds[1].revents) {
                char buffer[256];
                const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                    LogLine("standard input closed, quitting");
                    break;
                }
            }
        }
        // Control first: its commands wait on the transports.
        pControl.reset();
        pUsb.reset();
        pPty.reset();
        pTcp.reset();
        if (!strStateFile.empty()) {
            std::string strError;
            if (!hub.SaveState(strError)) LogLine("state not saved: " + strError);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vexal-hubsim: %s\n", e.what());
        std::fprintf(stdout, "ERROR %s\n", e.what());
        std::fflush(stdout);
        return 2;
    }
    return 0;
}
