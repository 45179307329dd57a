// Choosing among GLX configurations: requested buffers are minimums, unrequested ones best absent.
#include <gtest/gtest.h>
// gtest before the X headers: their macros (None, Bool) break it otherwise.
#include "graphics/glx/fbconfig.h"
#include "graphics/glx/xrandr_modes.h"
#include <corvex/graphics/graphics.h>

using namespace corvex;
using corvex::glx::ChooseConfig;
using corvex::glx::TConfigTraits;

namespace {
TConfigTraits Config(int visualDepth, int alpha, int depth, int stencil, int accum, bool doubleBuffer, int samples = 0,
                     unsigned long visual = 0x21) {
    TConfigTraits t;
    t.visualDepth = visualDepth;
    t.visualId = visual;
    t.red = t.green = t.blue = 8;
    t.alpha = alpha;
    t.depth = depth;
    t.stencil = stencil;
    t.accum = accum;
    t.doubleBuffer = doubleBuffer;
    t.samples = samples;
    return t;
}
}  // namespace

TEST(ChooseConfig, RequestedBuffersAreMinimumsAndOthersBestAbsent) {
    const std::vector<TConfigTraits> configs = {
        Config(32, 8, 24, 8, 0, true),      // 0: translucent visual, everything
        Config(24, 0, 24, 8, 0, true),      // 1: depth and stencil
        Config(24, 0, 0, 0, 0, true),       // 2: bare double-buffered
        Config(24, 0, 0, 0, 0, false),      // 3: bare single-buffered
        Config(24, 8, 16, 0, 64, true),     // 4: alpha, small depth, accumulation
        Config(24, 0, 0, 0, 0, true, 4),    // 5: multisampled
        Config(24, 8, 24, 8, 0, true),      // 6: alpha on a plain visual
    };
    EXPECT_EQ(ChooseConfig(configs, GFX_DOUBLE_BUFFER, 24), 2);
    EXPECT_EQ(ChooseConfig(configs, 0, 24), 3);  // single-buffered when not asked
    EXPECT_EQ(ChooseConfig(configs, GFX_DOUBLE_BUFFER | GFX_DEPTH_BUFFER, 24), 1);
    EXPECT_EQ(ChooseConfig(configs, GFX_DOUBLE_BUFFER | GFX_ALPHA_BITS | GFX_DEPTH_BUFFER, 24), 6);
    EXPECT_EQ(ChooseConfig(configs, GFX_ACCUM_BUFFER, 24), 4);
    // Not the translucent visual; the smallest unasked-for depth buffer first.
    EXPECT_EQ(ChooseConfig(configs, GFX_DOUBLE_BUFFER | GFX_ALPHA_BITS, 24), 4);
}

TEST(ChooseConfig, NothingFitsOrOnlyTheGivenVisual) {
    const std::vector<TConfigTraits> configs = {Config(24, 0, 24, 0, 0, false, 0, 0x21),
                                                Config(24, 0, 0, 0, 0, true, 0, 0x22)};
    EXPECT_EQ(ChooseConfig(configs, GFX_STENCIL_BUFFER, 24), -1);
    EXPECT_EQ(ChooseConfig(configs, GFX_DOUBLE_BUFFER | GFX_DEPTH_BUFFER, 24), -1);
    EXPECT_EQ(ChooseConfig(configs, 0, 24, 0x22), 1);
    EXPECT_EQ(ChooseConfig(configs, 0, 24, 0x23), -1);
    EXPECT_EQ(ChooseConfig({}, 0, 24), -1);
    TConfigTraits colourless = Config(24, 0, 0, 0, 0, true);
    colourless.red = 0;  // a configuration without a visual
    EXPECT_EQ(ChooseConfig({colourless}, 0, 24), -1);
}

TEST(DisplayModeRate, FromTheModeLineTimings) {
    using corvex::glx::RefreshRate;
    EXPECT_EQ(RefreshRate(148500000, 2200, 1125, false, false), 60);  // 1920x1080
    EXPECT_EQ(RefreshRate(74250000, 2200, 1125, true, false), 60);    // 1080i: fields per second
    EXPECT_EQ(RefreshRate(25175000, 800, 525, false, false), 60);     // 59.94 rounds to 60
    EXPECT_EQ(RefreshRate(25175000, 800, 525, false, true), 30);      // each line drawn twice
    EXPECT_EQ(RefreshRate(31500000, 840, 500, false, false), 75);
    EXPECT_EQ(RefreshRate(0, 800, 525, false, false), 0);             // unknown timings
    EXPECT_EQ(RefreshRate(25175000, 0, 525, false, false), 0);
}
