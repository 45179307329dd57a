#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <corvex/stream/stream.h>
#include "stream/stream_module.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

// A read-write memory stream over the caller's vector (which must outlive it).
Ref<TRamStream> Ram(std::vector<uint8_t>& bytes) {
    return TRamStream::Create(bytes.data(), static_cast<int32_t>(bytes.size()), true, true);
}

std::string TextOf(const std::exception& e) { return e.what(); }

// A stream that delivers at most `step` bytes per Read and can be told to stall.
class TTrickleStream : public TStream {
public:
    explicit TTrickleStream(std::vector<uint8_t> data, int32_t step) : _data(std::move(data)), _step(step) {}
    int32_t Pos() override { return _pos; }
    int32_t Size() override { return static_cast<int32_t>(_data.size()); }
    int32_t Read(void* buf, int32_t count) override {
        largestRequest = std::max(largestRequest, count);
        if (stallAt >= 0 && _pos >= stallAt) return 0;
        const int32_t n = std::min({count, _step, Size() - _pos});
        std::copy_n(_data.begin() + _pos, n, static_cast<uint8_t*>(buf));
        _pos += n;
        return n;
    }
    int32_t stallAt = -1;
    int32_t largestRequest = 0;

private:
    std::vector<uint8_t> _data;
    int32_t _step;
    int32_t _pos = 0;
};

class TBareStream : public TStream {};

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartStreamModule();
        StreamModule().Reset();
        std::random_device random;
        dir = fs::temp_directory_path() / ("corvex-stream-" + std::to_string(random()));
        ASSERT_TRUE(fs::create_directory(dir));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        StreamModule().Reset();
    }
    std::string File(const std::string& name) const { return (dir / name).string(); }
    void WriteFile(const std::string& name, const std::string& content) const {
        std::ofstream(File(name), std::ios::binary) << content;
    }
    std::string ReadFile(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
};

// ---- Typed transfers ----

TEST_F(StreamTest, TypedReadsAreLittleEndianAndUnsignedWhereNarrow) {
    auto bytes = Bytes({1, 2, 3, 4, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x80});
    auto s = Ram(bytes);
    EXPECT_EQ(s->ReadInt(), 0x04030201);
    EXPECT_EQ(s->ReadShort(), 65535);
    EXPECT_EQ(s->ReadInt(), -2);
    EXPECT_EQ(s->ReadByte(), 0x80);
    EXPECT_TRUE(s->Eof());
}

TEST_F(StreamTest, TypedReadAtEndFillsMissingBytesWithZero) {
    auto bytes = Bytes({9, 9, 0x34, 0x12});
    auto s = Ram(bytes);
    s->Seek(2);
    EXPECT_EQ(s->ReadInt(), 0x1234);
    EXPECT_EQ(s->ReadLong(), 0);
    EXPECT_EQ(s->ReadByte(), 0);
    EXPECT_EQ(s->ReadDouble(), 0.0);
}

TEST_F(StreamTest, TypedWritesRoundTripAndKeepLowBytes) {
    std::vector<uint8_t> bytes(27, 0xAA);
    auto s = Ram(bytes);
    EXPECT_EQ(s->WriteByte(0x1FF), 0);
    EXPECT_EQ(s->WriteShort(0x12345), 0);
    EXPECT_EQ(s->WriteInt(-2), 0);
    EXPECT_EQ(s->WriteLong(-0x0102030405060708LL), 0);
    EXPECT_EQ(s->WriteFloat(1.5f), 0);
    EXPECT_EQ(s->WriteDouble(-0.1), 0);
    EXPECT_EQ(s->Pos(), 27);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 7), Bytes({0xFF, 0x45, 0x23, 0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 15, bytes.begin() + 19), Bytes({0, 0, 0xC0, 0x3F}));
    s->Seek(0);
    EXPECT_EQ(s->ReadByte(), 0xFF);
    EXPECT_EQ(s->ReadShort(), 0x2345);
    EXPECT_EQ(s->ReadInt(), -2);
    EXPECT_EQ(s->ReadLong(), -0x0102030405060708LL);
    EXPECT_EQ(s->ReadFloat(), 1.5f);
    EXPECT_EQ(s->ReadDouble(), -0.1);
}

// ---- ReadBytes / WriteBytes / SkipBytes ----

TEST_F(StreamTest, ReadBytesLoopsOverShortReadsAndStopsQuietlyAtEnd) {
    auto s = std::make_shared<TTrickleStream>(Bytes({1, 2, 3, 4, 5}), 2);
    uint8_t buf[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    EXPECT_EQ(s->ReadBytes(buf, 8), 8);  // the count asked for, even past the end
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 8), Bytes({1, 2, 3, 4, 5, 7, 7, 7}));
}

TEST_F(StreamTest, NoProgressBeforeTheEndRaises) {
    auto s = std::make_shared<TTrickleStream>(Bytes({1, 2, 3, 4, 5, 6}), 4);
    s->stallAt = 4;
    uint8_t buf[6];
    try {
        s->ReadBytes(buf, 6);
        FAIL() << "no exception";
    } catch (const TStreamReadException& e) {
        EXPECT_EQ(TextOf(e), "Error reading from stream");
    }
    EXPECT_THROW(s->SkipBytes(1), TStreamReadException);
    EXPECT_THROW(s->ReadInt(), TStreamReadException);
    EXPECT_THROW(s->ReadString(2), TStreamReadException);
}

TEST_F(StreamTest, WriteBytesWithNoRoomRaises) {
    std::vector<uint8_t> bytes(3);
    auto s = Ram(bytes);
    try {
        s->WriteInt(1);
        FAIL() << "no exception";
    } catch (const TStreamWriteException& e) {
        EXPECT_EQ(TextOf(e), "Error writing to stream");
    }
    EXPECT_EQ(bytes, Bytes({1, 0, 0}));  // what fitted was written
}

TEST_F(StreamTest, SkipBytesReadsInPiecesOfAtMost1024) {
    auto s = std::make_shared<TTrickleStream>(std::vector<uint8_t>(5000, 1), 5000);
    EXPECT_EQ(s->SkipBytes(3000), 3000);
    EXPECT_EQ(s->Pos(), 3000);
    EXPECT_EQ(s->largestRequest, 1024);
    EXPECT_EQ(s->SkipBytes(9000), 9000);
    EXPECT_TRUE(s->Eof());
}

// ---- Text ----

TEST_F(StreamTest, ReadLineHandlesCarriageReturnsZeroAndUnterminatedLastLine) {
    auto bytes = Bytes({97, 98, 13, 10, 99, 100, 0, 13, 0xE9, 10, 101});
    auto s = Ram(bytes);
    EXPECT_EQ(s->ReadLine(), u"ab");
    EXPECT_EQ(s->ReadLine(), u"cd");
    EXPECT_EQ(s->ReadLine(), u"\u00e9");
    EXPECT_EQ(s->ReadLine(), u"e");
    EXPECT_EQ(s->ReadLine(), u"");
    EXPECT_TRUE(s->Eof());
}

TEST_F(StreamTest, ReadLineIsNotLimitedToOneChunk) {
    std::vector<uint8_t> bytes(3000, 'x');
    bytes.push_back(10);
    bytes.push_back('y');
    auto s = Ram(bytes);
    EXPECT_EQ(s->ReadLine(), TString(3000, u'x'));
    EXPECT_EQ(s->ReadLine(), u"y");
}

TEST_F(StreamTest, WriteLineReportsShortTransfersWithoutRaising) {
    std::vector<uint8_t> bytes(4);
    auto s = Ram(bytes);
    EXPECT_EQ(s->WriteLine(u"a\u0142"), 1);  // low byte of U+0142 is 0x42
    EXPECT_EQ(bytes, Bytes({'a', 0x42, 13, 10}));
    s->Seek(0);
    EXPECT_EQ(s->WriteLine(u"abc"), 0);  // text fits, terminator does not
    s->Seek(0);
    EXPECT_EQ(s->WriteLine(u"abcdef"), 0);
    EXPECT_EQ(s->Pos(), 4);
}

TEST_F(StreamTest, StringsAreOneBytePerCharacter) {
    std::vector<uint8_t> bytes(5, 0xEE);
    auto s = Ram(bytes);
    EXPECT_EQ(s->WriteString(u"h\u00ffi"), 0);
    EXPECT_EQ(s->Pos(), 3);  // no terminator
    s->Seek(0);
    EXPECT_EQ(s->ReadString(3), u"h\u00ffi");
    s->Seek(3);
    EXPECT_EQ(s->ReadString(4), (TString{0xEE, 0xEE, 0, 0}));  // zeros past the end
    EXPECT_EQ(s->ReadString(-1), u"");
}

// ---- TIO defaults ----

TEST_F(StreamTest, BareStreamHasTheDefaults) {
    auto s = std::make_shared<TBareStream>();
    EXPECT_EQ(s->Pos(), -1);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_FALSE(s->Eof());
    EXPECT_EQ(s->Seek(5), -1);
    EXPECT_EQ(s->Flush(), 0);
    EXPECT_EQ(s->Close(), 0);
    uint8_t b = 0;
    try {
        s->Read(&b, 1);
        FAIL();
    } catch (const TRuntimeException& e) {
        EXPECT_EQ(TextOf(e), "Stream is not readable");
    }
    try {
        s->WriteByte(1);
        FAIL();
    } catch (const TRuntimeException& e) {
        EXPECT_EQ(TextOf(e), "Stream is not writeable");
    }
    try {
        s->ReadObject();
        FAIL();
    } catch (const TException& e) {
        EXPECT_EQ(TextOf(e), "Unable to read object");
    }
    try {
        s->WriteObject(s);
        FAIL();
    } catch (const TException& e) {
        EXPECT_EQ(TextOf(e), "Unable to write object");
    }
}

// ---- Memory streams ----

TEST_F(StreamTest, RamStreamSeekClamps) {
    std::vector<uint8_t> bytes(10);
    auto s = Ram(bytes);
    EXPECT_EQ(s->Seek(-5), 0);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_FALSE(s->Eof());
    EXPECT_EQ(s->Seek(20), 10);
    EXPECT_EQ(s->Pos(), 10);
    EXPECT_TRUE(s->Eof());
    EXPECT_EQ(s->Seek(INT32_MIN), 0);
    EXPECT_EQ(s->Seek(INT32_MAX), 10);
}

TEST_F(StreamTest, RamStreamTransfersStayInsideTheBuffer) {
    // Exact-size heap buffers, so the address sanitizer catches any stray byte.
    std::vector<uint8_t> bytes = Bytes({1, 2, 3, 4});
    auto s = Ram(bytes);
    std::vector<uint8_t> out(4, 0);
    EXPECT_EQ(s->Read(out.data(), -1), 0);
    EXPECT_EQ(s->Read(out.data(), INT32_MIN), 0);
    EXPECT_EQ(s->Write(out.data(), -7), 0);
    s->Seek(3);
    EXPECT_EQ(s->Read(out.data(), INT32_MAX), 1);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(s->Read(out.data(), 4), 0);
    s->Seek(2);
    EXPECT_EQ(s->Write(out.data(), INT32_MAX), 2);
    EXPECT_EQ(bytes, Bytes({1, 2, 4, 0}));

    auto bad = TRamStream::Create(bytes.data(), -5, true, true);
    EXPECT_EQ(bad->Size(), 0);
    EXPECT_EQ(bad->Read(out.data(), 4), 0);
    EXPECT_EQ(bad->Seek(3), 0);
    auto none = TRamStream::Create(static_cast<void*>(nullptr), 100, true, true);
    EXPECT_EQ(none->Size(), 0);
    EXPECT_EQ(none->Write(out.data(), 4), 0);
}

TEST_F(StreamTest, RamStreamHonoursItsFlags) {
    std::vector<uint8_t> bytes = Bytes({1, 2});
    auto readOnly = TRamStream::Create(static_cast<const void*>(bytes.data()), 2, true);
    uint8_t b = 9;
    EXPECT_EQ(readOnly->Write(&b, 1), 0);
    EXPECT_THROW(readOnly->WriteByte(9), TStreamWriteException);
    EXPECT_EQ(bytes, Bytes({1, 2}));
    auto writeOnly = TRamStream::Create(bytes.data(), 2, false, true);
    EXPECT_EQ(writeOnly->Read(&b, 1), 0);
    EXPECT_THROW(writeOnly->ReadByte(), TStreamReadException);
}

// ---- Wrappers ----

TEST_F(StreamTest, ClosingTheWrapperOfACallersStreamLeavesItOpen) {
    WriteFile("a.bin", "hello");
    Ref<TStream> file = TCStream::OpenFile(File("a.bin"), true, false);
    ASSERT_TRUE(file);
    Ref<TStream> wrapped = ReadUrlStream(file);
    ASSERT_TRUE(wrapped);
    EXPECT_NE(wrapped, file);
    EXPECT_EQ(wrapped->Size(), 5);
    EXPECT_EQ(wrapped->ReadByte(), 'h');
    wrapped->Close();
    EXPECT_EQ(file->Pos(), 1);
    EXPECT_EQ(file->ReadString(4), u"ello");
    // The closed wrapper has let go: it acts as a bare stream instead of touching Null.
    EXPECT_EQ(wrapped->Pos(), -1);
    EXPECT_THROW(wrapped->ReadByte(), TRuntimeException);
}

TEST_F(StreamTest, WrapperForwardsTypedOperationsToTheInnerStream) {
    class TNine : public TBareStream {
        int32_t ReadInt() override { return 9; }
    };
    auto inner = std::make_shared<TNine>();
    TStreamWrapper wrapper(inner);
    EXPECT_EQ(wrapper.ReadInt(), 9);
    EXPECT_THROW(wrapper.ReadLong(), TRuntimeException);  // runs on the forwarded Read
    std::vector<uint8_t> bytes = Bytes({5, 0, 0, 0});
    wrapper.SetStream(Ram(bytes));
    EXPECT_EQ(wrapper.ReadInt(), 5);
}

// ---- File streams ----

TEST_F(StreamTest, OpenFileModes) {
    EXPECT_FALSE(TCStream::OpenFile(File("missing"), true, true));
    EXPECT_FALSE(TCStream::OpenFile(File("missing"), true, false));
    EXPECT_FALSE(fs::exists(File("missing")));

    auto w = TCStream::OpenFile(File("new"), false, true);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->Mode(), TCStream::MODE_WRITE);
    EXPECT_EQ(w->Size(), 0);
    w->Close();
    EXPECT_TRUE(fs::exists(File("new")));
    EXPECT_EQ(fs::file_size(File("new")), 0u);

    WriteFile("old", "abcdef");
    auto r = TCStream::OpenFile(File("old"), false, false);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Mode(), TCStream::MODE_READ);
    EXPECT_EQ(r->Size(), 6);
    uint8_t b = 'z';
    EXPECT_EQ(r->Write(&b, 1), 0);  // the C library refuses the wrong direction
    r->Close();

    auto t = TCStream::OpenFile(File("old"), false, true);  // truncates
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Size(), 0);
    t->Close();
    EXPECT_EQ(fs::file_size(File("old")), 0u);
}

TEST_F(StreamTest, ReadWriteFileSwitchesDirectionSafely) {
    WriteFile("rw", "abcdef");
    auto s = TCStream::OpenFile(File("rw"), true, true);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Mode(), TCStream::MODE_READ | TCStream::MODE_WRITE);
    EXPECT_EQ(s->ReadString(2), u"ab");
    s->WriteString(u"XY");
    EXPECT_EQ(s->Pos(), 4);
    EXPECT_EQ(s->ReadString(2), u"ef");
    s->WriteString(u"gh");
    EXPECT_EQ(s->Size(), 8);
    EXPECT_EQ(s->Seek(0), 0);
    EXPECT_EQ(s->ReadString(8), u"abXYefgh");
    s->Close();
    EXPECT_EQ(ReadFile("rw"), "abXYefgh");
}

TEST_F(StreamTest, BackslashesInFilePathsAreSlashes) {
    fs::create_directory(dir / "sub");
    WriteFile("sub/f.txt", "same");
    std::string path = File("sub/f.txt");
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    auto s = ReadUrlStream(path);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ReadLine(), u"same");
    s->Close();
}

TEST_F(StreamTest, ClosedFileStreamIsInertAndDoubleCloseIsHarmless) {
    WriteFile("c", "12345");
    auto s = TCStream::OpenFile(File("c"), true, false);
    ASSERT_TRUE(s);
    s->Seek(2);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Close(), 0);
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_TRUE(s->Eof());
    uint8_t b;
    EXPECT_EQ(s->Read(&b, 1), 0);
    EXPECT_EQ(s->Write(&b, 1), 0);
    EXPECT_EQ(s->Seek(3), 0);
}

TEST_F(StreamTest, DestroyingAnOpenFileStreamClosesIt) {
    {
        auto s = TCStream::OpenFile(File("d"), false, true);
        ASSERT_TRUE(s);
        s->WriteString(u"kept");
    }
    EXPECT_EQ(ReadFile("d"), "kept");
}

TEST_F(StreamTest, FileStreamSeekIsNotClamped) {
    WriteFile("s", "abc");
    auto s = TCStream::OpenFile(File("s"), true, true);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Seek(5), 5);
    EXPECT_FALSE(s->Eof());
    s->WriteByte('z');
    EXPECT_EQ(s->Size(), 6);
    EXPECT_EQ(s->Seek(-1), 6);  // a failed seek leaves the position
    s->Close();
    EXPECT_EQ(ReadFile("s"), std::string("abc\0\0z", 6));
}

TEST_F(StreamTest, FilesTooLargeForThirtyTwoBitPositionsDoNotOpen) {
    const std::string big = File("big");
    std::ofstream(big, std::ios::binary).close();
    fs::resize_file(big, uintmax_t{1} << 31);  // sparse, no disk used
    EXPECT_FALSE(TCStream::OpenFile(big, true, false));
    EXPECT_FALSE(TCStream::OpenFile(big, true, true));
    EXPECT_FALSE(ReadUrlStream(big));

    // One byte less fits, but cannot grow.
    fs::resize_file(big, INT32_MAX);
    auto s = TCStream::OpenFile(big, true, true);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Size(), INT32_MAX);
    EXPECT_EQ(s->Seek(INT32_MAX), INT32_MAX);
    EXPECT_TRUE(s->Eof());
    EXPECT_THROW(s->WriteByte(1), TStreamWriteException);
    EXPECT_EQ(s->Size(), INT32_MAX);
    s->Close();
    EXPECT_EQ(fs::file_size(big), static_cast<uintmax_t>(INT32_MAX));
    fs::remove(big);
}

TEST_F(StreamTest, PathsWithNulOrNothingDoNotOpen) {
    WriteFile("x", "1");
    EXPECT_FALSE(TCStream::OpenFile(FromUtf8(File("x")) + TString(1, u'\0') + u"y", true, false));
    EXPECT_FALSE(TCStream::OpenFile(TString(), true, false));
    EXPECT_FALSE(TCStream::CreateWithCStream(nullptr, 1));
}

// ---- URLs, factories and embedded resources ----

class TRecordingFactory : public TStreamFactory {
public:
    explicit TRecordingFactory(std::u16string_view word, Ref<TStream> answer) : _word(word), _answer(std::move(answer)) {}
    Ref<TStream> CreateStream(const TUrl& url, const TString& proto, const TString& path, bool readable,
                              bool writeable) override {
        ++calls;
        lastUrl = url;
        lastProto = proto;
        lastPath = path;
        lastFlags = {readable, writeable};
        return proto == _word ? _answer : nullptr;
    }
    int calls = 0;
    TUrl lastUrl;
    TString lastProto;
    TString lastPath;
    std::pair<bool, bool> lastFlags;

private:
    TString _word;
    Ref<TStream> _answer;
};

TEST_F(StreamTest, FactoriesAreAskedNewestFirstWithTheUrlAndLowerCaseProtocol) {
    std::vector<uint8_t> a(1), b(2);
    auto older = std::make_shared<TRecordingFactory>(u"mem", Ram(a));
    auto newer = std::make_shared<TRecordingFactory>(u"mem", Ram(b));
    RegisterStreamFactory(older);
    RegisterStreamFactory(newer);
    EXPECT_EQ(FirstStreamFactory(), newer);
    EXPECT_EQ(newer->Succ(), older);

    auto s = OpenUrlStream(u"MeM::Some::Path", true, true);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Size(), 2);
    EXPECT_EQ(older->calls, 0);
    EXPECT_EQ(newer->lastProto, u"mem");
    EXPECT_EQ(newer->lastPath, u"Some::Path");
    EXPECT_EQ(newer->lastUrl.Text(), u"MeM::Some::Path");
    EXPECT_EQ(newer->lastFlags, std::make_pair(true, true));

    // A declined protocol falls through to the end of the chain.
    EXPECT_FALSE(WriteUrlStream("other::x"));
    EXPECT_EQ(older->calls, 1);
    EXPECT_EQ(older->lastFlags, std::make_pair(false, true));

    // Registering the oldest again would close the chain into a loop; it is refused, so a
    // declined protocol still reaches the end once.
    RegisterStreamFactory(older);
    RegisterStreamFactory(nullptr);
    EXPECT_EQ(FirstStreamFactory(), newer);
    EXPECT_FALSE(ReadUrlStream("other::y"));
    EXPECT_EQ(older->calls, 2);
}

TEST_F(StreamTest, PlainPathsNeverReachTheFactories) {
    std::vector<uint8_t> a(1);
    auto any = std::make_shared<TRecordingFactory>(u"", Ram(a));
    RegisterStreamFactory(any);
    EXPECT_FALSE(ReadUrlStream(File("missing.png")));
    EXPECT_FALSE(ReadUrlStream("C:\\no\\such:file"));  // one colon is still a path
    EXPECT_EQ(any->calls, 0);

    EXPECT_TRUE(ReadUrlStream("::x"));  // empty protocol word
    EXPECT_EQ(any->lastPath, u"x");
    // An object URL reaches the factories as itself, with empty protocol and path.
    auto object = std::make_shared<TObject>();
    EXPECT_TRUE(ReadUrlStream(object));
    EXPECT_EQ(any->lastUrl.Object(), object);
    EXPECT_FALSE(any->lastUrl.IsText());
    EXPECT_EQ(any->lastPath, u"");
}

TEST_F(StreamTest, IncbinTableIsCaseSensitiveAndKeepsTheFirstEntry) {
    static const uint8_t first[3] = {1, 2, 3};
    static const uint8_t second[1] = {9};
    EXPECT_TRUE(RegisterIncbin("res.bin", first, 3));
    EXPECT_FALSE(RegisterIncbin(u"res.bin", second, 1));
    EXPECT_TRUE(RegisterIncbin("Res.bin", second, 1));
    EXPECT_FALSE(RegisterIncbin("bad.bin", first, -1));
    EXPECT_FALSE(RegisterIncbin("null.bin", nullptr, 4));
    EXPECT_EQ(IncbinData("res.bin"), first);
    EXPECT_EQ(IncbinSize(u"res.bin"), 3);
    EXPECT_EQ(IncbinData("Res.bin"), second);
    EXPECT_EQ(IncbinData("RES.BIN"), nullptr);
    EXPECT_EQ(IncbinSize("RES.BIN"), 0);
    EXPECT_EQ(IncbinSize("bad.bin"), 0);
}

TEST_F(StreamTest, IncbinUrlsOpenReadOnlyMemoryStreams) {
    static uint8_t font[1536];
    for (int i = 0; i < 1536; ++i) font[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(RegisterIncbin("tundrafont.bin", font, 1536));

    for (const char* url : {"incbin::tundrafont.bin", "INCBIN::tundrafont.bin", "InCbIn::tundrafont.bin"}) {
        auto s = ReadUrlStream(url);
        ASSERT_TRUE(s) << url;
        EXPECT_EQ(s->Size(), 1536);
        EXPECT_EQ(s->Pos(), 0);
        s->Seek(10);
        EXPECT_EQ(s->ReadByte(), 70);
        EXPECT_EQ(s->Write(font, 1), 0);
        s->Close();
    }
    EXPECT_FALSE(WriteUrlStream("incbin::tundrafont.bin"));
    EXPECT_FALSE(OpenUrlStream("incbin::tundrafont.bin", true, true));
    EXPECT_FALSE(ReadUrlStream("incbin::TundraFont.bin"));
    EXPECT_FALSE(ReadUrlStream("incbin::"));
    EXPECT_EQ(LoadByteArray("incbin::tundrafont.bin"), std::vector<uint8_t>(font, font + 1536));
    // Readable as requested: opened for neither direction, it gives no bytes.
    auto neither = OpenUrlStream("incbin::tundrafont.bin", false, false);
    ASSERT_TRUE(neither);
    EXPECT_THROW(neither->ReadByte(), TStreamReadException);
}

TEST_F(StreamTest, StartRegistersTheBuiltinFactoriesOnceAndResetKeepsThem) {
    const auto builtins = [] {
        int count = 0;
        for (Ref<TStreamFactory> f = FirstStreamFactory(); f; f = f->Succ()) ++count;
        return count;
    };
    StartStreamModule();
    StartStreamModule();
    auto head = FirstStreamFactory();
    ASSERT_TRUE(head);
    EXPECT_TRUE(std::dynamic_pointer_cast<TRamStreamFactory>(head));
    EXPECT_EQ(builtins(), 3);  // incbin, byte orders, text encodings

    RegisterStreamFactory(std::make_shared<TRecordingFactory>(u"x", nullptr));
    static const uint8_t data[1] = {1};
    RegisterIncbin("gone", data, 1);
    StreamModule().Reset();
    EXPECT_TRUE(std::dynamic_pointer_cast<TRamStreamFactory>(FirstStreamFactory()));
    EXPECT_EQ(builtins(), 3);
    EXPECT_EQ(IncbinData("gone"), nullptr);
}

// ---- Conveniences ----

TEST_F(StreamTest, WholeUrlLoadAndSave) {
    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 5);
    SaveByteArray(data, File("bytes"));
    EXPECT_EQ(LoadByteArray(File("bytes")), data);

    SaveString(u"caf\u00e9\n", File("text"));
    EXPECT_EQ(ReadFile("text"), "caf\xe9\n");
    EXPECT_EQ(LoadString(File("text")), u"caf\u00e9\n");

    SaveByteArray({}, File("empty"));
    EXPECT_TRUE(LoadByteArray(File("empty")).empty());

    EXPECT_THROW(LoadByteArray(File("missing")), TStreamReadException);
    EXPECT_THROW(LoadString("nothing::here"), TStreamReadException);
    EXPECT_THROW(SaveString(u"x", File("no/such/dir/f")), TStreamWriteException);
}

TEST_F(StreamTest, LoadOfAStreamUrlLeavesTheStreamOpen) {
    std::vector<uint8_t> bytes = Bytes({1, 2, 3});
    auto s = Ram(bytes);
    s->Seek(1);
    EXPECT_EQ(LoadByteArray(s), Bytes({2, 3}));
    EXPECT_EQ(s->Seek(0), 0);
    EXPECT_EQ(s->ReadByte(), 1);
}

TEST_F(StreamTest, CopyStreamWritesOnlyWhatWasRead) {
    std::vector<uint8_t> src(1000);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> dst(1003, 0xEE);
    auto in = Ram(src);
    auto out = Ram(dst);
    CopyStream(in, out, 7);
    EXPECT_EQ(out->Pos(), 1000);
    EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.begin() + 1000), src);
    EXPECT_EQ(dst[1000], 0xEE);

    auto stalled = std::make_shared<TTrickleStream>(Bytes({1, 2, 3, 4}), 1);
    stalled->stallAt = 2;
    out->Seek(0);
    EXPECT_THROW(CopyStream(stalled, out), TStreamReadException);
}

TEST_F(StreamTest, CopyBytesCopiesAnExactCount) {
    std::vector<uint8_t> src = Bytes({1, 2, 3, 4, 5, 6});
    std::vector<uint8_t> dst(6, 0);
    auto in = Ram(src);
    auto out = Ram(dst);
    CopyBytes(in, out, 4, 3);
    EXPECT_EQ(in->Pos(), 4);
    EXPECT_EQ(dst, Bytes({1, 2, 3, 4, 0, 0}));
    EXPECT_THROW(CopyBytes(in, out, 3), TStreamReadException);  // only two left
    CopyBytes(in, out, 0);
}

TEST_F(StreamTest, NullStreamsInModuleFormsRaiseInsteadOfCrashing) {
    Ref<TStream> none;
    EXPECT_TRUE(Eof(none));
    EXPECT_EQ(StreamPos(none), -1);
    EXPECT_EQ(CloseStream(none), 0);
    EXPECT_THROW(ReadInt(none), TStreamReadException);
    EXPECT_THROW(WriteLine(none, u"x"), TStreamWriteException);
    std::vector<uint8_t> bytes = Bytes({7, 0});
    auto s = Ram(bytes);
    EXPECT_EQ(ReadShort(s), 7);
    EXPECT_TRUE(Eof(s));
}

}  // namespace
}  // namespace corvex
