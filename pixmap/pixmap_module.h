// The pixmap module's state: the loader chain and the pixel limit the decoders apply.
// In-tree code only; programs reach the chain through RegisterPixmapLoader and FirstPixmapLoader.
#pragma once

#include <cstdint>

#include <corvex/pixmap/loader.h>
#include <corvex/runtime/chain.h>

namespace corvex {

struct TPixmapModule {
    TChain<TPixmapLoader> loaders;                // newest first
    int64_t pixelLimit = MAX_PIXMAP_PIXELS;       // lowered by fuzz targets to keep runs short
    bool started = false;
    void Reset();  // back to what start-up leaves: the four loaders if started, none otherwise
};
TPixmapModule& PixmapModule();

}  // namespace corvex
