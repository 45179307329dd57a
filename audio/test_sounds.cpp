#include "audio/test_sounds.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace corvex::testsounds {
namespace {

void Put(Bytes& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void Tag(Bytes& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }
void Chunk(Bytes& out, const char* tag, const Bytes& body, int64_t sizeField = -1) {
    Tag(out, tag);
    Put(out, uint64_t(sizeField < 0 ? int64_t(body.size()) : sizeField), 4);
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
}
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

TWave Sine(int rate, int64_t frames, std::vector<double> frequencies, double amp) {
    TWave wave;
    wave.channels = int(frequencies.size());
    wave.rate = rate;
    wave.values.resize(size_t(frames) * frequencies.size());
    const double twoPi = 6.283185307179586;
    for (int64_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < frequencies.size(); ++c)
            wave.values[size_t(f) * frequencies.size() + c] =
                float(amp * std::sin(twoPi * frequencies[c] * double(f) / rate));
    return wave;
}

Bytes PackPcm(const TWave& wave, int bits, bool isFloat) {
    Bytes out;
    for (float v : wave.values) {
        if (isFloat && bits == 32) {
            uint32_t u;
            std::memcpy(&u, &v, 4);
            Put(out, u, 4);
        } else if (isFloat) {
            double d = v;
            uint64_t u;
            std::memcpy(&u, &d, 8);
            Put(out, u, 8);
        } else if (bits == 8) {
            out.push_back(uint8_t(std::lround(v * 127.0) + 128));
        } else {
            const double scale = std::ldexp(1.0, bits - 1) - 1;
            Put(out, uint64_t(int64_t(std::llround(v * scale))), bits / 8);
        }
    }
    return out;
}

Bytes BuildWav(const TWavLayout& l) {
    Bytes fmt;
    Put(fmt, uint32_t(l.tag), 2);
    Put(fmt, uint32_t(l.channels), 2);
    Put(fmt, uint32_t(l.rate), 4);
    const int align = l.blockAlign >= 0 ? l.blockAlign : l.channels * l.bits / 8;
    Put(fmt, uint32_t(l.rate) * uint32_t(align), 4);
    Put(fmt, uint32_t(align), 2);
    Put(fmt, uint32_t(l.bits), 2);
    if (l.tag == 0xFFFE) {
        static const uint8_t tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        Put(fmt, 22, 2);
        Put(fmt, uint32_t(l.bits), 2);
        Put(fmt, l.channels == 2 ? 3 : 4, 4);
        Put(fmt, uint32_t(l.subTag), 2);
        fmt.insert(fmt.end(), tail, tail + 14);
    }
    Bytes body;
    Tag(body, "WAVE");
    for (const auto& [tag, bytes] : l.extraChunks) Chunk(body, tag.c_str(), bytes);
    if (l.dataBeforeFormat) {
        Chunk(body, "data", l.data, l.dataSizeField);
        Chunk(body, "fmt ", fmt);
    } else {
        Chunk(body, "fmt ", fmt);
        Chunk(body, "data", l.data, l.dataSizeField);
    }
    Bytes out;
    Chunk(out, "RIFF", body);
    return out;
}

Bytes EncodeOgg(const TWave& wave, float quality) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, wave.channels, wave.rate, quality) != 0) {
        vorbis_info_clear(&info);
        return {};
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state os;
    ogg_stream_init(&os, 12345);
    Bytes out;
    ogg_page page;
    auto flush = [&](bool all) {
        while (all ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page)) {
            out.insert(out.end(), page.header, page.header + page.header_len);
            out.insert(out.end(), page.body, page.body + page.body_len);
        }
    };
    ogg_packet header, commentPacket, codePacket;
    vorbis_analysis_headerout(&dsp, &comment, &header, &commentPacket, &codePacket);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &commentPacket);
    ogg_stream_packetin(&os, &codePacket);
    flush(true);
    const int64_t frames = wave.Frames();
    int64_t at = 0;
    ogg_packet packet;
    for (bool done = false; !done;) {
        const int64_t step = frames - at < 4096 ? frames - at : 4096;
        if (step == 0) {
            vorbis_analysis_wrote(&dsp, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, int(step));
            for (int64_t f = 0; f < step; ++f)
                for (int c = 0; c < wave.channels; ++c) buffer[c][f] = wave.At(at + f, c);
            vorbis_analysis_wrote(&dsp, int(step));
            at += step;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&os, &packet);
                flush(false);
                if (ogg_page_eos(&page)) done = true;
            }
        }
        if (step == 0) done = true;
    }
    flush(true);
    ogg_stream_clear(&os);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

bool ParseWavFile(const Bytes& file, TWave* wave) {
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return false;
    int tag = 0, channels = 0, rate = 0, bits = 0;
    size_t at = 12;
    while (at + 8 <= file.size()) {
        const uint8_t* p = file.data() + at;
        const size_t size = Le32(p + 4);
        const size_t body = at + 8;
        if (std::memcmp(p, "fmt ", 4) == 0 && body + 16 <= file.size()) {
            tag = Le16(p + 8);
            channels = Le16(p + 10);
            rate = int(Le32(p + 12));
            bits = Le16(p + 22);
            if (tag == 0xFFFE && size >= 40) tag = Le16(p + 8 + 24);
        } else if (std::memcmp(p, "data", 4) == 0 && channels > 0) {
            // A writer that never finished leaves the size short; take what is there.
            const size_t avail = file.size() - body;
            const size_t n = size < avail ? size : avail;
            wave->channels = channels;
            wave->rate = rate;
            wave->values.clear();
            if (tag == 3 && bits == 32) {
                for (size_t i = 0; i + 4 <= n; i += 4) {
                    float v;
                    std::memcpy(&v, file.data() + body + i, 4);
                    wave->values.push_back(v);
                }
            } else if (tag == 1 && bits == 16) {
                for (size_t i = 0; i + 2 <= n; i += 2)
                    wave->values.push_back(float(int16_t(Le16(file.data() + body + i))) / 32768.0f);
            } else {
                return false;
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

Bytes ReadFile(const std::string& path) {
    Bytes bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

double Rms(const TWave& wave, int channel, int64_t from, int64_t to) {
    to = to < wave.Frames() ? to : wave.Frames();
    if (from < 0) from = 0;
    if (to <= from) return 0;
    double sum = 0;
    for (int64_t f = from; f < to; ++f) sum += double(wave.At(f, channel)) * wave.At(f, channel);
    return std::sqrt(sum / double(to - from));
}

double Peak(const TWave& wave, int channel, int64_t from, int64_t to) {
    to = to < wave.Frames() ? to : wave.Frames();
    double peak = 0;
    for (int64_t f = from < 0 ? 0 : from; f < to; ++f) peak = std::fmax(peak, std::fabs(wave.At(f, channel)));
    return peak;
}

double ZeroCrossingHz(const TWave& wave, int channel, int64_t from, int64_t to) {
    to = to < wave.Frames() ? to : wave.Frames();
    double first = -1, last = -1;
    int crossings = 0;
    for (int64_t f = (from < 0 ? 0 : from) + 1; f < to; ++f) {
        const double a = wave.At(f - 1, channel), b = wave.At(f, channel);
        if (a < 0 && b >= 0) {
            const double t = double(f - 1) + (-a) / (b - a);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) * wave.rate / (last - first);
}

int64_t FirstAbove(const TWave& wave, int channel, int64_t from, double level) {
    for (int64_t f = from < 0 ? 0 : from; f < wave.Frames(); ++f)
        if (std::fabs(wave.At(f, channel)) > level) return f;
    return -1;
}

int64_t LongestQuiet(const TWave& wave, int64_t from, int64_t to, double level) {
    to = to < wave.Frames() ? to : wave.Frames();
    int64_t best = 0, run = 0;
    for (int64_t f = from < 0 ? 0 : from; f < to; ++f) {
        bool quiet = true;
        for (int c = 0; c < wave.channels; ++c) quiet = quiet && std::fabs(wave.At(f, c)) < level;
        run = quiet ? run + 1 : 0;
        best = run > best ? run : best;
    }
    return best;
}

}  // namespace corvex::testsounds
