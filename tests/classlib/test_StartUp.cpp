#include <gtest/gtest.h>

#include <unistd.h>

#include "classlib/Forms.h"
#include "classlib/StartUp.h"
#include "platform/kernel.h"

TEST(StartUp, CommandLineAndApplicationObjects) {
    setenv("LUMETRA_DISPLAY", "headless", 1);
    const char* argv[] = {"prog", "/s", "extra"};
    cl::StartUp(3, const_cast<char**>(argv));
    EXPECT_EQ(cl::ParamCount(), 2);
    EXPECT_EQ(cl::ParamStr(1), "/s");
    EXPECT_EQ(cl::ParamStr(2), "extra");
    EXPECT_EQ(cl::ParamStr(3), "");
    EXPECT_EQ(cl::ParamStr(-1), "");
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self);
    ASSERT_GT(n, 0);
    EXPECT_EQ(cl::ParamStr(0), std::string(self, n));
    EXPECT_EQ(cl::MainThreadID(), win::GetCurrentThreadId());
    ASSERT_NE(cl::Application, nullptr);
    ASSERT_NE(cl::Screen, nullptr);
    cl::ShutDown();
    EXPECT_EQ(cl::Application, nullptr);
}
