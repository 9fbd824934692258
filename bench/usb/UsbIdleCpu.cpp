// Idle cost of the USB port, as a share of one core (goal < 0.5 %):
//  (a) one idle open port on the simulated bus of vexal-hubsim: its reader in
//      100 ms read slices and its connection check enumerating every 100 ms;
//  (b) the connection check's enumeration pass on the libusb bus alone, run
//      every 100 ms as an open port runs it (on this machine's real bus).
// Usage: usb_idle_cpu [seconds=20]
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "HubSimFixture.h"
#include "common/RegistUsb.h"
#include "platform/Clock.h"
#include "platform/UsbSim.h"
#include "portlib/PortUsb.h"

namespace {

double NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double CpuMs() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return (static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

struct SShare {
    double dWallMs = 0;
    double dCpuMs = 0;
    double Percent() const { return dWallMs > 0 ? dCpuMs * 100.0 / dWallMs : 0; }
};

template <typename F>
SShare Measure(int nSeconds, F&& fnDuring) {
    const double c0 = CpuMs();
    const double w0 = NowMs();
    fnDuring(static_cast<uint64_t>(nSeconds) * 1000u);
    return {NowMs() - w0, CpuMs() - c0};
}

}  // namespace

int main(int argc, char** argv) {
    const int nSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    std::random_device random;
    const auto dir = std::filesystem::temp_directory_path() / ("vexal-usb-bench-" + std::to_string(random()));
    std::filesystem::create_directories(dir);
    SShare port;
    {
        SHubSimOptions options;
        options.strUsbSimDir = dir.string();
        CHubSimFixture hub(options);
        auto pPort = std::make_shared<vexal::CPortUsb>();
        pPort->SetUsbBus(vexal::platform::MakeUsbSimBus(dir.string()));
        const std::string strPath = vexal::platform::MakeUsbInterfacePath(0x5a4d, 0x5d, "1-1");
        const std::u16string strWide(strPath.begin(), strPath.end());
        DeviceOption option{};
        option.portName = strWide.c_str();
        option.portType = 16;
        pPort->SetDeviceOption(option);
        if (pPort->OpenPort() == 0) {
            std::fprintf(stderr, "cannot open the simulated hub\n");
            return 1;
        }
        vexal::platform::SleepMs(500);
        port = Measure(nSeconds, [](uint64_t ms) { vexal::platform::SleepMs(static_cast<uint32_t>(ms)); });
        pPort->ClosePort();
    }
    std::filesystem::remove_all(dir);
    std::printf(
        "(a) one idle open port on the simulated bus over %.1f s: %.1f ms CPU = %.4f %% of one core "
        "(goal < 0.5 %%)\n",
        port.dWallMs / 1000.0, port.dCpuMs, port.Percent());

    ::unsetenv("VEXAL_USB_SIM_DIR");
    const auto pBus = vexal::platform::SystemUsbBus();
    size_t nDevices = 0;
    size_t nHubs = 0;
    uint64_t nPasses = 0;
    const SShare enumeration = Measure(nSeconds, [&](uint64_t ms) {
        const uint64_t t0 = vexal::platform::TickMs();
        while (vexal::platform::TickMs() - t0 < ms) {
            nDevices = pBus->Enumerate().size();
            vexal::CRegistUsb list(pBus);
            list.EnumDevices();
            nHubs = list.Devices().size();
            ++nPasses;
            vexal::platform::SleepMs(vexal::kUsbCheckPeriodMs);
        }
    });
    std::printf(
        "(b) libusb enumeration pass every %u ms over %.1f s (%llu passes, %zu devices, %zu hubs): "
        "%.1f ms CPU = %.4f %% of one core (goal < 0.5 %%), %.3f ms per pass\n",
        vexal::kUsbCheckPeriodMs, enumeration.dWallMs / 1000.0, static_cast<unsigned long long>(nPasses), nDevices,
        nHubs, enumeration.dCpuMs, enumeration.Percent(),
        nPasses ? enumeration.dCpuMs / static_cast<double>(nPasses) : 0.0);
    return 0;
}
