// The hub simulator's readers of what others send it: the host's requests,
// the control lines and the --state file, and the framing of the link.
//
// Byte 0 picks the reader (modulo 4); the rest is its input, copied into an
// exactly sized buffer so any read past it is caught:
//   0  host requests against one hub state: records of [target][length
//      high][length low][payload]; target 0 is the hub (a settings command),
//      any other a device behind it; an empty payload is no frame and skipped
//   1  control lines, separated by '\n', against one hub
//   2  the text of a state file
//   3  a host byte stream for the frame decoder; byte 1 is the read size
//      (0: all at once)
// Whatever a request or a control line changes, the state written to the
// state file must load back as the same state.
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ControlCommands.h"
#include "fuzz/FuzzInput.h"
#include "FrameCodec.h"
#include "Hub.h"
#include "HubCommands.h"
#include "HubState.h"
#include "StateFile.h"

using namespace hubsim;
using vexal::fuzz::Require;

namespace {

// The state file the simulator writes for this state reads back unchanged.
void RequireStateLoadsBack(const CHubState& state) {
    const nlohmann::json saved = state.ToJson();
    const nlohmann::json text =
        nlohmann::json::parse(saved.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
    try {
        Require(CHubState::FromJson(text).ToJson() == saved);
    } catch (const std::runtime_error&) {
        Require(false);
    }
}

void RunRequests(std::string_view input) {
    CHubState state;
    bool bChanged = false;
    size_t i = 0;
    while (i + 3 <= input.size()) {
        const uint8_t nTarget = static_cast<uint8_t>(input[i]);
        const size_t nWanted = static_cast<uint8_t>(input[i + 1]) * 256u + static_cast<uint8_t>(input[i + 2]);
        i += 3;
        const size_t nLength = std::min(nWanted, input.size() - i);
        const Bytes payload(input.begin() + static_cast<std::ptrdiff_t>(i),
                            input.begin() + static_cast<std::ptrdiff_t>(i + nLength));
        i += nLength;
        if (payload.empty()) continue;  // a frame holds at least one byte
        if (nTarget != kDeviceHub) {
            for (const Bytes& answer : HandleDeviceData(state, nTarget, payload)) Require(!answer.empty());
            continue;
        }
        const nlohmann::json before = state.ToJson();
        const SHubReply result = HandleHubCommand(state, payload);
        if (result.optReply) {
            // Every reply echoes its command; the header the host checks lies within it.
            Require(result.bKnown && !result.optReply->empty() && (*result.optReply)[0] == payload[0]);
            Require(result.nHeaderLength <= result.optReply->size());
        }
        if (!result.bKnown) Require(!result.optReply && !result.bChanged);
        // Only a change that is saved may touch what the state file holds.
        if (!result.bChanged) Require(state.ToJson() == before);
        bChanged = bChanged || result.bChanged;
    }
    if (bChanged) RequireStateLoadsBack(state);
}

void RunControlLines(std::string_view input) {
    CHub hub(CHubState{}, std::string());
    CControlInterpreter interpreter(hub, nullptr, [] {});
    size_t nStart = 0;
    while (nStart <= input.size()) {
        size_t nEnd = input.find('\n', nStart);
        if (nEnd == std::string_view::npos) nEnd = input.size();
        const std::string strAnswer = interpreter.Execute(std::string(input.substr(nStart, nEnd - nStart)));
        // Exactly one answer line each.
        Require(strAnswer == "OK" || strAnswer.rfind("OK ", 0) == 0 || strAnswer.rfind("ERR ", 0) == 0);
        Require(strAnswer.find_first_of("\r\n") == std::string::npos);
        nStart = nEnd + 1;
    }
    hub.WithState([](CHubState& state) {
        RequireStateLoadsBack(state);
        return 0;
    });
}

// The --state loader: text that is not JSON, or JSON that is not a state, is
// refused with a message; nothing else may escape.
void RunStateText(std::string_view input) {
    try {
        RequireStateLoadsBack(StateFromText(input));
    } catch (const std::runtime_error& e) {
        Require(std::string_view(e.what()).size() > 0);
    }
}

void RunStream(std::string_view input, size_t nRead) {
    const Bytes stream(input.begin(), input.end());
    std::vector<SFrame> whole, cut;
    CFrameDecoder wholeDecoder, cutDecoder;
    wholeDecoder.Feed(stream.data(), stream.size(), [&](SFrame&& frame) { whole.push_back(std::move(frame)); });
    for (size_t i = 0; i < stream.size(); i += nRead)
        cutDecoder.Feed(stream.data() + i, std::min(nRead, stream.size() - i),
                        [&](SFrame&& frame) { cut.push_back(std::move(frame)); });
    // Frames do not depend on how the reads cut the stream.
    Require(whole.size() == cut.size());
    size_t nBytes = 0;
    for (size_t k = 0; k < whole.size(); ++k) {
        Require(whole[k].nDevice == cut[k].nDevice && whole[k].vecPayload == cut[k].vecPayload);
        nBytes += kFrameHeaderSize + whole[k].vecPayload.size();
        // What the hub sends back in the same framing decodes to the same payload.
        const Bytes encoded = EncodeFrame(whole[k].nDevice, whole[k].vecPayload);
        std::vector<SFrame> again;
        CFrameDecoder echo;
        echo.Feed(encoded.data(), encoded.size(), [&](SFrame&& frame) { again.push_back(std::move(frame)); });
        Require(again.size() == 1 && again[0].vecPayload == whole[k].vecPayload && !echo.InFrame());
    }
    const auto& stats = wholeDecoder.Stats();
    Require(stats.nFrames == whole.size() &&
            nBytes + stats.nSkippedBytes + kFrameHeaderSize * stats.nZeroLengthFrames <= stream.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const vexal::fuzz::CExactInput exact(pData, nSize, 1);
    const std::string_view input = exact.Text();
    switch (pData[0] % 4) {
    case 0: RunRequests(input); break;
    case 1: RunControlLines(input); break;
    case 2: RunStateText(input); break;
    default: {
        const size_t nRead = pData[1] == 0 ? input.size() : pData[1];
        RunStream(input.substr(1), std::max<size_t>(nRead, 1));
        break;
    }
    }
    return 0;
}
