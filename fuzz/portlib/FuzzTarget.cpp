// libFuzzer entry for the port library's frame parser and status filter.
#include "PortlibFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    return vexal::PortlibFuzzOne(pData, nSize);
}
