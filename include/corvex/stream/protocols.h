// Wrapper protocols of the URL registry: byte order and text encodings around another URL.
//
//   "bigendian::URL", "littleendian::URL"   the typed reads and writes of URL's stream in that order
//   "latin1::URL", "utf8::URL", "utf16be::URL", "utf16le::URL"
//                                           ReadLine, WriteLine, ReadString, WriteString in characters
//                                           of that encoding; every other operation is URL's stream's
//
// The inner URL is opened with the same flags and closed with the wrapper. Malformed text reads as
// U+FFFD, one per maximal bad sequence, and never reads past the data.
#pragma once

#include <corvex/stream/stream.h>

namespace corvex {

// ---- Byte order -------------------------------------------------------------------------------

// Short, Int, Long, Float and Double travel in the chosen byte order, assembled from the bytes of
// the inner stream (an inner wrapper's own order does not leak through). Text and bytes forward.
class TByteOrderStream : public TStreamWrapper {
public:
    static Ref<TByteOrderStream> Create(Ref<TStream> stream, bool bigEndian);  // Null stream: Null
    TByteOrderStream(Ref<TStream> stream, bool bigEndian);  // wraps stream, which Close closes
    bool BigEndian() const { return _bigEndian; }  // false: little-endian

    int32_t ReadShort() override;            // 0..65535; missing bytes at the end read as 0
    int32_t WriteShort(int32_t n) override;  // the low 16 bits; returns 0
    int32_t ReadInt() override;              // missing bytes read as 0, as for every typed read
    int32_t WriteInt(int32_t n) override;    // returns 0, as every typed write
    int64_t ReadLong() override;             // 64-bit signed
    int32_t WriteLong(int64_t n) override;   // 8 bytes
    float ReadFloat() override;              // IEEE single
    int32_t WriteFloat(float f) override;    // IEEE single
    double ReadDouble() override;            // IEEE double
    int32_t WriteDouble(double d) override;  // IEEE double

private:
    uint64_t ReadOrdered(int bytes);
    void WriteOrdered(uint64_t value, int bytes);
    bool _bigEndian;
};

// ---- Text encodings ---------------------------------------------------------------------------

enum class TTextEncoding { Latin1, Utf8, Utf16BE, Utf16LE };  // the protocol words' encodings

// Text in one encoding over the inner stream's bytes. Strings are UTF-16: a character beyond
// 16 bits is two units, written as one character. Characters are read one at a time, so nothing
// past a line's terminator is consumed; a byte that ended a malformed sequence is kept for the
// next read (Pos, Eof and Read account for it).
class TTextStream : public TStreamWrapper {
public:
    static Ref<TTextStream> Create(Ref<TStream> stream, TTextEncoding encoding);  // Null stream: Null
    TTextStream(Ref<TStream> stream, TTextEncoding encoding);  // wraps stream, which Close closes
    TTextEncoding Encoding() const { return _encoding; }  // the encoding it reads and writes

    // Up to character 10 or 0 or the end; characters 13 are dropped. Never raises for the end.
    TString ReadLine() override;
    // s encoded, written with one Write, then 13 10 encoded with another: 1 if both were complete.
    int32_t WriteLine(const TString& s) override;
    // count characters, fewer when the data ends first; a Read that stalls before the end raises.
    TString ReadString(int32_t count) override;
    // s encoded with WriteBytes, no terminator; returns 0.
    int32_t WriteString(const TString& s) override;

    // Latin-1 writes '?' for characters beyond 255; UTF-8 and UTF-16 write U+FFFD for unpaired
    // surrogates. Decode appends the characters of bytes to out, U+FFFD for malformed ones.
    static std::string Encode(const TString& s, TTextEncoding encoding);  // the bytes of s
    static void Decode(const uint8_t* bytes, size_t size, TTextEncoding encoding, TString& out);  // appends

    bool Eof() override;                  // no kept byte and the inner stream at its end
    int32_t Pos() override;               // the inner position less the kept bytes
    int32_t Seek(int32_t pos) override;   // forgets a kept byte
    int32_t Read(void* buf, int32_t count) override;   // the kept bytes first
    int32_t Write(const void* buf, int32_t count) override;  // kept bytes given back first (Seek)
    // The typed reads forward unless a byte is kept, then they read through Read (little-endian);
    // the typed writes give kept bytes back first, like Write.
    int32_t ReadByte() override;
    int32_t ReadShort() override;
    int32_t ReadInt() override;
    float ReadFloat() override;
    double ReadDouble() override;
    int32_t WriteByte(int32_t n) override;
    int32_t WriteShort(int32_t n) override;
    int32_t WriteInt(int32_t n) override;
    int32_t WriteFloat(float f) override;
    int32_t WriteDouble(double d) override;

private:
    // One decoded code point; false at the end. stall: a Read of nothing before the end.
    bool NextCharacter(char32_t* c, bool* stall);
    int NextByte(bool* stall);   // 0..255, or -1 at the end or on a stall
    void KeepByte(int byte);
    void Settle();               // before a write: give kept bytes back to the inner stream
    TTextEncoding _encoding;
    uint8_t _kept[2] = {};
    int _keptCount = 0;
};

// ---- Factories (registered by StartStreamModule) -------------------------------------------

class TByteOrderStreamFactory : public TStreamFactory {  // "bigendian", "littleendian"
public:
    // Opens path as a URL with the same flags and wraps it; Null for other words or when it fails.
    Ref<TStream> CreateStream(const TUrl& url, const TString& proto, const TString& path,
                              bool readable, bool writeable) override;
};

class TTextStreamFactory : public TStreamFactory {  // "latin1", "utf8", "utf16be", "utf16le"
public:
    // Opens path as a URL with the same flags and wraps it; Null for other words or when it fails.
    Ref<TStream> CreateStream(const TUrl& url, const TString& proto, const TString& path,
                              bool readable, bool writeable) override;
};

}  // namespace corvex
