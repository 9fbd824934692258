// The port library's exported C functions driving a network port against the
// hub simulator: create, configure, open, write, read, watch, close, remove.
#include <gtest/gtest.h>

#include <string>

#include "HubSimFixture.h"
#include "include/zamoport.h"
#include "platform/Clock.h"

namespace {

bool WaitFor(uint32_t nMaxMs, const auto& pred) {
    const uint64_t t0 = vexal::platform::TickMs();
    while (vexal::platform::TickMs() - t0 < nMaxMs) {
        if (pred()) return true;
        vexal::platform::SleepMs(50);
    }
    return pred();
}

}  // namespace

TEST(PortNetExports, OpenWriteReadCloseThroughTheLibrary) {
    CHubSimFixture hub;
    const std::u16string strName = u"127.0.0.1";
    const uint32_t port = CreatePort(strName.c_str(), 0);
    ASSERT_GE(port, 10000u);

    DeviceOption option{};
    option.portName = strName.c_str();
    option.portType = ZAMO_PORT_NET;
    option.speed = hub.Port();
    ASSERT_EQ(SetDeviceOption(option, port, 0), 1u);
    ASSERT_EQ(OpenPort(port, 0), 1u);

    // Plug-and-play on: the hub reports its devices (a printer at 10 among them).
    const uint8_t pnp[] = {'V', 'Q', 'T', 0xFF, 0, 1, 0x01};
    EXPECT_EQ(Write(pnp, sizeof pnp, port), static_cast<int32_t>(sizeof pnp));
    ASSERT_TRUE(WaitFor(8000, [&] { return IsPowerState(port, 10) == 1; }));

    // An echoing device behind the hub: what goes out comes back in its queue.
    ASSERT_EQ(hub.Control("PLUG 30 echo").rfind("OK", 0), 0u);
    ASSERT_TRUE(WaitFor(8000, [&] { return AvailableDevId(port, 0, 30, 30) == 30; }));
    const uint8_t frame[] = {'V', 'Q', 'T', 30, 0, 3, 0x4E, 0x45, 0x54};
    EXPECT_EQ(Write(frame, sizeof frame, port), static_cast<int32_t>(sizeof frame));
    uint8_t buf[3] = {};
    EXPECT_EQ(Read(buf, 3, 8000, port, 30), 3u);
    EXPECT_EQ(buf[0], 0x4E);
    EXPECT_EQ(buf[2], 0x54);

    // The hub goes away: once a reconnect has failed the link is off-line and
    // no device counts as present, although loopback still answers echoes.
    hub.Stop();
    EXPECT_TRUE(WaitFor(15000, [&] { return IsPowerState(port, 10) == 0; }));

    const uint64_t t0 = vexal::platform::TickMs();
    ClosePort(port, 0);
    EXPECT_LT(vexal::platform::TickMs() - t0, 3000u);
    EXPECT_EQ(RemovePort(port), 0u);
    // An empty address is refused.
    const uint32_t other = CreatePort(u"10.1.2.3", 0);
    DeviceOption empty{};
    empty.portName = u"";
    empty.portType = ZAMO_PORT_NET;
    EXPECT_EQ(SetDeviceOption(empty, other, 0), 0u);
    EXPECT_EQ(RemovePort(other), 0u);
}
