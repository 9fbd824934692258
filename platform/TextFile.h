// Whole text files that a user names (backups, hosts files): read with a
// size limit and never waited on, written in one step.
#pragma once
#include <cstddef>
#include <string>

namespace vexal::platform {

// Backups and hosts files are far smaller; a larger file is refused unread.
inline constexpr size_t kMaxTextFileSize = size_t{16} << 20;

// Reads a whole regular file of at most kMaxTextFileSize bytes; false and a
// message naming it otherwise (a directory or FIFO is refused, never waited on).
bool ReadTextFile(const std::string& strPath, std::string& strText, std::string& strError);
// Writes a whole file through a temporary file and a rename, so a failed
// write never leaves a half file under the name.
bool WriteTextFile(const std::string& strPath, const std::string& strText, std::string& strError);

}  // namespace vexal::platform
