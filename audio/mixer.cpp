#include "audio/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/audio_util.h"

namespace corvex::mixer {

// ---- Sample data

std::shared_ptr<const TMixData> TMixData::From(const TSample& sample) {
    if (!IsSampleFormat(sample.format) || sample.length < 1 || !SampleRateAllowed(sample.rate)) return nullptr;
    if (sample.data.size() != size_t(sample.length) * size_t(sample.FrameBytes())) return nullptr;
    auto data = std::make_shared<TMixData>();
    data->channels = sample.Channels();
    data->rate = sample.rate;
    data->length = sample.length;
    const size_t values = size_t(sample.length) * size_t(data->channels);
    const uint8_t* p = sample.data.data();
    switch (SampleFormatValueBytes(sample.format)) {
        case 1:  // unsigned 8-bit: exact in 16 bits
            data->pcm16.resize(values);
            for (size_t i = 0; i < values; ++i) data->pcm16[i] = int16_t((int32_t(p[i]) - 128) * 256);
            break;
        case 2:
            data->pcm16.resize(values);
            for (size_t i = 0; i < values; ++i) data->pcm16[i] = int16_t(uint16_t(p[2 * i] | p[2 * i + 1] << 8));
            break;
        default:
            data->pcmFloat.resize(values);
            std::memcpy(data->pcmFloat.data(), p, values * sizeof(float));
            // A NaN or infinity would poison the whole mix: silence it.
            for (float& v : data->pcmFloat)
                if (!std::isfinite(v)) v = 0;
    }
    return data;
}

// ---- Pan law

void PanGains(bool stereo, float pan, float* left, float* right) {
    constexpr double pi = 3.14159265358979323846;
    if (!stereo) {
        const double t = (double(pan) + 1) * pi / 4;
        *left = float(std::cos(t));
        *right = float(std::sin(t));
        return;
    }
    const float far = float(std::cos(std::fabs(double(pan)) * pi / 2));
    *left = pan > 0 ? far : 1.0f;
    *right = pan < 0 ? far : 1.0f;
}

// ---- Mixing one voice

namespace {

constexpr double FRAC = 4294967296.0;  // 2^32: the fixed-point unit
constexpr float INV_FRAC = float(1.0 / FRAC);

inline float Value(const int16_t* d, size_t i) { return float(d[i]); }
inline float Value(const float* d, size_t i) { return d[i]; }

// Adds frames of the voice into acc (interleaved stereo), interpolating linearly between
// neighbouring frames. The frame after the last is the first when looping and silence
// otherwise. Returns false when a one-shot voice reached its end.
template <typename T, int C>
bool MixVoice(const T* d, int32_t length, bool loop, uint64_t& pos, uint64_t step, float gl, float gr,
              float* acc, int32_t frames) {
    const uint64_t end = uint64_t(length) << 32;
    const uint64_t safe = uint64_t(length - 1) << 32;  // below it, frame i + 1 exists
    int32_t f = 0;
    while (f < frames) {
        if (pos >= end) {
            if (!loop) return false;
            pos %= end;
        }
        if (pos < safe) {
            const uint64_t run = (safe - pos + step - 1) / step;
            const int32_t n = int32_t(std::min<uint64_t>(run, uint64_t(frames - f)));
            float* a = acc + 2 * f;
            for (int32_t k = 0; k < n; ++k, pos += step, a += 2) {
                const size_t i = size_t(pos >> 32);
                const float t = float(uint32_t(pos)) * INV_FRAC;
                if constexpr (C == 1) {
                    const float s0 = Value(d, i), s = s0 + (Value(d, i + 1) - s0) * t;
                    a[0] += s * gl;
                    a[1] += s * gr;
                } else {
                    const float l0 = Value(d, 2 * i), r0 = Value(d, 2 * i + 1);
                    a[0] += (l0 + (Value(d, 2 * i + 2) - l0) * t) * gl;
                    a[1] += (r0 + (Value(d, 2 * i + 3) - r0) * t) * gr;
                }
            }
            f += n;
            continue;
        }
        // The last frame: its neighbour is the first frame or silence.
        const size_t i = size_t(pos >> 32);
        const float t = float(uint32_t(pos)) * INV_FRAC;
        float* a = acc + 2 * f;
        for (int c = 0; c < C; ++c) {
            const float s0 = Value(d, i * C + size_t(c)), s1 = loop ? Value(d, size_t(c)) : 0.0f;
            const float s = s0 + (s1 - s0) * t;
            if constexpr (C == 1) {
                a[0] += s * gl;
                a[1] += s * gr;
            } else {
                a[c] += s * (c == 0 ? gl : gr);
            }
        }
        pos += step;
        ++f;
    }
    return true;
}

}  // namespace

// ---- The mixer

TMixer::TMixer(int32_t rate, int32_t voices)
    : _rate(rate > 0 ? rate : DEFAULT_MIX_RATE), _voices(size_t(std::max(voices, 1))), _acc(2 * BLOCK) {}

void TMixer::Update(TVoice& v) {
    if (!v.data) return;
    const bool stereo = v.data->channels == 2;
    float l, r;
    PanGains(stereo, v.pan, &l, &r);
    const float scale = v.data->pcm16.empty() ? v.volume : v.volume / 32768.0f;
    v.left = l * scale;
    v.right = r * scale;
    const double step = double(v.rate) * v.data->rate / _rate * FRAC;
    v.step = std::max<uint64_t>(1, uint64_t(std::llround(step)));
}

int32_t TMixer::Acquire() {
    std::shared_ptr<const TMixData> drop;
    std::lock_guard<std::mutex> guard(_lock);
    for (size_t i = 0; i < _voices.size(); ++i) {
        TVoice& v = _voices[i];
        if (v.held || v.state == TState::Playing) continue;
        // A voice nobody holds may still have data: it ended in Render since the last Collect.
        drop = std::move(v.data);
        v = TVoice();
        v.held = true;
        return int32_t(i);
    }
    return -1;
}

void TMixer::Release(int32_t voice) {
    std::shared_ptr<const TMixData> drop;
    std::lock_guard<std::mutex> guard(_lock);
    TVoice& v = _voices[size_t(voice)];
    v.held = false;
    if (v.state != TState::Playing) {
        v.state = TState::Idle;
        drop = std::move(v.data);
    }
}

void TMixer::Start(int32_t voice, std::shared_ptr<const TMixData> data, bool loop, bool cued) {
    std::lock_guard<std::mutex> guard(_lock);
    TVoice& v = _voices[size_t(voice)];
    std::swap(v.data, data);  // the old data is dropped after the lock, when data goes
    v.loop = loop;
    v.pos = 0;
    v.state = cued ? TState::Paused : TState::Playing;
    Update(v);
}

void TMixer::Stop(int32_t voice) {
    std::shared_ptr<const TMixData> drop;
    std::lock_guard<std::mutex> guard(_lock);
    TVoice& v = _voices[size_t(voice)];
    if (v.state == TState::Idle) return;
    v.state = TState::Idle;
    drop = std::move(v.data);
}

void TMixer::SetPaused(int32_t voice, bool paused) {
    std::lock_guard<std::mutex> guard(_lock);
    TVoice& v = _voices[size_t(voice)];
    if (paused && v.state == TState::Playing) v.state = TState::Paused;
    if (!paused && v.state == TState::Paused) v.state = TState::Playing;
}

void TMixer::SetVolume(int32_t voice, float volume) {
    std::lock_guard<std::mutex> guard(_lock);
    TVoice& v = _voices[size_t(voice)];
    v.volume = detail::ClampSetting(volume, 0, 1, v.volume);
    Update(v);
}

void TMixer::SetPan(int32_t voice, float pan) {
    std::lock_guard<std::mutex> guard(_lock);
    TVoice& v = _voices[size_t(voice)];
    v.pan = detail::ClampSetting(pan, -1, 1, v.pan);
    Update(v);
}

void TMixer::SetRate(int32_t voice, float rate) {
    std::lock_guard<std::mutex> guard(_lock);
    TVoice& v = _voices[size_t(voice)];
    v.rate = detail::ClampRate(rate, v.rate);
    Update(v);
}

bool TMixer::Playing(int32_t voice) {
    std::lock_guard<std::mutex> guard(_lock);
    const TState s = _voices[size_t(voice)].state;
    return s == TState::Playing || s == TState::Paused;
}

bool TMixer::Paused(int32_t voice) {
    std::lock_guard<std::mutex> guard(_lock);
    return _voices[size_t(voice)].state == TState::Paused;
}

void TMixer::Collect() {
    if (_ended.load(std::memory_order_relaxed) == 0) return;
    std::vector<std::shared_ptr<const TMixData>> drop;  // freed once the lock is released
    std::lock_guard<std::mutex> guard(_lock);
    _ended.store(0, std::memory_order_relaxed);
    for (TVoice& v : _voices) {
        if (v.state != TState::Ended) continue;
        v.state = TState::Idle;
        if (v.data) drop.push_back(std::move(v.data));
    }
}

void TMixer::StopAll() {
    std::vector<std::shared_ptr<const TMixData>> drop;
    std::lock_guard<std::mutex> guard(_lock);
    for (TVoice& v : _voices) {
        v.state = TState::Idle;
        if (v.data) drop.push_back(std::move(v.data));
    }
}

void TMixer::Render(int16_t* out, int32_t frames) {
    std::lock_guard<std::mutex> guard(_lock);
    for (int32_t done = 0; done < frames; done += BLOCK) {
        const int32_t n = std::min(BLOCK, frames - done);
        MixBlock(out + 2 * size_t(done), n);
    }
}

void TMixer::MixBlock(int16_t* out, int32_t frames) {
    float* acc = _acc.data();
    std::fill_n(acc, 2 * size_t(frames), 0.0f);
    int32_t ended = 0;
    for (TVoice& v : _voices) {
        if (v.state != TState::Playing) continue;
        const TMixData& d = *v.data;
        bool on;
        if (!d.pcm16.empty()) {
            on = d.channels == 1
                     ? MixVoice<int16_t, 1>(d.pcm16.data(), d.length, v.loop, v.pos, v.step, v.left, v.right, acc, frames)
                     : MixVoice<int16_t, 2>(d.pcm16.data(), d.length, v.loop, v.pos, v.step, v.left, v.right, acc, frames);
        } else {
            on = d.channels == 1
                     ? MixVoice<float, 1>(d.pcmFloat.data(), d.length, v.loop, v.pos, v.step, v.left, v.right, acc, frames)
                     : MixVoice<float, 2>(d.pcmFloat.data(), d.length, v.loop, v.pos, v.step, v.left, v.right, acc, frames);
        }
        if (!on) {
            v.state = TState::Ended;
            ++ended;
        }
    }
    if (ended) _ended.fetch_add(ended, std::memory_order_relaxed);
    // One saturation, at the end: full scale is 32768.
    for (int32_t i = 0; i < 2 * frames; ++i) {
        const float s = std::clamp(acc[i] * 32768.0f, -32768.0f, 32767.0f);
        out[i] = int16_t(std::lrint(s));
    }
}

// ---- The memory device

std::vector<int16_t> TMemoryDevice::Render(int32_t frames) {
    if (!_mixer || frames <= 0) return {};
    std::vector<int16_t> out(2 * size_t(frames));
    _mixer->Render(out.data(), frames);
    return out;
}

}  // namespace corvex::mixer
