// The parallel port through a fake status source and device, and the lp
// backend's retries on a device that is never ready.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>

#include "SerialTestSupport.h"
#include "platform/Clock.h"
#include "platform/Parallel.h"
#include "platform/WakeSignal.h"
#include "portlib/PortLpt.h"

using namespace vexal;
using platform::EDeviceIo;
using serial_test::ReadLogText;
using serial_test::WaitFor;
namespace fs = std::filesystem;

namespace {

struct SFakePrinter {
    std::mutex m;
    std::atomic<uint8_t> status{0xD8};
    std::atomic<uint8_t> validBits{platform::kParallelStatusBits};
    std::vector<uint8_t> incoming;
    std::vector<uint8_t> written;
    std::atomic<size_t> nLargestRead{0};
};

class CFakeParallel final : public platform::IParallelEndpoint {
public:
    explicit CFakeParallel(std::shared_ptr<SFakePrinter> p) : m_p(std::move(p)) {}
    int Status(uint8_t& status, uint8_t& validBits) override {
        status = m_p->status;
        validBits = m_p->validBits;
        return 0;
    }
    EDeviceIo Read(uint8_t* pBuffer, size_t nSize, size_t& nRead, uint32_t, const platform::CWakeSignal*,
                   int&) override {
        std::lock_guard lock(m_p->m);
        m_p->nLargestRead = std::max(m_p->nLargestRead.load(), nSize);
        nRead = std::min(nSize, m_p->incoming.size());
        std::copy_n(m_p->incoming.begin(), nRead, pBuffer);
        m_p->incoming.erase(m_p->incoming.begin(), m_p->incoming.begin() + static_cast<ptrdiff_t>(nRead));
        return nRead > 0 ? EDeviceIo::Done : EDeviceIo::TimedOut;
    }
    EDeviceIo Write(const uint8_t* pData, size_t nLength, size_t& nWritten, uint32_t, const platform::CWakeSignal*,
                    int&) override {
        std::lock_guard lock(m_p->m);
        m_p->written.insert(m_p->written.end(), pData, pData + nLength);
        nWritten = nLength;
        return EDeviceIo::Done;
    }

private:
    std::shared_ptr<SFakePrinter> m_p;
};

DeviceOption Option(const char16_t* pszName) {
    DeviceOption opt{};
    opt.portName = pszName;
    opt.portType = ZAMO_PORT_LPT;
    return opt;
}

struct CFixture {
    CFixture() {
        pPort->SetParallelEndpointFactory(
            [p = pPrinter](std::u16string_view, int&) { return std::make_unique<CFakeParallel>(p); });
        EXPECT_EQ(pPort->SetDeviceOption(Option(u"LPT1")), 1u);
    }
    size_t Zeros() {
        std::lock_guard lock(pPrinter->m);
        return static_cast<size_t>(std::count(pPrinter->written.begin(), pPrinter->written.end(), 0));
    }
    std::shared_ptr<SFakePrinter> pPrinter = std::make_shared<SFakePrinter>();
    std::shared_ptr<CPortLpt> pPort = std::make_shared<CPortLpt>();
};

uint64_t ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

}  // namespace

TEST(PortLpt, OnlyNamesStartingWithUpperCaseLptAreTaken) {
    CPortLpt port;
    for (const char16_t* pszBad : {u"lpt1", u"Lpt1", u"LP", u"", u"COM1", u" LPT1"})
        EXPECT_EQ(port.SetDeviceOption(Option(pszBad)), 0u);
    for (const char16_t* pszGood : {u"LPT1", u"LPT", u"LPTX", u"LPT12"})
        EXPECT_EQ(port.SetDeviceOption(Option(pszGood)), 1u);
    EXPECT_EQ(port.ReceiveQueueCount(0), 0u) << "no queue for device 0 and no raw mode";
    EXPECT_EQ(port.m_nRawMode, 0u);
}

TEST(PortLpt, TheStatusRegisterDecidesTheLinkOnEveryCycle) {
    EXPECT_TRUE(platform::IsParallelOnline(0xD8, platform::kParallelStatusBits));
    EXPECT_TRUE(platform::IsParallelOnline(0xDF, platform::kParallelStatusBits)) << "reserved bits are masked";
    for (uint8_t off : {0x58, 0x98, 0xF8, 0xC8, 0xD0, 0x80, 0x00})  // busy, no ack, paper out, deselected, error
        EXPECT_FALSE(platform::IsParallelOnline(off, platform::kParallelStatusBits)) << int{off};
    // A USB printer: paper empty, selected and no error only.
    EXPECT_TRUE(platform::IsParallelOnline(0x18, platform::kUsbPrinterStatusBits));
    EXPECT_TRUE(platform::IsParallelOnline(0x1F, platform::kUsbPrinterStatusBits));
    for (uint8_t off : {0x38, 0x10, 0x08, 0x00})
        EXPECT_FALSE(platform::IsParallelOnline(off, platform::kUsbPrinterStatusBits)) << int{off};

    CFixture f;
    ASSERT_EQ(f.pPort->OpenPort(), 1u);
    EXPECT_TRUE(WaitFor([&] { return f.pPort->m_dwLinkState == ZAMO_LINK_ONLINE; }, 3000));
    f.pPrinter->status = 0x58;  // busy
    EXPECT_TRUE(WaitFor([&] { return f.pPort->m_dwLinkState == ZAMO_LINK_OFFLINE; }, 3000));
    f.pPrinter->validBits = platform::kUsbPrinterStatusBits;
    f.pPrinter->status = 0x18;
    EXPECT_TRUE(WaitFor([&] { return f.pPort->m_dwLinkState == ZAMO_LINK_ONLINE; }, 3000));
    f.pPort->ClosePort();
}

TEST(PortLpt, ReadsTakeTwentyBytesACycleAndIdleCyclesKeepTheLineAlive) {
    CFixture f;
    serial_test::CTempDir dir("lpt-log");
    f.pPort->PortLog().Initialise(true, dir.Wide(), u"");
    f.pPort->m_bPortLog = true;
    f.pPort->AddDevice(5);
    // One frame for device 5 with 44 payload bytes: 50 bytes on the wire.
    std::vector<uint8_t> frame = {0x56, 0x51, 0x54, 0x05, 0x00, 44};
    for (uint8_t i = 0; i < 44; ++i) frame.push_back(i);
    {
        std::lock_guard lock(f.pPrinter->m);
        f.pPrinter->incoming = frame;
    }
    ASSERT_EQ(f.pPort->OpenPort(), 1u);
    ASSERT_TRUE(WaitFor([&] { return f.pPort->AvailableCount(5) == 44; }, 5000)) << f.pPort->AvailableCount(5);
    EXPECT_EQ(f.pPrinter->nLargestRead, 20u);
    EXPECT_TRUE(WaitFor([&] { return f.Zeros() >= 2; }, 3000)) << "a zero byte per idle cycle";

    f.pPort->SetWrite(1);
    platform::SleepMs(350);  // a keep-alive may have been under way
    const size_t nZeros = f.Zeros();
    platform::SleepMs(1000);
    EXPECT_EQ(f.Zeros(), nZeros) << "no keep-alive while a caller writes";
    const uint8_t data[3] = {0x41, 0x42, 0x43};
    EXPECT_EQ(f.pPort->WritePort(data, 3), 3);
    f.pPort->ClosePort();
    const std::string text = ReadLogText(dir.Path());
    EXPECT_NE(text.find("other data write"), std::string::npos);
    EXPECT_NE(text.find("NULL byte write"), std::string::npos);
    EXPECT_NE(text.find("LPT Power Status Changed : 2001"), std::string::npos);
}

TEST(ParallelDevice, AWriteThatIsNeverTakenIsBoundedWakeableAndDoesNotSpin) {
    // A full FIFO stands in for a printer that answers every write with EAGAIN.
    const fs::path fifo = fs::temp_directory_path() / ("vexal-lp-" + std::to_string(getpid()));
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int nErr = 0;
    auto pDevice = platform::OpenParallelDevice(fifo.string(), nErr);
    ASSERT_NE(pDevice, nullptr) << nErr;
    const int hFill = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(hFill, 0);
    const std::vector<uint8_t> chunk(4096, 0x55);
    while (write(hFill, chunk.data(), chunk.size()) > 0) {
    }
    ASSERT_EQ(errno, EAGAIN);

    const uint8_t data[10] = {};
    size_t nWritten = 99;
    const uint64_t nCpu0 = ThreadCpuMs();
    const uint64_t t0 = platform::TickMs();
    EXPECT_EQ(pDevice->Write(data, sizeof data, nWritten, 400, nullptr, nErr), EDeviceIo::TimedOut);
    const uint64_t nElapsed = platform::TickMs() - t0;
    EXPECT_EQ(nWritten, 0u);
    EXPECT_GE(nElapsed, 390u);
    EXPECT_LT(nElapsed, 3000u);
    EXPECT_LT(ThreadCpuMs() - nCpu0, 100u) << "retries pause between tries";

    platform::CWakeSignal wake;
    std::thread waker([&] {
        platform::SleepMs(100);
        wake.Set();
    });
    const uint64_t t1 = platform::TickMs();
    EXPECT_EQ(pDevice->Write(data, sizeof data, nWritten, 10000, &wake, nErr), EDeviceIo::Woken);
    EXPECT_LT(platform::TickMs() - t1, 2000u);
    waker.join();

    uint8_t status = 0, bits = 0;
    EXPECT_NE(pDevice->Status(status, bits), 0) << "a FIFO has no printer status";
    close(hFill);
    fs::remove(fifo);
}
