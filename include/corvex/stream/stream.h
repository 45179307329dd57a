// Byte streams, URLs and embedded resources.
//
// A URL is a stream (wrapped, so the callee's Close leaves it open), another object (for factories
// that accept objects), or a string: a plain file path, or a protocol word, "::" and a path.
// Numbers travel in little-endian byte order. Positions, sizes and counts are 32-bit signed.
#pragma once

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <corvex/runtime/chain.h>
#include <corvex/runtime/exception.h>
#include <corvex/runtime/object.h>
#include <corvex/runtime/string.h>

namespace corvex {

class TStream;

// ---- Exceptions -----------------------------------------------------------------------------

class TStreamException : public TException {
public:
    using TException::TException;
};
class TStreamReadException : public TStreamException {  // "Error reading from stream"
public:
    TStreamReadException();
    explicit TStreamReadException(const TString& url);  // "Error reading from stream \"<url>\""
};
class TStreamWriteException : public TStreamException {  // "Error writing to stream"
public:
    TStreamWriteException();
    explicit TStreamWriteException(const TString& url);  // "Error writing to stream \"<url>\""
};

// ---- TIO: the defaults a stream type gets for what it does not override ---------------------

// The byte-level operations of a stream, with defaults that do nothing.
class TIO : public TObject {
public:
    virtual bool Eof();                                // Pos() == Size()
    virtual int32_t Pos();                             // -1
    virtual int32_t Size();                            // 0
    virtual int32_t Seek(int32_t pos);                 // -1, nothing moves
    virtual int32_t Flush();                           // 0, no effect
    virtual int32_t Close();                           // 0, no effect
    virtual int32_t Read(void* buf, int32_t count);    // raises "Stream is not readable"
    virtual int32_t Write(const void* buf, int32_t count);  // raises "Stream is not writeable"
};

// ---- TStream: whole-buffer and typed transfers built on Read, Write and Eof ------------------

// A stream: TIO plus whole-buffer, typed and text transfers built on it.
class TStream : public TIO {
public:
    // Loop until count bytes moved or Eof(); no progress raises. Return count.
    virtual int32_t ReadBytes(void* buf, int32_t count);         // TStreamReadException
    virtual int32_t WriteBytes(const void* buf, int32_t count);  // TStreamWriteException
    virtual int32_t SkipBytes(int32_t count);                    // reads through a 1024-byte scratch

    // Typed reads: missing bytes at the end read as 0. Typed writes return 0.
    virtual int32_t ReadByte();    // 0..255
    virtual int32_t WriteByte(int32_t n);
    virtual int32_t ReadShort();   // 0..65535
    virtual int32_t WriteShort(int32_t n);
    virtual int32_t ReadInt();
    virtual int32_t WriteInt(int32_t n);
    virtual int64_t ReadLong();
    virtual int32_t WriteLong(int64_t n);
    virtual float ReadFloat();
    virtual int32_t WriteFloat(float f);
    virtual double ReadDouble();
    virtual int32_t WriteDouble(double d);

    // Text: one byte per character (codes 0..255, the low 8 bits when writing).
    virtual TString ReadLine();                      // up to byte 10 or 0 or the end; bytes 13 dropped
    virtual int32_t WriteLine(const TString& s);     // s then 13 10; 1 if all written, else 0
    virtual TString ReadString(int32_t count);       // count bytes as count characters
    virtual int32_t WriteString(const TString& s);   // no terminator; returns 0

    virtual Ref<TObject> ReadObject();                      // raises "Unable to read object"
    virtual int32_t WriteObject(const Ref<TObject>& obj);   // raises "Unable to write object"
};

// ---- Wrappers ---------------------------------------------------------------------------------

// Forwards to an inner stream. Without one (after SetStream(Null)) it acts as a bare TIO.
class TStreamWrapper : public TStream {
public:
    explicit TStreamWrapper(Ref<TStream> stream = nullptr);  // forwards to stream
    virtual void SetStream(Ref<TStream> stream);  // forwards to stream from now on; Null: none
    const Ref<TStream>& Stream() const { return _stream; }  // the inner stream

    bool Eof() override;
    int32_t Pos() override;
    int32_t Size() override;
    int32_t Seek(int32_t pos) override;
    int32_t Flush() override;
    int32_t Close() override;
    int32_t Read(void* buf, int32_t count) override;
    int32_t Write(const void* buf, int32_t count) override;
    // ReadBytes, WriteBytes, SkipBytes, ReadLong, WriteLong run on the forwarded Read/Write/Eof.
    int32_t ReadByte() override;
    int32_t WriteByte(int32_t n) override;
    int32_t ReadShort() override;
    int32_t WriteShort(int32_t n) override;
    int32_t ReadInt() override;
    int32_t WriteInt(int32_t n) override;
    float ReadFloat() override;
    int32_t WriteFloat(float f) override;
    double ReadDouble() override;
    int32_t WriteDouble(double d) override;
    TString ReadLine() override;
    int32_t WriteLine(const TString& s) override;
    TString ReadString(int32_t count) override;
    int32_t WriteString(const TString& s) override;
    Ref<TObject> ReadObject() override;
    int32_t WriteObject(const Ref<TObject>& obj) override;

private:
    Ref<TStream> _stream;
};

// A wrapper whose Close lets go of the inner stream without closing it.
class TStreamStream : public TStreamWrapper {
public:
    using TStreamWrapper::TStreamWrapper;  // the constructors of TStreamWrapper
    static Ref<TStreamStream> Create(Ref<TStream> stream);  // a wrapper over stream
    int32_t Close() override;
};

// ---- File streams -----------------------------------------------------------------------------

// A stream on a C library FILE. Files of 2^31 bytes or more are refused (Null): positions are
// 32-bit. Destroying an open stream closes it.
class TCStream : public TStream {
public:
    static constexpr int32_t MODE_READ = 1;  // Mode() bit: readable
    static constexpr int32_t MODE_WRITE = 2;  // Mode() bit: writeable

    // Both flags "r+b" (must exist), writeable "wb" (creates/truncates), else "rb". Null on failure.
    static Ref<TCStream> OpenFile(const TString& path, bool readable, bool writeable);
    static Ref<TCStream> OpenFile(std::string_view utf8Path, bool readable, bool writeable);
    // Takes ownership of cstream (closed by Close). Null, leaving cstream to the caller, when its
    // position cannot be told or does not fit 32 bits.
    static Ref<TCStream> CreateWithCStream(std::FILE* cstream, int32_t mode);

    TCStream(const TCStream&) = delete;
    TCStream& operator=(const TCStream&) = delete;
    ~TCStream() override;

    int32_t Pos() override;      // 0 once closed
    int32_t Size() override;     // 0 once closed
    int32_t Seek(int32_t pos) override;  // no clamping
    int32_t Flush() override;
    int32_t Close() override;    // flush, fclose; a second Close does nothing
    int32_t Read(void* buf, int32_t count) override;
    int32_t Write(const void* buf, int32_t count) override;
    int32_t Mode() const { return _mode; }  // MODE_* bits
    std::FILE* CStream() const { return _cstream; }  // the FILE, nullptr once closed

private:
    TCStream() = default;
    void Turn(int direction);  // repositions between reading and writing on one FILE

    int32_t _pos = 0;
    int32_t _size = 0;
    std::FILE* _cstream = nullptr;
    int32_t _mode = 0;
    int _lastOp = 0;
};

// ---- Memory streams ---------------------------------------------------------------------------

// A stream over borrowed memory (never freed). Seek clamps to 0..Size(); transfers stay inside.
class TRamStream : public TStream {
public:
    static Ref<TRamStream> Create(void* buf, int32_t size, bool readable, bool writeable);  // over size bytes at buf
    static Ref<TRamStream> Create(const void* buf, int32_t size, bool readable);  // never writeable

    int32_t Pos() override { return _pos; }
    int32_t Size() override { return _size; }
    int32_t Seek(int32_t pos) override;
    int32_t Read(void* buf, int32_t count) override;
    int32_t Write(const void* buf, int32_t count) override;

private:
    TRamStream() = default;
    int32_t _pos = 0;
    int32_t _size = 0;
    uint8_t* _buf = nullptr;
    bool _read = false;
    bool _write = false;
};

// ---- URLs and factories -----------------------------------------------------------------------

// What a URL may be: a stream, another object, or a string (TString or UTF-8). Converts implicitly.
class TUrl {
public:
    TUrl() = default;  // the empty URL: opens nothing
    template <class T>
        requires std::derived_from<T, TObject>
    TUrl(const Ref<T>& object) : _object(object) {}  // an object URL
    TUrl(TString text) : _text(std::move(text)), _isText(true) {}  // a string URL
    TUrl(const char16_t* text) : TUrl(TString(text)) {}  // a string URL
    TUrl(std::string_view utf8) : TUrl(FromUtf8(utf8)) {}  // a string URL, from UTF-8
    TUrl(const std::string& utf8) : TUrl(FromUtf8(utf8)) {}  // a string URL, from UTF-8
    TUrl(const char* utf8) : TUrl(FromUtf8(utf8)) {}  // a string URL, from UTF-8

    const Ref<TObject>& Object() const { return _object; }  // Null for a string URL
    Ref<TStream> Stream() const;                            // the object if it is a stream
    bool IsText() const { return _isText; }  // a string URL
    const TString& Text() const { return _text; }           // empty unless IsText()

private:
    Ref<TObject> _object;
    TString _text;
    bool _isText = false;
};

// Serves one or more protocols; registered factories are asked newest first (Succ(): the next).
class TStreamFactory : public TObject, public TChainLink<TStreamFactory> {
public:
    // proto is lower case; return Null for protocols that are not this factory's.
    virtual Ref<TStream> CreateStream(const TUrl& url, const TString& proto, const TString& path,
                                      bool readable, bool writeable) = 0;
};

// "incbin::name": a read-only memory stream over an embedded resource (protocol word any case).
class TRamStreamFactory : public TStreamFactory {
public:
    Ref<TStream> CreateStream(const TUrl& url, const TString& proto, const TString& path,
                              bool readable, bool writeable) override;
};

void RegisterStreamFactory(Ref<TStreamFactory> factory);  // links it in at the head; Null or a repeat: nothing
Ref<TStreamFactory> FirstStreamFactory();                 // the head; walk with Succ()

Ref<TStream> OpenUrlStream(const TUrl& url, bool readable, bool writeable);  // Null on failure
Ref<TStream> ReadUrlStream(const TUrl& url);   // OpenUrlStream(url, true, false)
Ref<TStream> WriteUrlStream(const TUrl& url);  // OpenUrlStream(url, false, true)

// ---- Embedded resources (names are case-sensitive) --------------------------------------------

bool RegisterIncbin(const TString& name, const void* data, int32_t size);  // false if name taken
bool RegisterIncbin(std::string_view utf8Name, const void* data, int32_t size);
const uint8_t* IncbinData(const TString& name);  // nullptr if absent
const uint8_t* IncbinData(std::string_view utf8Name);
int32_t IncbinSize(const TString& name);         // 0 if absent
int32_t IncbinSize(std::string_view utf8Name);

// ---- Module-level forms of the stream operations (stream first) -------------------------------
// A Null stream acts as a bare TIO, except that reads and writes raise the stream exceptions.

bool Eof(const Ref<TStream>& stream);
int32_t StreamPos(const Ref<TStream>& stream);
int32_t StreamSize(const Ref<TStream>& stream);
int32_t SeekStream(const Ref<TStream>& stream, int32_t pos);
int32_t FlushStream(const Ref<TStream>& stream);
int32_t CloseStream(const Ref<TStream>& stream);
int32_t ReadBytes(const Ref<TStream>& stream, void* buf, int32_t count);
int32_t WriteBytes(const Ref<TStream>& stream, const void* buf, int32_t count);
int32_t SkipBytes(const Ref<TStream>& stream, int32_t count);
int32_t ReadByte(const Ref<TStream>& stream);
int32_t WriteByte(const Ref<TStream>& stream, int32_t n);
int32_t ReadShort(const Ref<TStream>& stream);
int32_t WriteShort(const Ref<TStream>& stream, int32_t n);
int32_t ReadInt(const Ref<TStream>& stream);
int32_t WriteInt(const Ref<TStream>& stream, int32_t n);
int64_t ReadLong(const Ref<TStream>& stream);
int32_t WriteLong(const Ref<TStream>& stream, int64_t n);
float ReadFloat(const Ref<TStream>& stream);
int32_t WriteFloat(const Ref<TStream>& stream, float f);
double ReadDouble(const Ref<TStream>& stream);
int32_t WriteDouble(const Ref<TStream>& stream, double d);
TString ReadLine(const Ref<TStream>& stream);
int32_t WriteLine(const Ref<TStream>& stream, const TString& s);
int32_t WriteLine(const Ref<TStream>& stream, std::string_view utf8);  // the same, from UTF-8
TString ReadString(const Ref<TStream>& stream, int32_t count);
int32_t WriteString(const Ref<TStream>& stream, const TString& s);
int32_t WriteString(const Ref<TStream>& stream, std::string_view utf8);  // the same, from UTF-8

// ---- Whole-URL conveniences (open, transfer, close; a URL that will not open raises) ----------

std::vector<uint8_t> LoadByteArray(const TUrl& url);  // TStreamReadException
TString LoadString(const TUrl& url);                  // bytes as character codes
void SaveByteArray(const std::vector<uint8_t>& bytes, const TUrl& url);  // TStreamWriteException
void SaveString(const TString& s, const TUrl& url);   // low byte of each character

// ---- Why a load failed
// Why the last LoadPixmap, LoadImage, LoadSample or LoadSound gave Null: the URL, then "no such
// file", "cannot be opened", "no loader recognised the data" or the decoder's own reason. Empty
// after a load that succeeded.
TString LastLoadError();
void SaveString(std::string_view utf8, const TUrl& url);  // the same, from UTF-8

// Copies until from.Eof() (or a Read of nothing where no end is known); closes nothing.
void CopyStream(const Ref<TStream>& from, const Ref<TStream>& to, int32_t chunkSize = 4096);
// Copies exactly count bytes; the source ending first raises TStreamReadException.
void CopyBytes(const Ref<TStream>& from, const Ref<TStream>& to, int32_t count,
               int32_t chunkSize = 4096);

// ---- Start-up ----------------------------------------------------------------------------------
void StartStreamModule();  // starts the runtime, then registers the built-in factories once

}  // namespace corvex
