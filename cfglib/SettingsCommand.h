// The steps every settings command shares on top of the command exchange:
// the exchange with its read-failure line, the write without reply, and the
// last-result bookkeeping.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "cfglib/SettingsReplies.h"
#include "cfglib/ZamoCtrl.h"
#include "common/VQTLog.h"
#include "include/zamocfg.h"

namespace vexal::cfg {

void SettingsLog(int nLevel, std::string_view format, std::initializer_list<CLogArg> args = {});

// Stores nResult as the session's last result and returns it.
int32_t SetResult(CZamoCtrl& session, int32_t nResult);

// A reply as the exchange hands it over: the hub's bytes and one extra zero.
class CSettingsReply {
public:
    // The hub's bytes alone; the trailing zero is never part of them.
    ReplyBytes Bytes() const;
    std::vector<uint8_t> m_buffer;
};

// Sends the request to the hub and waits up to dwTimeoutMs for the reply. On
// an exchange error writes "<pszName> read fail=%d", stores the code as the
// last result and returns it; otherwise returns 0.
int32_t ExchangeWithHub(CZamoCtrl& session, const std::vector<uint8_t>& request, uint32_t dwTimeoutMs,
                        const char* pszReadFailLine, CSettingsReply& reply);

// A message without reply to the hub. 0, or ZAMO_E_FAIL (also the last result) when
// fewer bytes went out than the message holds.
int32_t SendToHub(CZamoCtrl& session, const std::vector<uint8_t>& message);

}  // namespace vexal::cfg
