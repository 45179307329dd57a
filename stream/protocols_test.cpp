// The byte-order and text-encoding protocols, opened through the URL registry.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <corvex/stream/protocols.h>
#include <corvex/stream/stream.h>
#include "stream/stream_module.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartStreamModule();
        StreamModule().Reset();
        std::random_device random;
        dir = fs::temp_directory_path() / ("corvex-protocols-" + std::to_string(random()));
        ASSERT_TRUE(fs::create_directory(dir));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        StreamModule().Reset();
    }
    // Registers bytes as an incbin resource (kept alive by the fixture) and returns its URL tail.
    std::string Resource(std::vector<uint8_t> bytes) {
        held.push_back(std::move(bytes));
        const std::string name = "res" + std::to_string(held.size()) + ".bin";
        EXPECT_TRUE(RegisterIncbin(name, held.back().data(), static_cast<int32_t>(held.back().size())));
        return "incbin::" + name;
    }
    Ref<TStream> Open(const std::string& url) { return ReadUrlStream(TUrl(url)); }
    std::string File(const std::string& name) const { return (dir / name).string(); }
    std::vector<uint8_t> FileBytes(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
    std::vector<std::vector<uint8_t>> held;
};

// ---- Byte order ----

TEST_F(ProtocolTest, BigEndianTypedReadsTakeTheHighByteFirst) {
    Ref<TStream> s = Open("bigendian::" + Resource({0, 0, 1, 2, 0xFF, 0xFE, 0x3F, 0x80, 0, 0, 0xAB, 0xCD}));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ReadInt(), 258);
    EXPECT_EQ(s->ReadShort(), 0xFFFE);  // unsigned
    EXPECT_EQ(s->ReadFloat(), 1.0f);
    EXPECT_EQ(s->ReadInt(), static_cast<int32_t>(0xABCD0000u));  // two bytes left: the low half is 0
    EXPECT_TRUE(s->Eof());

    // The protocol word is not case-sensitive; little-endian reads as the plain stream does.
    Ref<TStream> little = Open("LittleEndian::" + Resource({0, 0, 1, 2}));
    ASSERT_TRUE(little);
    EXPECT_EQ(little->ReadInt(), 0x02010000);
}

TEST_F(ProtocolTest, ByteOrderWritesRoundTripAndTheOuterOrderWins) {
    const std::string path = File("numbers.bin");
    {
        Ref<TStream> out = WriteUrlStream(TUrl("bigendian::" + path));
        ASSERT_TRUE(out);
        out->WriteInt(258);
        out->WriteShort(0x1234);
        out->WriteLong(0x0102030405060708LL);
        out->WriteDouble(-2.5);
        out->WriteByte(7);
        out->Close();  // closes the file under it
    }
    const std::vector<uint8_t> bytes = FileBytes("numbers.bin");
    ASSERT_EQ(bytes.size(), 4u + 2 + 8 + 8 + 1);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 6), (std::vector<uint8_t>{0, 0, 1, 2, 0x12, 0x34}));
    EXPECT_EQ(bytes[6], 1);
    EXPECT_EQ(bytes[13], 8);
    Ref<TStream> in = Open("bigendian::" + path);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->ReadInt(), 258);
    EXPECT_EQ(in->ReadShort(), 0x1234);
    EXPECT_EQ(in->ReadLong(), 0x0102030405060708LL);
    EXPECT_EQ(in->ReadDouble(), -2.5);
    EXPECT_EQ(in->ReadByte(), 7);
    in->Close();

    // Wrapped twice, the outer order decides: the inner wrapper's order does not leak through.
    Ref<TStream> nested = Open("littleendian::bigendian::" + path);
    ASSERT_TRUE(nested);
    EXPECT_EQ(nested->ReadInt(), 0x02010000);
}

// ---- UTF-8 ----

TEST_F(ProtocolTest, Utf8LinesHoldTwoThreeAndFourByteCharacters) {
    // "é€😀" then a second line; the 4-byte character comes back as two UTF-16 units.
    Ref<TStream> s = Open("utf8::" + Resource({0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 13, 10,
                                               'x', 0xF4, 0x8F, 0xBF, 0xBF}));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ReadLine(), u"\u00E9\u20AC\U0001F600");
    EXPECT_EQ(s->Pos(), 11);  // nothing read past the terminator
    EXPECT_EQ(s->ReadLine(), u"x\U0010FFFF");
    EXPECT_TRUE(s->Eof());
    EXPECT_EQ(s->ReadLine(), u"");
}

TEST_F(ProtocolTest, MalformedUtf8ReadsAsReplacementCharacters) {
    const TString bad = u"\uFFFD";
    struct TCase {
        std::vector<uint8_t> bytes;
        TString line;
    };
    const std::vector<TCase> cases = {
        {{0xC0, 0xAF}, bad + bad},                            // overlong '/'
        {{0xE0, 0x80, 0xAF}, bad + bad + bad},                // overlong in three bytes
        {{0xF0, 0x80, 0x80, 0xAF}, bad + bad + bad + bad},    // and in four
        {{0xED, 0xA0, 0x80}, bad + bad + bad},                // an encoded surrogate
        {{0xF4, 0x90, 0x80, 0x80}, bad + bad + bad + bad},    // beyond U+10FFFF
        {{0xF8, 0x88, 0x80, 0x80, 0x80}, TString(5, u'\uFFFD')},
        {{'a', 0x80, 'b'}, u"a" + bad + u"b"},               // a stray continuation byte
        {{'a', 0xE2, 0x82, 'b'}, u"a" + bad + u"b"},         // cut short by an ASCII byte
        {{'a', 0xE2, 0x82}, u"a" + bad},                      // cut short by the end of the data
        {{0xC3, 0xC3, 0xA9}, bad + u"\u00E9"},                // a new lead byte starts over
    };
    for (const TCase& c : cases) {
        Ref<TStream> s = Open("utf8::" + Resource(c.bytes));
        ASSERT_TRUE(s);
        EXPECT_EQ(s->ReadLine(), c.line) << "case " << &c - cases.data();
        EXPECT_TRUE(s->Eof()) << "case " << &c - cases.data();
        // The buffer decoder agrees with the stream.
        TString decoded;
        TTextStream::Decode(c.bytes.data(), c.bytes.size(), TTextEncoding::Utf8, decoded);
        EXPECT_EQ(decoded, c.line) << "case " << &c - cases.data();
    }
}

TEST_F(ProtocolTest, ALineCutInsideACharacterKeepsItsTerminator) {
    // E2 82 needs one more continuation byte; the line feed ends the character and the line.
    Ref<TStream> s = Open("utf8::" + Resource({'a', 0xE2, 0x82, 10, 'y', 10}));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ReadLine(), u"a\uFFFD");
    EXPECT_EQ(s->ReadLine(), u"y");
    EXPECT_TRUE(s->Eof());

    // The byte that ended a bad sequence is still there for byte reads and counts in Pos.
    Ref<TStream> t = Open("utf8::" + Resource({0xE2, 'A', 'B'}));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->ReadString(1), u"\uFFFD");
    EXPECT_EQ(t->Pos(), 1);
    EXPECT_FALSE(t->Eof());
    EXPECT_EQ(t->ReadByte(), 'A');
    EXPECT_EQ(t->ReadString(4), u"B");
}

TEST_F(ProtocolTest, ReadStringCountsCharactersNotBytesOrUnits) {
    Ref<TStream> s = Open("utf8::" + Resource({'a', 0xF0, 0x9F, 0x98, 0x80, 0xC3, 0xA9, 'b'}));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ReadString(2), u"a\U0001F600");  // two characters, three units
    EXPECT_EQ(s->Pos(), 5);
    EXPECT_EQ(s->ReadString(1), u"\u00E9");
    EXPECT_EQ(s->ReadString(10), u"b");  // fewer when the data ends first
    EXPECT_EQ(s->ReadString(3), u"");

    Ref<TStream> latin = Open("latin1::" + Resource({0xE9, 0xFF, 'z', 10, 0x80}));
    ASSERT_TRUE(latin);
    EXPECT_EQ(latin->ReadLine(), u"\u00E9\u00FFz");
    EXPECT_EQ(latin->ReadString(1), u"\u0080");
}

// ---- UTF-16 ----

TEST_F(ProtocolTest, Utf16InBothByteOrdersWithPairsAndUnpairedSurrogates) {
    // "A", a pair for U+1F600, an unpaired high surrogate before "B", a lone low surrogate, CR LF,
    // then "C" and a final odd byte.
    const std::vector<uint16_t> units = {0x0041, 0xD83D, 0xDE00, 0xD800, 0x0042, 0xDC00, 13, 10, 0x0043};
    std::vector<uint8_t> be, le;
    for (uint16_t u : units) {
        be.insert(be.end(), {static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u)});
        le.insert(le.end(), {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)});
    }
    be.push_back(0x44);
    le.push_back(0x44);
    for (const auto& [proto, bytes] : {std::pair{"utf16be::", be}, std::pair{"utf16le::", le}}) {
        Ref<TStream> s = Open(proto + Resource(bytes));
        ASSERT_TRUE(s) << proto;
        EXPECT_EQ(s->ReadLine(), u"A\U0001F600\uFFFDB\uFFFD") << proto;
        EXPECT_EQ(s->ReadString(5), u"C\uFFFD") << proto;  // half a unit at the end
        EXPECT_TRUE(s->Eof()) << proto;
    }
    // A high surrogate at the very end, and one followed by half a unit.
    Ref<TStream> end = Open("utf16le::" + Resource({0x3D, 0xD8}));
    ASSERT_TRUE(end);
    EXPECT_EQ(end->ReadLine(), u"\uFFFD");
    Ref<TStream> half = Open("utf16le::" + Resource({0x3D, 0xD8, 0x41}));
    ASSERT_TRUE(half);
    EXPECT_EQ(half->ReadLine(), u"\uFFFD\uFFFD");
    EXPECT_TRUE(half->Eof());
}

// ---- Writing ----

TEST_F(ProtocolTest, WritesEncodeCharactersAndLineEndsInTheEncoding) {
    const TString text = u"\u00E9\u20AC\U0001F600";
    struct TCase {
        const char* proto;
        std::vector<uint8_t> line;  // WriteLine(text)
    };
    const std::vector<TCase> cases = {
        {"latin1::", {0xE9, '?', '?', 13, 10}},
        {"utf8::", {0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 13, 10}},
        {"utf16be::", {0x00, 0xE9, 0x20, 0xAC, 0xD8, 0x3D, 0xDE, 0x00, 0, 13, 0, 10}},
        {"utf16le::", {0xE9, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 13, 0, 10, 0}},
    };
    for (const TCase& c : cases) {
        const std::string name = std::string(c.proto).substr(0, std::string(c.proto).size() - 2) + ".txt";
        Ref<TStream> out = WriteUrlStream(TUrl(c.proto + File(name)));
        ASSERT_TRUE(out) << c.proto;
        EXPECT_EQ(out->WriteLine(text), 1) << c.proto;
        EXPECT_EQ(out->WriteString(u"z"), 0) << c.proto;
        out->Close();
        std::vector<uint8_t> expected = c.line;
        const std::vector<uint8_t> z = c.proto[3] == '1' ? (c.proto[5] == 'b' ? std::vector<uint8_t>{0, 'z'}
                                                                              : std::vector<uint8_t>{'z', 0})
                                                         : std::vector<uint8_t>{'z'};
        expected.insert(expected.end(), z.begin(), z.end());
        EXPECT_EQ(FileBytes(name), expected) << c.proto;
        if (std::string(c.proto) == "latin1::") continue;  // it cannot hold the text
        Ref<TStream> in = Open(c.proto + File(name));
        ASSERT_TRUE(in);
        EXPECT_EQ(in->ReadLine(), text) << c.proto;
        EXPECT_EQ(in->ReadString(1), u"z") << c.proto;
    }
    // An unpaired surrogate cannot be encoded: it is written as U+FFFD.
    EXPECT_EQ(TTextStream::Encode(u"\xD800" u"a", TTextEncoding::Utf8), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(TTextStream::Encode(u"a\xDC00", TTextEncoding::Utf16LE), std::string("a\0\xFD\xFF", 4));
    EXPECT_EQ(TTextStream::Encode(u"\xD800", TTextEncoding::Latin1), "?");
}

TEST_F(ProtocolTest, WriteLineReportsAShortTransferAndNeverRaises) {
    std::vector<uint8_t> room(5);
    Ref<TStream> ram = TRamStream::Create(room.data(), 5, true, true);
    Ref<TTextStream> s = TTextStream::Create(ram, TTextEncoding::Utf16LE);
    EXPECT_EQ(s->WriteLine(u"ab"), 0);  // 4 bytes fit, the 4-byte line end does not
    EXPECT_EQ(room, (std::vector<uint8_t>{'a', 0, 'b', 0, 13}));
}

// ---- Streams that stall, and the registry ----

// Delivers its bytes and then claims there are more without delivering them.
class TStallingStream : public TStream {
public:
    explicit TStallingStream(std::vector<uint8_t> data) : _data(std::move(data)) {}
    int32_t Pos() override { return _pos; }
    int32_t Size() override { return static_cast<int32_t>(_data.size()) + 10; }
    int32_t Read(void* buf, int32_t count) override {
        if (count <= 0 || _pos >= static_cast<int32_t>(_data.size())) return 0;
        *static_cast<uint8_t*>(buf) = _data[static_cast<size_t>(_pos++)];
        return 1;
    }

private:
    std::vector<uint8_t> _data;
    int32_t _pos = 0;
};

TEST_F(ProtocolTest, AStallBeforeTheEndRaisesInReadStringButEndsAReadLine) {
    Ref<TTextStream> s = TTextStream::Create(std::make_shared<TStallingStream>(std::vector<uint8_t>{'h', 'i', 0xE2}),
                                             TTextEncoding::Utf8);
    EXPECT_THROW(s->ReadString(5), TStreamReadException);
    Ref<TTextStream> t = TTextStream::Create(std::make_shared<TStallingStream>(std::vector<uint8_t>{'h', 'i'}),
                                             TTextEncoding::Utf8);
    EXPECT_EQ(t->ReadLine(), u"hi");
}

class TClaimingFactory : public TStreamFactory {
public:
    explicit TClaimingFactory(Ref<TStream> answer) : _answer(std::move(answer)) {}
    Ref<TStream> CreateStream(const TUrl&, const TString& proto, const TString&, bool, bool) override {
        return proto == u"utf8" ? _answer : nullptr;
    }

private:
    Ref<TStream> _answer;
};

TEST_F(ProtocolTest, WrapperUrlsThatCannotOpenGiveNullAndNewerFactoriesWin) {
    const std::string res = Resource({'o', 'k'});
    EXPECT_FALSE(Open("utf8::incbin::missing.bin"));
    EXPECT_FALSE(Open("bigendian::"));
    EXPECT_FALSE(Open("utf16::" + res));  // no such protocol
    EXPECT_FALSE(WriteUrlStream(TUrl("latin1::" + res)));  // incbin is read-only
    EXPECT_FALSE(Open("utf8::" + File("absent.txt")));
    // Nesting without end is declined, not recursed into.
    std::string deep;
    for (int i = 0; i < 200; ++i) deep += "bigendian::";
    EXPECT_FALSE(Open(deep + res));
    Ref<TStream> mixed = Open("UTF8::bigendian::" + res);
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->ReadLine(), u"ok");

    // A factory registered later for the same word is asked first.
    std::vector<uint8_t> mine = {'m'};
    Ref<TStream> answer = TRamStream::Create(mine.data(), 1, true, false);
    RegisterStreamFactory(std::make_shared<TClaimingFactory>(answer));
    EXPECT_EQ(Open("utf8::" + res), answer);
    EXPECT_NE(Open("latin1::" + res), answer);
}

}  // namespace
}  // namespace corvex
