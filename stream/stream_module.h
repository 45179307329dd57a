// The stream module's state: the factory chain and the embedded-resource table.
// In-tree code only; programs reach it through RegisterStreamFactory and RegisterIncbin.
#pragma once

#include <cstdint>

#include <corvex/runtime/chain.h>
#include <corvex/stream/stream.h>

namespace corvex {

struct TStreamModule {
    struct TIncbin : TChainLink<TIncbin> {
        TString name;
        const uint8_t* data = nullptr;
        int32_t size = 0;
    };
    TChain<TStreamFactory> factories;  // newest first
    TChain<TIncbin> incbins;           // newest first; names are unique
    bool started = false;
    TString last_load_error;           // LastLoadError
    std::string decode_error;          // the reason a decoder noted during the current load
    void Reset();  // back to what start-up leaves: no resources, the built-in factories if started
};
TStreamModule& StreamModule();

}  // namespace corvex
