// The link watch for a normal user, in a network namespace of the test's own
// (the host's ping_group_range is never touched): with the unprivileged ICMP
// datagram socket allowed, and with it closed, where only the system's ping
// program (which carries the capability) can reach the hub.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct SRun {
    int nStatus = -1;
    std::string strOutput;
};

SRun RunShell(const std::string& strCommand) {
    SRun run;
    FILE* p = popen(strCommand.c_str(), "r");
    if (p == nullptr)
        return run;
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr)
        run.strOutput += buf;
    const int status = pclose(p);
    run.nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string ProbeAsNobody(const std::string& strRange) {
    const std::string strProbe = NET_LINK_PROBE;
    return "unshare -n /bin/sh -c '" + strProbe + " --lo-up && echo \"" + strRange +
           "\" > /proc/sys/net/ipv4/ping_group_range && "
           "exec setpriv --reuid=65534 --regid=65534 --clear-groups " + strProbe + "' 2>&1";
}

class UnprivilegedLinkWatch : public ::testing::Test {
protected:
    void SetUp() override {
        const SRun probe = RunShell("unshare -n true 2>&1");
        if (probe.nStatus != 0)
            GTEST_SKIP() << "unshare -n is not permitted on this machine: " << probe.strOutput;
    }
};

}  // namespace

TEST_F(UnprivilegedLinkWatch, DatagramSocketWhenPingGroupRangeIsOpen) {
    const SRun run = RunShell(ProbeAsNobody("0 2147483647"));
    EXPECT_EQ(run.nStatus, 0) << run.strOutput;
    EXPECT_NE(run.strOutput.find("uid=65534 path=datagram socket"), std::string::npos) << run.strOutput;
    EXPECT_NE(run.strOutput.find("link=2001 read=2"), std::string::npos) << run.strOutput;
}

TEST_F(UnprivilegedLinkWatch, PingProgramWhenPingGroupRangeIsClosed) {
    const SRun run = RunShell(ProbeAsNobody("1 0"));
    EXPECT_EQ(run.nStatus, 0) << run.strOutput;
    EXPECT_NE(run.strOutput.find("uid=65534 path=ping program"), std::string::npos) << run.strOutput;
    EXPECT_NE(run.strOutput.find("link=2001 read=2"), std::string::npos) << run.strOutput;
}
