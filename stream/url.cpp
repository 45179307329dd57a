// URLs, the factory chain, the incbin table, module state and the whole-URL conveniences.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include <corvex/runtime/module.h>
#include <corvex/stream/protocols.h>
#include <corvex/stream/stream.h>
#include "stream/load_error.h"
#include "stream/stream_module.h"

namespace corvex {

// ---- Module state ----

TStreamModule& StreamModule() {
    static TStreamModule module;
    return module;
}

namespace {
// The protocols every program has: text encodings, byte orders, and incbin, asked first.
void AddBuiltinFactories(TStreamModule& module) {
    module.factories.Push(std::make_shared<TTextStreamFactory>());
    module.factories.Push(std::make_shared<TByteOrderStreamFactory>());
    module.factories.Push(std::make_shared<TRamStreamFactory>());
}
}  // namespace

void TStreamModule::Reset() {
    factories.Clear();
    incbins.Clear();
    if (started) AddBuiltinFactories(*this);
}

void StartStreamModule() {
    StartRuntimeModule();
    if (!BeginModuleStart("stream")) return;
    TStreamModule& module = StreamModule();
    module.started = true;
    AddBuiltinFactories(module);
}

namespace {
const TStreamModule::TIncbin* FindIncbin(const TString& name) {
    for (const TStreamModule::TIncbin* e = StreamModule().incbins.First().get(); e; e = e->Succ().get())
        if (e->name == name) return e;
    return nullptr;
}
}  // namespace

// ---- Embedded resources ----

bool RegisterIncbin(const TString& name, const void* data, int32_t size) {
    if (size < 0 || (!data && size > 0)) return false;
    if (FindIncbin(name)) return false;
    auto entry = std::make_shared<TStreamModule::TIncbin>();
    entry->name = name;
    entry->data = static_cast<const uint8_t*>(data);
    entry->size = size;
    return StreamModule().incbins.Push(std::move(entry));
}
bool RegisterIncbin(std::string_view utf8Name, const void* data, int32_t size) {
    return RegisterIncbin(FromUtf8(utf8Name), data, size);
}

const uint8_t* IncbinData(const TString& name) {
    const TStreamModule::TIncbin* entry = FindIncbin(name);
    return entry ? entry->data : nullptr;
}
const uint8_t* IncbinData(std::string_view utf8Name) { return IncbinData(FromUtf8(utf8Name)); }

int32_t IncbinSize(const TString& name) {
    const TStreamModule::TIncbin* entry = FindIncbin(name);
    return entry ? entry->size : 0;
}
int32_t IncbinSize(std::string_view utf8Name) { return IncbinSize(FromUtf8(utf8Name)); }

// ---- URLs and factories ----

Ref<TStream> TUrl::Stream() const { return std::dynamic_pointer_cast<TStream>(_object); }

Ref<TStream> TRamStreamFactory::CreateStream(const TUrl&, const TString& proto, const TString& path,
                                             bool readable, bool writeable) {
    if (proto != u"incbin" || writeable) return nullptr;
    const TStreamModule::TIncbin* entry = FindIncbin(path);
    if (!entry || !entry->data) return nullptr;
    return TRamStream::Create(static_cast<const void*>(entry->data), entry->size, readable);
}

void RegisterStreamFactory(Ref<TStreamFactory> factory) { StreamModule().factories.Push(std::move(factory)); }
Ref<TStreamFactory> FirstStreamFactory() { return StreamModule().factories.First(); }

Ref<TStream> OpenUrlStream(const TUrl& url, bool readable, bool writeable) {
    if (Ref<TStream> stream = url.Stream()) return TStreamStream::Create(std::move(stream));
    TString proto;
    TString path;
    const TString& s = url.Text();
    if (!s.empty()) {
        const size_t i = s.find(u"::");
        if (i == TString::npos) return TCStream::OpenFile(s, readable, writeable);
        proto = ToLower(std::u16string_view(s).substr(0, i));
        path = s.substr(i + 2);
    }
    for (Ref<TStreamFactory> f = FirstStreamFactory(); f; f = f->Succ()) {
        if (Ref<TStream> stream = f->CreateStream(url, proto, path, readable, writeable)) return stream;
    }
    return nullptr;
}

Ref<TStream> ReadUrlStream(const TUrl& url) { return OpenUrlStream(url, true, false); }
Ref<TStream> WriteUrlStream(const TUrl& url) { return OpenUrlStream(url, false, true); }

// ---- Module-level forms ----

bool Eof(const Ref<TStream>& stream) { return stream ? stream->Eof() : true; }
int32_t StreamPos(const Ref<TStream>& stream) { return stream ? stream->Pos() : -1; }
int32_t StreamSize(const Ref<TStream>& stream) { return stream ? stream->Size() : 0; }
int32_t SeekStream(const Ref<TStream>& stream, int32_t pos) { return stream ? stream->Seek(pos) : -1; }
int32_t FlushStream(const Ref<TStream>& stream) { return stream ? stream->Flush() : 0; }
int32_t CloseStream(const Ref<TStream>& stream) { return stream ? stream->Close() : 0; }

namespace {
TStream& ForReading(const Ref<TStream>& stream) {
    if (!stream) throw TStreamReadException();
    return *stream;
}
TStream& ForWriting(const Ref<TStream>& stream) {
    if (!stream) throw TStreamWriteException();
    return *stream;
}
}  // namespace

int32_t ReadBytes(const Ref<TStream>& s, void* buf, int32_t count) { return ForReading(s).ReadBytes(buf, count); }
int32_t WriteBytes(const Ref<TStream>& s, const void* buf, int32_t count) {
    return ForWriting(s).WriteBytes(buf, count);
}
int32_t SkipBytes(const Ref<TStream>& s, int32_t count) { return ForReading(s).SkipBytes(count); }
int32_t ReadByte(const Ref<TStream>& s) { return ForReading(s).ReadByte(); }
int32_t WriteByte(const Ref<TStream>& s, int32_t n) { return ForWriting(s).WriteByte(n); }
int32_t ReadShort(const Ref<TStream>& s) { return ForReading(s).ReadShort(); }
int32_t WriteShort(const Ref<TStream>& s, int32_t n) { return ForWriting(s).WriteShort(n); }
int32_t ReadInt(const Ref<TStream>& s) { return ForReading(s).ReadInt(); }
int32_t WriteInt(const Ref<TStream>& s, int32_t n) { return ForWriting(s).WriteInt(n); }
int64_t ReadLong(const Ref<TStream>& s) { return ForReading(s).ReadLong(); }
int32_t WriteLong(const Ref<TStream>& s, int64_t n) { return ForWriting(s).WriteLong(n); }
float ReadFloat(const Ref<TStream>& s) { return ForReading(s).ReadFloat(); }
int32_t WriteFloat(const Ref<TStream>& s, float f) { return ForWriting(s).WriteFloat(f); }
double ReadDouble(const Ref<TStream>& s) { return ForReading(s).ReadDouble(); }
int32_t WriteDouble(const Ref<TStream>& s, double d) { return ForWriting(s).WriteDouble(d); }
TString ReadLine(const Ref<TStream>& s) { return ForReading(s).ReadLine(); }
int32_t WriteLine(const Ref<TStream>& s, const TString& text) { return ForWriting(s).WriteLine(text); }
int32_t WriteLine(const Ref<TStream>& s, std::string_view utf8) { return WriteLine(s, FromUtf8(utf8)); }
TString ReadString(const Ref<TStream>& s, int32_t count) { return ForReading(s).ReadString(count); }
int32_t WriteString(const Ref<TStream>& s, const TString& text) { return ForWriting(s).WriteString(text); }
int32_t WriteString(const Ref<TStream>& s, std::string_view utf8) { return WriteString(s, FromUtf8(utf8)); }

// ---- Whole-URL conveniences ----

namespace {
// Closes the stream it holds however the scope is left.
class TClosing {
public:
    explicit TClosing(Ref<TStream> stream) : _stream(std::move(stream)) {}
    TClosing(const TClosing&) = delete;
    TClosing& operator=(const TClosing&) = delete;
    ~TClosing() {
        try {
            if (_stream) _stream->Close();
        } catch (...) {
        }
    }
    TStream& operator*() const { return *_stream; }

private:
    Ref<TStream> _stream;
};
}  // namespace

// The bodies of LoadByteArray and SaveByteArray, whose failures are then named by URL.
std::vector<uint8_t> LoadByteArrayOf(const TUrl& url);
void SaveByteArrayTo(const std::vector<uint8_t>& bytes, const TUrl& url);

TString UrlName(const TUrl& url) {
    if (url.IsText()) return url.Text();
    return url.Object() ? TString(u"(an object)") : TString(u"(Null)");
}

void BeginLoad() {
    StreamModule().last_load_error.clear();
    StreamModule().decode_error.clear();
}

void NoteDecodeError(std::string_view reason) {
    // The first decoder that recognised the data has the word: later ones only declined.
    if (StreamModule().decode_error.empty()) StreamModule().decode_error.assign(reason);
}

void FailLoad(const TUrl& url, bool opened) {
    TStreamModule& m = StreamModule();
    TString why;
    if (!opened) {
        // A plain path that names nothing is the usual case; anything else could not be opened.
        std::error_code error;
        bool plain = url.IsText() && url.Text().find(u"::") == TString::npos;
        why = plain && !std::filesystem::exists(ToUtf8(url.Text()), error) ? u"no such file" : u"cannot be opened";
    } else if (!m.decode_error.empty()) {
        why = FromUtf8(m.decode_error);
    } else {
        why = u"no loader recognised the data";
    }
    m.last_load_error = UrlName(url) + u": " + why;
}

TString LastLoadError() { return StreamModule().last_load_error; }

std::vector<uint8_t> LoadByteArray(const TUrl& url) {
    try {
        return LoadByteArrayOf(url);
    } catch (const TStreamReadException&) {
        throw TStreamReadException(UrlName(url));
    }
}

std::vector<uint8_t> LoadByteArrayOf(const TUrl& url) {
    Ref<TStream> opened = ReadUrlStream(url);
    if (!opened) throw TStreamReadException();
    TClosing stream(opened);
    std::vector<uint8_t> bytes(1024);
    size_t used = 0;
    while (!(*stream).Eof()) {
        if (used == bytes.size()) {
            if (bytes.size() >= static_cast<size_t>(INT32_MAX)) throw TStreamReadException();
            bytes.resize(std::min<size_t>(bytes.size() / 2 * 3, INT32_MAX));
        }
        const int32_t n = (*stream).Read(bytes.data() + used, static_cast<int32_t>(bytes.size() - used));
        if (n <= 0) {
            // A stream that knows its size and has not reached it failed to read.
            const int32_t pos = (*stream).Pos();
            if (pos >= 0 && pos < (*stream).Size()) throw TStreamReadException();
            break;
        }
        used += static_cast<size_t>(n);
    }
    bytes.resize(used);
    bytes.shrink_to_fit();
    return bytes;
}

TString LoadString(const TUrl& url) {
    const std::vector<uint8_t> bytes = LoadByteArray(url);
    return FromLatin1(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void SaveByteArray(const std::vector<uint8_t>& bytes, const TUrl& url) {
    try {
        SaveByteArrayTo(bytes, url);
    } catch (const TStreamWriteException&) {
        throw TStreamWriteException(UrlName(url));
    }
}

void SaveByteArrayTo(const std::vector<uint8_t>& bytes, const TUrl& url) {
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) throw TStreamWriteException();
    Ref<TStream> opened = WriteUrlStream(url);
    if (!opened) throw TStreamWriteException();
    TClosing stream(opened);
    (*stream).WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
}

void SaveString(std::string_view utf8, const TUrl& url) { SaveString(FromUtf8(utf8), url); }

void SaveString(const TString& s, const TUrl& url) {
    const std::string bytes = ToLatin1(s);
    SaveByteArray(std::vector<uint8_t>(bytes.begin(), bytes.end()), url);
}

void CopyStream(const Ref<TStream>& from, const Ref<TStream>& to, int32_t chunkSize) {
    TStream& in = ForReading(from);
    TStream& out = ForWriting(to);
    if (chunkSize <= 0) chunkSize = 4096;
    std::vector<uint8_t> buf(static_cast<size_t>(chunkSize));
    // Write only what each Read delivered: ReadBytes would pad the last chunk.
    while (!in.Eof()) {
        const int32_t n = in.Read(buf.data(), chunkSize);
        if (n <= 0) {
            const int32_t pos = in.Pos();
            if (pos >= 0 && pos < in.Size()) throw TStreamReadException();
            break;
        }
        out.WriteBytes(buf.data(), std::min(n, chunkSize));
    }
}

void CopyBytes(const Ref<TStream>& from, const Ref<TStream>& to, int32_t count, int32_t chunkSize) {
    TStream& in = ForReading(from);
    TStream& out = ForWriting(to);
    if (chunkSize <= 0) chunkSize = 4096;
    std::vector<uint8_t> buf(static_cast<size_t>(std::min(chunkSize, std::max(count, 1))));
    const auto piece = static_cast<int32_t>(buf.size());
    while (count > 0) {
        const int32_t want = std::min(count, piece);
        const int32_t n = in.Read(buf.data(), want);
        if (n <= 0) throw TStreamReadException();  // an exact count cannot be met
        const int32_t got = std::min(n, want);
        out.WriteBytes(buf.data(), got);
        count -= got;
    }
}

}  // namespace corvex
