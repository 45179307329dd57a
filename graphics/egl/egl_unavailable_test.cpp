// A machine where the offscreen driver cannot work: a clear reason, Null contexts, no modes,
// and never a crash. Each case starts from a driver that has not tried EGL yet.
#include <gtest/gtest.h>

#include <corvex/graphics/egl_graphics.h>
#include "graphics/egl/native.h"
#include "graphics/egl/egl_module.h"

namespace corvex {
namespace {

class EGLUnavailableTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartEGLGraphicsModule(); }
    void SetUp() override {
        egl::EGLModule().Reset();
        SelectGraphicsDriver(nullptr, 0);
        SelectGraphicsDriver(EGLGraphicsDriver(), GFX_DOUBLE_BUFFER);
    }
    void TearDown() override { egl::EGLModule().Reset(); }

    void ExpectNothingCanBeMade(const std::string& reason) {
        EXPECT_FALSE(EGLGraphicsAvailable());
        EXPECT_NE(ToUtf8(EGLGraphicsProblem()).find(reason), std::string::npos) << ToUtf8(EGLGraphicsProblem());
        EXPECT_FALSE(CreateGraphics(64, 64, 0, 0, 0));
        EXPECT_FALSE(OpenGraphics(64, 64, 0, 60, 0));
        EXPECT_FALSE(CurrentGraphics());
        EXPECT_EQ(GraphicsModeCount(), 0);
        Flip(0);  // with nothing current: nothing happens
        Flip(-1);
        EXPECT_FALSE(EGLGraphicsAvailable()) << "a second try must give the same answer";
    }
};

TEST_F(EGLUnavailableTest, APlatformEGLDoesNotHave) {
    egl::EGLModule().platform = 0x7F01;  // no such platform
    ExpectNothingCanBeMade("no display for the platform");
}

TEST_F(EGLUnavailableTest, InitialisationThatFails) {
    egl::EGLModule().failInitialise = true;
    ExpectNothingCanBeMade("eglInitialize failed");
}

}  // namespace
}  // namespace corvex
