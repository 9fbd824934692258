// The one-line control syntax: a test or a person drives the hub with it while
// the host is connected. Every line gets exactly one answer, "OK ..." or "ERR ...".
#pragma once

#include "Hub.h"

#include <functional>
#include <string>

namespace hubsim {

class CUsbSimTransport;

class CControlInterpreter {
public:
    CControlInterpreter(CHub& hub, CUsbSimTransport* pUsb, std::function<void()> fnQuit);
    std::string Execute(const std::string& strLine);
    static std::string Help();

private:
    std::string Answer(const std::string& strLine);
    std::string Fault(const std::vector<std::string>& words);
    std::string Set(const std::string& strLine, const std::vector<std::string>& words);
    std::string Get(const std::vector<std::string>& words);
    std::string Plug(const std::vector<std::string>& words);
    std::string Unplug(const std::vector<std::string>& words);
    std::string Alarm(const std::vector<std::string>& words);
    std::string StatusRecord(const std::vector<std::string>& words, bool bSecondKind);
    std::string Printer(const std::vector<std::string>& words);
    std::string Send(const std::vector<std::string>& words, const std::string& strLine);
    std::string Received(const std::vector<std::string>& words);
    std::string Usb(const std::vector<std::string>& words);
    std::string PostAndSync(const Bytes& bytes, EPostKind eKind);

    CHub& m_hub;
    CUsbSimTransport* m_pUsb;
    std::function<void()> m_fnQuit;
};

}  // namespace hubsim
