// The 18 exported C functions: each forwards to the registry and turns any
// C++ exception into the failure result, so nothing crosses the boundary.
#include "include/zamoport.h"
#include "portlib/PortListMng.h"

using vexal::CPortListMng;

extern "C" {

ZAMOPORT_API uint32_t ZAMO_CALL CreatePort(const char16_t* portName, uint32_t deviceType) {
    try {
        return CPortListMng::Instance().CreatePort(portName ? std::u16string_view(portName) : std::u16string_view(),
                                                   deviceType);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL RemovePort(uint32_t port) {
    try {
        return CPortListMng::Instance().RemovePort(port);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL SetDeviceOption(DeviceOption option, uint32_t port, uint32_t /*unused*/) {
    try {
        return CPortListMng::Instance().SetDeviceOption(option, port);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL OpenPort(uint32_t port, uint32_t device) {
    try {
        return CPortListMng::Instance().OpenPort(port, device);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API void ZAMO_CALL ClosePort(uint32_t port, uint32_t device) {
    try {
        CPortListMng::Instance().ClosePort(port, device);
    } catch (...) {
        return;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL Read(uint8_t* dest, uint32_t wanted, uint32_t timeoutMs, uint32_t port,
                                     uint32_t device) {
    try {
        return CPortListMng::Instance().Read(dest, wanted, timeoutMs, port, device);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL ReadAvailable(uint32_t port, uint32_t device) {
    try {
        return CPortListMng::Instance().ReadAvailable(port, device);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API int32_t ZAMO_CALL Write(const uint8_t* data, uint32_t length, uint32_t port) {
    try {
        return CPortListMng::Instance().Write(data, length, port);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API void ZAMO_CALL SetWrite(uint32_t isWrite, uint32_t port, uint32_t device) {
    try {
        CPortListMng::Instance().SetWrite(isWrite, port, device);
    } catch (...) {
        return;
    }
}

ZAMOPORT_API void ZAMO_CALL Clear(uint32_t port, uint32_t device) {
    try {
        CPortListMng::Instance().Clear(port, device);
    } catch (...) {
        return;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL IsPowerState(uint32_t port, uint32_t device) {
    try {
        return CPortListMng::Instance().IsPowerState(port, device);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL GetASBState(uint8_t* dest, uint32_t port, uint32_t device) {
    try {
        return CPortListMng::Instance().GetASBState(dest, port, device);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL AvailableDevId(uint32_t port, uint32_t /*unused*/, uint32_t lowest, uint32_t highest) {
    try {
        return CPortListMng::Instance().AvailableDevId(port, lowest, highest);
    } catch (...) {
        return 0;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL SetAsbMode(uint32_t enable, uint32_t port, uint32_t device) {
    try {
        return CPortListMng::Instance().SetAsbMode(enable, port, device);
    } catch (...) {
        return vexal::kUnknownPortMode;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL GetAsbMode(uint32_t port, uint32_t device) {
    try {
        return CPortListMng::Instance().GetAsbMode(port, device);
    } catch (...) {
        return vexal::kUnknownPortMode;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL SetPnPMode(uint32_t enable, uint32_t port, uint32_t device) {
    try {
        return CPortListMng::Instance().SetPnPMode(enable, port, device);
    } catch (...) {
        return vexal::kUnknownPortMode;
    }
}

ZAMOPORT_API uint32_t ZAMO_CALL GetPnPMode(uint32_t port, uint32_t device) {
    try {
        return CPortListMng::Instance().GetPnPMode(port, device);
    } catch (...) {
        return vexal::kUnknownPortMode;
    }
}

ZAMOPORT_API void ZAMO_CALL SetAlarmCallback(uint32_t port, uint32_t device, ZamoAlarmCallback callback) {
    try {
        CPortListMng::Instance().SetAlarmCallback(port, device, callback);
    } catch (...) {
        return;
    }
}

}  // extern "C"
