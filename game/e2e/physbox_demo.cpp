// physbox-demo: plays a short scripted session with the sandbox on the current display (boxes
// dropped, one dragged across the window, Escape) and saves screenshots along the way.
//
//     physbox-demo [OUTPUT_DIR]     (default: screenshots in the current directory)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "game/e2e/sandbox_process.h"
#include "game/e2e/screen_reading.h"
#include "game/e2e/screenshot_file.h"
#include "game/e2e/x_session.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

void Sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

struct Session {
    XSession x;
    unsigned long window = 0;
    Rect area;
    fs::path out;
    int saved = 0;

    Screenshot Shot() { return x.Grab(area); }

    void Save(const std::string& name) {
        fs::path file = out / name;
        if (SaveScreenshot(Shot(), file.string())) {
            std::printf("  saved %s\n", file.c_str());
            ++saved;
        } else {
            std::fprintf(stderr, "physbox-demo: cannot write %s\n", file.c_str());
        }
    }

    bool DropBox(int count) {
        x.TapKey("space");
        for (int i = 0; i < 250; ++i) {
            if (ReadNumber(Shot(), 300, 1, "Box Counter! ") == count) return true;
            Sleep(0.02);
        }
        return false;
    }

    // The highest point that lies well inside a crate: every pixel around it is wood.
    bool FindCrate(int& cx, int& cy) {
        Screenshot s = Shot();
        for (int y = 6; y < s.height - 6; ++y)
            for (int x = 6; x < s.width - 6; ++x) {
                bool inside = true;
                for (int dy = -6; dy <= 6 && inside; dy += 3)
                    for (int dx = -6; dx <= 6 && inside; dx += 3) inside = IsWood(s.At(x + dx, y + dy));
                if (inside) {
                    cx = x;
                    cy = y + 6;
                    return true;
                }
            }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    fs::path out = argc > 1 ? fs::path(argv[1]) : fs::current_path() / "screenshots";
    out = fs::absolute(out);
    try {
        TempDir elsewhere;  // the sandbox finds its picture beside itself, wherever it starts
        SandboxProcess sandbox(PHYSBOX_EXE, elsewhere.Path());
        Session s{XSession(), 0, {}, out};
        for (int i = 0; i < 600 && !(s.window = s.x.FindViewableWindow("Corvex Application")); ++i) {
            if (!sandbox.Running()) break;
            Sleep(0.05);
        }
        if (!s.window) {
            std::fprintf(stderr, "physbox-demo: the sandbox window did not appear\n%s",
                         sandbox.StandardError().c_str());
            return 1;
        }
        s.area = s.x.ClientArea(s.window);
        s.x.MovePointer(s.area.x + 790, s.area.y + 300);
        s.x.Focus(s.window);
        std::printf("physbox-demo: sandbox running; screenshots go to %s\n", out.c_str());
        Sleep(1.0);
        s.Save("1-start.png");

        std::printf("  dropping 12 boxes\n");
        for (int k = 1; k <= 12; ++k) {
            if (!s.DropBox(k)) std::fprintf(stderr, "physbox-demo: box %d was not counted\n", k);
            Sleep(0.25);
            if (k == 6) s.Save("2-falling.png");
        }
        Sleep(4.0);
        s.Save("3-resting.png");

        int cx = 0, cy = 0;
        if (s.FindCrate(cx, cy)) {
            std::printf("  dragging the box at (%d, %d) to (400, 150)\n", cx, cy);
            s.x.MovePointer(s.area.x + cx, s.area.y + cy);
            Sleep(0.2);
            s.x.Button(1, true);
            for (int i = 1; i <= 20; ++i) {
                s.x.MovePointer(s.area.x + cx + (400 - cx) * i / 20, s.area.y + cy + (150 - cy) * i / 20);
                Sleep(0.05);
            }
            Sleep(1.5);
            s.Save("4-dragging.png");
            s.x.Button(1, false);
            Sleep(2.5);
            s.Save("5-released.png");
        } else {
            std::fprintf(stderr, "physbox-demo: no crate found to drag\n");
        }

        s.x.KeyDown("Escape");
        auto code = sandbox.WaitExit(10);
        s.x.KeyUp("Escape");
        if (!code) {
            std::fprintf(stderr, "physbox-demo: the sandbox did not end after Escape\n");
            return 1;
        }
        std::printf("physbox-demo: Escape ended the sandbox with exit code %d; %d screenshots in %s\n", *code,
                    s.saved, out.c_str());
        std::string err = sandbox.StandardError();
        if (!err.empty()) std::fprintf(stderr, "%s", err.c_str());
        return *code == 0 && s.saved == 5 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "physbox-demo: %s\n", e.what());
        return 1;
    }
}
