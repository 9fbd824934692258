// The hub as an emulated usbfs device, reached through the unmodified libusb
// backend: the command-line tool and a configuration session read, write,
// wait out late replies, and keep another program off a hub they hold.
//
// The cases run under usbfs_emulator; started any other way, the program
// starts itself again under it.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FaultSession.h"
#include "tools/ToolSystem.h"

using faults_test::CFaultSession;
using faults_test::ELink;
using nlohmann::json;
using vexal::tools::RunProcess;
using vexal::tools::SProcessResult;

namespace {

SProcessResult Tool(std::vector<std::string> args) {
    args.insert(args.begin(), {VEXALCFG_BINARY, "--usb"});
    return RunProcess(args);
}

}  // namespace

// Every group read in one program run, one written in the next: two opens and
// closes of the device, each with its own claim and link.
TEST(EmulatedUsb, ToolReadsEveryGroupAndWritesOne) {
    CFaultSession s(ELink::Usb);
    SProcessResult r = Tool({"--json", "show"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    const json shown = json::parse(r.strStdout, nullptr, false);
    ASSERT_FALSE(shown.is_discarded()) << r.strStdout;
    EXPECT_EQ(shown["hub"], "USB");
    for (const char* pszGroup : {"bluetooth", "lan", "wlan", "netproto", "usage", "serial", "custom"})
        EXPECT_TRUE(shown["settings"].contains(pszGroup)) << pszGroup;
    EXPECT_EQ(shown["settings"]["lan"]["ip"], s.Control("GET lan.ip"));
    EXPECT_EQ(shown["settings"]["wlan"]["ssid"], s.Control("GET wlan.ssid"));

    r = Tool({"set", "bluetooth", "name=Emulated bus"});
    ASSERT_EQ(r.nExitStatus, 0) << r.strStderr;
    EXPECT_EQ(s.Control("GET bluetooth.name"), "Emulated bus");
}

// A reply that leaves the hub several read slices late still arrives; while
// the session holds the hub another program finds it in use and leaves it
// alone; a 592-byte block and 1500 echoed bytes come through whole.
TEST(EmulatedUsb, SessionWaitsOutLateRepliesAndKeepsTheHubToItself) {
    CFaultSession s(ELink::Usb);
    s.Open();
    s.Control("FAULT DELAY 700");
    s.ExpectCode(
        ZAMO_SUCCESS, 700, 700 + faults_test::kLateSlackMs, [&] { return s.QueryUsbList(); },
        "a reply seven read slices late");
    s.Control("FAULT DELAY 0");

    const SProcessResult r = Tool({"info"});
    EXPECT_EQ(r.nExitStatus, 1);
    EXPECT_NE(r.strStderr.find("1100"), std::string::npos) << r.strStderr;
    EXPECT_EQ(s.QueryUsbList(), ZAMO_SUCCESS) << "the session after the other program's attempt";

    s.ExpectDataIntact();
    s.CloseAndExpectNoThreadsLeft();
}

int main(int argc, char** argv) {
    bool bListing = false;
    for (int i = 1; i < argc; ++i) bListing = bListing || std::string_view(argv[i]) == "--gtest_list_tests";
    if (!bListing && std::getenv("VEXAL_USBFS_SIM_DIR") == nullptr) {
        char self[4096];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return 2;
        self[n] = '\0';
        std::vector<char*> args{const_cast<char*>(USBFS_EMULATOR), const_cast<char*>("--"), self};
        args.insert(args.end(), argv + 1, argv + argc);
        args.push_back(nullptr);
        ::execv(USBFS_EMULATOR, args.data());
        return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
