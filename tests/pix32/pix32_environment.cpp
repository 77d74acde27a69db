// Start-up of the bitmap library for every test of this executable, as the program does it.
#include <gtest/gtest.h>

#include "pix32/Pix32_Startup.h"

namespace {

class Pix32Environment : public ::testing::Environment {
public:
    void SetUp() override { pix32::StartupPix32(); }
    void TearDown() override { pix32::ShutdownPix32(); }
};

[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new Pix32Environment);

}  // namespace
