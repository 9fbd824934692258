// The --state file on disk: read whole, parsed, and every refusal named by
// the file and the place in it, before anything is written back.
#pragma once

#include "HubState.h"

#include <optional>
#include <string>
#include <string_view>

namespace hubsim {

// A state file is a few kilobytes; anything this large is not one.
inline constexpr size_t kMaxStateFileSize = 1024 * 1024;

// The state a file's text describes; throws std::runtime_error naming the
// line and column of a syntax error or the JSON path of a bad value.
CHubState StateFromText(std::string_view strText);

// Loads the state file. Nothing when it does not exist (the caller starts
// from the defaults and creates it); throws std::runtime_error starting with
// the path when it cannot be read as a small regular file or is refused.
std::optional<CHubState> LoadStateFile(const std::string& strPath);

}  // namespace hubsim
