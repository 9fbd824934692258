#include "utility/win32/CommandLine.h"

#include "platform/DeviceNames.h"

#include <algorithm>
#include <cctype>

namespace vexal::utility::win32 {

namespace {

struct SOption {
    const char* pszShort;  // nullptr: none
    const char* pszLong;
    const char* pszValue;  // nullptr: a switch
    std::string strHelp;
};

std::vector<SOption> Options() {
    return {
        {"h", "help", nullptr, "Show this help."},
        {"v", "version", nullptr, "Show the version."},
        {nullptr, "interface", "usb|ethernet|bluetooth", "How to reach the hub: usb, ethernet or bluetooth."},
        {nullptr, "address", "A.B.C.D", "The hub's IPv4 address."},
        {nullptr, "tcp-port", "N", "The hub's TCP port (default " + std::to_string(kDefaultTcpPort) + ")."},
        {nullptr, "serial", "COMn", "The serial port of a Bluetooth link, e.g. COM3."},
        {nullptr, "connect", nullptr, "Connect at start."},
    };
}

std::string HelpText(const std::string& strProgram) {
    std::string strText =
        "Usage: " + strProgram + " [options]\nReads and changes the settings of a Vexal hub.\n\nOptions:\n";
    std::vector<std::pair<std::string, std::string>> rows;
    size_t nWidth = 0;
    for (const SOption& o : Options()) {
        std::string strLeft =
            o.pszShort != nullptr ? std::string("-") + o.pszShort + ", --" + o.pszLong : std::string("--") + o.pszLong;
        if (o.pszValue != nullptr)
            strLeft += std::string(" <") + o.pszValue + ">";
        nWidth = std::max(nWidth, strLeft.size());
        rows.emplace_back(strLeft, o.strHelp);
    }
    for (const auto& [strLeft, strHelp] : rows)
        strText += "  " + strLeft + std::string(nWidth - strLeft.size() + 2, ' ') + strHelp + "\n";
    if (!strText.empty())
        strText.pop_back();
    return strText;
}

std::optional<int> Number(const std::string& str, int nMax) {
    if (str.empty() || str.size() > 5 ||
        !std::all_of(str.begin(), str.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int n = std::stoi(str);
    return n <= nMax ? std::optional<int>(n) : std::nullopt;
}

std::optional<Ipv4Octets> ParseDotted(const std::string& str) {
    Ipv4Octets octets{};
    size_t nStart = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t nDot = str.find('.', nStart);
        if ((i < 3) != (nDot != std::string::npos))
            return std::nullopt;
        const std::string strPart = str.substr(nStart, i < 3 ? nDot - nStart : std::string::npos);
        // Every octet written out, at most three digits.
        if (strPart.size() > 3)
            return std::nullopt;
        auto n = Number(strPart, 255);
        if (!n)
            return std::nullopt;
        octets[static_cast<size_t>(i)] = static_cast<uint8_t>(*n);
        nStart = nDot + 1;
    }
    return octets;
}

std::string Lower(std::string str) {
    for (char& c : str)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return str;
}

}  // namespace

SParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, const std::string& strVersion) {
    SParsedCommandLine result;
    auto fail = [&result](const std::string& strText) {
        result.eOutcome = EParsed::Error;
        result.strText = strText;
        return result;
    };
    std::string strProgram = arguments.empty() ? "Vexal_Configuration_Utility" : arguments[0];
    const size_t nSlash = strProgram.find_last_of("\\/");
    if (nSlash != std::string::npos)
        strProgram.erase(0, nSlash + 1);

    const std::vector<SOption> options = Options();
    std::vector<std::pair<std::string, std::string>> given;  // long name, value
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& strArg = arguments[i];
        if (strArg.size() < 2 || strArg[0] != '-')
            return fail("Unexpected argument: " + strArg);
        const bool bLong = strArg[1] == '-';
        std::string strName = strArg.substr(bLong ? 2 : 1);
        std::optional<std::string> value;
        if (const size_t nEq = strName.find('='); bLong && nEq != std::string::npos) {
            value = strName.substr(nEq + 1);
            strName.erase(nEq);
        }
        const auto it = std::find_if(options.begin(), options.end(), [&](const SOption& o) {
            return bLong ? strName == o.pszLong : (o.pszShort != nullptr && strName == o.pszShort);
        });
        if (it == options.end())
            return fail("Unknown option '" + strName + "'.");
        if (it->pszValue != nullptr && !value) {
            if (i + 1 >= arguments.size())
                return fail("Missing value after '" + strArg + "'.");
            value = arguments[++i];
        } else if (it->pszValue == nullptr && value) {
            return fail("Unexpected value after '" + strArg.substr(0, strArg.find('=')) + "'.");
        }
        given.emplace_back(it->pszLong, value.value_or(std::string()));
    }
    auto isSet = [&given](const char* pszName) {
        return std::any_of(given.begin(), given.end(), [pszName](const auto& g) { return g.first == pszName; });
    };
    auto valueOf = [&given](const char* pszName) {
        std::string strValue;
        for (const auto& g : given)  // the last one given counts
            if (g.first == pszName)
                strValue = g.second;
        return strValue;
    };
    if (isSet("help")) {
        result.eOutcome = EParsed::Help;
        result.strText = HelpText(strProgram);
        return result;
    }
    if (isSet("version")) {
        result.eOutcome = EParsed::Version;
        result.strText = "Vexal_Configuration_Utility " + strVersion;
        return result;
    }
    SProgramOptions& o = result.options;
    if (isSet("interface")) {
        const std::string v = Lower(valueOf("interface"));
        if (v == "usb")
            o.nInterface = 16;
        else if (v == "ethernet")
            o.nInterface = 2;
        else if (v == "bluetooth")
            o.nInterface = 4;
        else
            return fail("Bad value for --interface: '" + v + "' (usb, ethernet or bluetooth)");
    }
    if (isSet("address")) {
        o.address = ParseDotted(valueOf("address"));
        if (!o.address)
            return fail("Bad value for --address: '" + valueOf("address") +
                        "' (four numbers 0-255, e.g. 192.168.0.17)");
    }
    if (isSet("tcp-port")) {
        const std::string v = valueOf("tcp-port");
        auto n = Number(v, 65535);
        if (!n || *n < 1)
            return fail("Bad value for --tcp-port: '" + v + "' (1-65535)");
        o.nTcpPort = *n;
    }
    if (isSet("serial")) {
        const std::string v = valueOf("serial");
        auto n = platform::ParsePortNumber(v, "COM");
        if (!n || *n > 255)
            return fail("Bad value for --serial: '" + v + "' (COM1 to COM255)");
        o.nSerial = *n;
    }
    o.bConnect = isSet("connect");
    return result;
}

}  // namespace vexal::utility::win32
