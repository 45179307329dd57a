// The software mixer: a fixed pool of voices rendered into 16-bit stereo frames in memory, and
// the small device interface through which a driver hands those frames to an output. In-tree
// code only; programs reach it through CreateMixerAudioDriver (audio/audio.h).
//
// Threads: the device's thread calls Render while the main thread starts, stops and adjusts
// voices. Both take the mixer's one lock; Render never allocates or frees, so sample data is
// released on the main thread (Collect) once a voice that ended is given back.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <corvex/audio/audio.h>
#include <corvex/audio/sample.h>

namespace corvex::mixer {

// A sample converted once for mixing: 8- and 16-bit values as 16-bit, float values as float;
// one or two values a frame.
struct TMixData {
    int32_t channels = 1;
    int32_t rate = 0;
    int32_t length = 0;  // frames
    std::vector<int16_t> pcm16;  // integer samples
    std::vector<float> pcmFloat;  // float samples
    // Null for an unknown format, an empty sample or data of the wrong size.
    static std::shared_ptr<const TMixData> From(const TSample& sample);
};

// Gains of the pan law, shared with the OpenAL driver. Mono: constant power, left cos(t) and
// right sin(t) with t = (pan + 1) * pi / 4. Stereo: a balance; the far side's channel is scaled
// by cos(|pan| * pi / 2) and the near side plays unchanged.
void PanGains(bool stereo, float pan, float* left, float* right);

constexpr int32_t DEFAULT_MIX_RATE = 44100;
constexpr int32_t DEFAULT_VOICES = 256;

class TMixer {
public:
    TMixer(int32_t rate, int32_t voices);
    TMixer(const TMixer&) = delete;
    TMixer& operator=(const TMixer&) = delete;

    int32_t Rate() const { return _rate; }
    int32_t Voices() const { return int32_t(_voices.size()); }

    // ---- Main thread. Voices are indices 0..Voices()-1.
    // A free voice, marked held (a channel object owns it), or -1 when every voice is held or
    // still sounding.
    int32_t Acquire();
    // The channel object went away: the voice is freed now unless it is playing, in which case
    // it is freed when it ends. A dropped paused or cued voice can never be resumed, so it is
    // stopped.
    void Release(int32_t voice);
    // Starts data on the voice from its start (paused there when cued). The lock is taken once.
    void Start(int32_t voice, std::shared_ptr<const TMixData> data, bool loop, bool cued);
    void Stop(int32_t voice);
    void SetPaused(int32_t voice, bool paused);
    // Settings are clamped as the channel contract says; NaN (and a rate of 0 or below) is ignored.
    void SetVolume(int32_t voice, float volume);
    void SetPan(int32_t voice, float pan);
    void SetRate(int32_t voice, float rate);
    bool Playing(int32_t voice);  // started and not ended; paused and cued count
    bool Paused(int32_t voice);   // paused, or cued and not yet resumed
    // Drops the sample data of voices that ended (and frees voices nobody holds); cheap when
    // nothing ended since the last call.
    void Collect();
    // Stops every voice and drops all sample data; held voices stay held.
    void StopAll();

    // ---- Device thread: frames * 2 interleaved values (left, right), saturated once.
    void Render(int16_t* out, int32_t frames);

private:
    enum class TState : uint8_t { Idle, Playing, Paused, Ended };
    struct TVoice {
        std::shared_ptr<const TMixData> data;  // set and dropped by the main thread only
        bool held = false;
        bool loop = false;
        TState state = TState::Idle;
        uint64_t pos = 0;   // frames into the data, 32.32 fixed point
        uint64_t step = 0;  // per output frame, 32.32
        float volume = 1, pan = 0, rate = 1;
        float left = 0, right = 0;  // gains, volume and 16-bit scale included
    };
    static constexpr int32_t BLOCK = 1024;  // frames mixed at a time into the accumulator

    void Update(TVoice& v);  // gains and step from the settings; lock held
    void MixBlock(int16_t* out, int32_t frames);

    const int32_t _rate;
    std::mutex _lock;
    std::vector<TVoice> _voices;
    std::vector<float> _acc;           // BLOCK * 2, the float mix
    std::atomic<int32_t> _ended{0};    // voices that ended in Render since the last Collect
};

// Where the mixed frames go. Open starts pulling from the mixer (on a thread of the device's,
// or on demand for the memory device); after Close returns, Render is not called again.
class TMixDevice {
public:
    virtual ~TMixDevice() = default;
    virtual int32_t Rate() = 0;
    virtual bool Open(TMixer* mixer) = 0;  // false when the output does not open
    virtual void Close() = 0;
};

// A device that renders only when asked: for tests and benchmarks.
class TMemoryDevice : public TMixDevice {
public:
    explicit TMemoryDevice(int32_t rate = DEFAULT_MIX_RATE) : _rate(rate) {}
    int32_t Rate() override { return _rate; }
    bool Open(TMixer* mixer) override {
        _mixer = mixer;
        return true;
    }
    void Close() override { _mixer = nullptr; }
    bool IsOpen() const { return _mixer != nullptr; }
    // The next frames of the mix, interleaved left and right; empty when closed.
    std::vector<int16_t> Render(int32_t frames);

private:
    int32_t _rate;
    TMixer* _mixer = nullptr;
};

// The mixer driver on a device made at each Startup (Null: Startup fails), under the given name,
// with a pool of voices channels.
using TMixDeviceFactory = std::function<std::unique_ptr<TMixDevice>()>;
Ref<TAudioDriver> CreateMixerDriver(TMixDeviceFactory factory, const TString& name,
                                    int32_t voices = DEFAULT_VOICES);

#ifdef _WIN32
// The wave-out device: a ring of buffers on WAVE_MAPPER refilled from a thread of its own.
std::unique_ptr<TMixDevice> CreateWaveOutDevice(int32_t rate = DEFAULT_MIX_RATE);
#endif

}  // namespace corvex::mixer
