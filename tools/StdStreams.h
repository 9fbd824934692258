// What the device commands need of the process beyond the platform layer:
// bytes on the standard streams as they are, and a stop request from the
// user (Ctrl-C, SIGTERM) as a flag the commands poll. One backend file per
// system (posix/StdStreams_posix.cpp, win32/StdStreams_win32.cpp).
#pragma once
#include <atomic>
#include <cstddef>
#include <string>

namespace vexal::tools {

// Standard input whole, as bytes. More than nMax is refused: false with a
// message, and whatever was read is dropped.
bool ReadStandardInput(std::string& strData, size_t nMax, std::string& strError);

// Standard output takes bytes unchanged from now on (Windows would turn a
// line feed into two bytes).
void SetBinaryStdout();
// Writes the bytes and flushes; false once standard output is gone (a
// closed pipe ends the command instead of the process).
bool WriteStdout(const void* pData, size_t nSize);

// From now on an interrupt or termination request sets the flag that
// StopRequested() returns, once; the program goes on until it looks. On
// POSIX, SIGPIPE is ignored as well (see WriteStdout).
void CatchStopRequests();
const std::atomic<bool>& StopFlag();
inline bool StopRequested() { return StopFlag().load(); }

}  // namespace vexal::tools
