// File access for the diagnostic log and capture files.
#pragma once
#include <cstddef>
#include <string>

namespace vexal::platform {

inline constexpr char kPathSeparator = '/';

// Creates one directory (not its parents). True when it exists afterwards.
bool MakeDirectory(const std::string& strPath);

// True when the process's standard output is an open descriptor.
bool IsStdoutValid();

// An owned file descriptor; closed by the destructor.
class CFile {
public:
    CFile() = default;
    ~CFile();
    CFile(CFile&& other) noexcept;
    CFile& operator=(CFile&& other) noexcept;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens for appending, creating the file when missing.
    bool OpenAppend(const std::string& strPath);
    // Opens for reading and writing from the start, creating it when missing.
    bool OpenReadWrite(const std::string& strPath);
    // Writes all bytes (retrying short writes); false on error.
    bool Write(const void* pData, size_t nLength);
    void Close();
    bool IsOpen() const { return m_nFd >= 0; }

private:
    int m_nFd = -1;
};

}  // namespace vexal::platform
