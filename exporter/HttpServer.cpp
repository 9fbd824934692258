#include "exporter/HttpServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstring>

namespace vexal::exporter {

namespace {

// An idle connection is closed after this long; a probe's own wait is
// bounded by its time-out, not by this.
constexpr unsigned kIdleSeconds = 60;
// Enough for a scrape's request line and headers.
constexpr size_t kRequestMemory = 32 * 1024;

// With its length: a decoded %00 stays in the value, to be refused.
std::optional<std::string> Value(MHD_Connection* pConnection, MHD_ValueKind eKind, const char* pszKey) {
    const char* pValue = nullptr;
    size_t nValue = 0;
    if (MHD_lookup_connection_value_n(pConnection, eKind, pszKey, std::strlen(pszKey), &pValue, &nValue) != MHD_YES ||
        pValue == nullptr)
        return std::nullopt;
    return std::string(pValue, nValue);
}

}  // namespace

struct SHttpServerAccess {
    static MHD_Result Handle(void* pContext, MHD_Connection* pConnection, const char* pszUrl, const char* pszMethod,
                             const char* /*pszVersion*/, const char* /*pszUpload*/, size_t* pnUploadSize,
                             void** ppRequest) {
        static int s_nMarker = 0;
        // First call: the headers are in; a body (none expected) comes after.
        if (*ppRequest == nullptr) {
            *ppRequest = &s_nMarker;
            return MHD_YES;
        }
        if (*pnUploadSize != 0) {
            *pnUploadSize = 0;  // a body is read and dropped
            return MHD_YES;
        }
        auto* pServer = static_cast<CHttpServer*>(pContext);
        SHttpRequest request;
        request.strMethod = pszMethod;
        request.strPath = pszUrl;
        request.target = Value(pConnection, MHD_GET_ARGUMENT_KIND, "target");
        request.scrapeTimeout = Value(pConnection, MHD_HEADER_KIND, "X-Prometheus-Scrape-Timeout-Seconds");
        SHttpResponse response;
        try {
            response = pServer->m_handler(request);
        } catch (const std::exception& e) {
            response = {500, "text/plain; charset=utf-8", std::string("internal error: ") + e.what() + "\n"};
        }
        MHD_Response* pResponse =
            MHD_create_response_from_buffer(response.strBody.size(), response.strBody.data(), MHD_RESPMEM_MUST_COPY);
        if (pResponse == nullptr) return MHD_NO;
        MHD_add_response_header(pResponse, MHD_HTTP_HEADER_CONTENT_TYPE, response.strContentType.c_str());
        const MHD_Result eResult = MHD_queue_response(pConnection, response.nStatus, pResponse);
        MHD_destroy_response(pResponse);
        return eResult;
    }
};

CHttpServer::~CHttpServer() { Stop(); }

bool CHttpServer::Start(const std::string& strAddress, uint16_t nPort, unsigned nMaxConnections, HttpHandler handler,
                        std::string& strError) {
    Stop();
    m_handler = std::move(handler);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    if (::inet_pton(AF_INET, strAddress.c_str(), &address.sin_addr) != 1) {
        strError = "'" + strAddress + "' is not an IPv4 address";
        return false;
    }
    // poll, not select: descriptors of many connections and workers pass 1024.
    m_pDaemon = MHD_start_daemon(
        MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ERROR_LOG, nPort,
        nullptr, nullptr, &SHttpServerAccess::Handle, this, MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&address),
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_CONNECTION_LIMIT, nMaxConnections,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kRequestMemory, MHD_OPTION_END);
    if (m_pDaemon == nullptr) {
        strError = "cannot listen on " + strAddress + ":" + std::to_string(nPort) + " (in use, or not this host's)";
        return false;
    }
    const MHD_DaemonInfo* pInfo = MHD_get_daemon_info(m_pDaemon, MHD_DAEMON_INFO_BIND_PORT);
    m_nPort = pInfo != nullptr ? pInfo->port : nPort;
    return true;
}

void CHttpServer::Stop() {
    if (m_pDaemon != nullptr) MHD_stop_daemon(m_pDaemon);
    m_pDaemon = nullptr;
}

}  // namespace vexal::exporter
