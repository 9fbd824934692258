#include "platform/DeviceNames.h"

#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace vexal::platform {

std::string DeviceDirectory() {
    auto dir = GetEnv("VEXAL_DEVICE_DIR");
    return dir && !dir->empty() ? *dir : std::string(kDefaultDeviceDir);
}

std::optional<uint32_t> ParsePortNumber(std::string_view strName, std::string_view strPrefix) {
    if (strName.size() <= strPrefix.size() || strName.substr(0, strPrefix.size()) != strPrefix)
        return std::nullopt;
    uint64_t n = 0;
    for (char c : strName.substr(strPrefix.size())) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + static_cast<uint64_t>(c - '0');
        if (n > UINT32_MAX)
            return std::nullopt;
    }
    if (n == 0)
        return std::nullopt;
    return static_cast<uint32_t>(n);
}

namespace {

// The resolved target of a link; empty when it dangles.
std::string ResolvedTarget(const std::string& strPath) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(strPath.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

std::vector<PortLink> ListPortLinks(std::string_view strPrefix) {
    std::vector<PortLink> links;
    const std::string dir = DeviceDirectory();
    std::unique_ptr<DIR, DirCloser> d(opendir(dir.c_str()));
    if (!d)
        return links;
    while (dirent* e = readdir(d.get())) {
        auto n = ParsePortNumber(e->d_name, strPrefix);
        if (!n)
            continue;
        const std::string path = dir + "/" + e->d_name;
        links.push_back({*n, e->d_name, ResolvedTarget(path)});
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
    if (!n)
        return std::nullopt;
    const std::string path = DeviceDirectory() + "/" + std::string(strName);
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return std::nullopt;
        return std::string(strFallback) + std::to_string(*n - 1);
    }
    std::string target = ResolvedTarget(path);
    if (target.empty())
        return std::nullopt;
    return target;
}

}  // namespace vexal::platform
