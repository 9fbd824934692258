#include "cups/BackendArgs.h"

#include "client/HubTargets.h"
#include "include/zamocfg.h"
#include "model/DeviceStatus.h"
#include "model/HubText.h"
#include "platform/Usb.h"

#include <charconv>

namespace vexal::cups {
namespace {

// Copies beyond CUPS's own default limit are a mistake, not a job.
constexpr int kMaxCopies = 9999;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX decoded; a bad escape or one giving a control byte (NUL among them) fails.
std::optional<std::string> Unescape(std::string_view str) {
    std::string out;
    for (size_t i = 0; i < str.size(); ++i) {
        if (str[i] != '%') {
            out += str[i];
            continue;
        }
        if (i + 2 >= str.size()) return std::nullopt;
        const int nHigh = HexDigit(str[i + 1]), nLow = HexDigit(str[i + 2]);
        if (nHigh < 0 || nLow < 0) return std::nullopt;
        const char c = static_cast<char>(nHigh * 16 + nLow);
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
        out += c;
        i += 2;
    }
    return out;
}

bool Fail(std::string& strError, const std::string& strText) {
    strError = strText;
    return false;
}

// The last path segment as the device; the rest before it in strRest.
bool SplitDevice(std::string_view strPath, std::string_view& strRest, int& nDevice, std::string_view strUri,
                 std::string& strError) {
    const size_t nSlash = strPath.rfind('/');
    const std::string_view strDevice = nSlash == std::string_view::npos ? strPath : strPath.substr(nSlash + 1);
    strRest = nSlash == std::string_view::npos ? std::string_view() : strPath.substr(0, nSlash);
    if (strDevice.empty())
        return Fail(strError, "'" + model::Printable(strUri) + "' names no device: end it with /DEVICE (1-254)");
    const auto strText = Unescape(strDevice);
    const auto nId = strText ? model::ParseDeviceId(*strText) : std::nullopt;
    if (!nId)
        return Fail(strError, "'" + model::Printable(strDevice) + "' in '" + model::Printable(strUri) +
                                  "' is not a device ID (1-254)");
    nDevice = *nId;
    return true;
}

}  // namespace

std::optional<SDeviceUri> ParseDeviceUri(std::string_view strUri, std::string& strError) {
    const std::string strShown = "'" + model::Printable(strUri) + "'";
    const std::string strForms =
        " (vexal://ADDR[:PORT]/DEVICE, vexal:/usb/[LOCATION/]DEVICE or vexal:/serial/PORT/DEVICE)";
    const std::string strPrefix = std::string(kScheme) + ":";
    if (strUri.substr(0, strPrefix.size()) != strPrefix) {
        strError = strShown + " is not a vexal: URI" + strForms;
        return std::nullopt;
    }
    for (char c : strUri)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) {
            strError = strShown + " holds a space or a control character (escape it as %XX)";
            return std::nullopt;
        }
    std::string_view strRest = strUri.substr(strPrefix.size());
    if (strRest.find_first_of("?#") != std::string_view::npos) {
        strError = strShown + " carries a query or fragment, which the backend does not take";
        return std::nullopt;
    }
    SDeviceUri uri;
    std::string_view strBefore;
    if (strRest.substr(0, 2) == "//") {
        strRest.remove_prefix(2);
        const size_t nSlash = strRest.find('/');
        const std::string_view strHost = strRest.substr(0, nSlash);
        if (strHost.empty() || nSlash == std::string_view::npos) {
            strError = strShown + " names no hub and device" + strForms;
            return std::nullopt;
        }
        if (!SplitDevice(strRest.substr(nSlash + 1), strBefore, uri.nDevice, strUri, strError)) return std::nullopt;
        if (!strBefore.empty()) {
            strError = strShown + ": one device after the hub's address, nothing between" + strForms;
            return std::nullopt;
        }
        const auto strTarget = Unescape(strHost);
        std::string strWhy;
        const auto address = strTarget ? client::ParseEthernetTarget(*strTarget, strWhy) : std::nullopt;
        if (!address) {
            strError = strShown + ": " + (strTarget ? strWhy : "a bad %-escape in the hub's address");
            return std::nullopt;
        }
        uri.eLink = EHubLink::Network;
        uri.address = *address;
        return uri;
    }
    if (strRest.substr(0, 5) == "/usb/") {
        if (!SplitDevice(strRest.substr(5), strBefore, uri.nDevice, strUri, strError)) return std::nullopt;
        if (!strBefore.empty()) {
            const auto strLocation = Unescape(strBefore);
            if (!strLocation || platform::MakeUsbInterfacePath(0x5A4D, 0x005D, *strLocation).empty()) {
                strError = strShown + ": '" + model::Printable(strBefore) +
                           "' is not a place on the USB bus (bus and ports, such as 1-4.2)";
                return std::nullopt;
            }
            uri.strUsbLocation = *strLocation;
        }
        uri.eLink = EHubLink::Usb;
        uri.address = {ZAMO_IF_USB, "", "USB"};
        if (!uri.strUsbLocation.empty()) uri.address.strLabel = "USB " + uri.strUsbLocation;
        return uri;
    }
    if (strRest.substr(0, 8) == "/serial/") {
        if (!SplitDevice(strRest.substr(8), strBefore, uri.nDevice, strUri, strError)) return std::nullopt;
        auto strPort = Unescape(strBefore);
        if (!strPort || strPort->empty()) {
            strError = strShown + " names no serial port: vexal:/serial/COM<n>/DEVICE or vexal:/serial/dev/.../DEVICE";
            return std::nullopt;
        }
        // COM<n> stands alone; anything else is a device file named without its first '/'.
        if (strPort->substr(0, 3) != "COM" && strPort->front() != '/') *strPort = "/" + *strPort;
        std::string strWhy;
        const auto address = client::ParseSerialTarget(*strPort, strWhy);
        if (!address) {
            strError = strShown + ": " + strWhy;
            return std::nullopt;
        }
        uri.eLink = EHubLink::Serial;
        uri.address = *address;
        return uri;
    }
    strError = strShown + " is none of the backend's forms" + strForms;
    return std::nullopt;
}

std::string UsbDeviceUri(int nDevice) { return std::string(kScheme) + ":/usb/" + std::to_string(nDevice); }

std::string SerialDeviceUri(const std::string& strPort, int nDevice) {
    std::string strPath, strName = strPort;
    // A path goes without its first '/', unless what follows would read as
    // COM<n> or as no port: then the '/' goes escaped.
    if (!strName.empty() && strName.front() == '/') {
        strName.erase(0, 1);
        if (strName.empty() || strName.front() == '/' || strName.rfind("COM", 0) == 0) strPath = "%2F";
    }
    for (char c : strName) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7f || c == '%' || c == '?' || c == '#' || c == '"' || c == '\\') {
            static const char* kHex = "0123456789ABCDEF";
            strPath += '%';
            strPath += kHex[b >> 4];
            strPath += kHex[b & 15];
        } else {
            strPath += c;
        }
    }
    return std::string(kScheme) + ":/serial/" + strPath + "/" + std::to_string(nDevice);
}

std::string DeviceListLine(const std::string& strUri, const std::string& strMakeModel, const std::string& strInfo,
                           const std::string& strDeviceId, const std::string& strLocation) {
    auto quoted = [](const std::string& str) {
        std::string out = "\"";
        for (char c : str)
            if (c != '"' && c != '\\' && c != '\n' && c != '\r') out += c;
        return out + "\"";
    };
    return "direct " + strUri + " " + quoted(strMakeModel) + " " + quoted(strInfo) + " " + quoted(strDeviceId) + " " +
           quoted(strLocation);
}

std::optional<SJobArgs> ParseJobArgs(const std::vector<std::string>& vecArgs, std::string& strError) {
    if (vecArgs.size() != 5 && vecArgs.size() != 6) {
        strError = "Usage: vexal job-id user title copies options [file]";
        return std::nullopt;
    }
    SJobArgs job;
    job.strJobId = vecArgs[0];
    job.strUser = vecArgs[1];
    job.strTitle = vecArgs[2];
    job.strOptions = vecArgs[4];
    const std::string& strCopies = vecArgs[3];
    int nCopies = 0;
    const auto [p, ec] = std::from_chars(strCopies.data(), strCopies.data() + strCopies.size(), nCopies);
    if (strCopies.empty() || ec != std::errc() || p != strCopies.data() + strCopies.size() || nCopies < 1 ||
        nCopies > kMaxCopies) {
        strError =
            "copies '" + model::Printable(strCopies) + "' is not a number from 1 to " + std::to_string(kMaxCopies);
        return std::nullopt;
    }
    job.nCopies = nCopies;
    if (vecArgs.size() == 6) {
        if (vecArgs[5].empty()) {
            strError = "the print file's name is empty";
            return std::nullopt;
        }
        job.strFile = vecArgs[5];
    }
    return job;
}

}  // namespace vexal::cups
