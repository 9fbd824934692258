// Identifiers are process-wide: this program checks the first two on its own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "include/zamoport.h"

TEST(ExportIds, FirstPortsOfAProcessGet10000And10001) {
    void* h = dlopen(ZAMOPORT_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    auto create = reinterpret_cast<uint32_t (*)(const char16_t*, uint32_t)>(dlsym(h, "CreatePort"));
    auto remove = reinterpret_cast<uint32_t (*)(uint32_t)>(dlsym(h, "RemovePort"));
    ASSERT_TRUE(create && remove);
    EXPECT_EQ(create(u"LPT1", 0), 10000u);
    EXPECT_EQ(create(u"USB001:", 0), 10001u);
    EXPECT_EQ(remove(10000), 0u);
    EXPECT_EQ(create(u"LPT1", 0), 10002u);
    remove(10001);
    remove(10002);
}
