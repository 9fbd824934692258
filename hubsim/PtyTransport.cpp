#include "PtyTransport.h"

#include "Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace hubsim {

namespace {
std::string Errno(const std::string& strWhat) { return strWhat + ": " + std::strerror(errno); }
}  // namespace

CPtyTransport::CPtyTransport(CHub& hub, const std::string& strComLink, bool bGreet)
    : CLoopTransport(hub, "pty", bGreet) {
    CUniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.Valid()) throw std::runtime_error(Errno("posix_openpt"));
    if (::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0)
        throw std::runtime_error(Errno("grantpt/unlockpt"));
    char name[PATH_MAX] = {};
    if (::ptsname_r(master.Get(), name, sizeof name) != 0) throw std::runtime_error(Errno("ptsname_r"));
    m_strSlavePath = name;
    m_slave.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m_slave.Valid()) throw std::runtime_error(Errno("open " + m_strSlavePath));
    termios settings{};
    if (::tcgetattr(m_slave.Get(), &settings) == 0) {
        // Raw both ways: frame bytes such as 0x0D or 0x03 must pass untouched.
        ::cfmakeraw(&settings);
        ::tcsetattr(m_slave.Get(), TCSANOW, &settings);
    }
    const int nFlags = ::fcntl(master.Get(), F_GETFL);
    ::fcntl(master.Get(), F_SETFL, nFlags | O_NONBLOCK);

    if (!strComLink.empty()) {
        // Replace a stale link from an earlier run, but never a real file.
        struct stat info {};
        if (::lstat(strComLink.c_str(), &info) == 0) {
            if (!S_ISLNK(info.st_mode)) throw std::runtime_error(strComLink + " exists and is not a symbolic link");
            ::unlink(strComLink.c_str());
        }
        if (::symlink(m_strSlavePath.c_str(), strComLink.c_str()) != 0)
            throw std::runtime_error(Errno("symlink " + strComLink));
        m_strComLink = strComLink;
    }
    SetFixedLink(std::move(master));
    StartLoop();
    if (bGreet) Post(EncodeFrame(kGreetDevice, Bytes{0x00}), EPostKind::Frame);
}

CPtyTransport::~CPtyTransport() {
    StopLoop();
    if (!m_strComLink.empty()) {
        char target[PATH_MAX] = {};
        const ssize_t n = ::readlink(m_strComLink.c_str(), target, sizeof target - 1);
        // Only remove the link if it is still ours; another run may have taken the name.
        if (n > 0 && m_strSlavePath == std::string(target, static_cast<size_t>(n))) ::unlink(m_strComLink.c_str());
    }
}

}  // namespace hubsim
