// One-line diagnostics on standard error; standard output is kept for the
// machine-readable start lines.
#pragma once

#include <string>

namespace hubsim {

void LogLine(const std::string& strLine);
void SetVerbose(bool bVerbose);
bool IsVerbose();

}  // namespace hubsim
