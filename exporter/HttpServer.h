// The exporter's HTTP side, on libmicrohttpd: one thread per connection (a
// probe blocks only its own scrape), idle connections closed after a
// time-out, a bound on connections and on each request's memory.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct MHD_Daemon;

namespace vexal::exporter {

struct SHttpRequest {
    std::string strMethod, strPath;
    std::optional<std::string> target;         // the query parameter target
    std::optional<std::string> scrapeTimeout;  // X-Prometheus-Scrape-Timeout-Seconds
};
struct SHttpResponse {
    unsigned nStatus = 200;
    std::string strContentType = "text/plain; charset=utf-8";
    std::string strBody;
};
using HttpHandler = std::function<SHttpResponse(const SHttpRequest&)>;

class CHttpServer {
public:
    CHttpServer() = default;
    ~CHttpServer();  // Stop()
    CHttpServer(const CHttpServer&) = delete;
    CHttpServer& operator=(const CHttpServer&) = delete;

    // Listens on the IPv4 address and port (0: a free one) and serves each
    // request on its connection's thread. False with strError.
    bool Start(const std::string& strAddress, uint16_t nPort, unsigned nMaxConnections, HttpHandler handler,
               std::string& strError);
    // The port listened on.
    uint16_t Port() const { return m_nPort; }
    // Stops listening and waits for the requests under way.
    void Stop();

private:
    MHD_Daemon* m_pDaemon = nullptr;
    HttpHandler m_handler;
    uint16_t m_nPort = 0;
    friend struct SHttpServerAccess;
};

}  // namespace vexal::exporter
