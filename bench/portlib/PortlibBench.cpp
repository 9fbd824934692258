// Throughput of frame parsing and dispatch, and of the status-back filter,
// each beside a plain memcpy of the same bytes; ratios printed at the end.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "portlib/PortInterface.h"
#include "portlib/StatusBack.h"

using namespace vexal;

namespace {

constexpr size_t kStreamBytes = 256 * 1024;

// A stream of back-to-back frames for device 3 with payloads of one size.
std::vector<uint8_t> FrameStream(size_t nPayload) {
    std::vector<uint8_t> s;
    uint8_t v = 0;
    while (s.size() + nPayload + 6 <= kStreamBytes) {
        s.insert(s.end(), {0x56, 0x51, 0x54, 3, static_cast<uint8_t>(nPayload >> 8), static_cast<uint8_t>(nPayload)});
        for (size_t i = 0; i < nPayload; ++i) s.push_back(v++);
    }
    return s;
}

// Printer output with a status record every 64 bytes.
std::vector<uint8_t> StatusStream() {
    std::vector<uint8_t> s(kStreamBytes, 0x41);
    for (size_t i = 60; i + 4 <= s.size(); i += 64) {
        s[i] = 0x14;
        s[i + 1] = 0x00;
        s[i + 2] = 0x00;
        s[i + 3] = 0x0F;
    }
    return s;
}

void BM_Memcpy(benchmark::State& state) {
    const auto src = FrameStream(static_cast<size_t>(state.range(0)));
    std::vector<uint8_t> dst(src.size());
    for (auto _ : state) {
        // In 1024-byte pieces, as the reader thread hands them over.
        for (size_t i = 0; i < src.size(); i += kReadBufferSize) {
            const size_t n = std::min<size_t>(kReadBufferSize, src.size() - i);
            std::memcpy(dst.data() + i, src.data() + i, n);
        }
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}

// Parsing and dispatch into the device's queue; the queue is emptied after
// every cycle (Clear, or Read as a caller would with bReadBack).
void ParseDispatch(benchmark::State& state, bool bReadBack) {
    const auto src = FrameStream(static_cast<size_t>(state.range(0)));
    auto port = std::make_shared<CPortInterface>();
    DeviceOption option{};
    port->SetDeviceOption(option);
    port->AddDevice(3);
    port->m_bOpen = true;
    std::vector<uint8_t> sink(kStreamBytes);
    for (auto _ : state) {
        for (size_t i = 0; i < src.size(); i += kReadBufferSize) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kReadBufferSize, src.size() - i));
            port->ProcessReadBytes(src.data() + i, n);
            // Drain as a caller does: an undrained queue would grow without end.
            if (bReadBack) {
                const uint32_t nWaiting = port->AvailableCount(3);
                if (nWaiting > 0) port->Read(3, sink.data(), nWaiting, 0);
            } else {
                port->Clear(3);
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}

void BM_ParseDispatch(benchmark::State& state) { ParseDispatch(state, false); }
void BM_ParseDispatchRead(benchmark::State& state) { ParseDispatch(state, true); }

struct CNullSink final : IStatusBackSink {
    void OnStatusRecord(const uint8_t* p, bool) override { benchmark::DoNotOptimize(p); }
    void OnStatusTrace(EStatusTrace, const uint8_t*, uint32_t) override {}
};

void BM_MemcpyStatus(benchmark::State& state) {
    const auto src = StatusStream();
    std::vector<uint8_t> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}

void BM_StatusFilter(benchmark::State& state) {
    const auto src = StatusStream();
    std::vector<uint8_t> out(kReadBufferSize);
    CNullSink sink;
    for (auto _ : state) {
        for (size_t i = 0; i < src.size(); i += kReadBufferSize) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kReadBufferSize, src.size() - i));
            benchmark::DoNotOptimize(FilterStatusBack(src.data() + i, n, out.data(), sink, false));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}

BENCHMARK(BM_Memcpy)->Arg(64)->Arg(512)->Arg(1024);
BENCHMARK(BM_ParseDispatch)->Arg(64)->Arg(512)->Arg(1024);
BENCHMARK(BM_ParseDispatchRead)->Arg(64)->Arg(512)->Arg(1024);
BENCHMARK(BM_MemcpyStatus);
BENCHMARK(BM_StatusFilter);

// Keeps each run's throughput so the ratios can be printed after the table.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end()) m_rates[run.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        std::printf("\nThroughput against memcpy of the same bytes (goal: parsing >= 0.10):\n");
        for (const char* size : {"64", "512", "1024"}) {
            Print(std::string("BM_ParseDispatch/") + size, std::string("BM_Memcpy/") + size);
            Print(std::string("BM_ParseDispatchRead/") + size, std::string("BM_Memcpy/") + size);
        }
        Print("BM_StatusFilter", "BM_MemcpyStatus");
    }

private:
    void Print(const std::string& strWork, const std::string& strBase) const {
        auto w = m_rates.find(strWork);
        auto b = m_rates.find(strBase);
        if (w == m_rates.end() || b == m_rates.end() || b->second <= 0) return;
        std::printf("  %-24s %9.1f MB/s   memcpy %9.1f MB/s   ratio %.3f\n", strWork.c_str(), w->second / 1e6,
                    b->second / 1e6, w->second / b->second);
    }
    std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
