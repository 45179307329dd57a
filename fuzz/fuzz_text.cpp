// The text decoders: the first byte picks the encoding, the rest is the text. Read as lines and
// as single characters through a stream and decoded from the buffer, the three must agree, end
// within one step per byte, and never yield an unpaired surrogate; the decoded text re-encoded
// as UTF-8 or UTF-16 must decode to itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include <corvex/stream/protocols.h>

namespace {

using corvex::TString;
using corvex::TTextEncoding;
using corvex::TTextStream;

bool WellFormed(const TString& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    const auto encoding = static_cast<TTextEncoding>(data[0] & 3);
    const uint8_t* text = data + 1;
    const size_t length = size - 1;
    const auto count = static_cast<int32_t>(length);

    TString whole;
    TTextStream::Decode(text, length, encoding, whole);
    Check(WellFormed(whole));

    // One character at a time through a stream.
    auto byChar = TTextStream::Create(corvex::TRamStream::Create(text, count, true), encoding);
    TString chars;
    for (size_t steps = 0;; ++steps) {
        Check(steps <= length);
        const TString c = byChar->ReadString(1);
        if (c.empty()) break;
        Check(c.size() <= 2);
        chars += c;
    }
    Check(byChar->Eof() && byChar->Pos() == count);
    Check(chars == whole);

    // Lines: the text with the terminators taken out.
    TString expected;
    for (char16_t u : whole) {
        if (u != 13) expected += u;
    }
    auto byLine = TTextStream::Create(corvex::TRamStream::Create(text, count, true), encoding);
    TString lines;
    for (size_t steps = 0; !byLine->Eof(); ++steps) {
        Check(steps <= length);
        lines += byLine->ReadLine();
        lines += u'\n';
    }
    TString joined;  // terminators 0 and 10 read the same
    for (char16_t u : expected) joined += (u == 0 ? u'\n' : u);
    // Text after the last terminator is one more line, even if it is only dropped 13s.
    if (!whole.empty() && whole.back() != 0 && whole.back() != 10) joined += u'\n';
    Check(lines == joined);

    // Well-formed text survives a round trip through every encoding that can hold it.
    for (TTextEncoding to : {TTextEncoding::Utf8, TTextEncoding::Utf16BE, TTextEncoding::Utf16LE}) {
        const std::string bytes = TTextStream::Encode(whole, to);
        TString back;
        TTextStream::Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), to, back);
        Check(back == whole);
    }
    return 0;
}
