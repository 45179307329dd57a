// Samples, the WAV and Ogg Vorbis loaders, the loader chain and the silent driver.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include <corvex/audio/audio.h>
#include <corvex/audio/ogg.h>
#include <corvex/audio/wav.h>

#include "audio/audio_module.h"
#include "stream/stream_module.h"
#include "audio/test_sounds.h"

using namespace corvex;
using namespace corvex::testsounds;

namespace {

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartAudioModule();
        AudioModule().Reset();
        StreamModule().Reset();
    }
    void TearDown() override {
        AudioModule().Reset();
        StreamModule().Reset();  // the embedded test files are gone with the test
    }
};

Ref<TStream> Memory(const Bytes& bytes) { return TRamStream::Create(bytes.data(), int32_t(bytes.size()), true); }

TWavLayout Layout(const TWave& wave, int bits, bool isFloat = false) {
    TWavLayout layout;
    layout.tag = isFloat ? 3 : 1;
    layout.channels = wave.channels;
    layout.rate = wave.rate;
    layout.bits = bits;
    layout.data = PackPcm(wave, bits, isFloat);
    return layout;
}

// A stream that counts its closes, served under "probe::".
struct TProbe {
    int closes = 0;
    Bytes bytes;
};
TProbe g_probe;

class TProbeStream : public TStreamWrapper {
public:
    using TStreamWrapper::TStreamWrapper;
    int32_t Close() override {
        ++g_probe.closes;
        return TStreamWrapper::Close();
    }
};

class TProbeFactory : public TStreamFactory {
public:
    Ref<TStream> CreateStream(const TUrl&, const TString& proto, const TString&, bool, bool) override {
        if (proto != u"probe") return nullptr;
        return std::make_shared<TProbeStream>(Memory(g_probe.bytes));
    }
};

}  // namespace

TEST_F(AudioTest, SampleCreateCopyConvert) {
    Ref<TSample> s = TSample::Create(4, SF_MONO8, 22050);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->data, Bytes(4, 128));  // 8-bit silence is 128
    EXPECT_EQ(s->Read(0, 0), 0.0f);
    s->Write(0, 0, 1.0f);
    s->Write(1, 0, -1.0f);
    s->Write(2, 0, 0.5f);
    EXPECT_EQ(s->data[0], 255);
    EXPECT_EQ(s->data[1], 0);
    EXPECT_EQ(s->data[2], 192);

    // Up to 16-bit stereo: exact, both channels the same.
    Ref<TSample> wide = s->Convert(SF_STEREO16);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->length, 4);
    EXPECT_EQ(wide->rate, 22050);
    EXPECT_EQ(wide->data.size(), 16u);
    EXPECT_FLOAT_EQ(wide->Read(2, 0), 0.5f);
    EXPECT_FLOAT_EQ(wide->Read(2, 1), 0.5f);
    EXPECT_FLOAT_EQ(wide->Read(1, 1), -1.0f);

    // Stereo to mono averages; float keeps values beyond 16 bits.
    Ref<TSample> st = TSample::Create(1, SF_STEREO_FLOAT, 48000);
    st->Write(0, 0, 0.75f);
    st->Write(0, 1, -0.25f);
    EXPECT_FLOAT_EQ(st->Convert(SF_MONO_FLOAT)->Read(0, 0), 0.25f);
    EXPECT_NEAR(st->Convert(SF_MONO16)->Read(0, 0), 0.25f, 1e-4);

    Ref<TSample> copy = st->Copy();
    copy->Write(0, 0, 0.0f);
    EXPECT_FLOAT_EQ(st->Read(0, 0), 0.75f);  // a copy owns its frames

    EXPECT_FALSE(TSample::Create(0, SF_MONO16, 44100));
    EXPECT_FALSE(TSample::Create(10, 0, 44100));
    EXPECT_FALSE(TSample::Create(10, SF_MONO16, 10));
    EXPECT_FALSE(TSample::Create(10, SF_MONO16, 10'000'000));
    EXPECT_FALSE(TSample::Create(int32_t(MAX_SAMPLE_BYTES / 4) + 1, SF_STEREO16, 44100));
    EXPECT_FALSE(s->Convert(7));
}

TEST_F(AudioTest, WavEveryEncodingReadsTheSameWave) {
    const TWave wave = Sine(8000, 64, {440, 1000}, 0.5);
    struct Case {
        int bits;
        bool isFloat;
        int format;
        double tolerance;
    } cases[] = {{8, false, SF_STEREO8, 1.0 / 100}, {16, false, SF_STEREO16, 1e-4},
                 {24, false, SF_STEREO_FLOAT, 1e-6}, {32, false, SF_STEREO_FLOAT, 1e-6},
                 {32, true, SF_STEREO_FLOAT, 0},      {64, true, SF_STEREO_FLOAT, 1e-7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << (c.isFloat ? " float" : " PCM"));
        for (bool extensible : {false, true}) {
            TWavLayout layout = Layout(wave, c.bits, c.isFloat);
            if (extensible) {
                layout.subTag = layout.tag;
                layout.tag = 0xFFFE;
            }
            Ref<TSample> s = LoadWavSample(Memory(BuildWav(layout)));
            ASSERT_TRUE(s);
            EXPECT_EQ(s->format, c.format);
            EXPECT_EQ(s->rate, 8000);
            ASSERT_EQ(s->length, 64);
            for (int f = 0; f < 64; ++f) {
                EXPECT_NEAR(s->Read(f, 0), wave.At(f, 0), c.tolerance);  // left stays left
                EXPECT_NEAR(s->Read(f, 1), wave.At(f, 1), c.tolerance);
            }
        }
    }
}

TEST_F(AudioTest, WavEightBitIsUnsigned) {
    TWavLayout layout;
    layout.bits = 8;
    layout.rate = 11025;
    layout.data = {0, 64, 128, 192, 255};
    Ref<TSample> s = LoadWavSample(Memory(BuildWav(layout)));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->format, SF_MONO8);
    EXPECT_FLOAT_EQ(s->Read(0, 0), -1.0f);
    EXPECT_FLOAT_EQ(s->Read(1, 0), -0.5f);
    EXPECT_FLOAT_EQ(s->Read(2, 0), 0.0f);
    EXPECT_FLOAT_EQ(s->Read(3, 0), 0.5f);
    EXPECT_NEAR(s->Convert(SF_MONO16)->Read(4, 0), 127.0 / 128, 1e-6);
}

TEST_F(AudioTest, WavChunkOrderPaddingAndUnknownChunks) {
    const TWave wave = Sine(22050, 33, {500}, 0.7);
    TWavLayout layout = Layout(wave, 16);
    // An odd-sized unknown chunk (padded) before everything, and data before fmt.
    layout.extraChunks = {{"LIST", Bytes(5, 'x')}, {"junk", Bytes(2, 0)}};
    layout.dataBeforeFormat = true;
    Ref<TSample> s = LoadWavSample(Memory(BuildWav(layout)));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->length, 33);
    EXPECT_NEAR(s->Read(5, 0), wave.At(5, 0), 1e-4);

    // An odd data chunk (8-bit mono, 3 frames) with an unknown chunk after it.
    TWavLayout odd;
    odd.bits = 8;
    odd.data = {10, 20, 30};
    odd.extraChunks = {{"cue ", Bytes(3, 1)}};
    Bytes file = BuildWav(odd);
    Ref<TSample> o = LoadWavSample(Memory(file));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->length, 3);
    EXPECT_EQ(o->data, (Bytes{10, 20, 30}));

    // A partial last frame is dropped.
    TWavLayout partial = Layout(Sine(8000, 4, {100, 100}, 0.5), 16);
    partial.data.resize(partial.data.size() - 1);
    ASSERT_TRUE(LoadWavSample(Memory(BuildWav(partial))));
    EXPECT_EQ(LoadWavSample(Memory(BuildWav(partial)))->length, 3);
}

TEST_F(AudioTest, WavBadHeadersDecline) {
    const TWave wave = Sine(8000, 16, {300}, 0.5);
    auto declines = [&](TWavLayout layout) { return !LoadWavSample(Memory(BuildWav(layout))); };
    TWavLayout good = Layout(wave, 16);
    ASSERT_FALSE(declines(good));

    TWavLayout l = good;
    l.dataSizeField = 1 << 30;  // more data than the file holds
    EXPECT_TRUE(declines(l));
    l = good;
    l.dataSizeField = 0xFFFFFFFF;
    EXPECT_TRUE(declines(l));
    l = good;
    l.channels = 0;
    EXPECT_TRUE(declines(l));
    l = good;
    l.channels = 3;
    EXPECT_TRUE(declines(l));
    l = good;
    l.rate = 0;
    EXPECT_TRUE(declines(l));
    l = good;
    l.rate = 0x7FFFFFFF;
    EXPECT_TRUE(declines(l));
    l = good;
    l.bits = 12;
    EXPECT_TRUE(declines(l));
    l = good;
    l.blockAlign = 7;
    EXPECT_TRUE(declines(l));
    l = good;
    l.tag = 2;  // ADPCM
    EXPECT_TRUE(declines(l));
    l = good;
    l.data.clear();
    EXPECT_TRUE(declines(l));

    Bytes file = BuildWav(good);
    for (size_t cut : {size_t(0), size_t(4), size_t(12), size_t(30), file.size() - 2}) {
        Bytes shorter(file.begin(), file.begin() + long(cut));
        EXPECT_FALSE(LoadWavSample(Memory(shorter))) << cut;
    }
    Bytes noFormat = file;
    std::memcpy(noFormat.data() + 12, "abcd", 4);  // fmt chunk renamed
    EXPECT_FALSE(LoadWavSample(Memory(noFormat)));

    // Sizes beyond the byte limit decline before allocating.
    AudioModule().byteLimit = 16;
    EXPECT_FALSE(LoadWavSample(Memory(file)));
}

TEST_F(AudioTest, WavSaveLoadRoundTrip) {
    for (int format : {SF_MONO8, SF_STEREO16, SF_STEREO_FLOAT}) {
        Ref<TSample> s = TSample::Create(5, format, 32000);
        for (int f = 0; f < 5; ++f) s->Write(f, 0, float(f) / 8), s->Write(f, 1, -float(f) / 8);
        Bytes buffer(1024);
        auto out = TRamStream::Create(buffer.data(), int32_t(buffer.size()), false, true);
        ASSERT_EQ(SaveWavSample(s, out), 1);
        buffer.resize(size_t(out->Pos()));
        Ref<TSample> back = LoadWavSample(Memory(buffer));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->format, format);
        EXPECT_EQ(back->rate, 32000);
        EXPECT_EQ(back->data, s->data);
    }
    Bytes tiny(10);
    EXPECT_EQ(SaveWavSample(TSample::Create(5, SF_MONO16, 8000),
                            TRamStream::Create(tiny.data(), 10, false, true)),
              0);
}

TEST_F(AudioTest, OggDecodesPitchLevelAndChannels) {
    const TWave wave = Sine(44100, 22050, {440, 880}, 0.5);
    const Bytes ogg = EncodeOgg(wave);
    ASSERT_GT(ogg.size(), 100u);
    Ref<TSample> s = LoadOggSample(Memory(ogg));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->format, SF_STEREO16);
    EXPECT_EQ(s->rate, 44100);
    EXPECT_EQ(s->length, 22050);
    TWave decoded;
    decoded.channels = 2;
    decoded.rate = s->rate;
    for (int f = 0; f < s->length; ++f) decoded.values.push_back(s->Read(f, 0)), decoded.values.push_back(s->Read(f, 1));
    EXPECT_NEAR(ZeroCrossingHz(decoded, 0, 2000, 20000), 440, 1);
    EXPECT_NEAR(ZeroCrossingHz(decoded, 1, 2000, 20000), 880, 2);
    EXPECT_NEAR(Rms(decoded, 0, 2000, 20000), 0.5 / std::sqrt(2), 0.02);

    // Mono, through LoadSample (Ogg is tried first, from the same start position).
    const Bytes mono = EncodeOgg(Sine(22050, 4000, {300}, 0.3));
    RegisterIncbin("test-mono.ogg", mono.data(), int32_t(mono.size()));
    Ref<TSample> m = LoadSample("incbin::test-mono.ogg");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->format, SF_MONO16);
    EXPECT_EQ(m->rate, 22050);
    EXPECT_EQ(m->length, 4000);
}

TEST_F(AudioTest, OggDamageDeclines) {
    const Bytes ogg = EncodeOgg(Sine(22050, 30000, {440}, 0.5));
    ASSERT_TRUE(LoadOggSample(Memory(ogg)));
    EXPECT_FALSE(LoadOggSample(Memory(Bytes(ogg.begin(), ogg.begin() + 40))));  // headers cut
    // Bytes changed in the middle break a page checksum: a hole in the data.
    Bytes damaged = ogg;
    for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 16; ++i) damaged[i] ^= 0x5A;
    EXPECT_FALSE(LoadOggSample(Memory(damaged)));
    EXPECT_FALSE(LoadOggSample(Memory(Bytes(1000, 0x4F))));
    AudioModule().byteLimit = 1000;  // decodes to 60000 bytes
    EXPECT_FALSE(LoadOggSample(Memory(ogg)));
}

TEST_F(AudioTest, LoadSampleClosesWhatItOpensAndDeclinesGarbage) {
    RegisterStreamFactory(std::make_shared<TProbeFactory>());
    g_probe = {};
    g_probe.bytes = BuildWav(Layout(Sine(8000, 10, {100}, 0.5), 16));
    EXPECT_TRUE(LoadSample("probe::a"));
    EXPECT_EQ(g_probe.closes, 1);
    for (Bytes bad : {Bytes{}, Bytes(64, 0), Bytes{'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'A', 'V', 'E'},
                      Bytes{'O', 'g', 'g', 'S', 0, 2}}) {
        g_probe.closes = 0;
        g_probe.bytes = bad;
        EXPECT_FALSE(LoadSample("probe::a"));
        EXPECT_EQ(g_probe.closes, 1);
    }
    EXPECT_FALSE(LoadSample("/no/such/file.wav"));

    // A loader registered later is asked first.
    struct TFixed : TSampleLoader {
        Ref<TSample> LoadSample(const Ref<TStream>&) override { return TSample::Create(7, SF_MONO8, 8000); }
    };
    RegisterSampleLoader(std::make_shared<TFixed>());
    g_probe.bytes = BuildWav(Layout(Sine(8000, 10, {100}, 0.5), 16));
    EXPECT_EQ(LoadSample("probe::a")->length, 7);
}

TEST_F(AudioTest, DriversListAndSilentChannelsKeepTime) {
#ifdef _WIN32
    EXPECT_EQ(AudioDriverNames(), (std::vector<TString>{u"Mixer", u"Silent"}));  // no OpenAL on Windows: the wave-out mixer
#else
    EXPECT_EQ(AudioDriverNames(), (std::vector<TString>{u"OpenAL", u"Silent"}));
#endif
    EXPECT_FALSE(SetAudioDriver(u"Nonesuch"));
    ASSERT_TRUE(SetAudioDriver(u"silent"));
    EXPECT_EQ(AudioDriver()->Name(), u"Silent");

    Ref<TSample> sample = TSample::Create(800, SF_MONO16, 8000);  // 0.1 s
    Ref<TSound> once = CreateSound(sample, 0);
    Ref<TSound> loop = CreateSound(sample, SOUND_LOOP);
    ASSERT_TRUE(once && loop);
    EXPECT_FALSE(CreateSound(nullptr, 0));
    Ref<TChannel> a = PlaySound(once);
    Ref<TChannel> b = PlaySound(loop);
    Ref<TChannel> c = CueSound(once);
    EXPECT_TRUE(ChannelPlaying(a));
    EXPECT_TRUE(ChannelPaused(c));
    SetChannelRate(a, 0);  // refused: the rate stays 1
    SetChannelVolume(a, NAN);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(ChannelPlaying(a));
    EXPECT_TRUE(ChannelPlaying(b));
    EXPECT_TRUE(ChannelPlaying(c));  // cued: waiting, not ended
    ResumeChannel(c);
    EXPECT_FALSE(ChannelPaused(c));
    StopChannel(b);
    EXPECT_FALSE(ChannelPlaying(b));
    EXPECT_EQ(PlaySound(once, b), b);  // a given channel is reused
    EXPECT_FALSE(ChannelPlaying(nullptr));
    EXPECT_FALSE(PlaySound(nullptr));
}

TEST_F(AudioTest, SilentShutdownStopsChannelsAndSoundsGoWithTheirLastReference) {
    ASSERT_TRUE(SetAudioDriver(u"Silent"));
    Ref<TSound> loop = CreateSound(TSample::Create(800, SF_MONO16, 8000), SOUND_LOOP);
    std::weak_ptr<TSound> watch = loop;
    Ref<TChannel> a = PlaySound(loop);
    Ref<TChannel> b = CueSound(loop);
    loop = nullptr;
    EXPECT_TRUE(ChannelPlaying(a));
    StopChannel(b);
    EXPECT_FALSE(watch.expired());  // a still plays it
    ShutdownAudio();
    EXPECT_FALSE(ChannelPlaying(a));
    EXPECT_FALSE(ChannelPaused(a));
    EXPECT_TRUE(watch.expired());
    ResumeChannel(a);  // stays stopped
    EXPECT_FALSE(ChannelPlaying(a));
}
