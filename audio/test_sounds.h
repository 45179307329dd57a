// Test sounds built in memory: WAV files byte by byte (with control over chunk order and
// format fields), Ogg Vorbis through libvorbisenc directly, and the measurements the tests
// and benchmarks make on decoded or recorded audio. No framework code is used here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvex::testsounds {

using Bytes = std::vector<uint8_t>;

// Interleaved float frames (one value per channel, -1..1).
struct TWave {
    int channels = 1;
    int rate = 44100;
    std::vector<float> values;
    int64_t Frames() const { return channels > 0 ? int64_t(values.size()) / channels : 0; }
    float At(int64_t frame, int channel) const { return values[size_t(frame * channels + channel)]; }
};

// A sine per channel (frequencies[c] Hz, amplitude amp) lasting frames frames.
TWave Sine(int rate, int64_t frames, std::vector<double> frequencies, double amp);

// ---- WAV byte by byte
struct TWavLayout {
    int tag = 1;            // 1 PCM, 3 float, 0xFFFE extensible (then subTag is used)
    int subTag = 1;
    int channels = 1;
    int rate = 44100;
    int bits = 16;
    int blockAlign = -1;    // -1: channels * bits / 8
    Bytes data;             // the data chunk's bytes as they are
    int64_t dataSizeField = -1;  // -1: data.size(); otherwise written as given (lying headers)
    bool dataBeforeFormat = false;
    std::vector<std::pair<std::string, Bytes>> extraChunks;  // written before the first of fmt/data
};
Bytes BuildWav(const TWavLayout& layout);
// The values of wave packed for a WAV data chunk: 8-bit unsigned, 16/24/32-bit signed PCM,
// or 32/64-bit float.
Bytes PackPcm(const TWave& wave, int bits, bool isFloat);

// ---- Ogg Vorbis through libvorbisenc (VBR at the given quality, -0.1..1)
Bytes EncodeOgg(const TWave& wave, float quality = 0.4f);

// ---- Reading back a WAV file written by another program (plain or extensible; 16-bit PCM or
// 32-bit float); false when it is not one.
bool ParseWavFile(const Bytes& file, TWave* wave);
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);

// ---- Measurements on one channel over frames [from, to)
double Rms(const TWave& wave, int channel, int64_t from, int64_t to);
double Peak(const TWave& wave, int channel, int64_t from, int64_t to);
// Frequency from upward zero crossings (interpolated); 0 when fewer than two.
double ZeroCrossingHz(const TWave& wave, int channel, int64_t from, int64_t to);
// First frame at or after from whose absolute value exceeds level; -1 if none.
int64_t FirstAbove(const TWave& wave, int channel, int64_t from, double level);
// Longest run of frames in [from, to) whose absolute value on every channel stays below level.
int64_t LongestQuiet(const TWave& wave, int64_t from, int64_t to, double level);

}  // namespace corvex::testsounds
