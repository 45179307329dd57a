#include <corvex/audio/wav.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/audio_module.h"
#include "audio/audio_util.h"

namespace corvex {
namespace {

using detail::Le16;
using detail::Le32;
using detail::ReadUpTo;

constexpr uint16_t TAG_PCM = 1;
constexpr uint16_t TAG_FLOAT = 3;
constexpr uint16_t TAG_EXTENSIBLE = 0xFFFE;
// The part of the extensible sub-format GUID after its leading format tag.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct TWavFormat {
    bool found = false;
    bool isFloat = false;
    int32_t channels = 0;
    int32_t rate = 0;
    int32_t bits = 0;
    int32_t blockAlign = 0;
};

bool ParseFormat(const uint8_t* p, uint32_t size, TWavFormat* fmt) {
    if (size < 16) return false;
    uint16_t tag = Le16(p);
    if (tag == TAG_EXTENSIBLE) {
        if (size < 40 || Le16(p + 16) < 22) return false;
        if (std::memcmp(p + 26, kGuidTail, sizeof kGuidTail) != 0) return false;
        tag = Le16(p + 24);
    }
    if (tag != TAG_PCM && tag != TAG_FLOAT) return false;
    fmt->isFloat = tag == TAG_FLOAT;
    fmt->channels = Le16(p + 2);
    const uint32_t rate = Le32(p + 4);
    fmt->blockAlign = Le16(p + 12);
    fmt->bits = Le16(p + 14);
    if (fmt->channels != 1 && fmt->channels != 2) return false;
    if (!SampleRateAllowed(rate)) return false;
    fmt->rate = int32_t(rate);
    const bool bitsOk = fmt->isFloat ? (fmt->bits == 32 || fmt->bits == 64)
                                     : (fmt->bits == 8 || fmt->bits == 16 || fmt->bits == 24 || fmt->bits == 32);
    if (!bitsOk || fmt->blockAlign != fmt->channels * fmt->bits / 8) return false;
    fmt->found = true;
    return true;
}

// Moves count bytes forward; false when the stream ends first.
bool Skip(TStream& stream, uint32_t count) {
    const int32_t pos = stream.Pos(), size = stream.Size();
    if (pos >= 0 && size > 0) {
        if (int64_t(pos) + count > size) return false;
        return stream.Seek(pos + int32_t(count)) == pos + int32_t(count);
    }
    uint8_t scratch[1024];
    while (count > 0) {
        const int32_t step = count < sizeof scratch ? int32_t(count) : int32_t(sizeof scratch);
        if (ReadUpTo(stream, scratch, step) != step) return false;
        count -= uint32_t(step);
    }
    return true;
}

// Reads a data chunk of count bytes, growing the buffer only as bytes arrive so that a lying
// size cannot make it allocate more than the file holds.
bool ReadData(TStream& stream, uint32_t count, std::vector<uint8_t>* raw) {
    // Integer and float data never shrink by more than half on the way into a sample.
    if (int64_t(count) > std::min(AudioModule().byteLimit, MAX_SAMPLE_BYTES) * 2) return false;
    const int32_t pos = stream.Pos(), size = stream.Size();
    if (pos >= 0 && size > 0 && int64_t(pos) + count > size) return false;
    constexpr uint32_t kStep = 1 << 16;
    while (raw->size() < count) {
        const uint32_t step = count - uint32_t(raw->size()) < kStep ? count - uint32_t(raw->size()) : kStep;
        const size_t at = raw->size();
        raw->resize(at + step);
        if (ReadUpTo(stream, raw->data() + at, int32_t(step)) != int32_t(step)) return false;
    }
    return true;
}

float ToFloat(const uint8_t* p, const TWavFormat& fmt) {
    float v;
    if (fmt.isFloat) {
        if (fmt.bits == 32) {
            std::memcpy(&v, p, 4);
        } else {
            double d;
            std::memcpy(&d, p, 8);
            v = float(d);
        }
        return std::isfinite(v) ? v : 0.0f;
    }
    if (fmt.bits == 24) {
        const int32_t s = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
        return float(s) / 8388608.0f;
    }
    return float(double(int32_t(Le32(p))) / 2147483648.0);
}

Ref<TSample> MakeSample(const TWavFormat& fmt, const std::vector<uint8_t>& raw) {
    const int64_t frames = int64_t(raw.size()) / fmt.blockAlign;  // a partial last frame is dropped
    const int32_t bits = fmt.isFloat || fmt.bits > 16 ? 32 : fmt.bits;
    const int32_t format = SampleFormatFor(fmt.channels, bits);
    if (!SampleSizeAllowed(frames, format)) return nullptr;
    Ref<TSample> sample = TSample::Create(int32_t(frames), format, fmt.rate);
    if (!sample) return nullptr;
    if (bits != 32) {  // 8-bit unsigned and 16-bit signed are stored as they are
        std::memcpy(sample->data.data(), raw.data(), sample->data.size());
        return sample;
    }
    const int32_t valueBytes = fmt.bits / 8;
    const uint8_t* p = raw.data();
    uint8_t* out = sample->data.data();
    const int64_t values = frames * fmt.channels;
    for (int64_t i = 0; i < values; ++i, p += valueBytes, out += 4) {
        const float v = ToFloat(p, fmt);
        std::memcpy(out, &v, 4);
    }
    return sample;
}

}  // namespace

Ref<TSample> LoadWavSample(const Ref<TStream>& stream) {
    if (!stream) return nullptr;
    uint8_t header[12];
    if (ReadUpTo(*stream, header, 12) != 12) return nullptr;
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) return nullptr;

    TWavFormat fmt;
    std::vector<uint8_t> raw;
    bool haveData = false;
    while (!(fmt.found && haveData)) {
        uint8_t chunk[8];
        if (ReadUpTo(*stream, chunk, 8) != 8) return nullptr;  // ended before fmt and data
        const uint32_t size = Le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !fmt.found) {
            if (size < 16 || size > 1024) return nullptr;
            uint8_t body[1024];
            if (ReadUpTo(*stream, body, int32_t(size)) != int32_t(size)) return nullptr;
            if (!ParseFormat(body, size, &fmt)) return nullptr;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
            if (!ReadData(*stream, size, &raw)) return nullptr;
            haveData = true;
        } else if (!Skip(*stream, size)) {
            return nullptr;
        }
        if ((size & 1) && !(fmt.found && haveData)) {
            uint8_t pad;
            if (ReadUpTo(*stream, &pad, 1) != 1) return nullptr;
        }
    }
    return MakeSample(fmt, raw);
}

int32_t SaveWavSample(const Ref<TSample>& sample, const Ref<TStream>& stream) {
    if (!sample || !stream || !IsSampleFormat(sample->format)) return 0;
    const uint32_t dataBytes = uint32_t(sample->data.size());
    const uint16_t channels = uint16_t(sample->Channels());
    const uint16_t valueBytes = uint16_t(SampleFormatValueBytes(sample->format));
    const bool isFloat = valueBytes == 4;
    std::vector<uint8_t> out;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    auto tag = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    tag("RIFF");
    put(4 + 8 + 16 + 8 + dataBytes + (dataBytes & 1), 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(isFloat ? TAG_FLOAT : TAG_PCM, 2);
    put(channels, 2);
    put(uint32_t(sample->rate), 4);
    put(uint32_t(sample->rate) * channels * valueBytes, 4);
    put(uint32_t(channels * valueBytes), 2);
    put(uint32_t(valueBytes * 8), 2);
    tag("data");
    put(dataBytes, 4);
    out.insert(out.end(), sample->data.begin(), sample->data.end());
    if (dataBytes & 1) out.push_back(0);
    try {
        return stream->WriteBytes(out.data(), int32_t(out.size())) == int32_t(out.size()) ? 1 : 0;
    } catch (const TStreamException&) {
        return 0;
    }
}

}  // namespace corvex
