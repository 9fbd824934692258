// File access for the diagnostic log and capture files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vexal::platform {

inline constexpr char kPathSeparator = '/';

// Creates one directory (not its parents). True when it exists afterwards.
bool MakeDirectory(const std::string& strPath);

// True when the process's standard output is an open descriptor (on
// Windows: the standard output handle is not reported invalid).
bool IsStdoutValid();

// The folder the log folder "VQTLog" goes under when neither the log object
// nor VEXAL_LOG_DIR names one: the working directory on Linux; an empty text
// on Windows, so that the log path begins with the separator and names the
// folder at the root of the current drive.
std::string DefaultLogDirectory();

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
    std::intptr_t m_nFd = -1;  // a descriptor, or a file handle on Windows
};

}  // namespace vexal::platform
