// Helper of UnprivilegedLinkWatchTest, run inside a fresh network namespace:
//   net_link_probe --lo-up   brings the loopback interface up (as root)
//   net_link_probe           (as any user) serves a one-frame hub on loopback,
//                            opens a network port to it and reports which ICMP
//                            path the link watch used and whether data came.
// Exit code 0 only when the port read the hub's frame.
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/Icmp.h"
#include "portlib/PortNet.h"

namespace {

int BringLoopbackUp() {
    const int h = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (h < 0) return 1;
    ifreq req{};
    std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
    int rc = ioctl(h, SIOCGIFFLAGS, &req);
    if (rc == 0) {
        req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP | IFF_RUNNING);
        rc = ioctl(h, SIOCSIFFLAGS, &req);
    }
    close(h);
    if (rc != 0) std::perror("lo up");
    return rc == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--lo-up") == 0) return BringLoopbackUp();

    int nErr = 0;
    auto pEndpoint = vexal::platform::OpenIcmpEndpoint(nErr);
    std::printf("uid=%d path=%s\n", static_cast<int>(getuid()),
                pEndpoint ? vexal::platform::IcmpPathName(pEndpoint->Path()) : "none");
    pEndpoint.reset();

    // A hub that sends one frame for device 0 and then keeps the line open.
    const int hListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof sa;
    if (hListen < 0 || bind(hListen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(hListen, 2) != 0 ||
        getsockname(hListen, reinterpret_cast<sockaddr*>(&sa), &nLen) != 0) {
        std::perror("listen");
        return 2;
    }
    std::thread hub([hListen] {
        const int h = accept4(hListen, nullptr, nullptr, SOCK_CLOEXEC);
        const unsigned char frame[] = {'V', 'Q', 'T', 0, 0, 2, 0x12, 0x34};
        if (h < 0) return;
        // Keep the line open until the port closes it (10 s at most).
        timeval limit{10, 0};
        setsockopt(h, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (write(h, frame, sizeof frame) == static_cast<ssize_t>(sizeof frame)) {
            unsigned char sink[64];
            while (read(h, sink, sizeof sink) > 0) {
            }
        }
        close(h);
    });

    auto pPort = std::make_shared<vexal::CPortNet>();
    const std::u16string strName = u"127.0.0.1";
    DeviceOption option{};
    option.portName = strName.c_str();
    option.portType = ZAMO_PORT_NET;
    option.speed = ntohs(sa.sin_port);
    pPort->SetDeviceOption(option);
    uint32_t dwRead = 0;
    uint8_t buf[2] = {};
    if (pPort->OpenPort() != 0) {
        dwRead = pPort->Read(0, buf, 2, 6000);
        std::printf("link=%u read=%u\n", pPort->m_dwLinkState.load(), dwRead);
        pPort->ClosePort();
    } else {
        std::printf("open failed\n");
    }
    hub.join();
    close(hListen);
    return dwRead == 2 && buf[0] == 0x12 && buf[1] == 0x34 ? 0 : 3;
}
