// End-to-end tests of the sandbox in a real window: each test starts the physbox executable on
// the display the test runs under, drives it with XTEST input and reads its screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "game/e2e/sandbox_process.h"
#include "game/e2e/screen_reading.h"
#include "game/e2e/screenshot_file.h"
#include "game/e2e/x_session.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kTitle = "Corvex Application";

// Start-up, frames and input are all much slower under the sanitizers and a software renderer.
#ifdef E2E_SANITIZED
constexpr double kSlow = 4.0;
#else
constexpr double kSlow = 1.0;
#endif

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// One running sandbox and a view of its window.
class Sandbox {
public:
    Sandbox(const std::string& executable, const std::string& workdir)
        : process(executable, workdir) {
        auto deadline = Clock::now() + std::chrono::duration<double>(30 * kSlow);
        while (!(window = x.FindViewableWindow(kTitle))) {
            if (!process.Running() || Clock::now() > deadline) {
                throw std::runtime_error("no window appeared; the sandbox wrote: " + process.StandardError());
            }
            Sleep(0.05);
        }
        area = x.ClientArea(window);
        ParkPointer();
        x.Focus(window);
        // Input is sent only once frames are being drawn, as a person would wait for the picture.
        if (!WaitFor([&](const Screenshot& s) { return BoxCounter(s).has_value(); }, 20)) {
            throw std::runtime_error("the window shows no box counter; the sandbox wrote: " + process.StandardError());
        }
        // The pointer entered before the window listened: move it once more so the sandbox sees it.
        ParkPointer();
    }

    // The pointer rests in the bottom-left corner, so the mouse line to (0, 0) or to a crate
    // never crosses the overlay text. It comes from well inside the window, with pauses: a
    // one-pixel nudge of a pointer already resting there (left by the case before) could reach a
    // program under Wine as no move at all, and its mouse line then crossed the text.
    void ParkPointer() {
        x.MovePointer(area.x + 400, area.y + 590);
        Sleep(0.05);
        x.MovePointer(area.x + 3, area.y + 590);
        Sleep(0.05);
        x.MovePointer(area.x + 2, area.y + 590);
    }

    Screenshot Shot() {
        last = x.Grab(area);
        return last;
    }

    // Polls the screen until check accepts a screenshot; false after seconds (times the slowness).
    bool WaitFor(const std::function<bool(const Screenshot&)>& check, double seconds) {
        auto deadline = Clock::now() + std::chrono::duration<double>(seconds * kSlow);
        do {
            if (check(Shot())) return true;
            Sleep(0.02);
        } while (Clock::now() < deadline);
        return false;
    }

    std::optional<int> BoxCounter(const Screenshot& s) const { return ReadNumber(s, 300, 1, "Box Counter! "); }
    std::optional<int> Points(const Screenshot& s) const { return ReadNumber(s, 1, 60, ""); }
    std::optional<int> Constraints(const Screenshot& s) const { return ReadNumber(s, 1, 80, ""); }

    // One Space press, then waits until the counter shows it, so every press lands in its own frame.
    bool DropBox(int expectedCount) {
        x.TapKey("space");
        return WaitFor([&](const Screenshot& s) { return BoxCounter(s) == expectedCount; }, 5);
    }

    // Waits until the crates stop moving: over a second their pixels' centroid and bounds move by
    // no more than floating crates bob in the water (a pixel or two).
    // Crates sliding against each other in the water can take most of a minute to settle.
    // The simulation keeps its 30 Hz pace in every build, so this wait does not scale with kSlow.
    bool WaitForRest(double seconds) {
        auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        WoodStats before = FindWood(Shot());
        while (Clock::now() < deadline) {
            Sleep(1.0);
            WoodStats now = FindWood(Shot());
            auto near = [](double a, double b, double by) { return std::abs(a - b) <= by; };
            if (now.count > 0 && near(now.cx, before.cx, 1.5) && near(now.cy, before.cy, 1.5) &&
                near(now.bounds.x, before.bounds.x, 3) && near(now.bounds.y, before.bounds.y, 3) &&
                near(now.bounds.width, before.bounds.width, 3) && near(now.bounds.height, before.bounds.height, 3)) {
                return true;
            }
            before = now;
        }
        return false;
    }

    SandboxProcess process;
    XSession x;
    unsigned long window = 0;
    Rect area;
    Screenshot last;
};

// CORVEX_E2E_PHYSBOX names another build of the sandbox to drive, such as the Windows one.
fs::path ExecutablePath() {
    const char* other = std::getenv("CORVEX_E2E_PHYSBOX");
    return other && *other ? other : PHYSBOX_EXE;
}

class Physbox : public ::testing::Test {
protected:
    // Started from a fresh directory that is not the executable's own.
    void SetUp() override { sandbox = std::make_unique<Sandbox>(ExecutablePath().string(), workdir.Path()); }

    void TearDown() override {
        if (HasFailure() && sandbox && sandbox->last.width) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            fs::path file = fs::path(E2E_OUTPUT_DIR) / (std::string(info->name()) + "-failure.png");
            if (SaveScreenshot(sandbox->last, file.string())) std::cerr << "Screenshot of the failure: " << file << "\n";
        }
        sandbox.reset();
    }

    TempDir workdir;
    std::unique_ptr<Sandbox> sandbox;
};

TEST_F(Physbox, OpensItsWindowWithTheStartingOverlayFromAnotherDirectory) {
    Sandbox& s = *sandbox;
    EXPECT_EQ(s.x.WindowTitle(s.window), kTitle);
    EXPECT_EQ(s.area.x, 32);
    EXPECT_EQ(s.area.y, 32);
    EXPECT_EQ(s.area.width, 800);
    EXPECT_EQ(s.area.height, 600);

    // Overlay: 6 points and 0 constraints from the scenery, no boxes yet, a frame rate.
    EXPECT_TRUE(s.WaitFor(
        [&](const Screenshot& shot) {
            return ReadText(shot, 1, 60, 6) == "6" && ReadText(shot, 1, 80, 6) == "0" &&
                   ReadText(shot, 300, 1, 20) == "Box Counter! 0" && ReadNumber(shot, 1, 1, "FPS: ") &&
                   ReadNumber(shot, 1, 20, "Low FPS: ") && ReadNumber(shot, 1, 40, "High FPS: ");
        },
        10))
        << "read: '" << ReadText(s.last, 1, 60, 6) << "' '" << ReadText(s.last, 1, 80, 6) << "' '"
        << ReadText(s.last, 300, 1, 20) << "' '" << ReadText(s.last, 1, 1, 12) << "'";

    // The scenery: blue water under y = 450 and the white base line of the hill at y = 500.
    // Polled like the text: a grab can meet the first frames while the swap is still
    // copying them to the screen.
    auto whiteNear = [&](const Screenshot& shot, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            if (shot.At(x, y + dy) == 0xFFFFFF) return true;
        return false;
    };
    auto blueWater = [](uint32_t pixel) { return int(pixel & 255) > 100 && int(pixel >> 16) < 30; };
    EXPECT_TRUE(s.WaitFor(
        [&](const Screenshot& shot) {
            return blueWater(shot.At(50, 550)) && blueWater(shot.At(750, 460)) && whiteNear(shot, 250, 500);
        },
        5))
        << "water " << std::hex << s.last.At(50, 550) << ", base of the hill " << whiteNear(s.last, 250, 500);
    EXPECT_EQ(FindWood(s.last).count, 0) << "no body is drawn before the first Space";
    // No point has been picked yet, so the mouse line runs from the pointer to the corner (0, 0).
    s.x.MovePointer(s.area.x + 790, s.area.y + 300);
    EXPECT_TRUE(s.WaitFor(
        [&](const Screenshot& shot) {
            return whiteNear(shot, 592, 225) && whiteNear(shot, 395, 150) && whiteNear(shot, 197, 75);
        },
        5))
        << "mouse line from (790, 300) to (0, 0)";
    s.ParkPointer();

    // The body picture was found beside the executable, not in the working directory.
    ASSERT_TRUE(s.DropBox(1));
    EXPECT_TRUE(s.WaitFor([](const Screenshot& shot) { return FindWood(shot).count > 500; }, 10))
        << "no crate picture appeared";
    EXPECT_EQ(s.process.StandardError(), "");
}

TEST_F(Physbox, EachSpacePressDropsOneBoxThatFallsAndComesToRest) {
    Sandbox& s = *sandbox;
    for (int k = 1; k <= 3; ++k) {
        ASSERT_TRUE(s.DropBox(k)) << "counter after press " << k << ": " << ReadText(s.last, 300, 1, 20);
        EXPECT_EQ(s.Points(s.last), 6 + 4 * k);
        EXPECT_EQ(s.Constraints(s.last), 6 * k);
        if (k == 1) {
            // The first box enters from above the window and falls through its upper half.
            EXPECT_TRUE(s.WaitFor(
                [](const Screenshot& shot) {
                    WoodStats w = FindWood(shot);
                    return w.count > 500 && w.cy < 250;
                },
                10));
        }
    }
    ASSERT_TRUE(s.WaitForRest(90));
    WoodStats rest = FindWood(s.last);
    // Three crates (48 x 48 on screen, possibly overlapping) lie on the hill or in the water.
    EXPECT_GT(rest.count, 2 * 48 * 48) << "crates visible";
    EXPECT_GE(rest.bounds.y, 280) << "top of the highest crate";
    EXPECT_GT(rest.cy, 400);
    EXPECT_EQ(ReadText(s.last, 300, 1, 20), "Box Counter! 3");
}

TEST_F(Physbox, LeftButtonDragPullsTheBoxUnderThePointer) {
    Sandbox& s = *sandbox;
    ASSERT_TRUE(s.DropBox(1));
    ASSERT_TRUE(s.WaitForRest(90));
    WoodStats start = FindWood(s.last);
    // Grab the crate in its middle and pull it up, out of the water or off the slope. A crate that
    // drifted under the hill's base cannot rise through it: pull that one out sideways and up.
    const bool underBase = start.cy > 500 && start.cx > 100 && start.cx < 700;
    const int tx = underBase ? (start.cx < 400 ? 50 : 750) : std::clamp(int(start.cx), 50, 750);
    const int ty = underBase ? 250 : 150;
    s.x.MovePointer(s.area.x + int(start.cx), s.area.y + int(start.cy));
    Sleep(0.2);
    s.x.Button(1, true);
    for (int i = 1; i <= 10; ++i) {
        s.x.MovePointer(s.area.x + int(start.cx + (tx - start.cx) * i / 10),
                        s.area.y + int(start.cy + (ty - start.cy) * i / 10));
        Sleep(0.05);
    }
    // The box follows the pointer (swinging about it while it is held).
    bool near = s.WaitFor(
        [&](const Screenshot& shot) {
            WoodStats w = FindWood(shot);
            return w.count > 500 && std::hypot(w.cx - tx, w.cy - ty) < 60;
        },
        10);
    s.x.Button(1, false);
    WoodStats held = FindWood(s.last);
    EXPECT_TRUE(near) << "crate at (" << held.cx << ", " << held.cy << "), pointer at (" << tx << ", " << ty
                      << "), crate started at (" << start.cx << ", " << start.cy << ")";
}

TEST_F(Physbox, KeyAResetsTheFrameRateExtremes) {
    Sandbox& s = *sandbox;
    // Make one frame last at least 400 ms by stopping the process, so "Low FPS" drops to 2 or
    // below whatever the machine's speed; steady frames at the 30 Hz pace read about 30.
    kill(s.process.Pid(), SIGSTOP);
    Sleep(0.4);
    kill(s.process.Pid(), SIGCONT);
    std::optional<int> low;
    ASSERT_TRUE(s.WaitFor(
        [&](const Screenshot& shot) {
            low = ReadNumber(shot, 1, 20, "Low FPS: ");
            return low && *low <= 2;
        },
        5))
        << "Low FPS after a stalled frame: " << ReadText(s.last, 1, 20, 16);
    s.x.TapKey("a");
    // After the reset the slowest frame is a steady one again.
    std::optional<int> high;
    EXPECT_TRUE(s.WaitFor(
        [&](const Screenshot& shot) {
            low = ReadNumber(shot, 1, 20, "Low FPS: ");
            high = ReadNumber(shot, 1, 40, "High FPS: ");
            return low && high && *low >= 10 && *low <= *high;
        },
        5))
        << "after A: " << ReadText(s.last, 1, 20, 16) << ", " << ReadText(s.last, 1, 40, 16);
}

TEST_F(Physbox, CloseRequestIsIgnoredAndEscapeEndsWithExitCodeZero) {
    Sandbox& s = *sandbox;
    s.x.RequestClose(s.window);
    Sleep(1.0);
    ASSERT_TRUE(s.process.Running()) << s.process.StandardError();
    EXPECT_NE(s.x.FindViewableWindow(kTitle), 0UL);
    // Still running frames: a press is still counted.
    ASSERT_TRUE(s.DropBox(1));

    s.x.KeyDown("Escape");
    auto pressed = Clock::now();
    auto code = s.process.WaitExit(10 * kSlow);
    double took = std::chrono::duration<double>(Clock::now() - pressed).count();
    s.x.KeyUp("Escape");
    ASSERT_TRUE(code.has_value()) << "still running 10 s after Escape";
    EXPECT_EQ(*code, 0) << s.process.StandardError();
    EXPECT_LT(took, 1.0 * kSlow);
}

TEST(PhysboxWithoutPicture, SaysSoOnceAndDrawsPlainSquares) {
    TempDir dir;
    fs::path copy = fs::path(dir.Path()) / ExecutablePath().filename();  // physbox, or physbox.exe for Wine
    fs::copy_file(ExecutablePath(), copy);
    Sandbox s(copy.string(), dir.Path());
    ASSERT_TRUE(s.DropBox(1));
    // A white square of the crate's size turns up instead of the picture.
    EXPECT_TRUE(s.WaitFor(
        [](const Screenshot& shot) {
            int white = 0;
            for (int y = 100; y < shot.height; ++y)
                for (int x = 0; x < shot.width; ++x) white += shot.At(x, y) == 0xFFFFFF;
            return white > 40 * 40;
        },
        10));
    EXPECT_EQ(FindWood(s.last).count, 0);
    s.x.KeyDown("Escape");
    auto code = s.process.WaitExit(10 * kSlow);
    s.x.KeyUp("Escape");
    EXPECT_EQ(code, 0);
    std::string err = s.process.StandardError();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("physimg.png"), std::string::npos) << err;
}

TEST_F(Physbox, ThreeHundredBoxesKeepTheThirtyHertzPace) {
    Sandbox& s = *sandbox;
    for (int k = 1; k <= 300; ++k) ASSERT_TRUE(s.DropBox(k)) << "press " << k;
    EXPECT_EQ(s.Points(s.last), 6 + 4 * 300);
    EXPECT_EQ(s.Constraints(s.last), 6 * 300);
    // Sample the frame-rate line for a few seconds.
    std::vector<int> rates;
    for (int i = 0; i < 40; ++i) {
        if (auto fps = ReadNumber(s.Shot(), 1, 1, "FPS: ")) rates.push_back(*fps);
        Sleep(0.1);
    }
    ASSERT_GE(rates.size(), 20u) << "the FPS line was unreadable too often";
    std::sort(rates.begin(), rates.end());
    int median = rates[rates.size() / 2];
    std::cout << "FPS with 300 boxes: median " << median << ", min " << rates.front() << ", max "
              << rates.back() << " over " << rates.size() << " readings\n";
    // One tick per frame is 33 or 34 ms; the time stamp is taken after the statistics lines are
    // drawn, so the shown rate runs above 30 by the few milliseconds those lines take to draw
    // (33 to 35 on llvmpipe). Below 28 the frames no longer keep up with the timer. Sanitizer
    // builds (seen at 30 to 32) only have to stay responsive: a loaded machine slows them most.
    EXPECT_GE(median, kSlow > 1.0 ? 20 : 28);
    EXPECT_LE(median, 45);
}

}  // namespace
}  // namespace e2e
