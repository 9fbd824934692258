// The link watch for a normal user, in a network namespace of the test's own
// (the host's ping_group_range is never touched): with the unprivileged ICMP
// datagram socket allowed, and with it closed, where only the system's ping
// program (which carries the capability) can reach the hub.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

struct SRun {
    int nStatus = -1;
    std::string strOutput;
};

SRun RunShell(const std::string& strCommand) {
    SRun run;
    FILE* p = popen(strCommand.c_str(), "r");
    if (p == nullptr) return run;
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr) run.strOutput += buf;
    const int status = pclose(p);
    run.nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string ProbeAsNobody(const std::string& strProbe, const std::string& strRange) {
    return "unshare -n /bin/sh -c '" + strProbe + " --lo-up && echo \"" + strRange +
           "\" > /proc/sys/net/ipv4/ping_group_range && "
           "exec setpriv --reuid=65534 --regid=65534 --clear-groups " +
           strProbe + "' 2>&1";
}

class UnprivilegedLinkWatch : public ::testing::Test {
protected:
    void SetUp() override {
        const SRun probe = RunShell("unshare -n true 2>&1");
        if (probe.nStatus != 0) GTEST_SKIP() << "unshare -n is not permitted on this machine: " << probe.strOutput;
        // The build tree may sit where nobody cannot reach it: run a copy
        // from a folder of this test's own that everyone may enter.
        std::string strTemplate = (fs::temp_directory_path() / "vexal-probe-XXXXXX").string();
        ASSERT_NE(mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
        fs::permissions(m_dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        m_strProbe = (m_dir / "net_link_probe").string();
        fs::copy_file(NET_LINK_PROBE, m_strProbe);
        fs::permissions(m_strProbe, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    }
    void TearDown() override {
        std::error_code ec;
        if (!m_dir.empty()) fs::remove_all(m_dir, ec);
    }

    fs::path m_dir;
    std::string m_strProbe;
};

}  // namespace

TEST_F(UnprivilegedLinkWatch, DatagramSocketWhenPingGroupRangeIsOpen) {
    const SRun run = RunShell(ProbeAsNobody(m_strProbe, "0 2147483647"));
    EXPECT_EQ(run.nStatus, 0) << run.strOutput;
    EXPECT_NE(run.strOutput.find("uid=65534 path=datagram socket"), std::string::npos) << run.strOutput;
    EXPECT_NE(run.strOutput.find("link=2001 read=2"), std::string::npos) << run.strOutput;
}

TEST_F(UnprivilegedLinkWatch, PingProgramWhenPingGroupRangeIsClosed) {
    const SRun run = RunShell(ProbeAsNobody(m_strProbe, "1 0"));
    EXPECT_EQ(run.nStatus, 0) << run.strOutput;
    EXPECT_NE(run.strOutput.find("uid=65534 path=ping program"), std::string::npos) << run.strOutput;
    EXPECT_NE(run.strOutput.find("link=2001 read=2"), std::string::npos) << run.strOutput;
}
