#include "platform/NetInterfaces.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include "platform/win32/Win32Util.h"

#include <vector>

namespace vexal::platform {

std::vector<SIpv4Interface> ListIpv4Interfaces() {
    std::vector<SIpv4Interface> list;
    const ULONG ulFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    // The list can grow between the call that sizes it and the one that fills it.
    std::vector<unsigned char> buffer(16384);
    ULONG ulSize = static_cast<ULONG>(buffer.size());
    ULONG ulResult = ERROR_BUFFER_OVERFLOW;
    for (int nTry = 0; nTry < 4 && ulResult == ERROR_BUFFER_OVERFLOW; ++nTry) {
        buffer.resize(ulSize);
        ulResult = GetAdaptersAddresses(AF_INET, ulFlags, nullptr,
                                        reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &ulSize);
    }
    if (ulResult != NO_ERROR) return list;
    for (auto* pAdapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); pAdapter != nullptr;
         pAdapter = pAdapter->Next) {
        for (auto* pUnicast = pAdapter->FirstUnicastAddress; pUnicast != nullptr; pUnicast = pUnicast->Next) {
            const SOCKADDR* pAddress = pUnicast->Address.lpSockaddr;
            if (pAddress == nullptr || pAddress->sa_family != AF_INET) continue;
            SIpv4Interface entry;
            entry.strName = pAdapter->FriendlyName != nullptr ? win32::Utf8FromWide(pAdapter->FriendlyName) : "";
            entry.dwAddress = ntohl(reinterpret_cast<const sockaddr_in*>(pAddress)->sin_addr.s_addr);
            entry.nPrefix = pUnicast->OnLinkPrefixLength <= 32 ? pUnicast->OnLinkPrefixLength : 0;
            entry.bUp = pAdapter->OperStatus == IfOperStatusUp;
            entry.bLoopback = pAdapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            list.push_back(std::move(entry));
        }
    }
    return list;
}

}  // namespace vexal::platform
