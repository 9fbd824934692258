// "Find hubs…" (dialog 148): searches address ranges for hubs on the main
// window's TCP port, lists each address that answers with its model and
// firmware as it is learned, and hands the chosen hub's address back. The
// probe runs on threads of its own (CHubSearch), each identification as a
// job of the library thread; a timer shows the progress. "Stop" ends the
// search; a close while an identification runs waits for it.
//
//   CFindHubsLogic find(api, jobs, strRanges, wPort);
//   if (View().RunModal(find) == kAccepted && find.Chosen()) ... // the address, host order
#pragma once
#include "client/CfgApiTable.h"
#include "utility/logic/DialogLogic.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vexal::utility {

namespace find_ids {
inline constexpr int kRange = 1481, kSearch = 1482, kStop = 1483, kProgress = 1484, kStatus = 1485;
inline constexpr int kList = 1486, kUse = 1487, kClose = 1488;
}  // namespace find_ids

class CFindHubsLogic final : public CDialogLogic {
public:
    static constexpr int kDialogId = 148;
    static constexpr int kPollMs = 50;

    // strRanges: what the range field starts with.
    CFindHubsLogic(client::CfgApiTable& api, CLibraryJobs& jobs, std::u16string strRanges, uint16_t wPort);
    ~CFindHubsLogic() override;

    std::optional<uint32_t> Chosen() const { return m_chosen; }
    // (the rest is the helper's to define)

private:
    std::optional<uint32_t> m_chosen;
};

}  // namespace vexal::utility
