#include "platform/SerialLine.h"

namespace vexal::platform {

namespace {
const char* ParityName(EParity parity) {
    switch (parity) {
    case EParity::None: return "none";
    case EParity::Odd: return "odd";
    case EParity::Even: return "even";
    case EParity::Mark: return "mark";
    case EParity::Space: return "space";
    }
    return "none";
}

SSerialLinePlan Refuse(std::string strWhy) {
    SSerialLinePlan plan;
    plan.strRefusal = std::move(strWhy);
    return plan;
}
}  // namespace

SSerialLinePlan PlanSerialLine(const SSerialLine& line) {
    // The same values a serial driver refuses outright.
    if (line.dwBaud == 0) return Refuse("baud rate 0");
    if (line.dwDataBits < 5 || line.dwDataBits > 8) return Refuse("data bits " + std::to_string(line.dwDataBits));
    if (line.dwStopBits > 2) return Refuse("stop-bits code " + std::to_string(line.dwStopBits));
    if (line.dwParity > 4) return Refuse("parity code " + std::to_string(line.dwParity));

    SSerialLinePlan plan;
    plan.bValid = true;
    plan.dwBaud = line.dwBaud;
    plan.dwDataBits = line.dwDataBits;
    plan.parity = static_cast<EParity>(line.dwParity);
    // A UART sends 1.5 stop bits for CSTOPB with 5 data bits and 2 otherwise;
    // 2 is what a receiver expecting 1.5 accepts as well.
    plan.bTwoStopBits = line.dwStopBits != 0;
    if (line.dwStopBits == 1 && line.dwDataBits > 5)
        plan.approximations.push_back("1.5 stop bits with more than 5 data bits sent as 2");
    if (line.dwStopBits == 2 && line.dwDataBits == 5)
        plan.approximations.push_back("2 stop bits with 5 data bits sent as 1.5");

    switch (line.dwFlowControl) {
    case 2:
        plan.bCtsHandshake = false;
        plan.bDtrOn = false;
        plan.bRtsOn = false;
        break;
    case 1: plan.bXonXoff = true; [[fallthrough]];
    default:
        plan.bCtsHandshake = true;
        plan.approximations.push_back("output waits for CTS only (no DSR handshake); RTS follows the input buffer");
        break;
    }
    return plan;
}

std::vector<std::string> LineDifferences(const SSerialLinePlan& plan, const SSerialLineState& state) {
    std::vector<std::string> out;
    if (state.dwBaud != plan.dwBaud)
        out.push_back("baud " + std::to_string(plan.dwBaud) + " (device keeps " + std::to_string(state.dwBaud) + ")");
    if (state.dwDataBits != plan.dwDataBits)
        out.push_back("data bits " + std::to_string(plan.dwDataBits) + " (device keeps " +
                      std::to_string(state.dwDataBits) + ")");
    if (state.parity != plan.parity)
        out.push_back(std::string("parity ") + ParityName(plan.parity) + " (device keeps " + ParityName(state.parity) +
                      ")");
    if (state.bTwoStopBits != plan.bTwoStopBits)
        out.push_back(plan.bTwoStopBits ? "two stop bits (device keeps one)" : "one stop bit (device keeps two)");
    if (state.bCtsHandshake != plan.bCtsHandshake)
        out.push_back(plan.bCtsHandshake ? "CTS handshake (device has none)" : "no CTS handshake (device keeps it)");
    if (state.bXonXoff != plan.bXonXoff)
        out.push_back(plan.bXonXoff ? "XON/XOFF (device has none)" : "no XON/XOFF (device keeps it)");
    return out;
}

}  // namespace vexal::platform
