// The library as a client sees it: loaded with dlopen by name, exactly the
// 18 exported names, and the unknown-port results through the C functions.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "include/zamoport.h"

namespace {
struct CLib {
    CLib() { h = dlopen(ZAMOPORT_FILE, RTLD_NOW | RTLD_LOCAL); }
    ~CLib() = default;  // never unloaded, as the configuration library does
    template <typename F>
    F Get(const char* name) {
        return reinterpret_cast<F>(dlsym(h, name));
    }
    void* h = nullptr;
};

std::set<std::string> ExpectedNames() {
    std::set<std::string> names;
    std::ifstream in(ZAMOPORT_EXPORT_LIST);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) names.insert(line);
    return names;
}
}  // namespace

TEST(Exports, ExactlyTheEighteenNames) {
    const std::string cmd = std::string("nm -D --defined-only ") + ZAMOPORT_FILE;
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        const auto pos = s.rfind(' ');
        if (pos != std::string::npos) names.insert(s.substr(pos + 1));
    }
    ASSERT_EQ(pclose(pipe), 0);
    const auto expected = ExpectedNames();
    EXPECT_EQ(expected.size(), 18u);
    EXPECT_EQ(names, expected);
}

TEST(Exports, UnknownPortThroughTheCFunctions) {
    CLib lib;
    ASSERT_NE(lib.h, nullptr) << dlerror();
    auto getAsb = lib.Get<uint32_t (*)(uint32_t, uint32_t)>("GetAsbMode");
    auto readAvail = lib.Get<uint32_t (*)(uint32_t, uint32_t)>("ReadAvailable");
    auto create = lib.Get<uint32_t (*)(const char16_t*, uint32_t)>("CreatePort");
    auto remove = lib.Get<uint32_t (*)(uint32_t)>("RemovePort");
    auto setOption = lib.Get<uint32_t (*)(DeviceOption, uint32_t, uint32_t)>("SetDeviceOption");
    auto open = lib.Get<uint32_t (*)(uint32_t, uint32_t)>("OpenPort");
    ASSERT_TRUE(getAsb && readAvail && create && remove && setOption && open);
    EXPECT_EQ(getAsb(1, 0), 1000u);
    EXPECT_EQ(readAvail(1, 0), 0u);
    EXPECT_EQ(create(nullptr, 0), 0u);
    EXPECT_EQ(create(u"", 0), 0u);
    const uint32_t id = create(u"LPT1", 0);
    EXPECT_GE(id, 10000u);
    EXPECT_EQ(create(u"LPT1", 0), id);
    EXPECT_EQ(getAsb(id, 0), 0u);
    EXPECT_EQ(remove(id), 1u);
    EXPECT_EQ(remove(id), 0u);
    EXPECT_EQ(remove(id), 0u);
}
