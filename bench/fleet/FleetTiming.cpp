// Fleet timing of vexalcfg: N simulated hubs on 127.0.0.1, "--hosts ... show"
// with J jobs against its floor (one hub's show x ceil(N/J)), and a scan of a
// /24 on loopback where most addresses have no hub against its floor (the
// connect time-out x ceil(addresses / parallel attempts)).
//   fleet_timing [N=32] [J=8]
#include "HubSimFixture.h"
#include "tools/ToolSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double Seconds(const std::vector<std::string>& args, int& nExit) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> all = {VEXALCFG_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    nExit = vexal::tools::RunProcess(all).nExitStatus;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int nHubs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 32;
    const int nJobs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 8;
    std::vector<std::unique_ptr<CHubSimFixture>> hubs;
    for (int i = 0; i < nHubs; ++i) hubs.push_back(std::make_unique<CHubSimFixture>());
    const std::string strHosts = "/tmp/fleet-timing-" + std::to_string(::getpid()) + ".txt";
    {
        std::ofstream out(strHosts);
        for (const auto& h : hubs) out << h->Address() << ":" << h->Port() << "\n";
    }
    int nExit = 0;
    // One hub's show: the best of three, so a stray delay does not lower the ratio.
    double dOne = 1e9;
    for (int i = 0; i < 3; ++i)
        dOne = std::min(dOne, Seconds({"--ethernet", "127.0.0.1:" + std::to_string(hubs[0]->Port()), "show"}, nExit));
    const double dFleet = Seconds({"--hosts", strHosts, "--jobs", std::to_string(nJobs), "show"}, nExit);
    const double dFloor = dOne * ((nHubs + nJobs - 1) / nJobs);
    std::printf(
        "fleet: %d hubs, %d jobs: %.2f s, floor %.2f s (one show %.2f s x %d), ratio %.2f (goal <= 1.25), exit %d\n",
        nHubs, nJobs, dFleet, dFloor, dOne, (nHubs + nJobs - 1) / nJobs, dFleet / dFloor, nExit);
    std::remove(strHosts.c_str());

    const int nConnectMs = 300, nParallel = 64, nAddresses = 254;
    const double dScan =
        Seconds({"scan", "127.0.0.0/24", "--port", std::to_string(hubs[0]->Port()), "--connect-timeout",
                 std::to_string(nConnectMs), "--parallel", std::to_string(nParallel)},
                nExit);
    const double dScanFloor = nConnectMs / 1000.0 * ((nAddresses + nParallel - 1) / nParallel);
    std::printf("scan: 127.0.0.0/24 (%d addresses, 1 hub): %.2f s, floor %.2f s, ratio %.2f (goal < 5 s), exit %d\n",
                nAddresses, dScan, dScanFloor, dScan / dScanFloor, nExit);
    return 0;
}
