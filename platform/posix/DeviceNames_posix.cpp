#include "platform/DeviceNames.h"

#include "platform/Process.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vexal::platform {

std::string DeviceDirectory() {
    auto dir = GetEnv("VEXAL_DEVICE_DIR");
    return dir && !dir->empty() ? *dir : std::string(kDefaultDeviceDir);
}

namespace {

// The resolved target of a link; empty when it dangles.
std::string ResolvedTarget(const std::string& strPath) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(strPath.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

// Follows a link chain (at most a few hops) and says whether a Bluetooth
// serial device (rfcomm) names any step of it, the first included (a device
// path may be one; a COM<n> link never is).
std::string ProviderOfPath(const std::string& strPath) {
    auto isRfcomm = [](const std::string& str) {
        const size_t nSlash = str.rfind('/');
        const std::string strBase = nSlash == std::string::npos ? str : str.substr(nSlash + 1);
        return strBase.rfind("rfcomm", 0) == 0;
    };
    if (isRfcomm(strPath)) return "rfcomm";
    std::string strCurrent = strPath;
    for (int nHop = 0; nHop < 8; ++nHop) {
        char target[PATH_MAX] = {};
        const ssize_t n = readlink(strCurrent.c_str(), target, sizeof target - 1);
        if (n <= 0) break;
        std::string strNext(target, static_cast<size_t>(n));
        if (isRfcomm(strNext)) return "rfcomm";
        if (strNext.front() != '/') {
            const size_t nSlash = strCurrent.rfind('/');
            strNext = (nSlash == std::string::npos ? std::string() : strCurrent.substr(0, nSlash + 1)) + strNext;
        }
        strCurrent = strNext;
    }
    return isRfcomm(ResolvedTarget(strPath)) ? "rfcomm" : "";
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

std::optional<std::string> DevicePathOf(std::u16string_view strName) {
    if (strName.empty() || strName.front() != u'/' || strName.find(u'\0') != std::u16string_view::npos)
        return std::nullopt;
    return Utf8FromUtf16(strName);
}

std::vector<PortLink> ListPortLinks(std::string_view strPrefix) {
    std::vector<PortLink> links;
    const std::string dir = DeviceDirectory();
    std::unique_ptr<DIR, DirCloser> d(opendir(dir.c_str()));
    if (!d) return links;
    while (dirent* e = readdir(d.get())) {
        auto n = ParsePortNumber(e->d_name, strPrefix);
        if (!n) continue;
        const std::string path = dir + "/" + e->d_name;
        links.push_back({*n, e->d_name, ResolvedTarget(path), ProviderOfPath(path)});
    }
    std::sort(links.begin(), links.end(), [](const PortLink& a, const PortLink& b) { return a.nNumber < b.nNumber; });
    return links;
}

uint32_t HighestComNumber() {
    auto links = ListPortLinks("COM");
    return links.empty() ? 0 : links.back().nNumber;
}

std::optional<std::string> ResolvePortName(std::string_view strName, std::string_view strPrefix,
                                           std::string_view strFallback) {
    auto n = ParsePortNumber(strName, strPrefix);
    if (!n) return std::nullopt;
    const std::string path = DeviceDirectory() + "/" + std::string(strName);
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return std::nullopt;
        return std::string(strFallback) + std::to_string(*n - 1);
    }
    std::string target = ResolvedTarget(path);
    if (target.empty()) return std::nullopt;
    return target;
}

std::string PortProvider(std::string_view strName, std::string_view strPrefix) {
    if (!strName.empty() && strName.front() == '/') return ProviderOfPath(std::string(strName));
    if (!ParsePortNumber(strName, strPrefix)) return {};
    return ProviderOfPath(DeviceDirectory() + "/" + std::string(strName));
}

}  // namespace vexal::platform
