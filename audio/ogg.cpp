#include <corvex/audio/ogg.h>

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "audio/audio_module.h"
#include "audio/audio_util.h"

namespace corvex {
namespace {

// libvorbisfile calls these from inside ov_open_callbacks and ov_read, on the caller's thread.
// No exception may cross the C library: a failed read reports an error instead.
struct TOggSource {
    TStream* stream;
    int32_t start;  // the stream position where the file begins
};

size_t ReadCallback(void* buffer, size_t size, size_t count, void* source) {
    auto* src = static_cast<TOggSource*>(source);
    const size_t want = size * count;
    if (size == 0 || want == 0) return 0;
    const int32_t step = want > (1u << 30) ? (1 << 30) : int32_t(want);
    try {
        return size_t(detail::ReadUpTo(*src->stream, buffer, step)) / size;
    } catch (const TStreamException&) {
        errno = EIO;
        return 0;
    }
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
    auto* src = static_cast<TOggSource*>(source);
    int64_t target;
    switch (whence) {
        case SEEK_SET: target = src->start + offset; break;
        case SEEK_CUR: target = int64_t(src->stream->Pos()) + offset; break;
        case SEEK_END: target = int64_t(src->stream->Size()) + offset; break;
        default: return -1;
    }
    if (target < src->start || target > src->stream->Size()) return -1;
    return src->stream->Seek(int32_t(target)) == target ? 0 : -1;
}

long TellCallback(void* source) {
    auto* src = static_cast<TOggSource*>(source);
    const int32_t pos = src->stream->Pos();
    return pos < 0 ? -1 : long(pos - src->start);
}

// Clears the decoder on every way out.
struct TVorbisFile {
    OggVorbis_File file;
    bool open = false;
    TVorbisFile() { std::memset(&file, 0, sizeof file); }
    ~TVorbisFile() {
        if (open) ov_clear(&file);
    }
};

}  // namespace

Ref<TSample> LoadOggSample(const Ref<TStream>& stream) {
    if (!stream) return nullptr;
    TOggSource source{stream.get(), stream->Pos()};
    const bool seekable = source.start >= 0 && stream->Size() > 0;
    if (!seekable) source.start = 0;
    ov_callbacks callbacks{ReadCallback, seekable ? SeekCallback : nullptr, nullptr,
                           seekable ? TellCallback : nullptr};
    TVorbisFile vf;
    if (ov_open_callbacks(&source, &vf.file, nullptr, 0, callbacks) != 0) return nullptr;
    vf.open = true;

    const vorbis_info* info = ov_info(&vf.file, -1);
    if (!info || (info->channels != 1 && info->channels != 2) || !SampleRateAllowed(info->rate)) return nullptr;
    // A chained file whose links differ in channels or rate cannot become one sample.
    for (int link = 1; link < ov_streams(&vf.file); ++link) {
        const vorbis_info* other = ov_info(&vf.file, link);
        if (!other || other->channels != info->channels || other->rate != info->rate) return nullptr;
    }
    const int32_t channels = info->channels;
    const int32_t format = SampleFormatFor(channels, 16);
    const int64_t limit = std::min(AudioModule().byteLimit, MAX_SAMPLE_BYTES);

    // Grow as the data decodes: the length the header claims is not trusted for allocation.
    std::vector<uint8_t> pcm;
    char buffer[8192];
    for (;;) {
        int section = 0;
        const long got = ov_read(&vf.file, buffer, sizeof buffer, 0, 2, 1, &section);
        if (got == 0) break;
        if (got < 0) return nullptr;  // a hole or a damaged packet
        const vorbis_info* now = ov_info(&vf.file, section);
        if (!now || now->channels != channels) return nullptr;
        if (int64_t(pcm.size()) + got > limit) return nullptr;
        pcm.insert(pcm.end(), buffer, buffer + got);
    }
    const int64_t frames = int64_t(pcm.size()) / SampleFormatFrameBytes(format);
    if (!SampleSizeAllowed(frames, format)) return nullptr;
    auto sample = std::make_shared<TSample>();
    sample->length = int32_t(frames);
    sample->format = format;
    sample->rate = int32_t(info->rate);
    pcm.resize(size_t(frames) * size_t(SampleFormatFrameBytes(format)));
    sample->data = std::move(pcm);
    return sample;
}

}  // namespace corvex
