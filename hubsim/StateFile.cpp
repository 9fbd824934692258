#include "StateFile.h"

#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace hubsim {

namespace {

std::string Place(std::string_view strText, size_t nOffset) {
    size_t nLine = 1, nColumn = 1;
    for (size_t i = 0; i < nOffset && i < strText.size(); ++i) {
        if (strText[i] == '\n') {
            ++nLine;
            nColumn = 1;
        } else {
            ++nColumn;
        }
    }
    return "line " + std::to_string(nLine) + ", column " + std::to_string(nColumn);
}

// The parser quotes what it read last, which may be any bytes of the file;
// the reason ends up on a line of standard output.
std::string Printable(std::string_view strText) {
    std::string out;
    for (const unsigned char c : strText) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

}  // namespace

CHubState StateFromText(std::string_view strText) {
    if (strText.find_first_not_of(" \t\r\n") == std::string_view::npos) throw std::runtime_error("the file is empty");
    // The parser takes a NUL for the end of the text and would ignore what follows.
    if (const size_t nNul = strText.find('\0'); nNul != std::string_view::npos)
        throw std::runtime_error(Place(strText, nNul) + ": contains a NUL byte");
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(strText);
    } catch (const nlohmann::json::parse_error& e) {
        const std::string strWhat = e.what();
        const size_t nReason = strWhat.find("syntax error");
        // e.byte is one past the offending byte.
        throw std::runtime_error(Place(strText, e.byte == 0 ? 0 : e.byte - 1) + ": not valid JSON (" +
                                 Printable(nReason == std::string::npos ? strWhat : strWhat.substr(nReason)) + ")");
    } catch (const nlohmann::json::exception& e) {
        // A number too large for a double ("1e999") is refused with out_of_range, not parse_error.
        throw std::runtime_error(std::string("not valid JSON (") + Printable(e.what()) + ")");
    }
    return CHubState::FromJson(doc);
}

std::optional<CHubState> LoadStateFile(const std::string& strPath) {
    auto failure = [&strPath](const std::string& strWhy) { return std::runtime_error(strPath + ": " + strWhy); };
    // Non-blocking, so that a FIFO in the file's place cannot hold the start up.
    CUniqueFd file(::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.Valid()) {
        if (errno == ENOENT) return std::nullopt;
        throw failure(std::string("cannot read: ") + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) throw failure(std::string("cannot read: ") + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) throw failure("is a directory, not a state file");
    if (!S_ISREG(info.st_mode)) throw failure("not a regular file");
    const std::string strTooLarge =
        "larger than " + std::to_string(kMaxStateFileSize / 1024) + " KiB, not a state file";
    if (static_cast<unsigned long long>(info.st_size) > kMaxStateFileSize) throw failure(strTooLarge);
    std::string strText;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw failure(std::string("cannot read: ") + std::strerror(errno));
        if (n == 0) break;
        strText.append(buffer, static_cast<size_t>(n));
        if (strText.size() > kMaxStateFileSize) throw failure(strTooLarge);  // grew while being read
    }
    try {
        return StateFromText(strText);
    } catch (const std::runtime_error& e) {
        throw failure(e.what());
    }
}

}  // namespace hubsim
