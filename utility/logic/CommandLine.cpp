#include "utility/logic/CommandLine.h"

#include "platform/DeviceNames.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace vexal::utility {

namespace {

// Digits only, at most nMaxDigits of them, within 0..nMax.
std::optional<int> ParseDecimal(const std::string& strText, size_t nMaxDigits, int nMax) {
    if (strText.empty() || strText.size() > nMaxDigits) return std::nullopt;
    int n = 0;
    for (char ch : strText) {
        if (ch < '0' || ch > '9') return std::nullopt;
        n = n * 10 + (ch - '0');
    }
    return n <= nMax ? std::optional<int>(n) : std::nullopt;
}

// Four decimal octets, each written out ("010" is ten, never octal).
std::optional<Ipv4Octets> ParseDotted(const std::string& strText) {
    Ipv4Octets octets{};
    size_t nStart = 0;
    for (size_t i = 0; i < 4; ++i) {
        const size_t nDot = i < 3 ? strText.find('.', nStart) : strText.size();
        if (nDot == std::string::npos) return std::nullopt;
        auto octet = ParseDecimal(strText.substr(nStart, nDot - nStart), 3, 255);
        if (!octet) return std::nullopt;
        octets[i] = static_cast<uint8_t>(*octet);
        nStart = nDot + 1;
    }
    return octets;
}

struct SOption {
    const char* pszShort;  // "" when none
    const char* pszLong;
    const char* pszValue;  // "" for a switch
    const char* pszHelp;
};

constexpr SOption kOptions[] = {
    {"h", "help", "", "Show this help."},
    {"v", "version", "", "Show the version."},
    {"", "interface", "usb|ethernet|bluetooth", "How to reach the hub: usb, ethernet or bluetooth."},
    {"", "address", "A.B.C.D", "The hub's IPv4 address."},
    {"", "tcp-port", "N", "The hub's TCP port (default 9100)."},
    {"", "serial", "COMn", "The serial port of a Bluetooth link, e.g. COM3."},
    {"", "connect", "", "Connect at start."},
};

std::string HelpText(const std::string& strProgram) {
    std::string strText =
        "Usage: " + strProgram + " [options]\nReads and changes the settings of a Vexal hub.\n\nOptions:";
    for (const auto& o : kOptions) {
        std::string strName =
            *o.pszShort != '\0' ? std::string("-") + o.pszShort + ", --" + o.pszLong : std::string("--") + o.pszLong;
        if (*o.pszValue != '\0') strName += std::string(" <") + o.pszValue + ">";
        strName.resize(std::max<size_t>(strName.size() + 2, 36), ' ');
        strText += "\n  " + strName + o.pszHelp;
    }
    return strText;
}

}  // namespace

SCommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& strVersionLine) {
    SCommandLine result;
    auto fail = [&result](std::string strText) {
        result.eOutcome = ECommandLine::Error;
        result.strText = std::move(strText);
        return result;
    };
    std::string strProgram = arguments.empty() ? std::string() : arguments[0];
    strProgram =
        strProgram.substr(strProgram.find_last_of("/\\") == std::string::npos ? 0 : strProgram.find_last_of("/\\") + 1);
    if (strProgram.empty()) strProgram = "Vexal_Configuration_Utility";

    bool bHelp = false, bVersion = false;
    SUtilityOptions& o = result.options;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& strArg = arguments[i];
        if (strArg.size() < 2 || strArg[0] != '-') return fail("Unexpected argument: " + strArg);
        std::string strName = strArg.substr(strArg[1] == '-' ? 2 : 1);
        std::optional<std::string> value;
        if (const size_t nEq = strName.find('='); nEq != std::string::npos) {
            value = strName.substr(nEq + 1);
            strName.resize(nEq);
        }
        const SOption* pOption = nullptr;
        for (const auto& option : kOptions)
            if ((strArg[1] == '-' && strName == option.pszLong) || (strArg[1] != '-' && strName == option.pszShort))
                pOption = &option;
        if (pOption == nullptr || strName.empty()) return fail("Unknown option '" + strName + "'.");
        const std::string strLong = pOption->pszLong;
        if (*pOption->pszValue == '\0') {
            if (value) return fail("Unexpected value after '--" + strLong + "'.");
        } else if (!value) {
            if (i + 1 >= arguments.size()) return fail("Missing value after '--" + strLong + "'.");
            value = arguments[++i];
        }
        if (strLong == "help") {
            bHelp = true;
        } else if (strLong == "version") {
            bVersion = true;
        } else if (strLong == "connect") {
            o.bConnect = true;
        } else if (strLong == "interface") {
            std::string v = *value;
            std::transform(v.begin(), v.end(), v.begin(), [](unsigned char ch) { return std::tolower(ch); });
            if (v == "usb")
                o.nInterface = 16;
            else if (v == "ethernet")
                o.nInterface = 2;
            else if (v == "bluetooth")
                o.nInterface = 4;
            else
                return fail("Bad value for --interface: '" + v + "' (usb, ethernet or bluetooth)");
        } else if (strLong == "address") {
            o.address = ParseDotted(*value);
            if (!o.address)
                return fail("Bad value for --address: '" + *value + "' (four numbers 0-255, e.g. 192.168.0.17)");
        } else if (strLong == "tcp-port") {
            auto nPort = ParseDecimal(*value, 5, 65535);
            if (!nPort || *nPort == 0) return fail("Bad value for --tcp-port: '" + *value + "' (1-65535)");
            o.nTcpPort = *nPort;
        } else if (strLong == "serial") {
            auto n = platform::ParsePortNumber(*value, "COM");
            if (!n || *n > 255) return fail("Bad value for --serial: '" + *value + "' (COM1 to COM255)");
            o.nSerial = *n;
        }
    }
    if (bHelp) {
        result.eOutcome = ECommandLine::Help;
        result.strText = HelpText(strProgram);
    } else if (bVersion) {
        result.eOutcome = ECommandLine::Version;
        result.strText = strVersionLine;
    }
    return result;
}

}  // namespace vexal::utility
