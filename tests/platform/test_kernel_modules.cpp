#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/kernel.h"

using namespace win;

namespace {

class Modules : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/lumetra-modules-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        RestoreBuiltinModules();
        SetClockMode(ClockMode::Real);
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
    std::string dir_;
};

int Answer() { return 42; }

}  // namespace

TEST_F(Modules, ASharedObjectLoadsAndCallsTheExecutablesClock) {
    SetClockMode(ClockMode::Virtual);
    Sleep(123);
    HMODULE m = LoadLibraryA(LUMETRA_TEST_MODULE);
    ASSERT_NE(m, nullptr);
    EXPECT_GE(reinterpret_cast<uintptr_t>(m), 0x10000u);
    auto add = reinterpret_cast<int (*)(int, int)>(GetProcAddress(m, "test_module_add"));
    auto clock = reinterpret_cast<int64_t (*)()>(GetProcAddress(m, "test_module_clock"));
    ASSERT_NE(add, nullptr);
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(add(2, 3), 5);
    EXPECT_EQ(clock(), 123 * kTicksPerMs);

    char path[PATH_MAX];
    char real[PATH_MAX];
    ASSERT_NE(realpath(LUMETRA_TEST_MODULE, real), nullptr);
    EXPECT_EQ(GetModuleFileNameA(m, path, sizeof(path)), std::strlen(real));
    EXPECT_STREQ(path, real);
    EXPECT_TRUE(FreeLibrary(m));
}

TEST_F(Modules, FailuresGiveModuleAndProcedureNotFound) {
    std::string notElf = WriteFile("Broken.dll", "this is not a shared object at all");
    std::string missing = dir_ + "/Missing.dll";
    for (const char* name : {missing.c_str(), notElf.c_str(), "DWMAPI.DLL", "uxtheme.dll", "TWAIN_32.DLL", ""}) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryA(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND) << name;
    }
    HMODULE m = LoadLibraryA(LUMETRA_TEST_MODULE);
    ASSERT_NE(m, nullptr);
    for (const char* entry : {"test_module_missing", "Test_Module_Add", MAKEINTRESOURCEA(1)}) {
        SetLastError(0);
        EXPECT_EQ(GetProcAddress(m, entry), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    }
    EXPECT_TRUE(FreeLibrary(m));
}

TEST_F(Modules, ReferencesAreCountedAndTheLastFreeUnloads) {
    HMODULE first = LoadLibraryA(LUMETRA_TEST_MODULE);
    HMODULE second = LoadLibraryA(LUMETRA_TEST_MODULE);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(GetModuleHandleA("testmodule"), first);
    EXPECT_EQ(GetModuleHandleA("TestModule.dll"), first);
    auto calls = reinterpret_cast<int (*)()>(GetProcAddress(first, "test_module_calls"));
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls(), 1);
    EXPECT_EQ(calls(), 2);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(GetProcAddress(first, "test_module_calls"), nullptr);  // one reference left
    EXPECT_TRUE(FreeLibrary(first));
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(first, "test_module_calls"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(GetModuleHandleA("TestModule.dll"), nullptr);
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    // Loaded again: a new handle, and the module starts afresh.
    HMODULE again = LoadLibraryA(LUMETRA_TEST_MODULE);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, first);
    calls = reinterpret_cast<int (*)()>(GetProcAddress(again, "test_module_calls"));
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls(), 1);
    EXPECT_TRUE(FreeLibrary(again));
}

TEST_F(Modules, BuiltinModulesByNameAndByMarkerFile) {
    HMODULE user = LoadLibraryA("User32.dll");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(GetModuleHandleA("USER32"), user);
    EXPECT_EQ(GetProcAddress(user, "SetLayeredWindowAttributes"), nullptr);
    EXPECT_TRUE(FreeLibrary(user));
    EXPECT_EQ(GetModuleHandleA("user32.dll"), user);  // built-in modules stay

    HMODULE kernel = LoadLibraryA("Kernel32.dll");
    auto status = reinterpret_cast<BOOL (*)(MEMORYSTATUSEX*)>(GetProcAddress(kernel, "GlobalMemoryStatusEx"));
    ASSERT_NE(status, nullptr);
    MEMORYSTATUSEX ms;
    EXPECT_TRUE(status(&ms));
    EXPECT_NE(GetProcAddress(kernel, "GetLogicalProcessorInformation"), nullptr);

    std::string marker(kBuiltinModuleMarker, 8);
    std::string byMarker = WriteFile("Kernel.dll", marker + "kernel32");
    std::string unknown = WriteFile("Other.dll", marker + "nosuchmodule");
    EXPECT_EQ(LoadLibraryA(byMarker.c_str()), kernel);
    EXPECT_EQ(LoadLibraryA(unknown.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(Modules, TestHooksRemoveModulesAndEntryPoints) {
    RegisterBuiltinModule("LumTest.dll", {{"Answer", reinterpret_cast<void*>(&Answer)}, {"Other", nullptr}});
    HMODULE m = LoadLibraryA("lumtest");
    ASSERT_NE(m, nullptr);
    auto answer = reinterpret_cast<int (*)()>(GetProcAddress(m, "Answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);

    RemoveBuiltinExport("LUMTEST", "Answer");
    EXPECT_EQ(GetProcAddress(m, "Answer"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    RemoveBuiltinModule("lumtest.DLL");
    EXPECT_EQ(LoadLibraryA("LumTest.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(GetModuleHandleA("lumtest"), nullptr);

    RestoreBuiltinModules();
    EXPECT_EQ(LoadLibraryA("LumTest.dll"), m);
    EXPECT_NE(GetProcAddress(m, "Answer"), nullptr);
}

TEST_F(Modules, OwnModuleAndItsPath) {
    EXPECT_EQ(GetModuleHandleA(nullptr), HInstance());
    EXPECT_GE(reinterpret_cast<uintptr_t>(HInstance()), 0x10000u);
    char exe[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    ASSERT_GT(n, 0);

    char buf[PATH_MAX];
    EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof(buf)), static_cast<DWORD>(n));
    EXPECT_STREQ(buf, exe);
    EXPECT_EQ(GetModuleFileNameA(HInstance(), buf, sizeof(buf)), static_cast<DWORD>(n));
    EXPECT_EQ(buf[0], '/');

    char small[6];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof(small)), sizeof(small));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(small), std::string(exe, 5));
}
