// The audio module's state: the loader and driver chains, the current driver and the byte limit
// loaders apply. In-tree code only; programs reach it through the functions of audio/audio.h.
#pragma once

#include <cstdint>

#include <corvex/audio/audio.h>
#include <corvex/runtime/chain.h>

namespace corvex {

struct TAudioModule {
    TChain<TSampleLoader> loaders;          // newest first
    TChain<TAudioDriver> drivers;           // newest first; the first that starts is chosen
    Ref<TAudioDriver> current;              // Null until chosen or after ShutdownAudio
    int64_t byteLimit = MAX_SAMPLE_BYTES;   // lowered by fuzz targets to keep runs short
    bool started = false;
    // Back to what start-up leaves (the current driver shut down first): the standard loaders
    // and drivers if started, none otherwise.
    void Reset();
};
TAudioModule& AudioModule();

// Pushes the platform's sound drivers onto the chain, after the silent one (so they are tried
// first): OpenAL on Linux (drivers_openal.cpp); the software mixer on wave-out on Windows
// (drivers_win32.cpp).
void RegisterPlatformAudioDrivers(TChain<TAudioDriver>& drivers);

}  // namespace corvex
