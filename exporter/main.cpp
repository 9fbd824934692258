// vexal-exporter: Prometheus probes of Vexal hubs, in the multi-target
// pattern (GET /probe?target=ADDR[:PORT]), and the exporter's own figures
// (GET /metrics). Run as a worker (--probe-worker), it probes one hub.
#include "exporter/HttpServer.h"
#include "exporter/ProbeMetrics.h"
#include "exporter/ProbeRequest.h"
#include "exporter/ProbeRunner.h"
#include "exporter/ProbeWorker.h"
#include "tools/ToolSystem.h"

#include <CLI/CLI.hpp>

#include <signal.h>

#include <cstdio>
#include <iostream>

#ifndef VEXAL_EXPORTER_VERSION
#define VEXAL_EXPORTER_VERSION "0"
#endif

namespace {

using namespace vexal::exporter;

constexpr const char* kLandingPage =
    "vexal-exporter: Prometheus probes of Vexal hubs\n"
    "  /probe?target=ADDR[:PORT]  one hub (TCP port 9100 unless given)\n"
    "  /metrics                   the exporter's own figures\n";

SHttpResponse Text(unsigned nStatus, const std::string& strText) {
    return {nStatus, "text/plain; charset=utf-8", strText + "\n"};
}

SHttpResponse Serve(CProbeRunner& runner, double dTimeout, const SHttpRequest& request) {
    if (request.strMethod != "GET" && request.strMethod != "HEAD")
        return Text(405, request.strMethod + ": only GET is served");
    if (request.strPath == "/metrics") return {200, kTextFormat, FormatExporterMetrics(runner.Figures())};
    if (request.strPath == "/") return Text(200, kLandingPage);
    if (request.strPath != "/probe") return Text(404, request.strPath + ": no such page (/probe, /metrics)");
    std::string strError;
    const auto connection = ParseProbeTarget(request.target, strError);
    const auto nBudgetMs = connection ? ProbeBudgetMs(request.scrapeTimeout, dTimeout, strError) : std::nullopt;
    if (!nBudgetMs) {
        runner.CountBadRequest();
        return Text(400, strError);
    }
    const SProbeAnswer answer = runner.Probe(connection->strPortText, *nBudgetMs);
    if (answer.eKind == SProbeAnswer::EKind::Busy) return Text(503, answer.strBody);
    return {200, kTextFormat, answer.strBody};
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Prometheus exporter for Vexal hubs: GET /probe?target=ADDR[:PORT] probes one hub over Ethernet "
        "and answers with its series; GET /metrics has the exporter's own.",
        "vexal-exporter"};
    std::string strListen = "127.0.0.1:" + std::to_string(kDefaultListenPort);
    double dTimeout = 10;
    unsigned nMaxProbes = 64;
    bool bVerbose = false;
    std::string strWorkerTarget;
    uint64_t nWorkerDeadline = 0;
    app.add_option("--listen", strListen, "IPv4 address and TCP port to serve on (port 0: a free one)")
        ->capture_default_str();
    app.add_option("--timeout", dTimeout,
                   "the longest a probe may take, in seconds, and its time-out when the scrape does not say "
                   "(X-Prometheus-Scrape-Timeout-Seconds)")
        ->capture_default_str()
        ->check(CLI::Range(0.1, 300.0));
    app.add_option("--max-probes", nMaxProbes,
                   "probes that run at once; more wait for a slot within their time-out, else get 503")
        ->capture_default_str()
        ->check(CLI::Range(1u, 1024u));
    app.add_flag("-v,--verbose", bVerbose, "log each probe that finds its hub down, with the reason");
    app.set_version_flag("--version", std::string("vexal-exporter ") + VEXAL_EXPORTER_VERSION);
    // The worker side of a probe: this program, run by itself.
    app.add_option("--probe-worker", strWorkerTarget)->group("");
    app.add_option("--deadline-ms", nWorkerDeadline)->group("");
    CLI11_PARSE(app, argc, argv);

    if (!strWorkerTarget.empty()) return RunProbeWorker(strWorkerTarget, nWorkerDeadline);

    std::string strError;
    const auto listen = ParseListen(strListen, strError);
    if (!listen) {
        std::cerr << "vexal-exporter: " << strError << "\n";
        return 2;
    }
    // The signals that end it are taken by sigwait below, in no other thread.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    signal(SIGPIPE, SIG_IGN);

    CProbeRunner runner(vexal::tools::SelfExecutable(), nMaxProbes, bVerbose);
    CHttpServer server;
    // Scrapes beyond the probe slots wait on their connections, and /metrics
    // must still get in.
    const unsigned nConnections = nMaxProbes * 4 + 16;
    if (!server.Start(
            listen->strAddress, listen->nPort, nConnections,
            [&](const SHttpRequest& request) { return Serve(runner, dTimeout, request); }, strError)) {
        std::cerr << "vexal-exporter: " << strError << "\n";
        return 1;
    }
    std::printf("LISTEN %s:%u\n", listen->strAddress.c_str(), static_cast<unsigned>(server.Port()));
    std::fflush(stdout);
    std::cerr << "vexal-exporter: serving on " << listen->strAddress << ":" << server.Port() << "\n";
    int nSignal = 0;
    sigwait(&stops, &nSignal);
    server.Stop();
    return 0;
}
