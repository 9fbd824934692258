#include <gtest/gtest.h>

#include "platform/DynLib.h"
#include "platform/Process.h"

using namespace vexal::platform;

TEST(DynLib, WindowsNamesMapToSharedObjects) {
    EXPECT_EQ(PlatformLibraryName("zamoport.dll"), "libzamoport.so");
    EXPECT_EQ(PlatformLibraryName("ZamoCfg.DLL"), "libZamoCfg.so");
    EXPECT_EQ(PlatformLibraryName("ZamoCfg"), "libZamoCfg.so");
    EXPECT_EQ(PlatformLibraryName("/opt/x/libfoo.so"), "/opt/x/libfoo.so");
}

TEST(DynLib, MissingLibraryFailsWithMessage) {
    CDynLib lib;
    EXPECT_FALSE(lib.Load("no_such_library_here.dll", nullptr));
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_FALSE(lib.LastError().empty());
    EXPECT_EQ(lib.Symbol("anything"), nullptr);
}

TEST(DynLib, SystemLibraryResolvesSymbols) {
    CDynLib lib;
    ASSERT_TRUE(lib.Load("libm.so.6", nullptr)) << lib.LastError();
    EXPECT_NE(lib.Symbol("cos"), nullptr);
    EXPECT_EQ(lib.Symbol("no_such_symbol_xyz"), nullptr);
    lib.Unload();
    EXPECT_FALSE(lib.IsLoaded());
}

TEST(Process, HostProgramNameIsOwnBaseName) { EXPECT_EQ(HostProgramName(), u"platform_tests"); }
