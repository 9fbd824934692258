// A printer's life as a test scripts it: its paper running low and out after
// so many bytes, its cover and cash drawer, an error, and the automatic
// status back of an ESC/POS printer: once the host sends GS a n with n not 0,
// the printer sends its 4-byte status record at once and then on every
// change, until GS a 0. Pure: the hub keeps one per printer in its state.
#pragma once

#include "HexText.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hubsim {

enum class EPaper { Ok, Low, Out };

struct SPrinterLife {
    bool bStatusBack = false;
    uint64_t nPrinted = 0;  // data bytes printed (commands the printer answers are not counted)
    uint64_t nLowAt = 0;    // printed count at which the paper runs low; 0: never
    uint64_t nOutAt = 0;    // ... runs out
    EPaper ePaper = EPaper::Ok;
    bool bCoverOpen = false;
    bool bDrawerOpen = false;
    uint8_t nError = 0;      // the record's second byte: 0, 0x04, 0x08, 0x20 or 0x40
    int nOfflineAlarm = -1;  // the write-alarm status for data that comes while off-line; -1: none
};

// Off-line: cover open, paper out or an error; an off-line printer prints nothing.
bool IsOffline(const SPrinterLife& life);
// The status record: 0x10 | drawer 0x04 | off-line 0x08 | cover 0x20; the
// error byte; paper 0x03 low, 0x0F out (the near-end sensor sees it too); 0.
Bytes StatusRecord(const SPrinterLife& life);

// What the printer makes of data the host wrote to it.
struct SPrinterAnswer {
    std::vector<Bytes> vecToHost;   // payloads from the printer: answers, status records
    std::optional<Bytes> optAlarm;  // a write alarm payload (74 id status) from the hub
};
// What the printer does with a piece of data: GS I n is answered by gsi
// (nullopt: no answer), GS a n switches status back; the other bytes are
// printed unless the printer is off-line, in which case the hub raises the
// printer's off-line alarm (if set) and they are lost.
SPrinterAnswer PrinterTakes(SPrinterLife& life, uint8_t nDevice, const Bytes& data,
                            const std::function<std::optional<Bytes>(uint8_t)>& gsi);
// Counts nBytes printed; the paper runs low or out at its thresholds, and
// bytes beyond the roll's end are not printed (nTaken tells how many were).
void CountPrinted(SPrinterLife& life, uint64_t nBytes, uint64_t& nTaken);

// "ok", "low", "out"; and back.
const char* PaperName(EPaper ePaper);
bool ParsePaper(const std::string& strName, EPaper& ePaper);
// "none", "mechanical", "cutter", "unrecoverable", "recoverable" and their bytes.
const char* ErrorName(uint8_t nError);
bool ParseError(const std::string& strName, uint8_t& nError);
// One line of the printer's state for the control socket.
std::string DescribePrinter(const SPrinterLife& life);

}  // namespace hubsim
