#include "client/CfgGate.h"

namespace vexal::client {

std::shared_mutex& CfgLibraryGate() {
    static auto* s_pGate = new std::shared_mutex();  // intentionally leaked, see the header
    return *s_pGate;
}

}  // namespace vexal::client
