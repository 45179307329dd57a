// Windows has no OpenAL build here: until a Windows device driver is registered below, the
// silent driver is the one chosen.
#include "audio/audio_module.h"

namespace corvex {

void RegisterPlatformAudioDrivers(TChain<TAudioDriver>&) {}

Ref<TAudioDriver> CreateOpenALAudioDriver() { return nullptr; }

}  // namespace corvex
