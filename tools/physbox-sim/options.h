// Command line of physbox-sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvex {

struct SimOptions {
    int32_t seed = 1;
    int32_t frames = 600;          // 20 seconds of the game's 30 Hz frames
    std::vector<int32_t> spawnAt;  // frames before which Space is pressed
    int32_t spawnEvery = 0;        // and before every multiple of this (0: never)
    bool hasMouse = false;         // move the pointer before frame 1
    int32_t mouseX = 0;
    int32_t mouseY = 0;
    bool hasDrag = false;          // left button down before dragFrom, up after dragTo
    int32_t dragFrom = 0;
    int32_t dragTo = 0;
    std::string dump;              // state of every point after every frame
    std::string dumpFinal;         // after the last frame only
    std::string picture;           // PNG of the last frame, drawn as the game draws it
    std::string pictures;          // folder for a PNG of every every-th frame
    int32_t every = 1;
    std::string bodyImage;         // the bodies' picture; empty: physimg.png beside the program

    bool WantsPictures() const { return !picture.empty() || !pictures.empty(); }

    bool SpawnBefore(int32_t frame) const;  // is Space pressed before this frame?
};

// Parses argv[1..]; on a bad argument returns false with a message in error.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& out, std::string& error);

extern const char* const SIM_USAGE;

}  // namespace corvex
