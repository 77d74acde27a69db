#include <gtest/gtest.h>

#include "platform/shell.h"
#include "platform/shell_testhooks.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"

using namespace win;

TEST(Shell, OpenIsRecordedHeadlessAndAnswersSuccess) {
    test::ResetUser(320, 240);
    test::ClearShellExecutes();
    struct Case {
        const char* verb;
        const char* file;
        intptr_t result;
    } cases[] = {{"open", "https://example.invalid/help", 42},
                 {nullptr, "/tmp/x.txt", 42},
                 {"OPEN", "a", 42},
                 {"print", "/tmp/x.txt", 31},
                 {"open", "", 2},
                 {"open", nullptr, 2}};
    for (const auto& c : cases) {
        auto r = reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, c.verb, c.file, nullptr, nullptr, 1));
        EXPECT_EQ(r, c.result) << (c.file ? c.file : "(null)");
    }
    auto records = test::ShellExecutes();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].operation, "open");
    EXPECT_EQ(records[0].file, "https://example.invalid/help");
    EXPECT_EQ(records[0].showCmd, 1);
    EXPECT_EQ(records[3].operation, "print");
}
