// Address ranges of a search for hubs: "a.b.c.d/n" texts, lists of them, and
// the ranges of the PC's own networks as the default. Pure; the tool's scan
// and the utility's search read ranges the same way.
#pragma once
#include "platform/NetInterfaces.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexal::client {

// The widest range one search takes: a /22, 1024 addresses.
inline constexpr int kWidestScanPrefix = 22;

// "a.b.c.d/n" with n from 22 to 32, or one address: the host addresses in
// order (network and broadcast left out for n <= 30).
std::optional<std::vector<uint32_t>> ParseCidr(std::string_view strText, std::string& strError);
std::string FormatIPv4(uint32_t dwAddress);

// Ranges separated by commas or blanks: their addresses in the order given,
// each once, at most nMaxAddresses in all. The message names the range.
std::optional<std::vector<uint32_t>> ParseRanges(std::string_view strText, size_t nMaxAddresses, std::string& strError);

// Whether an address is a broadcast address of one of the PC's networks
// (or 255.255.255.255): no host, though a connect to it fails as if this
// computer had no route at all.
bool IsLocalBroadcast(uint32_t dwAddress, const std::vector<platform::SIpv4Interface>& interfaces);

// What a search looks through when the user names nothing: the network of
// each interface that is up, neither loopback nor link-local, narrowed to
// the /22 around this PC's address when it is wider; each once, in the
// interfaces' order ("192.168.0.0/24").
std::vector<std::string> DefaultScanRanges(const std::vector<platform::SIpv4Interface>& interfaces);

}  // namespace vexal::client
