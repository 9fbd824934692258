// The CUPS backend's readers of what cupsd hands it. Byte 0 picks the
// reader (modulo 2), byte 1 is unused; the rest is the input, copied into an
// exactly sized buffer so any read past it is caught:
//   0  a device URI
//   1  job arguments, one per line
#include <string>
#include <string_view>
#include <vector>

#include "cups/BackendArgs.h"
#include "fuzz/FuzzInput.h"
#include "include/zamocfg.h"
#include "model/DeviceStatus.h"

using namespace vexal::cups;
using vexal::fuzz::Require;

namespace {

// What a URI gives is what the backend would list again for it.
void CheckUri(std::string_view text) {
    std::string strError;
    const auto uri = ParseDeviceUri(text, strError);
    if (!uri) {
        Require(!strError.empty());
        return;
    }
    Require(vexal::model::IsDeviceId(uri->nDevice));
    switch (uri->eLink) {
    case EHubLink::Network: {
        Require(uri->address.nInterface == ZAMO_IF_ETHERNET);
        const auto again =
            ParseDeviceUri("vexal://" + uri->address.strPortText + "/" + std::to_string(uri->nDevice), strError);
        Require(again && again->address.strPortText == uri->address.strPortText);
        break;
    }
    case EHubLink::Usb: {
        Require(uri->address.nInterface == ZAMO_IF_USB);
        const auto again = ParseDeviceUri(UsbDeviceUri(uri->nDevice), strError);
        Require(again && again->nDevice == uri->nDevice && again->strUsbLocation.empty());
        break;
    }
    case EHubLink::Serial: {
        Require(uri->address.nInterface == ZAMO_IF_SERIAL || uri->address.nInterface == ZAMO_IF_SERIAL_EXPLICIT);
        const auto again = ParseDeviceUri(SerialDeviceUri(uri->address.strPortText, uri->nDevice), strError);
        Require(again && again->address.strPortText == uri->address.strPortText && again->nDevice == uri->nDevice);
        break;
    }
    }
}

void CheckArgs(std::string_view text) {
    const std::vector<std::string> lines = vexal::fuzz::Lines(text);
    std::string strError;
    const auto job = ParseJobArgs(lines, strError);
    if (!job) {
        Require(!strError.empty());
        return;
    }
    Require(lines.size() == 5 || lines.size() == 6);
    Require(job->nCopies >= 1 && job->nCopies <= 9999);
    Require(job->strFile.has_value() == (lines.size() == 6));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2) return 0;
    const vexal::fuzz::CExactInput exact(pData, nSize, 2);
    const std::string_view input = exact.Text();
    switch (pData[0] % 2) {
    case 0: CheckUri(input); break;
    default: CheckArgs(input); break;
    }
    return 0;
}
