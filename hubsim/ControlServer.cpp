#include "ControlServer.h"

#include "Log.h"
#include "TcpTransport.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace hubsim {

namespace {
constexpr size_t kMaxLine = 1024 * 1024;  // long enough for any frame in hex
}

CControlServer::CControlServer(CControlInterpreter& interpreter, const std::string& strAddress, bool bStdin)
    : m_interpreter(interpreter), m_bStdin(bStdin) {
    if (!strAddress.empty()) {
        sockaddr_in address{};
        std::string strError;
        if (!ParseListenAddress(strAddress, address, strError)) throw std::runtime_error("control: " + strError);
        m_listen.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        const int nOne = 1;
        ::setsockopt(m_listen.Get(), SOL_SOCKET, SO_REUSEADDR, &nOne, sizeof nOne);
        if (!m_listen.Valid() ||
            ::bind(m_listen.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listen.Get(), 8) != 0)
            throw std::runtime_error("control: cannot listen on " + strAddress + ": " + std::strerror(errno));
        sockaddr_in bound{};
        socklen_t nLength = sizeof bound;
        ::getsockname(m_listen.Get(), reinterpret_cast<sockaddr*>(&bound), &nLength);
        m_nPort = ntohs(bound.sin_port);
    }
}

void CControlServer::Start() {
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
}

CControlServer::~CControlServer() {
    m_bStop = true;
    m_wake.Signal();
    if (m_thread.joinable()) m_thread.join();
}

void CControlServer::WriteAll(int fd, const std::string& strText) {
    size_t nDone = 0;
    while (nDone < strText.size()) {
        pollfd pfd{fd, POLLOUT, 0};
        // A control client that stops reading is not allowed to stall the hub for long.
        if (::poll(&pfd, 1, 2000) <= 0) return;
        ssize_t n = ::send(fd, strText.data() + nDone, strText.size() - nDone, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = ::write(fd, strText.data() + nDone, strText.size() - nDone);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return;
        }
        nDone += static_cast<size_t>(n);
    }
}

bool CControlServer::HandleInput(SClient& client, const char* pData, size_t nLength) {
    const int fd = client.bStdin ? STDOUT_FILENO : client.fd.Get();
    client.strBuffer.append(pData, nLength);
    size_t nNewline;
    while ((nNewline = client.strBuffer.find('\n')) != std::string::npos) {
        std::string strLine = client.strBuffer.substr(0, nNewline);
        client.strBuffer.erase(0, nNewline + 1);
        if (client.bDiscarding) {
            client.bDiscarding = false;  // the overlong line ends here; it was answered already
            continue;
        }
        if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
        if (SplitWords(strLine).empty()) continue;
        WriteAll(fd, m_interpreter.Execute(strLine) + "\n");
    }
    if (client.strBuffer.size() > kMaxLine) {
        // Answered once, then skipped up to its end; the client can go on.
        if (!client.bDiscarding) WriteAll(fd, "ERR line too long\n");
        client.bDiscarding = true;
        client.strBuffer.clear();
    }
    return true;
}

void CControlServer::Run() {
    std::vector<std::unique_ptr<SClient>> clients;
    bool bStdinOpen = m_bStdin;
    SClient stdinClient;  // keeps a partial line between reads
    stdinClient.bStdin = true;
    while (!m_bStop) {
        std::vector<pollfd> fds;
        fds.push_back(pollfd{m_wake.Get(), POLLIN, 0});
        if (m_listen.Valid()) fds.push_back(pollfd{m_listen.Get(), POLLIN, 0});
        if (bStdinOpen) fds.push_back(pollfd{STDIN_FILENO, POLLIN, 0});
        const size_t nFirstClient = fds.size();
        for (const auto& pClient : clients) fds.push_back(pollfd{pClient->fd.Get(), POLLIN, 0});
        const size_t nPolledClients = clients.size();  // a client accepted below is polled next time
        if (::poll(fds.data(), fds.size(), 500) < 0) {
            if (errno == EINTR) continue;
            LogLine(std::string("control: poll failed: ") + std::strerror(errno));
            return;
        }
        size_t nIndex = 1;
        if (m_listen.Valid()) {
            if (fds[nIndex].revents & POLLIN) {
                CUniqueFd fd(::accept4(m_listen.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
                if (fd.Valid()) {
                    auto pClient = std::make_unique<SClient>();
                    pClient->fd = std::move(fd);
                    clients.push_back(std::move(pClient));
                }
            }
            ++nIndex;
        }
        if (bStdinOpen) {
            if (fds[nIndex].revents) {
                char buffer[4096];
                const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (n <= 0 && !(n < 0 && (errno == EINTR || errno == EAGAIN))) {
                    bStdinOpen = false;  // end of input: the socket still serves
                } else if (n > 0) {
                    HandleInput(stdinClient, buffer, static_cast<size_t>(n));
                }
            }
            ++nIndex;
        }
        std::vector<size_t> dropped;
        for (size_t i = 0; i < nPolledClients; ++i) {
            const short nRevents = fds[nFirstClient + i].revents;
            if (!nRevents) continue;
            char buffer[4096];
            const ssize_t n = ::read(clients[i]->fd.Get(), buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0 || !HandleInput(*clients[i], buffer, static_cast<size_t>(n))) dropped.push_back(i);
        }
        for (auto it = dropped.rbegin(); it != dropped.rend(); ++it)
            clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(*it));
    }
}

}  // namespace hubsim
