// The byte-order and text-encoding wrappers and their factories.
#include <corvex/stream/protocols.h>

#include <cstring>
#include <string>

namespace corvex {

// ---- TByteOrderStream ----

Ref<TByteOrderStream> TByteOrderStream::Create(Ref<TStream> stream, bool bigEndian) {
    if (!stream) return nullptr;
    return std::make_shared<TByteOrderStream>(std::move(stream), bigEndian);
}

TByteOrderStream::TByteOrderStream(Ref<TStream> stream, bool bigEndian)
    : TStreamWrapper(std::move(stream)), _bigEndian(bigEndian) {}

uint64_t TByteOrderStream::ReadOrdered(int bytes) {
    uint8_t b[8] = {};  // bytes missing at the end stay 0
    ReadBytes(b, bytes);
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | b[_bigEndian ? i : bytes - 1 - i];
    return v;
}

void TByteOrderStream::WriteOrdered(uint64_t value, int bytes) {
    uint8_t b[8];
    for (int i = 0; i < bytes; ++i) {
        const auto byte = static_cast<uint8_t>(value >> (8 * i));
        b[_bigEndian ? bytes - 1 - i : i] = byte;
    }
    WriteBytes(b, bytes);
}

int32_t TByteOrderStream::ReadShort() { return static_cast<int32_t>(ReadOrdered(2)); }
int32_t TByteOrderStream::ReadInt() { return static_cast<int32_t>(static_cast<uint32_t>(ReadOrdered(4))); }
int64_t TByteOrderStream::ReadLong() { return static_cast<int64_t>(ReadOrdered(8)); }
float TByteOrderStream::ReadFloat() {
    const auto bits = static_cast<uint32_t>(ReadOrdered(4));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
double TByteOrderStream::ReadDouble() {
    const uint64_t bits = ReadOrdered(8);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

int32_t TByteOrderStream::WriteShort(int32_t n) {
    WriteOrdered(static_cast<uint32_t>(n), 2);
    return 0;
}
int32_t TByteOrderStream::WriteInt(int32_t n) {
    WriteOrdered(static_cast<uint32_t>(n), 4);
    return 0;
}
int32_t TByteOrderStream::WriteLong(int64_t n) {
    WriteOrdered(static_cast<uint64_t>(n), 8);
    return 0;
}
int32_t TByteOrderStream::WriteFloat(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    WriteOrdered(bits, 4);
    return 0;
}
int32_t TByteOrderStream::WriteDouble(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    WriteOrdered(bits, 8);
    return 0;
}

// ---- Text: decoding and encoding ----

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One code point from next() (a byte 0..255, or -1 at the end); keep(byte) hands back a byte
// that ends a malformed sequence without belonging to it. False when the data ends before a
// character starts. Malformed UTF-8 gives one U+FFFD per maximal ill-formed prefix, so a
// line terminator after a cut character is still seen.
template <class Next, class Keep>
bool DecodeOne(TTextEncoding encoding, Next&& next, Keep&& keep, char32_t* out) {
    const int first = next();
    if (first < 0) return false;
    switch (encoding) {
        case TTextEncoding::Latin1:
            *out = static_cast<char32_t>(first);
            return true;
        case TTextEncoding::Utf8: {
            if (first < 0x80) {
                *out = static_cast<char32_t>(first);
                return true;
            }
            int need = 0;
            int lo = 0x80, hi = 0xBF;  // the range of the next continuation byte
            char32_t cp = 0;
            if (first >= 0xC2 && first <= 0xDF) {
                need = 1;
                cp = static_cast<char32_t>(first & 0x1F);
            } else if (first >= 0xE0 && first <= 0xEF) {
                need = 2;
                cp = static_cast<char32_t>(first & 0x0F);
                if (first == 0xE0) lo = 0xA0;  // shorter forms are overlong
                if (first == 0xED) hi = 0x9F;  // surrogates are not characters
            } else if (first >= 0xF0 && first <= 0xF4) {
                need = 3;
                cp = static_cast<char32_t>(first & 0x07);
                if (first == 0xF0) lo = 0x90;  // overlong
                if (first == 0xF4) hi = 0x8F;  // beyond U+10FFFF
            } else {
                *out = kReplacement;  // a continuation byte, C0, C1 or F5..FF where a character starts
                return true;
            }
            for (; need > 0; --need) {
                const int c = next();
                if (c < 0) {
                    *out = kReplacement;
                    return true;
                }
                if (c < lo || c > hi) {
                    keep(c);
                    *out = kReplacement;
                    return true;
                }
                lo = 0x80;
                hi = 0xBF;
                cp = (cp << 6) | static_cast<char32_t>(c & 0x3F);
            }
            *out = cp;
            return true;
        }
        case TTextEncoding::Utf16BE:
        case TTextEncoding::Utf16LE: {
            const bool big = encoding == TTextEncoding::Utf16BE;
            const auto unit = [big](int a, int b) { return static_cast<char32_t>(big ? (a << 8) | b : (b << 8) | a); };
            const int second = next();
            if (second < 0) {
                *out = kReplacement;  // half a unit at the end
                return true;
            }
            const char32_t u = unit(first, second);
            if (u < 0xD800 || u > 0xDFFF) {
                *out = u;
                return true;
            }
            if (u >= 0xDC00) {
                *out = kReplacement;  // a low surrogate alone
                return true;
            }
            const int a = next();
            if (a < 0) {
                *out = kReplacement;
                return true;
            }
            const int b = next();
            if (b < 0) {
                keep(a);
                *out = kReplacement;
                return true;
            }
            const char32_t low = unit(a, b);
            if (low < 0xDC00 || low > 0xDFFF) {
                keep(a);  // the unit after an unpaired high surrogate is read again
                keep(b);
                *out = kReplacement;
                return true;
            }
            *out = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            return true;
        }
    }
    return false;
}

void AppendCharacter(TString& s, char32_t c) {
    if (c > 0xFFFF) {
        c -= 0x10000;
        s += static_cast<char16_t>(0xD800 + (c >> 10));
        s += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        s += static_cast<char16_t>(c);
    }
}

// The code points of a UTF-16 string; fn(c, paired) per character.
template <class Fn>
void ForEachCharacter(const TString& s, Fn&& fn) {
    for (size_t i = 0; i < s.size(); ++i) {
        const char32_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            fn(0x10000 + ((u - 0xD800) << 10) + (static_cast<char32_t>(s[i + 1]) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            fn(kReplacement, u);  // unpaired surrogate
        } else {
            fn(u);
        }
    }
}

}  // namespace

std::string TTextStream::Encode(const TString& s, TTextEncoding encoding) {
    std::string out;
    out.reserve(s.size() * (encoding == TTextEncoding::Latin1 ? 1 : 2));
    const auto put = [&out](uint32_t byte) { out += static_cast<char>(static_cast<uint8_t>(byte)); };
    ForEachCharacter(s, [&](char32_t c, char32_t unpaired = 0) {
        switch (encoding) {
            case TTextEncoding::Latin1:
                put(c <= 0xFF && unpaired == 0 ? c : u'?');
                break;
            case TTextEncoding::Utf8:
                if (c < 0x80) {
                    put(c);
                } else if (c < 0x800) {
                    put(0xC0 | (c >> 6));
                    put(0x80 | (c & 0x3F));
                } else if (c < 0x10000) {
                    put(0xE0 | (c >> 12));
                    put(0x80 | ((c >> 6) & 0x3F));
                    put(0x80 | (c & 0x3F));
                } else {
                    put(0xF0 | (c >> 18));
                    put(0x80 | ((c >> 12) & 0x3F));
                    put(0x80 | ((c >> 6) & 0x3F));
                    put(0x80 | (c & 0x3F));
                }
                break;
            case TTextEncoding::Utf16BE:
            case TTextEncoding::Utf16LE: {
                TString units;
                AppendCharacter(units, c);
                for (char16_t u : units) {
                    if (encoding == TTextEncoding::Utf16BE) {
                        put(u >> 8);
                        put(u);
                    } else {
                        put(u);
                        put(u >> 8);
                    }
                }
                break;
            }
        }
    });
    return out;
}

void TTextStream::Decode(const uint8_t* bytes, size_t size, TTextEncoding encoding, TString& out) {
    size_t at = 0;
    const auto next = [&]() -> int { return at < size ? bytes[at++] : -1; };
    const auto keep = [&](int) { --at; };  // the bytes kept are always the last ones read
    for (char32_t c; DecodeOne(encoding, next, keep, &c);) AppendCharacter(out, c);
}

// ---- TTextStream ----

Ref<TTextStream> TTextStream::Create(Ref<TStream> stream, TTextEncoding encoding) {
    if (!stream) return nullptr;
    return std::make_shared<TTextStream>(std::move(stream), encoding);
}

TTextStream::TTextStream(Ref<TStream> stream, TTextEncoding encoding)
    : TStreamWrapper(std::move(stream)), _encoding(encoding) {}

int TTextStream::NextByte(bool* stall) {
    if (_keptCount > 0) {
        const int byte = _kept[0];
        _kept[0] = _kept[1];
        --_keptCount;
        return byte;
    }
    uint8_t byte = 0;
    if (TStreamWrapper::Read(&byte, 1) == 1) return byte;
    if (!TStreamWrapper::Eof()) *stall = true;
    return -1;
}

void TTextStream::KeepByte(int byte) {
    // Only bytes just read are kept, after the earlier kept ones were used up: at most two.
    if (_keptCount < 2) _kept[_keptCount++] = static_cast<uint8_t>(byte);
}

bool TTextStream::NextCharacter(char32_t* c, bool* stall) {
    return DecodeOne(
        _encoding, [&] { return *stall ? -1 : NextByte(stall); }, [&](int byte) { KeepByte(byte); }, c);
}

void TTextStream::Settle() {
    if (_keptCount == 0) return;
    const int32_t pos = TStreamWrapper::Pos();
    if (pos >= _keptCount) TStreamWrapper::Seek(pos - _keptCount);
    _keptCount = 0;
}

TString TTextStream::ReadLine() {
    TString line;
    bool stall = false;
    for (char32_t c; NextCharacter(&c, &stall);) {
        if (c == 0 || c == 10) break;
        if (c == 13) continue;
        AppendCharacter(line, c);
    }
    return line;
}

int32_t TTextStream::WriteLine(const TString& s) {
    const std::string bytes = Encode(s, _encoding);
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) return 0;
    const auto count = static_cast<int32_t>(bytes.size());
    if (Write(bytes.data(), count) != count) return 0;
    const std::string end = Encode(u"\r\n", _encoding);
    const auto endCount = static_cast<int32_t>(end.size());
    return Write(end.data(), endCount) == endCount ? 1 : 0;
}

TString TTextStream::ReadString(int32_t count) {
    TString s;
    bool stall = false;
    for (int32_t i = 0; i < count; ++i) {
        char32_t c = 0;
        const bool got = NextCharacter(&c, &stall);
        if (stall) throw TStreamReadException();
        if (!got) break;
        AppendCharacter(s, c);
    }
    return s;
}

int32_t TTextStream::WriteString(const TString& s) {
    const std::string bytes = Encode(s, _encoding);
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) throw TStreamWriteException();
    WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
    return 0;
}

bool TTextStream::Eof() { return _keptCount == 0 && TStreamWrapper::Eof(); }

int32_t TTextStream::Pos() {
    const int32_t pos = TStreamWrapper::Pos();
    return pos >= _keptCount ? pos - _keptCount : pos;
}

int32_t TTextStream::Seek(int32_t pos) {
    _keptCount = 0;
    return TStreamWrapper::Seek(pos);
}

int32_t TTextStream::Read(void* buf, int32_t count) {
    if (count <= 0 || _keptCount == 0) return TStreamWrapper::Read(buf, count);
    auto* p = static_cast<uint8_t*>(buf);
    int32_t n = 0;
    bool stall = false;
    while (n < count && _keptCount > 0) p[n++] = static_cast<uint8_t>(NextByte(&stall));
    return n;  // the rest comes with the next Read
}

int32_t TTextStream::Write(const void* buf, int32_t count) {
    Settle();
    return TStreamWrapper::Write(buf, count);
}

int32_t TTextStream::ReadByte() { return _keptCount ? TStream::ReadByte() : TStreamWrapper::ReadByte(); }
int32_t TTextStream::ReadShort() { return _keptCount ? TStream::ReadShort() : TStreamWrapper::ReadShort(); }
int32_t TTextStream::ReadInt() { return _keptCount ? TStream::ReadInt() : TStreamWrapper::ReadInt(); }
float TTextStream::ReadFloat() { return _keptCount ? TStream::ReadFloat() : TStreamWrapper::ReadFloat(); }
double TTextStream::ReadDouble() { return _keptCount ? TStream::ReadDouble() : TStreamWrapper::ReadDouble(); }

int32_t TTextStream::WriteByte(int32_t n) {
    Settle();
    return TStreamWrapper::WriteByte(n);
}
int32_t TTextStream::WriteShort(int32_t n) {
    Settle();
    return TStreamWrapper::WriteShort(n);
}
int32_t TTextStream::WriteInt(int32_t n) {
    Settle();
    return TStreamWrapper::WriteInt(n);
}
int32_t TTextStream::WriteFloat(float f) {
    Settle();
    return TStreamWrapper::WriteFloat(f);
}
int32_t TTextStream::WriteDouble(double d) {
    Settle();
    return TStreamWrapper::WriteDouble(d);
}

// ---- Factories ----

namespace {

// Wrapper protocols open their inner URL through the registry again; a URL that nests them
// without end is declined rather than recursed into.
constexpr int kMaxNesting = 16;
thread_local int nesting = 0;

Ref<TStream> OpenInner(const TString& path, bool readable, bool writeable) {
    if (path.empty() || nesting >= kMaxNesting) return nullptr;
    ++nesting;
    struct TLeave {
        ~TLeave() { --nesting; }
    } leave;
    return OpenUrlStream(TUrl(path), readable, writeable);
}

}  // namespace

Ref<TStream> TByteOrderStreamFactory::CreateStream(const TUrl&, const TString& proto, const TString& path,
                                                   bool readable, bool writeable) {
    const bool big = proto == u"bigendian";
    if (!big && proto != u"littleendian") return nullptr;
    return TByteOrderStream::Create(OpenInner(path, readable, writeable), big);
}

Ref<TStream> TTextStreamFactory::CreateStream(const TUrl&, const TString& proto, const TString& path,
                                              bool readable, bool writeable) {
    TTextEncoding encoding;
    if (proto == u"latin1") {
        encoding = TTextEncoding::Latin1;
    } else if (proto == u"utf8") {
        encoding = TTextEncoding::Utf8;
    } else if (proto == u"utf16be") {
        encoding = TTextEncoding::Utf16BE;
    } else if (proto == u"utf16le") {
        encoding = TTextEncoding::Utf16LE;
    } else {
        return nullptr;
    }
    return TTextStream::Create(OpenInner(path, readable, writeable), encoding);
}

}  // namespace corvex
