// TIO defaults, the TStream transfers built on Read/Write/Eof, and the wrappers.
#include <algorithm>
#include <cstring>
#include <string>

#include <corvex/stream/stream.h>

namespace corvex {

TStreamReadException::TStreamReadException() : TStreamException(TString(u"Error reading from stream")) {}
TStreamWriteException::TStreamWriteException() : TStreamException(TString(u"Error writing to stream")) {}
TStreamReadException::TStreamReadException(const TString& url)
    : TStreamException(TString(u"Error reading from stream \"") + url + u"\"") {}
TStreamWriteException::TStreamWriteException(const TString& url)
    : TStreamException(TString(u"Error writing to stream \"") + url + u"\"") {}

// ---- TIO ----

bool TIO::Eof() { return Pos() == Size(); }
int32_t TIO::Pos() { return -1; }
int32_t TIO::Size() { return 0; }
int32_t TIO::Seek(int32_t) { return -1; }
int32_t TIO::Flush() { return 0; }
int32_t TIO::Close() { return 0; }
int32_t TIO::Read(void*, int32_t) { throw TRuntimeException(TString(u"Stream is not readable")); }
int32_t TIO::Write(const void*, int32_t) { throw TRuntimeException(TString(u"Stream is not writeable")); }

// ---- TStream ----

int32_t TStream::ReadBytes(void* buf, int32_t count) {
    auto* p = static_cast<uint8_t*>(buf);
    int32_t remaining = count;
    while (remaining > 0 && !Eof()) {
        const int32_t n = Read(p, remaining);
        if (n <= 0) throw TStreamReadException();
        const int32_t done = std::min(n, remaining);  // a Read never claims more than asked
        p += done;
        remaining -= done;
    }
    return count;
}

int32_t TStream::WriteBytes(const void* buf, int32_t count) {
    auto* p = static_cast<const uint8_t*>(buf);
    int32_t remaining = count;
    while (remaining > 0) {
        const int32_t n = Write(p, remaining);
        if (n <= 0) throw TStreamWriteException();
        const int32_t done = std::min(n, remaining);
        p += done;
        remaining -= done;
    }
    return count;
}

int32_t TStream::SkipBytes(int32_t count) {
    uint8_t scratch[1024];
    int32_t remaining = count;
    while (remaining > 0 && !Eof()) {
        const int32_t n = Read(scratch, std::min<int32_t>(remaining, sizeof scratch));
        if (n <= 0) throw TStreamReadException();
        remaining -= std::min(n, remaining);
    }
    return count;
}

namespace {
// Little-endian assembly, independent of the host's byte order.
template <size_t N>
uint64_t ReadLittle(TStream& s) {
    uint8_t b[N] = {};
    s.ReadBytes(b, N);
    uint64_t v = 0;
    for (size_t i = N; i-- > 0;) v = (v << 8) | b[i];
    return v;
}

template <size_t N>
void WriteLittle(TStream& s, uint64_t v) {
    uint8_t b[N];
    for (size_t i = 0; i < N; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    s.WriteBytes(b, N);
}
}  // namespace

int32_t TStream::ReadByte() { return static_cast<int32_t>(ReadLittle<1>(*this)); }
int32_t TStream::ReadShort() { return static_cast<int32_t>(ReadLittle<2>(*this)); }
int32_t TStream::ReadInt() { return static_cast<int32_t>(static_cast<uint32_t>(ReadLittle<4>(*this))); }
int64_t TStream::ReadLong() { return static_cast<int64_t>(ReadLittle<8>(*this)); }
float TStream::ReadFloat() {
    const auto bits = static_cast<uint32_t>(ReadLittle<4>(*this));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
double TStream::ReadDouble() {
    const uint64_t bits = ReadLittle<8>(*this);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

int32_t TStream::WriteByte(int32_t n) {
    WriteLittle<1>(*this, static_cast<uint32_t>(n));
    return 0;
}
int32_t TStream::WriteShort(int32_t n) {
    WriteLittle<2>(*this, static_cast<uint32_t>(n));
    return 0;
}
int32_t TStream::WriteInt(int32_t n) {
    WriteLittle<4>(*this, static_cast<uint32_t>(n));
    return 0;
}
int32_t TStream::WriteLong(int64_t n) {
    WriteLittle<8>(*this, static_cast<uint64_t>(n));
    return 0;
}
int32_t TStream::WriteFloat(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    WriteLittle<4>(*this, bits);
    return 0;
}
int32_t TStream::WriteDouble(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    WriteLittle<8>(*this, bits);
    return 0;
}

TString TStream::ReadLine() {
    // Byte by byte through Read, so nothing past the terminator is consumed.
    TString line;
    char16_t chunk[1024];
    size_t used = 0;
    for (;;) {
        uint8_t byte = 0;
        if (Read(&byte, 1) != 1 || byte == 0 || byte == 10) break;
        if (byte == 13) continue;
        chunk[used++] = byte;
        if (used == std::size(chunk)) {
            line.append(chunk, used);
            used = 0;
        }
    }
    line.append(chunk, used);
    return line;
}

int32_t TStream::WriteLine(const TString& s) {
    const std::string bytes = ToLatin1(s);
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) return 0;
    const auto count = static_cast<int32_t>(bytes.size());
    if (Write(bytes.data(), count) != count) return 0;
    static const uint8_t kEnd[2] = {13, 10};
    return Write(kEnd, 2) == 2 ? 1 : 0;
}

TString TStream::ReadString(int32_t count) {
    if (count <= 0) return TString();
    std::string bytes(static_cast<size_t>(count), '\0');  // zeros where the stream ends early
    ReadBytes(bytes.data(), count);
    return FromLatin1(bytes);
}

int32_t TStream::WriteString(const TString& s) {
    const std::string bytes = ToLatin1(s);
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) throw TStreamWriteException();
    WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
    return 0;
}

Ref<TObject> TStream::ReadObject() { throw TRuntimeException(TString(u"Unable to read object")); }
int32_t TStream::WriteObject(const Ref<TObject>&) { throw TRuntimeException(TString(u"Unable to write object")); }

// ---- TStreamWrapper ----
// Without an inner stream every operation falls back to the TIO/TStream defaults, so a closed
// TStreamStream raises "Stream is not readable" instead of touching a Null stream.

TStreamWrapper::TStreamWrapper(Ref<TStream> stream) : _stream(std::move(stream)) {}
void TStreamWrapper::SetStream(Ref<TStream> stream) { _stream = std::move(stream); }

bool TStreamWrapper::Eof() { return _stream ? _stream->Eof() : TStream::Eof(); }
int32_t TStreamWrapper::Pos() { return _stream ? _stream->Pos() : TStream::Pos(); }
int32_t TStreamWrapper::Size() { return _stream ? _stream->Size() : TStream::Size(); }
int32_t TStreamWrapper::Seek(int32_t pos) { return _stream ? _stream->Seek(pos) : TStream::Seek(pos); }
int32_t TStreamWrapper::Flush() { return _stream ? _stream->Flush() : TStream::Flush(); }
int32_t TStreamWrapper::Close() { return _stream ? _stream->Close() : TStream::Close(); }
int32_t TStreamWrapper::Read(void* buf, int32_t count) {
    return _stream ? _stream->Read(buf, count) : TStream::Read(buf, count);
}
int32_t TStreamWrapper::Write(const void* buf, int32_t count) {
    return _stream ? _stream->Write(buf, count) : TStream::Write(buf, count);
}
int32_t TStreamWrapper::ReadByte() { return _stream ? _stream->ReadByte() : TStream::ReadByte(); }
int32_t TStreamWrapper::WriteByte(int32_t n) { return _stream ? _stream->WriteByte(n) : TStream::WriteByte(n); }
int32_t TStreamWrapper::ReadShort() { return _stream ? _stream->ReadShort() : TStream::ReadShort(); }
int32_t TStreamWrapper::WriteShort(int32_t n) { return _stream ? _stream->WriteShort(n) : TStream::WriteShort(n); }
int32_t TStreamWrapper::ReadInt() { return _stream ? _stream->ReadInt() : TStream::ReadInt(); }
int32_t TStreamWrapper::WriteInt(int32_t n) { return _stream ? _stream->WriteInt(n) : TStream::WriteInt(n); }
float TStreamWrapper::ReadFloat() { return _stream ? _stream->ReadFloat() : TStream::ReadFloat(); }
int32_t TStreamWrapper::WriteFloat(float f) { return _stream ? _stream->WriteFloat(f) : TStream::WriteFloat(f); }
double TStreamWrapper::ReadDouble() { return _stream ? _stream->ReadDouble() : TStream::ReadDouble(); }
int32_t TStreamWrapper::WriteDouble(double d) { return _stream ? _stream->WriteDouble(d) : TStream::WriteDouble(d); }
TString TStreamWrapper::ReadLine() { return _stream ? _stream->ReadLine() : TStream::ReadLine(); }
int32_t TStreamWrapper::WriteLine(const TString& s) { return _stream ? _stream->WriteLine(s) : TStream::WriteLine(s); }
TString TStreamWrapper::ReadString(int32_t count) {
    return _stream ? _stream->ReadString(count) : TStream::ReadString(count);
}
int32_t TStreamWrapper::WriteString(const TString& s) {
    return _stream ? _stream->WriteString(s) : TStream::WriteString(s);
}
Ref<TObject> TStreamWrapper::ReadObject() { return _stream ? _stream->ReadObject() : TStream::ReadObject(); }
int32_t TStreamWrapper::WriteObject(const Ref<TObject>& obj) {
    return _stream ? _stream->WriteObject(obj) : TStream::WriteObject(obj);
}

// ---- TStreamStream ----

Ref<TStreamStream> TStreamStream::Create(Ref<TStream> stream) {
    return std::make_shared<TStreamStream>(std::move(stream));
}

int32_t TStreamStream::Close() {
    SetStream(nullptr);
    return 0;
}

}  // namespace corvex
