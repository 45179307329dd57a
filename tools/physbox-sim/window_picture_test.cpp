// physbox-sim's picture of a run against the same run drawn by the same code in a window under
// Xvfb: the file it writes offscreen must hold exactly the finished frame the window shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <corvex/graphics/gl_graphics.h>
#include <corvex/pixmap/png.h>
#include <corvex/system/hook.h>
#include <corvex/system/random.h>
#include "tools/physbox-sim/pictures.h"
#include "tools/physbox-sim/script.h"

namespace corvex {
namespace {

const std::vector<std::string> kArgs = {"--seed", "5",     "--frames", "75",      "--spawn-every",
                                        "6",      "--mouse", "420,200", "--drag", "40-60"};

Ref<TPixmap> g_finished;

// Runs at the start of Flip, when the frame is finished and not yet presented.
Ref<TObject> GrabFinished(int32_t, const Ref<TObject>&, const Ref<TObject>&) {
    g_finished = GrabPixmap(0, 0, SANDBOX_WIDTH, SANDBOX_HEIGHT);
    return nullptr;
}

TEST(WindowPictureTest, TheWrittenPictureIsTheFrameTheWindowShows) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "needs a display for the window";
    const std::string out = std::string(OUTPUT_DIR) + "/window_compare.png";
    std::remove(out.c_str());
    std::string command = "env -u DISPLAY '" PHYSBOX_SIM "'";
    for (const std::string& a : kArgs) command += " " + a;
    command += " --picture '" + out + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    SimOptions o;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(kArgs, o, error)) << error;
    RunPictures run;
    SeedRandom(o.seed);
    ASSERT_TRUE(run.Open(FromUtf8(BODY_IMAGE), error, GLGraphicsDriver())) << error;
    EmitRunStart(o);
    for (int32_t frame = 1; frame <= o.frames; ++frame) {
        EmitBeforeFrame(o, frame);
        if (frame == o.frames) InstallHook(FlipHookId(), GrabFinished, nullptr, 0);
        run.Frame();
        EmitAfterFrame(o, frame);
    }
    UninstallHook(FlipHookId(), GrabFinished, nullptr);
    EXPECT_EQ(run.world().BoxCounter - 2, 12);
    run.Close();

    Ref<TPixmap> written = LoadPngPixmap(FromUtf8(out));
    ASSERT_TRUE(written) << out;
    ASSERT_TRUE(g_finished);
    ASSERT_EQ(written->width, g_finished->width);
    ASSERT_EQ(written->height, g_finished->height);
    int differing = 0;
    for (int y = 0; y < written->height; ++y)
        for (int x = 0; x < written->width; ++x)
            if ((written->ReadPixel(x, y) & 0xFFFFFF) != (g_finished->ReadPixel(x, y) & 0xFFFFFF) && ++differing <= 5)
                ADD_FAILURE() << "(" << x << ", " << y << ") written " << std::hex << written->ReadPixel(x, y)
                              << ", window " << g_finished->ReadPixel(x, y);
    EXPECT_EQ(differing, 0);
    g_finished = nullptr;
}

}  // namespace
}  // namespace corvex
