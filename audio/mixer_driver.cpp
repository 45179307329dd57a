// The mixer driver: sounds are samples converted for the software mixer, channels are voices of
// its fixed pool, and a device pulls the mix. Sounds and channels hold the driver's state
// weakly: after a shutdown they do nothing.
#include <corvex/audio/audio.h>

#include "audio/mixer.h"

namespace corvex {
namespace mixer {
namespace {

// What exists while the driver is started.
struct TMixState {
    std::unique_ptr<TMixer> mixer;
    std::unique_ptr<TMixDevice> device;
};

class TMixChannel : public TChannel {
public:
    TMixChannel(std::weak_ptr<TMixState> state, int32_t voice) : _state(std::move(state)), _voice(voice) {}
    ~TMixChannel() override {
        if (auto state = _state.lock()) state->mixer->Release(_voice);
    }
    bool BelongsTo(const std::shared_ptr<TMixState>& state) const { return _state.lock() == state; }
    int32_t Voice() const { return _voice; }

    void Stop() override {
        if (auto m = Mixer()) m->Stop(_voice);
    }
    void SetPaused(bool paused) override {
        if (auto m = Mixer()) m->SetPaused(_voice, paused);
    }
    void SetVolume(float volume) override {
        if (auto m = Mixer()) m->SetVolume(_voice, volume);
    }
    void SetPan(float pan) override {
        if (auto m = Mixer()) m->SetPan(_voice, pan);
    }
    void SetRate(float rate) override {
        if (auto m = Mixer()) m->SetRate(_voice, rate);
    }
    bool Playing() override {
        auto m = Mixer();
        if (!m) return false;
        m->Collect();  // a good moment to let go of what ended
        return m->Playing(_voice);
    }
    bool Paused() override {
        auto m = Mixer();
        return m && m->Paused(_voice);
    }

private:
    // The mixer while the driver that made this channel is started; kept alive for the call.
    struct TLive {
        std::shared_ptr<TMixState> state;
        TMixer* operator->() const { return state->mixer.get(); }
        explicit operator bool() const { return state != nullptr; }
    };
    TLive Mixer() const { return TLive{_state.lock()}; }

    std::weak_ptr<TMixState> _state;
    int32_t _voice;
};

class TMixSound : public TSound, public std::enable_shared_from_this<TMixSound> {
public:
    TMixSound(std::weak_ptr<TMixState> state, std::shared_ptr<const TMixData> data, int32_t flags)
        : _state(std::move(state)), _data(std::move(data)) {
        _flags = flags;
        _length = _data->length;
        _rate = _data->rate;
    }
    Ref<TChannel> Play(const Ref<TChannel>& channel) override { return Start(channel, false); }
    Ref<TChannel> Cue(const Ref<TChannel>& channel) override { return Start(channel, true); }

private:
    Ref<TChannel> Start(const Ref<TChannel>& channel, bool cued) {
        auto state = _state.lock();
        if (!state) return nullptr;
        state->mixer->Collect();
        Ref<TMixChannel> target = std::dynamic_pointer_cast<TMixChannel>(channel);
        if (!target || !target->BelongsTo(state)) {
            const int32_t voice = state->mixer->Acquire();
            if (voice < 0) return nullptr;
            target = std::make_shared<TMixChannel>(state, voice);
        }
        state->mixer->Start(target->Voice(), _data, (_flags & SOUND_LOOP) != 0, cued);
        return target;
    }

    std::weak_ptr<TMixState> _state;
    std::shared_ptr<const TMixData> _data;
};

class TMixerDriver : public TAudioDriver {
public:
    TMixerDriver(TMixDeviceFactory factory, const TString& name, int32_t voices)
        : _factory(std::move(factory)), _name(name), _voices(voices) {}
    ~TMixerDriver() override { Shutdown(); }
    TString Name() override { return _name; }

    bool Startup() override {
        if (_state) return true;
        std::unique_ptr<TMixDevice> device = _factory ? _factory() : nullptr;
        if (!device) return false;
        auto state = std::make_shared<TMixState>();
        state->mixer = std::make_unique<TMixer>(device->Rate(), _voices);
        if (!device->Open(state->mixer.get())) return false;
        state->device = std::move(device);
        _state = std::move(state);
        return true;
    }
    void Shutdown() override {
        if (!_state) return;
        _state->device->Close();  // no Render after this
        _state->mixer->StopAll();
        _state = nullptr;
    }
    Ref<TSound> CreateSound(const Ref<TSample>& sample, int32_t flags) override {
        if (!_state || !sample) return nullptr;
        _state->mixer->Collect();
        std::shared_ptr<const TMixData> data = TMixData::From(*sample);
        if (!data) return nullptr;
        return std::make_shared<TMixSound>(_state, std::move(data), flags);
    }
    Ref<TChannel> AllocChannel() override {
        if (!_state) return nullptr;
        _state->mixer->Collect();
        const int32_t voice = _state->mixer->Acquire();
        return voice < 0 ? nullptr : std::make_shared<TMixChannel>(_state, voice);
    }

private:
    TMixDeviceFactory _factory;
    TString _name;
    int32_t _voices;
    std::shared_ptr<TMixState> _state;
};

}  // namespace

Ref<TAudioDriver> CreateMixerDriver(TMixDeviceFactory factory, const TString& name, int32_t voices) {
    return std::make_shared<TMixerDriver>(std::move(factory), name, voices);
}

}  // namespace mixer

Ref<TAudioDriver> CreateMixerAudioDriver() {
#ifdef _WIN32
    return mixer::CreateMixerDriver([] { return mixer::CreateWaveOutDevice(); }, u"Mixer");
#else
    return mixer::CreateMixerDriver(nullptr, u"Mixer");
#endif
}

}  // namespace corvex
