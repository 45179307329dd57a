#include <corvex/audio/sample.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/audio_module.h"

namespace corvex {

bool IsSampleFormat(int32_t format) { return format >= SF_MONO8 && format <= SF_STEREO_FLOAT; }

int32_t SampleFormatChannels(int32_t format) {
    switch (format) {
        case SF_MONO8: case SF_MONO16: case SF_MONO_FLOAT: return 1;
        case SF_STEREO8: case SF_STEREO16: case SF_STEREO_FLOAT: return 2;
        default: return 0;
    }
}

int32_t SampleFormatValueBytes(int32_t format) {
    switch (format) {
        case SF_MONO8: case SF_STEREO8: return 1;
        case SF_MONO16: case SF_STEREO16: return 2;
        case SF_MONO_FLOAT: case SF_STEREO_FLOAT: return 4;
        default: return 0;
    }
}

int32_t SampleFormatFrameBytes(int32_t format) {
    return SampleFormatChannels(format) * SampleFormatValueBytes(format);
}

int32_t SampleFormatFor(int32_t channels, int32_t bits) {
    if (channels != 1 && channels != 2) return 0;
    const bool stereo = channels == 2;
    switch (bits) {
        case 8: return stereo ? SF_STEREO8 : SF_MONO8;
        case 16: return stereo ? SF_STEREO16 : SF_MONO16;
        case 32: return stereo ? SF_STEREO_FLOAT : SF_MONO_FLOAT;
        default: return 0;
    }
}

bool SampleRateAllowed(int64_t rate) { return rate >= MIN_SAMPLE_RATE && rate <= MAX_SAMPLE_RATE; }

bool SampleSizeAllowed(int64_t length, int32_t format) {
    const int32_t frameBytes = SampleFormatFrameBytes(format);
    if (frameBytes == 0 || length < 1) return false;
    // Lengths travel as int32_t: the limit never goes above MAX_SAMPLE_BYTES.
    const int64_t limit = std::min(AudioModule().byteLimit, MAX_SAMPLE_BYTES);
    return length <= limit / frameBytes;
}

Ref<TSample> TSample::Create(int32_t length, int32_t format, int32_t rate) {
    if (!SampleSizeAllowed(length, format) || !SampleRateAllowed(rate)) return nullptr;
    auto sample = std::make_shared<TSample>();
    sample->length = length;
    sample->format = format;
    sample->rate = rate;
    const uint8_t silence = SampleFormatValueBytes(format) == 1 ? 128 : 0;
    sample->data.assign(size_t(length) * size_t(SampleFormatFrameBytes(format)), silence);
    return sample;
}

float TSample::Read(int32_t frame, int32_t channel) const {
    const int32_t channels = Channels();
    const int32_t index = channels == 1 ? 0 : (channel != 0 ? 1 : 0);
    const uint8_t* p = FramePtr(frame);
    switch (SampleFormatValueBytes(format)) {
        case 1: return (float(p[index]) - 128.0f) / 128.0f;
        case 2: {
            int16_t v;
            std::memcpy(&v, p + index * 2, 2);
            return float(v) / 32768.0f;
        }
        case 4: {
            float v;
            std::memcpy(&v, p + index * 4, 4);
            return v;
        }
        default: return 0.0f;
    }
}

void TSample::Write(int32_t frame, int32_t channel, float v) {
    const int32_t channels = Channels();
    if (channels == 0 || channel < 0 || channel >= channels) return;
    if (std::isnan(v)) v = 0.0f;
    v = v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
    uint8_t* p = FramePtr(frame);
    switch (SampleFormatValueBytes(format)) {
        case 1: {
            const long q = std::lround(v * 128.0f) + 128;
            p[channel] = uint8_t(q > 255 ? 255 : q);
            break;
        }
        case 2: {
            const long q = std::lround(v * 32768.0f);
            const int16_t s = int16_t(q > 32767 ? 32767 : q);
            std::memcpy(p + channel * 2, &s, 2);
            break;
        }
        case 4: std::memcpy(p + channel * 4, &v, 4); break;
        default: break;
    }
}

Ref<TSample> TSample::Copy() const {
    auto copy = std::make_shared<TSample>();
    copy->length = length;
    copy->format = format;
    copy->rate = rate;
    copy->data = data;
    return copy;
}

Ref<TSample> TSample::Convert(int32_t to) const {
    if (!IsSampleFormat(to) || !IsSampleFormat(format)) return nullptr;
    if (to == format) return Copy();
    auto out = std::make_shared<TSample>();
    out->length = length;
    out->format = to;
    out->rate = rate;
    out->data.resize(size_t(length) * size_t(SampleFormatFrameBytes(to)));
    const int32_t fromChannels = Channels(), toChannels = SampleFormatChannels(to);
    const int32_t fromBytes = SampleFormatValueBytes(format), toBytes = SampleFormatValueBytes(to);
    for (int32_t f = 0; f < length; ++f) {
        for (int32_t c = 0; c < toChannels; ++c) {
            // 8 <-> 16-bit on the integer values so that nothing is lost going up.
            if (fromChannels == toChannels && fromBytes == 1 && toBytes == 2) {
                const int16_t s = int16_t((int(FramePtr(f)[c]) - 128) * 256);
                std::memcpy(out->FramePtr(f) + c * 2, &s, 2);
                continue;
            }
            float v = fromChannels == 2 && toChannels == 1 ? (Read(f, 0) + Read(f, 1)) * 0.5f : Read(f, c);
            out->Write(f, c, v);
        }
    }
    return out;
}

}  // namespace corvex
