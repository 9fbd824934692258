// Whole text files that a user names (backups, hosts files): read with a
// size limit and never waited on, written in one step. Every writer of
// backups (the tool, the utility, Python, Ansible) goes through here.
#pragma once
#include <cstddef>
#include <string>

namespace vexal::platform {

// Backups and hosts files are far smaller; a larger file is refused unread.
inline constexpr size_t kMaxTextFileSize = size_t{16} << 20;

// Reads a whole regular file of at most kMaxTextFileSize bytes; false and a
// message naming it otherwise (a directory or FIFO is refused, never waited on).
bool ReadTextFile(const std::string& strPath, std::string& strText, std::string& strError);
// Who may read a written file: its owner alone (anything that may hold a
// secret), or everyone (a list another program reads, such as Prometheus'
// targets: 0644 on POSIX, the folder's inherited access on Windows).
enum class EFileAccess { Private, Shared };

// Writes a whole file, which may hold secrets: through a temporary file in
// the same folder, created new (never a file or link planted under its name)
// and private (0600 on POSIX, or the stricter mode of the file it replaces;
// Shared: 0644 or stricter), written, flushed to disk, then renamed over
// strPath, so a failed write never leaves a half file under the name. False
// and a message naming the file.
bool WriteTextFile(const std::string& strPath, const std::string& strText, std::string& strError,
                   EFileAccess eAccess = EFileAccess::Private);

}  // namespace vexal::platform
