// How many voices OpenAL Soft mixes together without falling behind: for each count, that many
// looping tones play for two seconds through the wave writer (which mixes in real time), and
// the written file is measured: seconds written per second of wall time from opening the device
// to closing it (below 1: the mixer fell behind), the longest run of silence once the voices
// have started, and whether every voice got a channel.
// Usage: audio_voices [COUNT...]   (default 16 64 128 255)
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <corvex/audio/audio.h>

#include "audio/test_sounds.h"

using namespace corvex;
using namespace corvex::testsounds;

int main(int argc, char** argv) {
    const std::string base = "/tmp/corvex-audio-voices-" + std::to_string(getpid());
    const std::string text = "[general]\ndrivers=wave\nfrequency=48000\nhrtf=false\nsources=4096\n[wave]\nfile=" + base + ".wav\n";
    WriteFile(base + ".conf", Bytes(text.begin(), text.end()));
    setenv("ALSOFT_CONF", (base + ".conf").c_str(), 1);
    StartAudioModule();

    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {16, 64, 128, 255};

    std::printf("voices  got  realtime  longest-silence-ms  rms\n");
    for (int count : counts) {
        const auto opened = std::chrono::steady_clock::now();
        if (!SetAudioDriver(u"OpenAL")) {
            std::printf("OpenAL did not start\n");
            return 1;
        }
        std::vector<Ref<TSound>> sounds;
        std::vector<Ref<TChannel>> channels;
        for (int v = 0; v < count; ++v) {
            // A tenth of a second, a whole number of cycles, a different pitch for each voice.
            Ref<TSample> s = TSample::Create(4410, SF_MONO16, 44100);  // resampled to the 48 kHz mix
            const double hz = 100.0 + 10.0 * v;
            for (int i = 0; i < s->length; ++i) s->Write(i, 0, float(std::sin(6.283185307 * hz * i / 44100.0)));
            sounds.push_back(CreateSound(s, SOUND_LOOP));
            Ref<TChannel> ch = AllocChannel();
            if (!ch) break;
            SetChannelVolume(ch, 0.5f / float(count));
            SetChannelPan(ch, float(v % 3) - 1.0f);
            channels.push_back(ch);
        }
        for (size_t v = 0; v < channels.size(); ++v) PlaySound(sounds[v], channels[v]);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const size_t got = channels.size();
        channels.clear();
        sounds.clear();
        ShutdownAudio();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - opened).count();
        TWave mix;
        if (!ParseWavFile(ReadFile(base + ".wav"), &mix)) {
            std::printf("%6d  no file\n", count);
            continue;
        }
        const int64_t from = FirstAbove(mix, 0, 0, 1e-6);  // the voices start together
        if (from < 0) {
            std::printf("%6d  silent\n", count);
            continue;
        }
        const int64_t quiet = LongestQuiet(mix, from, mix.Frames() - mix.rate / 20, 1e-6);
        std::printf("%6d %4zu  %8.3f  %18.1f  %.4f\n", count, got, double(mix.Frames()) / mix.rate / wall,
                    1000.0 * double(quiet) / mix.rate, Rms(mix, 0, from, mix.Frames()));
    }
    std::remove((base + ".wav").c_str());
    std::remove((base + ".conf").c_str());
    return 0;
}
