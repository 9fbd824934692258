// Line settings of a serial port as the port library receives them (baud
// rate and the codes of the device option record), checked and turned into
// what a termios-like driver is asked for. Pure: no device is touched here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vexal::platform {

// The record's codes: stop bits 0 one, 1 one and a half, 2 two; parity 0 none,
// 1 odd, 2 even, 3 mark, 4 space; flow control 0, 1, 2, other.
struct SSerialLine {
    uint32_t dwBaud = 9600;
    uint32_t dwDataBits = 8;
    uint32_t dwStopBits = 0;
    uint32_t dwParity = 0;
    uint32_t dwFlowControl = 0;
};

enum class EParity { None, Odd, Even, Mark, Space };

// What the driver is asked for.
struct SSerialLinePlan {
    bool bValid = false;
    std::string strRefusal;  // why an invalid line is refused
    uint32_t dwBaud = 0;
    uint32_t dwDataBits = 8;  // 5..8
    EParity parity = EParity::None;
    bool bTwoStopBits = false;   // CSTOPB: two stop bits, one and a half with 5 data bits
    bool bCtsHandshake = false;  // output waits for CTS (CRTSCTS)
    bool bDtrOn = true;          // DTR and RTS held on (true) or off
    bool bRtsOn = true;
    bool bXonXoff = false;  // XON/XOFF both directions
    // What the driver cannot say and was approximated, one text each.
    std::vector<std::string> approximations;
};

SSerialLinePlan PlanSerialLine(const SSerialLine& line);

// The line as a device reports it back (after the settings were applied).
struct SSerialLineState {
    uint32_t dwBaud = 0;
    uint32_t dwDataBits = 0;
    EParity parity = EParity::None;
    bool bTwoStopBits = false;
    bool bCtsHandshake = false;
    bool bXonXoff = false;
};

// The parts of a plan that the device did not take, e.g. "data bits 7 (device
// keeps 8)"; empty when it took everything.
std::vector<std::string> LineDifferences(const SSerialLinePlan& plan, const SSerialLineState& state);

// Bits of the modem status, in the values the port's trace line shows.
inline constexpr uint32_t kModemCts = 0x10;
inline constexpr uint32_t kModemDsr = 0x20;
inline constexpr uint32_t kModemRing = 0x40;
inline constexpr uint32_t kModemCd = 0x80;

}  // namespace vexal::platform
