// The software mixer driver on a memory device: the mix is rendered on demand, so every
// measurement is exact to the frame and nothing runs in real time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include <corvex/audio/audio.h>

#include "audio/audio_module.h"
#include "audio/mixer.h"
#include "audio/test_sounds.h"

using namespace corvex;
using namespace corvex::testsounds;

namespace {

constexpr double kQuiet = 1e-4;  // RMS below this counts as silence
constexpr double kCentre = 0.70710678;

Ref<TSample> SineSample(int format, int rate, double seconds, double left, double right, double amp) {
    Ref<TSample> s = TSample::Create(int32_t(seconds * rate), format, rate);
    const TWave wave = Sine(rate, s->length, {left, right}, amp);
    for (int f = 0; f < s->length; ++f) {
        s->Write(f, 0, wave.At(f, 0));
        s->Write(f, 1, wave.At(f, 1));
    }
    return s;
}

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override { Use(64); }
    void TearDown() override { AudioModule().Reset(); }
    void Use(int32_t voices) {
        StartAudioModule();
        AudioModule().Reset();
        RegisterAudioDriver(mixer::CreateMixerDriver(
            [this] {
                auto device = std::make_unique<mixer::TMemoryDevice>(44100);
                _device = device.get();
                return device;
            },
            u"Memory", voices));
        ASSERT_TRUE(SetAudioDriver(u"Memory"));
    }
    // The next seconds of the mix as -1..1 values.
    TWave Render(double seconds) {
        const std::vector<int16_t> pcm = _device->Render(int32_t(std::lround(seconds * 44100)));
        TWave wave;
        wave.channels = 2;
        wave.rate = 44100;
        for (int16_t v : pcm) wave.values.push_back(float(v) / 32768.0f);
        return wave;
    }
    static double LeftPeak(const TWave& w) { return Peak(w, 0, 0, w.Frames()); }
    static double RightPeak(const TWave& w) { return Peak(w, 1, 0, w.Frames()); }

    mixer::TMemoryDevice* _device = nullptr;
};

}  // namespace

TEST_F(MixerTest, ToneKeepsItsPitchAndLevelInEveryFormatAndRate) {
    struct TCase {
        int format, rate;
    } cases[] = {{SF_MONO16, 44100}, {SF_MONO8, 22050}, {SF_MONO_FLOAT, 48000}, {SF_MONO16, 8000}};
    for (const TCase& c : cases) {
        Ref<TChannel> ch = AllocChannel();
        SetChannelPan(ch, -1);
        ASSERT_EQ(PlaySound(CreateSound(SineSample(c.format, c.rate, 0.5, 440, 440, 0.5), 0), ch), ch);
        const TWave mix = Render(0.4);
        SCOPED_TRACE(testing::Message() << "format " << c.format << " rate " << c.rate);
        EXPECT_NEAR(ZeroCrossingHz(mix, 0, 0, mix.Frames()), 440, 0.5);
        // Linear interpolation rounds the crest off a little at low rates.
        EXPECT_NEAR(LeftPeak(mix), 0.5, c.format == SF_MONO8 || c.rate == 8000 ? 0.01 : 0.002);
        EXPECT_LT(Rms(mix, 1, 0, mix.Frames()), kQuiet);
        StopChannel(ch);
    }
    // A full-scale 16-bit sound at one side comes out value for value: no clipping, no loss.
    Ref<TSample> square = TSample::Create(100, SF_MONO16, 44100);
    for (int f = 0; f < 100; ++f) square->Write(f, 0, f < 50 ? 1.0f : -1.0f);
    Ref<TChannel> ch = AllocChannel();
    SetChannelPan(ch, 1);
    PlaySound(CreateSound(square, 0), ch);
    const std::vector<int16_t> pcm = _device->Render(100);
    EXPECT_EQ(pcm[1], 32767);
    EXPECT_EQ(pcm[2 * 99 + 1], -32768);
    EXPECT_EQ(pcm[2 * 99], 0);
}

TEST_F(MixerTest, MonoPanIsConstantPowerOverTheWholeRange) {
    Ref<TSound> tone = CreateSound(SineSample(SF_MONO16, 44100, 0.2, 441, 441, 0.8), SOUND_LOOP);
    Ref<TChannel> ch = PlaySound(tone);
    for (float pan : {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f}) {
        SetChannelPan(ch, pan);
        const TWave mix = Render(0.1);
        const double t = (pan + 1) * 3.14159265358979 / 4;
        SCOPED_TRACE(pan);
        EXPECT_NEAR(LeftPeak(mix), 0.8 * std::cos(t), 0.002);
        EXPECT_NEAR(RightPeak(mix), 0.8 * std::sin(t), 0.002);
        EXPECT_NEAR(std::hypot(LeftPeak(mix), RightPeak(mix)), 0.8, 0.002);
    }
    SetChannelPan(ch, 0);
    const TWave centre = Render(0.1);
    EXPECT_NEAR(LeftPeak(centre), 0.8 * kCentre, 0.002);
    SetChannelPan(ch, 7);  // clamped to 1
    EXPECT_LT(Rms(Render(0.05), 0, 0, 2205), kQuiet);
}

TEST_F(MixerTest, StereoPanIsABalanceThatNeverRaisesAPeak) {
    // 440 Hz left, 660 Hz right, both at 0.5.
    Ref<TChannel> ch = PlaySound(CreateSound(SineSample(SF_STEREO16, 44100, 0.2, 440, 660, 0.5), SOUND_LOOP));
    for (float pan : {-1.0f, -0.5f, -0.25f, 0.0f, 0.25f, 0.5f, 1.0f}) {
        SetChannelPan(ch, pan);
        const TWave mix = Render(0.1);
        const double far = 0.5 * std::cos(std::fabs(pan) * 3.14159265358979 / 2);
        SCOPED_TRACE(pan);
        EXPECT_NEAR(LeftPeak(mix), pan > 0 ? far : 0.5, 0.002);
        EXPECT_NEAR(RightPeak(mix), pan < 0 ? far : 0.5, 0.002);
        // Each side keeps its own channel: nothing moves across.
        if (LeftPeak(mix) > 0.01) {
            EXPECT_NEAR(ZeroCrossingHz(mix, 0, 0, mix.Frames()), 440, 1);
        }
        if (RightPeak(mix) > 0.01) {
            EXPECT_NEAR(ZeroCrossingHz(mix, 1, 0, mix.Frames()), 660, 1);
        }
    }
    // An 8-bit stereo sound with the same content on both sides stays at its level when panned.
    SetChannelPan(ch, -1);
    PlaySound(CreateSound(SineSample(SF_STEREO8, 22050, 0.2, 300, 300, 0.5), SOUND_LOOP), ch);
    const TWave mix = Render(0.1);
    EXPECT_NEAR(LeftPeak(mix), 0.5, 0.01);
    EXPECT_LT(RightPeak(mix), 1e-3);
}

TEST_F(MixerTest, RateChangesPitchAndLengthWithoutDrift) {
    Ref<TSound> tone = CreateSound(SineSample(SF_MONO16, 44100, 0.2, 440, 440, 0.5), SOUND_LOOP);
    Ref<TChannel> ch = PlaySound(tone);
    for (float rate : {2.0f, 0.5f, 1.5f}) {
        SetChannelRate(ch, rate);
        const TWave mix = Render(0.2);
        EXPECT_NEAR(ZeroCrossingHz(mix, 0, 0, mix.Frames()), 440 * rate, 0.5 * rate) << rate;
        EXPECT_NEAR(LeftPeak(mix), 0.5 * kCentre, 0.005) << rate;
    }
    SetChannelRate(ch, 0);  // refused: the rate stays
    EXPECT_NEAR(ZeroCrossingHz(Render(0.2), 0, 0, 8820), 660, 1);
    // One cycle of 100 Hz looped at rate 1.37: each pass ends between output frames, and the
    // part of a step beyond the end carries into the next pass, so the pitch stays exact.
    PlaySound(CreateSound(SineSample(SF_MONO16, 44100, 0.01, 100, 100, 0.5), SOUND_LOOP), ch);
    SetChannelRate(ch, 1.37f);
    EXPECT_NEAR(ZeroCrossingHz(Render(2), 0, 0, 88200), 137, 0.02);

    // 20 s of 48 kHz sound at rate 1.25 on the 44.1 kHz device: it ends at the exact frame a
    // drifting position would miss (a float position would be off by hundreds of frames).
    Ref<TSample> dc = TSample::Create(48000 * 20, SF_MONO16, 48000);
    for (int f = 0; f < dc->length; ++f) dc->Write(f, 0, 0.5f);
    Ref<TChannel> once = PlaySound(CreateSound(dc, 0));
    SetChannelRate(once, 1.25f);
    StopChannel(ch);
    const TWave mix = Render(17);
    const double expected = 20.0 / 1.25 * 44100;
    int64_t last = mix.Frames() - 1;
    while (last > 0 && mix.At(last, 0) == 0) --last;
    EXPECT_NEAR(double(last), expected, 1.5);
    EXPECT_FALSE(ChannelPlaying(once));
}

TEST_F(MixerTest, LoopsGoOnAndOneShotsEndAtTheirLastFrame) {
    Ref<TSample> sample = SineSample(SF_MONO16, 22050, 0.1, 300, 300, 0.5);
    Ref<TChannel> loop = PlaySound(CreateSound(sample, SOUND_LOOP));  // no reference kept to the sounds
    SetChannelPan(loop, -1);
    Ref<TChannel> once = PlaySound(CreateSound(sample, 0));
    SetChannelPan(once, 1);
    const TWave mix = Render(0.5);
    EXPECT_TRUE(ChannelPlaying(loop));
    EXPECT_FALSE(ChannelPlaying(once));
    // Five times its length, the loop is still the same tone, without a seam.
    EXPECT_NEAR(ZeroCrossingHz(mix, 0, 0, mix.Frames()), 300, 0.5);
    EXPECT_GT(Rms(mix, 0, 17640, 22050), 0.3);
    double jump = 0;  // a seam at the loop point would show as a step
    for (int64_t f = 1; f < mix.Frames(); ++f) jump = std::max(jump, double(std::fabs(mix.At(f, 0) - mix.At(f - 1, 0))));
    EXPECT_LT(jump, 0.025);
    // The one-shot sounds for 0.1 s (4410 frames at the device's rate), then stops.
    EXPECT_GT(Rms(mix, 1, 4000, 4400), 0.3);
    EXPECT_LT(Rms(mix, 1, 4412, mix.Frames()), kQuiet);
    StopChannel(loop);
    EXPECT_FALSE(ChannelPlaying(loop));
    EXPECT_LT(Rms(Render(0.1), 0, 0, 4410), kQuiet);

    // A level looped at an odd rate stays level across the seam: the frame after the last
    // is the first.
    Ref<TSample> dc = TSample::Create(100, SF_STEREO16, 8000);
    for (int f = 0; f < 100; ++f) dc->Write(f, 0, 0.5f), dc->Write(f, 1, -0.25f);
    Ref<TChannel> level = PlaySound(CreateSound(dc, SOUND_LOOP));
    SetChannelRate(level, 0.37f);
    const TWave flat = Render(0.2);
    EXPECT_NEAR(Peak(flat, 0, 0, flat.Frames()), 0.5, 1e-4);
    EXPECT_NEAR(Rms(flat, 0, 0, flat.Frames()), 0.5, 1e-4);
    EXPECT_NEAR(Rms(flat, 1, 0, flat.Frames()), 0.25, 1e-4);
}

TEST_F(MixerTest, CueWaitsAndPauseKeepsThePosition) {
    Ref<TSample> sample = SineSample(SF_MONO16, 44100, 0.2, 440, 440, 0.5);
    Ref<TSound> tone = CreateSound(sample, 0);
    // The reference: the same sound played straight through.
    Ref<TChannel> ch = PlaySound(tone);
    const TWave straight = Render(0.25);

    CueSound(tone, ch);
    EXPECT_TRUE(ChannelPlaying(ch));
    EXPECT_TRUE(ChannelPaused(ch));
    EXPECT_LT(Rms(Render(0.1), 0, 0, 4410), kQuiet);
    ResumeChannel(ch);
    EXPECT_FALSE(ChannelPaused(ch));
    TWave played = Render(0.05);  // from the start, at once
    PauseChannel(ch);
    EXPECT_TRUE(ChannelPaused(ch));
    EXPECT_TRUE(ChannelPlaying(ch));
    EXPECT_LT(Rms(Render(0.1), 0, 0, 4410), kQuiet);
    ResumeChannel(ch);
    const TWave rest = Render(0.2);
    played.values.insert(played.values.end(), rest.values.begin(), rest.values.end());
    EXPECT_EQ(played.values, straight.values);  // the same frames, nothing lost or repeated
    EXPECT_FALSE(ChannelPlaying(ch));
    // Pausing an ended channel or resuming an unpaused one does nothing.
    PauseChannel(ch);
    EXPECT_FALSE(ChannelPaused(ch));
}

TEST_F(MixerTest, OverlappingChannelsAddWithoutWrapOrPanShift) {
    // Two tones on opposite sides, then both together: each side is what it was alone.
    Ref<TSound> low = CreateSound(SineSample(SF_MONO16, 44100, 0.2, 440, 440, 0.6), SOUND_LOOP);
    Ref<TSound> high = CreateSound(SineSample(SF_MONO16, 44100, 0.2, 660, 660, 0.6), SOUND_LOOP);
    Ref<TChannel> a = PlaySound(low), b = PlaySound(high);
    SetChannelPan(a, -1);
    SetChannelPan(b, 1);
    const TWave apart = Render(0.1);
    EXPECT_NEAR(ZeroCrossingHz(apart, 0, 0, 4410), 440, 1);
    EXPECT_NEAR(ZeroCrossingHz(apart, 1, 0, 4410), 660, 1);
    EXPECT_NEAR(LeftPeak(apart), 0.6, 0.002);
    EXPECT_NEAR(RightPeak(apart), 0.6, 0.002);

    // The same tone twice, in phase, at the centre: 2 * 0.6 * 0.707 = 0.85, no saturation,
    // equal on both sides.
    PlaySound(low, a);
    PlaySound(low, b);
    SetChannelPan(a, 0);
    SetChannelPan(b, 0);
    const TWave sum = Render(0.1);
    EXPECT_NEAR(LeftPeak(sum), 1.2 * kCentre, 0.003);
    EXPECT_NEAR(RightPeak(sum), 1.2 * kCentre, 0.003);

    // Louder than full scale together: saturates, never wraps to the other sign.
    Ref<TSound> loud = CreateSound(SineSample(SF_MONO16, 44100, 0.2, 440, 440, 1.0), SOUND_LOOP);
    PlaySound(loud, a);
    PlaySound(loud, b);
    Ref<TChannel> c = PlaySound(loud);
    const std::vector<int16_t> pcm = _device->Render(4410);
    const TWave alone = Sine(44100, 4410, {440}, 1.0);
    int clipped = 0;
    for (int f = 0; f < 4410; ++f) {
        const float expected = alone.At(f, 0);
        const int16_t left = pcm[2 * size_t(f)];
        if (std::fabs(expected) > 0.05f) {
            EXPECT_EQ(left > 0, expected > 0) << f;
        }
        clipped += left == 32767 || left == -32768;
        EXPECT_EQ(left, pcm[2 * size_t(f) + 1]);
    }
    EXPECT_GT(clipped, 1000);
}

TEST_F(MixerTest, VolumeScalesAmplitudeAndSettingsStayOnTheChannel) {
    Ref<TSound> tone = CreateSound(SineSample(SF_MONO_FLOAT, 44100, 0.2, 440, 440, 0.6), SOUND_LOOP);
    Ref<TChannel> ch = AllocChannel();
    SetChannelVolume(ch, 0.5f);
    SetChannelPan(ch, -1);
    PlaySound(tone, ch);
    EXPECT_NEAR(LeftPeak(Render(0.1)), 0.3, 0.002);
    SetChannelVolume(ch, 0.25f);
    EXPECT_NEAR(LeftPeak(Render(0.1)), 0.15, 0.002);
    SetChannelVolume(ch, std::nanf(""));  // ignored
    SetChannelVolume(ch, 3);               // clamped to 1
    EXPECT_NEAR(LeftPeak(Render(0.1)), 0.6, 0.002);
    SetChannelVolume(ch, 0);
    // A new sound on the channel keeps its settings.
    PlaySound(CreateSound(SineSample(SF_MONO16, 44100, 0.2, 300, 300, 0.6), 0), ch);
    EXPECT_LT(Rms(Render(0.1), 0, 0, 4410), kQuiet);
    SetChannelVolume(ch, 1);
    const TWave mix = Render(0.05);
    EXPECT_NEAR(LeftPeak(mix), 0.6, 0.002);
    EXPECT_LT(RightPeak(mix), 1e-4);
}

TEST_F(MixerTest, PoolIsFixedAndForgottenChannelsComeBack) {
    Use(8);
    Ref<TSound> blip = CreateSound(SineSample(SF_MONO8, 8000, 0.01, 500, 500, 0.5), 0);
    Ref<TSound> hum = CreateSound(SineSample(SF_MONO8, 8000, 0.01, 500, 500, 0.5), SOUND_LOOP);
    // Played and forgotten, cued and dropped, far beyond the pool.
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(PlaySound(blip)) << i;
        ASSERT_TRUE(CueSound(hum)) << i;
        if (i % 4 == 3) Render(0.02);  // the blips end
    }
    Render(0.02);
    std::vector<Ref<TChannel>> held;
    for (Ref<TChannel> ch; (ch = AllocChannel());) held.push_back(ch);
    EXPECT_EQ(held.size(), 8u);
    EXPECT_FALSE(PlaySound(blip));  // no voice left: Null, the held ones untouched
    // A dropped looping channel keeps sounding, and its voice, until shutdown.
    PlaySound(hum, held.back());
    held.pop_back();
    EXPECT_FALSE(AllocChannel());
    EXPECT_GT(Rms(Render(0.05), 0, 0, 2205), 0.1);
    held.pop_back();
    EXPECT_TRUE(PlaySound(blip));
}

TEST_F(MixerTest, SampleDataIsFreedWhenDroppedAndSilent) {
    mixer::TMixer mix(44100, 4);
    std::shared_ptr<const mixer::TMixData> data = mixer::TMixData::From(*SineSample(SF_MONO16, 44100, 0.01, 440, 440, 0.5));
    std::weak_ptr<const mixer::TMixData> watch = data;
    const int32_t voice = mix.Acquire();
    mix.Start(voice, data, false, false);
    data.reset();
    mix.Release(voice);  // the program dropped sound and channel while it plays
    std::vector<int16_t> out(2 * 400);
    mix.Render(out.data(), 400);
    mix.Collect();
    EXPECT_FALSE(watch.expired());  // still playing
    mix.Render(out.data(), 400);
    EXPECT_FALSE(watch.expired());  // ended on the device thread, which frees nothing
    mix.Collect();
    EXPECT_TRUE(watch.expired());
    // A cued voice that is dropped lets go at once.
    data = mixer::TMixData::From(*SineSample(SF_MONO16, 44100, 0.01, 440, 440, 0.5));
    watch = data;
    const int32_t cued = mix.Acquire();
    mix.Start(cued, std::move(data), true, true);
    mix.Release(cued);
    EXPECT_TRUE(watch.expired());
    // Bad samples are refused.
    Ref<TSample> bad = TSample::Create(10, SF_STEREO16, 44100);
    bad->data.resize(7);
    EXPECT_FALSE(mixer::TMixData::From(*bad));
    EXPECT_FALSE(CreateSound(bad, 0));
}

TEST_F(MixerTest, ShutdownStopsEverythingAndOldObjectsDoNothing) {
    Ref<TSound> hum = CreateSound(SineSample(SF_MONO16, 44100, 0.1, 300, 300, 0.5), SOUND_LOOP);
    Ref<TChannel> ch = PlaySound(hum);
    ASSERT_TRUE(ChannelPlaying(ch));
    ShutdownAudio();
    EXPECT_FALSE(ChannelPlaying(ch));
    ResumeChannel(ch);
    SetChannelPan(ch, 1);
    EXPECT_FALSE(PlaySound(hum));
    ASSERT_TRUE(SetAudioDriver(u"Memory"));  // a new device; the old objects stay dead
    EXPECT_FALSE(PlaySound(hum));
    EXPECT_NE(PlaySound(CreateSound(SineSample(SF_MONO16, 44100, 0.1, 300, 300, 0.5), 0), ch), ch);
}

TEST_F(MixerTest, DeviceThreadRendersWhileChannelsChange) {
    Ref<TSound> tone = CreateSound(SineSample(SF_MONO16, 44100, 0.05, 440, 440, 0.3), 0);
    Ref<TSound> hum = CreateSound(SineSample(SF_MONO16, 44100, 0.05, 440, 440, 0.3), SOUND_LOOP);
    std::atomic<bool> done{false};
    std::atomic<int64_t> rendered{0};
    std::thread device([&] {
        while (!done) rendered += int64_t(_device->Render(256).size() / 2);
    });
    Ref<TChannel> keep = PlaySound(hum);
    int started = 0;
    // At least a second of output is mixed while the channels change.
    for (int i = 0; i < 20000 || rendered < 44100; ++i) {
        Ref<TChannel> ch = i % 3 ? PlaySound(tone) : CueSound(hum);
        started += ch != nullptr;
        SetChannelPan(keep, float(i % 21) / 10 - 1);
        SetChannelRate(keep, 0.5f + float(i % 7) / 4);
        if (i % 5 == 0) StopChannel(ch);
    }
    StopChannel(keep);
    keep.reset();
    done = true;
    device.join();
    EXPECT_GT(started, 0);  // how many found a free voice depends on the scheduler
    // Everything stopped or ended: the mix falls silent and the pool is whole again.
    Render(0.1);
    EXPECT_LT(Rms(Render(0.05), 0, 0, 2205), kQuiet);
    std::vector<Ref<TChannel>> all;
    for (Ref<TChannel> ch; (ch = AllocChannel());) all.push_back(ch);
    EXPECT_EQ(all.size(), 64u);
}

#ifdef _WIN32
// The standard chain on Windows: the mixer on wave-out when a device opens (its buffers are
// consumed, so a sound ends), otherwise the silent driver.
TEST(MixerWaveOut, ChosenFirstAndPlaysThroughTheDevice) {
    StartAudioModule();
    AudioModule().Reset();
    ASSERT_TRUE(AudioDriver());
    const TString name = AudioDriver()->Name();
    if (name != u"Mixer") {
        EXPECT_EQ(name, u"Silent");
        EXPECT_FALSE(SetAudioDriver(u"Mixer"));  // fails at once without a device
        GTEST_SKIP() << "no wave-out device opened: the silent driver serves";
    }
    Ref<TChannel> ch = PlaySound(CreateSound(SineSample(SF_MONO16, 44100, 0.3, 440, 440, 0.5), 0));
    ASSERT_TRUE(ChannelPlaying(ch));
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ChannelPlaying(ch) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(ChannelPlaying(ch));
    Ref<TChannel> loop = PlaySound(CreateSound(SineSample(SF_MONO16, 44100, 0.1, 440, 440, 0.5), SOUND_LOOP));
    ShutdownAudio();  // closes the device with a voice sounding
    EXPECT_FALSE(ChannelPlaying(loop));
}
#endif
