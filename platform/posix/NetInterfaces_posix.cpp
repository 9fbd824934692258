#include "platform/NetInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <bit>
#include <memory>

namespace vexal::platform {

std::vector<SIpv4Interface> ListIpv4Interfaces() {
    std::vector<SIpv4Interface> list;
    ifaddrs* pFirst = nullptr;
    if (getifaddrs(&pFirst) != 0) return list;
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(pFirst, freeifaddrs);
    for (const ifaddrs* p = pFirst; p != nullptr; p = p->ifa_next) {
        if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_INET) continue;
        SIpv4Interface entry;
        entry.strName = p->ifa_name != nullptr ? p->ifa_name : "";
        entry.dwAddress = ntohl(reinterpret_cast<const sockaddr_in*>(p->ifa_addr)->sin_addr.s_addr);
        if (p->ifa_netmask != nullptr)
            entry.nPrefix =
                std::countl_one(ntohl(reinterpret_cast<const sockaddr_in*>(p->ifa_netmask)->sin_addr.s_addr));
        // IFF_RUNNING: the link is there; a bridge without members or an
        // unplugged port is up but not running.
        entry.bUp = (p->ifa_flags & IFF_UP) != 0 && (p->ifa_flags & IFF_RUNNING) != 0;
        entry.bLoopback = (p->ifa_flags & IFF_LOOPBACK) != 0;
        list.push_back(std::move(entry));
    }
    return list;
}

}  // namespace vexal::platform
