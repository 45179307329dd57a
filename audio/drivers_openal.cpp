#include "audio/audio_module.h"

namespace corvex {

void RegisterPlatformAudioDrivers(TChain<TAudioDriver>& drivers) { drivers.Push(CreateOpenALAudioDriver()); }

}  // namespace corvex
