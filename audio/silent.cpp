// The silent driver: every call succeeds and nothing is heard. Channels still keep time, so
// a program that waits for a sound to end waits as long as it would with a device. Sounds and
// channels hold the driver's session weakly: once it shuts down, they have stopped and play
// nothing, as with the OpenAL driver.
#include <chrono>

#include <corvex/audio/audio.h>

#include "audio/audio_util.h"

namespace corvex {
namespace {

using TClock = std::chrono::steady_clock;

class TSilentSound;
struct TSession {};  // lives from Startup to Shutdown

class TSilentChannel : public TChannel {
public:
    explicit TSilentChannel(std::weak_ptr<TSession> session) : _session(std::move(session)) {}
    bool BelongsTo(const std::shared_ptr<TSession>& session) const { return _session.lock() == session; }
    void Start(const Ref<TSilentSound>& sound, bool cued);
    void Stop() override { _sound = nullptr; }
    void SetPaused(bool paused) override {
        if (!Live() || paused == _paused) return;
        if (paused) {
            _played += Elapsed();
        } else {
            _since = TClock::now();
        }
        _paused = paused;
    }
    void SetVolume(float volume) override { _volume = detail::ClampSetting(volume, 0, 1, _volume); }
    void SetPan(float pan) override { _pan = detail::ClampSetting(pan, -1, 1, _pan); }
    void SetRate(float rate) override {
        if (!_paused) _played += Elapsed();
        _since = TClock::now();
        _rate = detail::ClampRate(rate, _rate);
    }
    bool Playing() override;
    bool Paused() override { return Live() && _paused; }

private:
    bool Live() {  // a sound is on, and the driver has not shut down since it started
        if (_session.expired()) _sound = nullptr;
        return _sound != nullptr;
    }
    // Seconds of the sound heard since the last resume, at the current rate.
    double Elapsed() const { return std::chrono::duration<double>(TClock::now() - _since).count() * _rate; }
    std::weak_ptr<TSession> _session;
    Ref<TSilentSound> _sound;
    bool _paused = false;
    double _played = 0;  // seconds of the sound before _since
    TClock::time_point _since;
    float _volume = 1, _pan = 0, _rate = 1;
};

class TSilentSound : public TSound, public std::enable_shared_from_this<TSilentSound> {
public:
    TSilentSound(std::weak_ptr<TSession> session, const TSample& sample, int32_t flags) : _session(std::move(session)) {
        _flags = flags;
        _length = sample.length;
        _rate = sample.rate;
    }
    Ref<TChannel> Play(const Ref<TChannel>& channel) override { return Start(channel, false); }
    Ref<TChannel> Cue(const Ref<TChannel>& channel) override { return Start(channel, true); }
    double Seconds() const { return double(_length) / _rate; }

private:
    Ref<TChannel> Start(const Ref<TChannel>& channel, bool cued) {
        auto session = _session.lock();
        if (!session) return nullptr;
        Ref<TSilentChannel> target = std::dynamic_pointer_cast<TSilentChannel>(channel);
        if (!target || !target->BelongsTo(session)) target = std::make_shared<TSilentChannel>(session);
        target->Start(shared_from_this(), cued);
        return target;
    }
    std::weak_ptr<TSession> _session;
};

void TSilentChannel::Start(const Ref<TSilentSound>& sound, bool cued) {
    _sound = sound;
    _paused = cued;
    _played = 0;
    _since = TClock::now();
}

bool TSilentChannel::Playing() {
    if (!Live()) return false;
    if (_sound->Flags() & SOUND_LOOP) return true;
    const double heard = _played + (_paused ? 0.0 : Elapsed());
    if (heard < _sound->Seconds()) return true;
    _sound = nullptr;
    return false;
}

class TSilentDriver : public TAudioDriver {
public:
    TString Name() override { return u"Silent"; }
    bool Startup() override {
        if (!_session) _session = std::make_shared<TSession>();
        return true;
    }
    void Shutdown() override { _session = nullptr; }  // every channel of the session stops
    Ref<TSound> CreateSound(const Ref<TSample>& sample, int32_t flags) override {
        if (!_session || !sample || !IsSampleFormat(sample->format) || sample->rate <= 0) return nullptr;
        return std::make_shared<TSilentSound>(_session, *sample, flags);
    }
    Ref<TChannel> AllocChannel() override { return _session ? std::make_shared<TSilentChannel>(_session) : nullptr; }

private:
    std::shared_ptr<TSession> _session;
};

}  // namespace

Ref<TAudioDriver> CreateSilentAudioDriver() { return std::make_shared<TSilentDriver>(); }

}  // namespace corvex
