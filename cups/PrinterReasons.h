// A printer's status record as CUPS shows it: printer-state-reasons keywords
// with their severity (the STATE: lines), a readable text (INFO:), and
// whether the printer takes data at all. Pure.
#pragma once
#include <set>
#include <string>
#include <vector>

namespace vexal::cups {

// The keywords for a record's reasons (model::RecordReasons): media-empty-error,
// media-low-report, cover-open-error, offline-report, other-error for the
// printer's errors. A drawer open is no state of the printer.
std::set<std::string> CupsReasons(const std::vector<std::string>& vecReasons);

// "STATE: +k" for each keyword new in after, "STATE: -k" for each gone, in
// that order.
std::vector<std::string> StateLines(const std::set<std::string>& before, const std::set<std::string>& after);

// An off-line printer (cover open, paper out, an error) prints nothing of
// what it is sent: the job waits instead.
bool HoldsPrinting(const std::vector<std::string>& vecReasons);

// "Printer 10: out of paper, off-line" or "Printer 10: ready".
std::string StatusText(int nDevice, const std::vector<std::string>& vecReasons);

}  // namespace vexal::cups
