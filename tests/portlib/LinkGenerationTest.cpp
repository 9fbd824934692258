// Link generations and the device-handle owner: bytes of a new link never
// complete a frame the old one cut; a close wakes and waits for the I/O that
// holds the handle, and never closes a handle under it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FakePort.h"
#include "platform/Clock.h"
#include "portlib/DeviceHandleOwner.h"
#include "portlib/FrameParser.h"

using namespace vexal;
using vexal::test::CFakePort;
using vexal::test::Concat;
using vexal::test::Frame;

namespace {

struct CSink : IFrameSink {
    std::vector<std::vector<uint8_t>> frames;
    void OnFrame(uint32_t, const uint8_t* p, uint32_t n) override { frames.emplace_back(p, p + n); }
    void OnParserEvent(EParserEvent, uint32_t) override {}
};

void Feed(CFrameParser& parser, const std::vector<uint8_t>& b, IFrameSink& sink) {
    parser.Process(b.data(), static_cast<uint32_t>(b.size()), 0, sink);
}

bool WaitFor(const std::function<bool()>& pred, uint32_t ms) {
    const uint64_t t0 = platform::TickMs();
    while (!pred()) {
        if (platform::TickMs() - t0 > ms) return false;
        platform::SleepMs(5);
    }
    return true;
}

// A handle that counts its closes and can be told to stop a blocked I/O.
struct CTestHandle {
    explicit CTestHandle(std::atomic<int>* pCloses) : m_pCloses(pCloses) {}
    CTestHandle(CTestHandle&& o) noexcept : m_pCloses(std::exchange(o.m_pCloses, nullptr)) {}
    CTestHandle& operator=(CTestHandle&&) = delete;
    ~CTestHandle() {
        if (m_pCloses) ++*m_pCloses;
    }
    std::atomic<int>* m_pCloses;
    std::atomic<bool> m_bWoken{false};
};
using COwner = CDeviceHandleOwner<std::unique_ptr<CTestHandle>>;

}  // namespace

TEST(LinkGeneration, ParserDropsAFrameOrHeaderCutByALinkChange) {
    const auto f = Frame(3, {1, 2, 3, 4, 5, 6});
    {
        CFrameParser parser;
        CSink sink;
        EXPECT_FALSE(parser.SetLinkGeneration(1));  // nothing in progress
        Feed(parser, {f.begin(), f.begin() + 8}, sink);
        EXPECT_TRUE(parser.SetLinkGeneration(2));
        // The rest of the old frame arrives on the new link, then a whole frame.
        Feed(parser, Concat({{f.begin() + 8, f.end()}, Frame(4, {9})}), sink);
        ASSERT_EQ(sink.frames.size(), 1u);
        EXPECT_EQ(sink.frames[0], (std::vector<uint8_t>{9}));
    }
    {
        CFrameParser parser;
        CSink sink;
        Feed(parser, {f.begin(), f.begin() + 4}, sink);  // a carried header
        EXPECT_TRUE(parser.SetLinkGeneration(7));
        Feed(parser, {f.begin() + 4, f.end()}, sink);
        EXPECT_TRUE(sink.frames.empty());
    }
    {
        // The same generation keeps the frame: a split frame is still joined.
        CFrameParser parser;
        CSink sink;
        parser.SetLinkGeneration(5);
        Feed(parser, {f.begin(), f.begin() + 8}, sink);
        EXPECT_FALSE(parser.SetLinkGeneration(5));
        Feed(parser, {f.begin() + 8, f.end()}, sink);
        ASSERT_EQ(sink.frames.size(), 1u);
        EXPECT_EQ(sink.frames[0], (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    }
}

namespace {
// The link drops and comes back between the first and the second read, as a
// transport's check thread would make it. Without a tag the second read's
// bytes belong to the new link; tagged, they were read from the old handle
// just before the reopen.
class CReopeningPort : public CFakePort {
public:
    int32_t ReadPort(uint8_t* pBuffer, uint32_t dwSize) override {
        const int nRead = m_nReadCalls++;
        const int32_t n = CFakePort::ReadPort(pBuffer, dwSize);
        if (nRead == 1) {
            const uint64_t nOld = LinkGeneration();
            NewLinkGeneration();
            if (m_bTagOld) TagReadGeneration(nOld);
        }
        return n;
    }
    std::atomic<int> m_nReadCalls{0};
    bool m_bTagOld = false;
};
}  // namespace

TEST(LinkGeneration, ReaderDropsTheOldFrameUnlessTheReadIsTaggedWithItsGeneration) {
    for (const bool bTagOld : {false, true}) {
        auto port = std::make_shared<CReopeningPort>();
        port->m_bTagOld = bTagOld;
        port->m_dwReaderPause = 5;
        DeviceOption opt{};
        port->SetDeviceOption(opt);
        port->AddDevice(3);
        const auto f = Frame(3, {1, 2, 3, 4, 5, 6});
        port->Feed({f.begin(), f.begin() + 8});
        port->Feed(Concat({{f.begin() + 8, f.end()}, Frame(3, {7})}));
        ASSERT_EQ(port->OpenPort(), 1u);
        ASSERT_TRUE(WaitFor([&] { return port->BlocksLeft() == 0 && port->m_nReadCalls > 3; }, 3000));
        std::vector<uint8_t> got(port->AvailableCount(3));
        if (!got.empty()) port->Read(3, got.data(), static_cast<uint32_t>(got.size()), 0);
        port->ClosePort();
        if (bTagOld)
            EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
        else
            EXPECT_EQ(got, (std::vector<uint8_t>{7}));
    }
}

TEST(DeviceHandleOwner, OpenCloseAndGenerations) {
    std::atomic<int> nCloses{0};
    COwner owner;
    EXPECT_FALSE(owner.Hold());
    EXPECT_EQ(owner.Open([] { return std::optional<std::unique_ptr<CTestHandle>>(); }), 0u);
    EXPECT_FALSE(owner.IsOpen());
    auto open = [&] { return std::optional(std::make_unique<CTestHandle>(&nCloses)); };
    EXPECT_EQ(owner.Open(open), 1u);
    {
        COwner::CHold hold = owner.Hold();
        ASSERT_TRUE(hold);
        EXPECT_EQ(hold.Generation(), 1u);
    }
    EXPECT_EQ(owner.Open(open), 2u);  // a reopen closes the first handle
    EXPECT_EQ(nCloses, 1);
    EXPECT_TRUE(owner.Close());
    EXPECT_EQ(nCloses, 2);
    EXPECT_FALSE(owner.Hold());
}

TEST(DeviceHandleOwner, CloseWakesTheHolderWaitsForItThenCloses) {
    std::atomic<int> nCloses{0};
    std::atomic<int> nWakes{0};
    COwner owner([&](std::unique_ptr<CTestHandle>& h) {
        ++nWakes;
        h->m_bWoken = true;
    });
    owner.Open([&] { return std::optional(std::make_unique<CTestHandle>(&nCloses)); });
    std::atomic<bool> bInIo{false};
    std::atomic<int> nClosesSeenByIo{-1};
    std::thread io([&] {
        COwner::CHold hold = owner.Hold();
        bInIo = true;
        while (!(*hold)->m_bWoken) platform::SleepMs(1);  // a blocked read until woken
        platform::SleepMs(50);                            // finishing after the wake
        nClosesSeenByIo = nCloses.load();
    });
    ASSERT_TRUE(WaitFor([&] { return bInIo.load(); }, 2000));
    const uint64_t t0 = platform::TickMs();
    EXPECT_TRUE(owner.Close());
    const uint64_t dt = platform::TickMs() - t0;
    io.join();
    EXPECT_EQ(nClosesSeenByIo, 0);  // never closed under the I/O
    EXPECT_EQ(nCloses, 1);
    EXPECT_GE(nWakes, 1);
    EXPECT_GE(dt, 40u);
    EXPECT_LT(dt, 1500u);
}

TEST(DeviceHandleOwner, AHolderThatOutlastsTheLimitClosesTheHandleWhenItLetsGo) {
    std::atomic<int> nCloses{0};
    std::atomic<int> nWakes{0};
    COwner owner([&](std::unique_ptr<CTestHandle>&) { ++nWakes; }, 300);
    owner.Open([&] { return std::optional(std::make_unique<CTestHandle>(&nCloses)); });
    COwner::CHold stuck = owner.Hold();
    const uint64_t t0 = platform::TickMs();
    EXPECT_FALSE(owner.Close());
    const uint64_t dt = platform::TickMs() - t0;
    EXPECT_GE(dt, 250u);
    EXPECT_LT(dt, 2000u);
    EXPECT_GE(nWakes, 2);  // woken again while it did not let go
    EXPECT_TRUE(stuck.IsClosing());
    EXPECT_EQ(nCloses, 0);
    EXPECT_FALSE(owner.Hold());
    // A new open is independent of the late holder.
    EXPECT_EQ(owner.Open([&] { return std::optional(std::make_unique<CTestHandle>(&nCloses)); }), 2u);
    stuck.Release();
    EXPECT_EQ(nCloses, 1);
    EXPECT_TRUE(owner.Hold());
}
