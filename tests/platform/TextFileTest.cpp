// Files that may hold secrets (backups): private from the first byte, whole
// or not at all, and never written through a link someone planted.
#include "platform/TextFile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

using namespace vexal::platform;

namespace {

// A folder of its own, removed with what is left in it.
class CFolder {
public:
    CFolder() {
        std::string strTemplate = ::testing::TempDir() + "textfile-XXXXXX";
        m_strPath = ::mkdtemp(strTemplate.data());
    }
    ~CFolder() {
        for (const auto& strName : Names()) ::unlink((m_strPath + "/" + strName).c_str());
        ::rmdir(m_strPath.c_str());
    }
    std::string operator/(const std::string& strName) const { return m_strPath + "/" + strName; }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        if (DIR* pDir = ::opendir(m_strPath.c_str())) {
            while (const dirent* pEntry = ::readdir(pDir))
                if (std::string(pEntry->d_name) != "." && std::string(pEntry->d_name) != "..")
                    names.insert(pEntry->d_name);
            ::closedir(pDir);
        }
        return names;
    }

private:
    std::string m_strPath;
};

// The permission bits of a file itself (a link is not followed).
mode_t ModeOf(const std::string& strPath) {
    struct stat info {};
    EXPECT_EQ(::lstat(strPath.c_str(), &info), 0) << strPath;
    return S_ISREG(info.st_mode) ? info.st_mode & 07777 : 0170000;  // 0170000: not a regular file
}

std::string Content(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Make(const std::string& strPath, const std::string& strText, mode_t mode) {
    std::ofstream(strPath, std::ios::binary) << strText;
    ASSERT_EQ(::chmod(strPath.c_str(), mode), 0);
}

// umask 0 for a test, so that a mode the file gets is the writer's own.
class CNoUmask {
public:
    CNoUmask() : m_old(::umask(0)) {}
    ~CNoUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

}  // namespace

TEST(TextFileTest, AWrittenFileIsPrivateAndKeepsTheStricterModeOfTheFileItReplaces) {
    const CNoUmask noUmask;
    const CFolder folder;
    std::string e;
    ASSERT_TRUE(WriteTextFile(folder / "new.json", "{}\n", e)) << e;
    EXPECT_EQ(ModeOf(folder / "new.json"), 0600u);
    EXPECT_EQ(Content(folder / "new.json"), "{}\n");
    for (const auto& [oldMode, newMode] :
         {std::pair<mode_t, mode_t>{0644, 0600}, {0640, 0600}, {0400, 0400}, {0200, 0200}, {0666, 0600}}) {
        Make(folder / "old.json", "old", oldMode);
        ASSERT_TRUE(WriteTextFile(folder / "old.json", "new", e)) << e;
        EXPECT_EQ(ModeOf(folder / "old.json"), newMode) << std::oct << oldMode;
        EXPECT_EQ(Content(folder / "old.json"), "new");
    }
    // A failed write (the name is a folder) leaves no temporary file behind.
    ASSERT_EQ(::mkdir((folder / "folder").c_str(), 0700), 0);
    EXPECT_FALSE(WriteTextFile(folder / "folder", "x", e));
    EXPECT_EQ(e.rfind(folder / "folder: cannot write: ", 0), 0u) << e;
    ::rmdir((folder / "folder").c_str());
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"new.json", "old.json"}));
}

TEST(TextFileTest, ASharedFileIsReadableByAllUnlessTheFileItReplacesWasStricter) {
    const CNoUmask noUmask;
    const CFolder folder;
    std::string e;
    ASSERT_TRUE(WriteTextFile(folder / "targets.json", "[]\n", e, EFileAccess::Shared)) << e;
    EXPECT_EQ(ModeOf(folder / "targets.json"), 0644u);
    Make(folder / "targets.json", "old", 0640);
    ASSERT_TRUE(WriteTextFile(folder / "targets.json", "[]\n", e, EFileAccess::Shared)) << e;
    EXPECT_EQ(ModeOf(folder / "targets.json"), 0640u);
    EXPECT_EQ(Content(folder / "targets.json"), "[]\n");
    // A shared file replaced by a private one does not lend it its openness.
    Make(folder / "targets.json", "old", 0644);
    ASSERT_TRUE(WriteTextFile(folder / "targets.json", "secret", e)) << e;
    EXPECT_EQ(ModeOf(folder / "targets.json"), 0600u);
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"targets.json"}));
}

TEST(TextFileTest, ALinkPlantedAtTheFileOrATemporaryNameIsNeverFollowed) {
    const CFolder folder;
    Make(folder / "victim", "precious", 0644);
    std::string e;
    // A link in the file's place is replaced, not written through.
    ASSERT_EQ(::symlink((folder / "victim").c_str(), (folder / "hub.json").c_str()), 0);
    ASSERT_TRUE(WriteTextFile(folder / "hub.json", "secret", e)) << e;
    EXPECT_EQ(Content(folder / "victim"), "precious");
    EXPECT_EQ(ModeOf(folder / "victim"), 0644u);
    EXPECT_EQ(ModeOf(folder / "hub.json"), 0600u);
    EXPECT_EQ(Content(folder / "hub.json"), "secret");
    // Links at the temporary names a writer could guess (the one this
    // writer once used among them) are never written through or removed.
    const std::string strGuessed = folder / ("hub.json.tmp" + std::to_string(::getpid()));
    ASSERT_EQ(::symlink((folder / "victim").c_str(), strGuessed.c_str()), 0);
    ASSERT_EQ(::symlink((folder / "absent").c_str(), (folder / ".hub.json.tmp").c_str()), 0);
    ASSERT_TRUE(WriteTextFile(folder / "hub.json", "secret 2", e)) << e;
    EXPECT_EQ(Content(folder / "victim"), "precious");
    EXPECT_EQ(Content(folder / "hub.json"), "secret 2");
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"victim", "hub.json", strGuessed.substr(strGuessed.rfind('/') + 1),
                                                     ".hub.json.tmp"}));
}
