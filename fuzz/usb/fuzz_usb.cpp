// The USB layer's readers: interface paths, the simulated bus's descriptor
// files, and the libusb backend's choice of interface and location text.
//
// Byte 0 picks the reader (modulo 3); the rest is its input, copied into an
// exactly sized buffer so any read past it is caught:
//   0  an interface path
//   1  a descriptor file's text
//   2  a device's configuration: interfaces, alternate settings and endpoints
//      built from the bytes in arrays of exactly their counts, then a bus
//      number and port numbers
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "platform/Usb.h"
#include "platform/UsbSim.h"
#include "platform/posix/UsbBulkInterface.h"

using namespace vexal::platform;
using vexal::fuzz::Require;

namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// A path parses only into parts that make the same path back.
void CheckPath(std::string_view text) {
    if (const auto parts = ParseUsbInterfacePath(text)) {
        const std::string strPath = MakeUsbInterfacePath(parts->wVendorId, parts->wProductId, parts->strLocation);
        Require(Upper(strPath) == Upper(text));
        // The positions the port name rules rely on.
        Require(strPath.substr(12, 4) == Upper(text.substr(12, 4)) &&
                strPath.substr(21, 4) == Upper(text.substr(21, 4)));
    }
    // Any text as a location: refused, or a path that reads back as made.
    const std::string strMade = MakeUsbInterfacePath(0x5A4D, 0x005D, text);
    if (strMade.empty()) return;
    const auto back = ParseUsbInterfacePath(strMade);
    Require(back && back->wVendorId == 0x5A4D && back->wProductId == 0x005D && back->strLocation == text);
    Require(strMade.find("COM") == std::string::npos && strMade.find("LPT") == std::string::npos);
}

bool IsHex4(const nlohmann::json& value) {
    if (!value.is_string()) return false;
    const std::string strText = value.get<std::string>();
    return strText.size() == 4 &&
           std::all_of(strText.begin(), strText.end(), [](unsigned char c) { return std::isxdigit(c); });
}

size_t Count(std::string_view text, std::string_view what) {
    size_t n = 0;
    for (size_t i = text.find(what); i != std::string_view::npos; i = text.find(what, i + 1)) ++n;
    return n;
}

// A descriptor as the simulator writes it (an object of the three keys,
// each once, no escapes) is read as any JSON reader reads it.
void CheckDescriptor(std::string_view text) {
    const auto descriptor = ParseUsbSimDescriptor(text);
    // The JSON reader stops at a NUL byte; the descriptor reader refuses it.
    if (text.find('\0') != std::string_view::npos) {
        Require(!descriptor);
        return;
    }
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || text.find('\\') != std::string_view::npos) return;
    for (const auto& [strKey, value] : doc.items())
        if (strKey != "vid" && strKey != "pid" && strKey != "exclusive") return;
    if (Count(text, "\"vid\"") != 1 || Count(text, "\"pid\"") != 1 || Count(text, "\"exclusive\"") > 1) return;
    if (doc.contains("exclusive") && !doc["exclusive"].is_boolean()) return;
    if (!doc.contains("vid") || !doc.contains("pid") || !IsHex4(doc["vid"]) || !IsHex4(doc["pid"])) {
        Require(!descriptor);
        return;
    }
    Require(descriptor.has_value());
    Require(descriptor->wVendorId == std::stoul(doc["vid"].get<std::string>(), nullptr, 16));
    Require(descriptor->wProductId == std::stoul(doc["pid"].get<std::string>(), nullptr, 16));
    Require(descriptor->bExclusive == doc.value("exclusive", false));
}

class CByteReader {
public:
    explicit CByteReader(std::string_view bytes) : m_bytes(bytes) {}
    uint8_t Next() { return m_nAt < m_bytes.size() ? static_cast<uint8_t>(m_bytes[m_nAt++]) : 0; }

private:
    std::string_view m_bytes;
    size_t m_nAt = 0;
};

bool HasBulk(const libusb_interface_descriptor& alt, bool bIn) {
    for (uint8_t e = 0; e < alt.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[e];
        if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK &&
            ((ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0) == bIn && ep.bEndpointAddress != 0)
            return true;
    }
    return false;
}

void CheckConfiguration(std::string_view bytes) {
    CByteReader in(bytes);
    // Exactly sized arrays: each level holds only as many records as its count says.
    const uint8_t nInterfaces = in.Next() % 8;
    std::vector<std::unique_ptr<libusb_endpoint_descriptor[]>> endpoints;
    std::vector<std::unique_ptr<libusb_interface_descriptor[]>> alternates;
    auto interfaces = std::make_unique<libusb_interface[]>(nInterfaces);
    for (uint8_t i = 0; i < nInterfaces; ++i) {
        const int nAlternates = in.Next() % 3;
        alternates.push_back(std::make_unique<libusb_interface_descriptor[]>(static_cast<size_t>(nAlternates)));
        for (int a = 0; a < nAlternates; ++a) {
            libusb_interface_descriptor& alt = alternates.back()[static_cast<size_t>(a)];
            alt = libusb_interface_descriptor{};
            alt.bInterfaceNumber = in.Next();
            alt.bInterfaceClass = in.Next();
            alt.bNumEndpoints = in.Next() % 5;
            endpoints.push_back(std::make_unique<libusb_endpoint_descriptor[]>(alt.bNumEndpoints));
            for (uint8_t e = 0; e < alt.bNumEndpoints; ++e) {
                libusb_endpoint_descriptor& ep = endpoints.back()[e];
                ep = libusb_endpoint_descriptor{};
                ep.bEndpointAddress = in.Next();
                ep.bmAttributes = in.Next();
            }
            alt.endpoint = endpoints.back().get();
        }
        interfaces[i].altsetting = alternates.back().get();
        interfaces[i].num_altsetting = nAlternates;
    }
    libusb_config_descriptor config{};
    config.bNumInterfaces = nInterfaces;
    config.interface = interfaces.get();
    const SBulkInterface chosen = ChooseBulkInterface(config);

    // The first usable interface, or the first usable preferred one.
    int nFirst = -1, nFirstPreferred = -1;
    for (uint8_t i = 0; i < nInterfaces; ++i) {
        if (interfaces[i].num_altsetting < 1) continue;
        const libusb_interface_descriptor& alt = interfaces[i].altsetting[0];
        if (!HasBulk(alt, true) || !HasBulk(alt, false)) continue;
        if (nFirst < 0) nFirst = i;
        if (nFirstPreferred < 0 && (alt.bInterfaceClass == 7 || alt.bInterfaceClass == 0xFF)) nFirstPreferred = i;
    }
    if (nFirst < 0) {
        Require(chosen.nInterface == -1 && chosen.byIn == 0 && chosen.byOut == 0);
    } else {
        const libusb_interface_descriptor& alt =
            interfaces[nFirstPreferred >= 0 ? nFirstPreferred : nFirst].altsetting[0];
        Require(chosen.nInterface == alt.bInterfaceNumber);
        Require((chosen.byIn & LIBUSB_ENDPOINT_IN) != 0 && (chosen.byOut & LIBUSB_ENDPOINT_IN) == 0 &&
                chosen.byOut != 0);
    }

    // The location of any device makes a path that reads back.
    const uint8_t byBus = in.Next();
    const int nPorts = static_cast<int>(in.Next() % 9) - 1;  // -1: libusb's error count
    uint8_t ports[8] = {};
    for (int i = 0; i < nPorts; ++i) ports[i] = in.Next();
    const std::string strLocation = UsbLocationText(byBus, ports, nPorts);
    const auto parts = ParseUsbInterfacePath(MakeUsbInterfacePath(0x5A4D, 0x005D, strLocation));
    Require(parts && parts->strLocation == strLocation);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 1) return 0;
    const vexal::fuzz::CExactInput exact(pData, nSize, 1);
    const std::string_view input = exact.Text();
    switch (pData[0] % 3) {
    case 0: CheckPath(input); break;
    case 1: CheckDescriptor(input); break;
    default: CheckConfiguration(input); break;
    }
    return 0;
}
