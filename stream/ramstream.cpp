// Memory streams over borrowed bytes.
#include <algorithm>
#include <cstring>

#include <corvex/stream/stream.h>

namespace corvex {

Ref<TRamStream> TRamStream::Create(void* buf, int32_t size, bool readable, bool writeable) {
    Ref<TRamStream> stream(new TRamStream());
    stream->_buf = static_cast<uint8_t*>(buf);
    // No memory, or a negative size, is an empty stream: transfers must stay inside the buffer.
    stream->_size = (buf && size > 0) ? size : 0;
    stream->_read = readable;
    stream->_write = writeable;
    return stream;
}

Ref<TRamStream> TRamStream::Create(const void* buf, int32_t size, bool readable) {
    // Never written through: _write stays false.
    return Create(const_cast<void*>(buf), size, readable, false);
}

int32_t TRamStream::Seek(int32_t pos) {
    _pos = std::clamp(pos, 0, _size);
    return _pos;
}

int32_t TRamStream::Read(void* buf, int32_t count) {
    if (count <= 0 || !_read) return 0;
    count = std::min(count, _size - _pos);
    if (count > 0) std::memcpy(buf, _buf + _pos, static_cast<size_t>(count));
    _pos += count;
    return count;
}

int32_t TRamStream::Write(const void* buf, int32_t count) {
    if (count <= 0 || !_write) return 0;
    count = std::min(count, _size - _pos);
    if (count > 0) std::memcpy(_buf + _pos, buf, static_cast<size_t>(count));
    _pos += count;
    return count;
}

}  // namespace corvex
