// physbox-sim: runs the sandbox's simulation steps without a window, drawing or timer wait.
// Input goes through the real polled-input path: Space presses, the pointer and the left button
// are events emitted on the event hook chain, read back by the same frame steps as the game.
// Asked for pictures, it draws every frame with the game's own frame code into an offscreen
// buffer (no display needed); the simulation is the same either way.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "game/frame.h"
#include "game/world.h"
#include <corvex/system/entry.h>
#include <corvex/system/input.h>
#include <corvex/system/random.h>
#include <corvex/system/system.h>
#include "tools/physbox-sim/options.h"
#include "tools/physbox-sim/pictures.h"
#include "tools/physbox-sim/script.h"

namespace {

using namespace corvex;

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

// Whether a file can be written at path, tried before the run rather than found out after it.
// A file that was not there is made and removed again.
bool CanWrite(const std::string& path, std::string& why) {
    std::error_code failed;
    const bool existed = std::filesystem::exists(path, failed);
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) {
        why = std::strerror(errno);
        return false;
    }
    std::fclose(file);
    if (!existed) std::remove(path.c_str());
    return true;
}

std::string FramePath(const std::string& dir, int32_t frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06d.png", frame);
    return (std::filesystem::path(dir) / name).string();
}

int Run(const SimOptions& o, const std::filesystem::path& programDir) {
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
    std::string why;
    if (!o.picture.empty() && !CanWrite(o.picture, why)) {
        std::fprintf(stderr, "physbox-sim: cannot write %s: %s\n", o.picture.c_str(), why.c_str());
        return 1;
    }
    if (!o.pictures.empty()) {
        std::error_code failed;
        std::filesystem::create_directories(o.pictures, failed);
        if (failed || !std::filesystem::is_directory(o.pictures)) {
            std::fprintf(stderr, "physbox-sim: cannot make the folder %s\n", o.pictures.c_str());
            return 1;
        }
    }

    // Without pictures nothing graphical is started: the world is simulated on its own.
    std::unique_ptr<World> plain;
    std::unique_ptr<RunPictures> drawn;
    World* worldAt = nullptr;
    std::string error;
    if (o.WantsPictures()) {
        const std::string image = o.bodyImage.empty() ? (programDir / "physimg.png").string()
                                                      : o.bodyImage;
        drawn = std::make_unique<RunPictures>();
        SeedRandom(o.seed);
        if (!drawn->Open(FromUtf8(image), error)) {
            std::fprintf(stderr, "physbox-sim: %s\n", error.c_str());
            return 1;
        }
        worldAt = &drawn->world();
    } else {
        StartSystemModule();
        StartPolledInput(nullptr);
        SeedRandom(o.seed);
        plain = std::make_unique<World>();
        CreateScenery(*plain);
        worldAt = plain.get();
    }
    World& world = *worldAt;
    EmitRunStart(o);

    std::vector<double> millis;
    std::vector<double> writeMillis;
    millis.reserve(static_cast<size_t>(o.frames));
    for (int32_t frame = 1; frame <= o.frames; ++frame) {
        EmitBeforeFrame(o, frame);
        auto start = std::chrono::steady_clock::now();
        if (drawn) {
            drawn->Frame();
        } else {
            SimulateFrame(world);
        }
        auto end = std::chrono::steady_clock::now();
        millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        EmitAfterFrame(o, frame);
        if (!o.dump.empty()) {
            every.Write(world, frame);
        }
        const bool folder = !o.pictures.empty() && frame % o.every == 0;
        const bool last = !o.picture.empty() && frame == o.frames;
        if (folder || last) {
            auto writeStart = std::chrono::steady_clock::now();
            if ((folder && !drawn->Write(FramePath(o.pictures, frame), error)) ||
                (last && !drawn->Write(o.picture, error))) {
                std::fprintf(stderr, "physbox-sim: %s\n", error.c_str());
                return 1;
            }
            writeMillis.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - writeStart).count());
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
    std::printf("%s time per frame (ms): median %.3f, p95 %.3f, max %.3f\n", drawn ? "sim and drawing" : "sim",
                Percentile(millis, 0.5), Percentile(millis, 0.95), millis.empty() ? 0.0 : millis.back());
    if (!writeMillis.empty()) {
        std::sort(writeMillis.begin(), writeMillis.end());
        std::printf("pictures: %zu, read and PNG write per picture (ms): median %.3f, max %.3f\n", writeMillis.size(),
                    Percentile(writeMillis, 0.5), writeMillis.back());
    }
    if (drawn) {
        drawn->Close();
    }
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
    corvex::InitProcessInfo(argc, argv);
    const int rc = Run(options, std::filesystem::path(corvex::ToUtf8(corvex::ApplicationDir())));
    // The exit steps (closing the offscreen graphics) run while the modules still exist, not
    // after their static state has gone at exit().
    corvex::RunExitHandlers();
    return rc;
}
