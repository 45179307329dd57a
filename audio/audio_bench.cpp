// Starting sounds and loading a one-minute Ogg Vorbis file, each beside the audio library
// driven directly (the baseline). OpenAL Soft runs on its null back end: it mixes in real time
// on its own thread and sends the result nowhere. The voice-start benchmarks time one start
// with that many voices already sounding, on a fresh device each iteration.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <AL/al.h>
#include <AL/alc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <corvex/audio/audio.h>
#include <corvex/audio/wav.h>

#include "audio/mixer.h"
#include "audio/test_sounds.h"

using namespace corvex;
using namespace corvex::testsounds;

namespace {

const bool g_configured = [] {
    const std::string conf = "/tmp/corvex-audio-bench-" + std::to_string(getpid()) + ".conf";
    const std::string text = "[general]\ndrivers=null\nsources=4096\n";  // room for the raw voice starts
    WriteFile(conf, Bytes(text.begin(), text.end()));
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    StartAudioModule();
    return true;
}();

Ref<TSample> ShortTone() {
    Ref<TSample> s = TSample::Create(4410, SF_MONO16, 44100);
    for (int i = 0; i < s->length; ++i) s->Write(i, 0, 0.5f * float(i % 100) / 100);
    return s;
}

void UseDriver(benchmark::State& state, const char16_t* name) {
    if (!g_configured || !SetAudioDriver(name)) state.SkipWithError("driver did not start");
}

void BM_PlaySoundOnChannel(benchmark::State& state) {
    UseDriver(state, u"OpenAL");
    Ref<TSound> sound = CreateSound(ShortTone(), 0);
    Ref<TChannel> channel = AllocChannel();
    for (auto _ : state) benchmark::DoNotOptimize(PlaySound(sound, channel));
    ShutdownAudio();
}
BENCHMARK(BM_PlaySoundOnChannel);

void BM_PlaySoundNewChannel(benchmark::State& state) {
    UseDriver(state, u"OpenAL");
    Ref<TSound> sound = CreateSound(ShortTone(), 0);
    for (auto _ : state) {
        Ref<TChannel> channel = PlaySound(sound);  // the previous one's source is reclaimed here
        StopChannel(channel);
    }
    ShutdownAudio();
}
BENCHMARK(BM_PlaySoundNewChannel);

// The baseline: what a restart costs in OpenAL calls alone.
void BM_RawOpenALRestart(benchmark::State& state) {
    UseDriver(state, u"OpenAL");
    Ref<TSample> tone = ShortTone();
    ALuint buffer, source;
    alGenBuffers(1, &buffer);
    alBufferData(buffer, AL_FORMAT_MONO16, tone->data.data(), ALsizei(tone->data.size()), tone->rate);
    alGenSources(1, &source);
    for (auto _ : state) {
        alSourceStop(source);
        alSourcei(source, AL_BUFFER, ALint(buffer));
        alSourceRewind(source);
        alSourcePlay(source);
    }
    alSourceStop(source);
    alDeleteSources(1, &source);
    alDeleteBuffers(1, &buffer);
    ShutdownAudio();
}
BENCHMARK(BM_RawOpenALRestart);

using TBenchClock = std::chrono::steady_clock;
double Since(TBenchClock::time_point t) { return std::chrono::duration<double>(TBenchClock::now() - t).count(); }

// PlaySound of the n-th sound, n - 1 looping sounds having been started and forgotten (beyond
// the pool, each start takes back the oldest).
void BM_StartVoice(benchmark::State& state) {
    const int n = int(state.range(0));
    Ref<TSound> sound;
    for (auto _ : state) {  // manual time: only the one start counts
        ShutdownAudio();
        UseDriver(state, u"OpenAL");
        sound = CreateSound(ShortTone(), SOUND_LOOP);
        for (int i = 1; i < n; ++i) PlaySound(sound);
        const auto start = TBenchClock::now();
        Ref<TChannel> channel = PlaySound(sound);
        state.SetIterationTime(Since(start));
        if (!channel) state.SkipWithError("no channel");
    }
    sound = nullptr;
    ShutdownAudio();
}
BENCHMARK(BM_StartVoice)->Arg(1)->Arg(2)->Arg(257)->Arg(1025)->Arg(2000)->Arg(2049)
    ->UseManualTime()->Iterations(30)->Unit(benchmark::kMicrosecond);

// The baseline: alSourcePlay of the n-th source on a fresh context, n - 1 playing.
void BM_RawStartVoice(benchmark::State& state) {
    const int n = int(state.range(0));
    ShutdownAudio();
    Ref<TSample> tone = ShortTone();
    for (auto _ : state) {  // manual time: only the one start counts
        ALCdevice* device = alcOpenDevice(nullptr);
        ALCcontext* context = device ? alcCreateContext(device, nullptr) : nullptr;
        if (!context || !alcMakeContextCurrent(context)) {
            state.SkipWithError("no device");
            break;
        }
        ALuint buffer;
        alGenBuffers(1, &buffer);
        alBufferData(buffer, AL_FORMAT_MONO16, tone->data.data(), ALsizei(tone->data.size()), tone->rate);
        std::vector<ALuint> sources(static_cast<size_t>(n));
        alGenSources(n, sources.data());
        for (ALuint s : sources) {
            alSourcei(s, AL_BUFFER, ALint(buffer));
            alSourcei(s, AL_LOOPING, AL_TRUE);
        }
        for (int i = 0; i + 1 < n; ++i) alSourcePlay(sources[size_t(i)]);
        const auto start = TBenchClock::now();
        alSourcePlay(sources.back());
        state.SetIterationTime(Since(start));
        if (alGetError() != AL_NO_ERROR) state.SkipWithError("AL error");
        alSourceStopv(n, sources.data());
        alDeleteSources(n, sources.data());
        alDeleteBuffers(1, &buffer);
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(context);
        alcCloseDevice(device);
    }
}
BENCHMARK(BM_RawStartVoice)->Arg(1)->Arg(2)->Arg(257)->Arg(1025)->Arg(2000)->Arg(2049)
    ->UseManualTime()->Iterations(10)->Unit(benchmark::kMicrosecond);

void BM_PlaySoundSilent(benchmark::State& state) {
    UseDriver(state, u"Silent");
    Ref<TSound> sound = CreateSound(ShortTone(), 0);
    Ref<TChannel> channel = AllocChannel();
    for (auto _ : state) benchmark::DoNotOptimize(PlaySound(sound, channel));
    ShutdownAudio();
}
BENCHMARK(BM_PlaySoundSilent);

// ---- One minute of stereo 44.1 kHz music-like sound (three drifting tones), Vorbis quality 0.4.
const Bytes& MinuteOgg() {
    static const Bytes ogg = [] {
        TWave wave = Sine(44100, 44100 * 60, {220, 331}, 0.3);
        const TWave upper = Sine(44100, 44100 * 60, {1250, 990}, 0.1);
        for (size_t i = 0; i < wave.values.size(); ++i) wave.values[i] += upper.values[i];
        return EncodeOgg(wave, 0.4f);
    }();
    return ogg;
}

void BM_LoadOggMinute(benchmark::State& state) {
    const Bytes& ogg = MinuteOgg();
    for (auto _ : state) {
        Ref<TSample> s = LoadSample(TRamStream::Create(ogg.data(), int32_t(ogg.size()), true));
        if (!s || s->length != 44100 * 60) state.SkipWithError("did not load");
        benchmark::DoNotOptimize(s);
    }
    state.counters["file_KB"] = double(ogg.size()) / 1024;
}
BENCHMARK(BM_LoadOggMinute)->Unit(benchmark::kMillisecond)->Iterations(5);

struct TMemory {
    const Bytes* bytes;
    size_t at;
};

// The baseline: libvorbisfile from memory into a buffer sized up front, no framework code.
void BM_RawVorbisfileMinute(benchmark::State& state) {
    const Bytes& ogg = MinuteOgg();
    ov_callbacks callbacks{
        [](void* out, size_t size, size_t count, void* src) -> size_t {
            auto* m = static_cast<TMemory*>(src);
            const size_t n = std::min(size * count, m->bytes->size() - m->at);
            std::memcpy(out, m->bytes->data() + m->at, n);
            m->at += n;
            return n / size;
        },
        [](void* src, ogg_int64_t offset, int whence) -> int {
            auto* m = static_cast<TMemory*>(src);
            const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(m->at) : int64_t(m->bytes->size());
            if (base + offset < 0 || base + offset > int64_t(m->bytes->size())) return -1;
            m->at = size_t(base + offset);
            return 0;
        },
        nullptr, [](void* src) -> long { return long(static_cast<TMemory*>(src)->at); }};
    for (auto _ : state) {
        TMemory memory{&ogg, 0};
        OggVorbis_File vf;
        if (ov_open_callbacks(&memory, &vf, nullptr, 0, callbacks) != 0) {
            state.SkipWithError("open failed");
            break;
        }
        std::vector<char> pcm(size_t(ov_pcm_total(&vf, -1)) * 4);
        size_t at = 0;
        int section;
        long got;
        while (at < pcm.size() && (got = ov_read(&vf, pcm.data() + at, int(std::min<size_t>(8192, pcm.size() - at)), 0, 2, 1, &section)) > 0)
            at += size_t(got);
        ov_clear(&vf);
        benchmark::DoNotOptimize(pcm.data());
    }
}
BENCHMARK(BM_RawVorbisfileMinute)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadWavMinute(benchmark::State& state) {
    TWavLayout layout;
    layout.channels = 2;
    layout.data = PackPcm(Sine(44100, 44100 * 60, {220, 331}, 0.3), 16, false);
    const Bytes wav = BuildWav(layout);
    for (auto _ : state) {
        Ref<TSample> s = LoadSample(TRamStream::Create(wav.data(), int32_t(wav.size()), true));
        if (!s) state.SkipWithError("did not load");
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_LoadWavMinute)->Unit(benchmark::kMillisecond)->Iterations(5);

// ---- The software mixer: one second of 44.1 kHz stereo output from looping mono 16-bit voices,
// rendered in 20 ms pieces as the wave-out device asks for it.
constexpr int32_t kMixRate = 44100, kPiece = 882;

std::vector<std::shared_ptr<const mixer::TMixData>> VoiceData(int64_t voices, int32_t rate) {
    std::vector<std::shared_ptr<const mixer::TMixData>> data;
    for (int64_t v = 0; v < voices; ++v) {
        Ref<TSample> s = TSample::Create(rate / 2 + int32_t(v), SF_MONO16, rate);  // unequal lengths
        for (int i = 0; i < s->length; ++i) s->Write(i, 0, 0.5f * float(std::sin(0.01 * double((v + 1) * i))));
        data.push_back(mixer::TMixData::From(*s));
    }
    return data;
}

void MixVoices(benchmark::State& state, int32_t sampleRate, bool varyRate) {
    const int64_t voices = state.range(0);
    const auto data = VoiceData(voices, sampleRate);
    mixer::TMixer mix(kMixRate, int32_t(voices));
    for (int64_t v = 0; v < voices; ++v) {
        const int32_t voice = mix.Acquire();
        mix.SetVolume(voice, 1.0f / float(voices));
        mix.SetPan(voice, float(v % 5) / 2 - 1);
        if (varyRate) mix.SetRate(voice, 0.75f + float(v % 8) / 16);
        mix.Start(voice, data[size_t(v)], true, false);
    }
    std::vector<int16_t> out(2 * size_t(kMixRate));
    for (auto _ : state) {
        for (int32_t at = 0; at < kMixRate; at += kPiece) mix.Render(out.data() + 2 * at, kPiece);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["voices"] = double(voices);
}

// Voices at the device's rate: the same samples the baseline sums, interpolated.
void BM_MixVoices(benchmark::State& state) { MixVoices(state, kMixRate, false); }
BENCHMARK(BM_MixVoices)->Arg(32)->Arg(256)->Unit(benchmark::kMillisecond);

// 22.05 kHz voices at rates 0.75 to 1.19: every voice resampled.
void BM_MixVoicesResampled(benchmark::State& state) { MixVoices(state, 22050, true); }
BENCHMARK(BM_MixVoicesResampled)->Arg(32)->Arg(256)->Unit(benchmark::kMillisecond);

// The baseline: a plain loop that sums the same samples with the same gains into floats, one
// voice after another, and saturates once, with no interpolation, lock or voice bookkeeping.
void BM_SumVoices(benchmark::State& state) {
    const int64_t voices = state.range(0);
    const auto data = VoiceData(voices, kMixRate);
    std::vector<size_t> pos(size_t(voices), 0);
    std::vector<float> acc(2 * kPiece);
    std::vector<int16_t> out(2 * size_t(kMixRate));
    const float gain = 1.0f / float(voices) / 32768.0f;
    for (auto _ : state) {
        for (int32_t at = 0; at < kMixRate; at += kPiece) {
            std::fill(acc.begin(), acc.end(), 0.0f);
            for (int64_t v = 0; v < voices; ++v) {
                const mixer::TMixData& d = *data[size_t(v)];
                const float gl = gain * (1 - float(v % 5) / 4), gr = gain * float(v % 5) / 4;
                size_t p = pos[size_t(v)];
                for (int32_t f = 0; f < kPiece; ++f) {
                    const float s = float(d.pcm16[p]);
                    acc[2 * size_t(f)] += s * gl;
                    acc[2 * size_t(f) + 1] += s * gr;
                    if (++p == d.pcm16.size()) p = 0;
                }
                pos[size_t(v)] = p;
            }
            for (size_t i = 0; i < acc.size(); ++i)
                out[2 * size_t(at) + i] = int16_t(std::lrint(std::clamp(acc[i] * 32768.0f, -32768.0f, 32767.0f)));
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["voices"] = double(voices);
}
BENCHMARK(BM_SumVoices)->Arg(32)->Arg(256)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
