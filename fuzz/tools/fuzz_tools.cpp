// The command-line tool's own readers: hosts files and connection texts
// (checked against the library's reading of them). Backups, KEY=VALUE
// arguments and the hub's blocks are the settings model's: fuzz/model.
//
// Byte 0 picks the reader (modulo 2), byte 1 is unused; the rest is the
// input, copied into an exactly sized buffer so any read past it is caught:
//   0  a hosts file's text
//   1  an address range and a list of them, --ethernet and --serial texts
//      (the same text each)
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cfglib/PortText.h"
#include "client/ScanRanges.h"
#include "fuzz/FuzzInput.h"
#include "include/zamocfg.h"
#include "platform/Socket.h"
#include "platform/TextCodec.h"
#include "client/Targets.h"

using namespace vexal::client;
using vexal::fuzz::Lines;
using vexal::fuzz::Require;

namespace {

void CheckHosts(std::string_view text) {
    std::string strError;
    const auto hosts = ParseHostsText(text, "hosts.txt", strError);
    if (!hosts) {
        Require(strError.rfind("hosts.txt:", 0) == 0);
        return;
    }
    Require(!hosts->empty() && hosts->size() <= Lines(text).size());
    for (const std::string& strHost : *hosts) {
        Require(strHost.find_first_of(" \t\r\n#") == std::string::npos);
        const auto connection = ParseEthernet(strHost, strError);
        Require(connection.has_value());
    }
}

// The port text the tool builds is read by the library as the tool meant it.
void CheckTargets(std::string_view text) {
    std::string strError;
    if (const auto hosts = vexal::client::ParseCidr(text, strError)) {
        Require(!hosts->empty() && hosts->size() <= 1024);
        for (size_t i = 1; i < hosts->size(); ++i) Require((*hosts)[i] == (*hosts)[i - 1] + 1);
        Require((hosts->front() & ~0x3FFu) == (hosts->back() & ~0x3FFu));  // one /22 at most
        Require(vexal::platform::ParseIPv4(vexal::client::FormatIPv4(hosts->front())) == hosts->front());
    }
    // A list of ranges: within its limit, each address once.
    if (const auto all = vexal::client::ParseRanges(text, 2048, strError)) {
        Require(!all->empty() && all->size() <= 2048);
        std::vector<uint32_t> sorted = *all;
        std::sort(sorted.begin(), sorted.end());
        Require(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());
    }
    if (const auto connection = ParseEthernet(text, strError)) {
        Require(connection->nInterface == ZAMO_IF_ETHERNET);
        const auto again = ParseEthernet(connection->strPortText, strError);
        Require(again && again->strPortText == connection->strPortText);
        const auto selection = vexal::cfg::ParsePortText(
            ZAMO_IF_ETHERNET, vexal::platform::Utf16FromUtf8(connection->strPortText), 0, DeviceOption{});
        const size_t nColon = connection->strPortText.find(':');
        Require(vexal::platform::ParseIPv4(connection->strPortText.substr(0, nColon)).has_value());
        Require(selection.nResult == 0 &&
                std::to_string(selection.option.speed) == connection->strPortText.substr(nColon + 1));
    }
    if (const auto connection = ParseSerial(text, strError)) {
        Require(connection->nInterface == ZAMO_IF_SERIAL || connection->nInterface == ZAMO_IF_SERIAL_EXPLICIT);
        const std::u16string strPortText = vexal::platform::Utf16FromUtf8(connection->strPortText);
        const auto selection = vexal::cfg::ParsePortText(connection->nInterface, strPortText, 0, DeviceOption{});
        Require(selection.nResult == 0 && !selection.strPortName.empty());
        Require(selection.strPortName.find(u':') == std::u16string::npos);
        // COM<n> or a device path reaches the library as the tool read it.
        Require(selection.strPortName == vexal::platform::Utf16FromUtf8(connection->strLabel));
        // Line settings in the order the library reads them: baud, data, parity, stop, flow.
        const DeviceOption& o = selection.option;
        const uint32_t fields[5] = {o.speed, o.dataBits, o.parity, o.stopBits, o.flowControl};
        size_t nAt = connection->strPortText.find(':');
        for (size_t i = 0; nAt != std::string::npos; ++i) {
            const size_t nNext = connection->strPortText.find(':', nAt + 1);
            // A number the tool took whole ("-0" included), read as the library reads it: 32 bits at most.
            const std::string strItem = connection->strPortText.substr(nAt + 1, nNext - nAt - 1);
            long nGiven = -1;
            const auto [pEnd, ec] = std::from_chars(strItem.data(), strItem.data() + strItem.size(), nGiven);
            Require(ec == std::errc() && pEnd == strItem.data() + strItem.size() && nGiven >= 0);
            Require(i < 5 && fields[i] == std::min<uint64_t>(static_cast<uint64_t>(nGiven), UINT32_MAX));
            nAt = nNext;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const vexal::fuzz::CExactInput exact(pData, nSize, 2);
    const std::string_view input = exact.Text();
    switch (pData[0] % 2) {
    case 0: CheckHosts(input); break;
    default: CheckTargets(input); break;
    }
    return 0;
}
