// Status-back filter: the pure filter and its routing through a port.
#include <gtest/gtest.h>

#include "FakePort.h"
#include "portlib/StatusBack.h"

using namespace vexal;
using vexal::test::CFakePort;
using vexal::test::Frame;

namespace {

struct CFilterResult : IStatusBackSink {
    std::vector<std::vector<uint8_t>> records;
    std::vector<bool> secondKind;
    std::vector<std::pair<EStatusTrace, std::vector<uint8_t>>> traces;
    std::vector<uint8_t> data;
    void OnStatusRecord(const uint8_t* p, bool b) override {
        records.emplace_back(p, p + 4);
        secondKind.push_back(b);
    }
    void OnStatusTrace(EStatusTrace k, const uint8_t* p, uint32_t n) override { traces.push_back({k, {p, p + n}}); }
};

CFilterResult Filter(const std::vector<uint8_t>& in, bool bTrace = true) {
    CFilterResult r;
    // Exactly sized output, so an overrun shows under the sanitizers.
    std::vector<uint8_t> out(in.size());
    const uint32_t n = FilterStatusBack(in.data(), static_cast<uint32_t>(in.size()), out.data(), r, bTrace);
    r.data.assign(out.begin(), out.begin() + n);
    return r;
}

}  // namespace

TEST(StatusBackFilter, RecordBetweenDataBytes) {
    auto r = Filter({0x41, 0x14, 0x00, 0x00, 0x0F, 0x42});
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(r.records[0], (std::vector<uint8_t>{0x14, 0x00, 0x00, 0x0F}));
    EXPECT_FALSE(r.secondKind[0]);
    EXPECT_EQ(r.data, (std::vector<uint8_t>{0x41, 0x42}));
}

TEST(StatusBackFilter, BrokenCandidateIsPassedOnAndTheBreakingByteExaminedAgain) {
    auto r = Filter({0x14, 0x99, 0x41});
    EXPECT_TRUE(r.records.empty());
    EXPECT_EQ(r.data, (std::vector<uint8_t>{0x14, 0x99, 0x41}));
    ASSERT_EQ(r.traces.size(), 3u);
    EXPECT_EQ(r.traces[0].first, EStatusTrace::Flushed);
    EXPECT_EQ(r.traces[0].second, (std::vector<uint8_t>{0x14}));
    EXPECT_EQ(r.traces[1].first, EStatusTrace::Single);
    EXPECT_EQ(r.traces[2].first, EStatusTrace::Single);
}

TEST(StatusBackFilter, MixedKindsArePassedOn) {
    auto r = Filter({0x14, 0x35});
    EXPECT_TRUE(r.records.empty());
    EXPECT_EQ(r.data, (std::vector<uint8_t>{0x14, 0x35}));
    ASSERT_EQ(r.traces.size(), 1u);
    EXPECT_EQ(r.traces[0].first, EStatusTrace::Mixed);
}

TEST(StatusBackFilter, SecondKindRecord) {
    auto r = Filter({0x35, 0x40, 0x41, 0x00});
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_TRUE(r.secondKind[0]);
    EXPECT_TRUE(r.data.empty());
}

TEST(StatusBackFilter, BackToBackRecords) {
    auto r = Filter({0x10, 0x01, 0x03, 0x4F, 0x5C, 0x60, 0x0C, 0x00});
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.records[1], (std::vector<uint8_t>{0x5C, 0x60, 0x0C, 0x00}));
    EXPECT_TRUE(r.data.empty());
}

TEST(StatusBackFilter, IncompleteCandidateAtTheEndIsPassedOnAsData) {
    auto r = Filter({0x41, 0x14, 0x00});
    EXPECT_TRUE(r.records.empty());
    EXPECT_EQ(r.data, (std::vector<uint8_t>{0x41, 0x14, 0x00}));
}

TEST(StatusBackFilter, SameResultWithAndWithoutTracing) {
    // Without tracing, runs of plain bytes take a faster path.
    const uint8_t pool[] = {0x41, 0x10, 0x14, 0x35, 0x40, 0x41, 0x00, 0x0F, 0x4F, 0x03, 0x60, 0x99, 0x5C, 0x42};
    uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> in(1 + round * 7 % 300);
        for (auto& x : in) {
            seed = seed * 1103515245u + 12345u;
            x = pool[(seed >> 16) % sizeof pool];
        }
        const auto traced = Filter(in, true);
        const auto quiet = Filter(in, false);
        ASSERT_EQ(traced.data, quiet.data) << "round " << round;
        ASSERT_EQ(traced.records, quiet.records) << "round " << round;
        ASSERT_EQ(traced.data.size() + 4 * traced.records.size(), in.size());  // no byte lost
    }
}

namespace {
class PortStatusBack : public ::testing::Test {
protected:
    void SetUp() override {
        port = std::make_shared<CFakePort>();
        DeviceOption opt{};
        port->SetDeviceOption(opt);
        port->AddDevice(12);
        port->m_bOpen = true;
    }
    std::vector<uint8_t> Drain(uint32_t dev) {
        std::vector<uint8_t> out(port->AvailableCount(dev));
        if (!out.empty()) port->Read(dev, out.data(), static_cast<uint32_t>(out.size()), 0);
        return out;
    }
    std::shared_ptr<CFakePort> port;
};
}  // namespace

TEST_F(PortStatusBack, ModeOnTakesRecordsOutOfFramesForDevices10To19) {
    port->m_nAsbMode = 1;
    const auto frame = Frame(12, {0x41, 0x14, 0x00, 0x00, 0x0F, 0x42, 0x10, 0x01, 0x03, 0x4F});
    port->ProcessReadBytes(frame.data(), static_cast<uint32_t>(frame.size()));
    EXPECT_EQ(Drain(12), (std::vector<uint8_t>{0x41, 0x42}));
    uint8_t rec[4] = {};
    ASSERT_EQ(port->GetASBState(rec, 12), 1u);
    EXPECT_EQ(rec[0], 0x14);
    ASSERT_EQ(port->GetASBState(rec, 12), 1u);
    EXPECT_EQ(rec[0], 0x10);
    rec[0] = 0xEE;
    EXPECT_EQ(port->GetASBState(rec, 12), 0u);
    EXPECT_EQ(rec[0], 0xEE);
    EXPECT_EQ(port->GetASBState(rec, 40), 0u);  // no status queue
}

TEST_F(PortStatusBack, ModeOffPassesTheSameBytesUnchanged) {
    const std::vector<uint8_t> payload{0x41, 0x14, 0x00, 0x00, 0x0F, 0x42};
    const auto frame = Frame(12, payload);
    port->ProcessReadBytes(frame.data(), static_cast<uint32_t>(frame.size()));
    EXPECT_EQ(Drain(12), payload);
    EXPECT_EQ(port->StatusBytesWaiting(12), 0u);
}

TEST_F(PortStatusBack, LargeFramesAreFilteredWhole) {
    port->m_nAsbMode = 1;
    std::vector<uint8_t> payload(3000, 0x41);
    payload[2000] = 0x14;
    payload[2001] = 0x00;
    payload[2002] = 0x00;
    payload[2003] = 0x0F;
    const auto frame = Frame(12, payload);
    for (size_t i = 0; i < frame.size(); i += 1024) {
        const size_t n = std::min<size_t>(1024, frame.size() - i);
        port->ProcessReadBytes(frame.data() + i, static_cast<uint32_t>(n));
    }
    EXPECT_EQ(Drain(12).size(), 2996u);
    EXPECT_EQ(port->StatusBytesWaiting(12), 4u);
}

TEST_F(PortStatusBack, RawPortCollectsRecordsForDeviceZero) {
    DeviceOption raw{};
    raw.rawMode = 1;
    port->SetDeviceOption(raw);
    port->m_nAsbMode = 1;
    port->AppendStatusQueue(0);
    const std::vector<uint8_t> block{0x56, 0x51, 0x35, 0x40, 0x41, 0x00, 0x54};
    port->ProcessReadBytes(block.data(), static_cast<uint32_t>(block.size()));
    EXPECT_EQ(Drain(0), (std::vector<uint8_t>{0x56, 0x51, 0x54}));
    uint8_t rec[4] = {};
    ASSERT_EQ(port->GetASBState(rec, 0), 1u);
    EXPECT_EQ(rec[0], 0x35);
}
