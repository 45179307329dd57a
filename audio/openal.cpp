// The OpenAL driver: one device and context, a buffer per sound and a source per channel.
// OpenAL mixes on its own thread; nothing here hands it a callback, so framework state is only
// ever touched from the calls the program makes.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <cmath>
#include <set>
#include <vector>

#include <corvex/audio/audio.h>

#include "audio/audio_util.h"

namespace corvex {
namespace {

class TALChannel;

// What sounds and channels share with their driver while its device is open. They hold it
// weakly: once the driver shuts down, their AL names are gone and they do nothing.
struct TALDevice {
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool floatFormats = false;
    bool stereoAngles = false;
    bool directChannels = false;
    std::vector<Ref<TALChannel>> channels;  // every channel with a source
    std::set<ALuint> buffers;               // every buffer a sound owns

    void Close();
    Ref<TALChannel> NewChannel(const std::shared_ptr<TALDevice>& self);
};

class TALSound : public TSound, public std::enable_shared_from_this<TALSound> {
public:
    TALSound(std::weak_ptr<TALDevice> device, ALuint buffer, const TSample& sample, int32_t flags)
        : _device(std::move(device)), _buffer(buffer), _stereo(sample.Channels() == 2) {
        _flags = flags;
        _length = sample.length;
        _rate = sample.rate;
    }
    ~TALSound() override {
        if (auto device = _device.lock()) {
            device->buffers.erase(_buffer);
            alDeleteBuffers(1, &_buffer);
        }
    }
    Ref<TChannel> Play(const Ref<TChannel>& channel) override { return Start(channel, false); }
    Ref<TChannel> Cue(const Ref<TChannel>& channel) override { return Start(channel, true); }
    ALuint Buffer() const { return _buffer; }
    bool Stereo() const { return _stereo; }

private:
    Ref<TChannel> Start(const Ref<TChannel>& channel, bool cued);
    std::weak_ptr<TALDevice> _device;
    ALuint _buffer;
    bool _stereo;
};

class TALChannel : public TChannel {
public:
    TALChannel(std::weak_ptr<TALDevice> device, ALuint source) : _device(std::move(device)), _source(source) {}

    bool BelongsTo(const std::shared_ptr<TALDevice>& device) const { return _device.lock() == device; }
    void Release() {  // the device closes: the source is deleted with it
        _source = 0;
        _sound = nullptr;
        _cued = false;
    }
    ALuint Source() const { return _source; }

    void Start(const Ref<TALSound>& sound, bool cued) {
        auto device = Live();
        if (!device) return;
        alSourceStop(_source);
        alSourcei(_source, AL_BUFFER, 0);
        _sound = sound;  // the old sound may go now that no source holds its buffer
        alSourcei(_source, AL_BUFFER, ALint(sound->Buffer()));
        alSourcei(_source, AL_LOOPING, (sound->Flags() & SOUND_LOOP) ? AL_TRUE : AL_FALSE);
        ApplyPan(*device);
        alSourceRewind(_source);  // AL_INITIAL: at the start, not playing
        _cued = cued;
        if (!cued) alSourcePlay(_source);
    }
    void Stop() override {
        if (!Live()) return;
        alSourceStop(_source);
        _cued = false;
    }
    void SetPaused(bool paused) override {
        if (!Live() || !_sound) return;
        const ALint state = State();
        if (paused) {
            if (state == AL_PLAYING) alSourcePause(_source);
        } else if (_cued || state == AL_PAUSED) {
            _cued = false;
            alSourcePlay(_source);
        }
    }
    void SetVolume(float volume) override {
        _volume = detail::ClampSetting(volume, 0, 1, _volume);
        if (Live()) alSourcef(_source, AL_GAIN, _volume);
    }
    void SetPan(float pan) override {
        _pan = detail::ClampSetting(pan, -1, 1, _pan);
        if (auto device = Live()) ApplyPan(*device);
    }
    void SetRate(float rate) override {
        _rate = detail::ClampRate(rate, _rate);
        if (Live()) alSourcef(_source, AL_PITCH, _rate);
    }
    bool Playing() override {
        if (!Live() || !_sound) return false;
        const ALint state = State();
        return _cued || state == AL_PLAYING || state == AL_PAUSED;
    }
    bool Paused() override {
        if (!Live() || !_sound) return false;
        return _cued || State() == AL_PAUSED;
    }
    // A channel the program no longer holds and that makes no sound can give its source back.
    bool Idle() {
        return !Live() || (!_cued && State() != AL_PLAYING);
    }

    void Configure() {  // fixed per-source settings: no distance attenuation, listener-relative
        alSourcei(_source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(_source, AL_ROLLOFF_FACTOR, 0.0f);
        alSourcef(_source, AL_GAIN, _volume);
        alSourcef(_source, AL_PITCH, _rate);
    }

private:
    std::shared_ptr<TALDevice> Live() const {
        auto device = _device.lock();
        return device && _source != 0 ? device : nullptr;
    }
    ALint State() const {
        ALint state = AL_STOPPED;
        alGetSourcei(_source, AL_SOURCE_STATE, &state);
        return state;
    }
    // Mono sounds move on a half circle in front of the listener, from hard left through
    // centre to hard right. Stereo sounds play their channels unchanged at centre and have
    // both channels' angles turned towards the side otherwise.
    void ApplyPan(const TALDevice& device) {
        const float p = _pan;
        alSource3f(_source, AL_POSITION, p, 0.0f, -std::sqrt(std::max(0.0f, 1.0f - p * p)));
        if (!_sound || !_sound->Stereo()) return;
#ifdef AL_DIRECT_CHANNELS_SOFT
        if (device.directChannels) alSourcei(_source, AL_DIRECT_CHANNELS_SOFT, p == 0.0f ? AL_TRUE : AL_FALSE);
#endif
#ifdef AL_STEREO_ANGLES
        if (device.stereoAngles) {
            const float pi = 3.14159265f, side = p < 0 ? pi / 2 : -pi / 2, t = std::fabs(p);
            const ALfloat angles[2] = {pi / 6 + (side - pi / 6) * t, -pi / 6 + (side + pi / 6) * t};
            alSourcefv(_source, AL_STEREO_ANGLES, angles);
        }
#endif
        (void)device;
    }

    std::weak_ptr<TALDevice> _device;
    ALuint _source;
    Ref<TALSound> _sound;
    bool _cued = false;
    float _volume = 1, _pan = 0, _rate = 1;
};

Ref<TChannel> TALSound::Start(const Ref<TChannel>& channel, bool cued) {
    auto device = _device.lock();
    if (!device) return nullptr;
    Ref<TALChannel> target = std::dynamic_pointer_cast<TALChannel>(channel);
    if (!target || !target->BelongsTo(device) || target->Source() == 0) target = device->NewChannel(device);
    if (!target) return nullptr;
    target->Start(shared_from_this(), cued);
    return target;
}

Ref<TALChannel> TALDevice::NewChannel(const std::shared_ptr<TALDevice>& self) {
    // Give back the sources of channels nobody holds that are silent.
    for (size_t i = channels.size(); i-- > 0;) {
        if (channels[i].use_count() == 1 && channels[i]->Idle()) {
            ALuint source = channels[i]->Source();
            channels[i]->Release();
            alDeleteSources(1, &source);
            channels.erase(channels.begin() + long(i));
        }
    }
    alGetError();
    ALuint source = 0;
    alGenSources(1, &source);
    if (alGetError() != AL_NO_ERROR || source == 0) return nullptr;
    auto channel = std::make_shared<TALChannel>(self, source);
    channel->Configure();
    channels.push_back(channel);
    return channel;
}

void TALDevice::Close() {
    for (const Ref<TALChannel>& channel : channels) {
        ALuint source = channel->Source();
        channel->Release();
        alSourceStop(source);
        alDeleteSources(1, &source);
    }
    channels.clear();
    for (ALuint buffer : buffers) alDeleteBuffers(1, &buffer);
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
        attrs.push_back(0);
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
        state->stereoAngles = alIsExtensionPresent("AL_EXT_STEREO_ANGLES");
        state->directChannels = alIsExtensionPresent("AL_SOFT_direct_channels");
        alDistanceModel(AL_NONE);
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
        Ref<TSample> source = sample;
        bool stereo = sample->Channels() == 2;
        ALenum format;
        switch (sample->format) {
            case SF_MONO8: format = AL_FORMAT_MONO8; break;
            case SF_STEREO8: format = AL_FORMAT_STEREO8; break;
            case SF_MONO16: format = AL_FORMAT_MONO16; break;
            case SF_STEREO16: format = AL_FORMAT_STEREO16; break;
            default:
                if (_device->floatFormats) {
                    format = alGetEnumValue(stereo ? "AL_FORMAT_STEREO_FLOAT32" : "AL_FORMAT_MONO_FLOAT32");
                } else {
                    source = sample->Convert(stereo ? SF_STEREO16 : SF_MONO16);
                    format = stereo ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
                }
        }
        alGetError();
        ALuint buffer = 0;
        alGenBuffers(1, &buffer);
        if (alGetError() != AL_NO_ERROR) return nullptr;
        alBufferData(buffer, format, source->data.data(), ALsizei(source->data.size()), source->rate);
        if (alGetError() != AL_NO_ERROR) {
            alDeleteBuffers(1, &buffer);
            return nullptr;
        }
        _device->buffers.insert(buffer);
        return std::make_shared<TALSound>(_device, buffer, *sample, flags);
    }

    Ref<TChannel> AllocChannel() override { return _device ? _device->NewChannel(_device) : nullptr; }

private:
    std::shared_ptr<TALDevice> _device;
};

}  // namespace

Ref<TAudioDriver> CreateOpenALAudioDriver() { return std::make_shared<TOpenALDriver>(); }

}  // namespace corvex
