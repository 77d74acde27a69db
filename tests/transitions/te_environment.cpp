// The headless window layer, the class library's application objects and the transition
// library are started once for the whole test program.
#include <gtest/gtest.h>

#include "classlib/Forms.h"
#include "platform/clock.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"
#include "transitions/teCore.h"

namespace {

class TransitionsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        win::SetClockMode(win::ClockMode::Virtual);
        win::test::ResetUser(640, 480);
        cl::ControlsStartUp();
        te::StartUp();
    }
    void TearDown() override {
        te::ShutDown();
        cl::ControlsShutDown();
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TransitionsEnvironment);

}  // namespace
