#include <corvex/audio/audio.h>

#include <cstdlib>

#include <corvex/audio/ogg.h>
#include <corvex/audio/wav.h>
#include <corvex/runtime/module.h>

#include "audio/audio_module.h"
#include "audio/audio_util.h"
#include "stream/load_error.h"

namespace corvex {

// ---- Module state

namespace {
void RegisterStandard(TAudioModule& module) {
    // Newest first when loading: Ogg Vorbis, WAV. When choosing a driver: the platform's
    // (OpenAL on Linux, the software mixer on Windows), then silent.
    module.loaders.Push(std::make_shared<TSampleLoaderWAV>());
    module.loaders.Push(std::make_shared<TSampleLoaderOGG>());
    module.drivers.Push(CreateSilentAudioDriver());
    RegisterPlatformAudioDrivers(module.drivers);
}
}  // namespace

// Drivers are shut down by ShutdownAudio (at exit), never from a static destructor, when the
// audio library may already be gone.
TAudioModule& AudioModule() {
    static TAudioModule module;
    return module;
}

void TAudioModule::Reset() {
    if (current) current->Shutdown();
    current = nullptr;
    loaders.Clear();
    drivers.Clear();
    byteLimit = MAX_SAMPLE_BYTES;
    if (started) RegisterStandard(*this);
}

void StartAudioModule() {
    StartStreamModule();
    if (!BeginModuleStart("audio")) return;
    TAudioModule& module = AudioModule();
    module.started = true;
    RegisterStandard(module);
    std::atexit([] { ShutdownAudio(); });
}

// ---- Loaders

void RegisterSampleLoader(Ref<TSampleLoader> loader) { AudioModule().loaders.Push(std::move(loader)); }

Ref<TSampleLoader> FirstSampleLoader() { return AudioModule().loaders.First(); }

namespace {
// Closes a stream on every way out of a scope, exceptions included.
class TCloseOnExit {
public:
    explicit TCloseOnExit(const Ref<TStream>& stream) : _stream(stream) {}
    TCloseOnExit(const TCloseOnExit&) = delete;
    TCloseOnExit& operator=(const TCloseOnExit&) = delete;
    ~TCloseOnExit() { _stream->Close(); }

private:
    const Ref<TStream>& _stream;
};
}  // namespace

Ref<TSample> LoadSample(const TUrl& url) {
    BeginLoad();
    Ref<TStream> stream = ReadUrlStream(url);
    if (!stream) {
        FailLoad(url, false);
        return nullptr;
    }
    TCloseOnExit closer(stream);
    const int32_t pos = stream->Pos();
    if (pos == -1) {
        FailLoad(url, false);
        return nullptr;
    }
    for (Ref<TSampleLoader> loader = FirstSampleLoader(); loader; loader = loader->Succ()) {
        stream->Seek(pos);
        Ref<TSample> sample;
        try {
            sample = loader->LoadSample(stream);
        } catch (const TStreamException&) {
            sample = nullptr;  // a failed read means this loader declines
        }
        if (sample) {
            BeginLoad();
            return sample;
        }
    }
    FailLoad(url, true);
    return nullptr;
}

namespace detail {
int32_t ReadUpTo(TStream& stream, void* buffer, int32_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    while (done < count && !stream.Eof()) {
        const int32_t n = stream.Read(p + done, count - done);
        if (n <= 0) throw TStreamReadException();
        done += n < count - done ? n : count - done;
    }
    return done;
}
}  // namespace detail

// ---- Drivers

void RegisterAudioDriver(Ref<TAudioDriver> driver) { AudioModule().drivers.Push(std::move(driver)); }

std::vector<TString> AudioDriverNames() {
    std::vector<TString> names;
    for (Ref<TAudioDriver> d = AudioModule().drivers.First(); d; d = d->Succ()) names.push_back(d->Name());
    return names;
}

bool SetAudioDriver(const TString& name) {
    TAudioModule& module = AudioModule();
    const TString wanted = ToLower(name);
    for (Ref<TAudioDriver> d = module.drivers.First(); d; d = d->Succ()) {
        if (ToLower(d->Name()) != wanted) continue;
        if (d == module.current) return true;
        if (!d->Startup()) return false;
        if (module.current) module.current->Shutdown();
        module.current = d;
        return true;
    }
    return false;
}

Ref<TAudioDriver> AudioDriver() {
    TAudioModule& module = AudioModule();
    if (module.current) return module.current;
    for (Ref<TAudioDriver> d = module.drivers.First(); d; d = d->Succ()) {
        if (d->Startup()) {
            module.current = d;
            break;
        }
    }
    return module.current;
}

void ShutdownAudio() {
    TAudioModule& module = AudioModule();
    if (!module.current) return;
    Ref<TAudioDriver> driver = module.current;
    module.current = nullptr;
    driver->Shutdown();
}

// ---- Sounds and channels

Ref<TSound> CreateSound(const Ref<TSample>& sample, int32_t flags) {
    if (!sample) return nullptr;
    Ref<TAudioDriver> driver = AudioDriver();
    return driver ? driver->CreateSound(sample, flags) : nullptr;
}

Ref<TSound> LoadSound(const TUrl& url, int32_t flags) { return CreateSound(LoadSample(url), flags); }

Ref<TChannel> PlaySound(const Ref<TSound>& sound, const Ref<TChannel>& channel) {
    return sound ? sound->Play(channel) : nullptr;
}

Ref<TChannel> CueSound(const Ref<TSound>& sound, const Ref<TChannel>& channel) {
    return sound ? sound->Cue(channel) : nullptr;
}

Ref<TChannel> PlaySound(const Ref<TSound>& sound, float volume, float pan, float rate) {
    Ref<TChannel> channel = CueSound(sound);
    if (!channel) return nullptr;
    channel->SetVolume(volume);
    channel->SetPan(pan);
    channel->SetRate(rate);
    channel->SetPaused(false);
    return channel;
}

bool SetAudioDriver(std::string_view utf8_name) { return SetAudioDriver(FromUtf8(utf8_name)); }

Ref<TChannel> AllocChannel() {
    Ref<TAudioDriver> driver = AudioDriver();
    return driver ? driver->AllocChannel() : nullptr;
}

void StopChannel(const Ref<TChannel>& channel) {
    if (channel) channel->Stop();
}
void PauseChannel(const Ref<TChannel>& channel) {
    if (channel) channel->SetPaused(true);
}
void ResumeChannel(const Ref<TChannel>& channel) {
    if (channel) channel->SetPaused(false);
}
void SetChannelVolume(const Ref<TChannel>& channel, float volume) {
    if (channel) channel->SetVolume(volume);
}
void SetChannelPan(const Ref<TChannel>& channel, float pan) {
    if (channel) channel->SetPan(pan);
}
void SetChannelRate(const Ref<TChannel>& channel, float rate) {
    if (channel) channel->SetRate(rate);
}
bool ChannelPlaying(const Ref<TChannel>& channel) { return channel && channel->Playing(); }
bool ChannelPaused(const Ref<TChannel>& channel) { return channel && channel->Paused(); }

}  // namespace corvex
