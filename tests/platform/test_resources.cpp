#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/kernel.h"

using namespace win;

namespace {

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ResourceBytes(HMODULE module, const char* name, const char* type) {
    HRSRC r = FindResourceA(module, name, type);
    if (!r) return "<missing>";
    HGLOBAL g = LoadResource(module, r);
    const char* p = static_cast<const char*>(LockResource(g));
    if (!p) return "<unlocked>";
    return std::string(p, SizeofResource(module, r));
}

}  // namespace

TEST(Resources, EmbeddedFilesAreFoundByStringAndIntegerKeys) {
    const std::string greeting = ReadWholeFile(LUMETRA_TEST_DATA "/kernel/hello.txt");
    const std::string random = ReadWholeFile(LUMETRA_TEST_DATA "/kernel/random.bin");
    ASSERT_EQ(random.size(), 5001u);
    struct Case {
        HMODULE module;
        const char* name;
        const char* type;
        const std::string* expected;
    } cases[] = {
        {nullptr, "Greeting", "DLL", &greeting},
        {HInstance(), "GREETING", "dll", &greeting},
        {nullptr, MAKEINTRESOURCEA(101), RT_RCDATA, &random},
        {nullptr, "#101", "#10", &random},
    };
    for (const Case& c : cases) {
        std::string got = ResourceBytes(c.module, c.name, c.type);
        EXPECT_EQ(got.size(), c.expected->size()) << (IS_INTRESOURCE(c.name) ? "(id)" : c.name);
        EXPECT_TRUE(got == *c.expected) << (IS_INTRESOURCE(c.name) ? "(id)" : c.name);
    }
    EXPECT_EQ(ResourceBytes(nullptr, "empty", "MY TYPE"), "");
    EXPECT_EQ(FindResourceA(nullptr, "Greeting", "DLL"), FindResourceA(HInstance(), "greeting", "Dll"));
}

TEST(Resources, MissingOnesGiveTheRightErrors) {
    struct Case {
        const char* name;
        const char* type;
        DWORD error;
    } cases[] = {
        {"Nope", "DLL", ERROR_RESOURCE_NAME_NOT_FOUND},
        {"Greeting", "NOTYPE", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {MAKEINTRESOURCEA(102), RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"101", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},  // a string name, not the id
        {MAKEINTRESOURCEA(101), RT_ICON, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"Greeting", "#99", ERROR_RESOURCE_TYPE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(FindResourceA(nullptr, c.name, c.type), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    SetLastError(0);
    EXPECT_EQ(FindResourceA(GetModuleHandleA("kernel32"), "Greeting", "DLL"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
    EXPECT_EQ(LockResource(nullptr), nullptr);
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
}

TEST(Resources, AnEmbeddedModuleWrittenToTheTempFolderLoads) {
    const std::string bytes = ResourceBytes(nullptr, "TestModule", "DLL");
    ASSERT_GT(bytes.size(), 1000u);
    char dir[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof(dir), dir), 0u);
    std::string path = std::string(dir) + "lumetra-res-" + std::to_string(getpid()) + "-Module.dll";
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_TRUE(CloseHandle(f));

    HMODULE m = LoadLibraryA(path.c_str());
    ASSERT_NE(m, nullptr);
    auto add = reinterpret_cast<int (*)(int, int)>(GetProcAddress(m, "test_module_add"));
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(40, 2), 42);
    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}
