// Strings of 16-bit characters, with UTF-8 conversion and decimal numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvex {

// Immutable by convention: operations return new strings.
using TString = std::u16string;

TString FromUtf8(std::string_view text);           // UTF-8 to UTF-16; bad bytes become U+FFFD
std::string ToUtf8(std::u16string_view text);      // UTF-16 to UTF-8; lone surrogates become U+FFFD
TString FromLatin1(std::string_view bytes);        // one character per byte, code = byte value
std::string ToLatin1(std::u16string_view text);    // the low 8 bits of each character

TString DecimalString(int64_t value);              // "-42", "0", "123"
TString ToLower(std::u16string_view text);         // only the letters A to Z change

}  // namespace corvex
