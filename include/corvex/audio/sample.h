// Audio samples: PCM frames in memory with their format, rate and length, and conversion
// between formats.
//
// Loading sound files into samples: audio/loader.h (LoadSample and the loader registry),
// audio/wav.h, audio/ogg.h. Playing them: audio/audio.h.
#pragma once

#include <cstdint>
#include <vector>

#include <corvex/runtime/object.h>

namespace corvex {

// ---- Sample formats
// A frame holds one value per channel, left before right. 8-bit values are unsigned (128 is
// silence), 16-bit ones signed little-endian, float ones native floats nominally in -1..1.
constexpr int32_t SF_MONO8 = 1;
constexpr int32_t SF_MONO16 = 2;
constexpr int32_t SF_STEREO8 = 3;
constexpr int32_t SF_STEREO16 = 4;
constexpr int32_t SF_MONO_FLOAT = 5;
constexpr int32_t SF_STEREO_FLOAT = 6;

bool IsSampleFormat(int32_t format);             // one of the SF_ constants
int32_t SampleFormatChannels(int32_t format);    // 1 or 2; 0 for an unknown format
int32_t SampleFormatValueBytes(int32_t format);  // 1, 2 or 4 bytes per value; 0 if unknown
int32_t SampleFormatFrameBytes(int32_t format);  // channels * value bytes; 0 if unknown
// The format with the given channel count and value kind (8, 16, or 32 for float); 0 if none.
int32_t SampleFormatFor(int32_t channels, int32_t bits);

// ---- Limits
// Rates outside MIN..MAX_SAMPLE_RATE are refused; no sample holds more than MAX_SAMPLE_BYTES,
// so loaders decline bigger files.
constexpr int32_t MIN_SAMPLE_RATE = 1000;
constexpr int32_t MAX_SAMPLE_RATE = 384000;
constexpr int64_t MAX_SAMPLE_BYTES = int64_t(1) << 30;
bool SampleRateAllowed(int64_t rate);                    // MIN..MAX_SAMPLE_RATE
bool SampleSizeAllowed(int64_t length, int32_t format);  // 1..limit bytes, format known

// ---- TSample
// PCM frames in memory, with their format, rate and length.
class TSample : public TObject {
public:
    int32_t length = 0;  // frames
    int32_t format = 0;  // SF_*
    int32_t rate = 0;    // frames per second
    std::vector<uint8_t> data;  // length * SampleFormatFrameBytes(format) bytes

    // A silent sample (zero values, 128 for 8-bit). Null for an unknown format, a rate or a
    // size outside the limits.
    static Ref<TSample> Create(int32_t length, int32_t format, int32_t rate);

    int32_t Channels() const { return SampleFormatChannels(format); }      // 1 or 2
    int32_t FrameBytes() const { return SampleFormatFrameBytes(format); }  // bytes per frame
    double Seconds() const { return rate > 0 ? double(length) / rate : 0.0; }  // playing time at its rate
    // Address of a frame's first value; frames are not checked.
    uint8_t* FramePtr(int32_t frame) { return data.data() + size_t(frame) * size_t(FrameBytes()); }
    // Address of a frame's first value, read-only; frames are not checked.
    const uint8_t* FramePtr(int32_t frame) const {
        return data.data() + size_t(frame) * size_t(FrameBytes());
    }

    // One value as -1..1 (8-bit: (v - 128) / 128, 16-bit: v / 32768). channel 0 is left (or
    // the only channel); a mono sample reads its one channel for either. Frames are not checked.
    float Read(int32_t frame, int32_t channel) const;
    // Stores v, clamped to -1..1 and rounded for integer formats. A mono sample ignores
    // channel 1. Frames are not checked.
    void Write(int32_t frame, int32_t channel, float v);

    Ref<TSample> Copy() const;  // same format, rate and frames
    // Same rate and length in another format: mono to stereo copies the channel into both,
    // stereo to mono averages them; 8 <-> 16-bit is exact where it can be. Null for an
    // unknown format.
    Ref<TSample> Convert(int32_t format) const;
};

}  // namespace corvex
