// Windows has no OpenAL build here: the software mixer on the wave-out device is tried first,
// and the silent driver serves when no device opens.
#include "audio/audio_module.h"

namespace corvex {

void RegisterPlatformAudioDrivers(TChain<TAudioDriver>& drivers) { drivers.Push(CreateMixerAudioDriver()); }

Ref<TAudioDriver> CreateOpenALAudioDriver() { return nullptr; }

}  // namespace corvex
