#include "ControlCommands.h"

#include "Log.h"
#include "UsbSimTransport.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace hubsim {

using nlohmann::json;

namespace {

std::string Ok(const std::string& strText = "") { return strText.empty() ? "OK" : "OK " + strText; }
std::string Err(const std::string& strText) { return "ERR " + strText; }

// Command codes are written in hex, with or without 0x: "50", "0x50", "D0".
std::optional<uint8_t> ParseCommandCode(std::string strWord) {
    if (strWord.size() > 2 && strWord[0] == '0' && (strWord[1] == 'x' || strWord[1] == 'X'))
        strWord = strWord.substr(2);
    if (strWord.size() == 1) strWord = "0" + strWord;
    const auto bytes = ParseHex(strWord);
    if (!bytes || bytes->size() != 1) return std::nullopt;
    return (*bytes)[0];
}

std::optional<uint8_t> ParseByte(const std::string& strWord, long nMin = 0, long nMax = 255) {
    const auto n = ParseNumber(strWord, nMin, nMax);
    if (!n) return std::nullopt;
    return static_cast<uint8_t>(*n);
}

// Appends a word with one space before it unless it is the first.
void AppendWord(std::string& out, const std::string& strWord) {
    if (!out.empty()) out += ' ';
    out += strWord;
}

std::string JoinFrom(const std::vector<std::string>& words, size_t nFirst) {
    std::string out;
    for (size_t i = nFirst; i < words.size(); ++i) AppendWord(out, words[i]);
    return out;
}

// The text after the first nWords words of the line, spaces inside kept.
std::string RestOfLine(const std::string& strLine, size_t nWords) {
    size_t i = 0;
    for (size_t nWord = 0; nWord < nWords; ++nWord) {
        while (i < strLine.size() && std::isspace(static_cast<unsigned char>(strLine[i]))) ++i;
        while (i < strLine.size() && !std::isspace(static_cast<unsigned char>(strLine[i]))) ++i;
    }
    if (i < strLine.size()) ++i;  // the one separating space
    std::string strRest = strLine.substr(std::min(i, strLine.size()));
    while (!strRest.empty() && (strRest.back() == '\r' || strRest.back() == '\n')) strRest.pop_back();
    return strRest;
}

bool OnOff(const std::string& strWord, bool& bValue) {
    const std::string strUpper = ToUpper(strWord);
    if (strUpper == "ON" || strUpper == "1") {
        bValue = true;
        return true;
    }
    if (strUpper == "OFF" || strUpper == "0") {
        bValue = false;
        return true;
    }
    return false;
}

// Walks a dotted path ("bluetooth.name", "devices.0.kind") to its node; nullptr when absent.
json* FindNode(json& doc, const std::vector<std::string>& path, bool bAllowNewLeaf) {
    json* pNode = &doc;
    for (size_t i = 0; i < path.size(); ++i) {
        const bool bLast = i + 1 == path.size();
        if (pNode->is_object()) {
            if (!pNode->contains(path[i])) {
                if (!(bLast && bAllowNewLeaf)) return nullptr;
            }
            pNode = &(*pNode)[path[i]];
        } else if (pNode->is_array()) {
            const auto nIndex = ParseNumber(path[i], 0, static_cast<long>(pNode->size()) - 1);
            if (!nIndex) return nullptr;
            pNode = &(*pNode)[static_cast<size_t>(*nIndex)];
        } else {
            return nullptr;
        }
    }
    return pNode;
}

std::vector<std::string> SplitPath(const std::string& strPath) {
    std::vector<std::string> parts;
    size_t nStart = 0;
    for (;;) {
        const size_t nDot = strPath.find('.', nStart);
        parts.push_back(strPath.substr(nStart, nDot == std::string::npos ? std::string::npos : nDot - nStart));
        if (nDot == std::string::npos) break;
        nStart = nDot + 1;
    }
    return parts;
}

}  // namespace

CControlInterpreter::CControlInterpreter(CHub& hub, CUsbSimTransport* pUsb, std::function<void()> fnQuit)
    : m_hub(hub), m_pUsb(pUsb), m_fnQuit(std::move(fnQuit)) {}

std::string CControlInterpreter::Help() {
    return "PING | HELP | INFO | DEVICES | PLUG <id> [kind [vid pid]] | UNPLUG <id> | PRESENCE | "
           "ALARM WRITE <dev> <status> | ALARM HUB <type> <level> | ASB <dev> [hex4] | IASB <dev> [hex4] | "
           "PRINTER <id> [PAPER OK|LOW|OUT [AFTER <n>] | COVER|DRAWER OPEN|CLOSED | ERROR <kind> | "
           "OFFLINE-ALARM <status>|OFF] | "
           "SEND <dev> <hex> | RAW <hex> | SET <path> <value> | GET [path] | RX [<dev>|CLEAR] | KEEPALIVE | FRAMES | "
           "READMODE <dev> | FAULT [...] | KICK | USB PLUG|UNPLUG|EXCLUSIVE ON|OFF|CONNECTIONS | SAVE | QUIT";
}

std::string CControlInterpreter::PostAndSync(const Bytes& bytes, EPostKind eKind) {
    m_hub.Broadcast(bytes, eKind);
    m_hub.SyncTransports();
    return Ok();
}

std::string CControlInterpreter::Execute(const std::string& strLine) {
    // A text set through JSON escapes may hold a line break, which would end
    // the answer early and leave the rest to pass for the next one.
    std::string strAnswer;
    for (const char c : Answer(strLine)) {
        if (c == '\n')
            strAnswer += "\\n";
        else if (c == '\r')
            strAnswer += "\\r";
        else
            strAnswer += c;
    }
    return strAnswer;
}

std::string CControlInterpreter::Answer(const std::string& strLine) {
    const std::vector<std::string> words = SplitWords(strLine);
    if (words.empty()) return Err("empty command");
    const std::string strCommand = ToUpper(words[0]);
    try {
        if (strCommand == "PING") return Ok("PONG");
        if (strCommand == "HELP") return Ok(Help());
        if (strCommand == "INFO") {
            return Ok("frames=" + std::to_string(m_hub.FramesReceived()) + " keepalive=" +
                      std::to_string(m_hub.KeepAliveCount()) + " " + m_hub.Faults().Snapshot().Describe());
        }
        if (strCommand == "DEVICES") {
            return Ok(m_hub.WithState([](CHubState& state) {
                std::string out;
                char buf[48];
                for (const auto& [nId, device] : state.m_mapDevices) {
                    std::snprintf(buf, sizeof buf, "%s%u:%s:%04X:%04X", out.empty() ? "" : " ", nId,
                                  DeviceKindName(device.eKind), device.nVid, device.nPid);
                    out += buf;
                }
                return out;
            }));
        }
        if (strCommand == "PLUG") return Plug(words);
        if (strCommand == "UNPLUG") return Unplug(words);
        if (strCommand == "PRESENCE") return PostAndSync(m_hub.PresenceFrame(), EPostKind::Presence);
        if (strCommand == "ALARM") return Alarm(words);
        if (strCommand == "ASB") return StatusRecord(words, false);
        if (strCommand == "IASB") return StatusRecord(words, true);
        if (strCommand == "PRINTER") return Printer(words);
        if (strCommand == "SEND" || strCommand == "RAW") return Send(words, strCommand);
        if (strCommand == "SET") return Set(strLine, words);
        if (strCommand == "GET") return Get(words);
        if (strCommand == "RX") return Received(words);
        if (strCommand == "KEEPALIVE") return Ok(std::to_string(m_hub.KeepAliveCount()));
        if (strCommand == "FRAMES") return Ok(std::to_string(m_hub.FramesReceived()));
        if (strCommand == "READMODE") {
            if (words.size() != 2) return Err("usage: READMODE <dev>");
            const auto nDevice = ParseByte(words[1]);
            if (!nDevice) return Err("bad device id '" + words[1] + "'");
            return m_hub.WithState([&](CHubState& state) {
                const auto it = state.m_mapReadModes.find(*nDevice);
                return it == state.m_mapReadModes.end() ? Ok("none") : Ok(std::to_string(it->second));
            });
        }
        if (strCommand == "FAULT") return Fault(words);
        if (strCommand == "KICK") {
            m_hub.KickAll();
            m_hub.SyncTransports();
            return Ok();
        }
        if (strCommand == "USB") return Usb(words);
        if (strCommand == "SAVE") {
            std::string strError;
            return m_hub.SaveState(strError) ? Ok() : Err(strError);
        }
        if (strCommand == "QUIT" || strCommand == "EXIT") {
            if (m_fnQuit) m_fnQuit();
            return Ok("BYE");
        }
        return Err("unknown command '" + words[0] + "' (try HELP)");
    } catch (const std::exception& e) {
        return Err(e.what());
    }
}

std::string CControlInterpreter::Fault(const std::vector<std::string>& words) {
    if (words.size() == 1) return Ok(m_hub.Faults().Snapshot().Describe());
    const std::string strKind = ToUpper(words[1]);
    const std::string strArg = words.size() > 2 ? words[2] : "";
    const bool bOff = ToUpper(strArg) == "OFF";
    std::string strError;
    auto needArg = [&](size_t nCount) {
        if (words.size() != 2 + nCount)
            strError = "usage: FAULT " + strKind + " <" + std::to_string(nCount) + " argument(s)>";
        return strError.empty();
    };

    if (strKind == "CLEAR") {
        m_hub.Faults().Modify([](SFaults& f) { f = SFaults{}; });
    } else if (strKind == "DELAY") {
        if (!needArg(1)) return Err(strError);
        const auto n = bOff ? std::optional<long>(0) : ParseNumber(strArg, 0, 600000);
        if (!n) return Err("delay must be 0..600000 ms");
        m_hub.Faults().Modify([&](SFaults& f) { f.nDelayMs = static_cast<int>(*n); });
    } else if (strKind == "NOREPLY" || strKind == "WRONGHEADER") {
        if (!needArg(1)) return Err(strError);
        uint8_t nCode = 0;
        if (!bOff) {
            const auto parsed = ParseCommandCode(strArg);
            if (!parsed) return Err("bad command code '" + strArg + "' (hex, e.g. 0x50)");
            nCode = *parsed;
        }
        m_hub.Faults().Modify([&](SFaults& f) {
            auto& set = strKind == "NOREPLY" ? f.setNoReply : f.setWrongHeader;
            if (bOff)
                set.clear();
            else
                set.insert(nCode);
        });
    } else if (strKind == "SHORT" || strKind == "CUT") {
        if (words.size() != 3 && words.size() != 4)
            return Err("usage: FAULT " + strKind + " <cmd> [bytes] | FAULT " + strKind + " OFF");
        auto replyMap = [&](SFaults& f) -> std::map<uint8_t, int>& {
            return strKind == "SHORT" ? f.mapShortReply : f.mapCutReply;
        };
        if (bOff) {
            m_hub.Faults().Modify([&](SFaults& f) { replyMap(f).clear(); });
        } else {
            const auto nCode = ParseCommandCode(strArg);
            if (!nCode) return Err("bad command code '" + strArg + "'");
            long nKeep = -1;
            if (words.size() == 4) {
                const auto n = ParseNumber(words[3], 1, 65535);
                if (!n) return Err("bytes to keep must be 1..65535");
                nKeep = *n;
            }
            m_hub.Faults().Modify([&](SFaults& f) { replyMap(f)[*nCode] = static_cast<int>(nKeep); });
        }
    } else if (strKind == "GARBAGE" || strKind == "SILENT" || strKind == "REFUSE") {
        bool bOn = false;
        if (!needArg(1)) return Err(strError);
        if (!OnOff(strArg, bOn)) return Err("expected ON or OFF");
        m_hub.Faults().Modify([&](SFaults& f) {
            (strKind == "GARBAGE" ? f.bGarbage : strKind == "SILENT" ? f.bSilent : f.bRefuse) = bOn;
        });
    } else if (strKind == "SPLIT") {
        if (bOff && words.size() == 3) {
            m_hub.Faults().Modify([](SFaults& f) { f.nSplitBytes = 0; });
        } else {
            if (!needArg(2)) return Err("usage: FAULT SPLIT <bytes> <pause-ms> | FAULT SPLIT OFF");
            const auto nBytes = ParseNumber(strArg, 1, 65535);
            const auto nPause = ParseNumber(words[3], 0, 60000);
            if (!nBytes || !nPause) return Err("usage: FAULT SPLIT <bytes 1..65535> <pause-ms 0..60000>");
            m_hub.Faults().Modify([&](SFaults& f) {
                f.nSplitBytes = static_cast<size_t>(*nBytes);
                f.nSplitPauseMs = static_cast<int>(*nPause);
            });
        }
    } else if (strKind == "CLOSE") {
        if (!needArg(1)) return Err(strError);
        const std::string strMode = ToUpper(strArg);
        ECloseOnAccept eMode;
        if (strMode == "ONCE")
            eMode = ECloseOnAccept::Once;
        else if (strMode == "ALWAYS")
            eMode = ECloseOnAccept::Always;
        else if (strMode == "OFF")
            eMode = ECloseOnAccept::Off;
        else
            return Err("expected ONCE, ALWAYS or OFF");
        m_hub.Faults().Modify([&](SFaults& f) { f.eCloseOnAccept = eMode; });
    } else if (strKind == "DROP") {
        if (!needArg(1)) return Err(strError);
        const auto n = bOff ? std::optional<long>(0) : ParseNumber(strArg, 1, 1000000);
        if (!n) return Err("frame count must be 1..1000000");
        m_hub.Faults().Modify([&](SFaults& f) { f.nDropAfterFrames = static_cast<uint32_t>(*n); });
    } else {
        return Err("unknown fault '" + words[1] + "'");
    }
    LogLine("faults now: " + m_hub.Faults().Snapshot().Describe());
    m_hub.SyncTransports();  // e.g. a refusal is in force before the answer
    return Ok();
}

std::string CControlInterpreter::Set(const std::string& strLine, const std::vector<std::string>& words) {
    if (words.size() < 3) return Err("usage: SET <path> <value>");
    const std::vector<std::string> path = SplitPath(words[1]);
    const std::string strValue = RestOfLine(strLine, 2);
    std::string strError;
    m_hub.ModifyState([&](CHubState& state) {
        json doc = state.ToJson();
        // New keys are allowed only where the document is a table keyed by id.
        const bool bNewLeafAllowed = path.size() == 2 && path[0] == "serial";
        json* pNode = FindNode(doc, path, bNewLeafAllowed);
        if (!pNode) throw std::runtime_error("no setting '" + words[1] + "' (see GET)");
        if (pNode->is_string()) {
            json parsed = json::parse(strValue, nullptr, false);
            *pNode = parsed.is_string() ? parsed.get<std::string>() : strValue;  // quotes allow "" and edge spaces
        } else {
            json parsed = json::parse(strValue, nullptr, false);
            if (parsed.is_discarded()) throw std::runtime_error("value is not valid JSON: " + strValue);
            *pNode = parsed;
        }
        CHubState next = CHubState::FromJson(doc);
        next.m_mapReadModes = state.m_mapReadModes;
        state = std::move(next);
    });
    return Ok();
}

std::string CControlInterpreter::Get(const std::vector<std::string>& words) {
    if (words.size() > 2) return Err("usage: GET [path]");
    json doc = m_hub.WithState([](CHubState& state) { return state.ToJson(); });
    if (words.size() == 1) return Ok(doc.dump(-1, ' ', false, json::error_handler_t::replace));
    const json* pNode = FindNode(doc, SplitPath(words[1]), false);
    if (!pNode) return Err("no setting '" + words[1] + "'");
    return Ok(pNode->is_string() ? pNode->get<std::string>()
                                 : pNode->dump(-1, ' ', false, json::error_handler_t::replace));
}

std::string CControlInterpreter::Plug(const std::vector<std::string>& words) {
    if (words.size() != 2 && words.size() != 3 && words.size() != 5) return Err("usage: PLUG <id> [kind [vid pid]]");
    const auto nId = ParseByte(words[1], 1, 254);
    if (!nId) return Err("device id must be 1..254");
    SAttachedDevice device{*nId, EDeviceKind::Echo, 0x1234, 0x5678};
    if (words.size() >= 3 && !ParseDeviceKind(words[2], device.eKind))
        return Err("kind must be printer, hid, serial, echo or sink");
    if (words.size() == 5) {
        const auto vid = ParseHex(words[3]);
        const auto pid = ParseHex(words[4]);
        if (!vid || vid->size() != 2 || !pid || pid->size() != 2) return Err("vid and pid are four hex digits");
        device.nVid = static_cast<uint16_t>((*vid)[0] << 8 | (*vid)[1]);
        device.nPid = static_cast<uint16_t>((*pid)[0] << 8 | (*pid)[1]);
    }
    m_hub.ModifyState([&](CHubState& state) {
        state.m_mapDevices[*nId] = device;
        state.m_mapPrinterLife.erase(*nId);  // a new device, in good order
    });
    m_hub.SyncTransports();
    return Ok();
}

std::string CControlInterpreter::Unplug(const std::vector<std::string>& words) {
    if (words.size() != 2) return Err("usage: UNPLUG <id>");
    const auto nId = ParseByte(words[1], 1, 254);
    if (!nId) return Err("device id must be 1..254");
    bool bFound = false;
    m_hub.ModifyState([&](CHubState& state) {
        bFound = state.m_mapDevices.erase(*nId) > 0;
        state.m_mapPrinterLife.erase(*nId);
    });
    if (!bFound) return Err("no device " + words[1] + " attached");
    m_hub.SyncTransports();
    return Ok();
}

std::string CControlInterpreter::Alarm(const std::vector<std::string>& words) {
    if (words.size() != 4) return Err("usage: ALARM WRITE <dev> <status> | ALARM HUB <type> <level>");
    const std::string strKind = ToUpper(words[1]);
    const auto a = ParseByte(words[2]);
    const auto b = ParseByte(words[3]);
    if (!a || !b) return Err("values must be 0..255");
    if (strKind == "WRITE") return PostAndSync(EncodeFrame(kDeviceHub, Bytes{0x74, *a, *b}), EPostKind::Frame);
    if (strKind == "HUB") return PostAndSync(EncodeFrame(kDeviceHub, Bytes{0x75, *a, *b}), EPostKind::Frame);
    return Err("expected WRITE or HUB");
}

std::string CControlInterpreter::StatusRecord(const std::vector<std::string>& words, bool bSecondKind) {
    if (words.size() < 2) return Err("usage: ASB|IASB <dev 10..19> [4 hex bytes]");
    const auto nDevice = ParseByte(words[1], 10, 19);
    if (!nDevice) return Err("status records come from devices 10..19");
    if (words.size() > 2) {
        const auto custom = ParseHex(JoinFrom(words, 2));
        if (!custom || custom->size() != 4) return Err("a status record is 4 hex bytes");
        return PostAndSync(EncodeFrame(*nDevice, *custom), EPostKind::Frame);
    }
    const Bytes record = bSecondKind ? Bytes{0x35, 0x40, 0x40, 0x00} : Bytes{0x14, 0x00, 0x00, 0x0F};
    return PostAndSync(EncodeFrame(*nDevice, record), EPostKind::Frame);
}

std::string CControlInterpreter::Printer(const std::vector<std::string>& words) {
    static const std::string kUsage =
        "usage: PRINTER <id> [PAPER OK|LOW|OUT [AFTER <n>] | COVER OPEN|CLOSED | DRAWER OPEN|CLOSED | "
        "ERROR NONE|MECHANICAL|CUTTER|UNRECOVERABLE|RECOVERABLE | OFFLINE-ALARM <status>|OFF]";
    if (words.size() < 2 || words.size() == 3 || words.size() > 6) return Err(kUsage);
    const auto nId = ParseByte(words[1], 1, 254);
    if (!nId) return Err("device id must be 1..254");
    std::string strError, strState;
    std::optional<Bytes> record;  // the printer's new status, for a host that enabled status back
    m_hub.WithState([&](CHubState& state) {
        const auto it = state.m_mapDevices.find(*nId);
        if (it == state.m_mapDevices.end() || it->second.eKind != EDeviceKind::Printer) {
            strError = "no printer attached at " + words[1];
            return false;
        }
        SPrinterLife life = state.m_mapPrinterLife[*nId];
        const Bytes before = hubsim::StatusRecord(life);
        if (words.size() > 2) {
            const std::string strWhat = ToUpper(words[2]), strValue = ToUpper(words[3]);
            const bool bAfter = words.size() == 6 && ToUpper(words[4]) == "AFTER";
            if (words.size() != 4 && !(strWhat == "PAPER" && bAfter)) {
                strError = kUsage;
                return false;
            }
            EPaper ePaper = EPaper::Ok;
            uint8_t nError = 0;
            if (strWhat == "PAPER" && ParsePaper(strValue, ePaper)) {
                if (!bAfter) {
                    life.ePaper = ePaper;
                    if (ePaper == EPaper::Ok) life.nLowAt = life.nOutAt = 0;  // a new roll
                } else if (const auto n = ParseNumber(words[5], 1, 1L << 40); n && ePaper != EPaper::Ok) {
                    (ePaper == EPaper::Low ? life.nLowAt : life.nOutAt) = life.nPrinted + static_cast<uint64_t>(*n);
                } else {
                    strError = "PAPER LOW|OUT AFTER <bytes 1..>";
                }
            } else if ((strWhat == "COVER" || strWhat == "DRAWER") && (strValue == "OPEN" || strValue == "CLOSED")) {
                (strWhat == "COVER" ? life.bCoverOpen : life.bDrawerOpen) = strValue == "OPEN";
            } else if (strWhat == "ERROR" && ParseError(strValue, nError)) {
                life.nError = nError;
            } else if (strWhat == "OFFLINE-ALARM") {
                const auto n = strValue == "OFF" ? std::optional<long>(-1) : ParseNumber(words[3], 0, 255);
                if (n)
                    life.nOfflineAlarm = static_cast<int>(*n);
                else
                    strError = "OFFLINE-ALARM <status 0..255>|OFF";
            } else {
                strError = kUsage;
            }
            if (!strError.empty()) return false;
        }
        if (life.bStatusBack && hubsim::StatusRecord(life) != before) record = hubsim::StatusRecord(life);
        state.m_mapPrinterLife[*nId] = life;
        strState = DescribePrinter(life);
        return true;
    });
    if (!strError.empty()) return Err(strError);
    if (record) PostAndSync(EncodeFrame(*nId, *record), EPostKind::Frame);
    return Ok(strState);
}

std::string CControlInterpreter::Send(const std::vector<std::string>& words, const std::string& strCommand) {
    if (strCommand == "RAW") {
        if (words.size() < 2) return Err("usage: RAW <hex>");
        const auto bytes = ParseHex(JoinFrom(words, 1));
        if (!bytes || bytes->empty()) return Err("bad hex bytes");
        return PostAndSync(*bytes, EPostKind::Raw);
    }
    if (words.size() < 3) return Err("usage: SEND <dev> <hex>");
    const auto nDevice = ParseByte(words[1]);
    if (!nDevice) return Err("device id must be 0..255");
    const auto bytes = ParseHex(JoinFrom(words, 2));
    if (!bytes || bytes->empty()) return Err("bad hex payload (a frame needs at least one byte)");
    return PostAndSync(EncodeFrame(*nDevice, *bytes), EPostKind::Frame);
}

std::string CControlInterpreter::Received(const std::vector<std::string>& words) {
    if (words.size() == 1) {
        std::string out;
        for (const auto& [nDevice, nCount] : m_hub.ReceivedCounts())
            AppendWord(out, std::to_string(nDevice) + ":" + std::to_string(nCount));
        return Ok(out);
    }
    if (words.size() == 2 && ToUpper(words[1]) == "CLEAR") {
        m_hub.ClearReceived();
        return Ok();
    }
    if (words.size() != 2) return Err("usage: RX [<dev>|CLEAR]");
    const auto nDevice = ParseByte(words[1]);
    if (!nDevice) return Err("device id must be 0..255");
    std::string out;
    for (const Bytes& payload : m_hub.Received(*nDevice)) AppendWord(out, ToHex(payload));
    return Ok(out);
}

std::string CControlInterpreter::Usb(const std::vector<std::string>& words) {
    if (!m_pUsb) return Err("no simulated USB hub (start with --usb-sim DIR)");
    if (words.size() < 2) return Err("usage: USB PLUG|UNPLUG|EXCLUSIVE ON|OFF|CONNECTIONS");
    const std::string strWhat = ToUpper(words[1]);
    if (strWhat == "PLUG" || strWhat == "UNPLUG") {
        m_pUsb->SetPlugged(strWhat == "PLUG");
        return Ok();
    }
    if (strWhat == "CONNECTIONS") return Ok(std::to_string(m_pUsb->Connections()));
    bool bOn = false;
    if (strWhat == "EXCLUSIVE" && words.size() == 3 && OnOff(words[2], bOn)) {
        m_pUsb->SetExclusive(bOn);
        return Ok();
    }
    return Err("usage: USB PLUG|UNPLUG|EXCLUSIVE ON|OFF|CONNECTIONS");
}

}  // namespace hubsim
