// Owning wrappers for descriptors: every descriptor has one owner that closes it.
#pragma once

#include <unistd.h>

#include <utility>

namespace hubsim {

class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) : m_fd(fd) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(CUniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    void Reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// An eventfd that wakes a poll loop from another thread.
class CWakeFd {
public:
    CWakeFd();
    int Get() const { return m_fd.Get(); }
    void Signal();
    void Drain();

private:
    CUniqueFd m_fd;
};

}  // namespace hubsim
