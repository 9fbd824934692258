#include "UniqueFd.h"

#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace hubsim {

CWakeFd::CWakeFd() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!m_fd.Valid()) throw std::runtime_error("eventfd failed");
}

void CWakeFd::Signal() {
    const uint64_t nOne = 1;
    // A full counter already means "wake up"; nothing else can go wrong worth reporting.
    [[maybe_unused]] const ssize_t n = ::write(m_fd.Get(), &nOne, sizeof nOne);
}

void CWakeFd::Drain() {
    uint64_t nValue = 0;
    while (::read(m_fd.Get(), &nValue, sizeof nValue) > 0) {
    }
}

}  // namespace hubsim
