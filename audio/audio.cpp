#include <corvex/audio/audio.h>

#include <cstdlib>

#include <corvex/audio/ogg.h>
#include <corvex/audio/wav.h>
#include <corvex/runtime/module.h>

#include "audio/audio_util.h"

namespace corvex {

// ---- Module state

TAudioModule& TAudioModule::Get() {
    static TAudioModule module;
    return module;
}

// Drivers are shut down by ShutdownAudio (at exit), never from a static destructor, when the
// audio library may already be gone.
TAudioModule::~TAudioModule() = default;

void TAudioModule::AddLoader(Ref<TSampleLoader> loader) {
    loader->_succ = std::move(_loaders);
    _loaders = std::move(loader);
}

void TAudioModule::AddDriver(Ref<TAudioDriver> driver) {
    driver->_succ = std::move(_drivers);
    _drivers = std::move(driver);
}

void TAudioModule::RegisterStandard() {
    // Newest first when loading: Ogg Vorbis, WAV. When choosing a driver: OpenAL, silent.
    AddLoader(std::make_shared<TSampleLoaderWAV>());
    AddLoader(std::make_shared<TSampleLoaderOGG>());
    AddDriver(CreateSilentAudioDriver());
    AddDriver(CreateOpenALAudioDriver());
}

void TAudioModule::Reset() {
    if (_current) _current->Shutdown();
    _current = nullptr;
    _loaders = nullptr;
    _drivers = nullptr;
    SetSampleByteLimit(0);
    if (_started) RegisterStandard();
}

void StartAudioModule() {
    StartStreamModule();
    if (!BeginModuleStart("audio")) return;
    TAudioModule& module = TAudioModule::Get();
    module._started = true;
    module.RegisterStandard();
    std::atexit([] { ShutdownAudio(); });
}

// ---- Loaders

void RegisterSampleLoader(Ref<TSampleLoader> loader) { TAudioModule::Get().AddLoader(std::move(loader)); }

Ref<TSampleLoader> FirstSampleLoader() { return TAudioModule::Get().FirstLoader(); }

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
    Ref<TStream> stream = ReadUrlStream(url);
    if (!stream) return nullptr;
    TCloseOnExit closer(stream);
    const int32_t pos = stream->Pos();
    if (pos == -1) return nullptr;
    for (Ref<TSampleLoader> loader = FirstSampleLoader(); loader; loader = loader->Succ()) {
        stream->Seek(pos);
        Ref<TSample> sample;
        try {
            sample = loader->LoadSample(stream);
        } catch (const TStreamException&) {
            sample = nullptr;  // a failed read means this loader declines
        }
        if (sample) return sample;
    }
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

void RegisterAudioDriver(Ref<TAudioDriver> driver) { TAudioModule::Get().AddDriver(std::move(driver)); }

std::vector<TString> AudioDriverNames() {
    std::vector<TString> names;
    for (Ref<TAudioDriver> d = TAudioModule::Get().FirstDriver(); d; d = d->Succ()) names.push_back(d->Name());
    return names;
}

bool SetAudioDriver(const TString& name) {
    TAudioModule& module = TAudioModule::Get();
    const TString wanted = ToLower(name);
    for (Ref<TAudioDriver> d = module.FirstDriver(); d; d = d->Succ()) {
        if (ToLower(d->Name()) != wanted) continue;
        if (d == module.Current()) return true;
        if (!d->Startup()) return false;
        if (module.Current()) module.Current()->Shutdown();
        module.SetCurrent(d);
        return true;
    }
    return false;
}

Ref<TAudioDriver> AudioDriver() {
    TAudioModule& module = TAudioModule::Get();
    if (module.Current()) return module.Current();
    for (Ref<TAudioDriver> d = module.FirstDriver(); d; d = d->Succ()) {
        if (d->Startup()) {
            module.SetCurrent(d);
            break;
        }
    }
    return module.Current();
}

void ShutdownAudio() {
    TAudioModule& module = TAudioModule::Get();
    if (!module.Current()) return;
    Ref<TAudioDriver> driver = module.Current();
    module.SetCurrent(nullptr);
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
