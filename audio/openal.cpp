// The OpenAL driver: one device and context, a fixed pool of voices set up at start-up, and a
// buffer per sound side. OpenAL mixes on its own thread; nothing here hands it a callback, so
// framework state is only ever touched from the calls the program makes.
//
// Every voice is a pair of sources fixed at hard left and hard right, started, paused and
// stopped together (one mixer lock for both). Pan is then a pair of gains: a mono sound feeds
// the same buffer to both sides at constant power, a stereo sound is split at creation into
// a left and a right buffer and balanced. OpenAL's own panner is not constant power (its
// centre is about -4.5 dB) and it has no balance for stereo sources.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include <corvex/audio/audio.h>

#include "audio/audio_util.h"

namespace corvex {
namespace {

class TALSound;

// One voice of the pool.
struct TVoice {
    enum TUse { FREE, HELD, DROPPED };  // HELD: a channel object refers to it
    ALuint sources[2] = {0, 0};         // left, right
    Ref<TALSound> sound;                // attached to the sources while set
    TUse use = FREE;
    bool cued = false;
    uint64_t started = 0;  // order of the last start, for taking back the oldest
    float volume = 1, pan = 0, rate = 1;
};

// What sounds and channels share with their driver while its device is open. They hold it
// weakly: once the driver shuts down, their AL names are gone and they do nothing.
struct TALDevice {
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool floatFormats = false;
    void(AL_APIENTRY* deferUpdates)() = nullptr;   // AL_SOFT_deferred_updates, when present
    void(AL_APIENTRY* processUpdates)() = nullptr;
    std::vector<TVoice> voices;
    std::vector<int> spare;     // indices of FREE voices
    size_t cursor = 0;          // where the next sweep goes on
    uint64_t starts = 0;
    std::set<ALuint> buffers;   // every buffer a live sound owns

    bool Open(size_t count);
    void Close();
    int Alloc();                // a voice made HELD, or -1
    void Drop(int index);       // its channel object is gone
    void Start(int index, const Ref<TALSound>& sound, bool cued);
    void Sweep(size_t count);   // looks at the next count voices and gives back what has ended
    ALint State(const TVoice& v) const;
    bool Sounding(const TVoice& v) const;  // either source playing or paused
    void Detach(TVoice& v);     // the sources must be stopped; lets the sound go
    void ApplyGains(const TVoice& v);
    template <class F> void Together(F&& set) {  // both sides change in the same mix update
        if (deferUpdates) deferUpdates();
        set();
        if (processUpdates) processUpdates();
    }
};

class TALSound : public TSound, public std::enable_shared_from_this<TALSound> {
public:
    TALSound(std::weak_ptr<TALDevice> device, ALuint left, ALuint right, const TSample& sample, int32_t flags)
        : _device(std::move(device)), _buffers{left, right} {
        _flags = flags;
        _length = sample.length;
        _rate = sample.rate;
    }
    ~TALSound() override {  // no source holds the buffers any more: voices hold their sound
        if (auto device = _device.lock()) {
            for (ALuint b : Buffers()) {
                device->buffers.erase(b);
                alDeleteBuffers(1, &b);
            }
        }
    }
    Ref<TChannel> Play(const Ref<TChannel>& channel) override { return Start(channel, false); }
    Ref<TChannel> Cue(const Ref<TChannel>& channel) override { return Start(channel, true); }
    ALuint Left() const { return _buffers[0]; }
    ALuint Right() const { return _buffers[1] ? _buffers[1] : _buffers[0]; }
    bool Stereo() const { return _buffers[1] != 0; }
    std::vector<ALuint> Buffers() const {
        return Stereo() ? std::vector<ALuint>{_buffers[0], _buffers[1]} : std::vector<ALuint>{_buffers[0]};
    }

private:
    Ref<TChannel> Start(const Ref<TChannel>& channel, bool cued);
    std::weak_ptr<TALDevice> _device;
    ALuint _buffers[2];  // right is 0 for a mono sound
};

// What the program holds: a voice of the pool, kept while this object lives.
class TALChannel : public TChannel {
public:
    TALChannel(std::weak_ptr<TALDevice> device, int index) : _device(std::move(device)), _index(index) {}
    ~TALChannel() override {
        if (auto device = _device.lock()) device->Drop(_index);
    }
    TALChannel(const TALChannel&) = delete;
    TALChannel& operator=(const TALChannel&) = delete;

    std::shared_ptr<TALDevice> Device() const { return _device.lock(); }
    int Index() const { return _index; }

    void Stop() override {
        auto device = _device.lock();
        if (!device) return;
        TVoice& v = device->voices[size_t(_index)];
        if (!v.sound) return;
        if (device->Sounding(v)) alSourceStopv(2, v.sources);
        device->Detach(v);
    }
    void SetPaused(bool paused) override {
        auto device = _device.lock();
        if (!device) return;
        TVoice& v = device->voices[size_t(_index)];
        if (!v.sound) return;
        const ALint state = device->State(v);
        if (paused) {
            if (state == AL_PLAYING) alSourcePausev(2, v.sources);
        } else if (v.cued || state == AL_PAUSED) {
            v.cued = false;
            alSourcePlayv(2, v.sources);
        }
    }
    void SetVolume(float volume) override {
        auto device = _device.lock();
        if (!device) return;
        TVoice& v = device->voices[size_t(_index)];
        v.volume = detail::ClampSetting(volume, 0, 1, v.volume);
        device->Together([&] { device->ApplyGains(v); });
    }
    void SetPan(float pan) override {
        auto device = _device.lock();
        if (!device) return;
        TVoice& v = device->voices[size_t(_index)];
        v.pan = detail::ClampSetting(pan, -1, 1, v.pan);
        device->Together([&] { device->ApplyGains(v); });
    }
    void SetRate(float rate) override {
        auto device = _device.lock();
        if (!device) return;
        TVoice& v = device->voices[size_t(_index)];
        v.rate = detail::ClampRate(rate, v.rate);
        // Both sides together, or they drift apart by the samples of one update.
        device->Together([&] {
            for (ALuint s : v.sources) alSourcef(s, AL_PITCH, v.rate);
        });
    }
    bool Playing() override {
        auto device = _device.lock();
        if (!device) return false;
        TVoice& v = device->voices[size_t(_index)];
        if (!v.sound) return false;
        if (v.cued || device->Sounding(v)) return true;
        device->Detach(v);  // ended: its sound can go now
        return false;
    }
    bool Paused() override {
        auto device = _device.lock();
        if (!device) return false;
        const TVoice& v = device->voices[size_t(_index)];
        return v.sound && (v.cued || device->State(v) == AL_PAUSED);
    }

private:
    std::weak_ptr<TALDevice> _device;
    int _index;
};

// How many voices each driver call looks at for ended sounds: every voice is looked at within
// MAX_AUDIO_CHANNELS / kSweep calls, and no call costs more than kSweep state queries.
constexpr size_t kSweep = 8;

Ref<TChannel> TALSound::Start(const Ref<TChannel>& channel, bool cued) {
    auto device = _device.lock();
    if (!device) return nullptr;
    device->Sweep(kSweep);
    Ref<TALChannel> target = std::dynamic_pointer_cast<TALChannel>(channel);
    if (!target || target->Device() != device) {
        const int index = device->Alloc();
        if (index < 0) return nullptr;
        target = std::make_shared<TALChannel>(device, index);
    }
    device->Start(target->Index(), shared_from_this(), cued);
    return target;
}

ALint TALDevice::State(const TVoice& v) const {
    ALint state = AL_STOPPED;
    alGetSourcei(v.sources[0], AL_SOURCE_STATE, &state);
    return state;
}

bool TALDevice::Sounding(const TVoice& v) const {
    for (ALuint s : v.sources) {
        ALint state = AL_STOPPED;
        alGetSourcei(s, AL_SOURCE_STATE, &state);
        if (state == AL_PLAYING || state == AL_PAUSED) return true;
    }
    return false;
}

void TALDevice::Detach(TVoice& v) {
    for (ALuint s : v.sources) alSourcei(s, AL_BUFFER, 0);
    v.sound = nullptr;  // its buffers may be deleted now
    v.cued = false;
}

// The pan law. Mono: constant power, left cos(t) and right sin(t), t = (pan + 1) pi / 4.
// Stereo: balance, the side away from the pan scaled by cos(|pan| pi / 2), the near side as
// it is; neither side's content moves to the other.
void TALDevice::ApplyGains(const TVoice& v) {
    constexpr float pi = 3.14159265f;
    float left, right;
    if (v.sound && v.sound->Stereo()) {
        const float far = std::max(0.0f, std::cos(std::fabs(v.pan) * pi / 2));  // not a hair below 0 at 1
        left = v.pan > 0 ? far : 1.0f;
        right = v.pan < 0 ? far : 1.0f;
    } else {
        const float t = (v.pan + 1) * pi / 4;
        left = std::max(0.0f, std::cos(t));
        right = std::sin(t);
    }
    alSourcef(v.sources[0], AL_GAIN, v.volume * left);
    alSourcef(v.sources[1], AL_GAIN, v.volume * right);
}

void TALDevice::Start(int index, const Ref<TALSound>& sound, bool cued) {
    TVoice& v = voices[size_t(index)];
    v.started = ++starts;
    if (v.sound == sound && !cued && !v.cued && State(v) == AL_PLAYING) {
        alSourcePlayv(2, v.sources);  // playing the same sound: play restarts it
        return;
    }
    if (v.sound && Sounding(v)) alSourceStopv(2, v.sources);
    if (v.sound != sound) {
        const ALint loop = (sound->Flags() & SOUND_LOOP) ? AL_TRUE : AL_FALSE;
        alSourcei(v.sources[0], AL_BUFFER, ALint(sound->Left()));
        alSourcei(v.sources[1], AL_BUFFER, ALint(sound->Right()));
        for (ALuint s : v.sources) alSourcei(s, AL_LOOPING, loop);
        v.sound = sound;  // the old sound may go now that no source holds its buffers
    }
    ApplyGains(v);
    v.cued = cued;
    if (!cued) alSourcePlayv(2, v.sources);  // a stopped source plays from its start
}

int TALDevice::Alloc() {
    int index = -1;
    if (!spare.empty()) {
        index = spare.back();
        spare.pop_back();
    } else {
        // Take back the dropped voice started longest ago, cutting it off if it still plays.
        uint64_t oldest = UINT64_MAX;
        for (size_t i = 0; i < voices.size(); ++i) {
            if (voices[i].use == TVoice::DROPPED && voices[i].started < oldest) {
                oldest = voices[i].started;
                index = int(i);
            }
        }
        if (index < 0) return -1;
        TVoice& v = voices[size_t(index)];
        if (v.sound) {
            if (Sounding(v)) alSourceStopv(2, v.sources);
            Detach(v);
        }
    }
    TVoice& v = voices[size_t(index)];
    v.use = TVoice::HELD;
    v.volume = 1;
    v.pan = 0;
    if (v.rate != 1) {
        v.rate = 1;
        for (ALuint s : v.sources) alSourcef(s, AL_PITCH, 1.0f);
    }
    return index;
}

void TALDevice::Drop(int index) {
    TVoice& v = voices[size_t(index)];
    if (v.sound) {
        ALint state = State(v);
        if (state == AL_PLAYING && !v.cued) {
            v.use = TVoice::DROPPED;  // given back by a sweep once it ends
            return;
        }
        if (Sounding(v)) alSourceStopv(2, v.sources);  // paused: nobody can resume it now
        Detach(v);
    }
    v.use = TVoice::FREE;
    spare.push_back(index);
}

void TALDevice::Sweep(size_t count) {
    for (size_t n = 0; n < count && !voices.empty(); ++n) {
        cursor = (cursor + 1) % voices.size();
        TVoice& v = voices[cursor];
        if (!v.sound || v.cued || Sounding(v)) continue;
        Detach(v);  // ended: the sound is no longer needed here
        if (v.use == TVoice::DROPPED) {
            v.use = TVoice::FREE;
            spare.push_back(int(cursor));
        }
    }
}

bool TALDevice::Open(size_t count) {
    // Two sources a voice, all made now: as many pairs as the device gives, up to count.
    alGetError();
    for (size_t i = 0; i < count; ++i) {
        TVoice v;
        alGenSources(2, v.sources);
        if (alGetError() != AL_NO_ERROR) break;
        for (int side = 0; side < 2; ++side) {
            const ALuint s = v.sources[side];
            alSourcei(s, AL_SOURCE_RELATIVE, AL_TRUE);
            alSourcef(s, AL_ROLLOFF_FACTOR, 0.0f);
            alSource3f(s, AL_POSITION, side == 0 ? -1.0f : 1.0f, 0.0f, 0.0f);
        }
        voices.push_back(v);
    }
    for (size_t i = voices.size(); i-- > 0;) spare.push_back(int(i));  // handed out from index 0 up
    return !voices.empty() && alGetError() == AL_NO_ERROR;
}

void TALDevice::Close() {
    std::vector<ALuint> names;
    for (TVoice& v : voices) names.insert(names.end(), std::begin(v.sources), std::end(v.sources));
    if (!names.empty()) alSourceStopv(ALsizei(names.size()), names.data());
    for (TVoice& v : voices) Detach(v);
    if (!names.empty()) alDeleteSources(ALsizei(names.size()), names.data());
    voices.clear();
    spare.clear();
    for (ALuint buffer : buffers) alDeleteBuffers(1, &buffer);  // of sounds the program still holds
    buffers.clear();
    alcMakeContextCurrent(nullptr);
    if (context) alcDestroyContext(context);
    if (device) alcCloseDevice(device);
    context = nullptr;
    device = nullptr;
}

class TOpenALDriver : public TAudioDriver {
public:
    ~TOpenALDriver() override = default;  // ShutdownAudio closes the device before exit
    TString Name() override { return u"OpenAL"; }

    bool Startup() override {
        if (_device) return true;
        ALCdevice* device = alcOpenDevice(nullptr);
        if (!device) return false;
        std::vector<ALCint> attrs;
#ifdef ALC_HRTF_SOFT
        // Plain amplitude panning: head-related filtering would colour every sound.
        if (alcIsExtensionPresent(device, "ALC_SOFT_HRTF")) attrs.insert(attrs.end(), {ALC_HRTF_SOFT, ALC_FALSE});
#endif
        // Every source plays a mono buffer. Two sources a voice, the pool fits in the voice
        // list OpenAL Soft sets up with the context (256), which it would otherwise grow inside
        // alSourcePlay with the mixer stopped.
        attrs.insert(attrs.end(), {ALC_MONO_SOURCES, 2 * MAX_AUDIO_CHANNELS, ALC_STEREO_SOURCES, 0, 0});
        ALCcontext* context = alcCreateContext(device, attrs.data());
        if (!context || !alcMakeContextCurrent(context)) {
            if (context) alcDestroyContext(context);
            alcCloseDevice(device);
            return false;
        }
        auto state = std::make_shared<TALDevice>();
        state->device = device;
        state->context = context;
        state->floatFormats = alIsExtensionPresent("AL_EXT_FLOAT32");
        if (alIsExtensionPresent("AL_SOFT_deferred_updates")) {
            state->deferUpdates = reinterpret_cast<void(AL_APIENTRY*)()>(alGetProcAddress("alDeferUpdatesSOFT"));
            state->processUpdates = reinterpret_cast<void(AL_APIENTRY*)()>(alGetProcAddress("alProcessUpdatesSOFT"));
            if (!state->deferUpdates || !state->processUpdates) state->deferUpdates = state->processUpdates = nullptr;
        }
        alDistanceModel(AL_NONE);
        if (!state->Open(size_t(MAX_AUDIO_CHANNELS))) {
            state->Close();
            return false;
        }
        _device = std::move(state);
        return true;
    }

    void Shutdown() override {
        if (!_device) return;
        _device->Close();
        _device = nullptr;
    }

    Ref<TSound> CreateSound(const Ref<TSample>& sample, int32_t flags) override {
        if (!_device || !sample || !IsSampleFormat(sample->format) || sample->length < 1) return nullptr;
        if (sample->data.size() != size_t(sample->length) * size_t(sample->FrameBytes())) return nullptr;
        _device->Sweep(kSweep);
        Ref<TSample> source = sample;
        const bool stereo = sample->Channels() == 2;
        ALenum format;
        switch (sample->format) {
            case SF_MONO8: case SF_STEREO8: format = AL_FORMAT_MONO8; break;
            case SF_MONO16: case SF_STEREO16: format = AL_FORMAT_MONO16; break;
            default:
                if (_device->floatFormats) {
                    format = alGetEnumValue("AL_FORMAT_MONO_FLOAT32");
                } else {
                    source = sample->Convert(stereo ? SF_STEREO16 : SF_MONO16);
                    format = AL_FORMAT_MONO16;
                }
        }
        // A stereo sample becomes a left and a right buffer.
        std::vector<uint8_t> sides[2];
        const uint8_t* data[2] = {source->data.data(), nullptr};
        size_t bytes = source->data.size();
        if (stereo) {
            const size_t value = size_t(source->FrameBytes() / 2), frames = size_t(source->length);
            for (int side = 0; side < 2; ++side) {
                sides[side].resize(frames * value);
                for (size_t f = 0; f < frames; ++f)
                    std::memcpy(&sides[side][f * value], &source->data[(2 * f + size_t(side)) * value], value);
                data[side] = sides[side].data();
            }
            bytes = frames * value;
        }
        alGetError();
        ALuint buffers[2] = {0, 0};
        alGenBuffers(stereo ? 2 : 1, buffers);
        if (alGetError() != AL_NO_ERROR) return nullptr;
        for (int side = 0; side < (stereo ? 2 : 1); ++side)
            alBufferData(buffers[side], format, data[side], ALsizei(bytes), source->rate);
        if (alGetError() != AL_NO_ERROR) {
            alDeleteBuffers(stereo ? 2 : 1, buffers);
            return nullptr;
        }
        for (ALuint b : buffers)
            if (b) _device->buffers.insert(b);
        return std::make_shared<TALSound>(_device, buffers[0], buffers[1], *sample, flags);
    }

    Ref<TChannel> AllocChannel() override {
        if (!_device) return nullptr;
        _device->Sweep(kSweep);
        const int index = _device->Alloc();
        return index < 0 ? nullptr : std::make_shared<TALChannel>(_device, index);
    }

private:
    std::shared_ptr<TALDevice> _device;
};

}  // namespace

Ref<TAudioDriver> CreateOpenALAudioDriver() { return std::make_shared<TOpenALDriver>(); }

}  // namespace corvex
