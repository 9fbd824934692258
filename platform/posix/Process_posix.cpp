#include "platform/Process.h"

#include <cstdlib>
#include <limits.h>
#include <unistd.h>

#include "platform/TextCodec.h"

namespace vexal::platform {

std::u16string HostProgramName() {
    char buf[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return {};
    std::string path(buf, static_cast<size_t>(n));
    auto slash = path.rfind('/');
    return Utf16FromUtf8(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::optional<std::string> GetEnv(const char* pszName) {
    const char* v = std::getenv(pszName);
    if (v == nullptr) return std::nullopt;
    return std::string(v);
}

}  // namespace vexal::platform
