// File streams on the C library's buffered FILEs.
#include <sys/types.h>

#include <climits>
#include <cstdio>

#include <corvex/stream/stream.h>
#include "stream/cstream_platform.h"

namespace corvex {
namespace {
enum { kNone = 0, kReading = 1, kWriting = 2 };
}  // namespace

Ref<TCStream> TCStream::OpenFile(const TString& path, bool readable, bool writeable) {
    const char* how = "rb";
    int32_t mode = MODE_READ;
    if (readable && writeable) {
        how = "r+b";
        mode = MODE_READ | MODE_WRITE;
    } else if (writeable) {
        how = "wb";
        mode = MODE_WRITE;
    }
    TString slashed = path;
    for (char16_t& c : slashed) {
        if (c == u'\\') c = u'/';
    }
    // A NUL inside would silently name a shorter path.
    if (slashed.empty() || slashed.find(u'\0') != TString::npos) return nullptr;
    std::FILE* file = OpenNamedFile(slashed, how);
    if (!file) return nullptr;
    Ref<TCStream> stream = CreateWithCStream(file, mode);
    if (!stream) std::fclose(file);
    return stream;
}

Ref<TCStream> TCStream::OpenFile(std::string_view utf8Path, bool readable, bool writeable) {
    return OpenFile(FromUtf8(utf8Path), readable, writeable);
}

Ref<TCStream> TCStream::CreateWithCStream(std::FILE* cstream, int32_t mode) {
    if (!cstream) return nullptr;
    const off_t pos = ftello(cstream);
    if (pos < 0 || fseeko(cstream, 0, SEEK_END) != 0) return nullptr;
    const off_t size = ftello(cstream);
    fseeko(cstream, pos, SEEK_SET);
    // 32-bit positions cannot describe a file of 2^31 bytes or more: refuse it rather than
    // report a wrong size.
    if (size < 0 || size > INT32_MAX || pos > INT32_MAX) return nullptr;
    Ref<TCStream> stream(new TCStream());
    stream->_cstream = cstream;
    stream->_pos = static_cast<int32_t>(pos);
    stream->_size = static_cast<int32_t>(size);
    stream->_mode = mode;
    return stream;
}

TCStream::~TCStream() { TCStream::Close(); }

int32_t TCStream::Pos() { return _pos; }
int32_t TCStream::Size() { return _size; }

int32_t TCStream::Seek(int32_t pos) {
    if (!_cstream) return _pos;
    fseeko(_cstream, pos, SEEK_SET);
    _lastOp = kNone;
    const off_t now = ftello(_cstream);
    if (now >= 0 && now <= INT32_MAX) _pos = static_cast<int32_t>(now);
    return _pos;
}

int32_t TCStream::Flush() {
    if (_cstream) {
        std::fflush(_cstream);
        _lastOp = kNone;
    }
    return 0;
}

int32_t TCStream::Close() {
    if (_cstream) {
        Flush();
        std::fclose(_cstream);
        _cstream = nullptr;
        _pos = 0;
        _size = 0;
        _lastOp = kNone;
    }
    return 0;
}

// C requires a flush or a seek between output and input on the same FILE; without it a
// stream opened for both would read or write garbage.
void TCStream::Turn(int direction) {
    if (_lastOp != kNone && _lastOp != direction) fseeko(_cstream, 0, SEEK_CUR);
    _lastOp = direction;
}

int32_t TCStream::Read(void* buf, int32_t count) {
    if (!_cstream || count <= 0 || _pos < 0) return 0;
    if (count > INT32_MAX - _pos) count = INT32_MAX - _pos;  // the file grew behind our back
    if (count == 0) return 0;
    Turn(kReading);
    const auto n = static_cast<int32_t>(std::fread(buf, 1, static_cast<size_t>(count), _cstream));
    _pos += n;
    return n;
}

int32_t TCStream::Write(const void* buf, int32_t count) {
    if (!_cstream || count <= 0 || _pos < 0) return 0;
    // Never grow past what a 32-bit position can hold.
    if (count > INT32_MAX - _pos) count = INT32_MAX - _pos;
    if (count == 0) return 0;
    Turn(kWriting);
    const auto n = static_cast<int32_t>(std::fwrite(buf, 1, static_cast<size_t>(count), _cstream));
    _pos += n;
    if (_pos > _size) _size = _pos;
    return n;
}

}  // namespace corvex
