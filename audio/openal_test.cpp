// The OpenAL driver through a real device: OpenAL Soft's wave writer records the mix to a
// file, and the tests measure that file (pitch from zero crossings, level, channel balance,
// when sound starts and stops). The writer runs in real time, so each test lasts well under
// a second. Times are read from the device's own clock (the frames mixed so far), so a
// writer that lags behind the wall clock on a loaded machine does not move the windows.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include <corvex/audio/audio.h>
#include <corvex/audio/wav.h>

#include "audio/audio_module.h"
#include "stream/stream_module.h"
#include "audio/test_sounds.h"
#include "tests/support/resident_memory.h"

using namespace corvex;
using namespace corvex::testsounds;

namespace {

// OpenAL Soft reads its configuration once, at its first call: point it at the wave writer
// before that. Each test runs in its own process under CTest, so each has its own file.
const std::string& MixFile() {
    static const std::string file = [] {
        const std::string base = "openal-mix-" + std::to_string(getpid());
        const std::string text = "[general]\ndrivers=wave\nchannels=stereo\nfrequency=48000\nhrtf=false\n"
                                 "[wave]\nfile=" + base + ".wav\n";
        WriteFile(base + ".conf", Bytes(text.begin(), text.end()));
        setenv("ALSOFT_CONF", (base + ".conf").c_str(), 1);
        return base + ".wav";
    }();
    return file;
}

using TClock = std::chrono::steady_clock;

class OpenALTest : public ::testing::Test {
protected:
    void SetUp() override {
        MixFile();
        StartAudioModule();
        AudioModule().Reset();
        ASSERT_TRUE(SetAudioDriver(u"OpenAL"));
        _device = alcGetContextsDevice(alcGetCurrentContext());
        ASSERT_TRUE(_device && alcIsExtensionPresent(_device, "ALC_SOFT_device_clock"));
        _clock = reinterpret_cast<decltype(_clock)>(alcGetProcAddress(_device, "alcGetInteger64vSOFT"));
        ASSERT_TRUE(_clock);
    }
    void TearDown() override {
        AudioModule().Reset();
        StreamModule().Reset();
        std::remove(MixFile().c_str());
        std::remove((MixFile().substr(0, MixFile().size() - 4) + ".conf").c_str());
    }
    // Seconds of output the device has mixed since it opened.
    double Mixed() const {
        ALCint64SOFT ns = 0;
        _clock(_device, ALC_DEVICE_CLOCK_SOFT, 1, &ns);
        return double(ns) / 1e9;
    }
    void WaitUntil(double seconds) {
        const auto giveUp = TClock::now() + std::chrono::seconds(10);
        while (Mixed() < seconds && TClock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Closes the device, which finishes the file, and reads the mix back.
    TWave Finish() {
        ShutdownAudio();
        TWave wave;
        EXPECT_TRUE(ParseWavFile(ReadFile(MixFile()), &wave)) << MixFile();
        EXPECT_EQ(wave.channels, 2);
        return wave;
    }
    static int64_t At(const TWave& wave, double seconds) { return int64_t(seconds * wave.rate); }
    // Plays sound looping and moves it to each pan in turn; per pan, the two sides' peaks once
    // the change has reached the mix.
    std::vector<std::pair<double, double>> PeaksAtPans(const Ref<TSound>& sound, const std::vector<float>& pans) {
        Ref<TChannel> ch = AllocChannel();
        SetChannelPan(ch, pans[0]);
        PlaySound(sound, ch);
        std::vector<double> at;
        for (size_t i = 0; i < pans.size(); ++i) {
            if (i > 0) SetChannelPan(ch, pans[i]);
            at.push_back(Mixed());
            WaitUntil(at.back() + 0.13);
        }
        TWave mix = Finish();
        std::vector<std::pair<double, double>> peaks;
        for (double t : at) peaks.push_back({Peak(mix, 0, At(mix, t + 0.06), At(mix, t + 0.125)),
                                             Peak(mix, 1, At(mix, t + 0.06), At(mix, t + 0.125))});
        return peaks;
    }

    ALCdevice* _device = nullptr;
    void(ALC_APIENTRY* _clock)(ALCdevice*, ALCenum, ALsizei, ALCint64SOFT*) = nullptr;
};

Ref<TSample> SineSample(int format, int rate, double seconds, double left, double right, double amp) {
    Ref<TSample> s = TSample::Create(int32_t(seconds * rate), format, rate);
    const TWave wave = Sine(rate, s->length, {left, right}, amp);
    for (int f = 0; f < s->length; ++f) {
        s->Write(f, 0, wave.At(f, 0));
        s->Write(f, 1, wave.At(f, 1));
    }
    return s;
}

constexpr double kQuiet = 1e-3;  // RMS below this counts as silence

}  // namespace

TEST_F(OpenALTest, PitchLevelAndPanFollowTheChannel) {
    Ref<TSound> tone = CreateSound(SineSample(SF_MONO16, 44100, 0.1, 440, 440, 0.5), SOUND_LOOP);
    ASSERT_TRUE(tone);
    Ref<TChannel> ch = AllocChannel();
    SetChannelPan(ch, -1);
    const double t0 = Mixed();  // times below are from here: start-up takes a while under load
    ASSERT_EQ(PlaySound(tone, ch), ch);
    WaitUntil(t0 + 0.3);
    SetChannelPan(ch, 1);  // moves while it plays
    const double moved = Mixed();
    WaitUntil(t0 + 0.6);
    TWave mix = Finish();

    // Hard left: the 440 Hz tone at its own level on the left, nothing on the right.
    const int64_t a = At(mix, t0 + 0.08), b = At(mix, t0 + 0.26);
    EXPECT_NEAR(ZeroCrossingHz(mix, 0, a, b), 440, 2);
    EXPECT_NEAR(Peak(mix, 0, a, b), 0.5, 0.03);
    EXPECT_LT(Rms(mix, 1, a, b), kQuiet);
    // Then hard right.
    const int64_t c = At(mix, moved + 0.08), d = At(mix, t0 + 0.58);
    ASSERT_GT(d, c);
    EXPECT_NEAR(ZeroCrossingHz(mix, 1, c, d), 440, 2);
    EXPECT_NEAR(Peak(mix, 1, c, d), 0.5, 0.03);
    EXPECT_LT(Rms(mix, 0, c, d), kQuiet);
}

TEST_F(OpenALTest, VolumeHalvesAmplitudeAndRateDoublesFrequency) {
    Ref<TSample> sample = SineSample(SF_MONO_FLOAT, 48000, 0.3, 440, 440, 0.6);
    Ref<TSound> tone = CreateSound(sample, 0);
    ASSERT_TRUE(tone);
    Ref<TChannel> left = AllocChannel(), right = AllocChannel();
    ASSERT_TRUE(left && right && left != right);
    SetChannelPan(left, -1);
    SetChannelPan(right, 1);
    SetChannelVolume(right, 0.5f);
    SetChannelRate(right, 2);
    const double t0 = Mixed();  // times below are from here: start-up takes a while under load
    PlaySound(tone, left);
    PlaySound(tone, right);
    WaitUntil(t0 + 0.25);
    EXPECT_TRUE(ChannelPlaying(left));
    EXPECT_FALSE(ChannelPlaying(right));  // twice as fast: done after 0.15 s
    WaitUntil(t0 + 0.4);
    TWave mix = Finish();

    const int64_t a = At(mix, t0 + 0.04), b = At(mix, t0 + 0.12);
    EXPECT_NEAR(ZeroCrossingHz(mix, 0, a, b), 440, 2);
    EXPECT_NEAR(ZeroCrossingHz(mix, 1, a, b), 880, 4);
    EXPECT_NEAR(Peak(mix, 1, a, b) / Peak(mix, 0, a, b), 0.5, 0.02);
    EXPECT_NEAR(Peak(mix, 0, a, b), 0.6, 0.03);
    // The fast one has ended while the other plays on.
    EXPECT_LT(Rms(mix, 1, At(mix, t0 + 0.2), At(mix, t0 + 0.28)), kQuiet);
    EXPECT_GT(Rms(mix, 0, At(mix, t0 + 0.2), At(mix, t0 + 0.28)), 0.3);
}

// The one call with volume, pan and rate: all three are in force from the first sample.
TEST_F(OpenALTest, PlaySoundWithVolumePanAndRateSetsThemBeforeItIsHeard) {
    Ref<TSound> tone = CreateSound(SineSample(SF_MONO_FLOAT, 48000, 0.3, 440, 440, 0.6));
    ASSERT_TRUE(tone);
    const double started = Mixed();
    Ref<TChannel> ch = PlaySound(tone, 0.5f, 1.0f, 2.0f);
    ASSERT_TRUE(ch);
    EXPECT_TRUE(ChannelPlaying(ch));
    EXPECT_FALSE(ChannelPaused(ch));
    WaitUntil(started + 0.3);
    TWave mix = Finish();
    const int64_t a = At(mix, started + 0.02), b = At(mix, started + 0.1);
    EXPECT_NEAR(ZeroCrossingHz(mix, 1, a, b), 880, 4);
    EXPECT_NEAR(Peak(mix, 1, a, b), 0.3, 0.03);
    EXPECT_LT(Rms(mix, 0, a, b), kQuiet) << "hard right from the start";
    EXPECT_FALSE(PlaySound(nullptr, 1.0f));
}

TEST_F(OpenALTest, LoopingGoesOnUntilStoppedAndOneShotsEnd) {
    Ref<TSample> sample = SineSample(SF_MONO16, 22050, 0.1, 300, 300, 0.5);
    Ref<TSound> loopSound = CreateSound(sample, SOUND_LOOP), onceSound = CreateSound(sample, 0);
    sample = nullptr;
    const double t0 = Mixed();  // times below are from here: start-up takes a while under load
    Ref<TChannel> loop = PlaySound(loopSound);
    loopSound = nullptr;  // no reference kept to the sounds
    SetChannelPan(loop, -1);
    Ref<TChannel> once = PlaySound(onceSound);
    onceSound = nullptr;
    SetChannelPan(once, 1);
    ASSERT_TRUE(loop && once);
    WaitUntil(t0 + 0.3);
    EXPECT_TRUE(ChannelPlaying(loop));
    EXPECT_FALSE(ChannelPlaying(once));
    StopChannel(loop);
    const double stopped = Mixed();
    EXPECT_FALSE(ChannelPlaying(loop));
    WaitUntil(t0 + 0.5);
    TWave mix = Finish();

    // Three times its length later the looping sound still sounds; the one-shot has ended.
    const int64_t a = At(mix, t0 + 0.15), b = At(mix, t0 + 0.28);
    EXPECT_GT(Rms(mix, 0, a, b), 0.3);
    EXPECT_NEAR(ZeroCrossingHz(mix, 0, a, b), 300, 2);
    EXPECT_LT(Rms(mix, 1, a, b), kQuiet);
    EXPECT_GT(Rms(mix, 1, At(mix, t0 + 0.02), At(mix, t0 + 0.08)), 0.1);
    // After the stop, silence.
    EXPECT_LT(Rms(mix, 0, At(mix, stopped + 0.06), At(mix, t0 + 0.49)), kQuiet);
}

TEST_F(OpenALTest, CuedSoundStartsWhenResumed) {
    Ref<TSound> tone = CreateSound(SineSample(SF_MONO16, 44100, 0.2, 440, 440, 0.5), 0);
    Ref<TChannel> ch = CueSound(tone);
    ASSERT_TRUE(ch);
    SetChannelPan(ch, -1);
    EXPECT_TRUE(ChannelPlaying(ch));
    EXPECT_TRUE(ChannelPaused(ch));
    WaitUntil(0.25);
    const double resumed = Mixed();
    ResumeChannel(ch);
    EXPECT_FALSE(ChannelPaused(ch));
    WaitUntil(0.5);
    TWave mix = Finish();

    EXPECT_LT(Rms(mix, 0, 0, At(mix, resumed - 0.002)), kQuiet);
    const int64_t onset = FirstAbove(mix, 0, 0, 0.05);
    ASSERT_GE(onset, 0);
    // At the frame the device had reached when resumed (OpenAL Soft's resampler adds about
    // 45 frames of delay to every sound).
    EXPECT_NEAR(double(onset) / mix.rate, resumed, 0.003);
    // And it plays from its start, whole: 0.2 s of tone.
    const int64_t last = [&] {
        int64_t f = mix.Frames() - 1;
        while (f > 0 && std::fabs(mix.At(f, 0)) < 0.05) --f;
        return f;
    }();
    EXPECT_NEAR(double(last - onset) / mix.rate, 0.2, 0.01);
}

TEST_F(OpenALTest, StereoEightBitWavKeepsItsChannels) {
    // 8-bit unsigned stereo: 440 Hz left, 660 Hz right, through LoadSound from memory.
    TWavLayout layout;
    layout.channels = 2;
    layout.rate = 22050;
    layout.bits = 8;
    layout.data = PackPcm(Sine(22050, 22050 / 4, {440, 660}, 0.5), 8, false);
    layout.extraChunks = {{"LIST", Bytes(9, 'i')}};
    const Bytes file = BuildWav(layout);
    RegisterIncbin("stereo8.wav", file.data(), int32_t(file.size()));
    Ref<TSound> sound = LoadSound("incbin::stereo8.wav", SOUND_LOOP);
    ASSERT_TRUE(sound);
    const double t0 = Mixed();  // times below are from here: start-up takes a while under load
    Ref<TChannel> ch = PlaySound(sound);
    WaitUntil(t0 + 0.25);
    SetChannelPan(ch, -1);  // the right channel silenced, the left as it was
    const double panned = Mixed();
    WaitUntil(t0 + 0.45);
    TWave mix = Finish();

    const int64_t a = At(mix, t0 + 0.05), b = At(mix, t0 + 0.22);
    EXPECT_NEAR(ZeroCrossingHz(mix, 0, a, b), 440, 3);
    EXPECT_NEAR(ZeroCrossingHz(mix, 1, a, b), 660, 4);
    EXPECT_NEAR(Peak(mix, 0, a, b), 0.5, 0.03);
    EXPECT_NEAR(Peak(mix, 1, a, b), 0.5, 0.03);
    const int64_t c = At(mix, panned + 0.06), d = At(mix, t0 + 0.44);
    EXPECT_GT(Rms(mix, 0, c, d), 0.2);
    EXPECT_LT(Rms(mix, 1, c, d), kQuiet);
}

TEST_F(OpenALTest, ForgottenChannelsAreReclaimedAndObjectsOutliveTheirDriver) {
    Ref<TSound> blip = CreateSound(SineSample(SF_MONO8, 8000, 0.05, 500, 500, 0.5), 0);
    // Far more than the device's sources, each dropped by the program once stopped.
    for (int i = 0; i < 600; ++i) {
        Ref<TChannel> ch = PlaySound(blip);
        ASSERT_TRUE(ch) << i;
        StopChannel(ch);
    }
    // Held channels are never taken back, however silent.
    std::vector<Ref<TChannel>> held;
    for (Ref<TChannel> ch; (ch = AllocChannel());) held.push_back(ch);
    EXPECT_EQ(held.size(), size_t(MAX_AUDIO_CHANNELS));
    EXPECT_FALSE(PlaySound(blip));  // no voice left
    held.pop_back();
    EXPECT_TRUE(PlaySound(blip));

    // After a switch of driver the old sound and channels do nothing, safely.
    ASSERT_TRUE(SetAudioDriver(u"Silent"));
    EXPECT_FALSE(PlaySound(blip));
    SetChannelPan(held[0], 1);
    ResumeChannel(held[0]);
    EXPECT_FALSE(ChannelPlaying(held[0]));
    Ref<TChannel> silent = PlaySound(CreateSound(TSample::Create(800, SF_MONO16, 8000), 0), held[0]);
    EXPECT_TRUE(ChannelPlaying(silent));  // a new silent channel, not the old one
    EXPECT_NE(silent, held[0]);
}

namespace {
using test_support::ResidentBytes;
// AL buffers alive among the names OpenAL Soft hands out first (it reuses the lowest free one).
int LiveBuffers() {
    int live = 0;
    for (ALuint id = 1; id <= 4096; ++id) live += alIsBuffer(id) ? 1 : 0;
    return live;
}
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kQuarantine = true;  // freed memory is held back, so the process size says nothing
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kQuarantine = true;
#else
constexpr bool kQuarantine = false;
#endif
#else
constexpr bool kQuarantine = false;
#endif
}  // namespace

TEST_F(OpenALTest, ForgottenSoundsFreeTheirBuffers) {
    // 300 sounds of 0.35 MB each, played, stopped and dropped on channels dropped too.
    const int before = LiveBuffers();
    int64_t rss = 0;
    for (int i = 0; i < 300; ++i) {
        if (i == 20) rss = ResidentBytes();  // after the allocator has warmed up
        Ref<TSample> sample = TSample::Create(176400, SF_MONO16, 44100);
        Ref<TChannel> ch = PlaySound(CreateSound(sample, 0));
        ASSERT_TRUE(ch) << i;
        StopChannel(ch);
    }
    // And as many played to their end while nobody held them.
    Ref<TSample> blip = TSample::Create(80, SF_STEREO16, 8000);
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(PlaySound(CreateSound(blip, 0))) << i;
    WaitUntil(Mixed() + 0.1);
    for (int i = 0; i < 64 && LiveBuffers() > before; ++i) StopChannel(AllocChannel());
    EXPECT_EQ(LiveBuffers(), before);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    if (!kQuarantine) {
        EXPECT_LT(ResidentBytes() - rss, 20 << 20);
    }
}

TEST_F(OpenALTest, DroppedCuesAndForgottenLoopsLeaveVoicesFree) {
    Ref<TSound> tone = CreateSound(SineSample(SF_MONO16, 8000, 0.05, 500, 500, 0.5), 0);
    Ref<TSound> loop = CreateSound(SineSample(SF_MONO16, 8000, 0.05, 500, 500, 0.5), SOUND_LOOP);
    for (int i = 0; i < 600; ++i) ASSERT_TRUE(CueSound(tone)) << i;
    // Loops dropped while they play: beyond the limit the oldest is taken back.
    std::vector<Ref<TChannel>> held;
    for (int i = 0; i < 600; ++i) ASSERT_TRUE(PlaySound(loop)) << i;
    for (Ref<TChannel> ch; (ch = AllocChannel());) held.push_back(ch);
    EXPECT_EQ(held.size(), size_t(MAX_AUDIO_CHANNELS));
    EXPECT_FALSE(PlaySound(tone));  // every voice is held
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
}

TEST_F(OpenALTest, StereoPanBalancesWithoutRaisingEitherSide) {
    // 440 Hz left, 660 Hz right, both at 0.5: panning scales the far side by cos(|pan| pi/2)
    // and leaves the near side as it is.
    Ref<TSound> tone = CreateSound(SineSample(SF_STEREO16, 48000, 0.1, 440, 660, 0.5), SOUND_LOOP);
    const std::vector<float> pans = {0.25f, -0.25f, 0.5f, -0.5f, 1.0f, -1.0f, 0.0f};
    const auto peaks = PeaksAtPans(tone, pans);
    for (size_t i = 0; i < pans.size(); ++i) {
        const double far = 0.5 * std::cos(double(std::fabs(pans[i])) * 3.14159265 / 2);
        const double left = pans[i] > 0 ? far : 0.5, right = pans[i] < 0 ? far : 0.5;
        EXPECT_NEAR(peaks[i].first, left, 0.02) << "pan " << pans[i];
        EXPECT_NEAR(peaks[i].second, right, 0.02) << "pan " << pans[i];
    }
}

TEST_F(OpenALTest, MonoPanIsConstantPower) {
    Ref<TSound> tone = CreateSound(SineSample(SF_MONO_FLOAT, 48000, 0.1, 440, 440, 0.5), SOUND_LOOP);
    const std::vector<float> pans = {0.0f, 0.5f, -0.5f, -1.0f, 0.25f};
    const auto peaks = PeaksAtPans(tone, pans);
    for (size_t i = 0; i < pans.size(); ++i) {
        const double t = (double(pans[i]) + 1) * 3.14159265 / 4;
        EXPECT_NEAR(peaks[i].first, 0.5 * std::cos(t), 0.02) << "pan " << pans[i];
        EXPECT_NEAR(peaks[i].second, 0.5 * std::sin(t), 0.02) << "pan " << pans[i];
    }
}

