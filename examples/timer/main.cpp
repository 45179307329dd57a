// A loop paced by a timer: a 30 Hz timer ticks on its own thread, and each frame waits for it
// with WaitTimer, which returns how many ticks have passed since the previous wait (more than 1
// when a frame took too long). The simulation steps once per tick, so it keeps the same speed
// whatever the drawing costs; drawing happens once per frame. Escape ends the program.
#include <cmath>
#include <cstdio>
#include <corvex/corvex.h>

using namespace corvex;

namespace {

constexpr float kHertz = 30;
constexpr float kLeft = 40, kTop = 80, kRight = 600, kBottom = 400;  // the box the ball flies in

struct Ball {
    float x = 120, y = 160, vx = 7, vy = 4;  // pixels per tick
    void Step() {
        x += vx;
        y += vy;
        vy += 0.35f;  // gravity
        if (x < kLeft + 12) x = kLeft + 12, vx = -vx;     // bounce off the walls
        if (x > kRight - 12) x = kRight - 12, vx = -vx;
        if (y > kBottom - 12) y = kBottom - 12, vy = -std::fabs(vy);
    }
};

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();
        SetApplicationTitle(u"Corvex example: timer");
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");

        Ref<TTimer> timer = CreateTimer(kHertz);  // Null for a rate it cannot keep (above 1000 Hz)
        if (!timer) throw TRuntimeException("Unable to create a 30 Hz timer");

        Ball ball;
        int frames = 0, late_frames = 0;
        int32_t start = CurrentMillis();
        SetClsColor(20, 24, 34);
        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {
            // Blocks until the next tick; events keep arriving (and hooks run) while it waits.
            int ticks = WaitTimer(timer);
            if (ticks > 1) ++late_frames;
            for (int i = 0; i < ticks; ++i) ball.Step();
            ++frames;

            Cls();
            SetBlend(BLEND_ALPHA);
            SetColor(90, 100, 130);
            DrawLine(kLeft, kTop, kRight, kTop);
            DrawLine(kRight, kTop, kRight, kBottom);
            DrawLine(kRight, kBottom, kLeft, kBottom);
            DrawLine(kLeft, kBottom, kLeft, kTop);
            SetColor(255, 190, 60);
            DrawOval(ball.x - 12, ball.y - 12, 24, 24);

            // A hand that turns one step per tick: a full turn every 2 seconds.
            int total = TimerTicks(timer);
            float angle = float(total % 60) * 6 * 3.14159265f / 180;
            SetColor(50, 60, 80);
            DrawOval(528, 8, 64, 64);
            SetColor(120, 220, 160);
            SetLineWidth(3);
            DrawLine(560, 40, 560 + 28 * std::sin(angle), 40 - 28 * std::cos(angle));
            SetLineWidth(1);

            int32_t elapsed = CurrentMillis() - start;
            SetColor(255, 255, 255);
            DrawText("Paced by a 30 Hz timer", 40, 20);
            char status[96];
            std::snprintf(status, sizeof status, "ticks %d in %.1f s, frames %d, late %d", total,
                          double(elapsed) / 1000, frames, late_frames);
            DrawText(status, 40, 412);
            if (elapsed >= 1000) {  // the timer's own count against the clock
                std::snprintf(status, sizeof status, "ticks per second: %ld", std::lround(total * 1000.0 / elapsed));
                DrawText(status, 40, 428);
            }
            SetColor(160, 160, 160);
            DrawText("Press Escape to quit", 40, 450);
            Flip(0);  // present at once: the timer sets the pace, not the display
        }
        StopTimer(timer);  // a timer runs until stopped
    });
}
