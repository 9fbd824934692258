#include "PrinterLife.h"

#include <algorithm>

namespace hubsim {

bool IsOffline(const SPrinterLife& life) { return life.bCoverOpen || life.ePaper == EPaper::Out || life.nError != 0; }

Bytes StatusRecord(const SPrinterLife& life) {
    uint8_t nFirst = 0x10;
    if (life.bDrawerOpen) nFirst |= 0x04;
    if (IsOffline(life)) nFirst |= 0x08;
    if (life.bCoverOpen) nFirst |= 0x20;
    const uint8_t nPaper = life.ePaper == EPaper::Out ? 0x0F : life.ePaper == EPaper::Low ? 0x03 : 0x00;
    return {nFirst, life.nError, nPaper, 0x00};
}

SPrinterAnswer PrinterTakes(SPrinterLife& life, uint8_t nDevice, const Bytes& data,
                            const std::function<std::optional<Bytes>(uint8_t)>& gsi) {
    SPrinterAnswer answer;
    const Bytes before = StatusRecord(life);
    const bool bWasOffline = IsOffline(life);
    uint64_t nPlain = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] == 0x1D && i + 2 < data.size() && (data[i + 1] == 0x49 || data[i + 1] == 0x61)) {
            const uint8_t n = data[i + 2];
            if (data[i + 1] == 0x49) {
                if (auto reply = gsi(n)) answer.vecToHost.push_back(std::move(*reply));
            } else {
                life.bStatusBack = n != 0;
                // Enabling sends the status as it is now, also when it was on.
                if (life.bStatusBack) answer.vecToHost.push_back(StatusRecord(life));
            }
            i += 2;
            continue;
        }
        ++nPlain;
    }
    if (nPlain > 0) {
        if (!bWasOffline) {
            uint64_t nTaken = 0;
            CountPrinted(life, nPlain, nTaken);
        } else if (life.nOfflineAlarm >= 0) {
            answer.optAlarm = Bytes{0x74, nDevice, static_cast<uint8_t>(life.nOfflineAlarm)};
        }
    }
    if (life.bStatusBack && StatusRecord(life) != before) answer.vecToHost.push_back(StatusRecord(life));
    return answer;
}

void CountPrinted(SPrinterLife& life, uint64_t nBytes, uint64_t& nTaken) {
    nTaken = nBytes;
    // The roll ends where it ends: the rest of the piece is not printed.
    if (life.nOutAt != 0 && life.nPrinted + nBytes >= life.nOutAt)
        nTaken = life.nOutAt - std::min(life.nOutAt, life.nPrinted);
    life.nPrinted += nTaken;
    if (life.nOutAt != 0 && life.nPrinted >= life.nOutAt) {
        life.ePaper = EPaper::Out;
        life.nOutAt = life.nLowAt = 0;
    } else if (life.nLowAt != 0 && life.nPrinted >= life.nLowAt) {
        if (life.ePaper == EPaper::Ok) life.ePaper = EPaper::Low;
        life.nLowAt = 0;
    }
}

const char* PaperName(EPaper ePaper) {
    switch (ePaper) {
    case EPaper::Ok: return "ok";
    case EPaper::Low: return "low";
    case EPaper::Out: return "out";
    }
    return "?";
}

bool ParsePaper(const std::string& strName, EPaper& ePaper) {
    for (EPaper e : {EPaper::Ok, EPaper::Low, EPaper::Out})
        if (ToUpper(strName) == ToUpper(PaperName(e))) {
            ePaper = e;
            return true;
        }
    return false;
}

namespace {
struct SErrorName {
    uint8_t nByte;
    const char* pszName;
};
constexpr SErrorName kErrors[] = {
    {0x00, "none"}, {0x04, "mechanical"}, {0x08, "cutter"}, {0x20, "unrecoverable"}, {0x40, "recoverable"}};
}  // namespace

const char* ErrorName(uint8_t nError) {
    for (const SErrorName& e : kErrors)
        if (e.nByte == nError) return e.pszName;
    return "?";
}

bool ParseError(const std::string& strName, uint8_t& nError) {
    for (const SErrorName& e : kErrors)
        if (ToUpper(strName) == ToUpper(e.pszName)) {
            nError = e.nByte;
            return true;
        }
    return false;
}

std::string DescribePrinter(const SPrinterLife& life) {
    return std::string("status_back=") + (life.bStatusBack ? "on" : "off") + " record=" + ToHex(StatusRecord(life)) +
           " printed=" + std::to_string(life.nPrinted) + " paper=" + PaperName(life.ePaper) +
           " cover=" + (life.bCoverOpen ? "open" : "closed") + " drawer=" + (life.bDrawerOpen ? "open" : "closed") +
           " error=" + ErrorName(life.nError) +
           " offline_alarm=" + (life.nOfflineAlarm < 0 ? std::string("off") : std::to_string(life.nOfflineAlarm));
}

}  // namespace hubsim
