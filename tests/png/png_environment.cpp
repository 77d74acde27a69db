// Start-up of the PNG picture unit for every test of this executable, as the program does it.
#include <gtest/gtest.h>

#include "png/pngpicture.h"

namespace {

class PngEnvironment : public ::testing::Environment {
public:
    void SetUp() override { png::StartupPngPicture(); }
    void TearDown() override { png::ShutdownPngPicture(); }
};

[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new PngEnvironment);

}  // namespace
