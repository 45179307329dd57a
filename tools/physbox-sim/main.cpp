// physbox-sim: runs the sandbox's simulation steps without a window, drawing or timer wait.
// Input goes through the real polled-input path: Space presses, the pointer and the left button
// are events emitted on the event hook chain, read back by the same frame steps as the game.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "game/frame.h"
#include "game/world.h"
#include <corvex/system/event.h>
#include <corvex/system/keys.h>
#include <corvex/system/input.h>
#include <corvex/system/random.h>
#include <corvex/system/system.h>
#include "tools/physbox-sim/options.h"

namespace {

using namespace corvex;


void Emit(int32_t id, int32_t data, int32_t x, int32_t y) {
    TEvent::Create(id, nullptr, data, 0, x, y, nullptr)->Emit();
}

// The point table as CSV rows; floats with 9 significant digits, enough to round-trip.
class Dump {
public:
    bool Open(const std::string& path) {
        _file = std::fopen(path.c_str(), "wb");
        if (!_file) {
            return false;
        }
        std::setvbuf(_file, nullptr, _IOFBF, 1 << 16);
        std::fputs("frame,index,id,x,y,ox,oy\n", _file);
        return true;
    }
    void Write(const World& world, int32_t frame) {
        for (int32_t i = 0; i < world.VerletCount(); ++i) {
            const Verlet& v = world.Verlets[i];
            std::fprintf(_file, "%d,%d,%d,%.9g,%.9g,%.9g,%.9g\n", frame, i, v.ID, static_cast<double>(v.X),
                         static_cast<double>(v.Y), static_cast<double>(v.OX), static_cast<double>(v.OY));
        }
    }
    bool Close() {
        bool ok = std::ferror(_file) == 0;
        ok = std::fclose(_file) == 0 && ok;
        _file = nullptr;
        return ok;
    }
    ~Dump() {
        if (_file) {
            std::fclose(_file);
        }
    }

private:
    std::FILE* _file = nullptr;
};

double Percentile(std::vector<double> sorted, double fraction) {
    if (sorted.empty()) {
        return 0.0;
    }
    size_t at = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
}

int Run(const SimOptions& o) {
    Dump every;
    Dump final;
    if (!o.dump.empty() && !every.Open(o.dump)) {
        std::fprintf(stderr, "physbox-sim: cannot write %s\n", o.dump.c_str());
        return 1;
    }
    if (!o.dumpFinal.empty() && !final.Open(o.dumpFinal)) {
        std::fprintf(stderr, "physbox-sim: cannot write %s\n", o.dumpFinal.c_str());
        return 1;
    }

    StartSystemModule();
    StartPolledInput(nullptr);
    SeedRandom(o.seed);
    World world;
    CreateScenery(world);
    if (o.hasMouse) {
        Emit(EVENT_MOUSEMOVE, 0, o.mouseX, o.mouseY);
    }

    std::vector<double> millis;
    millis.reserve(static_cast<size_t>(o.frames));
    for (int32_t frame = 1; frame <= o.frames; ++frame) {
        if (o.SpawnBefore(frame)) {
            Emit(EVENT_KEYDOWN, KEY_SPACE, 0, 0);
            Emit(EVENT_KEYUP, KEY_SPACE, 0, 0);
        }
        if (o.hasDrag && frame == o.dragFrom) {
            Emit(EVENT_MOUSEDOWN, MOUSE_LEFT, o.mouseX, o.mouseY);
        }
        auto start = std::chrono::steady_clock::now();
        SimulateFrame(world);
        auto end = std::chrono::steady_clock::now();
        millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        if (o.hasDrag && frame == o.dragTo) {
            Emit(EVENT_MOUSEUP, MOUSE_LEFT, o.mouseX, o.mouseY);
        }
        if (!o.dump.empty()) {
            every.Write(world, frame);
        }
    }
    if (!o.dumpFinal.empty()) {
        final.Write(world, o.frames);
    }
    if ((!o.dump.empty() && !every.Close()) || (!o.dumpFinal.empty() && !final.Close())) {
        std::fprintf(stderr, "physbox-sim: writing a dump failed\n");
        return 1;
    }

    std::sort(millis.begin(), millis.end());
    std::printf("frames: %d\n", o.frames);
    std::printf("bodies: %d\n", world.BoxCounter - 2);
    std::printf("points: %d\n", world.VerletCount());
    std::printf("constraints: %d\n", world.ConstraintCount());
    std::printf("sim time per frame (ms): median %.3f, p95 %.3f, max %.3f\n", Percentile(millis, 0.5),
                Percentile(millis, 0.95), millis.empty() ? 0.0 : millis.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    corvex::SimOptions options;
    std::string error;
    if (!corvex::ParseSimOptions(args, options, error)) {
        if (error.empty()) {
            std::fputs(corvex::SIM_USAGE, stdout);
            return 0;
        }
        std::fprintf(stderr, "physbox-sim: %s\n%s", error.c_str(), corvex::SIM_USAGE);
        return 2;
    }
    return Run(options);
}
